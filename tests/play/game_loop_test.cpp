// Scripted games on the fake terminal: keys at virtual times, and where the
// head ended, when, and what the screen and the score table show.
#include "play/game_loop.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "console/console.h"
#include "fake/fake_terminal.h"
#include "play/banners.h"
#include "play/playfield.h"
#include "support/files.h"
#include "support/work_dir.h"

namespace vormi {
namespace {

const std::string HEAD = "\u2592";
const std::string BODY = "\u2593";

using test::read_lines;
using Keys = std::vector<std::pair<uint32_t, std::string>>;

// A calendar second in which the food falls on (70, 19), out of every path
// the scripted games take.
constexpr int64_t FOOD_AT_70_19 = 1700000644;

// Where a placement puts the food in these seconds, worked out by hand from
// the generator's first value after seeding with the second.
TEST(FoodPlace, FallsWhereItsSecondPutsIt) {
  const struct {
    int64_t second;
    Cell food;
  } cases[] = {{0, {36, 6}},
               {-1, {17, 12}},
               {1700000000, {5, 4}},
               {FOOD_AT_70_19, {70, 19}},
               {1767225600, {37, 7}}};
  for (const auto& c : cases) {
    fake::reset(80, 25, true, c.second);
    GameState empty{};
    place_food(empty.food, 80, 25, empty, 0);
    EXPECT_EQ(empty.food.x, c.food.x) << c.second;
    EXPECT_EQ(empty.food.y, c.food.y) << c.second;
  }
}

// The loop of a game that stands at these values.
void run_from(GameState& state, int length, int direction, int score, int speed) {
  state.length = length;
  state.direction = direction;
  state.score = score;
  state.speed = speed;
  run_game(state, 80, 25);
}

std::string at(int x, int y) { return fake::screen().cell(x, y); }

// n cells of row y from column x on.
std::string cells(int x, int y, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += at(x + i, y);
  return s;
}

// Every test runs in a fresh directory, with the food out of every path the
// scripted games take.
class Game : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(work_.path().empty());
    fake::reset(80, 25, true, FOOD_AT_70_19);
  }
  static void script(const Keys& keys) {
    for (const auto& [ms, bytes] : keys) fake::type_at(ms, bytes);
  }
  // Runs a game; true when it stopped for want of input (at a banner or pause).
  static bool play_game(const Keys& keys) {
    script(keys);
    try {
      start_new_game();
    } catch (const fake::InputExhausted&) {
      return true;
    }
    return false;
  }
  test::WorkDir work_{"vormi-game"};
};

// A four-segment vormi at (40,10) heading left with the food just ahead.
GameState food_ahead() {
  GameState state{};
  clear_body(state);
  state.body.x[0] = 40;
  state.body.y[0] = 10;
  lay_out_body(state, 4);
  state.food = {39, 10};
  return state;
}

// 304 segments winding over rows 2 to 5 (the tail at (2,2)), the head at (10,5).
GameState long_body() {
  GameState state{};
  clear_body(state);
  int n = 303;
  for (int y = 2; y <= 5 && n >= 0; ++y) {
    for (int i = 0; i < 78 && n >= 0; ++i, --n) {
      state.body.x[n] = (y % 2 == 0) ? 2 + i : 79 - i;
      state.body.y[n] = y;
    }
  }
  return state;
}

TEST_F(Game, SpeedPromptRejectsZeroLettersAndArrows) {
  fake::type("0a\x1b[A");
  EXPECT_THROW(choose_speed(), fake::InputExhausted);
  EXPECT_EQ(fake::screen().text(),
            "\n\n\n\n         Select The game speed between 1 and 9." + std::string(20, '\n'));
  fake::type("5");
  EXPECT_EQ(choose_speed(), 5);
}

