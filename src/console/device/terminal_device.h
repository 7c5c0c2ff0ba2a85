// The POSIX terminal under the device: /dev/tty in game mode (posix_terminal.cpp),
// or the tests' fake terminal. It implements device.h's opening and closing,
// size, waits and clocks itself, and offers the terminal's byte stream below to
// terminal_console.cpp, which turns the console's frames into bytes and the
// terminal's bytes into key events.
//
// On a terminal, device_open also arranges the restore on every signal whose
// default action ends the process; device_wait lets a process continued in
// the background wait there, drawing nothing and reading no key, until it is
// in the foreground again; and a resume or a change of size is a signal, held
// back everywhere but inside that wait.
#pragma once

#include <cstddef>

namespace vormi {

// The terminal owes the answer to a query just sent: until it comes
// (terminal_answer_came) or within_ms pass, the terminal is given back only
// once the answer has been read and dropped, so no reply reaches the shell.
void terminal_expect_answer(int within_ms);
void terminal_answer_came();

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
