// The front end as a whole: the second code of an arrow carried from one
// screen into the menu, and games, tables and controls one after another.
#include <filesystem>
#include <ostream>
#include <string>

#include "front/front.h"
#include "front_fixture.h"
#include "support/files.h"

namespace vormi::test {
namespace {

size_t count_of(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

struct CarryCase {
  const char* name;
  std::string to_screen;  // keys from the start up to the screen left with an arrow
  std::string arrow;
  std::string marker;  // row of the marker once the menu is drawn
};

void PrintTo(const CarryCase& c, std::ostream* os) { *os << c.name; }

class SecondCodeCarried : public FrontTest, public ::testing::WithParamInterface<CarryCase> {};

// Leaving a screen with an arrow takes only its 0; the menu reads the
// direction code as its first key.
TEST_P(SecondCodeCarried, IntoTheMenu) {
  const CarryCase& c = GetParam();
  fake::type(c.to_screen + c.arrow);
  EXPECT_TRUE(runs_out_of_input([] { run_front(); }));
  EXPECT_TRUE(fake::input_drained());
  EXPECT_EQ(fake::screen().row(5).substr(9), "New Game");
  EXPECT_EQ(marker_rows(), c.marker);
}

const std::vector<CarryCase> CARRY_CASES = {
    {"WelcomeDown", "", DOWN, "6"},
    {"WelcomeUp", "", UP, "8"},
    {"ControlsDown", "w" + DOWN + DOWN + ENTER, DOWN, "6"},
    {"ControlsUp", "w" + DOWN + DOWN + ENTER, UP, "8"},
    {"HighScoresDown", "w" + DOWN + ENTER, DOWN, "6"},
    {"HighScoresUp", "w" + DOWN + ENTER, UP, "8"},
    {"WelcomeLeftMovesNothing", "", LEFT, "5"},
};

INSTANTIATE_TEST_SUITE_P(Front, SecondCodeCarried, ::testing::ValuesIn(CARRY_CASES),
                         [](const auto& test_case) { return std::string(test_case.param.name); });

TEST_F(FrontTest, HighScoresItemShowsTheTableAndCreatesTheFile) {
  fake::type("w" + DOWN + ENTER);
  EXPECT_TRUE(runs_out_of_input([] { run_front(); }));
  EXPECT_NE(fake::screen().text().find("High Scores"), std::string::npos);
  EXPECT_NE(fake::screen().text().find("EMPTY"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "highscores.txt"));
}

TEST_F(FrontTest, ControlsItemShowsTheControls) {
  fake::type("w" + DOWN + DOWN + ENTER);
  EXPECT_TRUE(runs_out_of_input([] { run_front(); }));
  EXPECT_EQ(fake::screen().row(12), "          P & Esc pauses the game.");
}

// Keys that start a game at speed 9 from the menu. Left alone, the vormi
// runs into the left wall with a score of 0 well within a minute of virtual
// time, and the game-over banner then waits for a key.
std::string lost_game_keys() { return ENTER + "9"; }

// Games start afresh: the second shows the same four-segment vormi against
// the wall and the same status panel as the first.
TEST_F(FrontTest, TwoGamesInARowShareNothing) {
  fake::type("w" + lost_game_keys());
  EXPECT_TRUE(runs_out_of_input([] { run_front(); }));
  const std::string first_row = fake::screen().row(10).substr(0, 8);
  const std::string first_score = fake::screen().row(23).substr(0, 14);
  const std::string first_speed = fake::screen().row(24).substr(0, 14);
  EXPECT_EQ(first_score, "    Score: 0  ");
  EXPECT_EQ(first_speed, "    Speed: 9  ");
  EXPECT_GE(fake::screen().bells(), 2);

  fake::reset();
  fake::type("w" + lost_game_keys());
  fake::type_at(60000, "k" + lost_game_keys());
  EXPECT_TRUE(runs_out_of_input([] { run_front(); }));
  EXPECT_GE(fake::now(), 60000u);
  EXPECT_EQ(count_of(fake::output(), "Select The game speed between 1 and 9."), 2u);
  EXPECT_EQ(fake::screen().row(10).substr(0, 8), first_row);
  EXPECT_EQ(fake::screen().row(23).substr(0, 14), first_score);
  EXPECT_EQ(fake::screen().row(24).substr(0, 14), first_speed);
}

// Every item in turn, and out through the prompt, which first says no.
TEST_F(FrontTest, EveryItemInTurnThenOutThroughThePrompt) {
  fake::type("w" + lost_game_keys());
  fake::type_at(60000, "k" + DOWN + ENTER + "k" + DOWN + DOWN + ENTER + "k" + UP + ENTER + "n" +
                           lost_game_keys());
  fake::type_at(120000, "k" + UP + ENTER + "?");
  EXPECT_TRUE(runs_out_of_input([] { run_front(); }));
  EXPECT_TRUE(fake::input_drained());
  const std::string written = fake::output();
  EXPECT_EQ(count_of(written, "Welcome To The Vormi Game!"), 1u);
  EXPECT_EQ(count_of(written, "Select The game speed between 1 and 9."), 2u);
  EXPECT_EQ(count_of(written, "Use the following arrow keys"), 1u);
  EXPECT_EQ(count_of(written, "Are you sure you want to exit(Y/N)"), 2u);
  // Six menus (the first, then after each game, the table, the controls and
  // the "n") and the title of the table itself.
  EXPECT_EQ(count_of(written, "High Scores"), 7u);
  EXPECT_EQ(fake::screen().row(8), "       >Are you sure you want to exit(Y/N)");
  // A score of 0 never enters the table.
  EXPECT_EQ(read_lines(dir_ / "highscores.txt"),
            std::string("1\t0\t\t\tEMPTY\n2\t0\t\t\tEMPTY\n3\t0\t\t\tEMPTY\n"
                        "4\t0\t\t\tEMPTY\n5\t0\t\t\tEMPTY\n"));
}

}  // namespace
}  // namespace vormi::test
