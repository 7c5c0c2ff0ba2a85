// The real program on a pseudo-terminal, sent what other keyboards, other
// programs' leftovers and slow links send: none of it moves the menu wrongly
// or ends the program.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include "support/pty_session.h"
#include "support/work_dir.h"

namespace vormi::test {
namespace {

const std::string DOWN = "\x1b[B";

TEST(KeysEndToEnd, ReportsCtrlBackslashTextAndSlowArrowsInTheMenu) {
  WorkDir dir("vormi-e2e", false);
  ASSERT_FALSE(dir.path().empty());
  PtySession session({VORMI_BINARY}, 80, 25, dir.path());
  Screen& screen = session.screen();
  ASSERT_TRUE(session.wait_for("Press Any Key To Continue..."));
  const termios modes = session.modes();
  EXPECT_EQ(modes.c_cc[VQUIT], _POSIX_VDISABLE) << "Ctrl+\\ would still quit";
  EXPECT_NE(modes.c_lflag & ISIG, 0u) << "Ctrl+C no longer a signal";

  // A key that types a character beyond ASCII is "any key".
  session.send("\xc3\xa9");
  ASSERT_TRUE(session.wait_for("> New Game")) << screen.text();

  // A click at column 40, row 10 in each report form, its release, focus
  // and paste markers, then Ctrl+\: none of them moves the marker (the X10
  // click's "H" would be Up) or ends the program; the Down after them does.
  session.send(
      "\x1b[M H*\x1b[M#H*\x1b[<0;40;10M\x1b[<0;40;10m\x1b[32;40;10M"
      "\x1b[I\x1b[O\x1b[200~\x1b[201~\x1c" +
      DOWN);
  ASSERT_TRUE(session.wait_for("> High Scores")) << screen.text();
  EXPECT_EQ(screen.row(5), "         New Game");
  EXPECT_EQ(screen.row(8), "         Exit");

  // An arrow whose last byte comes late, as over a slow link, is still Down.
  session.send("\x1b[");
  session.pump(200);
  session.send("B");
  ASSERT_TRUE(session.wait_for("> Controls")) << screen.text();

  session.send(DOWN + "\r");
  ASSERT_TRUE(session.wait_for("Are you sure you want to exit(Y/N)"));
  session.send("Y");
  int status = 0;
  ASSERT_TRUE(session.wait_exit(status));
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_TRUE(same_modes(session.modes(), session.initial_modes()));
}

}  // namespace
}  // namespace vormi::test
