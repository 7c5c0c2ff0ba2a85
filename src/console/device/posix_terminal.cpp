// The terminal device on POSIX: /dev/tty in game mode, given back on every way
// out (exit, every signal whose default action ends the process, Ctrl+Z) with
// the screen modes the console set switched off first, poll for waiting, the
// two clocks.
//
// The terminal's states are those terminal_device.h describes, held in one
// variable the handlers read, and changed only by change_state, which blocks
// every signal this file handles (a handler blocks them all while it runs
// too) and refuses a change the table does not hold.
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

#include "console/device/device.h"
#include "console/device/signal_wait.h"
#include "console/device/terminal_device.h"
#include "text/char_width.h"

namespace vormi {

namespace {

// Signals whose default action ends the process: the terminal is given back,
// then the signal takes its default action, so a core dump and the shell's
// report stay as they would have been. The faults among them are handled on a
// stack of their own, so a stack overflow is covered too. SIGPIPE is among
// them so that a write to a closed pipe never kills the process with the
// terminal still in game mode. The real-time signals, whose numbers are known
// only when the program runs, are added to them there.
constexpr int ENDING_SIGNALS[] = {
    SIGINT,    SIGTERM, SIGHUP,  SIGQUIT, SIGPIPE, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF,
    SIGXCPU,   SIGXFSZ, SIGSEGV, SIGBUS,  SIGFPE,  SIGILL,  SIGABRT, SIGTRAP, SIGSYS,
#ifdef SIGEMT
    SIGEMT,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGLOST
    SIGLOST,
#endif
#ifdef SIGPOLL
    SIGPOLL,  // SIGIO on Linux; the BSDs, where SIGIO is ignored by default, lack it
#endif
};

// Calls each for every signal whose default action ends the process.
void for_each_ending_signal(void (*each)(int)) {
  for (int sig : ENDING_SIGNALS) each(sig);
#ifdef SIGRTMIN
  for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) each(sig);
#endif
}

// The signals that need the main loop; blocked outside the waits.
constexpr int MAIN_LOOP_SIGNALS[] = {SIGCONT, SIGWINCH};

// How long a handler waits for the terminal to take the bytes that switch the
// screen modes off or on: a terminal that stops reading (a frozen emulator, a
// stalled link) must not keep an ending signal from ending the process.
constexpr int HANDLER_WRITE_LIMIT_MS = 100;

// A handler's stack for the faults: a stack overflow leaves none to run on.
constexpr size_t SIGNAL_STACK_SIZE = 64 * 1024;
alignas(16) char signal_stack[SIGNAL_STACK_SIZE];

struct Device {
  int fd = -1;
  int columns = 0;
  int rows = 0;
  termios found{};  // the modes as the terminal had them when the game last took it
  termios game{};
  bool handlers_installed = false;
  sigset_t handled{};         // every signal this file handles
  int64_t answer_due_ns = 0;  // until when an owed answer is waited for
};

Device device;

enum TerminalState : sig_atomic_t {
  CLOSED,         // nothing to give back
  IN_GAME,        // game mode and the screen modes on
  STOPPED,        // given back for a stop; taken again in the foreground
  IN_BACKGROUND,  // the terminal is another group's: nothing is touched
  GIVEN_BACK,     // given back for good: the program is ending
};

// Read and changed by the signal handlers.
volatile sig_atomic_t terminal_state = CLOSED;
// Game mode and the screen modes are on: in game, and in the background after
// a SIGSTOP, which no handler sees.
volatile sig_atomic_t modes_on = 0;
volatile sig_atomic_t times_taken = 0;  // how often game mode came back after a stop
volatile sig_atomic_t answer_owed = 0;  // see terminal_expect_answer
volatile sig_atomic_t ending = 0;       // see device_ending
volatile sig_atomic_t resumed = 0;
volatile sig_atomic_t resized = 0;

// The bytes that switch the screen modes on and off
// (terminal_switch_screen_modes), kept where a signal handler can write them.
constexpr size_t SCREEN_MODES_CAPACITY = 64;
char screen_modes_on[SCREEN_MODES_CAPACITY];
char screen_modes_off[SCREEN_MODES_CAPACITY];
volatile sig_atomic_t screen_modes_on_size = 0;
volatile sig_atomic_t screen_modes_off_size = 0;

constexpr int64_t NS_PER_MS = 1000000;

// The one reading of the system's clocks: nanoseconds on the clock named.
// Async-signal-safe.
int64_t clock_ns(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return nanoseconds_of(now);
}

int64_t monotonic_ns() { return clock_ns(CLOCK_MONOTONIC); }

// Milliseconds from now until deadline_ns, rounded up; 0 once it has passed.
int millis_left(int64_t deadline_ns) {
  const int64_t left = deadline_ns - monotonic_ns();
  return left <= 0 ? 0 : static_cast<int>((left + NS_PER_MS - 1) / NS_PER_MS);
}

// Async-signal-safe: tcsetattr only. False, with errno telling why, when the
// terminal refused them.
bool set_modes(const termios& modes) {
  for (;;) {
    if (tcsetattr(device.fd, TCSANOW, &modes) == 0) return true;
    if (errno != EINTR) return false;
  }
}

bool same_modes(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0 &&
         cfgetispeed(&a) == cfgetispeed(&b) && cfgetospeed(&a) == cfgetospeed(&b);
}

// The terminal is this process group's to change: a group in the background
// that changes its modes is stopped by SIGTTOU, and its bytes would land in
// the middle of another program's screen.
bool in_foreground() { return tcgetpgrp(device.fd) == getpgrp(); }

// Waits until the terminal takes more bytes (events POLLOUT) or has some to
// read (POLLIN), up to give_up_at_ns (0: no limit). Async-signal-safe.
bool wait_for(short events, int64_t give_up_at_ns) {
  pollfd watched{device.fd, events, 0};
  for (;;) {
    const int timeout = give_up_at_ns == 0 ? -1 : millis_left(give_up_at_ns);
    if (timeout == 0) return false;
    const int ready = poll(&watched, 1, timeout);
    if (ready > 0) return (watched.revents & events) != 0;
    if (ready == 0 || errno != EINTR) return false;
  }
}

// One step of writing data from done on, which the descriptor takes without
// blocking: false when the terminal refused the rest (errno tells why) or did
// not take it by give_up_at_ns (0: no limit). Async-signal-safe.
bool write_step(const char* data, size_t size, size_t& done, int64_t give_up_at_ns) {
  const ssize_t written = write(device.fd, data + done, size - done);
  if (written > 0) {
    done += static_cast<size_t>(written);
    return true;
  }
  if (written == -1 && errno == EINTR) return true;
  if (written == -1 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
    if (wait_for(POLLOUT, give_up_at_ns)) return true;
    errno = EAGAIN;
  }
  return false;
}

// A handler's write: given up when the terminal has not taken it within
// HANDLER_WRITE_LIMIT_MS.
void write_bounded(const char* data, size_t size) {
  const int64_t give_up_at = monotonic_ns() + HANDLER_WRITE_LIMIT_MS * NS_PER_MS;
  size_t done = 0;
  while (done < size && write_step(data, size, done, give_up_at)) {
  }
}

// The main code's write, in game mode only. A stop in the middle gives the
// terminal back; the rest is dropped, as the screen is drawn again whole once
// the game is resumed. False, with errno telling why, when the terminal
// refused the rest.
// Once the program is ending, the write is bounded as a handler's is.
bool write_in_game(const char* data, size_t size) {
  const sig_atomic_t taken = times_taken;
  const int64_t give_up_at = ending ? monotonic_ns() + HANDLER_WRITE_LIMIT_MS * NS_PER_MS : 0;
  size_t done = 0;
  while (done < size && terminal_state == IN_GAME && times_taken == taken)
    if (!write_step(data, size, done, give_up_at)) return false;
  return true;
}

// A reply to the start-up query ends with the attributes, CSI ? ... c. The
// draining may begin after the decoder has read the start of that reply, so a
// 'c' after nothing but parameter bytes ends it too.
struct AnswerScan {
  enum Step { OUTSIDE, AFTER_ESC, AFTER_CSI, IN_PARAMETERS } step = IN_PARAMETERS;
};

bool answer_ends_with(AnswerScan& scan, unsigned char byte) {
  if (byte == 0x1b) {
    scan.step = AnswerScan::AFTER_ESC;
  } else if (scan.step == AnswerScan::AFTER_ESC) {
    scan.step = byte == '[' ? AnswerScan::AFTER_CSI : AnswerScan::OUTSIDE;
  } else if (scan.step == AnswerScan::AFTER_CSI || scan.step == AnswerScan::IN_PARAMETERS) {
    if (byte == 'c') return true;
    scan.step = byte >= 0x30 && byte <= 0x3f ? AnswerScan::IN_PARAMETERS : AnswerScan::OUTSIDE;
  }
  return false;
}

// Reads and drops what the terminal sends until the owed answer has come or
// its time is up, so the shell never receives a reply. Async-signal-safe.
void drop_owed_answer() {
  if (!answer_owed) return;
  answer_owed = 0;
  AnswerScan scan;
  for (;;) {
    unsigned char bytes[64];
    const ssize_t got = read(device.fd, bytes, sizeof bytes);
    for (ssize_t i = 0; i < got; ++i)
      if (answer_ends_with(scan, bytes[i])) return;
    if (got > 0 || (got == -1 && errno == EINTR)) continue;
    if (!wait_for(POLLIN, device.answer_due_ns)) return;
  }
}

// Game mode on top of the modes found (below).
termios game_modes(const termios& found);

// Gives the terminal back: the owed answer read, the screen modes off, then
// the found modes, so the shell finds its screen and its keyboard as it left
// them, and the keys typed and never read dropped, or they would reach it.
// Nothing can be done from the background.
void give_back() {
  if (!modes_on || !in_foreground()) return;
  drop_owed_answer();
  write_bounded(screen_modes_off, static_cast<size_t>(screen_modes_off_size));
  set_modes(device.found);
  tcflush(device.fd, TCIFLUSH);
  modes_on = 0;
}

// Takes the terminal again in the foreground: the modes it has now are what
// the player left (stty while the game was stopped) and what the game restores
// later, unless they are still the game's own (a stop the shell never saw);
// then game mode, the screen modes unless still on, and (by the main loop)
// the whole screen. False outside the foreground, or when the terminal
// refused game mode (errno tells why).
bool take_again() {
  if (!in_foreground()) return false;
  termios now{};
  if (tcgetattr(device.fd, &now) == 0 && !same_modes(now, device.game)) {
    device.found = now;
    device.game = game_modes(now);
  }
  if (!set_modes(device.game)) return false;
  if (!modes_on) write_bounded(screen_modes_on, static_cast<size_t>(screen_modes_on_size));
  modes_on = 1;
  times_taken = times_taken + 1;
  resumed = 1;
  // A job in the background is not sent SIGWINCH (its shell is), so the size
  // is read again in case the window changed meanwhile.
  resized = 1;
  return true;
}

// The changes of state the table holds; none turns a state into itself.
bool allowed(TerminalState from, TerminalState to) {
  switch (to) {
    case CLOSED: return from == GIVEN_BACK;
    case IN_GAME: return from == CLOSED || from == STOPPED || from == IN_BACKGROUND;
    case STOPPED: return from == IN_GAME || from == IN_BACKGROUND;
    case IN_BACKGROUND: return from == CLOSED || from == IN_GAME || from == STOPPED;
    case GIVEN_BACK: return from == IN_GAME || from == STOPPED || from == IN_BACKGROUND;
  }
  return false;
}

// The one way the state changes, from the main code and the handlers alike,
// with every handled signal blocked. Checks the state it leaves and refuses a
// change the table does not hold; into game only in the foreground. Returns
// whether the state changed. Async-signal-safe.
bool change_state(TerminalState to) {
  sigset_t before;
  sigprocmask(SIG_BLOCK, &device.handled, &before);
  const TerminalState from = static_cast<TerminalState>(terminal_state);
  bool changed = allowed(from, to);
  if (changed && to == IN_GAME) changed = take_again();
  if (changed && (to == STOPPED || to == GIVEN_BACK)) give_back();
  if (changed) terminal_state = to;
  sigprocmask(SIG_SETMASK, &before, nullptr);
  return changed;
}

// Where the terminal goes once the process runs again: in game in the
// foreground, else in the background.
void carry_on() {
  if (!change_state(IN_GAME)) change_state(IN_BACKGROUND);
}

// The main code holds every handled signal back around what a handler must
// see whole.
void block_handled(sigset_t& before) { sigprocmask(SIG_BLOCK, &device.handled, &before); }
void unblock_handled(const sigset_t& before) { sigprocmask(SIG_SETMASK, &before, nullptr); }

void set_handler(int sig, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_mask = device.handled;
  action.sa_flags = SA_RESTART | SA_ONSTACK;
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

// A stopped game ends at once: the terminal was given back at the stop.
void on_ending_signal(int sig) {
  change_state(GIVEN_BACK);
  die_by(sig);
}

void on_stop_signal(int sig) {
  int saved_errno = errno;
  change_state(STOPPED);
  set_handler(SIGTSTP, SIG_DFL);
  raise(SIGTSTP);
  // The process stops here, with the terminal as the shell expects it, and
  // carries on from here after SIGCONT; an ending signal sent meanwhile (the
  // shell's kill sends SIGTERM, then SIGCONT) waits for this handler's end
  // and finds the terminal given back. The kernel discards the stop for a
  // process whose group has no parent in its session (a program started
  // directly by a terminal emulator, say): it never stopped and no SIGCONT
  // comes. Either way the terminal is taken again here when the process is
  // in the foreground; continued in the background, the program holds in its
  // wait until it is in the foreground again.
  unblock(SIGTSTP);
  set_handler(sig, on_stop_signal);
  if (terminal_state == STOPPED) carry_on();
  errno = saved_errno;
}

void on_continue(int) {
  int saved_errno = errno;
  // In game, the process was stopped by a signal no handler sees (SIGSTOP),
  // or the stop handler took the terminal already: either way the shell may
  // have had it meanwhile, set its own modes and shown its screen, and the
  // process may now be in the background.
  if (terminal_state == IN_GAME) change_state(IN_BACKGROUND);
  if (terminal_state == IN_BACKGROUND) change_state(IN_GAME);
  if (terminal_state == STOPPED) carry_on();
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

void use_signal_stack() {
  stack_t stack{};
  stack.ss_sp = signal_stack;
  stack.ss_size = sizeof signal_stack;
  sigaltstack(&stack, nullptr);
}

void install_handlers() {
  if (device.handlers_installed) return;
  device.handlers_installed = true;
  sigemptyset(&device.handled);
  for_each_ending_signal([](int sig) { sigaddset(&device.handled, sig); });
  for (int sig : MAIN_LOOP_SIGNALS) sigaddset(&device.handled, sig);
  sigaddset(&device.handled, SIGTSTP);
  use_signal_stack();
  atexit(at_exit);
  for_each_ending_signal([](int sig) {
    if (!was_ignored(sig)) set_handler(sig, on_ending_signal);
  });
  if (!was_ignored(SIGTSTP)) set_handler(SIGTSTP, on_stop_signal);
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
  if (why != nullptr && why_size > 0) snprintf(why, why_size, "%s: %s", what, strerror(error));
}

bool gone_error(int error) { return error == EIO || error == ENXIO; }

timespec span_of(int64_t ns) {
  timespec span{};
  span.tv_sec = static_cast<time_t>(ns / 1000000000);
  span.tv_nsec = static_cast<long>(ns % 1000000000);
  return span;
}

// In the background the program holds here and checks, every
// BACKGROUND_CHECK_MS and at every signal, whether it is in the foreground
// again, where it takes the terminal as after a stop: the shell's fg sends no
// SIGCONT to a job that runs. A hang-up ends it, as in the foreground; so does
// an ending signal.
void hold_in_background() {
  const timespec check = span_of(BACKGROUND_CHECK_MS * NS_PER_MS);
  while (terminal_state == IN_BACKGROUND || terminal_state == STOPPED) {
    pollfd watched{device.fd, 0, 0};  // a hang-up is told whatever is asked
    signal_wait_poll(&watched, 1, &check);
    if ((watched.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) device_hang_up();
    if (terminal_state == IN_BACKGROUND)
      change_state(IN_GAME);
    else if (terminal_state == STOPPED)
      carry_on();
  }
}

}  // namespace

bool device_open(char* why, size_t why_size) {
  if (device.fd >= 0) return true;
  // Non-blocking, so no write of a handler waits for ever on a terminal that
  // stopped reading; the descriptor is this process's own, no one else's.
  int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
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
  answer_owed = 0;
  ending = 0;
  modes_on = 0;
  if (in_foreground()) {
    if (!change_state(IN_GAME)) {
      const int error = errno;
      signal_wait_release();
      device.fd = -1;
      close(fd);
      set_reason(why, why_size, "cannot set the terminal's modes", error);
      return false;
    }
  } else {
    // Started in the background (vormi &): setting the modes from there would
    // stop the program with its signals held back, beyond the reach of kill.
    change_state(IN_BACKGROUND);
    hold_in_background();
    read_size(fd, device.columns, device.rows);
  }
  // Nothing is drawn yet, so nothing is to be drawn again.
  resumed = 0;
  resized = 0;
  return true;
}

void device_ending() { ending = 1; }

// Nobody can see or play: the process ends as a hang-up ends it, whether or
// not SIGHUP is ignored (nohup).
void device_hang_up() {
  change_state(GIVEN_BACK);
  die_by(SIGHUP);
}

void device_close() {
  if (device.fd < 0) return;
  // A stop that comes meanwhile waits for the end and then finds the
  // terminal given back: it stops the process and takes nothing again.
  sigset_t before;
  block_handled(before);
  change_state(GIVEN_BACK);
  change_state(CLOSED);
  screen_modes_on_size = 0;
  screen_modes_off_size = 0;
  int fd = device.fd;
  device.fd = -1;
  close(fd);
  unblock_handled(before);
  signal_wait_release();
}

void terminal_expect_answer(int within_ms) {
  device.answer_due_ns = monotonic_ns() + static_cast<int64_t>(within_ms) * NS_PER_MS;
  answer_owed = 1;
}

void terminal_answer_came() { answer_owed = 0; }

bool terminal_answer_owed() { return answer_owed && monotonic_ns() < device.answer_due_ns; }

void terminal_switch_screen_modes(const char* now, const char* on, const char* off) {
  const size_t on_size = strlen(on);
  const size_t off_size = strlen(off);
  if (device.fd < 0 || on_size > SCREEN_MODES_CAPACITY || off_size > SCREEN_MODES_CAPACITY) return;
  // A signal sees the old bytes with the old modes or the new with the new;
  // the write is bounded as a handler's is, since the signals wait for it.
  sigset_t before;
  block_handled(before);
  if (terminal_state == IN_GAME) write_bounded(now, strlen(now));
  memcpy(screen_modes_on, on, on_size);
  memcpy(screen_modes_off, off, off_size);
  screen_modes_on_size = static_cast<sig_atomic_t>(on_size);
  screen_modes_off_size = static_cast<sig_atomic_t>(off_size);
  unblock_handled(before);
}

bool terminal_raise_for_key(int character) {
  if (device.fd < 0 || (device.game.c_lflag & ISIG) == 0 || character == _POSIX_VDISABLE)
    return false;
  int sig = 0;
  if (character == device.game.c_cc[VINTR])
    sig = SIGINT;
  else if (character == device.game.c_cc[VSUSP])
    sig = SIGTSTP;
  else
    return false;
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

// Outside the foreground nothing is written or read: a stop no handler saw
// (SIGSTOP) and the shell's bg may have put the program in the background
// while it drew, and the SIGCONT that says so comes in the next wait.
void terminal_write(const char* data, size_t size) {
  if (device.fd < 0 || !in_foreground()) return;
  // Nothing else is to be done about a failed write.
  if (!write_in_game(data, size) && gone_error(errno)) device_hang_up();
}

size_t terminal_read(char* buffer, size_t capacity) {
  // Given back, the terminal's input is the shell's.
  if (device.fd < 0 || capacity == 0 || terminal_state != IN_GAME || !in_foreground()) return 0;
  // VMIN 0 and VTIME 0 (and a descriptor that never blocks): the read
  // returns at once with what is there.
  ssize_t got = read(device.fd, buffer, capacity);
  if (got > 0) return static_cast<size_t>(got);
  if (got == -1 && gone_error(errno)) device_hang_up();
  return 0;
}

namespace {

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
  if (terminal_state == IN_BACKGROUND || terminal_state == STOPPED) {
    hold_in_background();
    return false;  // resumed: the caller repaints before it waits again
  }
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
  if (ready < 0) return false;
  if ((watched.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) device_hang_up();
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
  if (resumed == 0) return false;
  resumed = 0;
  return true;
}

bool device_take_resized() {
  if (resized == 0) return false;
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
