// A table shared by several players: saves stalled at each step while others
// save, the rewrite in place where the directory refuses the lock file, and
// the mode and group a replaced file keeps.
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "scores/high_scores.h"
#include "scores/score_file.h"
#include "scores/score_table.h"
#include "scores_fixture.h"

namespace vormi::test {
namespace {

// The user a shared table's players are: nobody, in the group nogroup only,
// so the directory's and the file's permissions count even when the suite
// runs as root. A user other than root plays as itself.
struct Player {
  uid_t uid;
  gid_t gid;
};

Player player() {
  if (geteuid() != 0) return {geteuid(), getegid()};
  const passwd* user = getpwnam("nobody");
  const group* team = getgrnam("nogroup");
  if (user == nullptr || team == nullptr) return {0, 0};
  return {user->pw_uid, team->gr_gid};
}

// In a child process: become the player. False when that failed.
bool become_player() {
  if (geteuid() != 0) return true;
  Player who = player();
  return setgroups(0, nullptr) == 0 && setgid(who.gid) == 0 && setuid(who.uid) == 0;
}

// The working directory made one players may not write, holding a table they
// may write through its group. False when that cannot be arranged.
bool share_table_in_closed_directory(const std::string& table) {
  Player who = player();
  if (geteuid() == 0 && who.uid == 0) return false;
  put_file(SCORE_FILE, table);
  if (geteuid() == 0 && chown(SCORE_FILE, 0, who.gid) != 0) return false;
  return chmod(SCORE_FILE, 0664) == 0 && chmod(".", geteuid() == 0 ? 0755 : 0555) == 0;
}

// Runs body in a child process, as the player when as_player; body's result
// is the child's exit status.
template <class Body>
pid_t spawn(bool as_player, Body body) {
  pid_t child = fork();
  if (child == 0) {
    if (as_player && !become_player()) _exit(90);
    _exit(body());
  }
  return child;
}

int exit_status(pid_t child) {
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// The stall a test puts into one saver's store.
StoreStep stall_step = STORE_LOCKED;
int stall_ms = 0;
int stall_notify = -1;

void stall(StoreStep step) {
  if (step != stall_step) return;
  if (stall_notify >= 0 && write(stall_notify, "s", 1) != 1) _exit(91);
  usleep(static_cast<useconds_t>(stall_ms) * 1000);
}

// A save that stalls at step for ms; exits 0 when the save succeeded, 1 when not.
int stalled_save(StoreStep step, int ms, int notify, int score, const char* name) {
  stall_step = step;
  stall_ms = ms;
  stall_notify = notify;
  store_step_hook = stall;
  return save_high_score(score, name) ? 0 : 1;
}

// Reads the table as the game does until told to stop; exits 0 when every
// read gave five whole lines.
int read_until_stopped(int stop) {
  int bad = 0;
  char flag = 0;
  while (read(stop, &flag, 1) < 0) {
    ScoreText text;
    int size = store_read(SCORE_FILE, text.bytes, SCORE_TEXT_LIMIT);
    if (size < 0 || !is_written_table(std::string(text.bytes, static_cast<size_t>(size)))) {
      ++bad;
    }
  }
  return bad == 0 ? 0 : 1;
}

struct StallCase {
  const char* what;
  bool in_place;
  StoreStep step;
};

// Leaves the working directory writable again for its removal.
class ClosedDirectory : public ScoresTest {
 protected:
  void TearDown() override { chmod(dir_.c_str(), 0755); }
};

class StalledSave : public ClosedDirectory, public ::testing::WithParamInterface<StallCase> {};

// One save stalls past the stale age at a step of its save while two others
// save, each holding the table a little while, and a reader keeps reading.
// However the stall falls, every save that says it succeeded has its entry in
// the table, and the table is always five whole lines.
TEST_P(StalledSave, LosesNoEntryAndNeverTearsTheTable) {
  const StallCase& c = GetParam();
  if (c.in_place) {
    ASSERT_TRUE(share_table_in_closed_directory(DEFAULT_TABLE))
        << "needs a user other than root, or nobody/nogroup";
  } else {
    create_score_file();
  }
  const int STALL_MS = 1200;
  const int OTHER_HOLD_MS = 300;
  int reached[2];
  int stop[2];
  ASSERT_EQ(pipe(reached), 0);
  ASSERT_EQ(pipe(stop), 0);
  ASSERT_EQ(fcntl(stop[0], F_SETFL, O_NONBLOCK), 0);
  pid_t reader = spawn(c.in_place, [&] { return read_until_stopped(stop[0]); });
  // Names shorter than EMPTY: a table read half-rewritten in place would show.
  pid_t stalled =
      spawn(c.in_place, [&] { return stalled_save(c.step, STALL_MS, reached[1], 9, "s"); });
  pollfd wait_stall{reached[0], POLLIN, 0};
  ASSERT_EQ(poll(&wait_stall, 1, 10000), 1) << c.what << ": the saver never reached the step";
  std::vector<pid_t> others;
  for (int k = 0; k < 2; ++k) {
    others.push_back(spawn(c.in_place, [k] {
      return stalled_save(STORE_LOCKED, OTHER_HOLD_MS, -1, 7 - k, k == 0 ? "a" : "b");
    }));
  }
  const char* names[3] = {"s", "a", "b"};
  int statuses[3] = {exit_status(stalled), exit_status(others[0]), exit_status(others[1])};
  ASSERT_EQ(write(stop[1], "x", 1), 1);
  EXPECT_EQ(exit_status(reader), 0) << c.what << ": a reader saw a torn table";
  std::string after = file_bytes();
  EXPECT_TRUE(is_written_table(after)) << c.what << ":\n" << after;
  for (int k = 0; k < 3; ++k) {
    ASSERT_TRUE(statuses[k] == 0 || statuses[k] == 1) << c.what << ": status " << statuses[k];
    bool kept = after.find(std::string("\t\t\t") + names[k] + "\n") != std::string::npos;
    EXPECT_EQ(kept, statuses[k] == 0) << c.what << ": saver " << names[k] << "\n" << after;
  }
  EXPECT_FALSE(exists(LOCK_FILE));
  for (int fd : {reached[0], reached[1], stop[0], stop[1]}) close(fd);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, StalledSave,
    ::testing::Values(StallCase{"lock file made, not yet locked", false, STORE_LOCK_CREATED},
                      StallCase{"locked", false, STORE_LOCKED},
                      StallCase{"table read", false, STORE_TABLE_READ},
                      StallCase{"new table written", false, STORE_WRITTEN},
                      StallCase{"new table on disk", false, STORE_SYNCED},
                      StallCase{"in place: locked", true, STORE_LOCKED},
                      StallCase{"in place: table read", true, STORE_TABLE_READ},
                      StallCase{"in place: written, not yet cut", true, STORE_WRITTEN},
                      StallCase{"in place: on disk", true, STORE_SYNCED}),
    [](const auto& param) { return "case" + std::to_string(param.index); });

using SharedTable = ClosedDirectory;

// The directory refuses the lock file; the group may write the table.
TEST_F(SharedTable, IsRewrittenInPlaceWhereNoLockFileCanBeMade) {
  const int SCORES[5] = {50, 40, 30, 20, 10};
  const char* const NAMES[5] = {"Ann", "Ben", "Cat", "Dan", "Ed"};
  ASSERT_TRUE(share_table_in_closed_directory(table_of(SCORES, NAMES)))
      << "needs a user other than root, or nobody/nogroup";
  struct stat before{};
  ASSERT_EQ(stat(SCORE_FILE, &before), 0);
  pid_t saver = spawn(true, [] {
    bool saved = save_high_score(45, "Grp");
    return saved && read_lowest_score() == 20 ? 0 : 1;
  });
  EXPECT_EQ(exit_status(saver), 0);
  EXPECT_EQ(file_bytes(),
            "1\t50\t\t\tAnn\n2\t45\t\t\tGrp\n3\t40\t\t\tBen\n4\t30\t\t\tCat\n5\t20\t\t\tDan\n");
  struct stat after{};
  ASSERT_EQ(stat(SCORE_FILE, &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);  // the same file, rewritten
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_EQ(after.st_gid, before.st_gid);
  EXPECT_FALSE(exists(LOCK_FILE));

  // Without write permission on the table too, the save fails and says so.
  // Not even the owner's: a suite not run by root plays as the table's owner.
  ASSERT_EQ(chmod(SCORE_FILE, 0444), 0);
  pid_t refused = spawn(true, [] { return save_high_score(99, "No") ? 0 : 1; });
  EXPECT_EQ(exit_status(refused), 1);
  EXPECT_EQ(file_bytes().find("No\n"), std::string::npos);
}

TEST_F(SharedTable, ReplacedFileKeepsItsModeAndGroup) {
  if (geteuid() != 0) GTEST_SKIP() << "giving the file another group needs root";
  Player who = player();
  ASSERT_NE(who.uid, 0u) << "needs nobody/nogroup";
  put_file(SCORE_FILE, DEFAULT_TABLE);
  ASSERT_EQ(chown(SCORE_FILE, 0, who.gid), 0);
  ASSERT_EQ(chmod(SCORE_FILE, 0660), 0);
  struct stat before{};
  ASSERT_EQ(stat(SCORE_FILE, &before), 0);
  ASSERT_TRUE(save_high_score(5, "Root"));
  struct stat after{};
  ASSERT_EQ(stat(SCORE_FILE, &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);  // replaced by the lock file
  EXPECT_EQ(after.st_mode & 07777, 0660u);
  EXPECT_EQ(after.st_gid, who.gid);

  // A first table gets what a plain create under the umask gives.
  std::filesystem::remove(SCORE_FILE);
  mode_t previous = umask(002);
  create_score_file();
  umask(previous);
  ASSERT_EQ(stat(SCORE_FILE, &after), 0);
  EXPECT_EQ(after.st_mode & 07777, 0664u);
}

}  // namespace
}  // namespace vormi::test
