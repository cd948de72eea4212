// Memory that a large piece of work freed (a million values read, a whole file checked) is
// given back to the system, so that the program stays small while it runs for days.
#pragma once

namespace freedmemory {

// Returns the heap's free pages to the system (every thread's heap); a few milliseconds.
void giveBack();

} // namespace freedmemory
