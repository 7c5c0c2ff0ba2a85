// The wait with the main loop's signals let through. Where the system has
// ppoll (Linux and the BSDs), its signal mask unblocks them atomically for the
// poll and blocks them again after. macOS has no ppoll, and its pselect swaps
// the mask in and out around the select in user space, so a signal arriving
// in between is missed until the time-out; there the handlers write a byte
// into a pipe that the wait polls beside the terminal, and a signal that is
// let through just before the poll leaves its byte to end it at once. The
// build chooses by what the system has (VORMI_WAIT_PPOLL), not by its name.
#include "console/device/signal_wait.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdint.h>
#include <unistd.h>

namespace vormi {

namespace {

bool holding = false;
sigset_t held{};         // the main loop's signals
sigset_t mask_before{};  // the signal mask before the hold
sigset_t wait_mask{};    // that mask with the held signals let through

bool block(const int* signals, size_t count) {
  if (holding) return true;  // mask_before stays the mask from before the first hold
  sigemptyset(&held);
  for (size_t i = 0; i < count; ++i) sigaddset(&held, signals[i]);
  if (sigprocmask(SIG_BLOCK, &held, &mask_before) != 0) return false;
  wait_mask = mask_before;
  for (size_t i = 0; i < count; ++i) sigdelset(&wait_mask, signals[i]);
  holding = true;
  return true;
}

void unblock() {
  if (!holding) return;
  holding = false;
  sigprocmask(SIG_SETMASK, &mask_before, nullptr);
}

}  // namespace

#if VORMI_WAIT_PPOLL

bool signal_wait_hold(const int* signals, size_t count) { return block(signals, count); }

void signal_wait_release() { unblock(); }

// ppoll's own return tells of the signal.
void signal_wait_note() {}

int signal_wait_poll(pollfd* watched, nfds_t count, const timespec* span) {
  return ppoll(count > 0 ? watched : nullptr, count, span, holding ? &wait_mask : nullptr);
}

#else

namespace {

int wake_read = -1;
volatile sig_atomic_t wake_write = -1;  // read by the handlers

bool set_flags(int fd) {
  return fcntl(fd, F_SETFD, FD_CLOEXEC) == 0 &&
         fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) == 0;
}

void close_pipe() {
  if (wake_read < 0) return;
  const int write_end = wake_write;
  wake_write = -1;
  close(write_end);
  close(wake_read);
  wake_read = -1;
}

// The time-out in whole milliseconds, rounded up: a wait never ends early,
// and a short rest never becomes a poll that returns at once, again and again.
int span_ms(const timespec* span) {
  if (span == nullptr) return -1;
  const int64_t ms = (nanoseconds_of(*span) + 999999) / 1000000;
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

// The bytes only say that a signal came; its handler has set what it means.
void drain_pipe() {
  char bytes[64];
  while (read(wake_read, bytes, sizeof bytes) > 0) {
  }
}

}  // namespace

bool signal_wait_hold(const int* signals, size_t count) {
  if (holding) return true;  // the pipe is open already
  int ends[2];
  if (pipe(ends) != 0) return false;
  if (!set_flags(ends[0]) || !set_flags(ends[1]) || !block(signals, count)) {
    const int error = errno;
    close(ends[0]);
    close(ends[1]);
    errno = error;
    return false;
  }
  wake_read = ends[0];
  wake_write = ends[1];
  return true;
}

// The signals pending meanwhile run their handlers at the unblock, while the
// pipe is still open to take their bytes.
void signal_wait_release() {
  unblock();
  close_pipe();
}

void signal_wait_note() {
  const int fd = wake_write;
  if (fd < 0) return;
  const int saved_errno = errno;
  const char byte = 0;
  // Non-blocking: a full pipe already wakes the wait.
  const ssize_t written = write(fd, &byte, 1);
  static_cast<void>(written);
  errno = saved_errno;
}

int signal_wait_poll(pollfd* watched, nfds_t count, const timespec* span) {
  if (!holding) return poll(count > 0 ? watched : nullptr, count, span_ms(span));
  pollfd fds[2]{};
  if (count > 0) fds[0] = watched[0];
  fds[count].fd = wake_read;
  fds[count].events = POLLIN;
  sigprocmask(SIG_SETMASK, &wait_mask, nullptr);
  const int ready = poll(fds, count + 1, span_ms(span));
  const int error = errno;
  sigprocmask(SIG_BLOCK, &held, nullptr);
  if (count > 0) watched[0].revents = fds[0].revents;
  if ((fds[count].revents & POLLIN) != 0) {
    drain_pipe();
    errno = EINTR;
    return -1;
  }
  errno = error;
  return ready;
}

#endif

}  // namespace vormi
