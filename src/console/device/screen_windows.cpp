// The Windows console device's screen: a screen buffer of the game's own in
// front of the player's, the size of the window, painted cell by cell from
// the console's copy of the screen. A second copy holds what the buffer was
// last given, so a send writes only the cells that changed: a game step is a
// few short runs, one write each. Of the bytes the console translates for
// terminals only the bells are wanted here; the rest are dropped.
#include "console/device/console_windows.h"
#include "console/device/device.h"
#include "text/utf8.h"

namespace vormi {

namespace {

// Attribute bits of a cell that is one half of a wide character.
constexpr WORD LEADING_HALF = COMMON_LVB_LEADING_BYTE;
constexpr WORD TRAILING_HALF = COMMON_LVB_TRAILING_BYTE;
// Changed cells this close together go in one write with the cells between.
constexpr int RUN_JOIN_GAP = 8;
// More changed rows than this are a new screen rather than a step.
constexpr int FEW_ROWS = 6;
// Cells a repaint writes at once: older console hosts refuse a write of
// more than 64 KB.
constexpr int REPAINT_BAND_CELLS = 8192;
constexpr wchar_t REPLACEMENT_CHARACTER = 0xFFFD;

struct Painted {
  // Whether cells and the cursor are what the buffer shows; not after a
  // notice, or before the game's buffer is in front.
  bool known;
  int columns;
  int rows;
  int cursor_x;  // 0-based, as the console counts
  int cursor_y;
  CHAR_INFO cells[SCREEN_MAX_ROWS][SCREEN_MAX_COLUMNS];
};

Painted painted;
CHAR_INFO line[SCREEN_MAX_COLUMNS];
CHAR_INFO band[REPAINT_BAND_CELLS];

// The character a cell shows, as one UTF-16 unit: its first character (the
// classic console has no room for the marks joined to it, nor for a
// character beyond U+FFFF).
wchar_t cell_character(const ScreenCell& cell) {
  if (cell.size == 0) return L' ';
  const auto* text = reinterpret_cast<const unsigned char*>(cell.text);
  if (text[0] < 0x80) return static_cast<wchar_t>(text[0]);
  int code = 0;
  if (utf8_char_length(text, cell.size, &code) == 0 || code > 0xFFFF) return REPLACEMENT_CHARACTER;
  return static_cast<wchar_t>(code);
}

// Row y (0-based) of the copy as the console's cells, into out.
void row_cells(const ScreenShadow& shadow, int y, CHAR_INFO* out) {
  const WORD attribute = windows_console.attribute;
  for (int x = 0; x < shadow.columns; ++x) {
    const ScreenCell& cell = shadow.cells[y][x];
    CHAR_INFO& info = out[x];
    info.Attributes = attribute;
    if (cell.width == 0 && x > 0) {
      // The right half of a wide character; of one the console cannot show,
      // whose stand-in takes one column, a blank.
      const bool whole = (out[x - 1].Attributes & LEADING_HALF) != 0;
      info.Char.UnicodeChar = whole ? out[x - 1].Char.UnicodeChar : L' ';
      if (whole) info.Attributes = attribute | TRAILING_HALF;
    } else {
      info.Char.UnicodeChar = cell_character(cell);
      if (cell.width == 2 && info.Char.UnicodeChar != REPLACEMENT_CHARACTER)
        info.Attributes = attribute | LEADING_HALF;
    }
  }
}

bool same(const CHAR_INFO& a, const CHAR_INFO& b) {
  return a.Char.UnicodeChar == b.Char.UnicodeChar && a.Attributes == b.Attributes;
}

// Writes cells to columns x to x + count - 1 of rows y to y + height - 1.
void write_cells(const CHAR_INFO* cells, int x, int y, int count, int height) {
  SMALL_RECT region = {static_cast<SHORT>(x), static_cast<SHORT>(y),
                       static_cast<SHORT>(x + count - 1), static_cast<SHORT>(y + height - 1)};
  const COORD size = {static_cast<SHORT>(count), static_cast<SHORT>(height)};
  WriteConsoleOutputW(windows_console.screen, cells, size, COORD{0, 0}, &region);
}

void place_cursor(const ScreenShadow& shadow) {
  const int x = (shadow.cursor_x < shadow.columns ? shadow.cursor_x : shadow.columns) - 1;
  const int y = (shadow.cursor_y < shadow.rows ? shadow.cursor_y : shadow.rows) - 1;
  if (painted.known && x == painted.cursor_x && y == painted.cursor_y) return;
  SetConsoleCursorPosition(windows_console.screen,
                           COORD{static_cast<SHORT>(x), static_cast<SHORT>(y)});
  painted.cursor_x = x;
  painted.cursor_y = y;
}

// Blanks the whole buffer in the attribute found and puts the cursor home.
void blank_buffer() {
  const HANDLE screen = windows_console.screen;
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(screen, &info)) return;
  const DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
  DWORD done = 0;
  FillConsoleOutputCharacterW(screen, L' ', cells, COORD{0, 0}, &done);
  FillConsoleOutputAttribute(screen, windows_console.attribute, cells, COORD{0, 0}, &done);
  SetConsoleCursorPosition(screen, COORD{0, 0});
}

// Sends the changed cells of row y: runs of changes, joined across short gaps.
void send_row(const ScreenShadow& shadow, int y) {
  row_cells(shadow, y, line);
  CHAR_INFO* was = painted.cells[y];
  int x = 0;
  while (x < shadow.columns) {
    if (same(line[x], was[x])) {
      ++x;
      continue;
    }
    const int start = x;
    int end = x + 1;  // one past the last changed cell of the run
    for (int gap = 0; x < shadow.columns && gap <= RUN_JOIN_GAP; ++x) {
      if (same(line[x], was[x])) {
        ++gap;
      } else {
        gap = 0;
        end = x + 1;
      }
    }
    // A wide character's halves go together.
    const int first =
        start > 0 && (line[start].Attributes & TRAILING_HALF) != 0 ? start - 1 : start;
    const int last =
        end < shadow.columns && (line[end - 1].Attributes & LEADING_HALF) != 0 ? end + 1 : end;
    write_cells(line + first, first, y, last - first, 1);
    for (int i = first; i < last; ++i) was[i] = line[i];
    x = last;
  }
}

// Rows first to last (0-based) written whole, in bands of rows.
void write_rows(const ScreenShadow& shadow, int first, int last) {
  const int columns = shadow.columns;
  const int band_rows = REPAINT_BAND_CELLS / columns;
  for (int y = first; y <= last; y += band_rows) {
    const int height = y + band_rows <= last + 1 ? band_rows : last + 1 - y;
    for (int row = 0; row < height; ++row) {
      CHAR_INFO* cells = band + row * columns;
      row_cells(shadow, y + row, cells);
      for (int x = 0; x < columns; ++x) painted.cells[y + row][x] = cells[x];
    }
    write_cells(band, 0, y, columns, height);
  }
}

bool row_changed(const ScreenShadow& shadow, int y) {
  row_cells(shadow, y, line);
  for (int x = 0; x < shadow.columns; ++x)
    if (!same(line[x], painted.cells[y][x])) return true;
  return false;
}

// Sends what changed since the last send. A step changes a few rows, each
// sent as its runs; more rows are a new screen, sent whole in one write from
// its first changed row to its last, so it shows at once.
void send_changes(const ScreenShadow& shadow) {
  int changed = 0;
  int first = -1;
  int last = -1;
  for (int y = 0; y < shadow.rows; ++y) {
    if (!row_changed(shadow, y)) continue;
    ++changed;
    if (first < 0) first = y;
    last = y;
  }
  if (changed > FEW_ROWS) {
    write_rows(shadow, first, last);
    return;
  }
  for (int y = first; changed > 0 && y <= last; ++y) send_row(shadow, y);
}

void paint_all(const ScreenShadow& shadow) {
  // Only what lies beyond the copy (a window larger than the game uses) is
  // blanked first: a blank flash over the whole screen would show.
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (GetConsoleScreenBufferInfo(windows_console.screen, &info) &&
      (info.dwSize.X > shadow.columns || info.dwSize.Y > shadow.rows)) {
    blank_buffer();
  }
  write_rows(shadow, 0, shadow.rows - 1);
  painted.known = true;
  painted.columns = shadow.columns;
  painted.rows = shadow.rows;
  painted.cursor_x = -1;  // not known: set by the next place_cursor
  painted.cursor_y = -1;
}

// Drawing goes to the game's buffer only, and only once it is in front.
bool drawing() { return windows_console.screen != INVALID_HANDLE_VALUE && game_screen_shown(); }

// The bells printed since the last send, rung by the console itself. A BEL
// byte among the terminal bytes is always a bell printed: text and the
// cursor moves never hold one.
void ring_bells(const OutputBuffer& out) {
  DWORD written = 0;
  for (int i = 0; i < out.size; ++i)
    if (out.data[i] == '\a') WriteConsoleW(windows_console.screen, L"\a", 1, &written, nullptr);
}

}  // namespace

