// The real program on a pseudo-terminal: welcome, menu, controls, the table,
// a short game lost against the wall, and the confirmed exit.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "frozen_calendar.h"
#include "support/pty_session.h"
#include "support/work_dir.h"

namespace vormi::test {
namespace {

const std::string UP = "\x1b[A";
const std::string DOWN = "\x1b[B";

bool window_blank(const Screen& screen) {
  return screen.text().find_first_not_of('\n') == std::string::npos;
}

// This build's program, or the one VORMI_GAME names: scripts/check-package.sh
// runs this test on the binary unpacked from the Debian package.
std::string game_under_test() {
  const char* other = std::getenv("VORMI_GAME");
  return other != nullptr && *other != '\0' ? other : VORMI_BINARY;
}

TEST(FrontEndToEnd, ThroughEveryScreenAndOutWithYes) {
  WorkDir dir("vormi-e2e", false);
  ASSERT_FALSE(dir.path().empty());
  const std::vector<std::string> command = with_frozen_calendar(game_under_test());
  if (command.empty()) GTEST_SKIP() << "libfaketime is missing (Debian package faketime)";
  PtySession session(command, 80, 25, dir.path());
  Screen& screen = session.screen();

  ASSERT_TRUE(session.wait_for("Press Any Key To Continue..."));
  EXPECT_EQ(screen.row(13), std::string(24, ' ') + "Welcome To The Vormi Game!");
  EXPECT_NE(screen.row(9).find("(o  o)"), std::string::npos);

  session.send("x");
  ASSERT_TRUE(session.wait_for("Exit"));
  EXPECT_EQ(screen.row(5), "       > New Game");

  session.send(DOWN + DOWN + "\r");
  ASSERT_TRUE(session.wait_for("P & Esc pauses the game."));
  EXPECT_EQ(screen.row(11), "");
  session.send("x");
  ASSERT_TRUE(session.wait_for("New Game"));

  session.send(DOWN + "\r");
  ASSERT_TRUE(session.wait_for("Press any key to continue..."));
  EXPECT_NE(screen.text().find("EMPTY"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "highscores.txt"));
  session.send("x");
  ASSERT_TRUE(session.wait_for("New Game"));

  session.send("\r");
  ASSERT_TRUE(session.wait_for("Select The game speed between 1 and 9."));
  const int bells_before = screen.bells();
  session.send("9");
  ASSERT_TRUE(session.wait_for("Speed: 9"));
  EXPECT_EQ(screen.cell(37, 7), "\u25A0");  // where the stopped calendar puts the food
  // Nothing steers: the vormi runs left into the wall in about four seconds.
  // The banner is the only thing drawn with ":" (its background).
  ASSERT_TRUE(session.wait_for(":::", 15000)) << screen.text();
  session.pump(100);
  EXPECT_GE(screen.bells() - bells_before, 2);
  EXPECT_NE(screen.row(23).find("Score: 0"), std::string::npos);
  session.send("x");
  ASSERT_TRUE(session.wait_for("New Game"));
  EXPECT_EQ(screen.text().find(":::"), std::string::npos);

  session.send(UP + "\r");
  ASSERT_TRUE(session.wait_for("Are you sure you want to exit(Y/N)"));
  EXPECT_EQ(screen.row(8), "       >Are you sure you want to exit(Y/N)");
  session.send("Y");
  int status = 0;
  ASSERT_TRUE(session.wait_exit(status));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_TRUE(window_blank(screen)) << screen.text();
  EXPECT_TRUE(same_modes(session.modes(), session.initial_modes()));
}

// The alternate screen goes with the program: the reason it ended must stay
// readable on the shell's screen.
TEST(FrontEndToEnd, AScoreFileThatCannotBeMadeIsToldAfterTheEnd) {
  WorkDir dir("vormi-e2e", false);
  ASSERT_FALSE(dir.path().empty());
  std::filesystem::create_directory(dir.path() / "highscores.txt");
  PtySession session({VORMI_BINARY}, 80, 25, dir.path());
  ASSERT_TRUE(session.wait_for("Press Any Key To Continue..."));
  session.send("x");
  ASSERT_TRUE(session.wait_for("Exit"));
  session.send(DOWN + "\r");
  int status = 0;
  ASSERT_TRUE(session.wait_exit(status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  EXPECT_NE(session.screen().text().find("FAILED TO CREATE HIGHSCORES!!! EXITING!"),
            std::string::npos)
      << session.screen().text();
}

TEST(FrontEndToEnd, TooSmallATerminalEndsWithStatusTwo) {
  WorkDir dir("vormi-e2e", false);
  ASSERT_FALSE(dir.path().empty());
  PtySession session({VORMI_BINARY}, 79, 24, dir.path());
  int status = 0;
  ASSERT_TRUE(session.wait_exit(status));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_EQ(session.output().find("Welcome"), std::string::npos);
}

// What a shell command writes on its standard output.
std::string output_of(const std::string& command) {
  std::string text;
  FILE* pipe = popen(command.c_str(), "r");
  char chunk[256];
  for (size_t got; pipe != nullptr && (got = fread(chunk, 1, sizeof chunk, pipe)) > 0;)
    text.append(chunk, got);
  if (pipe != nullptr) pclose(pipe);
  return text;
}

// The answer goes to the right stream, and no byte to the terminal changes
// its modes or its screen.
TEST(FrontEndToEnd, OptionsAreAnsweredWithoutTheTerminalAndAnythingElseIsAUsageError) {
  struct Case {
    std::string argument;
    int status;
    std::string out_begins;
    std::string err_begins;
  };
  for (const Case& c : {Case{"--help", 0, "Usage: vormi [--help | --version]\n", ""},
                        Case{"--version", 0, "vormi " VORMI_VERSION "\n", ""},
                        Case{"--speed=9", 2, "", "vormi: unknown argument '--speed=9'\n"}}) {
    PtySession session({VORMI_BINARY, c.argument});
    int status = 0;
    ASSERT_TRUE(session.wait_exit(status)) << c.argument;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == c.status)
        << c.argument << ": " << status;
    EXPECT_EQ(session.output().find('\x1b'), std::string::npos) << c.argument;
    EXPECT_TRUE(same_modes(session.modes(), session.initial_modes())) << c.argument;
    const std::string game = "'" + std::string(VORMI_BINARY) + "' " + c.argument;
    const std::string out = output_of(game + " 2>/dev/null");
    const std::string err = output_of(game + " 2>&1 >/dev/null");
    EXPECT_EQ(out.substr(0, c.out_begins.size()), c.out_begins) << c.argument;
    EXPECT_EQ(err.substr(0, c.err_begins.size()), c.err_begins) << c.argument;
    EXPECT_EQ(out.empty(), c.out_begins.empty()) << c.argument;
    EXPECT_EQ(err.empty(), c.err_begins.empty()) << c.argument;
  }
}

}  // namespace
}  // namespace vormi::test
