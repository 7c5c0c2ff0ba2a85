// The fake terminal device: the functions of terminal_device.h over a script
// of input bytes and a virtual clock that only moves when the code waits.
#include "fake/fake_terminal.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <utility>
#include <vector>

#include "console/console.h"
#include "console/console_input.h"
#include "console/device/device.h"
#include "console/device/terminal_device.h"

namespace vormi::fake {

namespace {

struct Input {
  uint32_t at_ms;
  std::string bytes;
};

struct Resize {
  uint32_t at_ms;
  int columns;
  int rows;
};

struct Fake {
  int columns = 80;
  int rows = 25;
  bool utf8 = true;
  uint32_t clock = 0;
  int64_t calendar_base_ms = 0;  // the calendar reads base + clock
  std::vector<Input> script;     // in order of time
  std::deque<int64_t> calendar_readings;
  std::function<void()> wait_hook;
  bool resumed = false;
  std::vector<Resize> resizes;  // in order of time
  bool resized = false;
  bool shot_after_pending = false;
  std::vector<ResizeSeen> seen;
  std::unique_ptr<test::Screen> screen;
  std::string output;
  std::vector<Frame> frames;
  Frame frame;  // written since the last wait
  test::TerminalAnswers answers = test::TerminalAnswers::ATTRIBUTES_ONLY;
  std::vector<int> signals;
  std::string modes_off;
  std::string startup_output;
  bool answer_owed = false;
  uint32_t answer_due = 0;
};

Fake& the_fake() {
  static Fake instance;
  return instance;
}

// Bytes readable at the current virtual time.
bool input_ready() {
  const Fake& f = the_fake();
  return !f.script.empty() && f.script.front().at_ms <= f.clock;
}

Shot shot_now() {
  const test::Screen& s = screen();
  return Shot{the_fake().clock, s.text(), s.cursor_x(), s.cursor_y()};
}

bool resize_due() {
  const Fake& f = the_fake();
  return !f.resizes.empty() && f.resizes.front().at_ms <= f.clock;
}

void apply_resize() {
  Fake& f = the_fake();
  const Resize change = f.resizes.front();
  f.resizes.erase(f.resizes.begin());
  f.seen.push_back(ResizeSeen{shot_now(), Shot{}});
  f.shot_after_pending = true;
  f.columns = change.columns;
  f.rows = change.rows;
  screen().resize(change.columns, change.rows);
  f.resized = true;
}

}  // namespace

static void reset_terminal(int columns, int rows, bool utf8, int64_t calendar_seconds,
                           test::TerminalAnswers answers);

void reset(int columns, int rows, bool utf8, int64_t calendar_seconds) {
  reset_terminal(columns, rows, utf8, calendar_seconds, test::TerminalAnswers::ATTRIBUTES_ONLY);
}

void reset_answering(test::TerminalAnswers answers) {
  reset_terminal(80, 25, true, 1700000000, answers);
}

const std::vector<int>& signals_for_keys() { return the_fake().signals; }

const std::string& screen_modes_off() { return the_fake().modes_off; }

const std::string& startup_output() { return the_fake().startup_output; }

static void reset_terminal(int columns, int rows, bool utf8, int64_t calendar_seconds,
                           test::TerminalAnswers answers) {
  Fake& f = the_fake();
  f.answers = answers;
  f.signals.clear();
  f.modes_off.clear();
  f.columns = columns;
  f.rows = rows;
  f.utf8 = utf8;
  f.clock = 0;
  f.calendar_base_ms = calendar_seconds * 1000;
  f.script.clear();
  f.calendar_readings.clear();
  f.wait_hook = nullptr;
  f.resumed = false;
  f.resizes.clear();
  f.resized = false;
  f.shot_after_pending = false;
  f.seen.clear();
  f.screen = std::make_unique<test::Screen>(columns, rows);
  f.output.clear();
  f.frames.clear();
  f.frame = Frame{};
  f.answer_owed = false;
  console_start(nullptr, 0);
  // The start-up's query is no part of the frames the tests count.
  f.startup_output = f.output;
  f.output.clear();
  f.frames.clear();
  f.frame = Frame{};
}

void type_at(uint32_t at_ms, const std::string& bytes) {
  Fake& f = the_fake();
  if (bytes.empty()) return;
  if (at_ms < f.clock) at_ms = f.clock;
  auto place = f.script.begin();
  while (place != f.script.end() && place->at_ms <= at_ms) ++place;
  f.script.insert(place, Input{at_ms, bytes});
}

void type(const std::string& bytes) { type_at(the_fake().clock, bytes); }

uint32_t now() { return the_fake().clock; }

void advance(uint32_t ms) { the_fake().clock += ms; }

void set_calendar(int64_t seconds) {
  Fake& f = the_fake();
  f.calendar_base_ms = seconds * 1000 - static_cast<int64_t>(f.clock);
}

void script_calendar(const std::vector<int64_t>& readings_ms) {
  the_fake().calendar_readings.assign(readings_ms.begin(), readings_ms.end());
}

void on_wait(std::function<void()> hook) { the_fake().wait_hook = std::move(hook); }

bool input_drained() { return the_fake().script.empty(); }

void simulate_resume() { the_fake().resumed = true; }

void resize_at(uint32_t at_ms, int columns, int rows) {
  Fake& f = the_fake();
  if (at_ms < f.clock) at_ms = f.clock;
  auto place = f.resizes.begin();
  while (place != f.resizes.end() && place->at_ms <= at_ms) ++place;
  f.resizes.insert(place, Resize{at_ms, columns, rows});
}

void resize(int columns, int rows) { resize_at(the_fake().clock, columns, rows); }

const std::vector<ResizeSeen>& resizes_seen() { return the_fake().seen; }

// What the test looks at is what the program shows once it next waits: the
// output it has drawn but not yet written goes out first.
test::Screen& screen() {
  console_flush_pending();
  Fake& f = the_fake();
  if (!f.screen) f.screen = std::make_unique<test::Screen>(f.columns, f.rows);
  return *f.screen;
}

const std::string& output() {
  console_flush_pending();
  return the_fake().output;
}

void clear_output() {
  console_flush_pending();
  the_fake().output.clear();
}

const std::vector<Frame>& frames() { return the_fake().frames; }

}  // namespace vormi::fake

