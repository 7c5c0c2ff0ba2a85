// Code selection over the whole PC key table. The expected table is written
// the way the keyboard's documentation gives it: cells as "8", "0, 14" or
// "none", and the long runs (digits, letters, keypad, F keys) as rules, so a
// slip in either form shows up as a mismatch.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/keys/key_table.h"
#include "text/cp437.h"
#include "text/utf8.h"

namespace vormi {
namespace {

struct Row {
  std::string name;
  int key;
  std::string cell[4];  // plain, Shift, Ctrl, Alt
};

std::string ext(int n) { return "0, " + std::to_string(n); }
std::string one(int n) { return std::to_string(n); }

std::string describe(const KeyCodes& codes) {
  if (codes.count == 0) return "none";
  if (codes.count == 2)
    return codes.first == 0 ? ext(codes.second) : "bad pair " + one(codes.first);
  return one(codes.first);
}

std::vector<Row> expected_table() {
  std::vector<Row> rows = {
      {"Backspace", VKEY_BACKSPACE, {"8", "8", "127", "0, 14"}},
      {"Tab", VKEY_TAB, {"9", "0, 15", "0, 148", "0, 165"}},
      {"Enter", VKEY_ENTER, {"13", "13", "10", "0, 166"}},
      {"Esc", VKEY_ESCAPE, {"27", "27", "27", "0, 1"}},
      {"Space", VKEY_SPACE, {"32", "32", "0, 3", "32"}},
      {"PageUp", VKEY_PAGE_UP, {"0, 73", "0, 73", "0, 132", "0, 153"}},
      {"PageDown", VKEY_PAGE_DOWN, {"0, 81", "0, 81", "0, 118", "0, 161"}},
      {"End", VKEY_END, {"0, 79", "0, 79", "0, 117", "0, 159"}},
      {"Home", VKEY_HOME, {"0, 71", "0, 71", "0, 119", "0, 151"}},
      {"Left", VKEY_LEFT, {"0, 75", "0, 75", "0, 115", "0, 155"}},
      {"Up", VKEY_UP, {"0, 72", "0, 72", "0, 141", "0, 152"}},
      {"Right", VKEY_RIGHT, {"0, 77", "0, 77", "0, 116", "0, 157"}},
      {"Down", VKEY_DOWN, {"0, 80", "0, 80", "0, 145", "0, 160"}},
      {"Insert", VKEY_INSERT, {"0, 82", "0, 82", "0, 146", "0, 162"}},
      {"Delete", VKEY_DELETE, {"0, 83", "0, 83", "0, 147", "0, 163"}},
      {"KeypadMultiply", VKEY_NUMPAD_MULTIPLY, {"42", "42", "0, 150", "0, 55"}},
      {"KeypadPlus", VKEY_NUMPAD_PLUS, {"43", "43", "0, 144", "0, 78"}},
      {"KeypadMinus", VKEY_NUMPAD_MINUS, {"45", "45", "0, 142", "0, 74"}},
      {"KeypadDecimal", VKEY_NUMPAD_DECIMAL, {"46", "46", "0, 83", "0, 147"}},
      {"KeypadDivide", VKEY_NUMPAD_DIVIDE, {"47", "47", "0, 149", "0, 164"}},
      {"F11", VKEY_F1 + 10, {"0, 133", "0, 135", "0, 137", "0, 139"}},
      {"F12", VKEY_F1 + 11, {"0, 134", "0, 136", "0, 138", "0, 140"}},
      {"Backslash", VKEY_BACKSLASH, {"92", "124", "28", "0, 43"}},
      {"Slash", VKEY_SLASH, {"47", "63", "none", "0, 53"}},
      {"Minus", VKEY_MINUS, {"45", "95", "31", "0, 130"}},
      {"Equals", VKEY_EQUALS, {"61", "43", "none", "0, 131"}},
      {"LeftBracket", VKEY_LEFT_BRACKET, {"91", "123", "27", "0, 26"}},
      {"RightBracket", VKEY_RIGHT_BRACKET, {"93", "125", "29", "0, 27"}},
      {"Semicolon", VKEY_SEMICOLON, {"59", "58", "none", "0, 39"}},
      {"Apostrophe", VKEY_APOSTROPHE, {"39", "34", "none", "0, 40"}},
      {"Comma", VKEY_COMMA, {"44", "60", "none", "0, 51"}},
      {"Period", VKEY_PERIOD, {"46", "62", "none", "0, 52"}},
      {"Grave", VKEY_GRAVE, {"96", "126", "none", "0, 41"}},
  };
  const int digit_shift[10] = {41, 33, 64, 35, 36, 37, 94, 38, 42, 40};
  for (int d = 0; d <= 9; ++d) {
    std::string ctrl = d == 2 ? ext(3) : d == 6 ? one(30) : "none";
    std::string alt = d == 0 ? ext(129) : ext(120 + d - 1);
    rows.push_back({"Digit" + one(d), '0' + d, {one(48 + d), one(digit_shift[d]), ctrl, alt}});
  }
  const int scan_codes[26] = {30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,
                              49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44};
  for (int i = 0; i < 26; ++i) {
    // The plain column of a letter is what it types: checked with typed = lower case.
    rows.push_back({std::string("Letter") + static_cast<char>('A' + i),
                    'A' + i,
                    {one(97 + i), one(65 + i), one(1 + i), ext(scan_codes[i])}});
  }
  const int pad_shift[10] = {82, 79, 80, 81, 75, 76, 77, 71, 72, 73};
  const int pad_ctrl[10] = {146, 117, 145, 118, 115, 143, 116, 119, 141, 132};
  for (int d = 0; d <= 9; ++d) {
    rows.push_back({"Keypad" + one(d),
                    VKEY_NUMPAD_0 + d,
                    {one(48 + d), ext(pad_shift[d]), ext(pad_ctrl[d]), "none"}});
  }
  for (int i = 0; i < 10; ++i) {
    rows.push_back(
        {"F" + one(i + 1), VKEY_F1 + i, {ext(59 + i), ext(84 + i), ext(94 + i), ext(104 + i)}});
  }
  return rows;
}

TEST(KeyTable, HasEightyNineKeys) { EXPECT_EQ(expected_table().size(), 89u); }

TEST(KeyTable, EveryRowAndColumnSelectsItsCell) {
  const int column_modifiers[4] = {0, MOD_SHIFT, MOD_CTRL, MOD_ALT};
  const char* column_names[4] = {"plain", "Shift", "Ctrl", "Alt"};
  for (const Row& row : expected_table()) {
    const bool letter = row.key >= 'A' && row.key <= 'Z';
    for (int c = 0; c < 4; ++c) {
      const int typed = (letter && c == 0) ? row.key - 'A' + 'a' : 0;
      const KeyPress press = {row.key, column_modifiers[c], typed};
      EXPECT_EQ(describe(select_codes(press)), row.cell[c]) << row.name << " " << column_names[c];
      EXPECT_EQ(counts_as_key(press), row.cell[c] != "none") << row.name << " " << column_names[c];
    }
  }
}

TEST(KeyTable, AltOutranksCtrlWhichOutranksShift) {
  for (const Row& row : expected_table()) {
    EXPECT_EQ(describe(select_codes({row.key, MOD_ALT | MOD_CTRL | MOD_SHIFT, 0})), row.cell[3])
        << row.name;
    EXPECT_EQ(describe(select_codes({row.key, MOD_CTRL | MOD_SHIFT, 0})), row.cell[2]) << row.name;
  }
}

TEST(KeyTable, LettersGiveWhatTheyTypeSoCapsLockGivesUpperCase) {
  // clang-format off
  struct Case {
    int key;
    int typed;
    std::string codes;
  } cases[] = {
      {'A', 'A', "65"}, {'A', 'a', "97"}, {'P', 'P', "80"}, {'P', 'p', "112"},
      {'H', 'H', "72"}, {'K', 'K', "75"}, {'M', 'M', "77"}, {'Y', 'y', "121"},
      {'Z', 'Z', "90"},
      // A letter press that types nothing takes the plain column rather
      // than a lone 0 that would look like half an extended pair.
      {'Q', 0, "113"},
  };
  // clang-format on
  for (const Case& c : cases)
    EXPECT_EQ(describe(select_codes({c.key, 0, c.typed})), c.codes) << c.key << " " << c.typed;
  // The typed character does not override the columns of other keys.
  EXPECT_EQ(describe(select_codes({'5', 0, 'x'})), "53");
  EXPECT_EQ(describe(select_codes({VKEY_ENTER, 0, 'x'})), "13");
}

TEST(KeyTable, KeysOutsideTheTableHaveNoCode) {
  const int absent[] = {0,
                        VKEY_SHIFT,
                        VKEY_CTRL,
                        VKEY_ALT,
                        0x14 /* Caps Lock */,
                        0x90 /* Num Lock */,
                        0x91 /* Scroll Lock */,
                        0x0C /* Clear */,
                        0x5B /* Windows key */,
                        0x7C /* F13 */,
                        -1,
                        0x1000};
  for (int key : absent) {
    for (int modifiers = 0; modifiers < 8; ++modifiers) {
      EXPECT_EQ(select_codes({key, modifiers, 0}).count, 0) << key;
      EXPECT_FALSE(counts_as_key({key, modifiers, 0})) << key;
    }
  }
}

// clang-format off
TEST(KeyTable, ReadCodesPrefersTheTypedCharacter) {
  struct Case {
    KeyPress press;
    std::string codes;
  } cases[] = {
      {{VKEY_UP, 0, 0}, "0, 72"},
      {{VKEY_ESCAPE, 0, 27}, "27"},
      {{VKEY_ENTER, MOD_CTRL, 10}, "10"},
      {{'C', MOD_CTRL, 3}, "3"},
      {{'P', MOD_SHIFT, 'P'}, "80"},
      {{'1', MOD_SHIFT, '!'}, "33"},
      {{VKEY_TAB, MOD_SHIFT, 9}, "9"},      // typed wins over the Shift column
      {{VKEY_TAB, MOD_SHIFT, 0}, "0, 15"},  // nothing typed: the table decides
      {{'A', MOD_ALT, 0}, "0, 30"},
      {{VKEY_SPACE, MOD_CTRL, 0}, "0, 3"},
      {{0, 0, 'e'}, "101"},  // a key outside the table still types
      {{VKEY_SLASH, MOD_CTRL, 0}, "none"},
      {{VKEY_SHIFT, MOD_SHIFT, 0}, "none"},
  };
  // clang-format on
  for (const Case& c : cases) {
    EXPECT_EQ(describe(read_codes(c.press)), c.codes)
        << c.press.key << " " << c.press.modifiers << " " << c.press.typed;
  }
}

TEST(KeyTable, ModifierKeysAloneNeverCount) {
  // Even when they claim to type something, Shift, Ctrl and Alt alone are
  // not keys for console_key_ready.
  for (int key : {VKEY_SHIFT, VKEY_CTRL, VKEY_ALT}) {
    EXPECT_FALSE(counts_as_key({key, 0, 0}));
    EXPECT_FALSE(counts_as_key({key, MOD_SHIFT | MOD_CTRL | MOD_ALT, 'x'}));
  }
}

// A character typed beyond ASCII becomes its code page 437 byte: every byte
// the output shows as a character must come back as that same byte.
TEST(Cp437, EveryCharacterAboveAsciiMapsBackToItsByte) {
  for (int byte = 0x80; byte <= 0xFF; ++byte) {
    char text[4];
    const int size = cp437_utf8(static_cast<unsigned char>(byte), text);
    int code = 0;
    ASSERT_EQ(utf8_char_length(reinterpret_cast<unsigned char*>(text), size, &code), size) << byte;
    EXPECT_EQ(cp437_from_code_point(code), byte) << byte;
  }
  const struct {
    int code;
    int byte;
  } cases[] = {{0xE9, 130}, {0xFC, 129}, {0xE4, 132}, {0xF1, 164}, {0xA3, 156},
               {0x20AC, 0}, {0x41, 0},   {0x7F, 0},   {0x1F600, 0}};
  for (const auto& c : cases) EXPECT_EQ(cp437_from_code_point(c.code), c.byte) << c.code;
}

}  // namespace
}  // namespace vormi
