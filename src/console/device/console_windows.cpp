// The Windows console device: the console opened by name and its input mode
// set for the game; every way out giving it back once (exit, Ctrl+C read as a
// key, the console's control events, an unhandled exception, abort); the
// waits on the input handle; the clocks; the size of the visible window.
//
// The console's control events come on a thread of their own, while the game
// may be drawing or switching buffers: every change of what the console shows
// as active, and the giving back, happens under one lock, so the handler finds
// either the game's buffer in front and gives the player's back, or the
// console given back already, never half of each.
#include <signal.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "console/device/console_windows.h"
#include "console/device/device.h"

namespace vormi {

WindowsConsole windows_console;

namespace {

// Off while the game runs: Ctrl+C comes as a key (the pump ends the game for
// it), nothing waits for Enter, nothing echoes, no mouse records, keys come
// as key records rather than as terminal sequences, and a click selects no
// text (a selection holds every write of the game until it ends, so a stray
// click would freeze the board). On: the records that tell of a new buffer
// size, and the flag without which the console keeps quick edit as it was.
constexpr DWORD GAME_INPUT_OFF = ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT |
                                 ENABLE_MOUSE_INPUT | ENABLE_VIRTUAL_TERMINAL_INPUT |
                                 ENABLE_QUICK_EDIT_MODE;
constexpr DWORD GAME_INPUT_ON = ENABLE_WINDOW_INPUT | ENABLE_EXTENDED_FLAGS;

// A console host need not send a buffer size record when only the window
// changes (a window made smaller over a larger buffer): the waits look at the
// window this often as well.
constexpr DWORD WINDOW_CHECK_MS = 250;

// A timer whose waits end within a millisecond where the system has it
// (CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, Windows 10 1803); the timeouts of
// the wait functions themselves end on the system's 15.6 ms tick.
constexpr DWORD HIGH_RESOLUTION_TIMER = 0x00000002;

// A stack overflow leaves its thread this much stack for the exception
// filter to give the console back on.
constexpr ULONG OVERFLOW_STACK_RESERVE = 64 * 1024;

// FILETIME counts 100 ns steps from 1601-01-01; this many lie before 1970.
constexpr int64_t FILETIME_AT_1970 = 116444736000000000;
constexpr int64_t FILETIME_PER_MS = 10000;

enum ConsoleState {
  CLOSED,      // nothing to give back
  IN_GAME,     // the game's input mode set (and, once started, its buffer in front)
  GIVEN_BACK,  // given back for good: the process is ending
};

// Guarded by state_lock.
SRWLOCK state_lock = SRWLOCK_INIT;
ConsoleState state = CLOSED;
bool game_screen_active = false;

bool ways_out_installed = false;
LPTOP_LEVEL_EXCEPTION_FILTER previous_filter = nullptr;

// Read and set by the main thread only: the pump notes size records, the
// waits and device_take_resized look.
bool size_check_due = false;
bool size_changed = false;

// Gives the console back, once: the player's buffer in front again with its
// cursor as found, keys typed and never read dropped (they would reach the
// shell), the input mode as found. state_lock is held.
void give_back_locked() {
  if (state != IN_GAME) return;
  state = GIVEN_BACK;
  WindowsConsole& console = windows_console;
  if (game_screen_active) {
    SetConsoleActiveScreenBuffer(console.output);
    game_screen_active = false;
  }
  SetConsoleCursorInfo(console.output, &console.cursor_found);
  FlushConsoleInputBuffer(console.input);
  SetConsoleMode(console.input, console.input_mode_found);
}

void give_back() {
  AcquireSRWLockExclusive(&state_lock);
  give_back_locked();
  ReleaseSRWLockExclusive(&state_lock);
}

// From a fault or an abort on the main thread, which may itself hold the
// lock: the console is given back only when the lock is free.
void give_back_if_free() {
  if (!TryAcquireSRWLockExclusive(&state_lock)) return;
  give_back_locked();
  ReleaseSRWLockExclusive(&state_lock);
}

// Ctrl+Break, the window closed, logoff, shutdown (and a Ctrl+C sent by
// another program): the console is given back, and the default handler, next
// in line, ends the process as it would have (ExitProcess with
// STATUS_CONTROL_C_EXIT for Ctrl+C and Ctrl+Break).
BOOL WINAPI on_control_event(DWORD) {
  give_back();
  return FALSE;
}

LONG WINAPI on_unhandled_exception(EXCEPTION_POINTERS* exception) {
  give_back_if_free();
  return previous_filter != nullptr ? previous_filter(exception) : EXCEPTION_CONTINUE_SEARCH;
}

// abort, and std::terminate through it: the runtime resets the handler to
// the default before calling it, so the raise ends the process as abort does.
void on_abort(int sig) {
  give_back_if_free();
  raise(sig);
}

void at_exit() { device_close(); }

void install_ways_out() {
  if (ways_out_installed) return;
  ways_out_installed = true;
  std::atexit(at_exit);
  SetConsoleCtrlHandler(on_control_event, TRUE);
  previous_filter = SetUnhandledExceptionFilter(on_unhandled_exception);
  ULONG reserve = OVERFLOW_STACK_RESERVE;
  SetThreadStackGuarantee(&reserve);
  signal(SIGABRT, on_abort);
}

HANDLE open_console(const wchar_t* name) {
  return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, 0, nullptr);
}

void close_handle(HANDLE& handle) {
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  handle = INVALID_HANDLE_VALUE;
}

bool fail(char* why, size_t why_size, const char* what, HANDLE& input, HANDLE& output) {
  if (why != nullptr && why_size > 0)
    std::snprintf(why, why_size, "%s (error %lu)", what, GetLastError());
  close_handle(input);
  close_handle(output);
  return false;
}

// Whether the visible window is no longer the size the game knows.
bool window_changed() {
  int columns = 0;
  int rows = 0;
  if (!read_window_size(drawn_buffer(), columns, rows)) return false;
  return columns != windows_console.columns || rows != windows_console.rows;
}

// Looks at the window once a size record asked for it: false when the size
// is new (the wait must end for it).
bool size_known() {
  if (size_check_due) {
    size_check_due = false;
    if (window_changed()) size_changed = true;
  }
  return !size_changed;
}

int64_t monotonic_ms() {
  static const int64_t frequency = [] {
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    return static_cast<int64_t>(f.QuadPart);
  }();
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  const int64_t count = now.QuadPart;
  return count / frequency * 1000 + count % frequency * 1000 / frequency;
}

HANDLE wait_timer() {
  static const HANDLE timer = [] {
    HANDLE made = CreateWaitableTimerExW(nullptr, nullptr, HIGH_RESOLUTION_TIMER, TIMER_ALL_ACCESS);
    if (made == nullptr) made = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    return made;
  }();
  return timer;
}

// Waits up to ms, or until input is there when watching; true for input.
// A wait of 0 ms only looks.
bool wait_slice(DWORD ms, bool watching) {
  HANDLE handles[2];
  DWORD count = 0;
  if (watching) handles[count++] = windows_console.input;
  HANDLE timer = ms > 0 ? wait_timer() : nullptr;
  LARGE_INTEGER due{};
  due.QuadPart = -static_cast<LONGLONG>(ms) * FILETIME_PER_MS;  // relative
  const bool timed = timer != nullptr && SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE);
  if (timed) handles[count++] = timer;
  if (count == 0) {
    Sleep(ms);
    return false;
  }
  // With the timer armed the wait's own timeout is only a backstop.
  const DWORD result = WaitForMultipleObjects(count, handles, FALSE, timed ? ms + 100 : ms);
  return watching && result == WAIT_OBJECT_0;
}

