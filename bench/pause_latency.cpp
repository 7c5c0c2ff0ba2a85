// What the keyboard enhancement protocol buys: the real binary on a
// pseudo-terminal whose other side answers the start-up query as each kind of
// terminal does, timed from the Esc key's bytes written to "**Paused**" on the
// screen, in a game at speed 1, as a lone ESC byte (a terminal without the
// protocol) and as CSI 27 u (one with it). Medians and extremes of the
// samples. What asking costs at start-up: bench_first_frame.
//   bench_pause_latency [samples] [binary]   (default 30, the game built here)
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "start_game.h"
#include "support/pty_session.h"
#include "timing.h"

namespace {

using vormi::test::PtySession;
using vormi::test::TerminalAnswers;

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
  measure_pause(binary, TerminalAnswers::ATTRIBUTES_ONLY, "\x1b", samples);
  measure_pause(binary, TerminalAnswers::KEYBOARD_AND_SYNC, "\x1b[27u", samples);
  return 0;
}
