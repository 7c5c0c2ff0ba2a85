// The time from one step to the next against the tick interval: the real
// binary on a pseudo-terminal, each step seen as the output burst that draws
// the head glyph, timed as it arrives.
//   bench_step_timing [seconds]   (default 10)
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "start_game.h"
#include "support/pty_session.h"
#include "timing.h"

namespace {

const std::string HEAD = "\u2592";

void measure(char speed, int tick, int ms) {
  vormi::test::PtySession game({VORMI_BINARY}, 80, 25, "/tmp");
  if (!start_game(game, speed)) {
    std::printf("speed %c: could not start a game\n", speed);
    return;
  }
  double start = now_ms();
  std::vector<double> steps;
  size_t seen = game.output().size();
  while (now_ms() - start < ms) {
    // Timed the moment the burst arrives, not after a fixed slice.
    game.pump_once(20);
    const std::string& out = game.output();
    if (out.size() == seen) continue;
    bool step = out.find(HEAD, seen) != std::string::npos;
    seen = out.size();
    if (step) steps.push_back(now_ms());
    if (out.find(":'#######::'##") != std::string::npos) break;  // the banner
  }
  double worst = 0;
  double sum = 0;
  for (size_t i = 1; i < steps.size(); ++i) {
    double gap = steps[i] - steps[i - 1];
    sum += gap;
    worst = std::fmax(worst, std::fabs(gap - tick));
  }
  int gaps = static_cast<int>(steps.size()) - 1;
  std::printf("speed %c (tick %d ms): %d gaps, mean %.2f ms, worst off by %.2f ms\n", speed, tick,
              gaps, gaps > 0 ? sum / gaps : 0.0, worst);
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
  measure('1', 900, seconds * 1000);
  measure('5', 500, seconds * 1000);
  measure('9', 100, seconds * 1000);
  return 0;
}
