#include "job_control.h"

#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vormi::probe {

namespace {

void write_text(const char* text, size_t size) {
  ssize_t ignored = write(STDOUT_FILENO, text, size);
  (void)ignored;
}

// Reads a line from the terminal, in its line mode: "fg" or "kill", as the
// shell's commands are; anything else is no command and is read past.
int read_command() {
  for (;;) {
    char line[64];
    const ssize_t got = read(STDIN_FILENO, line, sizeof line);
    if (got <= 0) return 'k';
    if (got == 3 && memcmp(line, "fg\n", 3) == 0) return 'f';
    if (got == 5 && memcmp(line, "kill\n", 5) == 0) return 'k';
    static const char unknown[] = "no such command\n";
    write_text(unknown, sizeof unknown - 1);
  }
}

}  // namespace

int run_as_job(int (*program)()) {
  // A shell taking the terminal back from a stopped job is not in the
  // foreground at that moment.
  signal(SIGTTOU, SIG_IGN);
  pid_t child = fork();
  if (child < 0) return 70;
  if (child == 0) {
    signal(SIGTTOU, SIG_DFL);
    setpgid(0, 0);
    // Changing the modes from the background would stop the program at once.
    while (tcgetpgrp(STDIN_FILENO) != getpgrp()) usleep(1000);
    return program();
  }
  setpgid(child, child);
  tcsetpgrp(STDIN_FILENO, child);
  for (;;) {
    int status = 0;
    if (waitpid(child, &status, WUNTRACED) < 0) return 71;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    tcsetpgrp(STDIN_FILENO, getpgrp());
    static const char stopped[] = "\nstopped\n";
    write_text(stopped, sizeof stopped - 1);
    if (read_command() == 'k') {
      // As a shell kills a stopped job: the job stays in the background.
      kill(-child, SIGTERM);
      kill(-child, SIGCONT);
      continue;
    }
    tcsetpgrp(STDIN_FILENO, child);
    kill(-child, SIGCONT);
  }
}

}  // namespace vormi::probe
