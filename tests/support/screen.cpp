#include "support/screen.h"

#include <vterm.h>

namespace vormi::test {

namespace {

void append_utf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

std::string trim_right(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

VTermScreenCallbacks make_callbacks(int (*bell)(void*), int (*scrolled)(void*)) {
  VTermScreenCallbacks callbacks{};
  callbacks.bell = bell;
  static int (*scrolled_off)(void*) = scrolled;
  callbacks.sb_pushline = [](int, const VTermScreenCell*, void* user) {
    return scrolled_off(user);
  };
  return callbacks;
}

}  // namespace

Screen::Screen(int columns, int rows)
    : vterm_(vterm_new(rows, columns)), columns_(columns), rows_(rows) {
  vterm_set_utf8(vterm_, 1);
  screen_ = vterm_obtain_screen(vterm_);
  static const VTermScreenCallbacks callbacks =
      make_callbacks(&Screen::on_bell, &Screen::on_scroll_off);
  vterm_screen_set_callbacks(screen_, &callbacks, this);
  // The program draws on the alternate screen and leaves it at the end.
  vterm_screen_enable_altscreen(screen_, 1);
  vterm_screen_reset(screen_, 1);
}

Screen::~Screen() { vterm_free(vterm_); }

int Screen::on_bell(void* user) {
  ++static_cast<Screen*>(user)->bells_;
  return 1;
}

int Screen::on_scroll_off(void* user) {
  ++static_cast<Screen*>(user)->scrolled_off_;
  return 1;
}

void Screen::feed(const char* bytes, size_t size) {
  vterm_input_write(vterm_, bytes, size);
  // Replies to queries would pile up in libvterm's output buffer; nobody reads them.
  char discard[256];
  while (vterm_output_read(vterm_, discard, sizeof discard) > 0) {
  }
}

void Screen::resize(int columns, int rows) {
  vterm_set_size(vterm_, rows, columns);
  columns_ = columns;
  rows_ = rows;
}

std::string Screen::cell(int x, int y) const {
  if (x < 1 || x > columns_ || y < 1 || y > rows_) return "";
  VTermScreenCell content{};
  VTermPos position{y - 1, x - 1};
  vterm_screen_get_cell(screen_, position, &content);
  std::string out;
  if (content.chars[0] == 0) return " ";
  // The right half of a wide character holds no character of its own.
  if (content.chars[0] == 0xFFFFFFFF) return "";
  for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && content.chars[i] != 0; ++i)
    append_utf8(out, content.chars[i]);
  return out;
}

std::string Screen::row(int y) const {
  std::string out;
  for (int x = 1; x <= columns_; ++x) out += cell(x, y);
  return trim_right(out);
}

std::string Screen::text() const {
  std::string out;
  for (int y = 1; y <= rows_; ++y) {
    if (y > 1) out += '\n';
    out += row(y);
  }
  return out;
}

int Screen::cursor_x() const {
  VTermPos position{};
  vterm_state_get_cursorpos(vterm_obtain_state(vterm_), &position);
  return position.col + 1;
}

int Screen::cursor_y() const {
  VTermPos position{};
  vterm_state_get_cursorpos(vterm_obtain_state(vterm_), &position);
  return position.row + 1;
}

}  // namespace vormi::test
