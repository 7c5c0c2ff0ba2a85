// The key decoder under any bytes and any timing.
//
// The input is the terminal's bytes, a time gap before each byte and the
// clock's starting value (so the millisecond clock wraps too). Invariants:
//
// 1. Short silences change nothing. Fed with gaps below ESCAPE_WAIT_MS, the
//    reader flushing whenever the decoder asks and at other moments too, the
//    bytes give exactly the events of the same bytes fed at one instant and
//    resolved at the end of input.
// 2. A long silence acts as an end of input. With any gaps, the events are
//    those of the segments between the moments the decoder held nothing,
//    each fed at one instant and resolved at its end. So a silence either
//    leaves the pending unit as it is or resolves it exactly as an end of
//    input would; the bytes after it start afresh.
// 3. A lone Esc resolves in ESCAPE_WAIT_MS: an ESC that starts a unit and is
//    followed by that much silence yields the Esc key and leaves nothing
//    pending. Nothing waits a minute.
// 4. Every event is a key of the table with known modifiers and a typed
//    character below 128, one whole UTF-8 character of text typing its code
//    page 437 byte or '?', or a byte of 0x80 or more that is no part of valid
//    UTF-8, typing itself (either with Alt at most); no call returns more than DECODER_MAX_EVENTS.
// 5. A complete escape sequence, known or not, yields at most one event, so
//    never Esc followed by its letters: ESC [ or ESC O with any number of
//    parameter bytes (0x30-0x3F), up to two intermediate bytes (0x20-0x2F)
//    and a final byte (0x40-0x7E), or the Linux console's ESC [ [ and one
//    final byte. rxvt's "CSI digits $" is a whole key before any final, so
//    '$' right after plain digits is left out of the sequences built here.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "console/keys/key_decoder.h"
#include "console/keys/key_table.h"
#include "fuzz_check.h"
#include "text/utf8.h"

namespace vormi {
namespace {

constexpr uint32_t MINUTE_MS = 60000;  // far longer than any wait of the decoder
constexpr int MAX_FLUSHES = 1000;      // a decoder that never empties is a finding

using Events = std::vector<KeyEvent>;

bool same_event(const KeyEvent& a, const KeyEvent& b) {
  return a.press.key == b.press.key && a.press.modifiers == b.press.modifiers &&
         a.press.typed == b.press.typed && std::strcmp(a.text, b.text) == 0;
}

std::string describe(const Events& events) {
  std::string text;
  for (const KeyEvent& event : events) {
    text += event.text[0] != '\0' ? "text(" + std::string(event.text) + ")"
                                  : "key(" + std::to_string(event.press.key) + "," +
                                        std::to_string(event.press.modifiers) + "," +
                                        std::to_string(event.press.typed) + ")";
    text += ' ';
  }
  return text;
}

void require_same(const Events& got, const Events& expected, const char* what) {
  bool same = got.size() == expected.size();
  for (size_t i = 0; same && i < got.size(); ++i) same = same_event(got[i], expected[i]);
  FUZZ_REQUIRE(same, "%s\n  got:      %s\n  expected: %s", what, describe(got).c_str(),
               describe(expected).c_str());
}

void check_event(const KeyEvent& event) {
  const size_t length = strnlen(event.text, sizeof event.text);
  FUZZ_REQUIRE(length < sizeof event.text, "text not terminated");
  if (length > 0) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(event.text);
    FUZZ_REQUIRE(utf8_char_length(bytes, static_cast<int>(length)) == static_cast<int>(length),
                 "text event is not one UTF-8 character: %s", describe({event}).c_str());
    FUZZ_REQUIRE(event.press.key == 0 && (event.press.modifiers & ~MOD_ALT) == 0,
                 "text event with a key: %s", describe({event}).c_str());
    // Its code: the code page 437 byte of the character, or '?'.
    FUZZ_REQUIRE(event.press.typed == '?' || event.press.typed >= 0x80, "text event types %d: %s",
                 event.press.typed, describe({event}).c_str());
    FUZZ_REQUIRE(event.press.typed <= 0xFF, "text event types %d", event.press.typed);
    return;
  }
  if (event.press.key == 0) {
    // A byte that is no part of valid UTF-8 types itself.
    FUZZ_REQUIRE(event.press.typed >= 0x80 && event.press.typed <= 0xFF &&
                     (event.press.modifiers & ~MOD_ALT) == 0,
                 "stray byte event: %s", describe({event}).c_str());
    return;
  }
  const KeyPress plain = {event.press.key, 0, 0};
  FUZZ_REQUIRE(select_codes(plain).count > 0, "not a key of the table: %s",
               describe({event}).c_str());
  FUZZ_REQUIRE((event.press.modifiers & ~(MOD_SHIFT | MOD_ALT | MOD_CTRL)) == 0,
               "unknown modifiers: %s", describe({event}).c_str());
  FUZZ_REQUIRE(event.press.typed >= 0 && event.press.typed < 128, "typed out of range: %s",
               describe({event}).c_str());
}

// The decoder as the console drives it, with every event checked and kept.
class Reader {
 public:
  explicit Reader(uint32_t now) : now_(now) { decoder_reset(decoder_); }

