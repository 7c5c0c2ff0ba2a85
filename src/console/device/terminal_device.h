// The terminal device: the handful of operating-system services the console
// operations stand on. Two implementations are linked in, one at a time: the
// real one on POSIX and a fake one for the tests.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vormi {

// Opens the controlling terminal, remembers its modes exactly, switches it to
// game mode (no canonical mode, no echo, no CR-to-NL, no XON/XOFF, reads that
// never block, signals on) and arranges the restore on exit and on every
// signal whose default action ends the process.
// On failure writes a one-line reason (no newline) into why and returns false.
bool device_open(char* why, size_t why_size);
// Puts the terminal back as it was found; safe to call more than once.
void device_close();

// The terminal owes the answer to a query just sent: until it comes
// (device_answer_came) or within_ms pass, the terminal is given back only once
// the answer has been read and dropped, so no reply reaches the shell.
void device_expect_answer(int within_ms);
void device_answer_came();

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
// changed (see device_take_resumed and device_take_resized); a process
// continued in the background waits here, drawing nothing and reading no key,
// until it is in the foreground again. Those signals are
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
