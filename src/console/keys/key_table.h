// The PC key table: the codes, or pair of codes, a key press yields.
#pragma once

#include "console/keys/key_press.h"

namespace vormi {

// The codes a key press yields: none (count 0), one code, or 0 and a second code.
struct KeyCodes {
  int count;
  int first;
  int second;
};

// Code selection by the key table: Alt, then Ctrl, then Shift columns; letter
// keys without modifiers give the character typed (so Caps Lock gives upper
// case); -1 cells give no code.
KeyCodes select_codes(const KeyPress& press);

// What console_read_key takes from a press: the character typed when there is
// one, otherwise the table's codes.
KeyCodes read_codes(const KeyPress& press);

// Whether the press makes console_key_ready report a key: not Shift, Ctrl or
// Alt alone, and code selection gives a code (or, for a key not in the table,
// it types a character).
bool counts_as_key(const KeyPress& press);

}  // namespace vormi
