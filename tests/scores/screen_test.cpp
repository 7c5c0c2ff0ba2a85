// The high-score screens on the fake terminal: the table, the name prompt and
// its editing, and a save that fails after the name is typed.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

#include "scores/high_scores.h"
#include "scores/score_screens.h"
#include "scores_fixture.h"

namespace vormi::test {
namespace {

const int FIVE_SCORES[5] = {50, 40, 30, 20, 10};
const char* const FIVE_NAMES[5] = {"Ann", "Ben", "Cat", "Dan", "Ed"};

std::string at_column_10(const std::string& text) { return std::string(9, ' ') + text; }

class ScoreScreens : public ScoresTest {
 protected:
  // Enters score through the name prompt, typing keys.
  void record(int score, const std::string& keys) {
    run_with_keys(keys, [score] { record_high_score(score); });
    EXPECT_TRUE(fake::input_drained());
  }
};

TEST_F(ScoreScreens, TableScreenLayout) {
  write_file(SCORE_FILE, table_of(FIVE_SCORES, FIVE_NAMES));
  run_with_keys("k", [] { show_high_scores(); });
  EXPECT_TRUE(fake::input_drained());
  test::Screen& screen = fake::screen();
  EXPECT_EQ(screen.row(5), at_column_10("High Scores"));
  // The tabs of the heading and of the lines stop at the same columns.
  EXPECT_EQ(screen.row(6), at_column_10("Rank   Score") + std::string(19, ' ') + "Name");
  EXPECT_EQ(screen.row(7), at_column_10("1      50") + std::string(22, ' ') + "Ann");
  EXPECT_EQ(screen.row(11), at_column_10("5      10") + std::string(22, ' ') + "Ed");
  EXPECT_EQ(screen.row(12), "");
  EXPECT_EQ(screen.row(13), at_column_10("Press any key to continue..."));
  EXPECT_EQ(screen.row(14), "");
}

TEST_F(ScoreScreens, NamesFromTheFileCannotDriveTheTerminal) {
  // clang-format off
  write_file(SCORE_FILE,
           "1\t9\t\t\t\x1b[2J\x1b[H\n2\t8\t\t\t\x1b]0;owned\x07\n3\t7\t\t\t\xc2\x9b" "5A\n"
           "4\t6\t\t\t\x9b" "5A\r\n5\t5\t\t\tok\n");
  // clang-format on
  run_with_keys("k", [] { show_high_scores(); });
  test::Screen& screen = fake::screen();
  EXPECT_EQ(screen.row(5), at_column_10("High Scores"));  // not cleared
  EXPECT_EQ(screen.cell(41, 7) + screen.cell(42, 7) + screen.cell(43, 7), "?[2");
  EXPECT_EQ(screen.row(7).substr(40), "?[2J?[H");
  EXPECT_EQ(screen.row(8).substr(40), "?]0;owned?");
  EXPECT_EQ(screen.row(9).substr(40), "?5A");
  EXPECT_EQ(screen.row(10).substr(40), "?5A");  // CR LF is a line end
  EXPECT_EQ(screen.row(11).substr(40), "ok");
  EXPECT_EQ(screen.row(13), at_column_10("Press any key to continue..."));
  EXPECT_EQ(fake::output().find("owned\x07"), std::string::npos);
}

TEST_F(ScoreScreens, NamePromptAndTypingPosition) {
  create_score_file();
  fake::type("Bo");
  EXPECT_THROW(record_high_score(5), fake::InputExhausted);
  test::Screen& screen = fake::screen();
  EXPECT_EQ(screen.row(5), at_column_10("Your Score made it into the top 5!!!"));
  EXPECT_EQ(screen.row(6), at_column_10("Please enter your name: Bo"));
  EXPECT_EQ(screen.cell(34, 6), "B");
  EXPECT_EQ(screen.cursor_x(), 36);
  EXPECT_EQ(read_file(), DEFAULT_TABLE);  // nothing saved before Enter
}

TEST_F(ScoreScreens, TypedNameIsSavedInItsPlace) {
  write_file(SCORE_FILE, table_of(FIVE_SCORES, FIVE_NAMES));
  record(40, "Tie Breaker\r");
  EXPECT_EQ(read_file(),
            "1\t50\t\t\tAnn\n2\t40\t\t\tTie Breaker\n3\t40\t\t\tBen\n4\t30\t\t\tCat\n"
            "5\t20\t\t\tDan\n");
  record(20, "\r");
  EXPECT_EQ(read_file(),
            "1\t50\t\t\tAnn\n2\t40\t\t\tTie Breaker\n3\t40\t\t\tBen\n4\t30\t\t\tCat\n"
            "5\t20\t\t\t\n");
  // The empty name is shown as stored.
  run_with_keys("k", [] { show_high_scores(); });
  EXPECT_EQ(fake::screen().row(11), at_column_10("5      20"));
}

TEST_F(ScoreScreens, LongNameKeepsTheFirstNineteen) {
  create_score_file();
  record(5, "abcdefghijklmnopqrstuvwxyz1234\r");
  EXPECT_EQ(read_file().rfind("1\t5\t\t\tabcdefghijklmnopqrs\n2\t", 0), 0u);
  EXPECT_GT(fake::screen().bells(), 0);
}

TEST_F(ScoreScreens, Utf8NameStopsOnACharacterBoundary) {
  create_score_file();
  record(5, std::string(18, 'a') + "\xc3\xa9\xc3\xa9\r");
  EXPECT_EQ(read_file().rfind("1\t5\t\t\t" + std::string(18, 'a') + "\n", 0), 0u);
  create_score_file();
  record(6, std::string(17, 'a') + "\xc3\xa9\xc3\xa9\r");
  EXPECT_EQ(read_file().rfind("1\t6\t\t\t" + std::string(17, 'a') + "\xc3\xa9\n", 0), 0u);
}

TEST_F(ScoreScreens, ArrowsAndBackspaceEditTheName) {
  create_score_file();
  record(5, "Alce" + LEFT + LEFT + "i" + END + "xy" + BACKSPACE + BACKSPACE + LEFT + RIGHT + "\r");
  std::string bytes = read_file();
  EXPECT_EQ(bytes.rfind("1\t5\t\t\tAlice\n", 0), 0u);
  EXPECT_EQ(bytes.find('\x1b'), std::string::npos);
  EXPECT_TRUE(is_written_table(bytes));
}

TEST_F(ScoreScreens, FailedSaveIsToldOnTheNameScreen) {
  std::string table = table_of(FIVE_SCORES, FIVE_NAMES);
  write_file(SCORE_FILE, table);
  int held = hold_lock();
  ASSERT_GE(held, 0);
  // One key after the name dismisses the message.
  record(99, "Bob\rk");
  test::Screen& screen = fake::screen();
  EXPECT_EQ(screen.row(6), at_column_10("Please enter your name: Bob"));
  EXPECT_EQ(screen.row(8), at_column_10("Sorry, your score could not be saved."));
  EXPECT_EQ(screen.row(9), at_column_10("Another game held the table too long."));
  EXPECT_EQ(screen.row(10), at_column_10("Press any key to continue..."));
  EXPECT_EQ(read_file(), table);
  close(held);
  // The game goes on: the table screen still shows the old table.
  run_with_keys("k", [] { show_high_scores(); });
  EXPECT_EQ(fake::screen().row(7), at_column_10("1      50") + std::string(22, ' ') + "Ann");
}

}  // namespace
}  // namespace vormi::test
