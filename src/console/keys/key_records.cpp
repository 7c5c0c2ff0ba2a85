#include "console/keys/key_records.h"

#include "console/keys/key_sequences.h"
#include "console/keys/key_table.h"
#include "text/cp437.h"
#include "text/utf8.h"

namespace vormi {

namespace {

constexpr unsigned RECORD_ALT = RECORD_LEFT_ALT | RECORD_RIGHT_ALT;
constexpr unsigned RECORD_CTRL = RECORD_LEFT_CTRL | RECORD_RIGHT_CTRL;
constexpr unsigned RECORD_ALT_GR = RECORD_LEFT_CTRL | RECORD_RIGHT_ALT;

constexpr int HIGH_SURROGATE = 0xD800;
constexpr int LOW_SURROGATE = 0xDC00;
constexpr int SURROGATE_END = 0xE000;
constexpr int REPLACEMENT_CHARACTER = 0xFFFD;
constexpr int CTRL_C = 3;

int modifiers_of(unsigned state) {
  int modifiers = 0;
  if ((state & RECORD_SHIFT) != 0) modifiers |= MOD_SHIFT;
  if ((state & RECORD_CTRL) != 0) modifiers |= MOD_CTRL;
  if ((state & RECORD_ALT) != 0) modifiers |= MOD_ALT;
  return modifiers;
}

// Every key of the table has a code when pressed plain.
bool in_table(int key) { return key > 0 && select_codes({key, 0, 0}).count > 0; }

// The code point a record's UTF-16 unit completes; -1 for the first half of
// a pair, whose second half comes in the next key press. A half without its
// other half is the replacement character.
int code_point_of(KeyRecordReader& reader, int unit) {
  const int high = reader.high_surrogate;
  reader.high_surrogate = 0;
  if (unit >= HIGH_SURROGATE && unit < LOW_SURROGATE) {
    reader.high_surrogate = unit;
    return -1;
  }
  if (unit >= LOW_SURROGATE && unit < SURROGATE_END) {
    if (high == 0) return REPLACEMENT_CHARACTER;
    return 0x10000 + ((high - HIGH_SURROGATE) << 10) + (unit - LOW_SURROGATE);
  }
  return unit;
}

// What a key of the table types, as a terminal's bytes for the same press
// would type it.
int typed_by(int key, int modifiers, int code) {
  if ((modifiers & MOD_ALT) != 0) return 0;
  if ((modifiers & MOD_CTRL) != 0) {
    if (is_letter_key(key)) return key - 'A' + 1;
    return key == VKEY_ENTER ? 10 : 0;
  }
  if (key == VKEY_TAB && (modifiers & MOD_SHIFT) != 0) return 0;
  return code;
}

}  // namespace

bool key_record_event(KeyRecordReader& reader, const KeyRecord& record, KeyEvent& event) {
  // Alt with keypad digits types its character when Alt is let go.
  const bool composed = !record.key_down && record.virtual_key == VKEY_ALT && record.character != 0;
  if (!record.key_down && !composed) return false;
  const int code = code_point_of(reader, record.character);
  if (code < 0) return false;
  int modifiers = composed ? 0 : modifiers_of(record.control_state);
  const bool alt_gr = (record.control_state & RECORD_ALT_GR) == RECORD_ALT_GR;
  if (alt_gr && code >= 0x20 && code != 0x7F) modifiers &= ~(MOD_CTRL | MOD_ALT);
  event = {};
  if (code >= 0x80) {
    utf8_encode(code, event.text);
    const int byte = cp437_from_code_point(code);
    event.press = {0, modifiers, byte != 0 ? byte : '?'};
    return true;
  }
  const int key = composed ? 0 : record.virtual_key;
  if (in_table(key)) {
    event.press = {key, modifiers, typed_by(key, modifiers, code)};
    return true;
  }
  if (code == 0) return false;
  event = key_of_byte(static_cast<unsigned char>(code));
  // As a terminal sends Alt with a character: Esc and its byte.
  if ((modifiers & MOD_ALT) != 0) {
    event.press.modifiers |= MOD_ALT;
    if (event.press.key != 0) event.press.typed = 0;
  }
  return true;
}

bool is_interrupt_key(const KeyEvent& event) {
  return event.text[0] == '\0' && event.press.key == 'C' && event.press.typed == CTRL_C;
}

}  // namespace vormi
