// Every kind of screen through a change of size to 60x20 and back: the notice
// while the terminal is too small, then the very screen that was up, cursor
// included, with no key pressed; and a game that holds while the notice stands.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "front/screens.h"
#include "front_fixture.h"
#include "play/banners.h"
#include "play/game_loop.h"
#include "scores/score_screens.h"

namespace vormi::test {
namespace {

const std::string NOTICE = "Terminal 60x20: vormi needs at least 80x24." + std::string(19, '\n');
const std::string WALL = "\u2588";
const std::string HEAD = "\u2592";
const std::string BODY = "\u2593";
// The top line of the "OVER" banner, without the newline it is printed with.
const std::string OVER_TOP = std::string(OVER_BANNER[0], OVER_BANNER_WIDTH);

struct ScreenCase {
  const char* name;
  void (*run)();
  std::vector<std::pair<uint32_t, std::string>> keys;  // the way to the screen
  const char* shows;                                   // proof that it is up
  uint32_t shrink_at;
  uint32_t grow_at;
};

void new_game() { start_new_game(); }
void menu_then_choice() { dispatch_choice(show_main_menu()); }
void name_entry() { record_high_score(50); }
void choose() { choose_speed(); }

TEST_F(FrontTest, EveryScreenComesBackWholeAfterTheTerminalWasTooSmall) {
  // clang-format off
  const ScreenCase cases[] = {
      {"welcome", show_welcome, {}, "Press Any Key To Continue", 1000, 2000},
      {"menu, marker moved", [] { show_main_menu(); }, {{0, DOWN}}, "> High Scores", 1000, 2000},
      {"controls", show_controls, {}, "P & Esc pauses the game.", 1000, 2000},
      {"speed prompt", choose, {}, "Select The game speed between 1 and 9.", 1000, 2000},
      // Speed 1 steps at 900 and 1800: the change falls between two steps.
      {"game", new_game, {{0, "1"}}, "Speed: 1", 1000, 1500},
      {"pause", new_game, {{0, "1"}, {100, "p"}}, "**Paused**", 1000, 2000},
      {"game over banner", show_game_over_banner, {}, OVER_TOP.c_str(), 1000, 2000},
      {"win banner", show_win_banner, {}, WIN_BANNER[0], 1000, 2000},
      {"name entry, cursor inside the name", name_entry, {{0, "Bob"}, {10, LEFT}}, "name: Bob", 1000, 2000},
      {"score table", [] { show_high_scores(); }, {}, "Press any key to continue...", 1000, 2000},
      {"exit prompt", menu_then_choice, {{0, UP}, {10, ENTER}}, "Are you sure you want to exit(Y/N)", 1000, 2000},
  };
  // clang-format on
  for (const ScreenCase& c : cases) {
    SCOPED_TRACE(c.name);
    fake::reset();
    for (const auto& [at, bytes] : c.keys) fake::type_at(at, bytes);
    fake::resize_at(c.shrink_at, 60, 20);
    fake::resize_at(c.grow_at, 80, 25);
    EXPECT_TRUE(runs_out_of_input(c.run));
    const auto& seen = fake::resizes_seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_NE(seen[0].before.text.find(c.shows), std::string::npos) << seen[0].before.text;
    EXPECT_EQ(seen[0].after.text, NOTICE);
    EXPECT_EQ(seen[1].after.at_ms, c.grow_at);
    EXPECT_EQ(seen[1].after.text, seen[0].before.text);
    EXPECT_EQ(seen[1].after.cursor_x, seen[0].before.cursor_x);
    EXPECT_EQ(seen[1].after.cursor_y, seen[0].before.cursor_y);
  }
}

// Row y (1-based) of a screen's text.
std::string row_of(const std::string& text, int y) {
  size_t start = 0;
  for (int i = 1; i < y; ++i) start = text.find('\n', start) + 1;
  return text.substr(start, text.find('\n', start) - start);
}

std::string board_row_with_vormi_at(int head_x) {
  std::string row = WALL + std::string(head_x - 2, ' ') + HEAD + BODY + BODY + BODY;
  return row + std::string(80 - head_x - 4, ' ') + WALL;
}

// Held at the notice from 1000 to 5000, a game at speed 1 (a step each 900 ms)
// takes no step and none of the keys typed meanwhile, neither the turn up nor
// the pause; back at 80x25 its tick has long passed, so it steps at once.
// The first food, from the fake's calendar, lies off row 10.
TEST_F(FrontTest, AGameHeldAtTheNoticeNeitherStepsNorTakesKeys) {
  fake::type_at(0, "1");
  fake::resize_at(1000, 60, 20);
  fake::type_at(1200, UP);
  fake::type_at(1300, "p");
  fake::resize_at(5000, 80, 25);
  EXPECT_TRUE(runs_out_of_input(new_game));
  const auto& seen = fake::resizes_seen();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(row_of(seen[0].before.text, 10), board_row_with_vormi_at(39));
  EXPECT_EQ(seen[1].after.at_ms, 5000u);
  EXPECT_EQ(row_of(seen[1].after.text, 10), board_row_with_vormi_at(38));
  EXPECT_EQ(seen[1].after.text.find("**Paused**"), std::string::npos);
  // Left alone it went on to the left wall: no key from the notice was kept.
  EXPECT_EQ(fake::screen().cell(1, 10), HEAD);
  EXPECT_NE(fake::screen().text().find(OVER_TOP), std::string::npos);
}

}  // namespace
}  // namespace vormi::test
