// Terminal bytes to key presses.
//
// The pending buffer always starts at the beginning of an unfinished unit: an
// escape sequence, an Esc that may still turn into one, or a UTF-8 character.
// Each fed byte is appended and then as many whole units as the buffer holds
// are turned into events. A unit that cannot be finished yet waits; after
// enough silence (ESCAPE_WAIT_MS, or SEQUENCE_WAIT_MS once a sequence has
// begun) decoder_flush resolves it as what it is so far.
#include "console/keys/key_decoder.h"

#include "console/keys/key_sequences.h"
#include "text/cp437.h"
#include "text/utf8.h"

namespace vormi {
namespace {

constexpr unsigned char ESC = 0x1B;

bool is_parameter(unsigned char byte) { return byte >= 0x20 && byte <= 0x3F; }
bool is_final(unsigned char byte) { return byte >= 0x40 && byte <= 0x7E; }
bool is_digit(unsigned char byte) { return byte >= '0' && byte <= '9'; }

// The outcome of scanning the front of the buffer: how many bytes the unit
// takes (0: it is not finished yet) and whether it makes an event.
struct Scan {
  int used;
  bool made;
  KeyEvent event;
  int report;  // REPORT_* bits of a reply to the start-up query
};

constexpr Scan NEED_MORE = {0, false, {}, 0};

Scan swallow(int used) { return {used, false, {}, 0}; }
Scan made(int used, const KeyEvent& event) { return {used, true, event, 0}; }

Scan add_alt(Scan scan) {
  if (scan.made) {
    scan.event.press.modifiers |= MOD_ALT;
    // So the Alt column of the table applies; a character beyond ASCII has
    // no key in the table and keeps its byte.
    if (scan.event.press.key != 0) scan.event.press.typed = 0;
  }
  return scan;
}

// A byte that is no part of a valid UTF-8 character: a key that types that byte.
Scan raw_byte(unsigned char byte) {
  KeyEvent event = {};
  event.press.typed = byte;
  return made(1, event);
}

// A UTF-8 character, which types its code page 437 byte ('?' where that code
// page lacks it). A byte that cannot start one, or whose character is broken
// off or never finished, is taken alone and types itself; what follows it is
// scanned anew.
Scan scan_utf8(const unsigned char* buf, int size, bool at_end) {
  const int length = utf8_lead_length(buf[0]);
  if (length == 0) return raw_byte(buf[0]);
  for (int i = 1; i < length; ++i) {
    if (i == size) return at_end ? raw_byte(buf[0]) : NEED_MORE;
    if (!utf8_fits_after(buf[0], i, buf[i])) return raw_byte(buf[0]);
  }
  KeyEvent event = {};
  for (int i = 0; i < length; ++i) event.text[i] = static_cast<char>(buf[i]);
  int code = 0;
  utf8_char_length(buf, length, &code);
  const int byte = cp437_from_code_point(code);
  event.press.typed = byte != 0 ? byte : '?';
  return made(length, event);
}

// X10 and normal mouse reports: ESC [ M and three raw bytes of any value.
constexpr int MOUSE_REPORT_SIZE = 6;

// A control sequence: ESC [, parameter and intermediate bytes, one final
// byte. Whatever it means, the whole of it is taken, so an unknown one never
// shows up as Esc and letters: mouse reports in SGR (ESC [ < b;x;y M or m) and
// urxvt (ESC [ b;x;y M) form, focus reports (ESC [ I, ESC [ O) and the paste
// markers (ESC [ 200 ~, ESC [ 201 ~) are no keys and go this way. Cut off by
// silence, even right after "ESC [", it is dropped: over a slow link that is
// the start of a key whose rest got lost, which must not turn into letters.
Scan scan_csi(const unsigned char* buf, int size, bool at_end) {
  if (size == 2) return at_end ? swallow(2) : NEED_MORE;
  if (buf[2] == '[') {  // the Linux console's F1 to F5: ESC [ [ A to E
    if (size == 3) return at_end ? swallow(3) : NEED_MORE;
    if (!is_parameter(buf[3]) && !is_final(buf[3])) return swallow(3);
    KeyEvent event = {};
    if (linux_console_key(buf[3], event)) return made(4, event);
    return swallow(4);
  }
  int i = 2;
  bool digits_only = true;
  while (i < size && is_parameter(buf[i])) {
    // rxvt ends "n $" (Shift with the key of CSI n ~) with a byte that is
    // otherwise an intermediate; no other sequence a terminal sends on its
    // own has a '$' right after plain digits.
    if (buf[i] == '$' && digits_only && i > 2) break;
    digits_only = digits_only && is_digit(buf[i]);
    ++i;
  }
  if (i == size) return at_end ? swallow(size) : NEED_MORE;
  if (buf[i] != '$' && !is_final(buf[i]))
    return swallow(i);            // cut short by a control byte, which starts anew
  if (i == 2 && buf[i] == 'M') {  // the raw bytes of a mouse report are no keys
    if (size < MOUSE_REPORT_SIZE) return at_end ? swallow(size) : NEED_MORE;
    return swallow(MOUSE_REPORT_SIZE);
  }
  KeyEvent event = {};
  if (csi_key(buf + 2, i - 2, buf[i], event)) return made(i + 1, event);
  Scan report = swallow(i + 1);
  report.report = terminal_report(buf + 2, i - 2, buf[i]);
  return report;
}

// ESC O and one final byte, with parameter bytes in some older forms; cut
// off by silence, dropped like a control sequence.
Scan scan_ss3(const unsigned char* buf, int size, bool at_end) {
  if (size == 2) return at_end ? swallow(2) : NEED_MORE;
  int i = 2;
  while (i < size && is_parameter(buf[i])) ++i;
  if (i == size) return at_end ? swallow(size) : NEED_MORE;
  if (!is_final(buf[i])) return swallow(i);
  KeyEvent event = {};
  if (ss3_key(buf + 2, i - 2, buf[i], event)) return made(i + 1, event);
  return swallow(i + 1);
}

// A terminal's reply to a query, CSI ? and more: no key sends one.
bool is_reply(const unsigned char* buf, int size) {
  return size >= 3 && buf[0] == ESC && buf[1] == '[' && buf[2] == '?';
}

// What starts with ESC. With alt_prefix, ESC before a key is that key with
// Alt (ESC ESC [ A is Alt+Up as rxvt sends it); without, the ESC that is not
// a sequence's start is the Esc key on its own.
Scan scan_escape(const unsigned char* buf, int size, bool at_end, bool alt_prefix) {
  if (size == 1) return at_end ? made(1, key_of_byte(ESC)) : NEED_MORE;
  const unsigned char next = buf[1];
  if (next == '[') return scan_csi(buf, size, at_end);
  if (next == 'O') return scan_ss3(buf, size, at_end);
  if (!alt_prefix) return made(1, key_of_byte(ESC));
  Scan rest = {};
  if (next == ESC) {
    rest = scan_escape(buf + 1, size - 1, at_end, false);
    // No key sends Alt with a reply (CSI ? ...): the ESC before one is the
    // Esc key, typed before the reply came.
    if (rest.used > 0 && !rest.made && is_reply(buf + 1, size - 1))
      return made(1, key_of_byte(ESC));
  } else if (next >= 0x80) {
    rest = scan_utf8(buf + 1, size - 1, at_end);
  } else {
    rest = made(1, key_of_byte(next));
  }
  if (rest.used == 0) return NEED_MORE;
  rest.used += 1;
  return add_alt(rest);
}

Scan scan_unit(const unsigned char* buf, int size, bool at_end) {
  if (buf[0] == ESC) return scan_escape(buf, size, at_end, true);
  if (buf[0] >= 0x80) return scan_utf8(buf, size, at_end);
  return made(1, key_of_byte(buf[0]));
}

bool begins_sequence(const unsigned char* buf, int size) {
  return size >= 2 && buf[0] == ESC && (buf[1] == '[' || buf[1] == 'O');
}

// How long the pending unit waits for its next byte: long once a sequence has
// begun (also after the ESC that gives it Alt, and after an ESC that may begin
// the owed answer), short for an Esc or UTF-8.
int silence_allowed(const KeyDecoder& decoder, bool answer_owed) {
  const unsigned char* buf = decoder.pending;
  const int size = decoder.pending_size;
  const bool alt_with_sequence = size >= 3 && buf[1] == ESC && begins_sequence(buf + 1, size - 1);
  const bool may_be_answer =
      buf[size - 1] == ESC && answer_owed && (decoder.reports & REPORT_ATTRIBUTES) == 0;
  if (begins_sequence(buf, size) || alt_with_sequence || may_be_answer) return SEQUENCE_WAIT_MS;
  return ESCAPE_WAIT_MS;
}

void drop_front(KeyDecoder& decoder, int count) {
  const int left = decoder.pending_size - count;
  for (int i = 0; i < left; ++i) decoder.pending[i] = decoder.pending[count + i];
  decoder.pending_size = left;
}

int resolve(KeyDecoder& decoder, bool at_end, KeyEvent* out) {
  int count = 0;
  while (decoder.pending_size > 0 && count < DECODER_MAX_EVENTS) {
    const Scan scan = scan_unit(decoder.pending, decoder.pending_size, at_end);
    if (scan.used == 0) break;
    if (scan.made) out[count++] = scan.event;
    // The attributes are the last reply to the query; what comes after them
    // is no answer to it.
    if ((decoder.reports & REPORT_ATTRIBUTES) == 0) decoder.reports |= scan.report;
    drop_front(decoder, scan.used);
  }
  return count;
}

}  // namespace

void decoder_reset(KeyDecoder& decoder) {
  decoder.pending_size = 0;
  decoder.pending_since = 0;
  decoder.reports = 0;
}

int decoder_feed(KeyDecoder& decoder, unsigned char byte, uint32_t now, KeyEvent* out) {
  if (decoder.pending_size == DECODER_BUFFER) {
    // Only a sequence still collecting parameters fills the buffer. It is too
    // long to be a key: its further parameter bytes are skipped and, once it
    // ends, it is dropped whole; a control byte ends it and counts anew. A
    // skipped byte still restarts the silence, or the wait would resolve the
    // sequence while it is arriving and its rest would come out as keys.
    if (is_parameter(byte)) {
      decoder.pending_since = now;
      return 0;
    }
    decoder.pending_size = 0;
    if (is_final(byte)) return 0;
  }
  decoder.pending[decoder.pending_size++] = byte;
  decoder.pending_since = now;
  return resolve(decoder, false, out);
}

int decoder_flush(KeyDecoder& decoder, uint32_t now, bool answer_owed, KeyEvent* out) {
  if (decoder_flush_in(decoder, now, answer_owed) != 0) return 0;
  return resolve(decoder, true, out);
}

int decoder_finish(KeyDecoder& decoder, KeyEvent* out) { return resolve(decoder, true, out); }

int decoder_flush_in(const KeyDecoder& decoder, uint32_t now, bool answer_owed) {
  if (decoder.pending_size == 0) return -1;
  // Unsigned difference, so a wrap of the millisecond clock does no harm.
  const uint32_t waited = now - decoder.pending_since;
  const int allowed = silence_allowed(decoder, answer_owed);
  if (waited >= static_cast<uint32_t>(allowed)) return 0;
  return allowed - static_cast<int>(waited);
}

bool decoder_lone_escape(const KeyDecoder& decoder) {
  return decoder.pending_size == 1 && decoder.pending[0] == ESC;
}

}  // namespace vormi
