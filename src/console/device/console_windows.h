// What the files of the Windows console device share: the console's handles
// and what was found in it at start-up, the size known, and the steps one
// file takes for another. Only the device's own files include it.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// The hot key modifiers of the window manager's header share their names
// with the console's key modifiers (key_press.h), whichever comes first.
#undef MOD_ALT
#undef MOD_CONTROL
#undef MOD_SHIFT

namespace vormi {

struct WindowsConsole {
  HANDLE input = INVALID_HANDLE_VALUE;   // CONIN$
  HANDLE output = INVALID_HANDLE_VALUE;  // CONOUT$: the player's screen buffer, active when found
  // The game's own screen buffer, made with the console opened and put in
  // front by device_start_screen.
  HANDLE screen = INVALID_HANDLE_VALUE;
  DWORD input_mode_found = 0;
  CONSOLE_CURSOR_INFO cursor_found{};
  WORD attribute = 0;  // the colours found at start-up; every cell is drawn in them
  // The size of the visible window, as the game uses it.
  int columns = 0;
  int rows = 0;
};

extern WindowsConsole windows_console;

// The buffer in front: the game's own once started, else the player's.
HANDLE drawn_buffer();
// The visible window of buffer, in cells; false when it cannot be read.
bool read_window_size(HANDLE buffer, int& columns, int& rows);

// Makes buffer exactly as large as its visible window, the window at its top
// left, so nothing scrolls and no scroll bar shows. Returns the size it has
// then in columns and rows.
void fit_buffer_to_window(HANDLE buffer, int& columns, int& rows);

// A screen buffer for the game, not yet in front, in the attribute found and
// with the cursor visible; INVALID_HANDLE_VALUE when the console makes none.
HANDLE make_game_screen();

// Puts the game's buffer in front, unless the console was already given back
// (a control event that came first): false then, and the game draws nothing
// more until the process ends.
bool activate_game_screen();
// Whether the game's buffer is in front.
bool game_screen_shown();

// A buffer size record came: the window's size is looked at before the next
// wait, and a change ends it.
void note_size_event();

// Gives the console back and ends the process as Ctrl+C ends a console
// program (STATUS_CONTROL_C_EXIT).
[[noreturn]] void end_by_interrupt();

}  // namespace vormi