// A test build may stand its calendar still at a second the test chooses, as
// the tests on Linux stand it still with libfaketime, so the food falls where
// the test expects. The released game has no such door.
#ifdef VORMI_TEST_CALENDAR
bool test_calendar_ms(int64_t& ms) {
  static const struct Frozen {
    bool set;
    int64_t ms;
  } frozen = [] {
    char text[32];
    const DWORD size = GetEnvironmentVariableA("VORMI_TEST_CALENDAR_SECONDS", text, sizeof text);
    if (size == 0 || size >= sizeof text) return Frozen{false, 0};
    char* end = nullptr;
    const long long seconds = std::strtoll(text, &end, 10);
    if (*end != '\0') return Frozen{false, 0};
    return Frozen{true, seconds * 1000};
  }();
  ms = frozen.ms;
  return frozen.set;
}
#else
bool test_calendar_ms(int64_t&) { return false; }
#endif

}  // namespace

HANDLE drawn_buffer() {
  return game_screen_shown() ? windows_console.screen : windows_console.output;
}

bool read_window_size(HANDLE buffer, int& columns, int& rows) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (buffer == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(buffer, &info)) return false;
  columns = info.srWindow.Right - info.srWindow.Left + 1;
  rows = info.srWindow.Bottom - info.srWindow.Top + 1;
  return true;
}

bool activate_game_screen() {
  AcquireSRWLockExclusive(&state_lock);
  const bool active = state == IN_GAME && SetConsoleActiveScreenBuffer(windows_console.screen);
  if (active) game_screen_active = true;
  ReleaseSRWLockExclusive(&state_lock);
  return active;
}

bool game_screen_shown() {
  AcquireSRWLockShared(&state_lock);
  const bool shown = game_screen_active;
  ReleaseSRWLockShared(&state_lock);
  return shown;
}

