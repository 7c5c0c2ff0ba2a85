// Terminal bytes to key presses. Incremental: bytes are fed as they arrive, a
// sequence split across reads is joined, a lone Esc is told from the start of a
// sequence by 50 ms of silence, and unknown sequences are swallowed whole.
#pragma once

#include <cstdint>

#include "console/key_table.h"

namespace vormi {

constexpr int ESCAPE_WAIT_MS = 50;
constexpr int DECODER_MAX_EVENTS = 8;  // most events one fed byte or a flush can give
constexpr int DECODER_BUFFER = 64;     // longest sequence kept; a longer one is dropped

// A decoded event: a key press, or text beyond ASCII (one whole UTF-8
// character in text, press.key == 0).
struct KeyEvent {
  KeyPress press;
  char text[5];  // NUL-terminated; empty for key presses
};

struct KeyDecoder {
  unsigned char pending[DECODER_BUFFER];
  int pending_size;
  uint32_t pending_since;  // when the latest pending byte arrived; silence counts from it
};

void decoder_reset(KeyDecoder& decoder);
// Feeds one byte that arrived at time now; stores the events it completes in
// out and returns how many (0 to DECODER_MAX_EVENTS).
int decoder_feed(KeyDecoder& decoder, unsigned char byte, uint32_t now, KeyEvent* out);
// Resolves what has waited ESCAPE_WAIT_MS without completing (a lone Esc, Alt
// with Esc, an unfinished sequence); returns how many events it stored.
int decoder_flush(KeyDecoder& decoder, uint32_t now, KeyEvent* out);
// Milliseconds from now until decoder_flush would resolve something; -1 when
// nothing is pending.
int decoder_flush_in(const KeyDecoder& decoder, uint32_t now);

}  // namespace vormi
