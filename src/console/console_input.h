// What the line editor shares with the console operations: the one queue of
// decoded key events, and the screen with its tracked cursor.
#pragma once

#include "console/keys/key_decoder.h"
#include "console/screen/output.h"

namespace vormi {

// Takes the oldest decoded event, waiting for one. A terminal that can no
// longer be read ends the program as a hang-up does.
void console_next_event(KeyEvent& event);

// Forgets the second code of an extended key whose 0 was already read.
void console_drop_pending_code();

// The console's copy of the screen, with the cursor as it stands now.
ScreenShadow& console_shadow();
// Writes translated output to the terminal in one write and empties it.
void console_flush(OutputBuffer& out);
// The output drawn and not yet written, with room for half its capacity.
// What is added goes out with the rest before the console next waits or reads.
OutputBuffer& console_output();

}  // namespace vormi
