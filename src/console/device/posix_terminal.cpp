// The terminal device on POSIX: /dev/tty in game mode, restored on every way
// out (exit, the ending signals, Ctrl+Z) with the screen modes the console
// set switched off first, poll for waiting, the two clocks.
//
// The signals the main loop must answer (SIGCONT after a stop, SIGWINCH after a
// change of size) are blocked for the whole run and let through only inside
// a wait (signal_wait.h: ppoll, or a self-pipe where the system lacks it).
// Their handlers therefore run only there: one that comes while the program
// draws stays pending and ends the next wait at once, and the flags it sets
// are read after the wait with no window in which a wake-up could be lost.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

#include "console/device/signal_wait.h"
#include "console/device/terminal_device.h"
#include "text/char_width.h"

namespace vormi {

namespace {

// Signals that end the process: the terminal is restored, then the signal
// takes its default action. SIGPIPE is among them so that a write to a closed
// pipe never kills the process with the terminal still in game mode.
constexpr int ENDING_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};

struct Device {
  int fd = -1;
  int columns = 0;
  int rows = 0;
  termios found{};  // the modes exactly as the terminal had them at start
  termios game{};
  bool handlers_installed = false;
};

Device device;

// Read by the signal handlers: whether the terminal is in game mode and the
// saved modes must be put back.
volatile sig_atomic_t game_mode_on = 0;
volatile sig_atomic_t resumed = 0;
volatile sig_atomic_t resized = 0;

// The bytes that switch the screen modes on and off
// (device_switch_screen_modes), kept where a signal handler can write them.
constexpr size_t SCREEN_MODES_CAPACITY = 64;
char screen_modes_on[SCREEN_MODES_CAPACITY];
char screen_modes_off[SCREEN_MODES_CAPACITY];
volatile sig_atomic_t screen_modes_on_size = 0;
volatile sig_atomic_t screen_modes_off_size = 0;

// The signals that need the main loop; blocked outside the waits.
constexpr int MAIN_LOOP_SIGNALS[] = {SIGCONT, SIGWINCH};

// Async-signal-safe: tcsetattr and tcflush only.
void set_modes(const termios& modes) {
  while (tcsetattr(device.fd, TCSANOW, &modes) == -1 && errno == EINTR) {
  }
}

// Writes all of data, going on after interruptions. Async-signal-safe:
// write only. False, with errno telling why, when the terminal refused the
// rest; a signal handler can do nothing more about that.
bool write_raw(const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t written = write(device.fd, data + done, size - done);
    if (written > 0) {
      done += static_cast<size_t>(written);
    } else if (!(written == -1 && errno == EINTR)) {
      return false;
    }
  }
  return true;
}

// The screen modes go off before the terminal's own modes come back, so the
// shell finds its screen and its keyboard as it left them.
void restore_found_modes() {
  write_raw(screen_modes_off, static_cast<size_t>(screen_modes_off_size));
  set_modes(device.found);
  // Keys typed during the game and never read would otherwise reach the shell.
  tcflush(device.fd, TCIFLUSH);
}

void set_handler(int sig, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(sig, &action, nullptr);
}

// Lets a signal raised inside its own handler, where it is blocked, arrive.
void unblock(int sig) {
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, sig);
  sigprocmask(SIG_UNBLOCK, &only, nullptr);
}

// Ends the process by sig's default action, now.
[[noreturn]] void die_by(int sig) {
  set_handler(sig, SIG_DFL);
  raise(sig);
  unblock(sig);
  // A default action that does not end the process (none of ours) lands here.
  _exit(128 + sig);
}

void on_ending_signal(int sig) {
  if (game_mode_on) {
    restore_found_modes();
  }
  die_by(sig);
}

void on_stop_signal(int sig) {
  int saved_errno = errno;
  if (game_mode_on) {
    restore_found_modes();
  }
  set_handler(SIGTSTP, SIG_DFL);
  raise(SIGTSTP);
  // The process stops here, with the terminal as the shell expects it, and
  // carries on from here after SIGCONT. The kernel discards the stop for a
  // process whose group has no parent in its session (a program started
  // directly by a terminal emulator, say): it never stopped and no SIGCONT
  // comes. Either way game mode and the screen modes come back here (the
  // screen modes only here, so a keyboard mode is never pushed twice), and
  // the screen, which the terminal blanked, is drawn again.
  unblock(SIGTSTP);
  set_handler(sig, on_stop_signal);
  if (game_mode_on) {
    set_modes(device.game);
    write_raw(screen_modes_on, static_cast<size_t>(screen_modes_on_size));
    resumed = 1;
    resized = 1;
  }
  errno = saved_errno;
}

void on_continue(int) {
  int saved_errno = errno;
  if (game_mode_on) {
    set_modes(device.game);
    resumed = 1;
    // A stopped job is not sent SIGWINCH (its shell is), so the size is read
    // again in case the window changed meanwhile.
    resized = 1;
  }
  signal_wait_note();
  errno = saved_errno;
}

void on_window_change(int) {
  resized = 1;
  signal_wait_note();
}

