// The main menu: items, marker moves with arrows and H/P, wrapping, Enter.
#include <ostream>
#include <string>
#include <vector>

#include "front/screens.h"
#include "front_fixture.h"

namespace vormi::test {
namespace {

struct MenuCase {
  const char* name;
  std::string keys;  // typed before Enter
  int chosen;        // index menu_select returns
};

void PrintTo(const MenuCase& c, std::ostream* os) { *os << c.name; }

class MenuMoves : public FrontTest, public ::testing::WithParamInterface<MenuCase> {};

TEST_P(MenuMoves, EnterChoosesTheMarkedItem) {
  const MenuCase& c = GetParam();
  fake::type(c.keys + ENTER);
  EXPECT_EQ(show_main_menu(), c.chosen);
  // The marker stays where Enter found it, and only there.
  EXPECT_EQ(marker_rows(), std::to_string(5 + c.chosen));
  EXPECT_TRUE(fake::input_drained());
}

const std::vector<MenuCase> MENU_CASES = {
    {"EnterAtOnceIsNewGame", "", 0},
    {"UpFromNewGameWrapsToExit", UP, 3},
    {"UpperHActsAsUp", "H", 3},
    {"DownMovesToHighScores", DOWN, 1},
    {"UpperPActsAsDown", "P", 1},
    {"DownTwiceIsControls", DOWN + DOWN, 2},
    {"DownThreeTimesIsExit", DOWN + DOWN + DOWN, 3},
    {"DownFromExitWrapsToNewGame", DOWN + DOWN + DOWN + DOWN, 0},
    {"UpperPFromExitWrapsToNewGame", UP + "P", 0},
    {"UpTwiceIsControls", UP + UP, 2},
    {"UpFourTimesComesBack", UP + UP + UP + UP, 0},
    {"UpThenDownComesBack", UP + DOWN, 0},
    {"LowerHAndPDoNotMove", "hpph", 0},
    {"LowerLettersAroundUpperP", "hPp", 1},
    {"LeftAndRightDoNotMove", LEFT + RIGHT + RIGHT, 0},
    {"OtherKeysDoNotMove", "x\x1bq 1\t", 0},
    {"MixedArrowsAndLetters", DOWN + "P" + UP + "H" + "H", 3},
};

INSTANTIATE_TEST_SUITE_P(Menu, MenuMoves, ::testing::ValuesIn(MENU_CASES),
                         [](const auto& test_case) { return std::string(test_case.param.name); });

TEST_F(FrontTest, MenuDrawsItemsAndMarkerThenParksTheCursor) {
  EXPECT_TRUE(runs_out_of_input([] { show_main_menu(); }));
  EXPECT_EQ(fake::screen().row(5), "       > New Game");
  EXPECT_EQ(fake::screen().row(6), "         High Scores");
  EXPECT_EQ(fake::screen().row(7), "         Controls");
  EXPECT_EQ(fake::screen().row(8), "         Exit");
  for (int row : {1, 2, 3, 4, 9, 10, 24}) EXPECT_EQ(fake::screen().row(row), "") << row;
  EXPECT_EQ(fake::screen().cursor_x(), 1);
  EXPECT_EQ(fake::screen().cursor_y(), 1);
}

TEST_F(FrontTest, MenuRedrawnFromAClearedWindowStartsOnNewGame) {
  fake::type(DOWN + DOWN + ENTER);
  EXPECT_EQ(show_main_menu(), 2);
  EXPECT_TRUE(runs_out_of_input([] { show_main_menu(); }));
  EXPECT_EQ(marker_rows(), "5");
}

TEST_F(FrontTest, MarkerMovesLeaveTheCursorAfterTheMarker) {
  fake::type(DOWN);
  EXPECT_TRUE(runs_out_of_input([] { show_main_menu(); }));
  EXPECT_EQ(marker_rows(), "6");
  EXPECT_EQ(fake::screen().cursor_x(), MARKER_COLUMN + 1);
  EXPECT_EQ(fake::screen().cursor_y(), 6);
}

// The selection works for any list: three items at column 20 from row 3.
TEST_F(FrontTest, SelectionOnAnotherListWrapsAtItsOwnEnds) {
  fake::type(UP + ENTER);
  EXPECT_EQ(menu_select(20, 7, 3), 2);
  EXPECT_EQ(fake::screen().cell(18, 5), ">");
  EXPECT_EQ(fake::screen().cell(18, 3), " ");
  fake::type(DOWN + DOWN + DOWN + DOWN + ENTER);
  EXPECT_EQ(menu_select(20, 7, 3), 1);
}

}  // namespace
}  // namespace vormi::test
