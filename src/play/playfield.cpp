// The playfield and the vormi: walls, body, food, step, eat test and collision
// test. Every cell is drawn as one cursor move and one "%c" print of its glyph.
#include "play/playfield.h"

#include "console/console.h"
#include "console/console_random.h"

namespace vormi {

namespace {

void draw_cell(int x, int y, Glyph glyph) {
  console_goto(x, y);
  console_print("%c", glyph);
}

void draw_segment(const GameState& state, int i, Glyph glyph) {
  draw_cell(state.body.x[i], state.body.y[i], glyph);
}

// Seeds the generator from the calendar second and draws one value; the second
// used goes to seeded_at.
int draw_from_clock(int32_t& seeded_at) {
  seeded_at = calendar_second();
  seed_game_random(static_cast<uint32_t>(seeded_at));
  return game_random_draw();
}

// Moves the body one cell in memory: each segment takes the place of the one
// before it, and the head moves on.
void advance_body(GameState& state, int length, int direction) {
  for (int i = length - 1; i >= 1; --i) {
    state.body.x[i] = state.body.x[i - 1];
    state.body.y[i] = state.body.y[i - 1];
  }
  state.body.x[0] += (direction == KEY_RIGHT) - (direction == KEY_LEFT);
  state.body.y[0] += (direction == KEY_DOWN) - (direction == KEY_UP);
}

}  // namespace

void clear_body(GameState& state) {
  for (int i = 1; i < MAX_BODY; ++i) {
    state.body.x[i] = GROWTH_CELL.x;
    state.body.y[i] = GROWTH_CELL.y;
  }
}

void draw_border(int width, int height) {
  console_clear();
  // The second pass draws the bottom corners.
  for (int r = 1; r <= last_interior_row(height); ++r) {
    draw_cell(1, r, GLYPH_WALL);
    draw_cell(width, r, GLYPH_WALL);
  }
  for (int c = 1; c <= width; ++c) {
    draw_cell(c, 1, GLYPH_WALL);
    draw_cell(c, bottom_wall_row(height), GLYPH_WALL);
  }
}

void lay_out_body(GameState& state, int count) {
  for (int i = 1; i < count; ++i) {
    state.body.x[i] = state.body.x[0] + i;
    state.body.y[i] = state.body.y[0];
  }
}

void draw_vormi(const GameState& state, int count) {
  for (int i = 0; i < count; ++i) draw_segment(state, i, GLYPH_BODY);
}

void place_food(Cell& food, int width, int height, const GameState& state, int length) {
  for (;;) {
    int32_t column_second = 0;
    int32_t row_second = 0;
    // Any interior cell: columns 2 to width - 1, rows 2 to the last interior row.
    food.x = draw_from_clock(column_second) % (width - 2) + 2;
    food.y = draw_from_clock(row_second) % (last_interior_row(height) - 1) + 2;
    if (!cell_in_body(food.x, food.y, state, 0, length)) break;
    // Only while the clock still reads the second both coordinates came from
    // would the next draw repeat this cell; once it reads another, the next
    // draw starts from a new seed and is made at once. The wait starts from
    // this reading, so a second that turns before the wait begins is not
    // waited for again.
    const int32_t now = calendar_second();
    if (now == column_second && now == row_second) console_wait_past_second(now);
  }
  draw_cell(food.x, food.y, GLYPH_FOOD);
}

bool cell_in_body(int x, int y, const GameState& state, int start, int end) {
  for (int i = start; i < end; ++i)
    if (state.body.x[i] == x && state.body.y[i] == y) return true;
  return false;
}

void step_vormi(GameState& state, int length, int direction) {
  // The tail is erased before the head is drawn, so a head that moves into the
  // cell the tail has just left still shows there.
  draw_segment(state, length - 1, GLYPH_BLANK);
  draw_segment(state, 0, GLYPH_BODY);
  advance_body(state, length, direction);
  draw_segment(state, 0, GLYPH_HEAD);
  console_goto(1, 1);
}

bool try_eat(const GameState& state, Cell& food) {
  if (state.body.x[0] != food.x || state.body.y[0] != food.y) return false;
  food = Cell{0, 0};
  // The bell rings at the cursor, which a step has parked on the wall corner.
  console_print("\a");
  return true;
}

bool check_collision(const GameState& state, int width, int height, int length) {
  const int x = state.body.x[0];
  const int y = state.body.y[0];
  if (x == 1 || y == 1 || x == width || y == bottom_wall_row(height)) return true;
  return cell_in_body(x, y, state, 1, length);
}

}  // namespace vormi