  void feed(unsigned char byte) {
    KeyEvent out[DECODER_MAX_EVENTS];
    keep(out, decoder_feed(decoder_, byte, now_, out));
  }

  // A flush at this moment, whether or not the decoder asked for one.
  void flush() {
    KeyEvent out[DECODER_MAX_EVENTS];
    keep(out, decoder_flush(decoder_, now_, false, out));
  }

  // Lets ms pass, flushing each time the decoder's wait runs out.
  void silence(uint32_t ms) {
    const uint32_t end = now_ + ms;
    for (int i = 0; i < MAX_FLUSHES; ++i) {
      const int in = flush_in();
      if (in < 0 || static_cast<uint32_t>(in) > end - now_) {
        now_ = end;
        return;
      }
      now_ += static_cast<uint32_t>(in);
      flush();
    }
    FUZZ_REQUIRE(false, "the decoder asks for flushes that resolve nothing");
  }

  // Waits until nothing is pending, as at the end of input.
  void drain() {
    silence(MINUTE_MS);
    FUZZ_REQUIRE(pending() == false, "bytes still pending after a minute of silence");
  }

  int flush_in() const {
    const int in = decoder_flush_in(decoder_, now_, false);
    FUZZ_REQUIRE(in >= -1 && in <= static_cast<int>(MINUTE_MS), "flush_in %d", in);
    return in;
  }
  bool pending() const { return flush_in() >= 0; }
  const Events& events() const { return events_; }

 private:
  void keep(const KeyEvent* out, int count) {
    FUZZ_REQUIRE(count >= 0 && count <= DECODER_MAX_EVENTS, "%d events from one call", count);
    for (int i = 0; i < count; ++i) {
      check_event(out[i]);
      events_.push_back(out[i]);
    }
  }

  KeyDecoder decoder_{};
  uint32_t now_;
  Events events_;
};

// The bytes fed at one instant, then resolved as at the end of input.
Events whole(const std::string& bytes, uint32_t start) {
  Reader reader(start);
  for (char byte : bytes) reader.feed(static_cast<unsigned char>(byte));
  reader.drain();
  FUZZ_REQUIRE(reader.events().size() <= bytes.size(), "more events than bytes");
  return reader.events();
}

// Gap codes: mostly short, some between the lone-Esc wait and a second or
// two, a few of a minute.
uint32_t any_gap(uint8_t code) {
  if (code < 128) return code % ESCAPE_WAIT_MS;
  if (code < 192) return ESCAPE_WAIT_MS + (code - 128) * 5;  // 50 to 365
  if (code < 250) return 900 + (code - 192) * 10;            // 900 to 1470
  return MINUTE_MS;
}

void check_short_gaps(const std::string& bytes, const std::vector<uint8_t>& gaps, uint32_t start) {
  Reader reader(start);
  for (size_t i = 0; i < bytes.size(); ++i) {
    const uint8_t code = gaps[i % gaps.size()];
    const uint32_t gap = code % ESCAPE_WAIT_MS;
    if ((code & 0x80) != 0) {  // an early flush half way, as after a wake-up for output
      reader.silence(gap / 2);
      reader.flush();
      reader.silence(gap - gap / 2);
    } else {
      reader.silence(gap);
    }
    reader.feed(static_cast<unsigned char>(bytes[i]));
  }
  reader.drain();
  require_same(reader.events(), whole(bytes, start), "short silences changed the events");
}

void check_any_gaps(const std::string& bytes, const std::vector<uint8_t>& gaps, uint32_t start) {
  Reader reader(start);
  Events expected;
  std::string segment;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const uint32_t gap = any_gap(gaps[(i + 1) % gaps.size()]);
    const bool was_empty = !reader.pending();
    if (was_empty && !segment.empty()) {
      const Events part = whole(segment, start);
      expected.insert(expected.end(), part.begin(), part.end());
      segment.clear();
    }
    const unsigned char byte = static_cast<unsigned char>(bytes[i]);
    reader.feed(byte);
    segment += static_cast<char>(byte);
    const size_t before = reader.events().size();
    reader.silence(gap);
    if (was_empty && byte == 0x1B && gap >= ESCAPE_WAIT_MS) {
      FUZZ_REQUIRE(!reader.pending() && reader.events().size() == before + 1 &&
                       reader.events().back().press.key == VKEY_ESCAPE &&
                       reader.events().back().press.modifiers == 0,
                   "a lone Esc did not resolve after %u ms", gap);
    }
    FUZZ_REQUIRE(gap < MINUTE_MS || !reader.pending(), "still pending after a minute");
  }
  reader.drain();
  const Events part = whole(segment, start);
  expected.insert(expected.end(), part.begin(), part.end());
  require_same(reader.events(), expected, "a silence did not act as an end of input");
}

