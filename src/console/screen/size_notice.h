// The notice shown instead of the game while the terminal is too small for it.
#pragma once

namespace vormi {

// "Terminal 60x20: vormi needs at least 80x24." for a terminal of columns x
// rows that needs need_columns x need_rows, broken at spaces into lines of at
// most columns characters (a longer word is cut) and kept to at most rows
// lines, joined by CR LF with none after the last, so nothing wraps or
// scrolls even in a tiny window. Writes at most capacity - 1 bytes and a NUL
// into out (capacity at least 1); returns how many bytes came before the NUL.
int size_notice(int columns, int rows, int need_columns, int need_rows, char* out, int capacity);

}  // namespace vormi