// A signal the process was started with ignored (nohup, a background job
// without job control) stays ignored.
bool was_ignored(int sig) {
  struct sigaction current {};
  sigaction(sig, nullptr, &current);
  return current.sa_handler == SIG_IGN;
}

void at_exit() { device_close(); }

void install_handlers() {
  if (device.handlers_installed) {
    return;
  }
  device.handlers_installed = true;
  atexit(at_exit);
  for (int sig : ENDING_SIGNALS) {
    if (!was_ignored(sig)) {
      set_handler(sig, on_ending_signal);
    }
  }
  if (!was_ignored(SIGTSTP)) {
    set_handler(SIGTSTP, on_stop_signal);
  }
  set_handler(SIGCONT, on_continue);
  set_handler(SIGWINCH, on_window_change);
}

bool read_size(int fd, int& columns, int& rows) {
  winsize size{};
  if (ioctl(fd, TIOCGWINSZ, &size) == -1) return false;
  columns = size.ws_col;
  rows = size.ws_row;
  return true;
}

termios game_modes(const termios& found) {
  termios modes = found;
  // No CR-to-NL (Enter stays 13), no flow control (Ctrl+S and Ctrl+Q are keys),
  // eight clean bits for UTF-8.
  modes.c_iflag &= ~(ICRNL | INLCR | IGNCR | IXON | ISTRIP);
  // The console writes CR LF itself and counts every byte it sends, so the
  // terminal passes output on untouched.
  modes.c_oflag &= ~OPOST;
  // ISIG stays: Ctrl+C and Ctrl+Z keep their signals. The quit character
  // is off, so Ctrl+\ (and Ctrl+4, which sends the same byte) is the key
  // code 28 instead of a SIGQUIT that kills the game.
  modes.c_lflag &= ~(ICANON | ECHO | ECHONL | IEXTEN);
  modes.c_cc[VQUIT] = _POSIX_VDISABLE;
  modes.c_cc[VMIN] = 0;
  modes.c_cc[VTIME] = 0;
  return modes;
}

void set_reason(char* why, size_t why_size, const char* what, int error) {
  if (why != nullptr && why_size > 0) {
    snprintf(why, why_size, "%s: %s", what, strerror(error));
  }
}

// The terminal is gone (hung up, or its other side closed): nobody can see or
// play, so the process ends as a hang-up ends it.
[[noreturn]] void terminal_gone() {
  if (game_mode_on) {
    restore_found_modes();
    game_mode_on = 0;
  }
  die_by(SIGHUP);
}

bool gone_error(int error) { return error == EIO || error == ENXIO; }

}  // namespace

bool device_open(char* why, size_t why_size) {
  if (device.fd >= 0) {
    return true;
  }
  int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    set_reason(why, why_size, "no controlling terminal (/dev/tty)", errno);
    return false;
  }
  termios found{};
  if (tcgetattr(fd, &found) == -1) {
    set_reason(why, why_size, "cannot read the terminal's modes", errno);
    close(fd);
    return false;
  }
  int columns = 0;
  int rows = 0;
  if (!read_size(fd, columns, rows)) {
    set_reason(why, why_size, "cannot read the terminal's size", errno);
    close(fd);
    return false;
  }
  // From here on the main loop's signals reach their handlers only inside a wait.
  if (!signal_wait_hold(MAIN_LOOP_SIGNALS, sizeof MAIN_LOOP_SIGNALS / sizeof *MAIN_LOOP_SIGNALS)) {
    set_reason(why, why_size, "cannot prepare waiting", errno);
    close(fd);
    return false;
  }
  device.fd = fd;
  device.columns = columns;
  device.rows = rows;
  device.found = found;
  device.game = game_modes(found);
  // Handlers first: a signal arriving right after the switch must find them.
  install_handlers();
  resumed = 0;
  resized = 0;
  game_mode_on = 1;
  if (tcsetattr(fd, TCSANOW, &device.game) == -1) {
    int error = errno;
    game_mode_on = 0;
    set_modes(found);
    signal_wait_release();
    device.fd = -1;
    close(fd);
    set_reason(why, why_size, "cannot set the terminal's modes", error);
    return false;
  }
  return true;
}

void device_close() {
  if (device.fd < 0) {
    return;
  }
  if (game_mode_on) {
    restore_found_modes();
  }
  // Cleared only after the restore, so a signal in between restores again
  // rather than not at all.
  game_mode_on = 0;
  screen_modes_on_size = 0;
  screen_modes_off_size = 0;
  signal_wait_release();
  int fd = device.fd;
  device.fd = -1;
  close(fd);
}

