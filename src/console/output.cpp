#include "console/output.h"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "console/utf8.h"

namespace vormi {

namespace {

// Code page 437, bytes 0x80 to 0xFF, as Unicode code points.
constexpr unsigned short CP437_UPPER[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 0x80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 0x90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // 0xA0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // 0xB0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // 0xC0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // 0xD0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // 0xE0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // 0xF0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

// How many columns a terminal gives code, as the C library knows it in a
// UTF-8 locale whatever locale the program runs in: 0 for combining marks, 2
// for wide characters, -1 for what it does not know as printable (unassigned
// code points among them), whose width a terminal may see either way.
int char_width(int code) {
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  if (utf8 == static_cast<locale_t>(0)) return 1;
  const locale_t previous = uselocale(utf8);
  const int width = wcwidth(static_cast<wchar_t>(code));
  uselocale(previous);
  return width;
}

int encode_utf8(int code, char* out) {
  if (code < 0x80) {
    out[0] = static_cast<char>(code);
    return 1;
  }
  if (code < 0x800) {
    out[0] = static_cast<char>(0xC0 | (code >> 6));
    out[1] = static_cast<char>(0x80 | (code & 0x3F));
    return 2;
  }
  out[0] = static_cast<char>(0xE0 | (code >> 12));
  out[1] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
  out[2] = static_cast<char>(0x80 | (code & 0x3F));
  return 3;
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
  shadow.after_character = false;
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
}

void put_tab(ScreenShadow& shadow, OutputBuffer& out) {
  int x = ((shadow.cursor_x - 1) / 8 + 1) * 8 + 1;
  if (x > shadow.columns) x = shadow.columns;
  shadow.cursor_x = x;
  shadow.after_character = false;
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

int cp437_utf8(unsigned char byte, char* out) {
  if (byte < 0x80) {
    out[0] = static_cast<char>(byte);
    return 1;
  }
  return encode_utf8(CP437_UPPER[byte - 0x80], out);
}

char cp437_ascii(unsigned char byte) {
  switch (byte) {
    case 0xB1: return '@';  // medium shade: the head
    case 0xB2: return 'o';  // dark shade: the body
    case 0xDB: return '#';  // full block: the walls
    case 0xFE: return '*';  // black square: the food
    default: return '?';
  }
}

void shadow_reset(ScreenShadow& shadow, int columns, int rows, bool utf8) {
  shadow.columns = columns < 1 ? 1 : (columns > SCREEN_MAX_COLUMNS ? SCREEN_MAX_COLUMNS : columns);
  shadow.rows = rows < 1 ? 1 : (rows > SCREEN_MAX_ROWS ? SCREEN_MAX_ROWS : rows);
  shadow.utf8 = utf8;
  shadow.cursor_x = 1;
  shadow.cursor_y = 1;
  shadow.after_character = false;
  for (int y = 1; y <= shadow.rows; ++y) {
    for (int x = 1; x <= shadow.columns; ++x) blank_cell(cell_at(shadow, x, y));
  }
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
    const int width = shadow.utf8 ? char_width(code) : -1;
    if (width < 0) {
      put_char(shadow, "?", 1, 1, out);
    } else if (width == 0) {
      put_zero_width(shadow, text + i, length, out);
    } else {
      put_char(shadow, text + i, length, width, out);
    }
    i += length;
  }
}

bool translate_goto(ScreenShadow& shadow, int x, int y, OutputBuffer& out) {
  if (x < 1 || x > shadow.columns || y < 1 || y > shadow.rows) return false;
  shadow.cursor_x = x;
  shadow.cursor_y = y;
  shadow.after_character = false;
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
  shadow.after_character = false;
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