TEST_F(Game, FirstStepComesOneTickAfterThePanelGoingLeft) {
  // A pause key just before and just after the first deadline freezes the board.
  ASSERT_TRUE(play_game({{0, "5"}, {499, "p"}}));
  EXPECT_EQ(cells(5, 23, 9), "Score: 0 ");
  EXPECT_EQ(cells(5, 24, 9), "Speed: 5 ");
  EXPECT_EQ(cells(28, 23, 40), "**Paused**" + std::string(14, ' ') + "Coder: Kestrovan");
  EXPECT_EQ(cells(52, 24, 12), "Version: " VORMI_VERSION);  // the package's version too
  for (int x = 40; x <= 43; ++x) EXPECT_EQ(at(x, 10), BODY) << x;
  EXPECT_EQ(at(70, 19), "\u25A0");  // the food, where the calendar was set to put it

  fake::reset(80, 25, true, FOOD_AT_70_19);
  ASSERT_TRUE(play_game({{0, "5"}, {501, "p"}}));
  EXPECT_EQ(at(39, 10), HEAD);
  EXPECT_EQ(at(43, 10), " ");
}

struct Steering {
  const char* what;
  Keys keys;
  uint32_t end_ms;  // when the head meets the wall
  int head_x;
  int head_y;
};

void PrintTo(const Steering& c, std::ostream* os) { *os << c.what; }

class Steer : public Game, public ::testing::WithParamInterface<Steering> {};

// At speed 9 a step comes every 100 ms; left alone the head reaches column 1 at 3900.
TEST_P(Steer, EndsWhereAndWhenExpected) {
  const Steering& c = GetParam();
  Keys keys = {{0, "9"}};
  keys.insert(keys.end(), c.keys.begin(), c.keys.end());
  ASSERT_TRUE(play_game(keys));
  EXPECT_EQ(fake::now(), c.end_ms);
  EXPECT_EQ(at(c.head_x, c.head_y), HEAD);
  EXPECT_EQ(fake::screen().bells(), 2);
  EXPECT_EQ(cells(28, 23, 12), std::string(12, ' '));
}

INSTANTIATE_TEST_SUITE_P(
    Game, Steer,
    ::testing::Values(
        Steering{"alone", {}, 3900, 1, 10},
        Steering{"reversal ignored", {{50, "\x1b[C"}, {60, "M"}}, 3900, 1, 10},
        Steering{"second key turns", {{50, "\x1b[C"}, {60, "\x1b[A"}}, 900, 40, 1},
        Steering{"up then right", {{50, "\x1b[A"}, {60, "\x1b[C"}}, 4100, 80, 9},
        Steering{"H up", {{50, "H"}}, 900, 40, 1},
        Steering{"H then K", {{50, "H"}, {150, "K"}}, 4000, 1, 9},
        Steering{"H then M", {{50, "H"}, {150, "M"}}, 4100, 80, 9},
        Steering{"P down", {{50, "P"}}, 1100, 40, 21},
        Steering{"h k m nothing", {{50, "h"}, {60, "k"}, {70, "m"}}, 3900, 1, 10},
        Steering{"p pauses past the deadline", {{50, "p"}, {2050, "x"}}, 5850, 1, 10},
        Steering{"Esc pauses", {{10, "\x1b"}, {2050, "x"}}, 5850, 1, 10},
        Steering{"arrow ends pause", {{50, "p"}, {2050, "\x1b[A"}}, 2950, 39, 1},
        Steering{
            "Esc late in a tick pauses before the step", {{195, "\x1b"}, {2050, "x"}}, 5750, 1, 10},
        Steering{"arrow late in a tick is not held", {{195, "\x1b[A"}}, 1000, 39, 1},
        Steering{"Alt with a key late in a tick is not held", {{195, "\x1bx"}}, 3900, 1, 10},
        // Both keys wait behind the turn; read late, together, they would make Alt+Left.
        Steering{"Esc then an arrow while the gate is closed",
                 {{1, "H"}, {10, "\x1b"}, {70, "\x1b[D"}},
                 4000,
                 1,
                 9},
        Steering{"pause after a turn waits for the step",
                 {{50, "\x1b[A"}, {60, "p"}, {2000, "x"}},
                 2700,
                 40,
                 1}),
    [](const ::testing::TestParamInfo<Steering>& param_info) {
      std::string name;
      for (const char* p = param_info.param.what; *p; ++p) name += std::isalnum(*p) ? *p : '_';
      return name;
    });

