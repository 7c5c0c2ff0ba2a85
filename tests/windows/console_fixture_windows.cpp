// A stand-in for the game that the console driver checks itself on: it plays
// the start of the "resize-ctrl-c" scenario (a welcome line, "Exit" after a
// key, the size notice while the window is small, Ctrl+C ends it) on a screen
// buffer of its own. With VORMI_FIXTURE_FAULT=spin it waits by polling; with
// keep it leaves its buffer and input mode behind. The driver must fail on both.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

void show(HANDLE screen, const std::string& line) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  GetConsoleScreenBufferInfo(screen, &info);
  DWORD done = 0;
  FillConsoleOutputCharacterW(screen, L' ', info.dwSize.X * info.dwSize.Y, {0, 0}, &done);
  WriteConsoleOutputCharacterA(screen, line.c_str(), static_cast<DWORD>(line.size()), {0, 0},
                               &done);
  SetConsoleCursorPosition(screen, {static_cast<SHORT>(line.size()), 0});
}

}  // namespace

int main() {
  const char* fault = std::getenv("VORMI_FIXTURE_FAULT");
  const bool spin = fault != nullptr && std::string(fault) == "spin";
  const bool keep = fault != nullptr && std::string(fault) == "keep";
  HANDLE input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  HANDLE found = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  DWORD mode = 0;
  GetConsoleMode(input, &mode);
  SetConsoleMode(input, ENABLE_WINDOW_INPUT);
  HANDLE screen = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            CONSOLE_TEXTMODE_BUFFER, nullptr);
  SetConsoleActiveScreenBuffer(screen);
  show(screen, "Press Any Key To Continue...");
  DWORD status = 0;
  while (status == 0) {
    if (spin) {
      // Polls with work in between, as a busy loop of a game would.
      [[maybe_unused]] volatile int work = 0;
      while (WaitForSingleObject(input, 0) != WAIT_OBJECT_0)
        for (int i = 0; i < 1000000; ++i) work = i;
    }
    INPUT_RECORD record{};
    DWORD got = 0;
    if (!ReadConsoleInputW(input, &record, 1, &got)) status = 3;
    if (record.EventType == WINDOW_BUFFER_SIZE_EVENT) {
      const COORD size = record.Event.WindowBufferSizeEvent.dwSize;
      const bool small = size.X < 80 || size.Y < 24;
      show(screen, small ? "Terminal " + std::to_string(size.X) + "x" + std::to_string(size.Y) +
                               ": vormi needs at least 80x24."
                         : "Exit");
    } else if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) {
      if (record.Event.KeyEvent.uChar.UnicodeChar == 3) status = 0xC000013A;
      show(screen, "Exit");
    }
  }
  if (!keep) {
    SetConsoleActiveScreenBuffer(found);
    SetConsoleMode(input, mode);
  }
  ExitProcess(status);
}
