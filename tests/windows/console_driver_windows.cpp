// Plays one scenario of support/screen_scenarios.h on a Windows console
// program: starts it in a pseudoconsole, attaches to that console, types with
// WriteConsoleInputW and reads the active screen buffer back cell by cell.
// Compares the screens with the POSIX run's file, and checks the exit status,
// the CPU time while the program waits, and that the console is given back as
// found.
//
//   console_driver GAME SCENARIO SCREENS   (SCREENS "-": print the screens)
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "support/screen_scenarios.h"

namespace {

using vormi::test::Do;
using vormi::test::Step;

constexpr int WAIT_MS = 15000;
constexpr DWORD IDLE_MS = 3000;
// A wait that blocks costs nothing measurable (0.00 s here, on a busy machine
// too); one that polls the console costs the game 0.8 s of 3 s under wine,
// which does the rest of the work in its own server.
constexpr double IDLE_CPU_LIMIT_S = 0.5;
constexpr DWORD CTRL_C_EXIT = 0xC000013A;  // STATUS_CONTROL_C_EXIT

int failures = 0;

void fail(const std::string& what) {
  ++failures;
  std::fprintf(stderr, "FAIL: %s\n", what.c_str());
}

std::string utf8(const std::wstring& text) {
  std::string out(4 * text.size(), '\0');
  out.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                 static_cast<int>(out.size()), nullptr, nullptr));
  return out;
}

HANDLE open_console(const wchar_t* name) {
  return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, 0, nullptr);
}

// The visible window of the active screen buffer, as screen_record gives it
// (with no name): opened afresh, as the program may have made another buffer
// active since the last read.
std::string read_screen() {
  HANDLE out = open_console(L"CONOUT$");
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(out, &info)) {
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    return "";
  }
  SMALL_RECT region = info.srWindow;
  const SHORT columns = region.Right - region.Left + 1;
  const SHORT rows = region.Bottom - region.Top + 1;
  std::string cells(sizeof(CHAR_INFO) * columns * rows, '\0');
  CHAR_INFO* cell = reinterpret_cast<CHAR_INFO*>(cells.data());
  ReadConsoleOutputW(out, cell, {columns, rows}, {0, 0}, &region);
  CloseHandle(out);
  std::string text;
  for (int y = 0; y < rows; ++y) {
    std::wstring row;
    for (int x = 0; x < columns; ++x) row += cell[y * columns + x].Char.UnicodeChar;
    row.erase(row.find_last_not_of(L' ') + 1);
    if (y > 0) text += '\n';
    text += utf8(row);
  }
  return vormi::test::screen_record("", text, info.dwCursorPosition.X - region.Left + 1,
                                    info.dwCursorPosition.Y - region.Top + 1);
}

bool wait_for_text(const std::string& text) {
  for (int waited = 0; waited < WAIT_MS; waited += 20) {
    if (read_screen().find(text) != std::string::npos) return true;
    Sleep(20);
  }
  fail("\"" + text + "\" never showed; the screen:\n" + read_screen());
  return false;
}

// The screen once two readings 100 ms apart agree: a frame sent in parts is whole.
std::string screen_at_rest() {
  std::string last = read_screen();
  for (int i = 0; i < 20; ++i) {
    Sleep(100);
    const std::string now = read_screen();
    if (now == last) break;
    last = now;
  }
  return last;
}

// The named keys as a keyboard sends them: virtual-key code, the character
// typed, the modifiers held. Any other name is one letter or digit.
struct Key {
  const char* name;
  WORD code;
  wchar_t typed;
  DWORD modifiers;
};
const Key NAMED_KEYS[] = {{"Down", VK_DOWN, 0, ENHANCED_KEY},
                          {"Up", VK_UP, 0, ENHANCED_KEY},
                          {"Enter", VK_RETURN, L'\r', 0},
                          {"Esc", VK_ESCAPE, 0x1B, 0},
                          {"Ctrl+C", 'C', 0x03, LEFT_CTRL_PRESSED}};

