// The PC key table and code selection: which code, or pair of codes, a key
// press yields in each modifier state.
#include "console/keys/key_table.h"

#include "console/keys/key_codes.h"

namespace vormi {
namespace {

constexpr int NONE = -1;    // the key press yields no code in that state
constexpr int EXT = 0x100;  // EXT + n is the extended pair 0, n

struct KeyRow {
  int key;
  int plain;
  int shift;
  int ctrl;
  int alt;
};

constexpr int KP = VKEY_NUMPAD_0;
constexpr int F = VKEY_F1;

// clang-format off
constexpr KeyRow KEY_TABLE[] = {
    // key                    plain      shift      ctrl       alt
    {VKEY_BACKSPACE,          8,         8,         127,       EXT + 14},
    {VKEY_TAB,                9,         EXT + 15,  EXT + 148, EXT + 165},
    {VKEY_ENTER,              KEY_ENTER, KEY_ENTER, 10,        EXT + 166},
    {VKEY_ESCAPE,             KEY_ESC,   KEY_ESC,   KEY_ESC,   EXT + 1},
    {VKEY_SPACE,              32,        32,        EXT + 3,   32},

    {'0',                     '0',       ')',       NONE,      EXT + 129},
    {'1',                     '1',       '!',       NONE,      EXT + 120},
    {'2',                     '2',       '@',       EXT + 3,   EXT + 121},
    {'3',                     '3',       '#',       NONE,      EXT + 122},
    {'4',                     '4',       '$',       NONE,      EXT + 123},
    {'5',                     '5',       '%',       NONE,      EXT + 124},
    {'6',                     '6',       '^',       30,        EXT + 125},
    {'7',                     '7',       '&',       NONE,      EXT + 126},
    {'8',                     '8',       '*',       NONE,      EXT + 127},
    {'9',                     '9',       '(',       NONE,      EXT + 128},

    // Letters: the plain column is used only when the press types nothing;
    // the Alt column is the letter's scan code.
    {'A', 'a', 'A', 1,  EXT + 30}, {'B', 'b', 'B', 2,  EXT + 48},
    {'C', 'c', 'C', 3,  EXT + 46}, {'D', 'd', 'D', 4,  EXT + 32},
    {'E', 'e', 'E', 5,  EXT + 18}, {'F', 'f', 'F', 6,  EXT + 33},
    {'G', 'g', 'G', 7,  EXT + 34}, {'H', 'h', 'H', 8,  EXT + 35},
    {'I', 'i', 'I', 9,  EXT + 23}, {'J', 'j', 'J', 10, EXT + 36},
    {'K', 'k', 'K', 11, EXT + 37}, {'L', 'l', 'L', 12, EXT + 38},
    {'M', 'm', 'M', 13, EXT + 50}, {'N', 'n', 'N', 14, EXT + 49},
    {'O', 'o', 'O', 15, EXT + 24}, {'P', 'p', 'P', 16, EXT + 25},
    {'Q', 'q', 'Q', 17, EXT + 16}, {'R', 'r', 'R', 18, EXT + 19},
    {'S', 's', 'S', 19, EXT + 31}, {'T', 't', 'T', 20, EXT + 20},
    {'U', 'u', 'U', 21, EXT + 22}, {'V', 'v', 'V', 22, EXT + 47},
    {'W', 'w', 'W', 23, EXT + 17}, {'X', 'x', 'X', 24, EXT + 45},
    {'Y', 'y', 'Y', 25, EXT + 21}, {'Z', 'z', 'Z', 26, EXT + 44},

    {VKEY_PAGE_UP,            EXT + 73,  EXT + 73,  EXT + 132, EXT + 153},
    {VKEY_PAGE_DOWN,          EXT + 81,  EXT + 81,  EXT + 118, EXT + 161},
    {VKEY_END,                EXT + 79,  EXT + 79,  EXT + 117, EXT + 159},
    {VKEY_HOME,               EXT + 71,  EXT + 71,  EXT + 119, EXT + 151},
    // The arrows' second codes are the ones the game names.
    {VKEY_LEFT,    EXT + KEY_LEFT,  EXT + KEY_LEFT,  EXT + 115, EXT + 155},
    {VKEY_UP,      EXT + KEY_UP,    EXT + KEY_UP,    EXT + 141, EXT + 152},
    {VKEY_RIGHT,   EXT + KEY_RIGHT, EXT + KEY_RIGHT, EXT + 116, EXT + 157},
    {VKEY_DOWN,    EXT + KEY_DOWN,  EXT + KEY_DOWN,  EXT + 145, EXT + 160},
    {VKEY_INSERT,             EXT + 82,  EXT + 82,  EXT + 146, EXT + 162},
    {VKEY_DELETE,             EXT + 83,  EXT + 83,  EXT + 147, EXT + 163},

    // Keypad digits with Num Lock on.
    {KP + 0,                  '0',       EXT + 82,  EXT + 146, NONE},
    {KP + 1,                  '1',       EXT + 79,  EXT + 117, NONE},
    {KP + 2,                  '2',       EXT + 80,  EXT + 145, NONE},
    {KP + 3,                  '3',       EXT + 81,  EXT + 118, NONE},
    {KP + 4,                  '4',       EXT + 75,  EXT + 115, NONE},
    {KP + 5,                  '5',       EXT + 76,  EXT + 143, NONE},
    {KP + 6,                  '6',       EXT + 77,  EXT + 116, NONE},
    {KP + 7,                  '7',       EXT + 71,  EXT + 119, NONE},
    {KP + 8,                  '8',       EXT + 72,  EXT + 141, NONE},
    {KP + 9,                  '9',       EXT + 73,  EXT + 132, NONE},
    {VKEY_NUMPAD_MULTIPLY,    '*',       '*',       EXT + 150, EXT + 55},
    {VKEY_NUMPAD_PLUS,        '+',       '+',       EXT + 144, EXT + 78},
    {VKEY_NUMPAD_MINUS,       '-',       '-',       EXT + 142, EXT + 74},
    {VKEY_NUMPAD_DECIMAL,     '.',       '.',       EXT + 83,  EXT + 147},
    {VKEY_NUMPAD_DIVIDE,      '/',       '/',       EXT + 149, EXT + 164},

    {F + 0,                   EXT + 59,  EXT + 84,  EXT + 94,  EXT + 104},
    {F + 1,                   EXT + 60,  EXT + 85,  EXT + 95,  EXT + 105},
    {F + 2,                   EXT + 61,  EXT + 86,  EXT + 96,  EXT + 106},
    {F + 3,                   EXT + 62,  EXT + 87,  EXT + 97,  EXT + 107},
    {F + 4,                   EXT + 63,  EXT + 88,  EXT + 98,  EXT + 108},
    {F + 5,                   EXT + 64,  EXT + 89,  EXT + 99,  EXT + 109},
    {F + 6,                   EXT + 65,  EXT + 90,  EXT + 100, EXT + 110},
    {F + 7,                   EXT + 66,  EXT + 91,  EXT + 101, EXT + 111},
    {F + 8,                   EXT + 67,  EXT + 92,  EXT + 102, EXT + 112},
    {F + 9,                   EXT + 68,  EXT + 93,  EXT + 103, EXT + 113},
    {F + 10,                  EXT + 133, EXT + 135, EXT + 137, EXT + 139},
    {F + 11,                  EXT + 134, EXT + 136, EXT + 138, EXT + 140},

    {VKEY_BACKSLASH,          '\\',      '|',       28,        EXT + 43},
    {VKEY_SLASH,              '/',       '?',       NONE,      EXT + 53},
    {VKEY_MINUS,              '-',       '_',       31,        EXT + 130},
    {VKEY_EQUALS,             '=',       '+',       NONE,      EXT + 131},
    {VKEY_LEFT_BRACKET,       '[',       '{',       27,        EXT + 26},
    {VKEY_RIGHT_BRACKET,      ']',       '}',       29,        EXT + 27},
    {VKEY_SEMICOLON,          ';',       ':',       NONE,      EXT + 39},
    {VKEY_APOSTROPHE,         '\'',      '"',       NONE,      EXT + 40},
    {VKEY_COMMA,              ',',       '<',       NONE,      EXT + 51},
    {VKEY_PERIOD,             '.',       '>',       NONE,      EXT + 52},
    {VKEY_GRAVE,              '`',       '~',       NONE,      EXT + 41},
};
// clang-format on

static_assert(sizeof(KEY_TABLE) / sizeof(KEY_TABLE[0]) == 89, "the PC key table has 89 keys");

constexpr KeyCodes NO_CODE = {0, 0, 0};

const KeyRow* find_row(int key) {
  for (const KeyRow& row : KEY_TABLE)
    if (row.key == key) return &row;
  return nullptr;
}

KeyCodes codes_of(int cell) {
  if (cell < 0) return NO_CODE;
  if (cell >= EXT) return {2, 0, cell - EXT};
  return {1, cell, 0};
}

bool types_character(int typed) { return typed > 0 && typed < EXT; }

}  // namespace

KeyCodes select_codes(const KeyPress& press) {
  const KeyRow* row = find_row(press.key);
  if (row == nullptr) return NO_CODE;
  if ((press.modifiers & MOD_ALT) != 0) return codes_of(row->alt);
  if ((press.modifiers & MOD_CTRL) != 0) return codes_of(row->ctrl);
  if ((press.modifiers & MOD_SHIFT) != 0) return codes_of(row->shift);
  // A letter gives what it types, so Caps Lock gives upper case. A letter
  // press that types nothing falls back to the plain column: a lone code 0
  // would read as the first half of an extended pair with no second half.
  if (is_letter_key(press.key) && types_character(press.typed)) return codes_of(press.typed);
  return codes_of(row->plain);
}

KeyCodes read_codes(const KeyPress& press) {
  if (types_character(press.typed)) return {1, press.typed, 0};
  return select_codes(press);
}

bool counts_as_key(const KeyPress& press) {
  if (press.key == VKEY_SHIFT || press.key == VKEY_CTRL || press.key == VKEY_ALT) return false;
  if (press.key == 0) return types_character(press.typed);
  return select_codes(press).count > 0;
}

}  // namespace vormi
