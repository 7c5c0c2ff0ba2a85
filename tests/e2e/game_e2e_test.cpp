// A whole game of the real binary on a pseudo-terminal: from the menu to the
// game-over banner and back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frozen_calendar.h"
#include "support/pty_session.h"
#include "support/work_dir.h"

namespace {

TEST(GameEndToEnd, LeftAloneAtSpeedNineItRunsIntoTheLeftWall) {
  vormi::test::WorkDir dir("vormi-e2e-game", false);
  ASSERT_FALSE(dir.path().empty());
  const std::vector<std::string> command = vormi::test::with_frozen_calendar(VORMI_BINARY);
  if (command.empty()) GTEST_SKIP() << "libfaketime is missing (Debian package faketime)";
  {
    vormi::test::PtySession game(command, 80, 25, dir.path());
    ASSERT_TRUE(game.wait_for("Press Any Key To Continue"));
    game.send("x");
    ASSERT_TRUE(game.wait_for("New Game"));
    game.send("\r");
    ASSERT_TRUE(game.wait_for("Select The game speed between 1 and 9."));
    game.send("9");
    ASSERT_TRUE(game.wait_for("Speed: 9"));
    EXPECT_EQ(game.screen().cell(37, 7), "\u25A0");  // where the stopped calendar puts the food
    // 39 steps of 100 ms take the head from column 40 to the wall.
    ASSERT_TRUE(game.wait_for(":'#######:::::'###::::'##::::'##:'########:", 15000));
    EXPECT_TRUE(game.wait_for(":'#######::'##::::'##:'########:'########::'####:"));
    EXPECT_EQ(game.screen().cell(1, 10), "\u2592");  // the head, on the wall
    EXPECT_EQ(game.screen().cell(2, 10), "\u2593");
    EXPECT_NE(game.screen().row(23).find("Score: 0"), std::string::npos);
    EXPECT_EQ(game.screen().bells(), 2);
    game.send("x");  // a score of 0 skips the table: straight back to the menu
    EXPECT_TRUE(game.wait_for("New Game"));
    EXPECT_EQ(game.screen().text().find(":'#######:::::'###"), std::string::npos);
  }
}

}  // namespace
