// The terminal device's one way of waiting: poll on the terminal, with the
// signals the main loop answers (a continue after a stop, a change of size)
// held back everywhere else and let through inside the wait with no window in
// which a wake-up could be lost. Two implementations, one chosen when the
// build is configured: ppoll where the system has it, a self-pipe elsewhere.
#pragma once

#include <poll.h>
#include <stddef.h>
#include <stdint.h>
#include <time.h>

namespace vormi {

// A time or span in nanoseconds: the device's one reading of a timespec.
inline int64_t nanoseconds_of(const timespec& time) {
  return static_cast<int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

// Blocks the given signals from now on outside the waits, and remembers the
// signal mask they were added to. False, with errno telling why, when the
// wait could not be set up; nothing is blocked then.
bool signal_wait_hold(const int* signals, size_t count);
// Puts the signal mask back as it was before the hold; safe to call more than once.
void signal_wait_release();
// Called by the handler of a held signal, or of any signal whose handler sets
// what the main loop reads after a wait: makes the wait it interrupted, or
// else the next one, return at once. Async-signal-safe.
void signal_wait_note();
// Polls watched (count 0 or 1) until it is ready or span has passed (nullptr:
// no limit), with the held signals let through meanwhile. > 0 when watched is
// ready, 0 on time-out, < 0 when a signal came. Outside a hold, a plain poll.
int signal_wait_poll(pollfd* watched, nfds_t count, const timespec* span);

}  // namespace vormi
