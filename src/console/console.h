// The console: the only way the game draws, reads keys and tells the time.
//
// Coordinates are 1-based, column first. What is drawn goes to the terminal
// in one write just before the console next waits, reads keys, or the process
// exits, so each frame arrives whole. Keys come as PC key codes: a character
// code (for a character beyond ASCII its code page 437 byte, '?' where it has
// none), or for keys that type nothing (arrows, function and navigation keys)
// a 0 followed by a second code on the next read.
//
// The screen is the terminal at its size now. When that changes (or the
// program is resumed after Ctrl+Z), whatever wait is under way ends, the
// screen is drawn again whole from the console's copy, and the wait goes on.
// Below 80x24 a notice of the size needed stands instead, and the program
// holds inside that wait, dropping keys, until the terminal is large enough.
#pragma once

#include <cstdint>

#include "console/keys/key_codes.h"  // KEY_UP ... KEY_ESC, the codes the game names

// GCC and clang check console_print's arguments against its format; other
// compilers take it unchecked.
#if defined(__GNUC__)
#define CONSOLE_PRINTF_FORMAT __attribute__((format(printf, 1, 2)))
#else
#define CONSOLE_PRINTF_FORMAT
#endif

namespace vormi {

// Opens the terminal and puts it in game mode for the whole run; it is restored
// exactly on exit and on the ending signals. Without a terminal, or on one
// smaller than 80x24, writes a one-line reason (no newline) into why and
// returns false, having drawn nothing; the caller ends the program.
// Otherwise enters the alternate screen (left again on every way out and
// before a stop) and asks the terminal what it can do, without waiting: the
// first frame may follow at once. The answer is read with the keys whenever
// it comes, never as keys, and turns on the keyboard enhancement protocol and
// whole frames where the terminal has them. Also starts the millisecond clock
// at 0 before asking, and seeds the generator with 1.
bool console_start(char* why, int why_size);

// Blanks the whole screen and puts the cursor at (1,1). Where the terminal
// knows synchronized output, what is drawn from here until the output next
// goes out is shown as one frame.
void console_clear();
// Moves the cursor; a position outside the screen (as large as the terminal
// is now) is ignored.
void console_goto(int x, int y);
// printf-style text at the cursor ("%c", "%d", "%s", "\n", "\t", "\a").
// Bytes 0xB1, 0xB2, 0xDB and 0xFE that are not part of UTF-8 text show as
// their code page 437 glyphs. Returns the number of bytes formatted.
int console_print(const char* format, ...) CONSOLE_PRINTF_FORMAT;
// Writes what has been drawn so far to the terminal now, in one write. The
// console does so itself before it waits; a caller about to wait elsewhere
// (for another game's hold on a file) calls it so the screen is not held back.
void console_flush_pending();

// Shows message at the cursor, puts the terminal back as it was found (the
// shell's screen with it) and prints message on standard error too, where
// the player can still read it; the caller then ends the program.
void console_end_saying(const char* message);

// True when a key code can be read at once; never waits, never consumes.
bool console_key_ready();
// The next key code; waits for one. A terminal that can no longer be read
// ends the program as a hang-up does.
int console_read_key();
// Waits for a key press and returns its (first) code.
int console_wait_key();
// True while a key press is still being told apart: an Esc byte that may
// yet begin an arrow's sequence. Settled within 50 ms; never waits. With the
// keyboard enhancement protocol the Esc key comes as a whole sequence, so
// nothing is left to tell apart.
bool console_key_unresolved();

// Milliseconds since console_start, wrapping at 2^32.
uint32_t console_millis();
// True when console_millis() has reached deadline (a clock reading kept in an
// int). Compared by wrapping difference, so a deadline across the 32-bit wrap
// of the clock works like any other.
bool console_deadline_reached(int deadline);
// Blocks until console_deadline_reached(deadline) or, when watch_keys,
// until console_key_ready() would report a key, whichever comes
// first. Returns at once if either already holds. Watching keys, it does not
// end at the deadline while console_key_unresolved(), but when that settles.
// Not watching keys, it still reads what is typed meanwhile, for later reads.
void console_wait_until(int deadline, bool watch_keys);
// Blocks, without spinning, while calendar_second() would still give second; returns at
// once when it already gives another, so a caller that has just read the
// clock loses no second to a turn between its reading and the wait. What is
// typed meanwhile is read, for later reads.
void console_wait_past_second(int32_t second);

// Reads one line of text from the player with the console's own line editor:
// typed characters echo at the cursor; Backspace, Delete, Left, Right, Home and
// End edit; Esc and Ctrl+U clear; at most capacity - 1 bytes are taken, never
// splitting a UTF-8 character, and a key past the limit rings the bell; Enter
// ends the line and puts the cursor at column 1 of the next row. The line is
// stored with a terminating NUL and no newline; the result is its length.
// The second code of an arrow whose 0 was read before the line is forgotten.
int console_read_line(char* buffer, int capacity);

}  // namespace vormi
