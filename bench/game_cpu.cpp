// CPU time a running game takes: the real binary on a pseudo-terminal, read
// from /proc/<pid>/schedstat (nanoseconds on the CPU) while nobody types.
//   bench_game_cpu [seconds]   (default 10)
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "start_game.h"
#include "support/pty_session.h"

namespace {

long long cpu_ns(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/schedstat");
  long long ns = -1;
  in >> ns;
  return ns;
}

// Runs a game at the speed for the time (or until its banner) and prints the
// share of one core it used.
void measure(char speed, int ms, const std::string& how, const std::string& keys) {
  vormi::test::PtySession game({VORMI_BINARY}, 80, 25, "/tmp");
  if (!start_game(game, speed)) {
    std::printf("speed %c: could not start a game\n", speed);
    return;
  }
  long long before = cpu_ns(game.pid());
  int elapsed = 0;
  // Keys, when given, are typed one every 500 ms to drive the vormi round a square.
  size_t next_key = 0;
  while (elapsed < ms) {
    game.pump(keys.empty() ? 100 : 500);
    elapsed += keys.empty() ? 100 : 500;
    if (game.output().find(":'#######::'##") != std::string::npos) break;  // the banner
    if (!keys.empty()) {
      game.send(keys.substr(next_key, 3));
      next_key = (next_key + 3) % keys.size();
    }
  }
  long long used = cpu_ns(game.pid()) - before;
  std::printf("speed %c, %s: %.3f s of CPU in %.1f s of play = %.3f%% of one core\n", speed,
              how.c_str(), used / 1e9, elapsed / 1000.0, 100.0 * used / 1e6 / elapsed);
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
  measure('1', seconds * 1000, "no keys", "");
  measure('9', seconds * 1000, "no keys, until the wall", "");
  measure('9', seconds * 1000, "steered round a square", "\x1b[A\x1b[C\x1b[B\x1b[D");
  return 0;
}
