// A small program on the real terminal device, for the end-to-end tests and
// the idle benchmark. It uses the console operations only.
//
//   console_probe keys      clears the screen, draws the four glyphs at columns
//                           5 to 8 of row 3, writes "ready" at (1,1), then shows
//                           each key code as "code=N" on rows 10 to 19 in turn;
//                           the key q ends it by exit(0).
//   console_probe resized   "keys", with a change of size signalled before
//                           the screen is drawn, as one that lands while the
//                           program draws.
//   console_probe job       runs "keys" as a job under a minimal job-control
//                           shell (job_control.h), for Ctrl+Z and fg.
//   console_probe stops     as a job, draws three frames; in the middle of
//                           each it stops itself, as a Ctrl+Z that lands
//                           while the program draws. Frame N shows "ready N"
//                           on row 1, "after" on row 2 and "round N: before"
//                           on row 3, then waits for a key and shows its code
//                           on row 5; after the third key it ends by exit(0).
//   console_probe idle MS   writes "idle" at (1,1), waits up to MS milliseconds
//                           for a key, writes "done" and ends by exit(0).
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console/console.h"
#include "job_control.h"

namespace {

constexpr int GLYPHS[] = {0xB1, 0xB2, 0xDB, 0xFE};

// As the game starts: without a terminal fit to play on, one line and status 2.
void start() {
  char why[256] = "";
  if (vormi::console_start(why, sizeof why)) return;
  fprintf(stderr, "probe: %s\n", why);
  exit(2);
}
constexpr int FIRST_CODE_ROW = 10;
constexpr int CODE_ROWS = 10;

int show_keys() {
  vormi::console_clear();
  for (int i = 0; i < 4; ++i) {
    vormi::console_goto(5 + i, 3);
    vormi::console_print("%c", GLYPHS[i]);
  }
  vormi::console_goto(1, 1);
  vormi::console_print("ready");
  for (int count = 0;; ++count) {
    int code = vormi::console_wait_key();
    vormi::console_goto(1, FIRST_CODE_ROW + count % CODE_ROWS);
    vormi::console_print("code=%d    ", code);
    if (code == 'q') exit(0);
  }
}

constexpr int STOP_ROUNDS = 3;

int stop_while_drawing() {
  start();
  for (int round = 1; round <= STOP_ROUNDS; ++round) {
    vormi::console_clear();
    vormi::console_goto(1, 3);
    vormi::console_print("round %d: before", round);
    // The shell prints below this row; nothing drawn after the stop covers it.
    raise(SIGTSTP);
    vormi::console_goto(1, 2);
    vormi::console_print("after");
    vormi::console_goto(1, 1);
    vormi::console_print("ready %d", round);
    const int code = vormi::console_wait_key();
    vormi::console_goto(1, 5);
    vormi::console_print("code=%d", code);
  }
  exit(0);
}

int start_and_show_keys() {
  start();
  return show_keys();
}

int resize_while_drawing() {
  start();
  raise(SIGWINCH);
  return show_keys();
}

int idle(int ms) {
  vormi::console_clear();
  vormi::console_print("idle");
  vormi::console_wait_until(static_cast<int>(vormi::console_millis()) + ms, true);
  vormi::console_goto(1, 2);
  vormi::console_print("done");
  exit(0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], "keys") == 0) return start_and_show_keys();
  if (argc == 2 && strcmp(argv[1], "resized") == 0) return resize_while_drawing();
  if (argc == 2 && strcmp(argv[1], "job") == 0)
    return vormi::probe::run_as_job(start_and_show_keys);
  if (argc == 2 && strcmp(argv[1], "stops") == 0)
    return vormi::probe::run_as_job(stop_while_drawing);
  if (argc == 3 && strcmp(argv[1], "idle") == 0) {
    start();
    return idle(atoi(argv[2]));
  }
  return 64;  // usage error
}
