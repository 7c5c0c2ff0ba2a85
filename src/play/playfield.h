// The playfield and the vormi: the board, its walls, the body, the food, the
// step, the eat test and the collision test, drawn through the console.
#pragma once

#include <cstdint>

namespace vormi {

// The window: the board, 80 by 21, over the status panel. The board's rows
// follow from the window's height: walls on row 1 and the bottom wall row.
constexpr int BOARD_WIDTH = 80;
constexpr int WINDOW_HEIGHT = 25;
constexpr int bottom_wall_row(int height) { return height - 4; }
constexpr int last_interior_row(int height) { return bottom_wall_row(height) - 1; }
constexpr int MAX_BODY = 310;

// Glyphs are code page 437 bytes, printed with "%c".
using Glyph = unsigned char;
constexpr Glyph GLYPH_HEAD = 0xB1;   // medium shade
constexpr Glyph GLYPH_BODY = 0xB2;   // dark shade
constexpr Glyph GLYPH_WALL = 0xDB;   // full block
constexpr Glyph GLYPH_FOOD = 0xFE;   // black square
constexpr Glyph GLYPH_BLANK = 0x20;  // space

// A screen position, column then row, 1-based. (0, 0) marks eaten food.
struct Cell {
  int x;
  int y;
};

// The segments as two parallel arrays: entry 0 is the head.
struct Body {
  int x[MAX_BODY];
  int y[MAX_BODY];
};

// The record of one game. Value-initialise it (GameState state{}) so that
// every body entry has a defined value before the game starts.
struct GameState {
  Body body;
  int speed;
  int score;
  Cell food;
  int direction;
  int length;
};

// The value of every body entry that is not yet a segment, the growth entry
// included: column 1 of the row below the bottom wall, a cell that nothing ever
// draws on. The step after an eat erases it, blanking an already blank cell,
// and no head can stand there, so no collision test matches it.
constexpr Cell GROWTH_CELL = {1, bottom_wall_row(WINDOW_HEIGHT) + 1};

// Sets entries 1 to MAX_BODY - 1 to GROWTH_CELL; the head (entry 0) is kept.
// The game's set-up calls it after placing the head, before lay_out_body.
void clear_body(GameState& state);
// Clears the window and draws the four walls.
void draw_border(int width, int height);
// Puts segments 1 to count - 1 in a row to the right of the head.
void lay_out_body(GameState& state, int count);
// Draws segments 0 to count - 1 in the body glyph.
void draw_vormi(const GameState& state, int count);
// Picks a random interior cell that holds none of the segments 0 to length - 1,
// stores it in food and draws it.
void place_food(Cell& food, int width, int height, const GameState& state, int length);
// True when (x, y) equals one of the entries start to end - 1.
bool cell_in_body(int x, int y, const GameState& state, int start, int end);
// One step of the vormi, on the screen and in memory; parks the cursor at (1,1).
void step_vormi(GameState& state, int length, int direction);
// True when the head stands on the food: the food is then marked eaten and the bell sounds.
bool try_eat(const GameState& state, Cell& food);
// True when the head is on a wall or on one of the segments 1 to length - 1.
bool check_collision(const GameState& state, int width, int height, int length);

}  // namespace vormi
