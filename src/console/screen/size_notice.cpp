#include "console/screen/size_notice.h"

#include <cstdio>
#include <cstring>

namespace vormi {

namespace {

struct NoticeLines {
  char* out;
  int capacity;
  int size;
  int width;       // columns a line may take
  int lines_left;  // lines that may still be started after the current one
  int column;      // characters on the current line
};

void put(NoticeLines& notice, char c) {
  if (notice.size < notice.capacity - 1) notice.out[notice.size++] = c;
}

// Starts a new line; false when the window has no row left for it.
bool new_line(NoticeLines& notice) {
  if (notice.lines_left == 0) return false;
  --notice.lines_left;
  put(notice, '\r');
  put(notice, '\n');
  notice.column = 0;
  return true;
}

// Puts one word, after a space or on a new line; false once the window is full.
bool put_word(NoticeLines& notice, const char* word, int length) {
  if (notice.column > 0) {
    if (notice.column + 1 + length > notice.width) {
      if (!new_line(notice)) return false;
    } else {
      put(notice, ' ');
      ++notice.column;
    }
  }
  for (int i = 0; i < length; ++i) {
    if (notice.column == notice.width && !new_line(notice)) return false;
    put(notice, word[i]);
    ++notice.column;
  }
  return true;
}

}  // namespace

int size_notice(int columns, int rows, int need_columns, int need_rows, char* out, int capacity) {
  char text[96];
  std::snprintf(text, sizeof text, "Terminal %dx%d: vormi needs at least %dx%d.", columns, rows,
                need_columns, need_rows);
  NoticeLines notice{out, capacity, 0, columns < 1 ? 1 : columns, rows < 1 ? 0 : rows - 1, 0};
  const char* word = text;
  while (*word != '\0') {
    const int length = static_cast<int>(std::strcspn(word, " "));
    if (!put_word(notice, word, length)) break;
    word += length;
    while (*word == ' ') ++word;
  }
  out[notice.size] = '\0';
  return notice.size;
}

}  // namespace vormi
