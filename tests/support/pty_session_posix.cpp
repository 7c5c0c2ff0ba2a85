#include "support/pty_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>

extern char** environ;

namespace vormi::test {

namespace {

int64_t now_ms() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error("PtySession: " + what + ": " + strerror(errno));
}

bool replaced_variable(const char* entry) {
  static const char* const names[] = {"TERM=", "LANG=", "LC_"};
  for (const char* name : names)
    if (strncmp(entry, name, strlen(name)) == 0) return true;
  return false;
}

// The test's environment with the terminal type and the locale fixed, so the
// program sees the same terminal wherever the tests run.
std::vector<std::string> child_environment() {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry)
    if (!replaced_variable(*entry)) env.emplace_back(*entry);
  env.emplace_back("TERM=xterm-256color");
  env.emplace_back("LANG=C.UTF-8");
  env.emplace_back("LC_ALL=C.UTF-8");
  return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (std::string& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

// Runs in the child between fork and exec: only async-signal-safe calls.
[[noreturn]] void start_child(const char* slave_name, const char* cwd, char* const* argv,
                              char* const* envp) {
  setsid();
  int slave =
      open(slave_name, O_RDWR);  // the first terminal a session leader opens becomes its own
  if (slave < 0) _exit(126);
  ioctl(slave, TIOCSCTTY, 0);
  dup2(slave, 0);
  dup2(slave, 1);
  dup2(slave, 2);
  if (slave > 2) close(slave);
  // The program must see the ending signals as a shell would give them to it.
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP, SIGPIPE, SIGCONT})
    signal(sig, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  if (cwd[0] != '\0' && chdir(cwd) != 0) _exit(126);
  execve(argv[0], argv, envp);
  static const char message[] = "PtySession: exec failed\r\n";
  ssize_t ignored = write(2, message, sizeof message - 1);
  (void)ignored;
  _exit(127);
}

}  // namespace

PtySession::PtySession(const std::vector<std::string>& argv, int columns, int rows,
                       const std::string& cwd, TerminalAnswers answers)
    : answers_(answers), screen_(columns, rows) {
  if (argv.empty()) throw std::invalid_argument("PtySession: no program");
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) fail("posix_openpt");
  if (grantpt(master_) != 0 || unlockpt(master_) != 0) fail("grantpt/unlockpt");
#if VORMI_HAVE_PTSNAME_R
  char slave_name[128];
  if (ptsname_r(master_, slave_name, sizeof slave_name) != 0) fail("ptsname_r");
#else
  // No ptsname_r (OpenBSD): ptsname's own buffer, read before anything else calls it.
  const char* slave_name = ptsname(master_);
  if (slave_name == nullptr) fail("ptsname");
#endif
  // Held open for the whole session: the modes stay readable after the program
  // ends, and the master never reports a hang-up while the test reads it.
  slave_ = open(slave_name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) fail("open slave");
  winsize size{};
  size.ws_col = static_cast<unsigned short>(columns);
  size.ws_row = static_cast<unsigned short>(rows);
  if (ioctl(master_, TIOCSWINSZ, &size) != 0) fail("TIOCSWINSZ");
  if (tcgetattr(slave_, &initial_modes_) != 0) fail("tcgetattr");

  std::vector<std::string> args = argv;
  std::vector<std::string> env = child_environment();
  std::vector<char*> arg_pointers = pointers(args);
  std::vector<char*> env_pointers = pointers(env);
  pid_ = fork();
  if (pid_ < 0) fail("fork");
  if (pid_ == 0) start_child(slave_name, cwd.c_str(), arg_pointers.data(), env_pointers.data());
}

PtySession::~PtySession() {
  if (pid_ > 0 && !exited_) {
    kill(pid_, SIGKILL);
    kill(pid_, SIGCONT);
    while (waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
    }
  }
  if (master_ >= 0) close(master_);
  if (slave_ >= 0) close(slave_);
}

namespace {

// Reads whatever the master has within wait_ms; false when nothing came.
bool read_master(int master, int wait_ms, std::string& into) {
  pollfd watched{master, POLLIN, 0};
  int ready = poll(&watched, 1, wait_ms);
  if (ready <= 0 || (watched.revents & POLLIN) == 0) return false;
  char buffer[4096];
  ssize_t got = read(master, buffer, sizeof buffer);
  // EIO (the other side fully closed) ends the output; nothing more will come.
  if (got <= 0) return false;
  into.append(buffer, static_cast<size_t>(got));
  return true;
}

}  // namespace

