// Drawing through the console on the fake terminal, read back from the
// emulated screen: cursor tracking, glyphs, text and the screen copy.
#include <gtest/gtest.h>

#include <string>

#include "console/console.h"
#include "console/console_input.h"
#include "console/screen/output.h"
#include "fake/fake_terminal.h"
#include "text/char_width.h"

namespace vormi {
namespace {

using fake::screen;

std::string blank_row_with(int x, const std::string& text) {
  return std::string(x - 1, ' ') + text;
}

class OutputTest : public ::testing::Test {
 protected:
  void SetUp() override { fake::reset(); }
};

struct CursorCase {
  const char* name;
  int x;
  int y;
  const char* text;
  int want_x;
  int want_y;
};

// The copy's cursor and the terminal's cursor must agree after every print.
TEST_F(OutputTest, CursorTrackingAgreesWithTheTerminal) {
  const CursorCase cases[] = {
      {"plain text", 1, 1, "abc", 4, 1},
      {"tab at column 1", 1, 3, "\t", 9, 3},
      {"tab inside a stop", 5, 3, "\t", 9, 3},
      {"tab at a stop", 9, 3, "\t", 17, 3},
      {"tab near the last column", 75, 3, "\t", 80, 3},
      {"tab at the last column", 80, 3, "\t", 80, 3},
      {"newline", 10, 3, "ab\n", 1, 4},
      {"glyph in the last column", 80, 21, "\xDB", 1, 22},
      {"text across the last column", 79, 7, "abc", 2, 8},
      {"bell", 10, 10, "\a", 10, 10},
      {"carriage return dropped", 10, 10, "a\rb", 12, 10},
      {"two-byte UTF-8 is one cell", 1, 2, "J\xC3\xBCrgen", 7, 2},
      {"wide character takes two", 1, 2, "\xE6\x97\xA5", 3, 2},
      {"wide character at the last column wraps first", 80, 5, "\xE6\x97\xA5", 3, 6},
      {"combining mark takes none", 1, 2, "e\xCC\x81x", 3, 2},
      {"emoji take two: U+1F680, U+26A1, U+2B50", 1, 2, "\xF0\x9F\x9A\x80\xE2\x9A\xA1\xE2\xAD\x90x",
       8, 2},
      {"a mark on a wide character takes none", 1, 2, "\xE6\x97\xA5\xCC\x81x", 4, 2},
      {"Arabic mark takes none", 1, 2, "\xD8\xA8\xDB\x96x", 3, 2},
      {"watch takes two", 1, 2, "\xE2\x8C\x9A", 3, 2},
      {"last cell of the screen", 80, 25, "z", 1, 25},
      {"newline on the last row", 7, 25, "\n", 1, 25},
  };
  for (const CursorCase& c : cases) {
    SCOPED_TRACE(c.name);
    fake::reset();
    console_goto(c.x, c.y);
    console_print("%s", c.text);
    EXPECT_EQ(console_shadow().cursor_x, c.want_x);
    EXPECT_EQ(console_shadow().cursor_y, c.want_y);
    EXPECT_EQ(screen().cursor_x(), c.want_x);
    EXPECT_EQ(screen().cursor_y(), c.want_y);
  }
}

// Each move is the shortest form that is surely right: relative ones only
// while the terminal's cursor is known to stand where the copy has it.
TEST_F(OutputTest, MovesAreShortAndExact) {
  struct MoveCase {
    const char* name;
    const char* drawn;  // printed at (10,5) after a clear; null: nothing drawn since start
    int x;
    int y;
    const char* bytes;
  };
  const MoveCase cases[] = {
      {"already there", "ab", 12, 5, ""},
      {"right along the row", "ab", 20, 5, "\x1b[8C"},
      {"one left", "ab", 11, 5, "\b"},
      {"left along the row", "ab", 3, 5, "\x1b[9D"},
      {"column 1 of the row", "ab", 1, 5, "\r"},
      {"down the column", "ab", 12, 9, "\x1b[4B"},
      {"elsewhere", "ab", 40, 10, "\x1b[10;40H"},
      {"home", "ab", 1, 1, "\x1b[H"},
      {"after text beyond ASCII", "a\xC3\xA9", 12, 5, "\x1b[5;12H"},
      {"after a glyph", "a\xB1", 11, 5, "\x1b[5;11H"},
      {"nothing drawn yet", nullptr, 1, 1, "\x1b[H"},
  };
  for (const MoveCase& c : cases) {
    SCOPED_TRACE(c.name);
    fake::reset();
    if (c.drawn != nullptr) {
      console_clear();
      console_goto(10, 5);
      console_print("%s", c.drawn);
    }
    fake::clear_output();
    console_goto(c.x, c.y);
    EXPECT_EQ(fake::output(), c.bytes);
    EXPECT_EQ(screen().cursor_x(), c.x);
    EXPECT_EQ(screen().cursor_y(), c.y);
  }
}

TEST_F(OutputTest, GotosOutsideTheScreenChangeNothing) {
  console_goto(10, 5);
  console_print("ab");
  fake::clear_output();
  console_goto(0, 0);
  console_goto(81, 5);
  console_goto(5, 26);
  console_goto(-1, 3);
  EXPECT_EQ(fake::output(), "");
  console_print("c");
  EXPECT_EQ(screen().row(5), blank_row_with(10, "abc"));
}

TEST_F(OutputTest, GlyphInTheLastCellOfARowChangesOnlyThatCell) {
  console_goto(80, 21);
  console_print("%c", 0xDB);
  std::string expected;
  for (int y = 1; y <= 25; ++y) {
    if (y > 1) expected += '\n';
    if (y == 21) expected += blank_row_with(80, "\xE2\x96\x88");
  }
  EXPECT_EQ(screen().text(), expected);
  console_goto(3, 2);
  console_print("x");
  EXPECT_EQ(screen().cell(3, 2), "x");
  EXPECT_EQ(screen().cell(1, 22), " ");
}

TEST_F(OutputTest, GlyphBytesShowAsTheirBlockCharacters) {
  console_goto(1, 1);
  console_print("%c%c%c%c%c", 0xB1, 0xB2, 0xDB, 0xFE, 0x20);
  EXPECT_EQ(screen().cell(1, 1), "\xE2\x96\x92");  // U+2592
  EXPECT_EQ(screen().cell(2, 1), "\xE2\x96\x93");  // U+2593
  EXPECT_EQ(screen().cell(3, 1), "\xE2\x96\x88");  // U+2588
  EXPECT_EQ(screen().cell(4, 1), "\xE2\x96\xA0");  // U+25A0
  EXPECT_EQ(screen().cell(5, 1), " ");
  EXPECT_EQ(screen().cursor_x(), 6);
}

TEST(Cp437Test, UpperHalfMapsToItsCharacters) {
  struct Case {
    unsigned char byte;
    const char* utf8;
  };
  const Case cases[] = {
      {0x80, "\xC3\x87"},     {0x9E, "\xE2\x82\xA7"}, {0xA9, "\xE2\x8C\x90"},
      {0xB0, "\xE2\x96\x91"}, {0xC9, "\xE2\x95\x94"}, {0xDF, "\xE2\x96\x80"},
      {0xE0, "\xCE\xB1"},     {0xFB, "\xE2\x88\x9A"}, {0xFF, "\xC2\xA0"},
  };
  for (const Case& c : cases) {
    char out[4];
    const int size = cp437_utf8(c.byte, out);
    EXPECT_EQ(std::string(out, static_cast<size_t>(size)), c.utf8) << int{c.byte};
  }
}

TEST_F(OutputTest, ValidUtf8PassesThroughAndStrayBytesDoNot) {
  console_goto(1, 1);
  console_print("J\xC3\xBCrgen \xE6\x97\xA5!");
  EXPECT_EQ(screen().row(1).substr(0, 8), "J\xC3\xBCrgen ");
  EXPECT_EQ(screen().cell(8, 1), "\xE6\x97\xA5");
  EXPECT_EQ(screen().cell(10, 1), "!");
  // Overlong, cut short, and C1 controls in UTF-8 form: each byte on its own.
  console_goto(1, 2);
  console_print("\xC0\xAF|\xE2\x96|\xC2\x9B[2J");
  EXPECT_EQ(screen().row(2), "\xE2\x94\x94\xC2\xBB|\xCE\x93\xC3\xBB|\xE2\x94\xAC\xC2\xA2[2J");
  // A code point with no width known to the C library: terminals differ on it.
  // (A Windows console gives every character its cells: there it shows.)
  console_goto(1, 3);
  console_print("\xCD\xB8|\xD4\xB0|");
  EXPECT_EQ(screen().row(3), char_columns(0x378) > 0 ? "\xCD\xB8|\xD4\xB0|" : "?|?|");
}

TEST_F(OutputTest, CharactersAreNotJoinedAcrossPrints) {
  console_goto(1, 1);
  console_print("%c", 0xC3);
  console_print("%c", 0xA9);
  EXPECT_EQ(screen().cell(1, 1), "\xE2\x94\x9C");  // 0xC3 alone
  EXPECT_EQ(screen().cell(2, 1), "\xE2\x8C\x90");  // 0xA9 alone
  EXPECT_EQ(console_shadow().cursor_x, 3);
  // A wall byte then a body byte: valid UTF-8 together, two glyphs apart.
  console_print("%c", 0xDB);
  console_print("%c", 0xB2);
  EXPECT_EQ(screen().cell(3, 1), "\xE2\x96\x88");
  EXPECT_EQ(screen().cell(4, 1), "\xE2\x96\x93");
}

TEST_F(OutputTest, ControlBytesNeverReachTheTerminal) {
  console_goto(1, 4);
  fake::clear_output();
  // clang-format off
  console_print("a\x1b[2J\x01\x7f\x0c" "b");
  // clang-format on
  EXPECT_EQ(fake::output().find('\x1b'), std::string::npos);
  EXPECT_EQ(screen().row(4), "a[2Jb");
}

TEST(NonUtf8Test, GlyphsAreDistinctAsciiLookAlikes) {
  fake::reset(80, 25, false);
  console_goto(1, 1);
  console_print("%c%c%c%c|%c|\xC3\xA9|\xE6\x97\xA5|", 0xB1, 0xB2, 0xDB, 0xFE, 0x80);
  const std::string row = screen().row(1);
  ASSERT_EQ(row.size(), 11u);
  for (char c : row) EXPECT_LT(static_cast<unsigned char>(c), 0x80);
  const std::string glyphs = row.substr(0, 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_NE(glyphs[i], ' ');
    EXPECT_NE(glyphs[i], '?');
    EXPECT_EQ(glyphs.find(glyphs[i]), static_cast<size_t>(i)) << "glyphs must differ";
  }
  EXPECT_EQ(row.substr(4), "|?|?|?|");
  fake::reset();
}

TEST_F(OutputTest, BellRingsAndLeavesTheScreenAlone) {
  console_goto(5, 5);
  console_print("x");
  const std::string before = screen().text();
  const int bells = screen().bells();
  console_print("\a");
  EXPECT_EQ(screen().bells(), bells + 1);
  EXPECT_EQ(screen().text(), before);
  EXPECT_EQ(screen().cursor_x(), 6);
}

TEST_F(OutputTest, ClearBlanksEverythingAndHomesTheCursor) {
  for (int y = 1; y <= 25; ++y) {
    console_goto(1, y);
    console_print("%s", std::string(80, 'x').c_str());
  }
  fake::clear_output();
  console_clear();
  EXPECT_EQ(screen().text(), std::string(24, '\n'));
  EXPECT_EQ(screen().cursor_x(), 1);
  EXPECT_EQ(screen().cursor_y(), 1);
  // No colours, no line feeds that could scroll.
  EXPECT_EQ(fake::output().find('m'), std::string::npos);
  EXPECT_EQ(fake::output().find('\n'), std::string::npos);
}

TEST_F(OutputTest, PrintReturnsTheFormattedLength) {
  EXPECT_EQ(console_print("%d-%s", 42, "ab"), 5);
  EXPECT_EQ(console_print("%c", 0), 1);
  EXPECT_EQ(console_print("%s", ""), 0);
  EXPECT_EQ(screen().row(1), "42-ab");
}

// After Ctrl+Z and fg the screen is drawn again from the console's copy, so
// the copy must hold exactly what the terminal showed, wide characters included.
TEST_F(OutputTest, ResumeRepaintsTheScreenFromTheCopy) {
  console_clear();
  console_goto(1, 1);
  for (int glyph : {0xDB, 0xB2, 0xB1}) console_print("%c", glyph);  // one cell per print
  console_print(" Score: %d\tx", 120);
  console_goto(78, 3);
  console_print("ab\xE6\x97\xA5z");  // the wide character wraps to row 4
  console_goto(5, 2);
  console_print("J\xC3\xBCrgen");
  console_goto(3, 1);
  console_print("\xE6\x97\xA5");  // over one cell of the glyphs and one of the space
  console_goto(80, 25);
  console_print("q");  // the bottom-right corner: back to column 1, no scroll
  console_print("r");
  // Combining marks: more than a cell of the copy holds, one after a move and
  // one after a tab (neither has a character just drawn to join).
  console_goto(1, 6);
  console_print("e\xCC\x81\xCC\x82\xCC\x83\xCC\x84 a");
  console_goto(4, 6);
  console_print("\xCC\x81|\t\xCC\x82|");
  console_goto(10, 12);
  const std::string shown = screen().text();
  ASSERT_NE(shown.find("Score: 120"), std::string::npos);
  ASSERT_EQ(screen().cell(1, 25), "r");
  ASSERT_EQ(screen().cell(80, 25), "q");

  screen().feed("\x1b[2J\x1b[Hshell$ fg");
  fake::simulate_resume();
  console_wait_until(100, 0);
  EXPECT_EQ(screen().text(), shown);
  EXPECT_EQ(screen().cursor_x(), 10);
  EXPECT_EQ(screen().cursor_y(), 12);
}

TEST_F(OutputTest, ResumeRepaintsEmojiAndCombiningMarksInTheirColumns) {
  console_clear();
  console_goto(1, 2);
  // U+1F680, U+26A1, U+2B50, then e and o with combining marks, then text.
  // clang-format off
  console_print("\xF0\x9F\x9A\x80\xE2\x9A\xA1\xE2\xAD\x90" "e\xCC\x81o\xCC\x88\xCC\x81|end");
  console_goto(78, 3);
  console_print("ab\xE2\xAD\x90" "c");  // the star does not fit in column 80 alone
  // clang-format on
  console_goto(3, 4);
  const std::string shown = screen().text();
  ASSERT_EQ(screen().cell(5, 2), "\xE2\xAD\x90");
  ASSERT_EQ(screen().cell(7, 2), "e\xCC\x81");
  ASSERT_EQ(screen().cell(8, 2), "o\xCC\x88\xCC\x81");
  ASSERT_EQ(screen().cell(9, 2), "|");
  ASSERT_EQ(screen().cell(1, 4), "\xE2\xAD\x90");
  ASSERT_EQ(screen().cell(3, 4), "c");

  screen().feed("\x1b[2J\x1b[Hshell$ fg");
  fake::simulate_resume();
  console_wait_until(100, 0);
  EXPECT_EQ(screen().text(), shown);
  EXPECT_EQ(screen().cursor_x(), 3);
  EXPECT_EQ(screen().cursor_y(), 4);
}

}  // namespace
}  // namespace vormi