// A lone Esc pauses once nothing has followed it for 50 ms; a key within that
// time makes it an Alt key, which does nothing.
TEST_F(Game, LoneEscPausesFiftyMillisecondsAfterIt) {
  struct Case {
    Keys keys;
    int paused_at;  // when the pause marker first shows; -1: never
  } const cases[] = {{{{10, "\x1b"}, {2000, "x"}}, 60}, {{{10, "\x1b"}, {59, "x"}}, -1}};
  for (const Case& c : cases) {
    fake::reset(80, 25, true, FOOD_AT_70_19);
    int paused_at = -1;
    fake::on_wait([&] {
      if (paused_at < 0 && cells(28, 23, 10) == "**Paused**")
        paused_at = static_cast<int>(fake::now());
    });
    Keys keys = {{0, "9"}};
    keys.insert(keys.end(), c.keys.begin(), c.keys.end());
    ASSERT_TRUE(play_game(keys));
    EXPECT_EQ(paused_at, c.paused_at) << "Esc and a key " << c.keys[1].first - 10 << " ms after";
    EXPECT_EQ(at(1, 10), HEAD);  // and the game runs on into the wall
  }
}

// An Esc is known only after 50 ms of silence; pressed anywhere in a tick it
// still pauses before the next step. So does one typed right behind the key
// that ends a pause, although the step that pause made late is due at once.
TEST_F(Game, EscPausesBeforeTheNextStepWhereverInTheTick) {
  const struct {
    const char* what;
    Keys keys;
    uint32_t paused_at;
    int head_x;
  } cases[] = {
      {"at 10% of a 100 ms tick", {{110, "\x1b"}}, 160, 39},
      {"at 40%", {{140, "\x1b"}}, 190, 39},
      {"at 60%", {{160, "\x1b"}}, 210, 39},
      {"at 95%", {{195, "\x1b"}}, 245, 39},
      {"behind the key ending a pause", {{50, "p"}, {2050, "x\x1b"}}, 2100, 40},
  };
  for (const auto& c : cases) {
    fake::reset(80, 25, true, FOOD_AT_70_19);
    GameState state = food_ahead();
    state.food = {70, 19};
    draw_vormi(state, 4);
    script(c.keys);
    EXPECT_THROW(run_from(state, 4, KEY_LEFT, 0, 9), fake::InputExhausted);
    EXPECT_EQ(fake::now(), c.paused_at) << c.what;
    EXPECT_EQ(cells(28, 23, 10), "**Paused**") << c.what;
    EXPECT_NE(at(c.head_x, 10), " ") << c.what;  // the head, or the body before any step
    EXPECT_EQ(at(c.head_x - 1, 10), " ") << c.what;
  }
}

struct Level {
  int speed;
  int score;
  int next_score;
  int next_speed;
  uint32_t end_ms;  // eaten at the first step, then 38 steps of the new tick
};

class Levels : public Game, public ::testing::WithParamInterface<Level> {};

TEST_P(Levels, FoodRaisesScoreSpeedAndTick) {
  const Level& c = GetParam();
  GameState state = food_ahead();
  EXPECT_THROW(run_from(state, 4, KEY_LEFT, c.score, c.speed), fake::InputExhausted);
  EXPECT_EQ(fake::now(), c.end_ms);
  std::string score = "Score: " + std::to_string(c.next_score) + " ";
  std::string speed = "Speed: " + std::to_string(c.next_speed) + " ";
  EXPECT_EQ(cells(5, 23, static_cast<int>(score.size())), score);
  EXPECT_EQ(cells(5, 24, static_cast<int>(speed.size())), speed);
  EXPECT_EQ(fake::screen().bells(), 3);  // the eating, then the two of the loss
}

INSTANTIATE_TEST_SUITE_P(Game, Levels,
                         ::testing::Values(Level{1, 18, 19, 1, 900 + 38 * 900},
                                           Level{1, 19, 20, 2, 900 + 38 * 800},
                                           Level{2, 38, 40, 3, 800 + 38 * 700},
                                           Level{9, 170, 179, 9, 100 + 38 * 100},
                                           Level{9, 171, 180, 10, 100 + 38 * 95}));

