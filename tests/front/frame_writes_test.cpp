// Frames on the terminal: what the program draws between two waits reaches the
// terminal in one write, before the wait, so each arrives whole and at once.
#include <string>

#include "front/front.h"
#include "front_fixture.h"

namespace vormi::test {
namespace {

const std::string HEAD = "\u2592";

int count_of(const std::string& text, const std::string& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

bool ends_with(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Welcome, menu, Down and Up, then a game at speed 9 left alone: the vormi
// runs from column 40 into the left wall in 39 steps and the banner waits.
// The welcome goes out before any time passes, whatever the terminal answers,
// and before its answer is read. Where the terminal knows mode 2026 the
// frames after it that draw the screen whole (those with a clear) are wrapped
// in it, with the keyboard protocol or without, and no other frame is; the
// protocol's push, on reading the answer, is the one write beside a frame.
TEST_F(FrontTest, EveryFrameIsOneWriteMadeBeforeItsWait) {
  for (TerminalAnswers answers : {TerminalAnswers::NOTHING, TerminalAnswers::ATTRIBUTES_ONLY,
                                  TerminalAnswers::SYNC_ONLY, TerminalAnswers::KEYBOARD_AND_SYNC}) {
    SCOPED_TRACE(name_of(answers));
    const bool sync = has_sync_output(answers);
    fake::reset_answering(answers);
    fake::type_at(100, "x");
    fake::type_at(200, DOWN);
    fake::type_at(300, UP);
    fake::type_at(400, ENTER);
    fake::type_at(500, "9");
    EXPECT_TRUE(runs_out_of_input([] { run_front(); }));

    int welcome = 0;
    int menu = 0;
    int marker_moves = 0;
    int steps = 0;
    for (const fake::Frame& frame : fake::frames()) {
      const std::string& bytes = frame.bytes;
      const bool push = bytes.find("\x1b[>1u") != std::string::npos;
      EXPECT_LE(frame.writes, push ? 2 : 1);
      const bool whole = bytes.find("\x1b[2J") != std::string::npos;
      const bool first = welcome == 0;
      EXPECT_EQ(bytes.rfind("\x1b[?2026h", 0) == 0, sync && whole && !first) << bytes;
      EXPECT_EQ(ends_with(bytes, "\x1b[?2026l"), sync && whole && !first) << bytes;
      if (bytes.find("Press Any Key To Continue") != std::string::npos) {
        ++welcome;
        // The clear and the whole screen together.
        EXPECT_NE(bytes.find("\x1b[2J"), std::string::npos);
        EXPECT_EQ(frame.waited_at, 0u);
      } else if (bytes.find("New Game") != std::string::npos) {
        ++menu;
        EXPECT_NE(bytes.find("Exit"), std::string::npos);
        EXPECT_EQ(count_of(bytes, ">"), 1);
      } else if (count_of(bytes, ">") == 1) {
        ++marker_moves;  // the old marker erased and the new one drawn
        EXPECT_NE(bytes.find(' '), std::string::npos);
      }
      // A frame held back would show up in the next one: two heads in one frame.
      if (bytes.find(HEAD) != std::string::npos) {
        ++steps;
        EXPECT_EQ(count_of(bytes, HEAD), 1);
        if (!whole && bytes.find(':') == std::string::npos) {
          // Braced: the check is an if and an else of its own.
          EXPECT_LE(bytes.size(), 40u) << "a step";
        }
      }
    }
    EXPECT_EQ(welcome, 1);
    EXPECT_EQ(menu, 1);
    EXPECT_EQ(marker_moves, 2);
    EXPECT_EQ(steps, 39);
    // The last frame, before the banner's wait, holds the last step and the banner.
    EXPECT_NE(fake::frames().back().bytes.find(":'#######::'##"), std::string::npos);
    EXPECT_NE(fake::frames().back().bytes.find(HEAD), std::string::npos);
  }
}

}  // namespace
}  // namespace vormi::test
