// Typed-character rules of the number boxes in the editor and the search window. Only keys that
// type a printable character are judged: Tab, Delete, the arrows and the shortcuts (Ctrl+A,
// Ctrl+C, Ctrl+V …) are not; Esc and backspace always pass, so that Esc still closes the window.
#pragma once

#include <functional>

class QWidget;
class TDaoField;

namespace KeyRules {

// The digits "0" to "9" only.
void digitsOnly(QWidget *box);
// "." always, and the characters of the field's numbers (for a float: digits, "+", "-", "E",
// "e" and the regional decimal separator). field is asked at each key; null lets every key pass.
void numberOf(QWidget *box, std::function<const TDaoField *()> field);

} // namespace KeyRules
