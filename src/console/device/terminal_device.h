// The POSIX terminal under the device: /dev/tty in game mode (posix_terminal.cpp),
// or the tests' fake terminal. It implements device.h's opening and closing,
// size, waits and clocks itself, and offers the terminal's byte stream below to
// terminal_console.cpp, which turns the console's frames into bytes and the
// terminal's bytes into key events.
//
// The terminal's states, and what each guarantees. "Game mode" is the modes
// device_open describes (no canonical mode, no echo, no CR-to-NL, no XON/XOFF,
// reads that never block, signals on); "the screen modes" are those switched
// on through terminal_switch_screen_modes; "the found modes" are the modes the
// terminal had when the game last took it.
//
//   closed          Before device_open and after device_close: nothing is
//                   read, written or set.
//   in game         The program's group is the terminal's foreground one.
//                   Game mode and the screen modes are on; terminal_read
//                   reads, terminal_write writes.
//   stopped         Given back for a stop (Ctrl+Z): an owed answer read and
//                   dropped, the screen modes off, the found modes back,
//                   unread input dropped. Nothing is read or written.
//   in background   The terminal is another group's: continued by bg,
//                   started with &, or continued after a stop no handler sees
//                   (SIGSTOP). Nothing is read, written or set, so no SIGTTIN
//                   or SIGTTOU stops the program. device_wait holds, checking
//                   every BACKGROUND_CHECK_MS whether the program is in the
//                   foreground again, and ends the program when the terminal
//                   hangs up. The screen modes are off, but after a SIGSTOP,
//                   which left them on.
//   given back      For good: the program is ending. As stopped, and nothing
//                   leads out of it but device_close.
//
// Closed leads to in game (or in background, when started there); in game to
// stopped, in background and given back; stopped and in background to in game
// (only in the foreground: the found modes read again, game mode and the
// screen modes on, the screen repainted) or to each other or to given back;
// given back to closed. Every change goes through one function, with every
// handled signal blocked, and no state turns into itself: a signal that comes
// in the middle of a change waits for its end and sees the new state, and
// the modes go off once and on once.
//
// device_open also arranges the restore on every signal whose default action
// ends the process; started in the background, it first holds as a game
// continued in the background does, until the program is in the foreground.
// A resume or a change of size is a signal, held back everywhere but inside
// device_wait, so one that comes while the program draws ends the next wait
// at once instead of being missed.
#pragma once

#include <cstddef>

namespace vormi {

// How often a program in the background checks whether it is in the
// foreground again: the shell's fg sends no signal to a job that runs.
constexpr int BACKGROUND_CHECK_MS = 200;

// The terminal owes the answer to a query just sent: until it comes
// (terminal_answer_came) or within_ms pass, the terminal is given back only
// once the answer has been read and dropped, so no reply reaches the shell.
// The terminal is the one keeper of this fact; the key decoder is told it by
// terminal_answer_owed.
void terminal_expect_answer(int within_ms);
void terminal_answer_came();
bool terminal_answer_owed();

// Writes now, which switches the terminal's screen modes (the alternate
// screen, a keyboard mode), and keeps the bytes that switch the modes as they
// then are on and off, at most 64 each; all three NUL-terminated. From then
// on off is written before the terminal's modes are put back, on every way
// out and before a stop, and on after the stop, when game mode comes back.
// The signals wait meanwhile, so theirs are always the bytes of the modes in
// force. Each switch is written once: off when the terminal is given back,
// on when it is taken again in the foreground.
void terminal_switch_screen_modes(const char* now, const char* on, const char* off);
// When character is the terminal's interrupt or suspend character, raises
// SIGINT or SIGTSTP as the terminal does for that byte, and returns true: the
// keyboard enhancement protocol sends Ctrl+C and Ctrl+Z as sequences, which
// the terminal passes on as keys. False for any other character.
bool terminal_raise_for_key(int character);

// Writes all bytes, in one write where the terminal takes them. Nothing is
// written while the terminal is given back (a stop); what a stop cut off is
// dropped, as the screen is drawn again whole after it.
void terminal_write(const char* data, size_t size);
// Whatever input is available now, at most capacity bytes; never blocks.
size_t terminal_read(char* buffer, size_t capacity);

}  // namespace vormi
