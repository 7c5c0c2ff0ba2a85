// Changes of the terminal's size on the fake terminal: the notice below 80x24,
// the hold while it stands, and the copy of the screen as the size changes.
#include <gtest/gtest.h>

#include <string>

#include "console/console.h"
#include "console/screen/size_notice.h"
#include "fake/fake_terminal.h"

namespace vormi {
namespace {

using fake::screen;

// A screen's text: the given rows, then blank rows up to rows in all.
std::string screen_text(const std::string& top, int top_rows, int rows) {
  return top + std::string(rows - top_rows, '\n');
}

TEST(SizeNotice, FitsEvenATinyWindow) {
  const struct {
    int columns;
    int rows;
    const char* want;
  } cases[] = {
      {60, 20, "Terminal 60x20: vormi needs at least 80x24."},
      {20, 10, "Terminal 20x10:\r\nvormi needs at least\r\n80x24."},
      {12, 2, "Terminal\r\n12x2: vormi"},  // no third row: the rest is left out
      {5, 3, "Termi\r\nnal\r\n5x3:"},      // a word wider than the window is cut
  };
  for (const auto& c : cases) {
    char out[128];
    const int size = size_notice(c.columns, c.rows, 80, 24, out, sizeof out);
    EXPECT_EQ(std::string(out, static_cast<size_t>(size)), c.want) << c.columns << "x" << c.rows;
  }
}

class ResizeTest : public ::testing::Test {
 protected:
  void SetUp() override { fake::reset(); }
};

TEST_F(ResizeTest, BelowTheMinimumANoticeHoldsTheWaitAndDropsKeys) {
  console_clear();
  console_goto(3, 2);
  console_print("board");
  console_goto(10, 4);
  fake::resize_at(1000, 60, 20);
  fake::type_at(1200, "x");
  fake::type_at(1300, "\x1b[A");
  fake::resize_at(1400, 40, 10);  // still too small: the notice tells the new size
  fake::resize_at(3000, 80, 25);
  fake::type_at(4000, "k");
  console_wait_until(5000, true);
  // Neither x nor the arrow, typed while the notice stood, ended the wait.
  EXPECT_EQ(fake::now(), 4000u);
  EXPECT_EQ(console_read_key(), 'k');
  EXPECT_FALSE(console_key_ready());

  const auto& seen = fake::resizes_seen();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].after.text, screen_text("Terminal 60x20: vormi needs at least 80x24.", 1, 20));
  EXPECT_EQ(seen[1].after.text, screen_text("Terminal 40x10: vormi needs at least\n80x24.", 2, 10));
  // Large enough again: the screen comes back at once, whole, cursor included.
  EXPECT_EQ(seen[2].after.at_ms, 3000u);
  EXPECT_EQ(seen[2].after.text, seen[0].before.text);
  EXPECT_EQ(seen[2].after.cursor_x, 10);
  EXPECT_EQ(seen[2].after.cursor_y, 4);
}

// What was typed just before the terminal became too small ends there: a lone
// Esc is the Esc key, kept for after the notice; the start of an arrow is
// dropped and does not join the key typed after.
TEST_F(ResizeTest, AKeyBeingToldApartWhenTheNoticeComesEndsThere) {
  const struct {
    const char* before;
    int first_key;
  } cases[] = {{"\x1b", KEY_ESC}, {"\x1b[", 'A'}};
  for (const auto& c : cases) {
    fake::reset();
    fake::type_at(990, c.before);
    fake::resize_at(1000, 60, 20);
    fake::resize_at(3000, 80, 25);
    fake::type_at(3500, "A");
    console_wait_until(5000, true);
    EXPECT_EQ(console_read_key(), c.first_key) << c.first_key;
  }
}

// The copy follows the terminal's size: what comes into view after a shrink
// is blank (not what was there before), and a wide character cut by the new
// right edge is dropped rather than wrapped onto the next row.
TEST_F(ResizeTest, TheCopyFollowsTheSizeBothWays) {
  fake::reset(100, 30);
  console_clear();
  console_goto(3, 2);
  console_print("board");
  console_goto(90, 28);
  console_print("far");
  console_goto(80, 3);
  console_print("\xE6\x97\xA5");  // a wide character in columns 80 and 81
  console_goto(3, 5);

  fake::resize(80, 25);
  console_wait_until(100, false);
  EXPECT_EQ(screen().text(), screen_text("\n  board", 2, 25));
  EXPECT_EQ(screen().cursor_x(), 3);
  EXPECT_EQ(screen().cursor_y(), 5);

  fake::resize(100, 30);
  console_wait_until(200, false);
  EXPECT_EQ(screen().text(), screen_text("\n  board", 2, 30));
  console_goto(95, 29);  // inside the grown screen
  console_print("z");
  EXPECT_EQ(screen().cell(95, 29), "z");
}

}  // namespace
}  // namespace vormi
