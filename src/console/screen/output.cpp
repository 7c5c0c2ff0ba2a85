#include "console/screen/output.h"

#include <cstdio>
#include <cstring>

#include "text/char_width.h"
#include "text/utf8.h"

namespace vormi {

namespace {

void set_cell(ScreenCell& cell, const char* bytes, int size, int width) {
  std::memcpy(cell.text, bytes, static_cast<size_t>(size));
  cell.size = static_cast<unsigned char>(size);
  cell.width = static_cast<unsigned char>(width);
}

void blank_cell(ScreenCell& cell) { set_cell(cell, " ", 1, 1); }

bool is_blank(const ScreenCell& cell) { return cell.size == 1 && cell.text[0] == ' '; }

ScreenCell& cell_at(ScreenShadow& shadow, int x, int y) { return shadow.cells[y - 1][x - 1]; }

// A size the copy can hold: 1 to most.
int held_size(int size, int most) { return size < 1 ? 1 : (size > most ? most : size); }

// The absolute move (CUP), without the parameters that default to 1.
int absolute_move(int x, int y, char* move, int capacity) {
  if (x == 1 && y == 1) return std::snprintf(move, static_cast<size_t>(capacity), "\x1b[H");
  if (x == 1) return std::snprintf(move, static_cast<size_t>(capacity), "\x1b[%dH", y);
  return std::snprintf(move, static_cast<size_t>(capacity), "\x1b[%d;%dH", y, x);
}

// A move relative to the cursor at (from_x, from_y) along its row or its
// column: carriage return, backspace, or CUF, CUB, CUD, CUU (VT100, known to
// every terminal). 0 when the target is on neither.
int relative_move(int from_x, int from_y, int x, int y, char* move, int capacity) {
  const auto size = static_cast<size_t>(capacity);
  if (y == from_y) {
    if (x == 1) return std::snprintf(move, size, "\r");
    if (x == from_x - 1) return std::snprintf(move, size, "\b");
    if (x == from_x + 1) return std::snprintf(move, size, "\x1b[C");
    return x > from_x ? std::snprintf(move, size, "\x1b[%dC", x - from_x)
                      : std::snprintf(move, size, "\x1b[%dD", from_x - x);
  }
  if (x == from_x) {
    return y > from_y ? std::snprintf(move, size, "\x1b[%dB", y - from_y)
                      : std::snprintf(move, size, "\x1b[%dA", from_y - y);
  }
  return 0;
}

// Takes the terminal's cursor to (x, y) with the fewest bytes. The relative
// forms count from where the copy has the cursor, so they are used only while
// the terminal's cursor is sure to stand there; nothing at all is sent when
// it already does.
void emit_move(ScreenShadow& shadow, int x, int y, OutputBuffer& out) {
  char move[24];
  int size = absolute_move(x, y, move, sizeof move);
  if (shadow.cursor_sure) {
    if (x == shadow.cursor_x && y == shadow.cursor_y) return;
    char relative[24];
    const int relative_size =
        relative_move(shadow.cursor_x, shadow.cursor_y, x, y, relative, sizeof relative);
    if (relative_size > 0 && relative_size < size) {
      output_append(out, relative, relative_size);
      size = 0;
    }
  }
  output_append(out, move, size);
  shadow.cursor_x = x;
  shadow.cursor_y = y;
  shadow.cursor_sure = true;
  shadow.after_character = false;
}

// For a repaint, which cannot know where the terminal's cursor is.
void absolute_move_to(int x, int y, OutputBuffer& out) {
  char move[24];
  output_append(out, move, absolute_move(x, y, move, sizeof move));
}

// The cursor goes to column 1 of the next row. On the last row it goes to
// column 1 of that row instead: the screen is never scrolled, so a layout
// that touches the bottom-right corner of an 80x24 terminal stays in place.
void next_row(ScreenShadow& shadow, OutputBuffer& out) {
  shadow.cursor_x = 1;
  shadow.after_character = false;
  if (shadow.cursor_y < shadow.rows) {
    output_append(out, "\r\n");
    ++shadow.cursor_y;
  } else {
    output_append(out, "\r");
  }
}

// A character over part of a wide one erases the rest of the wide one.
void break_wide_neighbours(ScreenShadow& shadow, int x, int width) {
  const int y = shadow.cursor_y;
  if (cell_at(shadow, x, y).width == 0 && x > 1) blank_cell(cell_at(shadow, x - 1, y));
  const int last = x + width - 1;
  if (last < shadow.columns && cell_at(shadow, last, y).width == 2)
    blank_cell(cell_at(shadow, last + 1, y));
}

void put_char(ScreenShadow& shadow, const char* bytes, int size, int width, OutputBuffer& out) {
  if (width > shadow.columns - shadow.cursor_x + 1) next_row(shadow, out);
  if (width > shadow.columns) width = shadow.columns;
  const int x = shadow.cursor_x;
  break_wide_neighbours(shadow, x, width);
  set_cell(cell_at(shadow, x, shadow.cursor_y), bytes, size, width);
  if (width == 2) set_cell(cell_at(shadow, x + 1, shadow.cursor_y), "", 0, 0);
  output_append(out, bytes, size);
  // Terminals agree on the width of ASCII only: after anything else the copy
  // knows where the cursor should be, not that the terminal put it there.
  if (size != 1 || static_cast<unsigned char>(bytes[0]) >= 0x80) shadow.cursor_sure = false;
  shadow.cursor_x += width;
  shadow.after_character = true;
  // Terminals defer the wrap after the last column; moving on explicitly
  // keeps the terminal's cursor where the copy has it.
  if (shadow.cursor_x > shadow.columns) next_row(shadow, out);
}

// A combining mark joins the character just drawn. Anywhere else terminals
// differ (one joins it to the cell before the cursor, another drops it), and
// with no room left in the copy's cell a repaint would lose it: such a mark
// is not sent, so a repaint from the copy shows what the terminal showed.
void put_zero_width(ScreenShadow& shadow, const char* bytes, int size, OutputBuffer& out) {
  if (!shadow.after_character) return;
  int x = shadow.cursor_x - 1;
  const int y = shadow.cursor_y;
  if (cell_at(shadow, x, y).width == 0) --x;
  ScreenCell& cell = cell_at(shadow, x, y);
  if (cell.size + size > static_cast<int>(sizeof cell.text)) return;
  std::memcpy(cell.text + cell.size, bytes, static_cast<size_t>(size));
  cell.size = static_cast<unsigned char>(cell.size + size);
  output_append(out, bytes, size);
  shadow.cursor_sure = false;
}

void put_tab(ScreenShadow& shadow, OutputBuffer& out) {
  int x = ((shadow.cursor_x - 1) / 8 + 1) * 8 + 1;
  if (x > shadow.columns) x = shadow.columns;
  emit_move(shadow, x, shadow.cursor_y, out);
}

void put_control(ScreenShadow& shadow, unsigned char byte, OutputBuffer& out) {
  if (byte == '\n')
    next_row(shadow, out);
  else if (byte == '\t')
    put_tab(shadow, out);
  else if (byte == '\a')
    output_append(out, "\a");
  // Every other control byte is dropped: passed on it could move the cursor
  // behind the copy's back or start an escape sequence.
}

void put_lone_byte(ScreenShadow& shadow, unsigned char byte, OutputBuffer& out) {
  if (shadow.utf8) {
    char text[4];
    put_char(shadow, text, cp437_utf8(byte, text), 1, out);
  } else {
    const char c = cp437_ascii(byte);
    put_char(shadow, &c, 1, 1, out);
  }
}

}  // namespace

void output_clear(OutputBuffer& out) { out.size = 0; }

void output_append(OutputBuffer& out, const char* bytes, int size) {
  if (size <= 0 || out.size + size > OUTPUT_CAPACITY) return;
  std::memcpy(out.data + out.size, bytes, static_cast<size_t>(size));
  out.size += size;
}

void shadow_reset(ScreenShadow& shadow, int columns, int rows, bool utf8) {
  shadow.columns = held_size(columns, SCREEN_MAX_COLUMNS);
  shadow.rows = held_size(rows, SCREEN_MAX_ROWS);
  shadow.utf8 = utf8;
  shadow.cursor_x = 1;
  shadow.cursor_y = 1;
  // The terminal's cursor is wherever the shell left it.
  shadow.cursor_sure = false;
  shadow.after_character = false;
  for (int y = 1; y <= shadow.rows; ++y)
    for (int x = 1; x <= shadow.columns; ++x) blank_cell(cell_at(shadow, x, y));
}

void shadow_resize(ScreenShadow& shadow, int columns, int rows) {
  columns = held_size(columns, SCREEN_MAX_COLUMNS);
  rows = held_size(rows, SCREEN_MAX_ROWS);
  // Cells left outside by a shrink are not blanked then, but when they come
  // back into view: whatever was drawn or cleared since is not in them.
  for (int y = 1; y <= rows; ++y) {
    for (int x = 1; x <= columns; ++x)
      if (x > shadow.columns || y > shadow.rows) blank_cell(cell_at(shadow, x, y));
  }
  if (columns < shadow.columns) {
    for (int y = 1; y <= rows; ++y)
      if (cell_at(shadow, columns, y).width == 2) blank_cell(cell_at(shadow, columns, y));
  }
  shadow.columns = columns;
  shadow.rows = rows;
  if (shadow.cursor_x > columns) shadow.cursor_x = columns;
  if (shadow.cursor_y > rows) shadow.cursor_y = rows;
}

void translate_text(ScreenShadow& shadow, const char* text, int size, OutputBuffer& out) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  int i = 0;
  while (i < size) {
    const unsigned char byte = bytes[i];
    if (byte < 0x20 || byte == 0x7F) {
      put_control(shadow, byte, out);
      ++i;
      continue;
    }
    if (byte < 0x80) {
      put_char(shadow, text + i, 1, 1, out);
      ++i;
      continue;
    }
    int code = 0;
    const int length = utf8_char_length(bytes + i, size - i, &code);
    // U+0080 to U+009F are the C1 controls: a terminal may act on them.
    if (length == 0 || code <= 0x9F) {
      put_lone_byte(shadow, byte, out);
      ++i;
      continue;
    }
    const int width = shadow.utf8 ? char_columns(code) : -1;
    if (width < 0)
      put_char(shadow, "?", 1, 1, out);
    else if (width == 0)
      put_zero_width(shadow, text + i, length, out);
    else
      put_char(shadow, text + i, length, width, out);
    i += length;
  }
}