// The key pressed and released.
bool press(HANDLE input, const std::string& name) {
  const unsigned char first = name[0];
  Key key{nullptr, static_cast<WORD>(std::toupper(first)), static_cast<wchar_t>(first),
          std::isupper(first) ? DWORD{SHIFT_PRESSED} : 0};
  for (const Key& named : NAMED_KEYS)
    if (name == named.name) key = named;
  INPUT_RECORD records[2] = {};
  for (int i = 0; i < 2; ++i) {
    records[i].EventType = KEY_EVENT;
    KEY_EVENT_RECORD& event = records[i].Event.KeyEvent;
    event.bKeyDown = i == 0;
    event.wRepeatCount = 1;
    event.wVirtualKeyCode = key.code;
    event.wVirtualScanCode = static_cast<WORD>(MapVirtualKeyW(key.code, MAPVK_VK_TO_VSC));
    event.uChar.UnicodeChar = key.typed;
    event.dwControlKeyState = key.modifiers;
  }
  DWORD written = 0;
  return WriteConsoleInputW(input, records, 2, &written) && written == 2;
}

// A file of Linux's /proc through wine's drive Z:; empty where there is none.
std::string proc_file(const std::string& pid, const char* name) {
  std::ifstream in("Z:\\proc\\" + pid + "\\" + name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Wine 8 answers GetProcessTimes for any process with one constant (20 ms):
// there the game's Linux process is read instead, found by the folder of its
// file, which is the driver's own (wine shows the command line as the Linux
// process's). Fields 14 and 15 of its stat: user and system time in 1/100 s.
double cpu_seconds(HANDLE process, const std::string& program) {
  if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") == nullptr) {
    FILETIME created, ended, kernel, user;
    if (!GetProcessTimes(process, &created, &ended, &kernel, &user)) return -1;
    auto ticks = [](FILETIME t) { return (ULONGLONG{t.dwHighDateTime} << 32) | t.dwLowDateTime; };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;
  }
  WIN32_FIND_DATAA entry;
  HANDLE found = FindFirstFileA("Z:\\proc\\*", &entry);
  double seconds = -1;
  for (bool more = found != INVALID_HANDLE_VALUE; more && seconds < 0;
       more = FindNextFileA(found, &entry)) {
    if (proc_file(entry.cFileName, "cmdline").find(program) == std::string::npos) continue;
    const std::string line = proc_file(entry.cFileName, "stat");
    std::istringstream stat(line.substr(line.rfind(") ") + 2));  // from field 3 on
    std::string field;
    for (int i = 3; i <= 13; ++i) stat >> field;
    double user = 0, system = 0;
    if (stat >> user >> system) seconds = (user + system) / 100;
  }
  if (found != INVALID_HANDLE_VALUE) FindClose(found);
  return seconds;
}

// The program in a pseudoconsole of its own, started suspended so that the
// console can be read as found before it runs.
struct Game {
  HPCON console = nullptr;
  HANDLE input_write = nullptr;
  HANDLE output_read = nullptr;
  PROCESS_INFORMATION process{};
  std::string program;  // its file, a copy in the driver's folder
};

// The pseudoconsole writes what it shows into its output pipe; unread, the pipe
// fills and the console blocks.
DWORD WINAPI drain(void* pipe) {
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(static_cast<HANDLE>(pipe), chunk, sizeof chunk, &got, nullptr) && got > 0) {
  }
  return 0;
}

// Makes a pseudoconsole and attaches the driver to it, through a process of
// its own that holds it (a process started suspended cannot be attached to
// under wine); the game then starts in it as the driver's console.
bool enter_pseudoconsole(Game& game) {
  HANDLE input_read = nullptr;
  HANDLE output_write = nullptr;
  if (!CreatePipe(&input_read, &game.input_write, nullptr, 0) ||
      !CreatePipe(&game.output_read, &output_write, nullptr, 0) ||
      FAILED(CreatePseudoConsole({80, 25}, input_read, output_write, 0, &game.console)))
    return false;
  CloseHandle(input_read);
  CloseHandle(output_write);
  CloseHandle(CreateThread(nullptr, 0, drain, game.output_read, 0, nullptr));
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::string attributes(size, '\0');
  STARTUPINFOEXA info{};
  info.StartupInfo.cb = sizeof info;
  info.lpAttributeList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
  if (!InitializeProcThreadAttributeList(info.lpAttributeList, 1, 0, &size) ||
      !UpdateProcThreadAttribute(info.lpAttributeList, 0, PROC_THREAD_ATTRIBUTE_PSEUDOCONSOLE,
                                 game.console, sizeof game.console, nullptr, nullptr))
    return false;
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string command = "\"" + std::string(self) + "\" --hold";
  PROCESS_INFORMATION holder{};
  const bool started =
      CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, EXTENDED_STARTUPINFO_PRESENT,
                     nullptr, nullptr, &info.StartupInfo, &holder);
  DeleteProcThreadAttributeList(info.lpAttributeList);
  if (!started) return false;
  FreeConsole();
  bool attached = false;
  for (int waited = 0; !attached && waited < WAIT_MS; waited += 20) {
    attached = AttachConsole(holder.dwProcessId);
    if (!attached) Sleep(20);
  }
  TerminateProcess(holder.hProcess, 0);
  CloseHandle(holder.hProcess);
  CloseHandle(holder.hThread);
  return attached;
}