void fit_buffer_to_window(HANDLE buffer, int& columns, int& rows) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(buffer, &info)) return;
  const SHORT width = static_cast<SHORT>(info.srWindow.Right - info.srWindow.Left + 1);
  const SHORT height = static_cast<SHORT>(info.srWindow.Bottom - info.srWindow.Top + 1);
  if (info.dwSize.X != width || info.dwSize.Y != height || info.srWindow.Left != 0 ||
      info.srWindow.Top != 0) {
    // The window moves to the top left first: a buffer is never made
    // smaller than the window over it.
    const SMALL_RECT window = {0, 0, static_cast<SHORT>(width - 1), static_cast<SHORT>(height - 1)};
    SetConsoleWindowInfo(buffer, TRUE, &window);
    SetConsoleScreenBufferSize(buffer, COORD{width, height});
    SetConsoleWindowInfo(buffer, TRUE, &window);
  }
  read_window_size(buffer, columns, rows);
}

HANDLE make_game_screen() {
  const HANDLE screen =
      CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr);
  if (screen == nullptr || screen == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
  const WindowsConsole& console = windows_console;
  SetConsoleTextAttribute(screen, console.attribute);
  // Cells are written as cells; the only text written is a bell, which the
  // console rings, neither showing it nor moving the cursor.
  SetConsoleMode(screen, ENABLE_PROCESSED_OUTPUT);
  CONSOLE_CURSOR_INFO cursor = console.cursor_found;
  cursor.bVisible = TRUE;
  SetConsoleCursorInfo(screen, &cursor);
  return screen;
}

