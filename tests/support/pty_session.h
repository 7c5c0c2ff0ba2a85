// A program started on a fresh pseudo-terminal, as its controlling terminal,
// with a libvterm screen on the other side for the test to read.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <string>
#include <vector>

#include "support/screen.h"
#include "support/terminal_answers.h"

namespace vormi::test {

class PtySession {
 public:
  // Starts argv[0] with the given arguments in directory cwd ("" keeps the
  // test's own), on a terminal of columns x rows that answers the program's
  // start-up query as answers says, once it has read the query.
  PtySession(const std::vector<std::string>& argv, int columns = 80, int rows = 25,
             const std::string& cwd = "",
             TerminalAnswers answers = TerminalAnswers::ATTRIBUTES_ONLY);
  ~PtySession();  // kills the program if it still runs
  PtySession(const PtySession&) = delete;
  PtySession& operator=(const PtySession&) = delete;

  // Types bytes into the terminal.
  void send(const std::string& bytes);
  // Reads the program's output into the screen until text appears on it;
  // false when it has not appeared after timeout_ms.
  bool wait_for(const std::string& text, int timeout_ms = 5000);
  // Reads output for ms milliseconds (or until the program ends).
  void pump(int ms);
  // Reads what the program writes next, waiting at most timeout_ms for it;
  // returns as soon as something arrived (true) or the time is up (false).
  bool pump_once(int timeout_ms);
  // Waits for the program to end; false on time-out. status is the raw wait status.
  bool wait_exit(int& status, int timeout_ms = 5000);
  // Once the program has given the terminal back: types Enter and returns the
  // line the shell then reads, so whatever the program left in the terminal's
  // input shows; "\n" when it left nothing.
  std::string shell_line();
  void signal(int sig);
  // Stops the terminal taking the program's output (held), so its writes
  // block, as on a frozen emulator or a stalled link; or lets it go on.
  void hold_output(bool held);
  // The terminal's foreground process group: the job a shell runs in it.
  pid_t foreground_group() const;
  // Hangs the terminal up, as when its window closes; nothing can be sent or
  // read after it.
  void hang_up();
  // Gives the terminal a new size, as a window manager or tmux does: the
  // kernel sends the program SIGWINCH, and the test's screen takes the size.
  void resize(int columns, int rows);

  Screen& screen() { return screen_; }
  // All bytes the program has written so far.
  const std::string& output() const { return output_; }
  // Bytes typed into the terminal that the program has not read yet.
  int unread_input() const;
  // The terminal's modes as the test side of the pseudo-terminal sees them now.
  termios modes() const;
  // Sets the terminal's modes, as stty does.
  void set_modes(const termios& modes);
  // The modes the terminal had before the program started.
  const termios& initial_modes() const { return initial_modes_; }
  pid_t pid() const { return pid_; }

 private:
  bool read_slice(int slice_ms);

  TerminalAnswers answers_;
  bool answered_ = false;
  int master_ = -1;
  int slave_ = -1;
  pid_t pid_ = -1;
  bool exited_ = false;
  int status_ = 0;
  termios initial_modes_{};
  Screen screen_;
  std::string output_;
};

// True when two sets of terminal modes are the same in every flag and control character.
bool same_modes(const termios& a, const termios& b);

}  // namespace vormi::test
