// A table shared by several players: saves stalled at each step while others
// save, the rewrite in place where the directory refuses the lock file and a
// save in place killed part-way, the mode and group a replaced file keeps, and
// a fellow player's link to a private file.
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "players.h"
#include "scores/high_scores.h"
#include "scores/score_file.h"
#include "scores/score_table.h"
#include "scores_fixture.h"

namespace vormi::test {
namespace {

// The stall a test puts into one saver's store: for stall_ms, or until a
// byte comes on stall_go when that is set.
StoreStep stall_step = STORE_LOCKED;
int stall_ms = 0;
int stall_notify = -1;
int stall_go = -1;

void stall(StoreStep step) {
  if (step != stall_step) return;
  if (stall_notify >= 0 && write(stall_notify, "s", 1) != 1) _exit(91);
  char go = 0;
  if (stall_go >= 0 && read(stall_go, &go, 1) != 1) _exit(92);
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
    if (size < 0 || !is_written_table(std::string(text.bytes, static_cast<size_t>(size)))) ++bad;
  }
  return bad == 0 ? 0 : 1;
}

struct StallCase {
  const char* what;
  bool in_place;
  StoreStep step;
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
  std::string after = read_file();
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

// A saver stalls between making its lock file and locking it; another game
// takes the lock for stale, removes it, makes its own and holds it while the
// first wakes. The first must see that the path now names another file and
// not take that lock for its own: it fails, and the other saves.
TEST_F(ScoresTest, StolenLockIsNotTakenForOurs) {
  create_score_file();
  int first_stalled[2];
  int first_go[2];
  int second_stalled[2];
  int second_go[2];
  for (int* ends : {first_stalled, first_go, second_stalled, second_go}) ASSERT_EQ(pipe(ends), 0);
  char got = 0;
  pid_t first = spawn(false, [&] {
    stall_go = first_go[0];
    return stalled_save(STORE_LOCK_CREATED, 0, first_stalled[1], 9, "first");
  });
  ASSERT_EQ(read(first_stalled[0], &got, 1), 1);
  ASSERT_TRUE(make_old(LOCK_FILE));
  pid_t second = spawn(false, [&] {
    stall_go = second_go[0];
    return stalled_save(STORE_LOCKED, 0, second_stalled[1], 8, "second");
  });
  ASSERT_EQ(read(second_stalled[0], &got, 1), 1);
  ASSERT_EQ(write(first_go[1], "g", 1), 1);
  int first_status = exit_status(first);
  ASSERT_EQ(write(second_go[1], "g", 1), 1);
  EXPECT_EQ(exit_status(second), 0);
  EXPECT_EQ(first_status, 1) << "the first saved under a lock not its own";
  EXPECT_EQ(read_file().rfind("1\t8\t\t\tsecond\n2\t0\t\t\tEMPTY\n", 0), 0u) << read_file();
  EXPECT_TRUE(is_written_table(read_file()));
  for (int* ends : {first_stalled, first_go, second_stalled, second_go}) {
    close(ends[0]);
    close(ends[1]);
  }
}

using SharedTable = ClosedDirectory;

// The directory refuses the lock file; the group may write the table.
TEST_F(SharedTable, IsRewrittenInPlaceWhereNoLockFileCanBeMade) {
  const int SCORES[5] = {50, 40, 30, 20, 10};
  const char* const NAMES[5] = {"Ann", "Ben", "Cat", "Dan", "Ed"};
  ASSERT_TRUE(share_table_in_closed_directory(table_of(SCORES, NAMES)))
      << "needs a user other than root, or nobody/nogroup";
  struct stat before {};
  ASSERT_EQ(stat(SCORE_FILE, &before), 0);
  pid_t saver = spawn(true, [] {
    bool saved = save_high_score(45, "Grp");
    return saved && lowest_score() == 20 ? 0 : 1;
  });
  EXPECT_EQ(exit_status(saver), 0);
  EXPECT_EQ(read_file(),
            "1\t50\t\t\tAnn\n2\t45\t\t\tGrp\n3\t40\t\t\tBen\n4\t30\t\t\tCat\n5\t20\t\t\tDan\n");
  struct stat after {};
  ASSERT_EQ(stat(SCORE_FILE, &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);  // the same file, rewritten
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_EQ(after.st_gid, before.st_gid);
  EXPECT_FALSE(exists(LOCK_FILE));

  // Without write permission on the table too, the save fails and says so.
  ASSERT_EQ(chmod(SCORE_FILE, 0444), 0);  // not even for its owner, when that is the player
  pid_t refused = spawn(true, [] { return save_high_score(99, "No") ? 0 : 1; });
  EXPECT_EQ(exit_status(refused), 1);
  EXPECT_EQ(read_file().find("No\n"), std::string::npos);
}

TEST_F(SharedTable, ReplacedFileKeepsItsModeAndGroup) {
  if (geteuid() != 0) GTEST_SKIP() << "giving the file another group needs root";
  Player who = player();
  ASSERT_NE(who.uid, 0u) << "needs nobody/nogroup";
  write_file(SCORE_FILE, DEFAULT_TABLE);
  ASSERT_EQ(chown(SCORE_FILE, 0, who.gid), 0);
  ASSERT_EQ(chmod(SCORE_FILE, 0660), 0);
  struct stat before {};
  ASSERT_EQ(stat(SCORE_FILE, &before), 0);
  ASSERT_TRUE(save_high_score(5, "Root"));
  struct stat after {};
  ASSERT_EQ(stat(SCORE_FILE, &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);  // replaced by the lock file
  EXPECT_EQ(after.st_mode & 07777, 0660u);
  EXPECT_EQ(after.st_gid, who.gid);

  // A first table gets 0644 and the directory's write bits, whatever the umask.
  std::filesystem::remove(SCORE_FILE);
  ASSERT_EQ(chmod(".", 02775), 0);
  mode_t previous = umask(077);
  create_score_file();
  umask(previous);
  ASSERT_EQ(stat(SCORE_FILE, &after), 0);
  EXPECT_EQ(after.st_mode & 07777, 0664u);
}

// Killed once it has written over a longer table, before the cut: the tail
// left reads as the new table's last line, so games still reach the name
// prompt at its lowest score, and the next save works.
TEST_F(SharedTable, SaveInPlaceKilledBeforeTheCutLeavesATableGamesCanEnter) {
  ASSERT_TRUE(share_table_in_closed_directory(
      "1\t50\t\t\tAnn\r\n2\t40\t\t\tBen\r\n3\t30\t\t\tCat\r\n4\t20\t\t\tDan\r\n5\t10\t\t\tEve\r\n"
      "6\t1\t\t\tFay\r\n"))
      << "needs a user other than root, or nobody/nogroup";
  pid_t killed = spawn(true, [] {
    store_step_hook = [](StoreStep step) {
      if (step == STORE_WRITTEN) raise(SIGKILL);
    };
    return save_high_score(45, "New") ? 0 : 1;
  });
  EXPECT_EQ(exit_status(killed), -1);
  pid_t next =
      spawn(true, [] { return lowest_score() == 20 && save_high_score(25, "Nxt") ? 0 : 1; });
  EXPECT_EQ(exit_status(next), 0);
  EXPECT_EQ(read_file(),
            "1\t50\t\t\tAnn\n2\t45\t\t\tNew\n3\t40\t\t\tBen\n4\t30\t\t\tCat\n5\t25\t\t\tNxt\n");
  EXPECT_FALSE(exists(LOCK_FILE));
}

// In a child process: the other player replaces the table by a link to the
// player's notes. Its exit status: 0 when done.
int link_table_to_notes() {
  return exit_status(spawn(false, [] {
    return become_other_player() && unlink(SCORE_FILE) == 0 &&
                   symlink("home/notes", SCORE_FILE) == 0
               ? 0
               : 1;
  }));
}

// The player, in the group's directory, with the group's umask: play's result.
int as_group_player(bool (*play)()) {
  return exit_status(spawn(true, [play] {
    umask(002);
    return play() ? 0 : 1;
  }));
}

// The other player links the table to the player's private notes before the
// game ends, or while the name is typed: the link is no table, a new one
// replaces it with the group's mode, and nothing of the notes reaches it.
TEST_F(SharedTable, FellowPlayersLinkToPrivateNotesIsNeverFollowed) {
  Player who = player();
  if (geteuid() != 0 || who.uid == 0) GTEST_SKIP() << "needs root and nobody/nogroup, daemon";
  const std::string NOTES = "1\t900\t\t\tsecret\n";
  for (bool at_name_prompt : {false, true}) {
    SCOPED_TRACE(at_name_prompt ? "at the name prompt" : "before game over");
    std::filesystem::remove_all("home");
    write_file(SCORE_FILE, DEFAULT_TABLE);
    std::filesystem::create_directory("home");
    write_file("home/notes", NOTES);
    for (const char* path : {".", SCORE_FILE, "home", "home/notes"})
      ASSERT_EQ(chown(path, path[0] == 'h' ? who.uid : 0, who.gid), 0);
    ASSERT_TRUE(chmod(".", 02775) == 0 && chmod(SCORE_FILE, 0664) == 0 &&
                chmod("home", 0700) == 0 && chmod("home/notes", 0600) == 0);
    EXPECT_EQ(at_name_prompt ? 0 : link_table_to_notes(), 0);
    EXPECT_EQ(as_group_player([] { return lowest_score() == 0; }), 0);
    EXPECT_EQ(at_name_prompt ? link_table_to_notes() : 0, 0);
    EXPECT_EQ(
        as_group_player([] { return save_high_score(45, "New") && save_high_score(40, "Nxt"); }),
        0);
    EXPECT_EQ(read_file("home/notes"), NOTES);
    EXPECT_EQ(read_file(),
              "1\t45\t\t\tNew\n2\t40\t\t\tNxt\n3\t0\t\t\tEMPTY\n4\t0\t\t\tEMPTY\n"
              "5\t0\t\t\tEMPTY\n");
    struct stat table {};
    ASSERT_EQ(lstat(SCORE_FILE, &table), 0);
    EXPECT_EQ(table.st_mode & 07777, 0664u);
    EXPECT_EQ(table.st_gid, who.gid);
  }
}

}  // namespace
}  // namespace vormi::test
