// The welcome picture, the controls screen and the exit prompt.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "front/screens.h"
#include "front_fixture.h"

namespace vormi::test {
namespace {

constexpr int ART_COLUMN = 17;  // after two tabs

// The drawing of one picture line: what stands between the two leading tabs
// and the trailing tabs.
std::string art_of(const std::string& line) {
  const size_t end = line.find('\t', 2);
  return line.substr(2, end == std::string::npos ? std::string::npos : end - 2);
}

TEST(WelcomePicture, EveryLineKeepsTheLayoutRules) {
  const std::string allowed = "_/\\~|()o^ ";
  for (int i = 0; i < WELCOME_LINE_COUNT; ++i) {
    const std::string line = WELCOME_PICTURE[i];
    SCOPED_TRACE("line " + std::to_string(i + 1) + ": " + line);
    ASSERT_GE(line.size(), 4u);
    EXPECT_EQ(line.substr(0, 2), "\t\t");
    EXPECT_NE(line[2], '\t');
    const std::string art = art_of(line);
    EXPECT_FALSE(art.empty());
    EXPECT_LE(static_cast<int>(art.size()), WELCOME_ART_WIDTH);
    EXPECT_EQ(art.find_first_not_of(allowed), std::string::npos);
    const std::string tail = line.substr(2 + art.size());
    ASSERT_FALSE(tail.empty());
    EXPECT_EQ(tail.back(), '\n');
    EXPECT_EQ(tail.find_first_not_of('\t'), tail.size() - 1) << "only tabs before the newline";
    const int tabs = static_cast<int>(tail.size()) - 1;
    if (i == WELCOME_LINE_COUNT - 1) {
      EXPECT_EQ(tabs, 11);
    } else {
      EXPECT_GE(tabs, 1);
      EXPECT_LE(tabs, 3);
    }
  }
}

TEST(WelcomePicture, ShowsArchesHeadAndTail) {
  std::string all;
  int top_line = -1;
  for (int i = 0; i < WELCOME_LINE_COUNT; ++i) {
    const std::string art = art_of(WELCOME_PICTURE[i]);
    all += art + "\n";
    const size_t first = art.find("_________");
    if (top_line < 0 && first != std::string::npos &&
        art.find("_________", first + 9) != std::string::npos) {
      top_line = i;
    }
  }
  EXPECT_GE(top_line, 0) << "two arch tops of nine underscores side by side";
  EXPECT_NE(all.find("(o  o)"), std::string::npos);
  EXPECT_NE(all.find("\\__/"), std::string::npos);
  EXPECT_NE(all.find("~"), std::string::npos);
  EXPECT_NE(all.find("//"), std::string::npos);
  // The head, its chin and the tip come in that order from the top, at the left.
  const std::string head = art_of(WELCOME_PICTURE[WELCOME_LINE_COUNT - 4]);
  EXPECT_EQ(head.find("(o  o)"), 0u);
  EXPECT_NE(art_of(WELCOME_PICTURE[WELCOME_LINE_COUNT - 3]).find("\\__/"), std::string::npos);
  EXPECT_NE(art_of(WELCOME_PICTURE[WELCOME_LINE_COUNT - 2]).find('|'), std::string::npos);
  EXPECT_NE(art_of(WELCOME_PICTURE[WELCOME_LINE_COUNT - 1]).find('^'), std::string::npos);
}

TEST_F(FrontTest, WelcomeScreenPutsPictureTitleAndPromptInTheirRows) {
  EXPECT_TRUE(runs_out_of_input([] { show_welcome(); }));
  const std::string written = fake::output();
  EXPECT_EQ(fake::screen().row(1), "");
  size_t from = 0;
  for (int i = 0; i < WELCOME_LINE_COUNT; ++i) {
    const std::string art = art_of(WELCOME_PICTURE[i]);
    EXPECT_EQ(fake::screen().row(2 + i), std::string(ART_COLUMN - 1, ' ') + art) << i;
    // The drawing reaches the terminal as it stands, line after line.
    const size_t at = written.find(art, from);
    EXPECT_NE(at, std::string::npos) << i;
    if (at != std::string::npos) from = at + art.size();
  }
  // The last picture line's tabs run past the right edge without adding a row.
  EXPECT_EQ(fake::screen().row(13), std::string(24, ' ') + "Welcome To The Vormi Game!");
  EXPECT_EQ(fake::screen().row(14), std::string(36, ' ') + "Press Any Key To Continue...");
  EXPECT_EQ(fake::screen().row(15), "");
  EXPECT_EQ(fake::screen().cursor_y(), 16);
  EXPECT_EQ(fake::screen().cursor_x(), 1);
}

TEST_F(FrontTest, ControlsScreenRowsWithTwoEmptyRows) {
  EXPECT_TRUE(runs_out_of_input([] { show_controls(); }));
  const test::Screen& s = fake::screen();
  EXPECT_EQ(s.row(5), "         Controls");
  EXPECT_EQ(s.row(6), "         Use the following arrow keys to direct the vormi to the food:");
  EXPECT_EQ(s.row(7), "          Right Arrow");
  EXPECT_EQ(s.row(8), "          Left Arrow");
  EXPECT_EQ(s.row(9), "          Top Arrow");
  EXPECT_EQ(s.row(10), "          Bottom Arrow");
  EXPECT_EQ(s.row(11), "");
  EXPECT_EQ(s.row(12), "          P & Esc pauses the game.");
  EXPECT_EQ(s.row(13), "");
  EXPECT_EQ(s.row(14), "          Press any key to continue...");
  for (int row : {1, 2, 3, 4, 15, 16}) EXPECT_EQ(s.row(row), "") << row;
  EXPECT_EQ(s.cursor_x(), 39);  // just after the last line, which has no line end
  EXPECT_EQ(s.cursor_y(), 14);
}

// The prompt over the menu with the marker on "Exit".
void prompt_over_menu(const std::string& answer) {
  fake::type(UP + ENTER + answer);
  ASSERT_EQ(show_main_menu(), CHOICE_EXIT);
  confirm_exit();
}

TEST_F(FrontTest, ExitPromptCoversTheExitItemBesideTheMarker) {
  EXPECT_TRUE(runs_out_of_input([] { prompt_over_menu(""); }));
  EXPECT_EQ(fake::screen().row(8), "       >Are you sure you want to exit(Y/N)");
  EXPECT_EQ(fake::screen().row(5), "         New Game");
  // The prompt's line ends: the answer is awaited at the start of the next row.
  EXPECT_EQ(fake::screen().cursor_x(), 1);
  EXPECT_EQ(fake::screen().cursor_y(), 9);
}

TEST_F(FrontTest, ExitPromptIgnoresOtherKeysWithoutOutput) {
  EXPECT_TRUE(runs_out_of_input([] { prompt_over_menu(""); }));
  const std::string before = fake::screen().text();
  fake::clear_output();
  EXPECT_TRUE(runs_out_of_input([] { confirm_exit(); }));
  const std::string prompt_only = fake::output();
  fake::clear_output();
  fake::type("xq1 \r\x1b" + UP + DOWN + "\x7fzZ9");
  EXPECT_TRUE(runs_out_of_input([] { confirm_exit(); }));
  EXPECT_TRUE(fake::input_drained());
  EXPECT_EQ(fake::output(), prompt_only);
  EXPECT_EQ(fake::screen().text(), before);
}

class ExitAnswer : public FrontTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ExitAnswer, NoReturnsAndTheMenuComesBackOnNewGame) {
  const std::string answer = GetParam();
  EXPECT_TRUE(runs_out_of_input([&] {
    prompt_over_menu(answer);
    show_main_menu();
  }));
  EXPECT_EQ(fake::screen().row(8), "         Exit");
  EXPECT_EQ(marker_rows(), "5");
}

INSTANTIATE_TEST_SUITE_P(Front, ExitAnswer, ::testing::Values("n", "N", "x?N"));

// Written to standard error as the process ends, so the parent can see the
// screen the child left.
void report_screen_at_exit() {
  std::string text = fake::screen().text();
  bool blank = text.find_first_not_of('\n') == std::string::npos;
  std::fprintf(stderr, blank ? "[window blank]" : "[window shows text]");
}

class ExitYes : public FrontTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ExitYes, EndsWithStatusOneOnAClearedWindow) {
  const std::string answer = GetParam();
  EXPECT_EXIT(
      {
        std::atexit(report_screen_at_exit);
        prompt_over_menu(answer);
      },
      ::testing::ExitedWithCode(EXIT_CONFIRMED), "\\[window blank\\]");
}

INSTANTIATE_TEST_SUITE_P(Front, ExitYes, ::testing::Values("y", "Y", "q5Y"));

}  // namespace
}  // namespace vormi::test