// A round trip over every interior cell: row 2 to the right, then the columns
// from 79 down to 2, odd ones downwards and even ones upwards, between rows 3
// and 20. Following it the head never meets the body, which is far shorter.
Cell next_on_tour(Cell c) {
  if (c.y == 2) return c.x < 79 ? Cell{c.x + 1, 2} : Cell{79, 3};
  if (c.x % 2 == 1) return c.y < 20 ? Cell{c.x, c.y + 1} : Cell{c.x - 1, 20};
  if (c.y > 3) return Cell{c.x, c.y - 1};
  return c.x == 2 ? Cell{2, 2} : Cell{c.x - 1, 3};
}

// The letter that steers from one cell to its neighbour.
std::string key_towards(Cell from, Cell to) {
  if (to.x < from.x) return "K";
  if (to.x > from.x) return "M";
  return to.y < from.y ? "H" : "P";
}

int number_after(const std::string& row, const std::string& label) {
  return std::stoi(row.substr(row.find(label) + label.size()));
}

int speed_shown() { return number_after(fake::screen().row(24), "Speed: "); }

// A calendar second in which the game's own placement puts the food on each
// interior cell, the first that does.
const std::map<std::pair<int, int>, int64_t>& second_for_cell() {
  static const auto table = [] {
    std::map<std::pair<int, int>, int64_t> seconds;
    GameState empty{};
    for (int64_t t = 1700000000; seconds.size() < 78u * 19u; ++t) {
      fake::set_calendar(t);
      place_food(empty.food, 80, 25, empty, 0);
      seconds.emplace(std::make_pair(empty.food.x, empty.food.y), t);
    }
    return seconds;
  }();
  return table;
}

// A player who eats every piece in turn along the tour from the start of a
// game: the calendar is set so that each piece falls on the cell after the one
// the head goes to next, and the player follows the tour. follow() is called
// at each wait of the fake device.
class TourPlayer {
 public:
  explicit TourPlayer(int pieces) : path_{{40, 10}, {39, 10}} {
    while (path_.size() < static_cast<size_t>(pieces) + 3)
      path_.push_back(next_on_tour(path_.back()));
    set_calendar_for(path_[2]);  // the first piece
  }

  // Notes whether the head has gone on to the next cell of the path, then
  // sets the calendar and keys the turn for the move after. True when it has.
  bool follow() {
    const bool moved =
        head_ + 1 < path_.size() && at(path_[head_ + 1].x, path_[head_ + 1].y) == HEAD;
    if (moved) ++head_;
    // Once won, the keys belong to the banner and the name.
    if (head_ + 2 >= path_.size()) return moved;
    set_calendar_for(path_[head_ + 2]);
    const std::string key = key_towards(path_[head_], path_[head_ + 1]);
    if (key != heading_) fake::type(key);
    heading_ = key;
    return moved;
  }

  // The head's index on the path: piece n is eaten on reaching n + 1.
  size_t head() const { return head_; }
  // Whether the next move goes on the way the last one went, so no turn is keyed.
  bool straight_on() const {
    if (head_ < 1 || head_ + 1 >= path_.size()) return false;
    return key_towards(path_[head_ - 1], path_[head_]) ==
           key_towards(path_[head_], path_[head_ + 1]);
  }

 private:
  static void set_calendar_for(Cell c) { fake::set_calendar(second_for_cell().at({c.x, c.y})); }

  std::vector<Cell> path_;
  size_t head_ = 0;
  std::string heading_ = "K";
};

struct Checkpoint {
  int piece, score, speed;
};
struct WholeGame {
  int start_speed;
  std::vector<Checkpoint> checkpoints;  // the panel after these pieces
  int table_score;                      // the last panel's score and the bonus
};

void PrintTo(const WholeGame& g, std::ostream* os) { *os << "from speed " << g.start_speed; }

class WholeGames : public Game, public ::testing::WithParamInterface<WholeGame> {};

