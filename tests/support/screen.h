// A terminal emulator (libvterm) that tests feed with what the program wrote
// and then read cell by cell.
#pragma once

#include <cstddef>
#include <string>

struct VTerm;
struct VTermScreen;

namespace vormi::test {

class Screen {
 public:
  Screen(int columns, int rows);
  ~Screen();
  Screen(const Screen&) = delete;
  Screen& operator=(const Screen&) = delete;

  void feed(const char* bytes, size_t size);
  void feed(const std::string& bytes) { feed(bytes.data(), bytes.size()); }
  // The window takes a new size; libvterm keeps or cuts the cells as a terminal would.
  void resize(int columns, int rows);

  int columns() const { return columns_; }
  int rows() const { return rows_; }
  // The character at column x, row y (1-based) as UTF-8; " " for an empty cell.
  std::string cell(int x, int y) const;
  // Row y (1-based) as UTF-8 with the blanks at its end removed.
  std::string row(int y) const;
  // All rows joined with "\n", trailing blanks of each row removed.
  std::string text() const;
  // 1-based cursor position.
  int cursor_x() const;
  int cursor_y() const;
  // How many bells the program has rung.
  int bells() const { return bells_; }
  // How many lines have gone up into the scrollback (the normal screen's only).
  int scrolled_off() const { return scrolled_off_; }

 private:
  static int on_bell(void* user);
  static int on_scroll_off(void* user);
  VTerm* vterm_;
  VTermScreen* screen_;
  int columns_;
  int rows_;
  int bells_ = 0;
  int scrolled_off_ = 0;
};

}  // namespace vormi::test
