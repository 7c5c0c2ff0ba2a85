// The console operations over the terminal device: drawing through the output
// translation, keys through the decoder and one queue of decoded events, the
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
#include "console/device/terminal_device.h"
#include "console/keys/key_decoder.h"
#include "console/keys/key_queue.h"
#include "console/keys/key_table.h"
#include "console/screen/output.h"
#include "console/screen/size_notice.h"

namespace vormi {

namespace {

constexpr int MIN_COLUMNS = 80;
constexpr int MIN_ROWS = 24;
constexpr int PRINT_CAPACITY = 2048;  // formatted bytes one print can show
constexpr int READ_CHUNK = 64;
constexpr int MOVE_ROOM = 32;  // the longest a clear or a move translates to
// Readable input that keeps giving no bytes means the terminal is gone; after
// this many empty reads in a row the program ends as after a hang-up.
constexpr int MAX_EMPTY_READS = 100;
constexpr int NOTICE_CAPACITY = 128;

// What the console says to the terminal beyond drawing. The game draws on
// the alternate screen, so the shell's screen and scrollback stay as they
// were; with the keyboard enhancement protocol, flag 1 ("disambiguate escape
// codes") makes Esc and the Alt and Ctrl keys arrive as unambiguous
// sequences (pushed on the alternate screen's own stack, popped before
// leaving it).
constexpr char SCREEN_ON[] = "\x1b[?1049h";
constexpr char SCREEN_OFF[] = "\x1b[?1049l";
constexpr char SCREEN_ON_WITH_KEYBOARD[] = "\x1b[?1049h\x1b[>1u";
constexpr char SCREEN_OFF_WITH_KEYBOARD[] = "\x1b[<u\x1b[?1049l";
// Where the terminal knows mode 2026, the modes go off with a frame's end, so
// a frame cut off by a signal or a stop never leaves the screen frozen.
constexpr char SYNC_SCREEN_OFF[] = "\x1b[?2026l\x1b[?1049l";
constexpr char SYNC_SCREEN_OFF_WITH_KEYBOARD[] = "\x1b[?2026l\x1b[<u\x1b[?1049l";
constexpr char KEYBOARD_PUSH[] = "\x1b[>1u";
// The alternate screen entered and, in the same write, the terminal asked for
// the keyboard enhancement flags, mode 2026 (synchronized output), then the
// primary device attributes, which every terminal answers, and answers last.
constexpr char SCREEN_ON_AND_QUERY[] = "\x1b[?1049h\x1b[?u\x1b[?2026$p\x1b[c";
// How long start-up waits for the attributes, paid in full only on a terminal
// that answers nothing: a round trip, even over a slow link, takes less.
constexpr int TERMINAL_ANSWER_WAIT_MS = 200;
// A terminal that has not answered by then (a very slow link, or one that
// answers nothing) is no longer waited for: until then an answer that comes
// late is read and dropped before the terminal is given back, and no part of
// it is taken for a key.
constexpr int TERMINAL_ANSWER_DUE_MS = 1000;
// Around a frame that draws the screen whole, where the terminal knows mode
// 2026: it shows the frame at once, never half drawn.
constexpr char FRAME_BEGIN[] = "\x1b[?2026h";
constexpr char FRAME_END[] = "\x1b[?2026l";

struct ConsoleState {
  uint32_t origin;
  int pending_code;  // -1 when empty
  KeyDecoder decoder;
  KeyQueue queue;
  int empty_reads;
  // The terminal was seen with nothing to read since the last wait; what
  // comes after that is found by the next wait, which returns for it at once.
  bool seen_empty;
  bool sync_output;  // the terminal knows mode 2026
  bool frame_open;   // a whole-screen frame has begun and not yet gone out
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

// The terminal signals for Ctrl+C and Ctrl+Z only when they come as their
// bytes; in the keyboard enhancement protocol they come as sequences, and the
// console raises the signal itself.
bool raises_signal(const KeyEvent& event) {
  return event.text[0] == '\0' && event.press.key != 0 && device_raise_for_key(event.press.typed);
}

// Reads stop while the queue lacks room for what they could make, so no
// event pushed here is refused.
void push_events(const KeyEvent* events, int count) {
  for (int i = 0; i < count; ++i)
    if (!raises_signal(events[i])) queue_push(state.queue, events[i]);
}

// Whether the queue can take every event one more read could make (one per
// byte read, plus what the decoder already holds). When it cannot, the bytes
// stay in the terminal until keys have been taken: a paste longer than the
// queue keeps its start and its order, as a keyboard buffer does.
bool queue_has_room() { return queue_room(state.queue) >= READ_CHUNK + DECODER_BUFFER; }

// Events that are no key (a modifier on its own) are skipped by every reader
// that waits for a key, so a full queue drops them from its front rather than
// stop reading behind them.
void drop_leading_non_keys() {
  while (!queue_has_room() && state.queue.count > 0 &&
         !counts_as_key(queue_peek(state.queue, 0).press)) {
    queue_pop(state.queue);
  }
}

// Resolves a sequence (or lone Esc) that has waited long enough.
void flush_decoder(uint32_t now) {
  KeyEvent events[DECODER_MAX_EVENTS];
  push_events(events, decoder_flush(state.decoder, now, device_answer_owed(), events));
}

// Once the query's last reply has been read, the device need not wait for it.
void note_answer() {
  if ((state.decoder.reports & REPORT_ATTRIBUTES) != 0) device_answer_came();
}

// Moves whatever the terminal has ready through the decoder into the queue;
// it never waits. Bytes waiting in the terminal are read before the decoder is
// flushed: the rest of a sequence may be among them, however long the game
// was busy since its first part was read. Returns how many bytes were read.
//
// No read when the terminal was seen empty since the last wait, unless the
// decoder holds the start of a sequence: its rest may have come since.
int pump_input() {
  int total = 0;
  const bool may_have_input = !state.seen_empty || decoder_flush_in(state.decoder, console_millis(),
                                                                    device_answer_owed()) >= 0;
  if (may_have_input) console_flush_pending();
  drop_leading_non_keys();
  while (may_have_input && queue_has_room()) {
    char bytes[READ_CHUNK];
    const size_t size = device_read(bytes, sizeof bytes);
    // A short read took everything the terminal had.
    if (size < sizeof bytes) state.seen_empty = true;
    if (size == 0) break;
    const uint32_t now = console_millis();
    for (size_t i = 0; i < size; ++i) {
      KeyEvent events[DECODER_MAX_EVENTS];
      push_events(events,
                  decoder_feed(state.decoder, static_cast<unsigned char>(bytes[i]), now, events));
    }
    total += static_cast<int>(size);
    if (size < sizeof bytes) break;
  }
  flush_decoder(console_millis());
  note_answer();
  return total;
}

// Opens a frame that draws the screen whole; it closes when the output next
// goes out before a wait, a read or the end.
void begin_whole_frame() {
  if (!state.sync_output || state.frame_open) return;
  output_append(output_with_room(length_of(FRAME_BEGIN)), FRAME_BEGIN);
  state.frame_open = true;
}

// Starts a whole-screen frame in place of whatever was pending: the copy
// already holds that.
void restart_output() {
  output_clear(output);
  state.frame_open = false;
  begin_whole_frame();
}

void repaint_screen() {
  restart_output();
  output_append(output, "\x1b[2J");
  for (int y = 1; y <= shadow.rows; ++y) {
    // Flush before a row could overflow the buffer.
    if (output.size > OUTPUT_CAPACITY / 2) console_flush(output);
    repaint_row(shadow, y, output);
  }
  repaint_cursor(shadow, output);
  console_flush_pending();
}

bool too_small(int columns, int rows) { return columns < MIN_COLUMNS || rows < MIN_ROWS; }

void show_size_notice() {
  char notice[NOTICE_CAPACITY];
  const int size =
      size_notice(device_columns(), device_rows(), MIN_COLUMNS, MIN_ROWS, notice, sizeof notice);
  restart_output();
  output_append(output, "\x1b[2J\x1b[H");
  output_append(output, notice, size);
  console_flush_pending();
}

// Reads whatever the terminal has and drops the keys, but for the protocol's
// Ctrl+C and Ctrl+Z, which still raise their signals; returns how many bytes
// went.
int drop_keys() {
  int total = 0;
  char bytes[READ_CHUNK];
  for (size_t size; (size = device_read(bytes, sizeof bytes)) > 0;) {
    total += static_cast<int>(size);
    const uint32_t now = console_millis();
    for (size_t i = 0; i < size; ++i) {
      KeyEvent events[DECODER_MAX_EVENTS];
      const int count =
          decoder_feed(state.decoder, static_cast<unsigned char>(bytes[i]), now, events);
      for (int e = 0; e < count; ++e) raises_signal(events[e]);
    }
  }
  note_answer();
  return total;
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
  KeyEvent events[DECODER_MAX_EVENTS];
  push_events(events, decoder_finish(state.decoder, events));
  show_size_notice();
  int empty_reads = 0;
  for (;;) {
    const bool readable = device_wait(-1, empty_reads < MAX_EMPTY_READS);
    if (readable) empty_reads = drop_keys() > 0 ? 0 : empty_reads + 1;
    const bool resumed = device_take_resumed();
    const bool resized = device_take_resized();
    if (!too_small(device_columns(), device_rows())) break;
    if (resumed || resized) show_size_notice();
  }
  drop_keys();
  // Nor is what was typed under the notice and not yet told apart a key.
  decoder_finish(state.decoder, events);
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
  repaint_screen();
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

// Waits for input or the decoder's time-out. A terminal that keeps reporting
// input it does not give can no longer be read: the program ends as after a
// hang-up. Never false.
bool wait_for_input(int timeout_ms) {
  const int flush_in = decoder_flush_in(state.decoder, console_millis(), device_answer_owed());
  const bool readable = wait_device(min_timeout(timeout_ms, flush_in), true);
  if (pump_input() > 0 || !readable) {
    state.empty_reads = 0;
    return true;
  }
  if (++state.empty_reads >= MAX_EMPTY_READS) device_hang_up();
  return true;
}

// Waits up to timeout_ms, ending early when input comes; no key is taken,
// but the bytes are read as they come: only then is an Esc told from a key
// typed after it by the silence between them, instead of both being read late
// as one Alt key. A full queue, or a terminal that keeps reporting input it
// does not give, is not watched.
void wait_reading_input(int timeout_ms) {
  if (!queue_has_room() || !wait_for_input(timeout_ms)) wait_device(timeout_ms, false);
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

void console_flush(OutputBuffer& out) {
  if (out.size > 0) device_write(out.data, static_cast<size_t>(out.size));
  output_clear(out);
}

void console_flush_pending() {
  if (state.frame_open) {
    output_append(output_with_room(length_of(FRAME_END)), FRAME_END);
    state.frame_open = false;
  }
  console_flush(output);
}

namespace {

// Waits for the answers to the start-up query: until the attributes, its last
// reply, have come, or TERMINAL_ANSWER_WAIT_MS. Keys typed meanwhile stay
// queued; the replies are reports, never keys. Returns the REPORT_* bits of
// the replies.
int ask_terminal() {
  const uint32_t asked = console_millis();
  for (;;) {
    pump_input();
    if ((state.decoder.reports & REPORT_ATTRIBUTES) != 0) break;
    const int left = TERMINAL_ANSWER_WAIT_MS - static_cast<int>(console_millis() - asked);
    if (left <= 0) break;
    device_wait(left, true);
    state.seen_empty = false;  // the next pump reads what the wait found
  }
  // Nor is the terminal known empty for the reads before the game's first wait.
  state.seen_empty = false;
  return state.decoder.reports;
}

// The last frame goes out on the way out, given up as a signal's bytes are
// when the terminal takes no more output.
void flush_at_exit() {
  device_ending();
  console_flush_pending();
}

// Enters the alternate screen, asks the terminal, and turns on what it has.
void start_screen() {
  device_expect_answer(TERMINAL_ANSWER_DUE_MS);
  device_switch_screen_modes(SCREEN_ON_AND_QUERY, SCREEN_ON, SCREEN_OFF);
  const int reports = ask_terminal();
  state.sync_output = (reports & REPORT_SYNC_OUTPUT) != 0;
  const bool keyboard = (reports & REPORT_KEYBOARD_FLAGS) != 0;
  if (!keyboard && !state.sync_output) return;
  const char* off = keyboard ? SCREEN_OFF_WITH_KEYBOARD : SCREEN_OFF;
  if (state.sync_output) off = keyboard ? SYNC_SCREEN_OFF_WITH_KEYBOARD : SYNC_SCREEN_OFF;
  device_switch_screen_modes(keyboard ? KEYBOARD_PUSH : "",
                             keyboard ? SCREEN_ON_WITH_KEYBOARD : SCREEN_ON, off);
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
  decoder_reset(state.decoder);
  state.sync_output = false;
  state.frame_open = false;
  // The alternate screen starts blank, as the copy does.
  shadow_reset(shadow, columns, rows, device_utf8());
  output_clear(output);
  // What the last frame drew goes out on every normal exit (std::exit too),
  // before the device puts the terminal back: registered after it, run before.
  static bool flush_registered = false;
  if (!flush_registered) flush_registered = std::atexit(flush_at_exit) == 0;
  start_screen();
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
  begin_whole_frame();
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

bool console_next_event(KeyEvent& event) {
  for (;;) {
    pump_input();
    if (state.queue.count > 0) {
      event = queue_pop(state.queue);
      return true;
    }
    if (!wait_for_input(-1)) return false;
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
    if (!console_next_event(event)) return -1;
    const KeyCodes codes = read_codes(event.press);
    if (codes.count == 0) continue;
    if (codes.count == 2) state.pending_code = codes.second;
    return codes.first;
  }
}

int console_wait_key() {
  while (!console_key_ready())
    if (!wait_for_input(-1)) return -1;
  return console_read_key();
}

bool console_key_unresolved() {
  pump_input();
  return decoder_lone_escape(state.decoder);
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
    const bool unresolved = watch_keys && decoder_lone_escape(state.decoder);
    if (left <= 0 && !unresolved) return;
    if (watch_keys) {
      if (!wait_for_input(left > 0 ? left : -1)) return;
    } else {
      wait_reading_input(left);
    }
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
