#include "console/output.h"

#include <cstdio>
#include <cstring>

#include "console/utf8.h"

namespace vormi {

namespace {

struct CodeRange {
  int first;
  int last;
};

// Characters a terminal draws two columns wide (East Asian wide and emoji).
constexpr CodeRange WIDE[] = {
    {0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},
    {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},
    {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x1F300, 0x1F64F},
    {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

// Combining marks and other characters that take no column of their own.
constexpr CodeRange ZERO_WIDTH[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x200B, 0x200F},
    {0x20D0, 0x20FF}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F},
};

template <int N>
bool in_ranges(const CodeRange (&ranges)[N], int code) {
  for (const CodeRange& range : ranges) {
    if (code >= range.first && code <= range.last) return true;
  }
  return false;
}

int char_width(int code) {
  if (in_ranges(ZERO_WIDTH, code)) return 0;
  if (in_ranges(WIDE, code)) return 2;
  return 1;
}

void set_cell(ScreenCell& cell, const char* bytes, int size, int width) {
  std::memcpy(cell.text, bytes, static_cast<size_t>(size));
  cell.size = static_cast<unsigned char>(size);
  cell.width = static_cast<unsigned char>(width);
}

void blank_cell(ScreenCell& cell) { set_cell(cell, " ", 1, 1); }

bool is_blank(const ScreenCell& cell) { return cell.size == 1 && cell.text[0] == ' '; }

ScreenCell& cell_at(ScreenShadow& shadow, int x, int y) { return shadow.cells[y - 1][x - 1]; }

void emit_move(int x, int y, OutputBuffer& out) {
  char move[24];
  const int size = std::snprintf(move, sizeof move, "\x1b[%d;%dH", y, x);
  output_append(out, move, size);
}

// The cursor goes to column 1 of the next row. On the last row it goes to
// column 1 of that row instead: the screen is never scrolled, so a layout
// that touches the bottom-right corner of an 80x24 terminal stays in place.
void next_row(ScreenShadow& shadow, OutputBuffer& out) {
  shadow.cursor_x = 1;
  if (shadow.cursor_y < shadow.rows) {
    output_append(out, "\r\n", 2);
    ++shadow.cursor_y;
  } else {
    output_append(out, "\r", 1);
  }
}

// A character over part of a wide one erases the rest of the wide one.
void break_wide_neighbours(ScreenShadow& shadow, int x, int width) {
  const int y = shadow.cursor_y;
  if (cell_at(shadow, x, y).width == 0 && x > 1) blank_cell(cell_at(shadow, x - 1, y));
  const int last = x + width - 1;
  if (last < shadow.columns && cell_at(shadow, last, y).width == 2) {
    blank_cell(cell_at(shadow, last + 1, y));
  }
}

void put_char(ScreenShadow& shadow, const char* bytes, int size, int width, OutputBuffer& out) {
  if (width > shadow.columns - shadow.cursor_x + 1) next_row(shadow, out);
  if (width > shadow.columns) width = shadow.columns;
  const int x = shadow.cursor_x;
  break_wide_neighbours(shadow, x, width);
  set_cell(cell_at(shadow, x, shadow.cursor_y), bytes, size, width);
  if (width == 2) set_cell(cell_at(shadow, x + 1, shadow.cursor_y), "", 0, 0);
  output_append(out, bytes, size);
  shadow.cursor_x += width;
  // Terminals defer the wrap after the last column; moving on explicitly
  // keeps the terminal's cursor where the copy has it.
  if (shadow.cursor_x > shadow.columns) next_row(shadow, out);
}

// A combining mark joins the character before it on the screen.
void put_zero_width(ScreenShadow& shadow, const char* bytes, int size, OutputBuffer& out) {
  int x = shadow.cursor_x - 1;
  const int y = shadow.cursor_y;
  if (x >= 1 && cell_at(shadow, x, y).width == 0) --x;
  if (x >= 1) {
    ScreenCell& cell = cell_at(shadow, x, y);
    if (cell.size + size <= static_cast<int>(sizeof cell.text)) {
      std::memcpy(cell.text + cell.size, bytes, static_cast<size_t>(size));
      cell.size = static_cast<unsigned char>(cell.size + size);
    }
  }
  output_append(out, bytes, size);
}

void put_tab(ScreenShadow& shadow, OutputBuffer& out) {
  int x = ((shadow.cursor_x - 1) / 8 + 1) * 8 + 1;
  if (x > shadow.columns) x = shadow.columns;
  shadow.cursor_x = x;
  emit_move(x, shadow.cursor_y, out);
}

void put_control(ScreenShadow& shadow, unsigned char byte, OutputBuffer& out) {
  if (byte == '\n') {
    next_row(shadow, out);
  } else if (byte == '\t') {
    put_tab(shadow, out);
  } else if (byte == '\a') {
    output_append(out, "\a", 1);
  }
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
  shadow.columns = columns < 1 ? 1 : (columns > SCREEN_MAX_COLUMNS ? SCREEN_MAX_COLUMNS : columns);
  shadow.rows = rows < 1 ? 1 : (rows > SCREEN_MAX_ROWS ? SCREEN_MAX_ROWS : rows);
  shadow.utf8 = utf8;
  shadow.cursor_x = 1;
  shadow.cursor_y = 1;
  for (int y = 1; y <= shadow.rows; ++y) {
    for (int x = 1; x <= shadow.columns; ++x) blank_cell(cell_at(shadow, x, y));
  }
}

void shadow_resize(ScreenShadow& shadow, int columns, int rows) {
  columns = columns < 1 ? 1 : (columns > SCREEN_MAX_COLUMNS ? SCREEN_MAX_COLUMNS : columns);
  rows = rows < 1 ? 1 : (rows > SCREEN_MAX_ROWS ? SCREEN_MAX_ROWS : rows);
  // Cells left outside by a shrink are not blanked then, but when they come
  // back into view: whatever was drawn or cleared since is not in them.
  for (int y = 1; y <= rows; ++y) {
    for (int x = 1; x <= columns; ++x) {
      if (x > shadow.columns || y > shadow.rows) blank_cell(cell_at(shadow, x, y));
    }
  }
  if (columns < shadow.columns) {
    for (int y = 1; y <= rows; ++y) {
      if (cell_at(shadow, columns, y).width == 2) blank_cell(cell_at(shadow, columns, y));
    }
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
    if (!shadow.utf8) {
      put_char(shadow, "?", 1, 1, out);
    } else if (char_width(code) == 0) {
      put_zero_width(shadow, text + i, length, out);
    } else {
      put_char(shadow, text + i, length, char_width(code), out);
    }
    i += length;
  }
}

bool translate_goto(ScreenShadow& shadow, int x, int y, OutputBuffer& out) {
  if (x < 1 || x > shadow.columns || y < 1 || y > shadow.rows) return false;
  shadow.cursor_x = x;
  shadow.cursor_y = y;
  emit_move(x, y, out);
  return true;
}

void translate_clear(ScreenShadow& shadow, OutputBuffer& out) {
  // Erase-display neither scrolls nor moves the cursor; the home move follows.
  output_append(out, "\x1b[2J\x1b[H", 7);
  for (int y = 1; y <= shadow.rows; ++y) {
    for (int x = 1; x <= shadow.columns; ++x) blank_cell(cell_at(shadow, x, y));
  }
  shadow.cursor_x = 1;
  shadow.cursor_y = 1;
}

void repaint_row(const ScreenShadow& shadow, int y, OutputBuffer& out) {
  int next_x = -1;  // where the terminal's cursor stands after the last cell sent
  for (int x = 1; x <= shadow.columns; ++x) {
    const ScreenCell& cell = shadow.cells[y - 1][x - 1];
    if (cell.width == 0 || is_blank(cell)) continue;
    if (x != next_x) emit_move(x, y, out);
    output_append(out, cell.text, cell.size);
    next_x = x + cell.width;
  }
}

void repaint_cursor(const ScreenShadow& shadow, OutputBuffer& out) {
  emit_move(shadow.cursor_x, shadow.cursor_y, out);
}

}  // namespace vormi
