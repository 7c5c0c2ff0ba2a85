// The terminal device: the handful of operating-system services the console
// operations stand on. Two implementations are linked in, one at a time: the
// real one on POSIX and a fake one for the tests.
//
// The terminal's states, and what each guarantees. "Game mode" is the modes
// device_open describes; "the screen modes" are those the console switched on
// (device_switch_screen_modes); "the found modes" are the modes the terminal
// had when the game last took it.
//
//   closed          Before device_open and after device_close: nothing is
//                   read, written or set.
//   in game         The program's group is the terminal's foreground one.
//                   Game mode and the screen modes are on; device_read reads,
//                   device_write writes.
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
#pragma once

#include <cstddef>
#include <cstdint>

namespace vormi {

// How often a program in the background checks whether it is in the
// foreground again: the shell's fg sends no signal to a job that runs.
constexpr int BACKGROUND_CHECK_MS = 200;

// Opens the controlling terminal, remembers its modes exactly, switches it to
// game mode (no canonical mode, no echo, no CR-to-NL, no XON/XOFF, reads that
// never block, signals on) and arranges the restore on exit and on every
// signal whose default action ends the process. Started in the background,
// it first holds as a game continued in the background does, until the
// program is in the foreground.
// On failure writes a one-line reason (no newline) into why and returns false.
bool device_open(char* why, size_t why_size);
// The program is ending: from now on a write waits for the terminal at most
// as long as a signal's does, so a terminal that takes no more output delays
// no ending.
void device_ending();
// Puts the terminal back as it was found; safe to call more than once.
void device_close();
// The terminal is gone (hung up, its other side closed, or it can no longer
// be read): gives it back where it still can and ends the program as a
// hang-up does, by SIGHUP's default action.
[[noreturn]] void device_hang_up();

// The terminal owes the answer to a query just sent: until it comes
// (device_answer_came) or within_ms pass, the terminal is given back only once
// the answer has been read and dropped, so no reply reaches the shell. The
// device is the one keeper of this fact; the console asks device_answer_owed.
void device_expect_answer(int within_ms);
void device_answer_came();
bool device_answer_owed();

// Writes now, which switches the terminal's screen modes (the alternate
// screen, a keyboard mode), and keeps the bytes that switch the modes as they
// then are on and off, at most 64 each; all three NUL-terminated. From then
// on off is written before the terminal's modes are put back, on every way
// out and before a stop, and on after the stop, when game mode comes back.
// The signals wait meanwhile, so theirs are always the bytes of the modes in
// force. Each switch is written once: off when the terminal is given back,
// on when it is taken again in the foreground.
void device_switch_screen_modes(const char* now, const char* on, const char* off);
// When character is the terminal's interrupt or suspend character, raises
// SIGINT or SIGTSTP as the terminal does for that byte, and returns true: the
// keyboard enhancement protocol sends Ctrl+C and Ctrl+Z as sequences, which
// the terminal passes on as keys. False for any other character.
bool device_raise_for_key(int character);

int device_columns();
int device_rows();
// Whether the locale's character set is UTF-8.
bool device_utf8();

// Writes all bytes, in one write where the terminal takes them. Nothing is
// written while the terminal is given back (a stop); what a stop cut off is
// dropped, as the screen is drawn again whole after it.
void device_write(const char* data, size_t size);
// Whatever input is available now, at most capacity bytes; never blocks.
size_t device_read(char* buffer, size_t capacity);
// Waits until input is readable (when watch_input) or timeout_ms passed
// (-1: no timeout). Returns true when input is readable. Returns early, with
// false, when the process was resumed after a stop or the terminal's size
// changed (see device_take_resumed and device_take_resized). In the
// background it holds here, drawing nothing and reading no key, until it has
// taken the terminal again in the foreground (then false, resumed), or ends
// the program when the terminal hangs up. Those signals are
// held back everywhere but inside this wait, so one that comes while the
// program draws ends the next wait at once instead of being missed.
bool device_wait(int timeout_ms, bool watch_input);

// A monotonic millisecond clock with any origin.
uint32_t device_millis();
// The calendar clock in milliseconds since 1970-01-01 00:00:00 UTC.
int64_t device_calendar_ms();

// True once after the process was stopped (Ctrl+Z) and resumed: the terminal
// is back in game mode and the screen needs repainting.
bool device_take_resumed();
// True once after the terminal's size may have changed (a change of size, or a
// resume, since a stopped program is not told of one); device_columns and
// device_rows give the size from then on.
bool device_take_resized();

}  // namespace vormi
