// The fake terminal device for tests: input bytes scripted at virtual times, a
// virtual clock that jumps forward when the code waits, a calendar clock that
// runs with it, and the output fed into a libvterm screen.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/screen.h"
#include "support/terminal_answers.h"

namespace vormi::fake {

// Thrown when the code waits for input with no time-out and none is scripted:
// the script is over. Tests catch it to stop a screen that waits for ever.
struct InputExhausted : std::runtime_error {
  InputExhausted() : std::runtime_error("the scripted input is exhausted") {}
};

// A fresh terminal of columns x rows (utf8: the locale's character set), the
// virtual clock at 0, the calendar at calendar_seconds, no input scripted; then
// console_start runs again, so every test starts from a fresh console.
void reset(int columns = 80, int rows = 25, bool utf8 = true,
           int64_t calendar_seconds = 1700000000);
// As reset(), on a terminal that answers the console's start-up query as
// answers says, as soon as it has read it (reset's terminal gives only its
// attributes); the console reads the answer with the keys.
void reset_answering(test::TerminalAnswers answers);

// The keys a signal was raised for (3 for Ctrl+C, 26 for Ctrl+Z; SIGINT and
// SIGTSTP on POSIX), in order; the fake raises none, it only counts them.
const std::vector<int>& signals_for_keys();
// What the console asked the device to write before the terminal's modes go
// back, on every way out and before a stop.
const std::string& screen_modes_off();

// Scripts bytes that become readable at virtual time at_ms (now when earlier).
void type_at(uint32_t at_ms, const std::string& bytes);
// Scripts bytes readable now.
void type(const std::string& bytes);

// The virtual clock, in milliseconds since reset.
uint32_t now();
// Moves the virtual clock forward.
void advance(uint32_t ms);
// Sets the calendar so that it reads seconds now (and runs on with the clock).
void set_calendar(int64_t seconds);

// Scripts the next calendar readings, in milliseconds since 1970, one value
// per reading: a second can turn between two readings made at one virtual
// time. After the last the calendar runs on from it with the clock.
void script_calendar(const std::vector<int64_t>& readings_ms);

// Calls hook each time the code is about to wait on the device, so a test can
// look at the screen and type what a player would; an empty hook removes it.
void on_wait(std::function<void()> hook);

// Whether every scripted byte has been read.
bool input_drained();
// Makes device_take_resumed report a resume once, as after Ctrl+Z and fg.
void simulate_resume();

// Scripts a change of the terminal's size at virtual time at_ms (now when
// earlier): the screen takes the new size as a terminal emulator would, and
// the wait under way ends with device_take_resized reporting it, as SIGWINCH
// does on the real device.
void resize_at(uint32_t at_ms, int columns, int rows);
// A change of size now.
void resize(int columns, int rows);

// The screen as the terminal showed it at one moment.
struct Shot {
  uint32_t at_ms;
  std::string text;
  int cursor_x;
  int cursor_y;
};
// For each change of size delivered: the screen just before it, and the
// screen when the program next waited (after it had answered the change).
struct ResizeSeen {
  Shot before;
  Shot after;
};
const std::vector<ResizeSeen>& resizes_seen();

// The screen as the terminal shows it. This, output and clear_output first
// write out what the console has drawn and not yet written, as its next wait would.
test::Screen& screen();
// What console_start wrote during reset (the start-up's query).
const std::string& startup_output();
// Bytes written to the terminal since reset (after the start-up) or the last
// clear_output.
const std::string& output();
void clear_output();

// What reached the terminal between two waits: the writes and their bytes.
struct Frame {
  int writes = 0;
  std::string bytes;
  uint32_t waited_at = 0;  // the virtual time of the wait it came before
};
// One frame for each wait since reset (after the start-up), in order: what
// came before that wait.
const std::vector<Frame>& frames();

}  // namespace vormi::fake
