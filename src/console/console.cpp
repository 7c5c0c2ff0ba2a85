// The console operations over the device: drawing into the screen's copy
// through the output translation, keys from one queue of decoded events, the
// millisecond clock and the waits. Nothing here spins: every wait blocks in
// device_wait.
//
// What is drawn collects in one buffer and goes to the terminal in one write
// just before the console waits, reads or the process exits: a frame (a step,
// a screen, a marker move) arrives whole, and nothing is held across a wait.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "console/console.h"
#include "console/console_input.h"
#include "console/console_random.h"
#include "console/device/device.h"
#include "console/keys/key_queue.h"
#include "console/keys/key_table.h"
#include "console/screen/output.h"
#include "console/screen/size_notice.h"

namespace vormi {

namespace {

constexpr int MIN_COLUMNS = 80;
constexpr int MIN_ROWS = 24;
constexpr int PRINT_CAPACITY = 2048;  // formatted bytes one print can show
constexpr int MOVE_ROOM = 32;         // the longest a clear or a move translates to
// Readable input that keeps giving no bytes means the terminal is gone; after
// this many empty reads in a row the program ends as after a hang-up.
constexpr int MAX_EMPTY_READS = 100;
constexpr int NOTICE_CAPACITY = 128;

struct ConsoleState {
  uint32_t origin;
  int pending_code;  // -1 when empty
  KeyQueue queue;
  int empty_reads;
  // The terminal was seen with nothing to read since the last wait; what
  // comes after that is found by the next wait, which returns for it at once.
  bool seen_empty;
};

ConsoleState state;
ScreenShadow shadow;
OutputBuffer output;  // drawn, not yet written
char formatted[PRINT_CAPACITY];

// The pending output, flushed first when size more bytes might not fit.
OutputBuffer& output_with_room(int size) {
  if (output.size + size > OUTPUT_CAPACITY) console_flush(output);
  return output;
}

// Events that are no key (a modifier on its own) are skipped by every reader
// that waits for a key, so a full queue drops them from its front rather than
// stop reading behind them.
void drop_leading_non_keys() {
  while (!device_keys_fit(state.queue) && state.queue.count > 0 &&
         !counts_as_key(queue_peek(state.queue, 0).press)) {
    queue_pop(state.queue);
  }
}

// Moves whatever the device has ready into the queue; it never waits.
// Returns how much was read.
//
// No read when the device was seen empty since the last wait, unless it holds
// the start of a sequence: its rest may have come since.
int pump_input() {
  const bool may_have_input = !state.seen_empty || device_keys_settle_in() >= 0;
  if (may_have_input) console_flush_pending();
  drop_leading_non_keys();
  if (!may_have_input) return 0;
  bool drained = false;
  const int total = device_pump_keys(state.queue, drained);
  if (drained) state.seen_empty = true;
  return total;
}

bool too_small(int columns, int rows) { return columns < MIN_COLUMNS || rows < MIN_ROWS; }

void show_size_notice() {
  char notice[NOTICE_CAPACITY];
  const int size =
      size_notice(device_columns(), device_rows(), MIN_COLUMNS, MIN_ROWS, notice, sizeof notice);
  device_show_notice(notice, size, output);
}

// While the terminal is too small for the layout, the notice stands in for
// the screen and the program holds here, as in a pause: its clock runs on but
// it neither steps nor takes keys (those typed meanwhile are dropped, so
// nothing is steered blind). The ending signals still end it at once, and so
// do Ctrl+C and Ctrl+Z as the keyboard protocol sends them.
void hold_while_too_small() {
  pump_input();  // keys typed before the change are kept
  // So is one still being told apart (an Esc typed just before): what was
  // typed before ends here, and nothing typed after can join it.
  device_settle_keys(&state.queue);
  show_size_notice();
  int empty_reads = 0;
  for (;;) {
    const bool readable = device_wait(-1, empty_reads < MAX_EMPTY_READS);
    if (readable) empty_reads = device_drop_keys() > 0 ? 0 : empty_reads + 1;
    const bool resumed = device_take_resumed();
    const bool resized = device_take_resized();
    if (!too_small(device_columns(), device_rows())) break;
    if (resumed || resized) show_size_notice();
  }
  device_drop_keys();
  // Nor is what was typed under the notice and not yet told apart a key.
  device_settle_keys(nullptr);
}

// After a stop and resume the terminal shows whatever the shell left there;
// after a change of size it shows the old picture cut off or wrapped. Either
// way the screen is drawn again whole from the copy, once the terminal is
// large enough for it.
void restore_screen() {
  const bool resumed = device_take_resumed();
  const bool resized = device_take_resized();
  if (!resumed && !resized) return;
  // The signal ended the wait, however long it had run (the process may have
  // been stopped past its time-out): the terminal was not seen empty, and
  // keys typed meanwhile are read, before the notice drops any.
  state.seen_empty = false;
  if (too_small(device_columns(), device_rows())) hold_while_too_small();
  shadow_resize(shadow, device_columns(), device_rows());
  device_repaint(shadow, output);
}

// The one place the console waits. A resume or a change of size ends the
// wait early and the screen is restored before the caller decides whether to
// wait again; one that came while the program was drawing ends this wait at
// once, so no repaint waits for a key.
bool wait_device(int timeout_ms, bool watch_input) {
  // The frame goes out first: a repaint below draws from the copy, which
  // already holds it, and a resume during the poll ends the poll at once.
  console_flush_pending();
  restore_screen();
  const uint32_t start = console_millis();
  const bool readable = device_wait(timeout_ms, watch_input);
  // A watched wait that ran its full time found nothing to read at its end;
  // one cut short (by a signal) or one of 0 ms proves nothing.
  const bool ran_out = timeout_ms > 0 && static_cast<int>(console_millis() - start) >= timeout_ms;
  state.seen_empty = watch_input && !readable && ran_out;
  restore_screen();  // after the judgement above, which a signal overrules
  return readable;
}

int min_timeout(int a, int b) {
  if (a < 0) return b;
  if (b < 0) return a;
  return a < b ? a : b;
}

// Waits for input or until what is half told settles. A device that keeps
// reporting input it does not give can no longer be read: the program ends as
// after a hang-up.
void wait_for_input(int timeout_ms) {
  const bool readable = wait_device(min_timeout(timeout_ms, device_keys_settle_in()), true);
  if (pump_input() > 0 || !readable) {
    state.empty_reads = 0;
    return;
  }
  if (++state.empty_reads >= MAX_EMPTY_READS) device_hang_up();
}

// Waits up to timeout_ms, ending early when input comes; no key is taken,
// but the bytes are read as they come: only then is an Esc told from a key
// typed after it by the silence between them, instead of both being read late
// as one Alt key. A full queue is not watched.
void wait_reading_input(int timeout_ms) {
  if (device_keys_fit(state.queue))
    wait_for_input(timeout_ms);
  else
    wait_device(timeout_ms, false);
}

bool any_key_queued() {
  for (int i = 0; i < state.queue.count; ++i) {
    const KeyEvent& event = queue_peek(state.queue, i);
    if (counts_as_key(event.press)) return true;
  }
  return false;
}

}  // namespace

void console_drop_pending_code() { state.pending_code = -1; }

ScreenShadow& console_shadow() { return shadow; }
OutputBuffer& console_output() { return output_with_room(OUTPUT_CAPACITY / 2); }

void console_flush(OutputBuffer& out) { device_send(shadow, out, false); }

void console_flush_pending() { device_send(shadow, output, true); }

namespace {

// The last frame goes out on the way out, given up as a signal's bytes are
// when the terminal takes no more output.
void flush_at_exit() {
  device_ending();
  console_flush_pending();
}

}  // namespace

bool console_start(char* why, int why_size) {
  if (!device_open(why, why_size > 0 ? static_cast<size_t>(why_size) : 0)) return false;
  const int columns = device_columns();
  const int rows = device_rows();
  if (too_small(columns, rows)) {
    device_close();
    std::snprintf(why, why_size > 0 ? static_cast<size_t>(why_size) : 0,
                  "the terminal has %d columns and %d rows; at least %d by %d are needed", columns,
                  rows, MIN_COLUMNS, MIN_ROWS);
    return false;
  }
  state.origin = device_millis();
  state.pending_code = -1;
  queue_reset(state.queue);
  state.empty_reads = 0;
  state.seen_empty = false;
  // The alternate screen starts blank, as the copy does.
  shadow_reset(shadow, columns, rows, device_utf8());
  output_clear(output);
  // What the last frame drew goes out on every normal exit (std::exit too),
  // before the device puts the terminal back: registered after it, run before.
  static bool flush_registered = false;
  if (!flush_registered) flush_registered = std::atexit(flush_at_exit) == 0;
  device_start_screen();
  seed_game_random(1);
  return true;
}

void console_end_saying(const char* message) {
  console_print("%s", message);
  device_ending();
  console_flush_pending();
  // Leaving the alternate screen takes what it showed with it.
  device_close();
  std::fprintf(stderr, "%s\n", message);
}

void console_clear() {
  device_begin_whole_frame(output_with_room(MOVE_ROOM));
  translate_clear(shadow, output_with_room(MOVE_ROOM));
}

void console_goto(int x, int y) { translate_goto(shadow, x, y, output_with_room(MOVE_ROOM)); }

int console_print(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const int result = std::vsnprintf(formatted, sizeof formatted, format, arguments);
  va_end(arguments);
  if (result <= 0) return result;
  // Text beyond the buffer is cut off; vsnprintf still reports its full length.
  const int size = result < PRINT_CAPACITY ? result : PRINT_CAPACITY - 1;
  translate_text(shadow, formatted, size, output_with_room(size * OUTPUT_PER_BYTE));
  return result;
}

bool console_key_ready() {
  if (state.pending_code >= 0) return true;
  pump_input();
  return any_key_queued();
}

void console_next_event(KeyEvent& event) {
  for (;;) {
    pump_input();
    if (state.queue.count > 0) {
      event = queue_pop(state.queue);
      return;
    }
    wait_for_input(-1);
  }
}

int console_read_key() {
  if (state.pending_code >= 0) {
    const int code = state.pending_code;
    state.pending_code = -1;
    return code;
  }
  for (;;) {
    KeyEvent event;
    console_next_event(event);
    const KeyCodes codes = read_codes(event.press);
    if (codes.count == 0) continue;
    if (codes.count == 2) state.pending_code = codes.second;
    return codes.first;
  }
}

int console_wait_key() {
  while (!console_key_ready()) wait_for_input(-1);
  return console_read_key();
}

bool console_key_unresolved() {
  pump_input();
  return device_key_unresolved();
}

uint32_t console_millis() { return device_millis() - state.origin; }

// Milliseconds from now to deadline, negative once it has passed; the
// unsigned difference wraps with the clock.
int millis_until(int deadline) {
  return static_cast<int>(static_cast<uint32_t>(deadline) - console_millis());
}

bool console_deadline_reached(int deadline) { return millis_until(deadline) <= 0; }

void console_wait_until(int deadline, bool watch_keys) {
  for (;;) {
    if (watch_keys && console_key_ready()) return;
    const int left = millis_until(deadline);
    // A watched Esc byte is waited out past the deadline: the reader holds
    // back until it knows whether the Esc key was pressed.
    const bool unresolved = watch_keys && device_key_unresolved();
    if (left <= 0 && !unresolved) return;
    if (watch_keys)
      wait_for_input(left > 0 ? left : -1);
    else
      wait_reading_input(left);
  }
}

void console_wait_past_second(int32_t second) {
  for (;;) {
    const int64_t now = device_calendar_ms();
    // A clock set back also ends the wait, since the second differs.
    if (calendar_second_at(now) != second) return;
    // To the next second; the remainder of a reading before 1970 is negative.
    wait_reading_input(static_cast<int>(1000 - (now % 1000 + 1000) % 1000));
  }
}

}  // namespace vormi
