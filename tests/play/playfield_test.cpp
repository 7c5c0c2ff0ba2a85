// The playfield on the fake terminal: what the board shows after each
// operation, and what the body arrays hold.
#include "play/playfield.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "console/console.h"
#include "console/console_random.h"
#include "fake/fake_terminal.h"

namespace vormi {
namespace {

const std::string WALL = "\u2588";
const std::string BODY = "\u2593";
const std::string HEAD = "\u2592";
const std::string FOOD = "\u25A0";
const std::string BLANK = " ";

std::string at(int x, int y) { return fake::screen().cell(x, y); }

bool is_wall(int x, int y) { return x == 1 || x == 80 || y == 1 || y == 21; }

std::vector<std::string> snapshot() {
  std::vector<std::string> cells;
  for (int y = 1; y <= 25; ++y)
    for (int x = 1; x <= 80; ++x) cells.push_back(at(x, y));
  return cells;
}

int count_on_screen(const std::string& glyph) {
  int n = 0;
  for (const std::string& c : snapshot()) n += c == glyph;
  return n;
}

void set_segment(GameState& state, int i, int x, int y) {
  state.body.x[i] = x;
  state.body.y[i] = y;
}

// The opening of a game, as the game's set-up makes it.
struct Board : ::testing::Test {
  GameState state{};
  void SetUp() override {
    fake::reset();
    // Left-overs that the clear must remove.
    console_goto(10, 5);
    console_print("junk");
    console_goto(5, 23);
    console_print("junk");
    state.direction = KEY_LEFT;
    state.length = 4;
    set_segment(state, 0, 40, 10);
    clear_body(state);
    draw_border(80, 25);
    lay_out_body(state, 4);
    draw_vormi(state, 4);
    place_food(state.food, 80, 25, state, 4);
  }
};

TEST_F(Board, FreshBoardShowsWallsVormiAndOneFood) {
  for (int y = 1; y <= 25; ++y) {
    for (int x = 1; x <= 80; ++x) {
      std::string want = BLANK;
      if (y <= 21 && is_wall(x, y)) want = WALL;
      if (y == 10 && x >= 40 && x <= 43) want = BODY;
      if (x == state.food.x && y == state.food.y) want = FOOD;
      EXPECT_EQ(at(x, y), want) << "at (" << x << ", " << y << ")";
    }
  }
  EXPECT_FALSE(is_wall(state.food.x, state.food.y));
  EXPECT_EQ(count_on_screen(HEAD), 0);
  for (int i = 4; i < MAX_BODY; ++i) {
    EXPECT_EQ(state.body.x[i], GROWTH_CELL.x);
    EXPECT_EQ(state.body.y[i], GROWTH_CELL.y);
  }
}

TEST_F(Board, FirstStepLeftMovesHeadAndErasesTail) {
  step_vormi(state, 4, KEY_LEFT);
  EXPECT_EQ(at(43, 10), BLANK);
  EXPECT_EQ(at(40, 10), BODY);
  EXPECT_EQ(at(41, 10), BODY);
  EXPECT_EQ(at(42, 10), BODY);
  EXPECT_EQ(at(39, 10), HEAD);
  EXPECT_EQ(count_on_screen(HEAD), 1);
  EXPECT_EQ(fake::screen().cursor_x(), 1);
  EXPECT_EQ(fake::screen().cursor_y(), 1);
  const int want_x[] = {39, 40, 41, 42};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(state.body.x[i], want_x[i]);
    EXPECT_EQ(state.body.y[i], 10);
  }
}

TEST_F(Board, EachDirectionMovesTheHeadOneCell) {
  struct Case {
    int direction, x, y;
  };
  // Travelling left, the vormi can turn up or down, then go on.
  const Case steps[] = {{KEY_UP, 40, 9},   {KEY_RIGHT, 41, 9}, {KEY_UP, 41, 8},
                        {KEY_LEFT, 40, 8}, {KEY_DOWN, 40, 9},  {KEY_LEFT, 39, 9}};
  int old_x = 40, old_y = 10;
  for (const Case& c : steps) {
    step_vormi(state, 4, c.direction);
    EXPECT_EQ(state.body.x[0], c.x);
    EXPECT_EQ(state.body.y[0], c.y);
    EXPECT_EQ(state.body.x[1], old_x);
    EXPECT_EQ(state.body.y[1], old_y);
    EXPECT_EQ(at(c.x, c.y), HEAD);
    EXPECT_EQ(at(old_x, old_y), BODY);
    old_x = c.x;
    old_y = c.y;
  }
  EXPECT_EQ(count_on_screen(HEAD), 1);
  EXPECT_EQ(count_on_screen(BODY), 3);
}

TEST(Collision, WallsAreColumns1And80AndRows1And21) {
  fake::reset();
  GameState state{};
  clear_body(state);
  set_segment(state, 1, 10, 15);
  set_segment(state, 2, 11, 15);
  set_segment(state, 3, 12, 15);
  struct Case {
    int x, y, hit;
  };
  const Case cases[] = {{1, 10, 1},  {80, 10, 1}, {40, 1, 1},  {40, 21, 1}, {2, 10, 0},
                        {79, 10, 0}, {40, 2, 0},  {40, 20, 0}, {1, 1, 1},   {80, 21, 1}};
  for (const Case& c : cases) {
    set_segment(state, 0, c.x, c.y);
    EXPECT_EQ(check_collision(state, 80, 25, 4), c.hit) << "(" << c.x << ", " << c.y << ")";
  }
  // Onto a segment other than the head.
  set_segment(state, 0, 12, 15);
  EXPECT_TRUE(check_collision(state, 80, 25, 4));
  // Entries from length on are not part of the body.
  EXPECT_FALSE(check_collision(state, 80, 25, 3));
}

// A square of four: head (10,10), then (11,10), (11,11), tail (10,11).
void lay_square(GameState& state) {
  clear_body(state);
  set_segment(state, 0, 10, 10);
  set_segment(state, 1, 11, 10);
  set_segment(state, 2, 11, 11);
  set_segment(state, 3, 10, 11);
}

TEST(Collision, TheCellTheTailLeftIsSafeExceptRightAfterAnEat) {
  fake::reset();
  GameState state{};
  lay_square(state);
  draw_vormi(state, 4);
  step_vormi(state, 4, KEY_DOWN);
  EXPECT_FALSE(check_collision(state, 80, 25, 4));
  EXPECT_EQ(at(10, 11), HEAD);

  // After an eat the length is one more and the old tail stays for a step.
  lay_square(state);
  step_vormi(state, 5, KEY_DOWN);
  EXPECT_TRUE(check_collision(state, 80, 25, 5));
}

TEST(Collision, TheHeadIsNeverComparedWithItself) {
  fake::reset();
  GameState state{};
  clear_body(state);
  // A bar of 300 segments from (2,2) along rows 2 to 5, head first.
  for (int i = 0; i < 300; ++i) {
    const int row = 2 + i / 78;
    const int col = (row % 2 == 0) ? 2 + i % 78 : 79 - i % 78;
    set_segment(state, i, col, row);
  }
  set_segment(state, 0, 40, 12);
  for (int length : {1, 2, 4, 300, 305})
    EXPECT_FALSE(check_collision(state, 80, 25, length)) << length;
}

TEST(CellInBody, ScansStartToEndMinusOne) {
  GameState state{};
  clear_body(state);
  for (int i = 0; i < 6; ++i) set_segment(state, i, 20 + i, 7);
  struct Case {
    int x, y, end, start, want;
  };
  const Case cases[] = {
      {20, 7, 6, 0, 1}, {25, 7, 6, 0, 1}, {25, 7, 5, 0, 0}, {20, 7, 6, 1, 0}, {22, 8, 6, 0, 0},
      {22, 7, 2, 2, 0}, {22, 7, 1, 3, 0}, {22, 7, 3, 2, 1}, {20, 7, 0, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(cell_in_body(c.x, c.y, state, c.start, c.end), c.want)
        << "(" << c.x << ", " << c.y << ") from " << c.start << " to " << c.end;
  }
}

TEST(Food, NeverOnAWallOrASegmentOverManySeconds) {
  fake::reset();
  GameState state{};
  clear_body(state);
  // 305 segments, row after row from (2,2), back and forth.
  std::set<std::pair<int, int>> body;
  for (int i = 0; i < 305; ++i) {
    const int row = 2 + i / 78;
    const int col = (row % 2 == 0) ? 2 + i % 78 : 79 - i % 78;
    set_segment(state, i, col, row);
    body.insert({col, row});
  }
  int waits = 0;
  std::set<std::pair<int, int>> seen;
  for (int k = 0; k < 1500; ++k) {
    fake::set_calendar(1700000000 + k);
    const uint32_t before = fake::now();
    place_food(state.food, 80, 25, state, 305);
    const int x = state.food.x, y = state.food.y;
    if (fake::now() == before) {
      // Both coordinates come from the one value the second's seed gives.
      seed_game_random(static_cast<uint32_t>(1700000000 + k));
      const int r = game_random_draw();
      ASSERT_EQ(x, r % 78 + 2);
      ASSERT_EQ(y, r % 19 + 2);
    } else {
      ++waits;
    }
    ASSERT_GE(x, 2);
    ASSERT_LE(x, 79);
    ASSERT_GE(y, 2);
    ASSERT_LE(y, 20);
    ASSERT_EQ(body.count({x, y}), 0u) << "(" << x << ", " << y << ")";
    ASSERT_EQ(at(x, y), FOOD);
    seen.insert({x, y});
  }
  // A fifth of the interior is body, so some draws must have been retried,
  // and the placements must spread over the board.
  EXPECT_GT(waits, 0);
  EXPECT_GT(seen.size(), 500u);
}

TEST_F(Board, AnOccupiedDrawWaitsForTheNextSecond) {
  // The head reaches the food in the second the food was placed in: the next
  // draw gives that same cell, now the head's, until the second turns.
  const Cell eaten = state.food;
  const int32_t second = calendar_second();
  set_segment(state, 0, eaten.x, eaten.y);
  const uint32_t before = fake::now();
  place_food(state.food, 80, 25, state, 1);
  EXPECT_GT(fake::now(), before);
  EXPECT_EQ(calendar_second(), second + 1);
  EXPECT_FALSE(state.food.x == eaten.x && state.food.y == eaten.y);
  EXPECT_EQ(at(state.food.x, state.food.y), FOOD);
}

// The column and the row that a placement draws from a seed of the given second.
int column_of(int64_t second) {
  seed_game_random(static_cast<uint32_t>(second));
  return game_random_draw() % 78 + 2;
}
int row_of(int64_t second) {
  seed_game_random(static_cast<uint32_t>(second));
  return game_random_draw() % 19 + 2;
}
Cell cell_of(int64_t second) { return Cell{column_of(second), row_of(second)}; }

// Placements whose calendar readings straddle a second: each coordinate comes
// from its own reading, and a retry waits only while the clock still reads the
// second both came from, counted from the reading the retry was decided on.
TEST(Food, ACalendarTurningDuringAPlacementCostsNoExtraSecond) {
  // A second whose draws differ from its neighbours' in column and row.
  int64_t s = 1700000000;
  while (column_of(s) == column_of(s + 1) || row_of(s) == row_of(s + 1) ||
         column_of(s + 1) == column_of(s + 2))
    ++s;
  const int64_t ms = s * 1000;
  struct Case {
    const char* what;
    std::vector<int64_t> readings;  // the calendar at each reading, from the column's on
    Cell taken;                     // the one segment's cell
    Cell want;
    uint32_t waited_ms;
  };
  const Cell straddling = {column_of(s), row_of(s + 1)};
  const Case cases[] = {
      {"turn between the seedings", {ms + 999, ms + 1000}, {0, 0}, straddling, 0},
      {"turn between the seedings, taken", {ms + 999, ms + 1000}, straddling, cell_of(s + 1), 0},
      {"turn before the wait",
       {ms + 999, ms + 999, ms + 999, ms + 1000},
       cell_of(s),
       cell_of(s + 1),
       0},
      {"taken within one second", {ms + 400}, cell_of(s), cell_of(s + 1), 600},
  };
  for (const Case& c : cases) {
    fake::reset();
    GameState state{};
    clear_body(state);
    set_segment(state, 0, c.taken.x, c.taken.y);
    fake::script_calendar(c.readings);
    place_food(state.food, 80, 25, state, 1);
    EXPECT_EQ(fake::now(), c.waited_ms) << c.what;
    EXPECT_EQ(state.food.x, c.want.x) << c.what;
    EXPECT_EQ(state.food.y, c.want.y) << c.what;
    EXPECT_EQ(at(c.want.x, c.want.y), FOOD) << c.what;
  }
}

TEST_F(Board, AFreeDrawDoesNotWait) {
  const uint32_t before = fake::now();
  place_food(state.food, 80, 25, state, 4);
  EXPECT_EQ(fake::now(), before);
}

TEST_F(Board, TryEatOffTheFoodChangesAndWritesNothing) {
  step_vormi(state, 4, KEY_LEFT);  // head at (39,10)
  const Cell foods[] = {{39, 11}, {38, 10}, {60, 15}, {0, 0}};
  for (const Cell& f : foods) {
    state.food = f;
    fake::clear_output();
    const int bells = fake::screen().bells();
    EXPECT_FALSE(try_eat(state, state.food));
    EXPECT_EQ(state.food.x, f.x);
    EXPECT_EQ(state.food.y, f.y);
    EXPECT_EQ(fake::output(), "");
    EXPECT_EQ(fake::screen().bells(), bells);
  }
}

// Puts the food just in front of the head, as a placement could have.
void food_ahead(GameState& state) {
  state.food = Cell{state.body.x[0] - 1, state.body.y[0]};
  console_goto(state.food.x, state.food.y);
  console_print("%c", GLYPH_FOOD);
}

TEST_F(Board, EatingRingsTheBellAndMarksTheFoodEaten) {
  food_ahead(state);
  step_vormi(state, 4, KEY_LEFT);
  const std::vector<std::string> before = snapshot();
  const int bells = fake::screen().bells();
  EXPECT_TRUE(try_eat(state, state.food));
  EXPECT_EQ(state.food.x, 0);
  EXPECT_EQ(state.food.y, 0);
  EXPECT_EQ(fake::screen().bells(), bells + 1);
  EXPECT_EQ(snapshot(), before);
  EXPECT_EQ(fake::screen().cursor_x(), 1);
  EXPECT_EQ(fake::screen().cursor_y(), 1);
}

// The first calendar second after from in which a placement draws column 79,
// where the cursor is left beside the right wall.
int32_t second_drawing_column_79(int32_t from) {
  for (int32_t t = from + 1;; ++t) {
    seed_game_random(static_cast<uint32_t>(t));
    if (game_random_draw() % 78 + 2 == 79) return t;
  }
}

TEST_F(Board, TheStepAfterAnEatErasesNothingAndGrowsTheVormi) {
  int length = 4;
  int32_t second = calendar_second();
  for (int eat = 0; eat < 3; ++eat) {
    food_ahead(state);
    step_vormi(state, length, KEY_LEFT);
    ASSERT_TRUE(try_eat(state, state.food));
    second = second_drawing_column_79(second);
    fake::set_calendar(second);
    place_food(state.food, 80, 25, state, length);
    ASSERT_EQ(state.food.x, 79);
    ++length;
    EXPECT_FALSE(check_collision(state, 80, 25, length));

    const int old_x = state.body.x[0], y = state.body.y[0];
    const std::vector<std::string> before = snapshot();
    step_vormi(state, length, KEY_LEFT);
    std::vector<std::string> want = before;
    want[(y - 1) * 80 + (old_x - 1)] = BODY;
    want[(y - 1) * 80 + (old_x - 2)] = HEAD;
    EXPECT_EQ(snapshot(), want) << "after the eat at length " << length - 1;
    EXPECT_EQ(count_on_screen(HEAD) + count_on_screen(BODY), length);
    EXPECT_FALSE(check_collision(state, 80, 25, length));
  }
}

}  // namespace
}  // namespace vormi
