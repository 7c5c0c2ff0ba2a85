// The real program with a table shared the usual way: a group-writable
// highscores.txt, brought with CR LF line ends, in a directory the player may
// not write. The player is nobody in the group nogroup; the calendar is
// scripted with faketime, so the first piece of food lies in the vormi's way.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "frozen_calendar.h"
#include "support/files.h"
#include "support/pty_session.h"
#include "support/work_dir.h"

namespace vormi::test {
namespace {

// At this second the food falls at (27,10), on the row the vormi starts on,
// left of its head; at the next it falls at (46,4), out of its way.
const char FOOD_IN_THE_WAY[] = "2026-01-01 00:00:08";
const char FOOD_ELSEWHERE[] = "2026-01-01 00:00:09";

// The game copied where any user may run it: the checkout, and the build in
// it, may lie where only its owner may go (/root, a 0700 home). Besides the
// binary the game loads only system libraries.
std::string game_for_anyone(const WorkDir& dir) {
  const std::filesystem::path copy = dir.path() / "vormi";
  std::filesystem::copy_file(VORMI_BINARY, copy);
  chmod(dir.path().c_str(), 0755);
  chmod(copy.c_str(), 0755);
  return copy.string();
}

TEST(ScoresEndToEnd, SharedTableWithCrLfLinesIsRewrittenInPlace) {
  const std::string faketime = faketime_library();
  if (faketime.empty()) GTEST_SKIP() << "faketime is not installed";
  const group* team = getgrnam("nogroup");
  if (geteuid() == 0) {
    if (getpwnam("nobody") == nullptr || team == nullptr)
      GTEST_SKIP() << "no user nobody in a group nogroup to share through";
    if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "no setpriv to become nobody";
  }
  WorkDir dir("vormi-e2e-shared", false);
  ASSERT_FALSE(dir.path().empty());
  WorkDir bin("vormi-e2e-game", false);
  ASSERT_FALSE(bin.path().empty());
  const std::filesystem::path table = dir.path() / "highscores.txt";
  const std::filesystem::path clock = dir.path() / "calendar";
  write_file(table,
             "1\t50\t\t\tAnn\r\n2\t40\t\t\tBen\r\n3\t30\t\t\tCat\r\n4\t20\t\t\tDan\r\n"
             "5\t8\t\t\tEve\r\n6\t1\t\t\tFay\r\n");
  write_file(clock, FOOD_IN_THE_WAY);
  std::vector<std::string> argv;
  if (geteuid() == 0) {
    ASSERT_EQ(chown(table.c_str(), 0, team->gr_gid), 0);
    argv = {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
  }
  ASSERT_EQ(chmod(table.c_str(), 0664), 0);
  ASSERT_EQ(chmod(dir.path().c_str(), geteuid() == 0 ? 0755 : 0555), 0);
  struct stat before {};
  ASSERT_EQ(stat(table.c_str(), &before), 0);
  std::vector<std::string> run = {"/usr/bin/env",
                                  "TZ=UTC",
                                  "LD_PRELOAD=" + faketime,
                                  "FAKETIME_TIMESTAMP_FILE=" + clock.string(),
                                  "FAKETIME_NO_CACHE=1",
                                  "FAKETIME_DONT_FAKE_MONOTONIC=1",
                                  "ASAN_OPTIONS=verify_asan_link_order=0",
                                  game_for_anyone(bin)};
  argv.insert(argv.end(), run.begin(), run.end());
  {
    PtySession game(argv, 80, 25, dir.path());
    Screen& screen = game.screen();
    ASSERT_TRUE(game.wait_for("Press Any Key To Continue")) << game.output();
    game.send("x");
    ASSERT_TRUE(game.wait_for("New Game"));
    game.send("\x1b[B\r");
    ASSERT_TRUE(game.wait_for("Press any key to continue..."));
    // The CR is part of the line end, not of the name; five lines are shown.
    EXPECT_EQ(screen.row(7).substr(40), "Ann");
    EXPECT_EQ(screen.row(11).substr(40), "Eve");
    EXPECT_EQ(screen.text().find("Fay"), std::string::npos);
    game.send("x");
    ASSERT_TRUE(game.wait_for("New Game"));
    game.send("\r");
    ASSERT_TRUE(game.wait_for("Select The game speed between 1 and 9."));
    game.send("9");
    ASSERT_TRUE(game.wait_for("\u25a0"));
    EXPECT_EQ(screen.cell(27, 10), "\u25a0");
    write_file(clock, FOOD_ELSEWHERE);
    ASSERT_TRUE(game.wait_for("Score: 9", 10000));
    ASSERT_TRUE(game.wait_for(":'#######::'##::::'##:'########:'########::'####:", 15000));
    game.send("x");
    // 9 reaches the lowest score, on the last line (Fay's 1), so the name
    // is asked; the table keeps five lines, and Eve's 8 leaves it.
    ASSERT_TRUE(game.wait_for("Please enter your name:"));
    game.send("Nob\r");
    ASSERT_TRUE(game.wait_for("High Scores")) << screen.text();
    ASSERT_TRUE(game.wait_for("Press any key to continue..."));
    EXPECT_EQ(screen.row(11).substr(40), "Nob");
    EXPECT_EQ(screen.text().find("Sorry"), std::string::npos) << screen.text();
  }
  // Saved in place: the same file, now with LF line ends, as the game writes.
  EXPECT_EQ(read_file(table),
            "1\t50\t\t\tAnn\n2\t40\t\t\tBen\n3\t30\t\t\tCat\n4\t20\t\t\tDan\n"
            "5\t9\t\t\tNob\n");
  struct stat after {};
  ASSERT_EQ(stat(table.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);  // rewritten in place
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_EQ(after.st_gid, before.st_gid);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "highscores.txt.lock"));
  chmod(dir.path().c_str(), 0755);
}

}  // namespace
}  // namespace vormi::test