TEST_P(WholeGames, EveryPieceEatenThroughEveryRiseToTheWin) {
  const WholeGame& g = GetParam();
  constexpr int PIECES = 301;
  TourPlayer player(PIECES);
  std::vector<uint32_t> step_at;
  std::vector<int> score = {0}, speed = {g.start_speed}, bells = {0};
  fake::on_wait([&] {
    if (!player.follow()) return;
    step_at.push_back(fake::now());
    if (player.head() >= 2) {  // the first step goes to the first piece, the next ones eat
      score.push_back(number_after(fake::screen().row(23), "Score: "));
      speed.push_back(speed_shown());
      bells.push_back(fake::screen().bells());
    }
  });
  ASSERT_TRUE(play_game({{0, std::to_string(g.start_speed)},
                         {100000000, "x"},  // the win banner
                         {100000100, "Ann\r"}}));
  fake::on_wait(nullptr);

  ASSERT_EQ(score.size(), PIECES + 1u);
  for (int n = 1; n <= PIECES; ++n) {
    SCOPED_TRACE("piece " + std::to_string(n));
    EXPECT_EQ(score[n], score[n - 1] + speed[n - 1]);  // worth the speed it is eaten at
    // The first rise comes with the 20th piece, every later one ten pieces on.
    EXPECT_EQ(speed[n], speed[n - 1] + (n >= 20 && n % 10 == 0 ? 1 : 0));
    EXPECT_EQ(bells[n], n);
  }
  for (const Checkpoint& c : g.checkpoints) {
    EXPECT_EQ(score[c.piece], c.score) << "piece " << c.piece;
    EXPECT_EQ(speed[c.piece], c.speed) << "piece " << c.piece;
  }
  // From each step to the next, the tick of the speed the panel then showed.
  std::set<int> ticks;
  for (size_t k = 0; k + 1 < step_at.size(); ++k) {
    const int shown = speed[k];  // after the piece eaten at step k, or the start
    const int tick = shown <= 9 ? 1000 - 100 * shown : shown <= 21 ? 145 - 5 * shown : 35;
    EXPECT_EQ(static_cast<int>(step_at[k + 1] - step_at[k]), tick) << "speed " << shown;
    ticks.insert(tick);
  }
  EXPECT_EQ(*ticks.begin(), 35);
  EXPECT_EQ(fake::screen().bells(), PIECES);  // no bells for the win
  const std::string first_line = "1\t" + std::to_string(g.table_score) + "\t\t\tAnn\n";
  EXPECT_EQ(read_lines("highscores.txt").substr(0, first_line.size()), first_line);
}

INSTANTIATE_TEST_SUITE_P(
    Game, WholeGames,
    ::testing::Values(
        WholeGame{
            1, {{19, 19, 1}, {20, 20, 2}, {30, 40, 3}, {220, 2320, 22}, {301, 4390, 30}}, 5890},
        WholeGame{9, {{19, 171, 9}, {20, 180, 10}, {140, 2040, 22}, {301, 6798, 38}}, 8298}));

// A game played along the tour from speed 9: once the panel shows the speed
// of the case, an Esc typed at a share of the tick after a step (one the
// player keys no turn for) pauses the game when it is known, 50 ms on, before
// the head moves again; at 35 ms that is past the deadline of the next step.
// A key ends the pause: the late step comes at once, the next a tick after.
TEST_F(Game, EscPausesBeforeTheNextStepAtTicksOf100And35Ms) {
  const struct {
    int speed, tick, percent;
  } cases[] = {{9, 100, 10}, {9, 100, 40}, {9, 100, 60}, {9, 100, 95},
               {22, 35, 10}, {22, 35, 40}, {22, 35, 60}, {22, 35, 95}};
  for (const auto& c : cases) {
    SCOPED_TRACE("Esc at " + std::to_string(c.percent) + "% of a " + std::to_string(c.tick) +
                 " ms tick");
    fake::reset(80, 25, true, FOOD_AT_70_19);
    TourPlayer player(301);
    uint32_t esc_at = 0, paused_at = 0;
    size_t esc_head = 0, paused_head = 0;
    std::vector<uint32_t> steps_after;  // the steps after the Esc's tick
    std::string marker_after;           // the marker's cells at the first of them
    fake::on_wait([&] {
      if (esc_at != 0 && paused_at == 0 && cells(28, 23, 10) == "**Paused**") {
        paused_at = fake::now();
        paused_head = player.head();
      }
      if (steps_after.size() >= 2) return;  // let go: the vormi runs into a wall
      const bool stepped = player.follow();
      if (esc_at == 0) {
        if (stepped && speed_shown() == c.speed && player.straight_on()) {
          esc_at = fake::now() + static_cast<uint32_t>(c.tick * c.percent / 100);
          esc_head = player.head();
          fake::type_at(esc_at, "\x1b");
          fake::type_at(esc_at + 100, "x");
        }
        return;
      }
      if (stepped) steps_after.push_back(fake::now());
      if (steps_after.size() == 1 && marker_after.empty()) marker_after = cells(28, 23, 12);
    });
    ASSERT_TRUE(play_game({{0, "9"}}));
    fake::on_wait(nullptr);
    ASSERT_NE(esc_at, 0u);
    EXPECT_EQ(paused_at, esc_at + 50);
    EXPECT_EQ(paused_head, esc_head);  // the head had not moved on
    ASSERT_EQ(steps_after.size(), 2u);
    EXPECT_EQ(steps_after[0], esc_at + 100);  // at the key that ends the pause
    EXPECT_EQ(steps_after[1] - steps_after[0], static_cast<uint32_t>(c.tick));
    EXPECT_EQ(marker_after, std::string(12, ' '));
  }
}