void device_switch_screen_modes(const char* now, const char* on, const char* off) {
  const size_t on_size = strlen(on);
  const size_t off_size = strlen(off);
  if (device.fd < 0 || on_size > SCREEN_MODES_CAPACITY || off_size > SCREEN_MODES_CAPACITY) return;
  // A signal sees the old bytes with the old modes or the new with the new.
  sigset_t held;
  sigset_t before;
  sigemptyset(&held);
  for (int sig : ENDING_SIGNALS) sigaddset(&held, sig);
  sigaddset(&held, SIGTSTP);
  sigprocmask(SIG_BLOCK, &held, &before);
  write_raw(now, strlen(now));
  memcpy(screen_modes_on, on, on_size);
  memcpy(screen_modes_off, off, off_size);
  screen_modes_on_size = static_cast<sig_atomic_t>(on_size);
  screen_modes_off_size = static_cast<sig_atomic_t>(off_size);
  sigprocmask(SIG_SETMASK, &before, nullptr);
}

bool device_raise_for_key(int character) {
  if (device.fd < 0 || (device.game.c_lflag & ISIG) == 0 || character == _POSIX_VDISABLE) {
    return false;
  }
  int sig = 0;
  if (character == device.game.c_cc[VINTR]) {
    sig = SIGINT;
  } else if (character == device.game.c_cc[VSUSP]) {
    sig = SIGTSTP;
  } else {
    return false;
  }
  // The terminal signals its whole foreground process group, this one.
  kill(0, sig);
  return true;
}

int device_columns() { return device.columns; }

int device_rows() { return device.rows; }

bool device_utf8() {
  static const bool answer = user_locale_utf8();
  return answer;
}

void device_write(const char* data, size_t size) {
  if (device.fd < 0) {
    return;
  }
  // Nothing else is to be done about a failed write.
  if (!write_raw(data, size) && gone_error(errno)) {
    terminal_gone();
  }
}

size_t device_read(char* buffer, size_t capacity) {
  if (device.fd < 0 || capacity == 0) {
    return 0;
  }
  // VMIN 0 and VTIME 0: the read returns at once with what is there.
  ssize_t got = read(device.fd, buffer, capacity);
  if (got > 0) {
    return static_cast<size_t>(got);
  }
  if (got == -1 && gone_error(errno)) {
    terminal_gone();
  }
  return 0;
}

namespace {

constexpr int64_t NS_PER_MS = 1000000;

// The one reading of the system's clocks: nanoseconds on the clock named.
int64_t clock_ns(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

int64_t monotonic_ns() { return clock_ns(CLOCK_MONOTONIC); }

timespec span_of(int64_t ns) {
  timespec span{};
  span.tv_sec = static_cast<time_t>(ns / 1000000000);
  span.tv_nsec = static_cast<long>(ns % 1000000000);
  return span;
}

// One poll: > 0 when the terminal has something to say, 0 on time-out,
// < 0 when a signal came (SIGCONT after a stop, say). Only here are the main
// loop's signals let through, so one that is pending ends the poll at once.
int poll_terminal(bool watching, pollfd& watched, const timespec* span) {
  return signal_wait_poll(&watched, watching ? 1 : 0, span);
}

}  // namespace

// A timed wait ends when the millisecond clock has gone timeout_ms past its
// current reading, on the tick of the clock the caller counts in. The kernel
// lets a poll sleep up to 0.1% longer than asked (almost a millisecond of a
// 900 ms tick), so a long wait sleeps most of the way first and the short
// rest, whose lateness is a few microseconds, after.
bool device_wait(int timeout_ms, bool watch_input) {
  pollfd watched{};
  watched.fd = device.fd;
  watched.events = POLLIN;
  const bool watching = watch_input && device.fd >= 0;
  int ready = 0;
  if (timeout_ms < 0) {
    ready = poll_terminal(watching, watched, nullptr);
  } else {
    const int64_t target = (monotonic_ns() / NS_PER_MS + timeout_ms) * NS_PER_MS;
    for (;;) {
      const int64_t left = target - monotonic_ns();
      if (left <= 0) return false;
      const int64_t lead = left / 500 + NS_PER_MS;  // more than the first sleep overshoots
      const timespec span = span_of(left > 2 * lead ? left - lead : left);
      ready = poll_terminal(watching, watched, &span);
      if (ready != 0) break;
    }
  }
  if (ready < 0) {
    return false;
  }
  if ((watched.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
    terminal_gone();
  }
  return (watched.revents & POLLIN) != 0;
}

uint32_t device_millis() { return static_cast<uint32_t>(monotonic_ns() / NS_PER_MS); }

int64_t device_calendar_ms() {
  const int64_t ns = clock_ns(CLOCK_REALTIME);
  // Rounded down, before 1970 too, so a millisecond belongs to its own second.
  return ns >= 0 ? ns / NS_PER_MS : (ns - NS_PER_MS + 1) / NS_PER_MS;
}

// The flags are set only by handlers that run inside a wait, so reading and
// clearing them here races with nothing.
bool device_take_resumed() {
  if (resumed == 0) {
    return false;
  }
  resumed = 0;
  return true;
}

bool device_take_resized() {
  if (resized == 0) {
    return false;
  }
  resized = 0;
  int columns = 0;
  int rows = 0;
  if (device.fd >= 0 && read_size(device.fd, columns, rows)) {
    device.columns = columns;
    device.rows = rows;
  }
  return true;
}

}  // namespace vormi
