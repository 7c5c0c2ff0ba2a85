// What the line editor shares with the console operations: the one queue of
// decoded key events, and the screen with its tracked cursor.
#pragma once

#include "console/key_decoder.h"
#include "console/output.h"

namespace vormi {

// Capacity of the queue of decoded events; when it is full the oldest go.
constexpr int KEY_QUEUE_SIZE = 256;

// Takes the oldest decoded event, waiting for one. False when the terminal
// cannot be read.
bool console_next_event(KeyEvent& event);

// Forgets the second code of an extended key whose 0 was already read.
void console_drop_pending_code();

// The console's copy of the screen, with the cursor as it stands now.
ScreenShadow& console_shadow();
// Writes translated output to the terminal in one write and empties it.
void console_flush(OutputBuffer& out);
// A buffer for building output; one at a time.
OutputBuffer& console_output();

}  // namespace vormi
