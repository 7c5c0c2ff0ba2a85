// The device: what the console operations stand on, one implementation a
// platform, chosen when the build is configured, and a fake one for the tests.
//
// The console keeps a copy of the screen (every cell and the cursor) and,
// beside it, the bytes a terminal needs to show what was drawn into the copy
// since the last send. Each device shows the screen the way its system does:
// a POSIX terminal is sent those bytes; a Windows console is given the cells
// of the copy that changed. Keys come up as decoded key events: a terminal's
// bytes are decoded below this line, a console's key records are read as the
// key presses they are. Nothing above this header knows which it runs on.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console/keys/key_queue.h"
#include "console/screen/output.h"

namespace vormi {

// --- Opening and closing -----------------------------------------------------

// Opens the terminal or console the player sees, whatever the standard streams
// point to, remembers its modes exactly as found and switches it to game mode
// (keys one at a time, unechoed, without waiting for Enter); from here on it is
// given back as found on every way out. On failure writes a one-line reason (no
// newline) into why and returns false.
bool device_open(char* why, size_t why_size);
// Gives the terminal or console back as it was found; safe to call more than once.
void device_close();
// The program is ending: from now on a write waits for the screen at most as
// long as an ending signal's does, so a terminal that takes no more output
// delays no ending.
void device_ending();
// The terminal or console is gone (hung up, or it can no longer be read):
// gives it back where it still can and ends the program as a hang-up does.
[[noreturn]] void device_hang_up();

// Puts the game's own screen in front, blank as a fresh copy is (a terminal's
// alternate screen, a console's screen buffer of the game's own), and asks what
// the terminal can do where it must be asked. Nothing waits for the answer: it
// is read with the keys when it comes, and what it says is used from then on.
void device_start_screen();

// The size the screen has now, and whether text is shown as UTF-8 (a copy's
// cells then hold UTF-8; otherwise ASCII look-alikes for the glyphs).
int device_columns();
int device_rows();
bool device_utf8();

// --- The screen ----------------------------------------------------------------

// A frame that draws the screen whole begins: a terminal that can show such a
// frame at once, never half drawn, is told here (into out, ahead of the frame).
void device_begin_whole_frame(OutputBuffer& out);
// Shows what was drawn into shadow and out since the last send, and empties
// out. frame_ends: nothing more of this frame follows (a whole frame begun
// above ends here); false when a long frame is sent in parts.
void device_send(const ScreenShadow& shadow, OutputBuffer& out, bool frame_ends);
// Shows the whole screen again from the copy, as one frame: after a resume or a
// change of size, when what the screen shows is no longer known. What out held
// is dropped (the copy holds it too).
void device_repaint(const ScreenShadow& shadow, OutputBuffer& out);
// Shows size bytes of text (lines joined by CR LF) alone on a blank screen, at
// the top left, in place of the game's screen, which the copy still holds.
void device_show_notice(const char* text, int size, OutputBuffer& out);

// --- Keys ------------------------------------------------------------------------

// Moves the key events that are ready now into queue, in order; never waits.
// Reads only while the queue has room for all one read can make
// (device_keys_fit). drained: everything the terminal had was taken. Returns how
// much was read (bytes or records); 0 when nothing was. The terminal's answers
// among what is read are no events: what they say it has is used from here on.
int device_pump_keys(KeyQueue& queue, bool& drained);
// Whether the queue has room for all one more read could make.
bool device_keys_fit(const KeyQueue& queue);
// Reads and drops whatever input is ready; returns how much went. Ctrl+C and
// Ctrl+Z that the terminal sends as keys, and its answers, still act as they
// do in a pump.
int device_drop_keys();
// Ends what is still being told apart (an Esc that may begin a sequence) as if
// nothing more would come: into queue, or dropped when queue is null.
void device_settle_keys(KeyQueue* queue);
// Milliseconds until something still being told apart settles by itself (a
// pump from then on resolves it); -1 when nothing is.
int device_keys_settle_in();
// Whether all that is still being told apart is a lone Esc: the Esc key, unless
// more follows within a few tens of milliseconds.
bool device_key_unresolved();

// --- Waiting and clocks ------------------------------------------------------------

// Waits until input is readable (when watch_input) or timeout_ms passed
// (-1: no timeout). Returns true when input is readable. Returns early, with
// false, when the process was resumed after a stop or the screen's size
// changed (see device_take_resumed and device_take_resized). Those events are
// never lost: one that comes while the program draws ends the next wait at once.
bool device_wait(int timeout_ms, bool watch_input);

// A monotonic millisecond clock with any origin; it wraps only at 2^32.
uint32_t device_millis();
// The calendar clock in milliseconds since 1970-01-01 00:00:00 UTC.
int64_t device_calendar_ms();

// True once after the process was stopped (Ctrl+Z) and resumed: game mode is
// back and the screen needs repainting.
bool device_take_resumed();
// True once after the screen's size may have changed; device_columns and
// device_rows give the size from then on.
bool device_take_resized();

}  // namespace vormi