bool start_game(Game& game, const std::string& program, const std::string& dir) {
  game.program = dir + program.substr(program.find_last_of("\\/"));
  if (!CopyFileA(program.c_str(), game.program.c_str(), FALSE)) return false;
  std::string command = "\"" + game.program + "\"";
  STARTUPINFOA info{};
  info.cb = sizeof info;
  return CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(),
                        &info, &game.process);
}

// What the player's console holds before the program runs: a line of text
// and the cursor after it, which must all be there again after the end.
struct Found {
  std::string screen;
  DWORD input_mode = 0;
};

Found mark_console(HANDLE input) {
  HANDLE out = open_console(L"CONOUT$");
  const wchar_t shell[] = L"C:\\games> vormi";
  DWORD written = 0;
  WriteConsoleOutputCharacterW(out, shell, sizeof shell / sizeof shell[0] - 1, {0, 0}, &written);
  SetConsoleCursorPosition(out, {16, 0});
  CloseHandle(out);
  Found found;
  found.screen = read_screen();
  GetConsoleMode(input, &found.input_mode);
  return found;
}

void check_exit(const Game& game, const std::string& expected, HANDLE input, const Found& found) {
  if (WaitForSingleObject(game.process.hProcess, WAIT_MS) != WAIT_OBJECT_0) {
    fail("the program did not end");
    return;
  }
  DWORD status = 0;
  GetExitCodeProcess(game.process.hProcess, &status);
  const DWORD wanted =
      expected == "Ctrl+C" ? CTRL_C_EXIT : std::strtoul(expected.c_str(), nullptr, 0);
  if (status != wanted) fail("exit status " + std::to_string(status) + ", not " + expected);
  const std::string screen = read_screen();
  if (screen != found.screen) fail("the console's screen is not as found:\n" + screen);
  DWORD mode = 0;
  GetConsoleMode(input, &mode);
  if (mode != found.input_mode)
    fail("input mode " + std::to_string(mode) + ", found " + std::to_string(found.input_mode));
}

void check_idle(HANDLE process, const std::string& program, const std::string& where) {
  const double before = cpu_seconds(process, program);
  Sleep(IDLE_MS);
  const double spent = cpu_seconds(process, program) - before;
  std::printf("CPU waiting in the %s: %.3f s in %lu ms\n", where.c_str(), spent, IDLE_MS);
  if (before < 0) fail("the program's CPU time cannot be read");
  if (spent > IDLE_CPU_LIMIT_S) fail("the program spins while it waits in the " + where);
}

// The window takes a new size as when the player drags a console window's
// edge: the active buffer's window and size change, and the console reports
// the new buffer size. (Wine 8 has no ResizePseudoConsole.)
bool resize(const std::string& size) {
  const SHORT columns = static_cast<SHORT>(std::atoi(size.c_str()));
  const SHORT rows = static_cast<SHORT>(std::atoi(size.c_str() + size.find('x') + 1));
  HANDLE out = open_console(L"CONOUT$");
  const SMALL_RECT window{0, 0, static_cast<SHORT>(columns - 1), static_cast<SHORT>(rows - 1)};
  CONSOLE_SCREEN_BUFFER_INFO info{};
  GetConsoleScreenBufferInfo(out, &info);
  // The window must fit in the buffer at every moment.
  const bool smaller = columns < info.dwSize.X;
  const bool done = smaller ? SetConsoleWindowInfo(out, TRUE, &window) &&
                                  SetConsoleScreenBufferSize(out, {columns, rows})
                            : SetConsoleScreenBufferSize(out, {columns, rows}) &&
                                  SetConsoleWindowInfo(out, TRUE, &window);
  CloseHandle(out);
  return done;
}