bool translate_goto(ScreenShadow& shadow, int x, int y, OutputBuffer& out) {
  if (x < 1 || x > shadow.columns || y < 1 || y > shadow.rows) return false;
  emit_move(shadow, x, y, out);
  return true;
}

void translate_clear(ScreenShadow& shadow, OutputBuffer& out) {
  // Erase-display neither scrolls nor moves the cursor; the home move follows.
  output_append(out, "\x1b[2J\x1b[H");
  for (int y = 1; y <= shadow.rows; ++y)
    for (int x = 1; x <= shadow.columns; ++x) blank_cell(cell_at(shadow, x, y));
  shadow.cursor_x = 1;
  shadow.cursor_y = 1;
  shadow.cursor_sure = true;
  shadow.after_character = false;
}

void repaint_row(const ScreenShadow& shadow, int y, OutputBuffer& out) {
  int next_x = -1;  // where the terminal's cursor stands after the last cell sent
  for (int x = 1; x <= shadow.columns; ++x) {
    const ScreenCell& cell = shadow.cells[y - 1][x - 1];
    if (cell.width == 0 || is_blank(cell)) continue;
    if (x != next_x) absolute_move_to(x, y, out);
    output_append(out, cell.text, cell.size);
    next_x = x + cell.width;
  }
}

void repaint_cursor(const ScreenShadow& shadow, OutputBuffer& out) {
  absolute_move_to(shadow.cursor_x, shadow.cursor_y, out);
}

}  // namespace vormi
