// The line editor with characters that take two columns or none: the cursor
// and what the screen shows must follow the terminal's columns, not the bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/console.h"
#include "fake/fake_terminal.h"

namespace vormi {
namespace {

using fake::screen;

const std::string ROCKET = "\xF0\x9F\x9A\x80";  // U+1F680, two columns
const std::string ACUTE = "\xCC\x81";           // U+0301, a combining mark
const std::string LEFT = "\x1b[D";
const std::string HOME = "\x1b[H";
const std::string DEL = "\x1b[3~";
const std::string BACKSPACE = "\x7f";

struct WidthCase {
  const char* name;
  int start_x;
  std::vector<std::string> keys;
  std::string line;
  int cursor_x;  // where the cursor stands before Enter
  int cursor_y;
  std::string row_5;  // row 5 from the start column on
  std::string row_6;
};

// Types the keys 100 ms apart at (start_x, 5), then Enter when with_enter;
// returns the line, or "" when the editor ran out of keys.
std::string type_line(const WidthCase& c, bool with_enter) {
  fake::reset();
  console_goto(c.start_x, 5);
  uint32_t at = 0;
  for (const std::string& key : c.keys) {
    fake::type_at(at, key);
    at += 100;
  }
  if (with_enter) fake::type_at(at, "\r");
  char buffer[20] = "";
  try {
    console_read_line(buffer, sizeof buffer);
  } catch (const fake::InputExhausted&) {
  }
  return buffer;
}

TEST(LineWidths, CursorAndScreenFollowTheColumns) {
  // clang-format off
  const WidthCase cases[] = {
      {"left steps over a wide character", 10, {"a" + ROCKET + "b", LEFT, LEFT}, "a" + ROCKET + "b", 11, 5,
       "a" + ROCKET + "b", ""},
      {"backspace erases both columns", 10, {"a" + ROCKET + "b", LEFT, BACKSPACE}, "ab", 11, 5, "ab", ""},
      {"left steps over a character and its mark together", 10, {"e" + ACUTE + "x", LEFT, LEFT},
       "e" + ACUTE + "x", 10, 5, "e" + ACUTE + "x", ""},
      {"delete takes a character with its mark", 10, {"e" + ACUTE + "x", HOME, DEL}, "x", 10, 5, "x", ""},
      {"backspace takes a character with its mark", 10, {"xe" + ACUTE, BACKSPACE}, "x", 11, 5, "x", ""},
      {"a mark with nothing before it is dropped", 10, {ACUTE + "a"}, "a", 11, 5, "a", ""},
      // Column 80 cannot hold the rocket: it goes to the next row, and when
      // it is erased both its columns there go too.
      {"a wide character wraps whole", 78, {"ab" + ROCKET}, "ab" + ROCKET, 3, 6, "ab", ROCKET},
      {"a wrapped wide character is erased whole", 78, {"ab" + ROCKET, BACKSPACE}, "ab", 80, 5, "ab", ""},
  };
  // clang-format on
  for (const WidthCase& c : cases) {
    SCOPED_TRACE(c.name);
    // The screen is read before Enter, which moves the cursor off the line.
    type_line(c, false);
    EXPECT_EQ(screen().cursor_x(), c.cursor_x);
    EXPECT_EQ(screen().cursor_y(), c.cursor_y);
    EXPECT_EQ(screen().row(5).substr(static_cast<size_t>(c.start_x - 1)), c.row_5);
    EXPECT_EQ(screen().row(6), c.row_6);
    EXPECT_EQ(type_line(c, true), c.line);
  }
}

}  // namespace
}  // namespace vormi
