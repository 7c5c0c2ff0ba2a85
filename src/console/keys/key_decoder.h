// Terminal bytes to key presses. Incremental: bytes are fed as they arrive, a
// sequence split across reads is joined, a lone Esc is told from the start of a
// sequence by 50 ms of silence, a sequence once begun ("ESC [" or "ESC O") is
// waited for much longer, and unknown sequences and reports that are not keys
// (mouse, focus, paste markers, the terminal's replies) are swallowed whole.
#pragma once

#include <cstdint>

#include "console/keys/key_press.h"

namespace vormi {

constexpr int ESCAPE_WAIT_MS = 50;
// Over a slow link the bytes of one key can come far apart; once a sequence
// has begun, this much silence passes before what came of it is dropped.
constexpr int SEQUENCE_WAIT_MS = 1000;
constexpr int DECODER_MAX_EVENTS = 8;  // most events one fed byte or a flush can give
constexpr int DECODER_BUFFER = 64;     // longest sequence kept; a longer one is dropped

struct KeyDecoder {
  unsigned char pending[DECODER_BUFFER];
  int pending_size;
  uint32_t pending_since;  // when the latest pending byte arrived; silence counts from it
  // The replies to the start-up query swallowed since the reset (REPORT_*
  // bits), up to and including the attributes.
  int reports;
};

void decoder_reset(KeyDecoder& decoder);
// Feeds one byte that arrived at time now; stores the events it completes in
// out and returns how many (0 to DECODER_MAX_EVENTS).
int decoder_feed(KeyDecoder& decoder, unsigned char byte, uint32_t now, KeyEvent* out);
// Resolves what has waited without completing: after ESCAPE_WAIT_MS a lone
// Esc, Alt with Esc or a partial UTF-8 character; after SEQUENCE_WAIT_MS an
// unfinished sequence, which is dropped. Returns how many events it stored.
// While answer_owed (the terminal still owes the answer to the start-up
// query), an ESC byte waits as long as a begun sequence: a reply split right
// after its ESC must not become the Esc key and letters.
int decoder_flush(KeyDecoder& decoder, uint32_t now, bool answer_owed, KeyEvent* out);
// Resolves what is pending as if nothing more would come: a lone Esc is the
// Esc key, an unfinished sequence is dropped. Returns how many events it stored.
int decoder_finish(KeyDecoder& decoder, KeyEvent* out);
// Milliseconds from now until decoder_flush would resolve something; -1 when
// nothing is pending.
int decoder_flush_in(const KeyDecoder& decoder, uint32_t now, bool answer_owed);
// Whether all that is pending is one ESC byte: the Esc key, unless more bytes
// follow within ESCAPE_WAIT_MS.
bool decoder_lone_escape(const KeyDecoder& decoder);

}  // namespace vormi
