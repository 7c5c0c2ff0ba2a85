// Output translation: the bytes of one print become the bytes the terminal is
// sent, while the cursor and a copy of every cell are tracked, so the screen
// can be repainted after the process was stopped and resumed.
//
// Pure: no device calls. Everything produced is appended to an OutputBuffer
// that the caller writes to the terminal.
#pragma once

#include "text/cp437.h"  // the glyph bytes as the terminal shows them

namespace vormi {

// Larger terminals are used as if they had this many columns and rows.
constexpr int SCREEN_MAX_COLUMNS = 255;
constexpr int SCREEN_MAX_ROWS = 255;
// Most bytes of output one byte of printed text can become (a tab's move).
constexpr int OUTPUT_PER_BYTE = 10;
// Output waits here until the program next waits, reads or ends; half of it
// holds the translation of the longest print or a whole-row repaint.
constexpr int OUTPUT_CAPACITY = 65536;

// One cell as the terminal shows it: the bytes that draw it (UTF-8 in a UTF-8
// locale), and how many columns the character takes (2 for wide characters;
// 0 marks the right half of a wide character).
struct ScreenCell {
  char text[7];
  unsigned char size;
  unsigned char width;
};

struct ScreenShadow {
  int columns;
  int rows;
  bool utf8;
  int cursor_x;  // 1-based
  int cursor_y;
  // Whether the terminal's cursor is certainly at cursor_x, cursor_y: after an
  // absolute move and ASCII text. A character beyond ASCII leaves it unsure,
  // as terminals may give it another width than the copy does.
  bool cursor_sure;
  // The cursor stands right after a character drawn, with no move since: the
  // one place every terminal joins a combining mark to the character before.
  bool after_character;
  ScreenCell cells[SCREEN_MAX_ROWS][SCREEN_MAX_COLUMNS];
};

struct OutputBuffer {
  char data[OUTPUT_CAPACITY];
  int size;
};

// A blank screen of columns x rows (clamped to the maxima), cursor at (1,1)
// in the copy; the terminal's own cursor is not known yet.
void shadow_reset(ScreenShadow& shadow, int columns, int rows, bool utf8);
// The terminal now has columns x rows (clamped to the maxima): cells inside
// both sizes keep what they show, cells that come into view are blank, a wide
// character cut by the new right edge is blanked, and the cursor is kept
// inside the screen.
void shadow_resize(ScreenShadow& shadow, int columns, int rows);

// Translates size bytes of printed text at the cursor. UTF-8 is decoded within
// these bytes only, so a character is never joined with bytes of another print.
void translate_text(ScreenShadow& shadow, const char* text, int size, OutputBuffer& out);
template <int N>
void translate_text(ScreenShadow& shadow, const char (&text)[N], OutputBuffer& out) {
  translate_text(shadow, text, N - 1, out);
}
// Moves the cursor; a position outside the screen emits nothing and returns false.
// Sends nothing when the cursor is surely there already, and a relative move
// when that is surely right and shorter.
bool translate_goto(ScreenShadow& shadow, int x, int y, OutputBuffer& out);
// Blanks every cell and homes the cursor.
void translate_clear(ScreenShadow& shadow, OutputBuffer& out);
// Redraws row y from the copy (no clearing; blank cells are skipped).
void repaint_row(const ScreenShadow& shadow, int y, OutputBuffer& out);
// Puts the terminal's cursor where the copy says it is, by an absolute move.
void repaint_cursor(const ScreenShadow& shadow, OutputBuffer& out);

void output_clear(OutputBuffer& out);
void output_append(OutputBuffer& out, const char* bytes, int size);

// The length of a string literal, counted by the compiler; a literal appended.
template <int N>
constexpr int length_of(const char (&)[N]) {
  return N - 1;
}
template <int N>
void output_append(OutputBuffer& out, const char (&text)[N]) {
  output_append(out, text, N - 1);
}

}  // namespace vormi