void note_size_event() { size_check_due = true; }

void end_by_interrupt() {
  device_close();
  ExitProcess(STATUS_CONTROL_C_EXIT);
}

bool device_open(char* why, size_t why_size) {
  if (windows_console.input != INVALID_HANDLE_VALUE) return true;
  HANDLE input = open_console(L"CONIN$");
  HANDLE output = open_console(L"CONOUT$");
  if (input == INVALID_HANDLE_VALUE || output == INVALID_HANDLE_VALUE)
    return fail(why, why_size, "no console to play in (CONIN$, CONOUT$)", input, output);
  DWORD mode = 0;
  if (!GetConsoleMode(input, &mode))
    return fail(why, why_size, "cannot read the console's input mode", input, output);
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(output, &info))
    return fail(why, why_size, "cannot read the console's size", input, output);
  CONSOLE_CURSOR_INFO cursor{};
  if (!GetConsoleCursorInfo(output, &cursor)) cursor = {25, TRUE};
  WindowsConsole& console = windows_console;
  // The colours only: the other bits mark grid lines and wide halves.
  console.attribute = info.wAttributes & 0xFF;
  console.cursor_found = cursor;
  HANDLE screen = make_game_screen();
  if (screen == INVALID_HANDLE_VALUE)
    return fail(why, why_size, "cannot make a screen buffer for the game", input, output);
  // Handlers first: an event right after the switch must find them.
  install_ways_out();
  AcquireSRWLockExclusive(&state_lock);
  const bool set = SetConsoleMode(input, (mode & ~GAME_INPUT_OFF) | GAME_INPUT_ON) != 0;
  if (set) {
    console.input = input;
    console.output = output;
    console.screen = screen;
    console.input_mode_found = mode;
    console.columns = info.srWindow.Right - info.srWindow.Left + 1;
    console.rows = info.srWindow.Bottom - info.srWindow.Top + 1;
    state = IN_GAME;
    game_screen_active = false;
    size_check_due = false;
    size_changed = false;
  }
  ReleaseSRWLockExclusive(&state_lock);
  if (!set) {
    fail(why, why_size, "cannot set the console's input mode", input, output);
    CloseHandle(screen);
    return false;
  }
  return true;
}

void device_close() {
  AcquireSRWLockExclusive(&state_lock);
  give_back_locked();
  state = CLOSED;
  WindowsConsole& console = windows_console;
  close_handle(console.screen);
  close_handle(console.input);
  close_handle(console.output);
  ReleaseSRWLockExclusive(&state_lock);
}

int device_columns() { return windows_console.columns; }

int device_rows() { return windows_console.rows; }

bool device_utf8() { return true; }

// The wait is cut into slices, between which the window's size is looked at;
// a slice costs a wake-up, not a spin.
bool device_wait(int timeout_ms, bool watch_input) {
  if (!size_known()) return false;
  const bool watching = watch_input && windows_console.input != INVALID_HANDLE_VALUE;
  const int64_t deadline = timeout_ms < 0 ? -1 : monotonic_ms() + timeout_ms;
  for (;;) {
    DWORD slice = WINDOW_CHECK_MS;
    if (deadline >= 0) {
      const int64_t left = deadline - monotonic_ms();
      if (left < static_cast<int64_t>(slice)) slice = left > 0 ? static_cast<DWORD>(left) : 0;
    }
    if (wait_slice(slice, watching)) return true;
    if (window_changed()) {
      size_changed = true;
      return false;
    }
    if (deadline >= 0 && monotonic_ms() >= deadline) return false;
  }
}

uint32_t device_millis() { return static_cast<uint32_t>(monotonic_ms()); }

int64_t device_calendar_ms() {
  int64_t frozen = 0;
  if (test_calendar_ms(frozen)) return frozen;
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  const int64_t ticks =
      static_cast<int64_t>((static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
  const int64_t since_1970 = ticks - FILETIME_AT_1970;
  // Rounded down, before 1970 too, so a millisecond belongs to its own second.
  return since_1970 >= 0 ? since_1970 / FILETIME_PER_MS
                         : (since_1970 - FILETIME_PER_MS + 1) / FILETIME_PER_MS;
}

// No job control on Windows: the game is never stopped and resumed.
bool device_take_resumed() { return false; }

// The game's buffer follows the window: made its size again, so nothing
// scrolls; the player's buffer, before the game's is in front, is only read.
bool device_take_resized() {
  if (size_known()) return false;
  size_changed = false;
  WindowsConsole& console = windows_console;
  if (game_screen_shown())
    fit_buffer_to_window(console.screen, console.columns, console.rows);
  else
    read_window_size(console.output, console.columns, console.rows);
  return true;
}

}  // namespace vormi
