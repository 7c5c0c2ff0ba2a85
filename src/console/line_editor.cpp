// The line editor for the player's name. It works on decoded key events, not
// on the terminal's own line mode, so no key can put escape bytes into the line.
#include <cstring>

#include "console/console.h"
#include "console/console_input.h"
#include "console/keys/key_table.h"
#include "console/screen/output.h"
#include "text/char_width.h"
#include "text/utf8.h"

namespace vormi {

namespace {

constexpr int CTRL_U = 21;

struct LineEditor {
  char* buffer;
  int limit;  // most bytes the line may hold
  int length;
  int cursor;  // byte offset, always at a character boundary
  int start_x;
  int start_y;
  int end_x;  // where the last drawing of the line ended
  int end_y;
};

// U+0080 to U+009F: terminals may act on them, so they never enter a name.
bool is_c1_control(const char* text) {
  return static_cast<unsigned char>(text[0]) == 0xC2 && static_cast<unsigned char>(text[1]) <= 0x9F;
}

int previous_code_point(const LineEditor& line, int at) {
  do {
    --at;
  } while (at > 0 && utf8_continuation(static_cast<unsigned char>(line.buffer[at])));
  return at;
}

int next_code_point(const LineEditor& line, int at) {
  do {
    ++at;
  } while (at < line.length && utf8_continuation(static_cast<unsigned char>(line.buffer[at])));
  return at;
}

// Whether the character at text takes no column: a combining mark that the
// terminal shows on the character before it.
bool is_mark(const char* text, int size) {
  int code = 0;
  return utf8_char_length(reinterpret_cast<const unsigned char*>(text), size, &code) > 0 &&
         char_columns(code) == 0;
}

bool joins_previous(const LineEditor& line, int at) {
  return is_mark(line.buffer + at, line.length - at);
}

// Character boundaries as the player sees them: a character and the marks
// drawn on it are stepped over and erased together, so the cursor always
// moves by a column or two on the screen.
int previous_boundary(const LineEditor& line, int at) {
  do {
    at = previous_code_point(line, at);
  } while (at > 0 && joins_previous(line, at));
  return at;
}

int next_boundary(const LineEditor& line, int at) {
  do {
    at = next_code_point(line, at);
  } while (at < line.length && joins_previous(line, at));
  return at;
}

// Cells from the start of the line to (x, y), counting along the rows.
int offset_of(const LineEditor& line, int x, int y) {
  return (y - line.start_y) * console_shadow().columns + (x - line.start_x);
}

// Draws the whole line again from its start, blanks what the old drawing
// took beyond the new end, and leaves the cursor at the editing position.
void redraw(LineEditor& line) {
  ScreenShadow& shadow = console_shadow();
  OutputBuffer& out = console_output();
  const int old_end = offset_of(line, line.end_x, line.end_y);
  translate_goto(shadow, line.start_x, line.start_y, out);
  translate_text(shadow, line.buffer, line.cursor, out);
  const int cursor_x = shadow.cursor_x;
  const int cursor_y = shadow.cursor_y;
  translate_text(shadow, line.buffer + line.cursor, line.length - line.cursor, out);
  line.end_x = shadow.cursor_x;
  line.end_y = shadow.cursor_y;
  for (int blanks = old_end - offset_of(line, line.end_x, line.end_y); blanks > 0; --blanks)
    translate_text(shadow, " ", out);
  translate_goto(shadow, cursor_x, cursor_y, out);
}

void ring_bell() { translate_text(console_shadow(), "\a", console_output()); }

void insert(LineEditor& line, const char* text, int size) {
  if (line.length + size > line.limit) {
    ring_bell();
    return;
  }
  std::memmove(line.buffer + line.cursor + size, line.buffer + line.cursor,
               static_cast<size_t>(line.length - line.cursor));
  std::memcpy(line.buffer + line.cursor, text, static_cast<size_t>(size));
  line.length += size;
  line.cursor += size;
  redraw(line);
}

// Removes the bytes from..to (one whole character) and puts the cursor at from.
void erase(LineEditor& line, int from, int to) {
  std::memmove(line.buffer + from, line.buffer + to, static_cast<size_t>(line.length - to));
  line.length -= to - from;
  line.cursor = from;
  redraw(line);
}

void move_to(LineEditor& line, int at) {
  if (at == line.cursor) return;
  line.cursor = at;
  redraw(line);
}

// Returns false when the key ends the line.
bool apply_key(LineEditor& line, const KeyPress& press) {
  switch (press.key) {
    case VKEY_ENTER: return false;
    case VKEY_BACKSPACE:
      if (line.cursor > 0) erase(line, previous_boundary(line, line.cursor), line.cursor);
      return true;
    case VKEY_DELETE:
      if (line.cursor < line.length) erase(line, line.cursor, next_boundary(line, line.cursor));
      return true;
    case VKEY_LEFT:
      if (line.cursor > 0) move_to(line, previous_boundary(line, line.cursor));
      return true;
    case VKEY_RIGHT:
      if (line.cursor < line.length) move_to(line, next_boundary(line, line.cursor));
      return true;
    case VKEY_HOME: move_to(line, 0); return true;
    case VKEY_END: move_to(line, line.length); return true;
    default: break;
  }
  // Esc and Ctrl+U clear the line.
  if (press.key == VKEY_ESCAPE || press.typed == CTRL_U ||
      (press.key == 'U' && (press.modifiers & MOD_CTRL) != 0)) {
    line.length = 0;
    line.cursor = 0;
    redraw(line);
  } else if (press.typed >= 0x20 && press.typed < 0x7F &&
             (press.modifiers & (MOD_CTRL | MOD_ALT)) == 0) {
    const char typed = static_cast<char>(press.typed);
    insert(line, &typed, 1);
  }
  // Every other key (tab, function keys, Ctrl and Alt combinations) does nothing.
  return true;
}

void finish(LineEditor& line) {
  ScreenShadow& shadow = console_shadow();
  OutputBuffer& out = console_output();
  translate_goto(shadow, line.end_x, line.end_y, out);
  translate_text(shadow, "\n", out);
}

}  // namespace

int console_read_line(char* buffer, int capacity) {
  if (buffer == nullptr || capacity <= 0) return 0;
  // An arrow that ended the screen before was taken whole there; its second
  // code would otherwise end the wait of the screen after the line at once.
  console_drop_pending_code();
  const ScreenShadow& shadow = console_shadow();
  LineEditor line{buffer,          capacity - 1,   0, 0, shadow.cursor_x, shadow.cursor_y,
                  shadow.cursor_x, shadow.cursor_y};
  for (;;) {
    KeyEvent event;
    console_next_event(event);
    if (event.text[0] != '\0') {
      const int size = static_cast<int>(std::strlen(event.text));
      // A mark at the start would sit on whatever stands before the line.
      const bool stray_mark = line.cursor == 0 && is_mark(event.text, size);
      if (!is_c1_control(event.text) && !stray_mark) insert(line, event.text, size);
      continue;
    }
    if (!apply_key(line, event.press)) {
      finish(line);
      break;
    }
  }
  buffer[line.length] = '\0';
  return line.length;
}

}  // namespace vormi
