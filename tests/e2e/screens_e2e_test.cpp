// The scenarios both platforms play (support/screen_scenarios.h) on the real
// program: every text waited for shows, every ending is the one the scenario
// names, with the shell's screen and the terminal's modes back. The screens
// read go to SCREENS_DIR/<scenario>.screens, which the Windows run compares
// its own with (tests/windows/).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>

#include "frozen_calendar.h"
#include "support/pty_session.h"
#include "support/screen_scenarios.h"
#include "support/work_dir.h"

namespace vormi::test {

void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

namespace {

std::string key_bytes(const std::string& name) {
  if (name == "Down") return "\x1b[B";
  if (name == "Up") return "\x1b[A";
  if (name == "Enter") return "\r";
  if (name == "Esc") return "\x1b";
  if (name == "Ctrl+C") return "\x03";
  return name;
}

// Written beside and renamed over, so the program never reads half a file.
void write_calendar(const std::filesystem::path& file, const std::string& second) {
  std::ofstream(file.string() + ".new") << second << "\n";
  std::filesystem::rename(file.string() + ".new", file);
}

void check_exit(PtySession& session, const std::string& expected, const std::string& shell) {
  int status = 0;
  ASSERT_TRUE(session.wait_exit(status));
  if (expected == "Ctrl+C")
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
  else
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == std::stoi(expected)) << status;
  EXPECT_EQ(session.screen().text(), shell);
  EXPECT_TRUE(same_modes(session.modes(), session.initial_modes()));
}

class ScreensEndToEnd : public testing::TestWithParam<Scenario> {};

TEST_P(ScreensEndToEnd, PlaysThroughAndGivesTheTerminalBack) {
  WorkDir dir("vormi-e2e-screens", false);
  ASSERT_FALSE(dir.path().empty());
  const std::filesystem::path calendar = dir.path() / "calendar";
  write_calendar(calendar, FIRST_SECOND);
  const auto command = with_calendar_file(VORMI_BINARY, calendar.string());
  if (command.empty()) GTEST_SKIP() << "libfaketime is missing (Debian package faketime)";
  PtySession session(command, 80, 25, dir.path());
  Screen& screen = session.screen();
  screen.feed("$ vormi");  // the shell's screen, which must be there again at the end
  const std::string shell = screen.text();
  std::string screens;
  for (const Step& step : GetParam().steps) {
    switch (step.what) {
      case Do::KEYS:
        for (const std::string& name : key_names(step.text)) session.send(key_bytes(name));
        break;
      case Do::WAIT:
        ASSERT_TRUE(session.wait_for(step.text, 15000)) << step.text << "\n" << screen.text();
        break;
      case Do::SCREEN:
        session.pump(200);  // the rest of a frame split across reads
        screens += screen_record(step.text, screen.text(), screen.cursor_x(), screen.cursor_y());
        break;
      case Do::RESIZE:
        session.resize(std::stoi(step.text), std::stoi(step.text.substr(step.text.find('x') + 1)));
        break;
      case Do::CALENDAR: write_calendar(calendar, step.text); break;
      case Do::IDLE: break;  // measured on Windows; bench/ measures the POSIX waits
      case Do::EXIT: check_exit(session, step.text, shell); break;
    }
  }
  std::filesystem::create_directories(SCREENS_DIR);
  std::ofstream(std::string(SCREENS_DIR) + "/" + GetParam().name + ".screens", std::ios::binary)
      << screens;
}

INSTANTIATE_TEST_SUITE_P(Table, ScreensEndToEnd, testing::ValuesIn(screen_scenarios()),
                         [](const testing::TestParamInfo<Scenario>& scenario) {
                           std::string name = scenario.param.name;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

}  // namespace
}  // namespace vormi::test
