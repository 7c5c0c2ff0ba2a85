// A console's key records as key events: what a Windows console reports of a
// key (its virtual-key code, the modifier keys held, the UTF-16 character it
// typed) read as the same key press a terminal's bytes would make. Pure: the
// record's fields are passed in, so the rules are tried on any system.
#pragma once

#include "console/keys/key_press.h"

namespace vormi {

// The bits of a key record's control key state that tell the modifiers.
constexpr unsigned RECORD_RIGHT_ALT = 0x01;
constexpr unsigned RECORD_LEFT_ALT = 0x02;
constexpr unsigned RECORD_RIGHT_CTRL = 0x04;
constexpr unsigned RECORD_LEFT_CTRL = 0x08;
constexpr unsigned RECORD_SHIFT = 0x10;

// One key record, field by field.
struct KeyRecord {
  bool key_down;
  int virtual_key;
  int character;  // one UTF-16 code unit, 0 when the key types nothing
  unsigned control_state;
};

// What one record leaves for the next: the first half of a character beyond
// U+FFFF, which comes as two records. Zero-initialised to begin.
struct KeyRecordReader {
  int high_surrogate;  // 0 when none is waiting
};

// The key press a record is, in event; false when it is none: a release (but
// Alt's release that ends Alt with keypad digits, which types the character
// composed), a key outside the table that types nothing (Shift, Ctrl or Alt
// alone, Caps Lock), or the first half of a character. Keys of the table are
// themselves; a character beyond ASCII is text with key 0, typing its code
// page 437 byte or '?'; an ASCII character typed by a key outside the table
// is the key that types it on the US layout. AltGr (left Ctrl with right Alt)
// types what the layout says: the character, with no Ctrl or Alt. Otherwise
// the typed character follows the terminals' rules: nothing with Alt (so the
// Alt column applies), with Ctrl only a letter's control byte and Enter's LF,
// and nothing for Shift with Tab.
bool key_record_event(KeyRecordReader& reader, const KeyRecord& record, KeyEvent& event);

// Whether event is Ctrl+C, which ends the game as a terminal's interrupt does.
bool is_interrupt_key(const KeyEvent& event);

}  // namespace vormi