// A complete sequence built from the input's bytes: the introducer, parameter
// bytes, intermediate bytes and a final byte.
std::string complete_sequence(FuzzedDataProvider& input) {
  static const char* const INTRODUCERS[] = {"\x1b[", "\x1bO", "\x1b[["};
  const int introducer = input.ConsumeIntegralInRange(0, 2);
  std::string sequence = INTRODUCERS[introducer];
  // The Linux console's form takes one final byte and nothing before it.
  const int parameters = introducer == 2 ? 0 : input.ConsumeIntegralInRange(0, 80);
  bool digits_only = true;
  for (int i = 0; i < parameters; ++i) {
    const char byte = static_cast<char>(0x30 + input.ConsumeIntegralInRange(0, 15));
    digits_only = digits_only && byte <= '9';
    sequence += byte;
  }
  const int intermediates = introducer == 2 ? 0 : input.ConsumeIntegralInRange(0, 2);
  for (int i = 0; i < intermediates; ++i) {
    char byte = static_cast<char>(0x20 + input.ConsumeIntegralInRange(0, 15));
    if (byte == '$' && digits_only && parameters > 0) byte = '#';
    sequence += byte;
  }
  sequence += static_cast<char>(0x40 + input.ConsumeIntegralInRange(0, 62));
  return sequence;
}

void check_sequence(const std::string& prefix, const std::string& sequence,
                    const std::vector<uint8_t>& gaps, uint32_t start) {
  Reader reader(start);
  for (char byte : prefix) reader.feed(static_cast<unsigned char>(byte));
  reader.drain();
  const size_t before = reader.events().size();
  for (size_t i = 0; i < sequence.size(); ++i) {
    reader.silence(gaps[i % gaps.size()] % ESCAPE_WAIT_MS);
    reader.feed(static_cast<unsigned char>(sequence[i]));
  }
  reader.drain();
  const Events got(reader.events().begin() + static_cast<long>(before), reader.events().end());
  FUZZ_REQUIRE(got.size() <= 1, "the complete sequence %s gave %s",
               (std::string("ESC") + sequence.substr(1)).c_str(), describe(got).c_str());
}

}  // namespace
}  // namespace vormi

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vormi;
  FuzzedDataProvider input(data, size);
  const uint32_t start = input.ConsumeIntegral<uint32_t>();
  const std::string bytes = input.ConsumeRandomLengthString(256);
  const std::string sequence = complete_sequence(input);
  std::vector<uint8_t> gaps = input.ConsumeRemainingBytes<uint8_t>();
  if (gaps.empty()) gaps.push_back(0);

  check_short_gaps(bytes, gaps, start);
  check_any_gaps(bytes, gaps, start);
  check_sequence(bytes, sequence, gaps, start);
  return 0;
}
