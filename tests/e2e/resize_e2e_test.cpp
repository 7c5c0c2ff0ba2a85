// Changes of size on a real pseudo-terminal (TIOCSWINSZ on its other side, so
// the kernel sends SIGWINCH): the notice below 80x24, the screen back whole,
// and Ctrl+C still ending the program while the notice stands.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "frozen_calendar.h"
#include "support/pty_session.h"
#include "support/work_dir.h"

namespace vormi::test {
namespace {

const std::string WALL = "\u2588";
const std::string HEAD = "\u2592";
const std::string BODY = "\u2593";
const std::string FOOD = "\u25A0";

bool eventually(PtySession& session, const std::function<bool()>& condition,
                int timeout_ms = 3000) {
  for (int waited = 0; waited < timeout_ms; waited += 20) {
    if (condition()) return true;
    session.pump(20);
  }
  return condition();
}

// The notice as a screen of columns x rows shows it when it fits on one line.
std::string notice_screen(int columns, int rows) {
  return "Terminal " + std::to_string(columns) + "x" + std::to_string(rows) +
         ": vormi needs at least 80x24." + std::string(rows - 1, '\n');
}

// Column of the vormi's leftmost segment on row 10 (the head, once it has
// stepped; all four segments are drawn as body at the start); 0 for none.
int leftmost_segment(const Screen& screen) {
  for (int x = 2; x < 80; ++x)
    if (screen.cell(x, 10) == HEAD || screen.cell(x, 10) == BODY) return x;
  return 0;
}

// Walls, food, panel and the vormi on row 10 in the top-left 80x25, nothing beyond.
bool board_whole(const Screen& screen) {
  for (int x = 1; x <= 80; ++x)
    if (screen.cell(x, 1) != WALL || screen.cell(x, 21) != WALL) return false;
  for (int y = 1; y <= 21; ++y)
    if (screen.cell(1, y) != WALL || screen.cell(80, y) != WALL) return false;
  for (int y = 1; y <= screen.rows(); ++y) {
    for (int x = 81; x <= screen.columns(); ++x)
      if (screen.cell(x, y) != " ") return false;
  }
  return leftmost_segment(screen) != 0 && screen.cell(37, 7) == FOOD &&
         screen.row(23).find("Score: 0") == 4 && screen.row(24).find("Speed: 1") == 4;
}

TEST(ResizeEndToEnd, TheBoardComesBackWholeAfterTheTerminalWasTooSmall) {
  if (faketime_library().empty()) GTEST_SKIP() << "libfaketime is not installed";
  WorkDir dir("vormi-e2e-resize", false);
  ASSERT_FALSE(dir.path().empty());
  PtySession game(with_frozen_calendar(VORMI_BINARY), 80, 25, dir.path());
  ASSERT_TRUE(game.wait_for("Press Any Key To Continue")) << game.output();
  game.send("x");
  ASSERT_TRUE(game.wait_for("New Game"));
  game.send("\r");
  ASSERT_TRUE(game.wait_for("Select The game speed between 1 and 9."));
  game.send("1");
  ASSERT_TRUE(game.wait_for("Speed: 1"));
  game.send("p");
  ASSERT_TRUE(game.wait_for("**Paused**"));
  ASSERT_TRUE(board_whole(game.screen())) << game.screen().text();
  const std::string paused = game.screen().text();

  game.resize(60, 20);
  ASSERT_TRUE(eventually(game, [&] { return game.screen().text() == notice_screen(60, 20); }))
      << game.screen().text();
  game.send("x");  // dropped: taken, it would end the pause
  game.resize(80, 25);
  ASSERT_TRUE(eventually(game, [&] { return game.screen().text() == paused; }))
      << game.screen().text();
  game.pump(200);
  EXPECT_EQ(game.screen().text(), paused);

  // Play goes on, and a terminal grown beyond 80x25 shows the board whole in
  // its top-left corner.
  game.send("p");
  game.resize(70, 22);
  ASSERT_TRUE(eventually(game, [&] { return game.screen().text() == notice_screen(70, 22); }))
      << game.screen().text();
  game.resize(100, 30);
  ASSERT_TRUE(eventually(game, [&] { return board_whole(game.screen()); })) << game.screen().text();
  const int head = leftmost_segment(game.screen());
  EXPECT_TRUE(eventually(game, [&] { return leftmost_segment(game.screen()) < head; }))
      << game.screen().text();
  EXPECT_TRUE(board_whole(game.screen())) << game.screen().text();
}

TEST(ResizeEndToEnd, CtrlCAtTheNoticeEndsTheProgramAndRestoresTheTerminal) {
  rlimit none{0, 0};
  setrlimit(RLIMIT_CORE, &none);
  PtySession session({CONSOLE_PROBE_BINARY, "keys"});
  ASSERT_TRUE(session.wait_for("ready"));
  session.resize(40, 10);
  ASSERT_TRUE(session.wait_for("Terminal 40x10")) << session.screen().text();
  session.send("\x03");
  int status = 0;
  ASSERT_TRUE(session.wait_exit(status));
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGINT);
  EXPECT_TRUE(same_modes(session.initial_modes(), session.modes()));
}

}  // namespace
}  // namespace vormi::test
