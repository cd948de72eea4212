// The export commands: the inventory view's rows written to a spreadsheet, an HTML page or a
// text file by the database engine.
#pragma once

class ExportCommands
{
public:
    void Excel1Click();
    void Html1Click();
    void Text1Click();

private:
    enum class Kind { Spreadsheet, Html, Text };
    void run(Kind kind);
};