TEST(TickInterval, FollowsTheSpeedDownToItsFloor) {
  for (int start : {1, 9}) {
    int tick = 1000 - 100 * start;
    for (int speed = start + 1; speed <= 40; ++speed) {
      tick = next_tick_interval(tick, speed);
      int expected = speed <= 9 ? 1000 - 100 * speed : speed <= 21 ? 145 - 5 * speed : 35;
      EXPECT_EQ(tick, expected) << "speed " << speed << " from " << start;
    }
  }
}

TEST_F(Game, LengthThreeHundredFiveWinsWithoutTheTwoBells) {
  GameState state = long_body();
  state.food = {9, 5};
  EXPECT_THROW(run_from(state, 304, KEY_LEFT, 2000, 9), fake::InputExhausted);
  EXPECT_EQ(fake::now(), 100u);
  EXPECT_EQ(fake::screen().bells(), 1);
  EXPECT_EQ(cells(5, 23, 12), "Score: 2009 ");  // the bonus is not shown
  EXPECT_EQ(cells(6, 7, 69),
            "'##:::'##::'#######::'##::::'##::::'##:::::'##:'####:'##:::'##:'####:");
  EXPECT_EQ(fake::screen().cursor_x(), 6);
  EXPECT_EQ(fake::screen().cursor_y(), 15);
}

TEST_F(Game, WinOnTheSamePassAsACollisionCountsAsWon) {
  GameState state = long_body();
  state.food = {10, 4};  // on a segment, straight up from the head
  EXPECT_THROW(run_from(state, 304, KEY_UP, 0, 9), fake::InputExhausted);
  EXPECT_EQ(fake::screen().bells(), 1);
  EXPECT_EQ(cells(6, 14, 69),
            ":::..::::::.......::::.......:::::::...::...:::....::..::::..::....::");
}

TEST_F(Game, WinningScoreHandedOnIncludesTheBonus) {
  GameState state = long_body();
  state.food = {9, 5};
  script({{150, "x"}, {160, "Winner\r"}, {170, "y"}});
  run_from(state, 304, KEY_LEFT, 2000, 9);
  EXPECT_EQ(read_lines("highscores.txt").substr(0, 16), "1\t3509\t\t\tWinner\n");
  EXPECT_TRUE(fake::input_drained());
}

TEST_F(Game, LossWithNoScoreSkipsTheTable) {
  EXPECT_FALSE(play_game({{0, "9"}, {5000, "x"}}));
  EXPECT_EQ(fake::now(), 5000u);
  EXPECT_EQ(fake::screen().text(), std::string(24, '\n'));  // cleared
  EXPECT_TRUE(fake::input_drained());
}

TEST_F(Game, KeyLeftWaitingEndsTheBannerAtOnce) {
  // Up along column 2, then a turn left into the wall with a key behind it.
  Keys keys = {{0, "9"}, {3850, "\x1b[A"}, {3950, "\x1b[D"}, {3960, "z"}};
  EXPECT_FALSE(play_game(keys));
  EXPECT_EQ(fake::now(), 4000u);
  EXPECT_TRUE(fake::input_drained());
}