// Written beside and moved over, so the program never reads half a file.
bool write_calendar(const std::string& file, const std::string& second) {
  std::ofstream(file + ".new", std::ios::trunc) << second << "\n";
  return MoveFileExA((file + ".new").c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// Plays the steps; returns the screens read, as screen_record gives them.
std::string play(Game& game, const std::vector<Step>& steps, const std::string& calendar,
                 const Found& found) {
  HANDLE input = open_console(L"CONIN$");
  std::string screens;
  for (const Step& step : steps) {
    bool ok = true;
    switch (step.what) {
      case Do::KEYS:
        for (const std::string& name : vormi::test::key_names(step.text))
          ok = ok && press(input, name);
        break;
      case Do::WAIT: ok = wait_for_text(step.text); break;
      case Do::SCREEN: screens += "== " + step.text + screen_at_rest().substr(3); break;
      case Do::RESIZE: ok = resize(step.text); break;
      case Do::CALENDAR: ok = write_calendar(calendar, step.text); break;
      case Do::IDLE: check_idle(game.process.hProcess, game.program, step.text); break;
      case Do::EXIT: check_exit(game, step.text, input, found); break;
    }
    if (!ok) {
      if (step.what != Do::WAIT) fail("could not do the step \"" + step.text + "\"");
      break;
    }
  }
  CloseHandle(input);
  return screens;
}

// Tells the first screen that differs, as expected and as read.
void compare(const std::string& screens, const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream wanted;
  wanted << in.rdbuf();
  if (!in)
    return fail("no screens of the POSIX run in " + file + ": run its end-to-end tests first");
  if (screens == wanted.str()) return;
  size_t at = 0;
  while (at < screens.size() && screens[at] == wanted.str()[at]) ++at;
  const size_t from = at < 3 ? 0 : screens.rfind("== ", at);  // the record it lies in
  std::string message = "the screens differ from the POSIX run's; expected:\n";
  message += wanted.str().substr(from, 2200);
  message += "\nread:\n";
  fail(message + screens.substr(from, 2200));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--hold") Sleep(INFINITE);
  if (argc != 4) {
    std::fprintf(stderr, "usage: console_driver GAME SCENARIO SCREENS\n");
    return 2;
  }
  const std::vector<Step>* steps = nullptr;
  static const auto scenarios = vormi::test::screen_scenarios();
  for (const auto& scenario : scenarios)
    if (scenario.name == argv[2]) steps = &scenario.steps;
  if (steps == nullptr) return std::fprintf(stderr, "no scenario %s\n", argv[2]), 2;
  // A fresh directory for the score table and the calendar (wine reuses its
  // process ids, so the id alone may name one a killed run left).
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string dir = temp + std::string("vormi-driver-") +
                          std::to_string(GetCurrentProcessId()) + "-" +
                          std::to_string(GetTickCount64());
  const std::string calendar = dir + "\\calendar";
  if (!CreateDirectoryA(dir.c_str(), nullptr))
    return std::fprintf(stderr, "no %s\n", dir.c_str()), 2;
  write_calendar(calendar, vormi::test::FIRST_SECOND);
  SetEnvironmentVariableA("VORMI_TEST_CALENDAR_FILE", calendar.c_str());
  // Ctrl+C typed into the shared console is the program's key, not the driver's end.
  SetConsoleCtrlHandler(nullptr, TRUE);

  Game game;
  if (!enter_pseudoconsole(game)) return std::fprintf(stderr, "no pseudoconsole\n"), 2;
  HANDLE input = open_console(L"CONIN$");
  const Found found = mark_console(input);
  CloseHandle(input);
  if (!start_game(game, argv[1], dir)) return std::fprintf(stderr, "cannot start %s\n", argv[1]), 2;
  const std::string screens = play(game, *steps, calendar, found);
  TerminateProcess(game.process.hProcess, 255);
  WaitForSingleObject(game.process.hProcess, WAIT_MS);
  FreeConsole();
  ClosePseudoConsole(game.console);
  if (std::string(argv[3]) == "-")
    std::fputs(screens.c_str(), stdout);
  else
    compare(screens, argv[3]);
  for (const char* name : {"highscores.txt", "highscores.txt.lock", "calendar"})
    DeleteFileA((dir + "\\" + name).c_str());
  DeleteFileA(game.program.c_str());
  RemoveDirectoryA(dir.c_str());
  return failures == 0 ? 0 : 1;
}
