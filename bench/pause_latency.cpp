// What asking the terminal costs and what it buys: the real binary on a
// pseudo-terminal whose other side answers the start-up query as each kind
// of terminal does.
//   - start-up: from the start of the program to the welcome screen drawn;
//   - pause: from the Esc key's bytes written to "**Paused**" on the screen,
//     in a game at speed 1, as a lone ESC byte (a terminal without the
//     keyboard enhancement protocol) and as CSI 27 u (one with it).
// Medians and extremes of the samples.
//   bench_pause_latency [samples] [binary]   (default 30, the game built here)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "start_game.h"
#include "support/pty_session.h"

namespace {

using vormi::test::PtySession;
using vormi::test::TerminalAnswers;

double now_ms() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void report(const char* what, std::vector<double> samples) {
  if (samples.empty()) {
    std::printf("%-44s no samples\n", what);
    return;
  }
  std::sort(samples.begin(), samples.end());
  std::printf("%-44s median %7.2f ms, min %7.2f, max %7.2f (%zu samples)\n", what,
              samples[samples.size() / 2], samples.front(), samples.back(), samples.size());
}

// Waits, reading as the output comes, until text is on the screen; the time
// it appeared, or a negative number after timeout_ms.
double time_of(PtySession& session, const std::string& text, int timeout_ms = 3000) {
  const double deadline = now_ms() + timeout_ms;
  while (session.screen().text().find(text) == std::string::npos) {
    if (now_ms() > deadline) return -1;
    session.pump_once(5);
  }
  return now_ms();
}

void measure_start(const std::string& binary, TerminalAnswers answers, int samples) {
  std::vector<double> times;
  for (int i = 0; i < samples; ++i) {
    const double started = now_ms();
    PtySession game({binary}, 80, 25, "/tmp", answers);
    const double shown = time_of(game, "Press Any Key To Continue");
    if (shown >= 0) times.push_back(shown - started);
  }
  report((std::string("start-up, terminal answering ") + name_of(answers)).c_str(), times);
}

void measure_pause(const std::string& binary, TerminalAnswers answers, const std::string& esc,
                   int samples) {
  PtySession game({binary}, 80, 25, "/tmp", answers);
  if (!start_game(game, '1')) {
    std::printf("could not start a game\n");
    return;
  }
  std::vector<double> times;
  for (int i = 0; i < samples; ++i) {
    const double sent = now_ms();
    game.send(esc);
    const double paused = time_of(game, "**Paused**");
    if (paused < 0) break;
    times.push_back(paused - sent);
    game.send("x");  // any key resumes
    while (game.screen().text().find("**Paused**") != std::string::npos) game.pump_once(5);
  }
  report((std::string("Esc to Paused, ") + name_of(answers)).c_str(), times);
}

}  // namespace

int main(int argc, char** argv) {
  const int samples = argc > 1 ? std::atoi(argv[1]) : 30;
  const std::string binary = argc > 2 ? argv[2] : VORMI_BINARY;
  measure_start(binary, TerminalAnswers::ATTRIBUTES_ONLY, 3);  // a first start loads the program
  std::printf("---\n");
  for (TerminalAnswers answers : {TerminalAnswers::KEYBOARD_AND_SYNC,
                                  TerminalAnswers::ATTRIBUTES_ONLY, TerminalAnswers::NOTHING}) {
    measure_start(binary, answers, samples);
  }
  measure_pause(binary, TerminalAnswers::ATTRIBUTES_ONLY, "\x1b", samples);
  measure_pause(binary, TerminalAnswers::KEYBOARD_AND_SYNC, "\x1b[27u", samples);
  return 0;
}