struct Entry {
  int speed;  // one piece of food worth this much
  bool enters;
};

class EndOfGame : public Game, public ::testing::WithParamInterface<Entry> {};

TEST_P(EndOfGame, ScoreEqualToTheLowestGoesToTheNameEntry) {
  const std::string table = "1\t50\t\t\tA\n2\t40\t\t\tB\n3\t30\t\t\tC\n4\t20\t\t\tD\n5\t7\t\t\tE\n";
  test::write_file("highscores.txt", table);
  GameState state = food_ahead();
  script({{60000, "x"}, {60100, "Eve\r"}, {60200, "y"}});
  run_from(state, 4, KEY_LEFT, 0, GetParam().speed);
  std::string expected =
      GetParam().enters ? table.substr(0, table.size() - 8) + "5\t7\t\t\tEve\n" : table;
  EXPECT_EQ(read_lines("highscores.txt"), expected);
}

INSTANTIATE_TEST_SUITE_P(Game, EndOfGame, ::testing::Values(Entry{7, true}, Entry{6, false}));

// A player who leaves the banner with an arrow still gets to see the table
// after typing the name: the arrow's second code does not dismiss it.
TEST_F(Game, ArrowThatEndsTheBannerDoesNotSkipTheTable) {
  GameState state = food_ahead();
  script({{60000, "\x1b[A"}, {60100, "Eve\r"}});
  EXPECT_THROW(run_from(state, 4, KEY_LEFT, 0, 7), fake::InputExhausted);
  EXPECT_EQ(cells(10, 5, 11), "High Scores");
  EXPECT_NE(fake::screen().row(7).find("Eve"), std::string::npos);
}

// The millisecond clock passes 2^31 after 24.8 days; steps keep their pace.
TEST_F(Game, StepsKeepTheirPaceAcrossTheClockWrap) {
  fake::advance(0x7FFFFFFFu - 2000u);
  const uint32_t start = fake::now();
  ASSERT_TRUE(play_game({{start, "9"}}));
  EXPECT_EQ(fake::now() - start, 3900u);
  EXPECT_EQ(at(1, 10), HEAD);
}

TEST(Banners, LinesHaveTheirWidthsLineEndsAndCharacters) {
  struct Art {
    const char* const* lines;
    size_t width;
    bool line_feed;
  };
  for (const Art& art :
       {Art{WIN_BANNER, 69, false}, Art{GAME_BANNER, 43, true}, Art{OVER_BANNER, 49, true}}) {
    for (int i = 0; i < BANNER_LINES; ++i) {
      std::string line = art.lines[i];
      if (art.line_feed) {
        ASSERT_FALSE(line.empty());
        EXPECT_EQ(line.back(), '\n');
        line.pop_back();
      }
      EXPECT_EQ(line.size(), art.width) << line;
      EXPECT_EQ(line.find_first_not_of("#:.' "), std::string::npos) << line;
    }
  }
}

TEST_F(Game, GameOverBannerStandsOverThePlayfield) {
  draw_border(80, 25);
  draw_status(12, 3);
  EXPECT_THROW(show_game_over_banner(), fake::InputExhausted);
  for (int i = 0; i < BANNER_LINES; ++i) {
    EXPECT_EQ(cells(17, 3 + i, 43) + "\n", GAME_BANNER[i]);
    EXPECT_EQ(cells(17, 11 + i, 49) + "\n", OVER_BANNER[i]);
    EXPECT_EQ(at(16, 3 + i), " ");
  }
  EXPECT_EQ(at(1, 1), "\u2588");
  EXPECT_EQ(cells(5, 23, 9), "Score: 12");
  EXPECT_EQ(fake::screen().cursor_x(), 1);
  EXPECT_EQ(fake::screen().cursor_y(), 19);
  fake::type("k");
  show_game_over_banner();
  EXPECT_EQ(fake::screen().text(), std::string(24, '\n'));
}

}  // namespace
}  // namespace vormi
