#pragma once

// Key filters applied to the key code of a key press before a field takes it.
// They work on the classic key codes: 8 Backspace, 13 Enter, 39 apostrophe.
// The code 1 is a non-printing code that a field does not insert.
namespace KeyFilters {

constexpr int Suppressed = 1;

// "0".."9", Backspace and Enter pass; every other key becomes 1.
int digitsOnly(int keyCode);

// An apostrophe becomes 1, "a".."z" become "A".."Z", the rest is unchanged.
int upperCaseKey(int keyCode);

} // namespace KeyFilters