namespace vormi {

using fake::the_fake;

bool device_open(char* why, size_t why_size) {
  if (why_size > 0) why[0] = '\0';
  return true;
}

void device_close() {}

// An answer is owed on the virtual clock, as on the real terminal's.
void terminal_expect_answer(int within_ms) {
  the_fake().answer_due = the_fake().clock + static_cast<uint32_t>(within_ms);
  the_fake().answer_owed = true;
}
void terminal_answer_came() { the_fake().answer_owed = false; }
bool terminal_answer_owed() {
  const fake::Fake& f = the_fake();
  return f.answer_owed && static_cast<int32_t>(f.answer_due - f.clock) > 0;
}
void device_ending() {}
// The fake terminal never stops giving what it says it has.
void device_hang_up() { throw std::runtime_error("the terminal hung up"); }

int device_columns() { return the_fake().columns; }
int device_rows() { return the_fake().rows; }
bool device_utf8() { return the_fake().utf8; }

void terminal_write(const char* data, size_t size) {
  fake::Fake& f = the_fake();
  f.output.append(data, size);
  ++f.frame.writes;
  f.frame.bytes.append(data, size);
  if (!f.screen) f.screen = std::make_unique<test::Screen>(f.columns, f.rows);
  f.screen->feed(data, size);
  // The terminal answers the start-up query as soon as it has read it.
  if (std::string(data, size).find(test::ATTRIBUTES_QUERY) != std::string::npos)
    fake::type(test::replies_of(f.answers));
}

void terminal_switch_screen_modes(const char* now, const char*, const char* off) {
  // As on the real terminal, nothing to switch now is no write.
  if (now[0] != '\0') terminal_write(now, std::strlen(now));
  the_fake().modes_off = off;
}

bool terminal_raise_for_key(int character) {
  const bool raises = character == 3 || character == 26;
  if (raises) the_fake().signals.push_back(character);
  return raises;
}

size_t terminal_read(char* buffer, size_t capacity) {
  fake::Fake& f = the_fake();
  size_t size = 0;
  while (size < capacity && fake::input_ready()) {
    std::string& bytes = f.script.front().bytes;
    const size_t take = std::min(capacity - size, bytes.size());
    std::memcpy(buffer + size, bytes.data(), take);
    size += take;
    bytes.erase(0, take);
    if (bytes.empty()) f.script.erase(f.script.begin());
  }
  return size;
}

bool device_wait(int timeout_ms, bool watch_input) {
  fake::Fake& f = the_fake();
  f.frame.waited_at = f.clock;
  f.frames.push_back(f.frame);
  f.frame = fake::Frame{};
  if (f.wait_hook) f.wait_hook();
  if (f.shot_after_pending) {
    f.seen.back().after = fake::shot_now();
    f.shot_after_pending = false;
  }
  // A resume or a change of size interrupts the wait, as a signal interrupts
  // the real device's poll.
  if (f.resumed || f.resized) return false;
  if (fake::resize_due()) {
    fake::apply_resize();
    return false;
  }
  if (watch_input && fake::input_ready()) return true;
  // The earliest of the next input, the next change of size and the time-out.
  const bool input_coming = watch_input && !f.script.empty();
  const bool resize_coming = !f.resizes.empty();
  if (timeout_ms < 0 && !input_coming && !resize_coming) throw fake::InputExhausted();
  uint32_t wake = timeout_ms < 0 ? UINT32_MAX : f.clock + static_cast<uint32_t>(timeout_ms);
  if (input_coming) wake = std::min(wake, f.script.front().at_ms);
  if (resize_coming) wake = std::min(wake, f.resizes.front().at_ms);
  f.clock = wake;
  if (fake::resize_due()) {
    fake::apply_resize();
    return false;
  }
  return watch_input && fake::input_ready();
}

uint32_t device_millis() { return the_fake().clock; }

int64_t device_calendar_ms() {
  fake::Fake& f = the_fake();
  if (!f.calendar_readings.empty()) {
    f.calendar_base_ms = f.calendar_readings.front() - static_cast<int64_t>(f.clock);
    f.calendar_readings.pop_front();
  }
  return f.calendar_base_ms + static_cast<int64_t>(f.clock);
}

bool device_take_resumed() {
  fake::Fake& f = the_fake();
  const bool resumed = f.resumed;
  f.resumed = false;
  return resumed;
}

bool device_take_resized() {
  fake::Fake& f = the_fake();
  const bool resized = f.resized;
  f.resized = false;
  return resized;
}

}  // namespace vormi