void device_start_screen() {
  const HANDLE screen = windows_console.screen;
  if (screen == INVALID_HANDLE_VALUE || !activate_game_screen()) return;
  // The buffer takes the size of the player's window; a host may change the
  // window as the buffer comes to the front. Should the size differ from the
  // one the game was told, the next wait ends for it.
  int columns = windows_console.columns;
  int rows = windows_console.rows;
  SetConsoleScreenBufferSize(screen, COORD{static_cast<SHORT>(columns), static_cast<SHORT>(rows)});
  fit_buffer_to_window(screen, columns, rows);
  note_size_event();
  blank_buffer();
  painted.known = false;
}

void device_begin_whole_frame(OutputBuffer&) {}

void device_send(const ScreenShadow& shadow, OutputBuffer& out, bool) {
  if (!drawing()) {
    output_clear(out);
    return;
  }
  ring_bells(out);
  output_clear(out);
  if (!painted.known || painted.columns != shadow.columns || painted.rows != shadow.rows)
    paint_all(shadow);
  else
    send_changes(shadow);
  place_cursor(shadow);
}

void device_repaint(const ScreenShadow& shadow, OutputBuffer& out) {
  output_clear(out);
  if (!drawing()) return;
  int columns = 0;
  int rows = 0;
  fit_buffer_to_window(windows_console.screen, columns, rows);
  paint_all(shadow);
  place_cursor(shadow);
}

void device_show_notice(const char* text, int size, OutputBuffer& out) {
  output_clear(out);
  if (!drawing()) return;
  blank_buffer();
  painted.known = false;
  wchar_t row[SCREEN_MAX_COLUMNS];
  int y = 0;
  int length = 0;
  DWORD done = 0;
  for (int i = 0; i <= size; ++i) {
    if (i < size && text[i] == '\r') continue;
    if (i < size && text[i] != '\n') {
      if (length < SCREEN_MAX_COLUMNS) row[length++] = static_cast<unsigned char>(text[i]);
      continue;
    }
    WriteConsoleOutputCharacterW(windows_console.screen, row, static_cast<DWORD>(length),
                                 COORD{0, static_cast<SHORT>(y)}, &done);
    if (i < size) {
      ++y;
      length = 0;
    }
  }
  SetConsoleCursorPosition(windows_console.screen,
                           COORD{static_cast<SHORT>(length), static_cast<SHORT>(y)});
}

}  // namespace vormi