// One slice of reading: at most slice_ms, then a look whether the program
// ended. The terminal answers the start-up query as soon as it has read it.
bool PtySession::read_slice(int slice_ms) {
  std::string chunk;
  bool got = read_master(master_, slice_ms, chunk);
  if (got) {
    screen_.feed(chunk);
    output_ += chunk;
    if (!answered_ && output_.find(ATTRIBUTES_QUERY) != std::string::npos) {
      answered_ = true;
      send(replies_of(answers_));
    }
  }
  if (!exited_ && waitpid(pid_, &status_, WNOHANG) == pid_) exited_ = true;
  return got;
}

void PtySession::send(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t written = write(master_, bytes.data() + done, bytes.size() - done);
    if (written > 0)
      done += static_cast<size_t>(written);
    else if (!(written < 0 && errno == EINTR))
      fail("write to the terminal");
  }
}

bool PtySession::wait_for(const std::string& text, int timeout_ms) {
  int64_t deadline = now_ms() + timeout_ms;
  for (;;) {
    if (screen_.text().find(text) != std::string::npos) return true;
    int64_t left = deadline - now_ms();
    if (left <= 0) return false;
    bool got = read_slice(static_cast<int>(left < 20 ? left : 20));
    // Once the program has ended and its output is drained, the text cannot come.
    if (exited_ && !got && !read_slice(0)) return screen_.text().find(text) != std::string::npos;
  }
}

bool PtySession::pump_once(int timeout_ms) { return read_slice(timeout_ms); }

void PtySession::pump(int ms) {
  int64_t deadline = now_ms() + ms;
  for (;;) {
    int64_t left = deadline - now_ms();
    if (left <= 0) return;
    bool got = read_slice(static_cast<int>(left < 20 ? left : 20));
    if (exited_ && !got) return;
  }
}

bool PtySession::wait_exit(int& status, int timeout_ms) {
  int64_t deadline = now_ms() + timeout_ms;
  while (!exited_) {
    int64_t left = deadline - now_ms();
    if (left <= 0) return false;
    read_slice(static_cast<int>(left < 20 ? left : 20));
  }
  // Whatever the program wrote last is still in the master's buffer.
  while (read_slice(0)) {
  }
  status = status_;
  return true;
}

std::string PtySession::shell_line() {
  send("\n");
  char line[256];
  pollfd watched{slave_, POLLIN, 0};
  const ssize_t got = poll(&watched, 1, 2000) > 0 ? read(slave_, line, sizeof line) : 0;
  return std::string(line, got > 0 ? static_cast<size_t>(got) : 0);
}

void PtySession::signal(int sig) {
  if (pid_ > 0 && !exited_) kill(pid_, sig);
}

void PtySession::hold_output(bool held) {
  if (tcflow(slave_, held ? TCOOFF : TCOON) != 0) fail("tcflow");
}

pid_t PtySession::foreground_group() const { return tcgetpgrp(master_); }

void PtySession::hang_up() {
  close(master_);
  master_ = -1;
}

void PtySession::resize(int columns, int rows) {
  // What the program wrote for the old size is read in that size first.
  while (read_slice(0)) {
  }
  winsize size{};
  size.ws_col = static_cast<unsigned short>(columns);
  size.ws_row = static_cast<unsigned short>(rows);
  if (ioctl(master_, TIOCSWINSZ, &size) != 0) fail("TIOCSWINSZ");
  screen_.resize(columns, rows);
}

int PtySession::unread_input() const {
  int count = 0;
  return ioctl(slave_, FIONREAD, &count) == 0 ? count : -1;
}

termios PtySession::modes() const {
  termios now{};
  if (tcgetattr(slave_, &now) != 0) throw std::runtime_error("PtySession: tcgetattr failed");
  return now;
}

void PtySession::set_modes(const termios& modes) {
  if (tcsetattr(slave_, TCSANOW, &modes) != 0) fail("tcsetattr");
}

bool same_modes(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

}  // namespace vormi::test
