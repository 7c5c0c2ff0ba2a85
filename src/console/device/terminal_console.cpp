// The device's screen and keys on a terminal that speaks in bytes: frames go
// out as the bytes the output translation made (wrapped as one frame where the
// terminal knows synchronized output), repaints and notices as the bytes that
// clear and draw, and the terminal's bytes come in through the key decoder.
// At start-up the terminal is asked what it can do; nothing waits for the
// answers. They are read with the keys whenever they come, taken as reports,
// never keys, and what they say the terminal has is turned on from then on.
#include "console/device/device.h"
#include "console/device/terminal_device.h"
#include "console/keys/key_decoder.h"

namespace vormi {

namespace {

constexpr int READ_CHUNK = 64;

// What the device says to the terminal beyond drawing. The game draws on
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
// How long the answer is owed: until then an answer not yet read when the
// terminal is given back is read and dropped first, and an ESC that may begin
// it waits as a begun sequence does. A terminal that has not answered by then
// (a very slow link, or one that answers nothing) is no longer waited for.
constexpr int TERMINAL_ANSWER_DUE_MS = 1000;
// Around a frame that draws the screen whole, where the terminal knows mode
// 2026: it shows the frame at once, never half drawn.
constexpr char FRAME_BEGIN[] = "\x1b[?2026h";
constexpr char FRAME_END[] = "\x1b[?2026l";
constexpr char CLEAR_SCREEN[] = "\x1b[2J";
constexpr char CLEAR_SCREEN_HOME[] = "\x1b[2J\x1b[H";

struct TerminalScreenKeys {
  KeyDecoder decoder;
  bool keyboard_protocol;  // flag 1 of the keyboard enhancement protocol is pushed
  bool sync_output;        // the terminal knows mode 2026
  bool frame_open;         // a whole-screen frame has begun and not yet gone out
};

TerminalScreenKeys terminal;

void write_out(OutputBuffer& out) {
  if (out.size > 0) terminal_write(out.data, static_cast<size_t>(out.size));
  output_clear(out);
}

// Appends bytes, writing what is there first when they would not fit.
template <int N>
void append_with_room(OutputBuffer& out, const char (&bytes)[N]) {
  if (out.size + N - 1 > OUTPUT_CAPACITY) write_out(out);
  output_append(out, bytes);
}

// Writes out; frame_ends: nothing more of the frame follows, so a whole frame
// begun ends here.
void send_frame(OutputBuffer& out, bool frame_ends) {
  if (frame_ends && terminal.frame_open) {
    append_with_room(out, FRAME_END);
    terminal.frame_open = false;
  }
  write_out(out);
}

// A whole-screen frame in place of whatever was pending: the copy already
// holds that.
void restart_frame(OutputBuffer& out) {
  output_clear(out);
  terminal.frame_open = false;
  device_begin_whole_frame(out);
}

// The terminal signals for Ctrl+C and Ctrl+Z only when they come as their
// bytes; in the keyboard enhancement protocol they come as sequences, and the
// device raises the signal itself.
bool raises_signal(const KeyEvent& event) {
  return event.text[0] == '\0' && event.press.key != 0 && terminal_raise_for_key(event.press.typed);
}

// Reads stop while the queue lacks room for what they could make, so no
// event pushed here is refused.
void push_events(KeyQueue* queue, const KeyEvent* events, int count) {
  for (int i = 0; i < count; ++i)
    if (!raises_signal(events[i]) && queue != nullptr) queue_push(*queue, events[i]);
}

void feed(KeyQueue* queue, const char* bytes, size_t size) {
  const uint32_t now = device_millis();
  for (size_t i = 0; i < size; ++i) {
    KeyEvent events[DECODER_MAX_EVENTS];
    push_events(queue, events,
                decoder_feed(terminal.decoder, static_cast<unsigned char>(bytes[i]), now, events));
  }
}

// What the replies read so far say the terminal has is turned on, each once,
// between two reads: keys typed before the keyboard protocol went on came as
// plain bytes, those after as its sequences, and the decoder takes both. Once
// the query's last reply has been read, the terminal need not wait for it.
void take_answers() {
  const int reports = terminal.decoder.reports;
  if ((reports & REPORT_ATTRIBUTES) != 0) terminal_answer_came();
  const bool keyboard = (reports & REPORT_KEYBOARD_FLAGS) != 0;
  const bool sync = (reports & REPORT_SYNC_OUTPUT) != 0;
  if (keyboard == terminal.keyboard_protocol && sync == terminal.sync_output) return;
  const bool push = keyboard && !terminal.keyboard_protocol;
  terminal.keyboard_protocol = keyboard;
  // Whole frames are wrapped from the next one begun.
  terminal.sync_output = sync;
  const char* off = keyboard ? SCREEN_OFF_WITH_KEYBOARD : SCREEN_OFF;
  if (sync) off = keyboard ? SYNC_SCREEN_OFF_WITH_KEYBOARD : SYNC_SCREEN_OFF;
  terminal_switch_screen_modes(push ? KEYBOARD_PUSH : "",
                               keyboard ? SCREEN_ON_WITH_KEYBOARD : SCREEN_ON, off);
}

}  // namespace

// Enters the alternate screen and asks the terminal, in one write; the first
// frame follows at once, and the answers are taken when they come (take_answers).
void device_start_screen() {
  decoder_reset(terminal.decoder);
  terminal.frame_open = false;
  terminal.sync_output = false;
  terminal.keyboard_protocol = false;
  terminal_expect_answer(TERMINAL_ANSWER_DUE_MS);
  terminal_switch_screen_modes(SCREEN_ON_AND_QUERY, SCREEN_ON, SCREEN_OFF);
}

void device_begin_whole_frame(OutputBuffer& out) {
  if (!terminal.sync_output || terminal.frame_open) return;
  append_with_room(out, FRAME_BEGIN);
  terminal.frame_open = true;
}

void device_send(const ScreenShadow&, OutputBuffer& out, bool frame_ends) {
  send_frame(out, frame_ends);
}

void device_repaint(const ScreenShadow& shadow, OutputBuffer& out) {
  restart_frame(out);
  output_append(out, CLEAR_SCREEN);
  for (int y = 1; y <= shadow.rows; ++y) {
    // Out before a row could overflow the buffer.
    if (out.size > OUTPUT_CAPACITY / 2) write_out(out);
    repaint_row(shadow, y, out);
  }
  repaint_cursor(shadow, out);
  send_frame(out, true);
}

void device_show_notice(const char* text, int size, OutputBuffer& out) {
  restart_frame(out);
  output_append(out, CLEAR_SCREEN_HOME);
  output_append(out, text, size);
  send_frame(out, true);
}

bool device_keys_fit(const KeyQueue& queue) {
  // One event a byte read, and what the decoder already holds.
  return queue_room(queue) >= READ_CHUNK + DECODER_BUFFER;
}

// Bytes waiting in the terminal are read before the decoder is flushed: the
// rest of a sequence may be among them, however long the game was busy since
// its first part was read.
int device_pump_keys(KeyQueue& queue, bool& drained) {
  drained = false;
  int total = 0;
  while (device_keys_fit(queue)) {
    char bytes[READ_CHUNK];
    const size_t size = terminal_read(bytes, sizeof bytes);
    // A short read took everything the terminal had.
    if (size < sizeof bytes) drained = true;
    if (size == 0) break;
    feed(&queue, bytes, size);
    total += static_cast<int>(size);
    if (size < sizeof bytes) break;
  }
  KeyEvent events[DECODER_MAX_EVENTS];
  push_events(&queue, events,
              decoder_flush(terminal.decoder, device_millis(), terminal_answer_owed(), events));
  take_answers();
  return total;
}

int device_drop_keys() {
  int total = 0;
  char bytes[READ_CHUNK];
  for (size_t size; (size = terminal_read(bytes, sizeof bytes)) > 0;) {
    total += static_cast<int>(size);
    feed(nullptr, bytes, size);
  }
  take_answers();
  return total;
}

void device_settle_keys(KeyQueue* queue) {
  KeyEvent events[DECODER_MAX_EVENTS];
  const int count = decoder_finish(terminal.decoder, events);
  if (queue != nullptr) push_events(queue, events, count);
}

int device_keys_settle_in() {
  return decoder_flush_in(terminal.decoder, device_millis(), terminal_answer_owed());
}

bool device_key_unresolved() { return decoder_lone_escape(terminal.decoder); }

}  // namespace vormi
