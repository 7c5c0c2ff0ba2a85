#include "job_control.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vormi::probe {

namespace {

void write_text(const char* text, size_t size) {
  ssize_t ignored = write(STDOUT_FILENO, text, size);
  (void)ignored;
}

// Reads up to and including a newline from the terminal, in its line mode.
void read_line() {
  char c = 0;
  while (read(STDIN_FILENO, &c, 1) == 1 && c != '\n') {
  }
}

}  // namespace

int run_as_job(int (*program)()) {
  // A shell taking the terminal back from a stopped job is not in the
  // foreground at that moment.
  signal(SIGTTOU, SIG_IGN);
  pid_t child = fork();
  if (child < 0) {
    return 70;
  }
  if (child == 0) {
    signal(SIGTTOU, SIG_DFL);
    setpgid(0, 0);
    // Changing the modes from the background would stop the program at once.
    while (tcgetpgrp(STDIN_FILENO) != getpgrp()) {
      usleep(1000);
    }
    return program();
  }
  setpgid(child, child);
  tcsetpgrp(STDIN_FILENO, child);
  for (;;) {
    int status = 0;
    if (waitpid(child, &status, WUNTRACED) < 0) {
      return 71;
    }
    if (WIFEXITED(status)) {
      return WEXITSTATUS(status);
    }
    if (WIFSIGNALED(status)) {
      return 128 + WTERMSIG(status);
    }
    tcsetpgrp(STDIN_FILENO, getpgrp());
    static const char stopped[] = "\nstopped\n";
    write_text(stopped, sizeof stopped - 1);
    read_line();
    tcsetpgrp(STDIN_FILENO, child);
    kill(-child, SIGCONT);
  }
}

}  // namespace vormi::probe
