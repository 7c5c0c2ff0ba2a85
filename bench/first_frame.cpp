// The first frame: from starting the real binary on a pseudo-terminal to the
// welcome screen's last line on it, with the terminal answering the start-up
// query as soon as it has read it, 50 ms later, 300 ms later (a remote login
// across an ocean) and never. Each binary named is measured in turn, so a
// build from before a change and one from after it compare in one run.
//   bench_first_frame [samples] [binary...]   (default 20, the game built here)
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/pty_session.h"
#include "timing.h"

namespace {

using vormi::test::PtySession;
using vormi::test::TerminalAnswers;

const char WELCOME_LAST_LINE[] = "Press Any Key To Continue...";
constexpr int NEVER = -1;
constexpr int GIVE_UP_MS = 3000;

// Milliseconds from the start to the welcome, the terminal answering
// answer_after_ms after it read the query; negative when it never showed.
double first_frame_ms(const std::string& binary, int answer_after_ms) {
  const double started = now_ms();
  PtySession game({binary}, 80, 25, "/tmp", TerminalAnswers::NOTHING);
  double asked_at = -1;
  bool answered = false;
  while (game.screen().text().find(WELCOME_LAST_LINE) == std::string::npos) {
    const double now = now_ms();
    if (now - started > GIVE_UP_MS) return -1;
    if (asked_at < 0 && game.output().find(vormi::test::ATTRIBUTES_QUERY) != std::string::npos)
      asked_at = now;
    if (asked_at >= 0 && !answered && answer_after_ms != NEVER &&
        now - asked_at >= answer_after_ms) {
      game.send(replies_of(TerminalAnswers::KEYBOARD_AND_SYNC));
      answered = true;
    }
    // Returns as soon as output arrives: the welcome is timed as it comes.
    game.pump_once(1);
  }
  return now_ms() - started;
}

std::string when(int answer_after_ms) {
  if (answer_after_ms == NEVER) return "never";
  if (answer_after_ms == 0) return "at once";
  return "after " + std::to_string(answer_after_ms) + " ms";
}

void measure(const std::string& binary, int answer_after_ms, int samples) {
  std::vector<double> times;
  for (int i = 0; i < samples; ++i) {
    const double took = first_frame_ms(binary, answer_after_ms);
    if (took >= 0) times.push_back(took);
  }
  report(("  answering " + when(answer_after_ms)).c_str(), times);
}

}  // namespace

int main(int argc, char** argv) {
  const int samples = argc > 1 ? std::atoi(argv[1]) : 20;
  std::vector<std::string> binaries;
  // Named from here, started from /tmp.
  for (int i = 2; i < argc; ++i) {
    char* path = realpath(argv[i], nullptr);
    binaries.push_back(path != nullptr ? path : argv[i]);
    std::free(path);
  }
  if (binaries.empty()) binaries.push_back(VORMI_BINARY);
  for (const std::string& binary : binaries) {
    first_frame_ms(binary, 0);  // a first start loads the program
    std::printf("%s: start to the welcome\n", binary.c_str());
    for (int answer_after_ms : {0, 50, 300, NEVER}) measure(binary, answer_after_ms, samples);
  }
  return 0;
}
