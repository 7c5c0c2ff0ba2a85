// A Windows console's key records as key events, row by row in the order a
// console would send them (one reader throughout, so a character beyond
// U+FFFF, which comes as two records, is read as it would be).
#include <gtest/gtest.h>

#include <string>

#include "console/keys/key_records.h"

namespace vormi {
namespace {

constexpr unsigned SHIFT = RECORD_SHIFT;
constexpr unsigned LCTRL = RECORD_LEFT_CTRL;
constexpr unsigned RCTRL = RECORD_RIGHT_CTRL;
constexpr unsigned LALT = RECORD_LEFT_ALT;
constexpr unsigned ALT_GR = RECORD_LEFT_CTRL | RECORD_RIGHT_ALT;
constexpr unsigned CAPS_LOCK = 0x80;  // other bits of the state count for nothing
constexpr unsigned ENHANCED = 0x100;
constexpr int NO_EVENT = -1;

struct Row {
  const char* name;
  KeyRecord record;
  int key;  // NO_EVENT: the record is no key press
  int modifiers;
  int typed;
  std::string text;
  bool interrupt;
};

// clang-format off
const Row ROWS[] = {
    {"a",                {true, 'A', 'a', 0},                  'A', 0, 'a', "", false},
    {"Caps Lock A",      {true, 'A', 'A', CAPS_LOCK},          'A', 0, 'A', "", false},
    {"A released",       {false, 'A', 'a', 0},                 NO_EVENT, 0, 0, "", false},
    {"Shift alone",      {true, VKEY_SHIFT, 0, SHIFT},         NO_EVENT, 0, 0, "", false},
    {"Up",               {true, VKEY_UP, 0, ENHANCED},         VKEY_UP, 0, 0, "", false},
    {"keypad 5",         {true, VKEY_NUMPAD_0 + 5, '5', 0},    VKEY_NUMPAD_0 + 5, 0, '5', "", false},
    {"Ctrl+C",           {true, 'C', 3, LCTRL},                'C', MOD_CTRL, 3, "", true},
    {"right Ctrl+C",     {true, 'C', 3, RCTRL},                'C', MOD_CTRL, 3, "", true},
    {"Ctrl+Shift+C",     {true, 'C', 3, LCTRL | SHIFT},        'C', MOD_CTRL | MOD_SHIFT, 3, "", true},
    {"Ctrl+Alt+C",       {true, 'C', 0, LCTRL | LALT},         'C', MOD_CTRL | MOD_ALT, 0, "", false},
    // Alt takes the table's Alt column, not the letter it reports.
    {"Alt+x",            {true, 'X', 'x', LALT},               'X', MOD_ALT, 0, "", false},
    {"Ctrl+Enter",       {true, VKEY_ENTER, '\n', LCTRL},      VKEY_ENTER, MOD_CTRL, 10, "", false},
    {"Ctrl+Space",       {true, VKEY_SPACE, ' ', LCTRL},       VKEY_SPACE, MOD_CTRL, 0, "", false},
    {"Ctrl+2",           {true, '2', 0, LCTRL},                '2', MOD_CTRL, 0, "", false},
    {"Ctrl+Backspace",   {true, VKEY_BACKSPACE, 0x7F, LCTRL},  VKEY_BACKSPACE, MOD_CTRL, 0, "", false},
    {"Shift+Tab",        {true, VKEY_TAB, '\t', SHIFT},        VKEY_TAB, MOD_SHIFT, 0, "", false},
    // AltGr types what the layout puts there, with no Ctrl or Alt.
    {"AltGr+Q (de)",     {true, 'Q', '@', ALT_GR},             'Q', 0, '@', "", false},
    {"AltGr+Shift+8",    {true, '8', '{', ALT_GR | SHIFT},     '8', MOD_SHIFT, '{', "", false},
    {"AltGr+E (de)",     {true, 'E', 0x20AC, ALT_GR},          0, 0, '?', "\xE2\x82\xAC", false},
    {"AltGr, nothing",   {true, 'C', 0, ALT_GR},               'C', MOD_CTRL | MOD_ALT, 0, "", false},
    // Beyond ASCII: text, typing its code page 437 byte.
    {"e acute",          {true, 0, 0xE9, 0},                   0, 0, 130, "\xC3\xA9", false},
    {"u umlaut (de)",    {true, 0xBA, 0xFC, 0},                0, 0, 129, "\xC3\xBC", false},
    {"Alt+0233",         {false, VKEY_ALT, 0xE9, 0},           0, 0, 130, "\xC3\xA9", false},
    {"Alt let go",       {false, VKEY_ALT, 0, 0},              NO_EVENT, 0, 0, "", false},
    // A key outside the table is the key that types its character.
    {"< on the 102nd key", {true, 0xE2, '<', SHIFT},           VKEY_COMMA, MOD_SHIFT, '<', "", false},
    {"pasted Enter",     {true, 0, '\r', 0},                   VKEY_ENTER, 0, 13, "", false},
    {"emoji, first half", {true, 0, 0xD83D, 0},                NO_EVENT, 0, 0, "", false},
    {"emoji, second half", {true, 0, 0xDE00, 0},               0, 0, '?', "\xF0\x9F\x98\x80", false},
    {"half alone",       {true, 0, 0xDE00, 0},                 0, 0, '?', "\xEF\xBF\xBD", false},
};
// clang-format on

TEST(KeyRecords, EachRecordIsTheKeyPressATerminalWouldMake) {
  KeyRecordReader reader = {};
  for (const Row& row : ROWS) {
    KeyEvent event;
    const bool made = key_record_event(reader, row.record, event);
    ASSERT_EQ(made, row.key != NO_EVENT) << row.name;
    if (!made) continue;
    EXPECT_EQ(event.press.key, row.key) << row.name;
    EXPECT_EQ(event.press.modifiers, row.modifiers) << row.name;
    EXPECT_EQ(event.press.typed, row.typed) << row.name;
    EXPECT_EQ(std::string(event.text), row.text) << row.name;
    EXPECT_EQ(is_interrupt_key(event), row.interrupt) << row.name;
  }
}

}  // namespace
}  // namespace vormi
