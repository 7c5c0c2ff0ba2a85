// The high-score file on disk: the default file, the readers, malformed
// files, failures of the disk and of the lock, and several games at once.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "front/screens.h"
#include "players.h"
#include "scores/high_scores.h"
#include "scores/score_file.h"
#include "scores/score_screens.h"
#include "scores_fixture.h"

namespace vormi::test {
namespace {

const int FIVE_SCORES[5] = {50, 40, 30, 20, 10};
const char* const FIVE_NAMES[5] = {"Ann", "Ben", "Cat", "Dan", "Ed"};

class ScoreFile : public ScoresTest {};

TEST_F(ScoreFile, DefaultFileHasItsExactBytes) {
  create_score_file();
  EXPECT_EQ(read_file(), DEFAULT_TABLE);
  EXPECT_EQ(read_file().size(), 60u);
  EXPECT_FALSE(exists(LOCK_FILE));
  // Creating again empties a written table back to the default.
  ASSERT_TRUE(save_high_score(7, "Zed"));
  create_score_file();
  EXPECT_EQ(read_file(), DEFAULT_TABLE);
}

TEST_F(ScoreFile, EachReaderCreatesTheMissingFile) {
  EXPECT_EQ(lowest_score(), 0);
  EXPECT_EQ(read_file(), DEFAULT_TABLE);

  std::filesystem::remove(SCORE_FILE);
  run_with_keys("k", [] { show_high_scores(); });
  EXPECT_EQ(read_file(), DEFAULT_TABLE);

  std::filesystem::remove(SCORE_FILE);
  run_with_keys("Al\r", [] { record_high_score(3); });
  EXPECT_EQ(read_file(),
            "1\t3\t\t\tAl\n2\t0\t\t\tEMPTY\n3\t0\t\t\tEMPTY\n4\t0\t\t\tEMPTY\n"
            "5\t0\t\t\tEMPTY\n");
}

TEST_F(ScoreFile, LowestScoreIsTheLastLine) {
  // Hand-edited to seven lines; then longer than the 64 KiB that are read.
  write_file(SCORE_FILE, table_of(FIVE_SCORES, FIVE_NAMES) + "6\t5\t\t\tF\n7\t3\t\t\tG\n");
  EXPECT_EQ(lowest_score(), 3);
  std::string long_table;
  while (long_table.size() < 64 * 1024 - 8) long_table += "1\t8\t\t\tX\n";
  write_file(SCORE_FILE, long_table + "2\t6\t\t\tY\n" + "3\t1\t\t\tZ\n");
  EXPECT_EQ(lowest_score(), 6);

  write_file(SCORE_FILE, table_of(FIVE_SCORES, FIVE_NAMES));
  EXPECT_EQ(lowest_score(), 10);
  ASSERT_TRUE(save_high_score(35, "New"));
  EXPECT_EQ(lowest_score(), 20);
  ASSERT_TRUE(save_high_score(1000, "Top"));
  EXPECT_EQ(lowest_score(), 30);
  EXPECT_EQ(read_file(),
            "1\t1000\t\t\tTop\n2\t50\t\t\tAnn\n3\t40\t\t\tBen\n4\t35\t\t\tNew\n"
            "5\t30\t\t\tCat\n");
}

// A score below all five (two games ending together) goes nowhere, and is not said to be saved.
TEST_F(ScoreFile, ScoreBelowAllIsNotSaved) {
  std::string table = table_of(FIVE_SCORES, FIVE_NAMES);
  write_file(SCORE_FILE, table);
  StoreFailure why = STORE_SAVED;
  EXPECT_FALSE(save_high_score(9, "Low", why));
  EXPECT_EQ(why, STORE_NOT_PLACED);
  EXPECT_EQ(read_file(), table);
}

TEST_F(ScoreFile, NineteenCharacterNameWithSpacesReadsBackWhole) {
  create_score_file();
  ASSERT_TRUE(save_high_score(5, "a name of nineteen "));
  ASSERT_TRUE(save_high_score(4, "second"));
  EXPECT_EQ(read_file().rfind("1\t5\t\t\ta name of nineteen \n2\t4\t\t\tsecond\n", 0), 0u);
}

struct MalformedCase {
  const char* what;
  std::string bytes;
  int lowest;
};

const char NUL_BYTES[] = "1\t9\t\t\t\0\0\n\0\0\0\n3\t7\0\t\t\tC\n";
const char NOISE[] = "\x1b[2J\xc2\x9b\x9b\r\r\x7f\x01\0\n";

class Malformed : public ScoresTest, public ::testing::WithParamInterface<MalformedCase> {};

// Every reader takes any file; a save then leaves five written lines with the
// new entry among them.
TEST_P(Malformed, EveryOperationGivesADefinedResult) {
  const MalformedCase& c = GetParam();
  write_file(SCORE_FILE, c.bytes);
  EXPECT_EQ(lowest_score(), c.lowest) << c.what;
  run_with_keys("k", [] { show_high_scores(); });
  EXPECT_TRUE(fake::input_drained());
  EXPECT_EQ(fake::screen().row(25), "") << c.what;  // nothing scrolled the screen
  // The score equal to the lowest qualifies and ties in above it.
  ASSERT_TRUE(save_high_score(c.lowest == 0 ? 1 : c.lowest, "New")) << c.what;
  std::string after = read_file();
  EXPECT_TRUE(is_written_table(after)) << c.what << ":\n" << after;
  EXPECT_NE(after.find("\t\t\tNew\n"), std::string::npos) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Files, Malformed,
    ::testing::Values(
        MalformedCase{"empty file", "", 0},
        MalformedCase{"two lines", "1\t9\t\t\tA\n2\t8\t\t\tB\n", 8},
        MalformedCase{"no final newline",
                      "1\t9\t\t\tA\n2\t8\t\t\tB\n3\t7\t\t\tC\n4\t6\t\t\tD\n"
                      "5\t5\t\t\tE",
                      5},
        MalformedCase{"lines over 125 characters",
                      "1\t9\t\t\t" + std::string(400, 'A') +
                          "\n2\t8\t\t\tB\n3\t7\t\t\tC\n"
                          "4\t6\t\t\t" +
                          std::string(130, 'D') + "\n5\t5\t\t\tE\n",
                      5},
        MalformedCase{"ranks of several characters",
                      "10\t9\t\t\tA\n200\t8\t\t\tB\n3\t7\t\t\tC\n4\t6\t\t\tD\n5\t5\t\t\tE\n", 5},
        MalformedCase{"no tab after the score", "1\t9\n2\t8\n3\t7\n4\t6\n5\t5\n", 5},
        MalformedCase{"non-digits in the score",
                      "1\tx\t\t\tA\n2\t-\t\t\tB\n3\t\xff\t\t\tC\n4\t6\t\t\tD\n5\t1e\t\t\tE\n",
                      10 + ('e' - '0')},
        MalformedCase{"forty-digit scores",
                      std::string("1\t") + std::string(40, '9') + "\t\t\tA\n2\t" +
                          std::string(40, '9') + "\t\t\tB\n3\t" + std::string(40, '9') +
                          "\t\t\tC\n4\t" + std::string(40, '9') + "\t\t\tD\n5\t" +
                          std::string(39, '9') + "\t\t\tE\n",
                      2147483647},
        MalformedCase{"names over 19 characters",
                      "1\t9\t\t\t" + std::string(60, 'n') +
                          "\n2\t8\t\t\tB\n3\t7\t\t\tC\n"
                          "4\t6\t\t\tD\n5\t5\t\t\t" +
                          std::string(25, 'e') + "\n",
                      5},
        MalformedCase{"NUL bytes", std::string(NUL_BYTES, sizeof NUL_BYTES - 1),
                      7 * 10 + ('?' - '0')},
        MalformedCase{"only newlines", "\n\n\n\n\n\n\n\n", 0},
        MalformedCase{"blank lines after the five",
                      "1\t9\t\t\tA\n2\t8\t\t\tB\n3\t7\t\t\tC\n"
                      "4\t6\t\t\tD\n5\t5\t\t\tE\n\n \r\n",
                      5},
        MalformedCase{"binary noise", std::string(NOISE, sizeof NOISE - 1), 2147483647},
        MalformedCase{"hundreds of lines",
                      [] {
                        std::string many;
                        for (int k = 0; k < 300; ++k) many += "1\t900\t\t\tX\n";
                        return many;
                      }(),
                      900}),
    [](const auto& param) { return "case" + std::to_string(param.index); });

TEST_F(ScoreFile, DirectoryAtThePathIsATableThatCannotBeCreated) {
  std::filesystem::create_directory(SCORE_FILE);
  int lowest = 0;
  EXPECT_EQ(read_lowest_score(lowest), SCORE_FILE_NOT_CREATED);
  EXPECT_FALSE(save_high_score(5, "X"));
  EXPECT_TRUE(std::filesystem::is_directory(SCORE_FILE));
  EXPECT_FALSE(exists(LOCK_FILE));
}

// The working directory is removed under the process: no file can be made in
// it, whoever runs the test (root included).
TEST_F(ScoreFile, UncreatableFileEndsWithStatusOne) {
  std::filesystem::path gone = dir_ / "gone";
  std::filesystem::create_directory(gone);
  std::filesystem::current_path(gone);
  std::filesystem::remove(gone);
  EXPECT_EQ(create_score_file(), SCORE_FILE_NOT_CREATED);
  EXPECT_EXIT(
      {
        std::atexit(dump_terminal_output);
        dispatch_choice(CHOICE_HIGH_SCORES);
      },
      ::testing::ExitedWithCode(1), "FAILED TO CREATE HIGHSCORES!!! EXITING!");
  EXPECT_FALSE(save_high_score(5, "X"));
}

TEST_F(ScoreFile, SymlinkIsReplacedNotWrittenThrough) {
  std::string target = (dir_ / "target.txt").string();
  std::string table = table_of(FIVE_SCORES, FIVE_NAMES);
  write_file(target, table);
  std::filesystem::create_symlink(target, SCORE_FILE);
  EXPECT_EQ(lowest_score(), 10);  // read through the link
  ASSERT_TRUE(save_high_score(45, "Sym"));
  EXPECT_EQ(read_file(target), table);
  EXPECT_FALSE(std::filesystem::is_symlink(SCORE_FILE));
  EXPECT_NE(read_file().find("2\t45\t\t\tSym\n"), std::string::npos);

  // A link to nowhere is a missing file: the default replaces the link and
  // nothing appears where it pointed.
  std::filesystem::remove(SCORE_FILE);
  std::string nowhere = (dir_ / "nowhere.txt").string();
  std::filesystem::create_symlink(nowhere, SCORE_FILE);
  EXPECT_EQ(lowest_score(), 0);
  EXPECT_FALSE(exists(nowhere));
  EXPECT_EQ(read_file(), DEFAULT_TABLE);
}

TEST_F(ScoreFile, FifoAtThePathDoesNotHang) {
  ASSERT_EQ(mkfifo(SCORE_FILE, 0644), 0);
  EXPECT_EQ(lowest_score(), -1);
  EXPECT_FALSE(save_high_score(5, "X"));
}

// A lock another process holds (here: this test, through its own flock).
TEST_F(ScoreFile, HeldLockFailsTheSaveAndLeavesTheFile) {
  std::string table = table_of(FIVE_SCORES, FIVE_NAMES);
  write_file(SCORE_FILE, table);
  int held = hold_lock();
  ASSERT_GE(held, 0);
  EXPECT_FALSE(save_high_score(99, "Late"));
  EXPECT_EQ(read_file(), table);
  EXPECT_TRUE(exists(LOCK_FILE));  // the holder's lock is not taken from it
  close(held);
}

TEST_F(ScoreFile, LockLeftByADeadProcessIsTakenOver) {
  create_score_file();
  // Long dead: its lock is older than any save.
  write_file(LOCK_FILE, "half a tab");
  timeval old_times[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(utimes(LOCK_FILE, old_times), 0);
  ASSERT_TRUE(save_high_score(5, "A"));
  // Died a moment ago: the lock ages into staleness within the wait.
  pid_t child = fork();
  if (child == 0) {
    open(LOCK_FILE, O_WRONLY | O_CREAT | O_EXCL, 0644);
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(exists(LOCK_FILE));
  ASSERT_TRUE(save_high_score(4, "B"));
  EXPECT_FALSE(exists(LOCK_FILE));
  EXPECT_EQ(read_file().rfind("1\t5\t\t\tA\n2\t4\t\t\tB\n3\t0\t\t\tEMPTY\n", 0), 0u);
}

// No game makes one: an empty directory there is removed, and saves go on.
TEST_F(ScoreFile, DirectoryAtTheLockIsMovedOutOfTheWay) {
  create_score_file();
  std::filesystem::create_directory(LOCK_FILE);
  EXPECT_TRUE(save_high_score(5, "A"));
  EXPECT_EQ(read_file().rfind("1\t5\t\t\tA\n", 0), 0u);
  EXPECT_FALSE(exists(LOCK_FILE));
}

// Not the player's to read: never created over, and ended without a word.
TEST_F(ScoreFile, UnreadableTableIsNotSaidToBeUncreatable) {
  if (geteuid() != 0 || player().uid == 0) GTEST_SKIP() << "needs root and nobody";
  write_file(SCORE_FILE, DEFAULT_TABLE);
  ASSERT_EQ(chmod(SCORE_FILE, 0600), 0);
  ASSERT_EQ(chmod(".", 0777), 0);
  pid_t reader = spawn(true, [] {
    int lowest = 0;
    return read_lowest_score(lowest) == SCORE_FILE_UNREADABLE && !save_high_score(1, "X") ? 0 : 1;
  });
  EXPECT_EQ(exit_status(reader), 0);
  EXPECT_EQ(read_file(), DEFAULT_TABLE);
}

// Saves with files limited to limit bytes; exits 3 when the save succeeded, 4
// when it failed.
[[noreturn]] void save_with_file_limit(rlim_t limit, int score, const char* name) {
  signal(SIGXFSZ, SIG_IGN);
  rlimit size{limit, limit};
  setrlimit(RLIMIT_FSIZE, &size);
  std::exit(save_high_score(score, name) ? 3 : 4);
}

// Another game creates the file while this one waits for the lock to create
// it: the other's table is kept, not replaced by the default.
TEST_F(ScoreFile, FileMadeWhileWaitingToCreateItIsKept) {
  std::string table = table_of(FIVE_SCORES, FIVE_NAMES);
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t other = fork();
  if (other == 0) {
    StoreHold hold;
    bool held = store_hold(LOCK_FILE, SCORE_FILE, 0, hold);
    if (write(ready[1], "x", 1) != 1 || !held) _exit(1);
    usleep(300 * 1000);
    _exit(store_replace(hold, table.data(), static_cast<int>(table.size())) ? 0 : 1);
  }
  char got = 0;
  ASSERT_EQ(read(ready[0], &got, 1), 1);
  EXPECT_EQ(lowest_score(), 10);
  int status = 0;
  waitpid(other, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(read_file(), table);
  close(ready[0]);
  close(ready[1]);
}

// The disk fills after the first bytes of the new table: the file-size limit
// makes the write fail half-way, as a full disk would, for root too.
TEST_F(ScoreFile, SaveFailingHalfWayLeavesTheOldTableWhole) {
  std::string table = table_of(FIVE_SCORES, FIVE_NAMES);
  write_file(SCORE_FILE, table);
  EXPECT_EXIT(save_with_file_limit(20, 45, "Half"), ::testing::ExitedWithCode(4), "");
  EXPECT_EQ(read_file(), table);
  EXPECT_FALSE(exists(LOCK_FILE));
  ASSERT_TRUE(save_high_score(45, "Whole"));
  EXPECT_NE(read_file().find("2\t45\t\t\tWhole\n"), std::string::npos);
}

// Games ending together, in separate processes, each saving a run of scores,
// while another process keeps reading the file.
TEST_F(ScoreFile, SimultaneousSavesLoseNoEntry) {
  create_score_file();
  constexpr int WRITERS = 4;
  constexpr int SAVES = 12;
  std::vector<pid_t> writers;
  for (int w = 0; w < WRITERS; ++w) {
    pid_t child = fork();
    if (child == 0) {
      int failed = 0;
      for (int k = 0; k < SAVES; ++k) {
        int score = 1 + k * WRITERS + w;  // every score distinct
        std::string name = "w" + std::to_string(w) + "s" + std::to_string(score);
        // Passed by meanwhile by five higher scores, an entry is not placed.
        StoreFailure why = STORE_SAVED;
        if (!save_high_score(score, name.c_str(), why) && why != STORE_NOT_PLACED) ++failed;
      }
      _exit(failed == 0 ? 0 : 10);
    }
    writers.push_back(child);
  }
  int reader_pipe[2];
  ASSERT_EQ(pipe(reader_pipe), 0);
  pid_t reader = fork();
  if (reader == 0) {
    close(reader_pipe[1]);
    int bad = 0;
    char stop = 0;
    fcntl(reader_pipe[0], F_SETFL, O_NONBLOCK);
    while (read(reader_pipe[0], &stop, 1) < 0)
      if (!is_written_table(read_file())) ++bad;
    _exit(bad == 0 ? 0 : 11);
  }
  close(reader_pipe[0]);
  for (pid_t child : writers) {
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a save failed";
  }
  ASSERT_EQ(write(reader_pipe[1], "x", 1), 1);
  close(reader_pipe[1]);
  int status = 0;
  waitpid(reader, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a reader saw a torn file";

  std::string expected;
  int top = WRITERS * SAVES;
  for (int rank = 1; rank <= 5; ++rank) {
    int score = top - rank + 1;
    int writer = (score - 1) % WRITERS;
    expected += std::to_string(rank) + "\t" + std::to_string(score) + "\t\t\tw" +
                std::to_string(writer) + "s" + std::to_string(score) + "\n";
  }
  EXPECT_EQ(read_file(), expected);
  EXPECT_FALSE(exists(LOCK_FILE));
}

}  // namespace
}  // namespace vormi::test
