// What a player's save meets at the lock beside the table, saved through
// save_high_score and read back: NFS's rule for flock or no flock at all, a
// process that takes the saver's fresh lock, stale locks the player may not
// remove, open or lock, a table hard-linked to the player's notes, and a table
// an editor saved with a byte order mark. No other file changes, and the next
// save works.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "players.h"
#include "scores/high_scores.h"
#include "scores/score_file.h"
#include "scores_fixture.h"

namespace vormi::test {
namespace {

const std::string ONE_ENTRY = "1\t50\t\t\tAnn\n";
const std::string SAVED =
    "1\t50\t\t\tAnn\n2\t45\t\t\tNew\n3\t0\t\t\tEMPTY\n4\t0\t\t\tEMPTY\n5\t0\t\t\tEMPTY\n";
const char SAVED_AFRESH[] =
    "1\t45\t\t\tNew\n2\t0\t\t\tEMPTY\n3\t0\t\t\tEMPTY\n4\t0\t\t\tEMPTY\n5\t0\t\t\tEMPTY\n";

// Each arrangement leaves the working directory as its situation has it,
// around the table already there; false when this user cannot arrange it.

// The player's own directory and table.
bool own_directory() {
  Player who = player();
  if (geteuid() != 0) return true;
  return who.uid != 0 && chown(".", who.uid, who.gid) == 0 &&
         chown(SCORE_FILE, who.uid, who.gid) == 0;
}

// There, a lock a game of the player's left when it died long ago.
bool own_stale_lock() {
  if (!own_directory()) return false;
  write_file(LOCK_FILE, "");
  Player who = player();
  return (geteuid() != 0 || chown(LOCK_FILE, who.uid, who.gid) == 0) && make_old(LOCK_FILE);
}

// A directory the player may not write, the table the player's through its
// group, and a lock root's game left there when it died.
bool roots_stale_lock_in_closed_directory() {
  if (geteuid() != 0 || !share_table_in_closed_directory(read_file())) return false;
  write_file(LOCK_FILE, "");
  return chmod(LOCK_FILE, 0644) == 0 && make_old(LOCK_FILE);
}

// A setgid directory of the group, the table the group's.
bool group_directory() {
  Player who = player();
  return geteuid() == 0 && who.uid != 0 && chown(".", 0, who.gid) == 0 && chmod(".", 02775) == 0 &&
         chown(SCORE_FILE, 0, who.gid) == 0 && chmod(SCORE_FILE, 0664) == 0;
}

// There, the player's private notes hard-linked as the table by the other
// player (where the system lets that player; root does it here), and a
// private lock of that player's, long old.
bool linked_notes_and_private_lock() {
  const passwd* other = getpwnam("daemon");
  Player who = player();
  write_file(LOCK_FILE, "");
  return group_directory() && other != nullptr && std::rename(SCORE_FILE, "notes") == 0 &&
         chown("notes", who.uid, who.gid) == 0 && chmod("notes", 0600) == 0 &&
         link("notes", SCORE_FILE) == 0 && chown(LOCK_FILE, other->pw_uid, 0) == 0 &&
         chmod(LOCK_FILE, 0600) == 0 && make_old(LOCK_FILE);
}

// There, the lock the other player's game left when it died with a umask of 077.
bool private_dead_lock_in_group_directory() {
  if (!group_directory()) return false;
  pid_t dead = fork();
  if (dead == 0) {
    umask(077);
    if (!become_other_player()) _exit(90);
    store_step_hook = [](StoreStep step) {
      if (step == STORE_LOCK_CREATED) _exit(0);
    };
    save_high_score(1, "Dead");
    _exit(91);
  }
  return exit_status(dead) == 0 && exists(LOCK_FILE) && make_old(LOCK_FILE);
}

// Set in the saver: the moment it has made its lock file, another process
// opens that and takes its flock, and keeps it until the saver has ended.
void lock_taken_at_creation(StoreStep step) {
  if (step != STORE_LOCK_CREATED) return;
  int ready[2];
  int saver_alive[2];
  if (pipe(ready) != 0 || pipe(saver_alive) != 0) _exit(92);
  if (fork() == 0) {
    close(saver_alive[1]);
    int fd = open(LOCK_FILE, O_RDONLY);
    if (fd < 0 || flock(fd, LOCK_EX) != 0 || write(ready[1], "x", 1) != 1) _exit(1);
    // Bounded only so that a saver waiting for ever ends the test.
    pollfd saver_gone{saver_alive[0], POLLIN, 0};
    poll(&saver_gone, 1, 10000);
    _exit(0);
  }
  char got = 0;
  if (read(ready[0], &got, 1) != 1) _exit(93);
}

struct LockCase {
  const char* what;
  bool (*arrange)();
  void (*hook)(StoreStep);  // set in the saver, when not null
  const char* flock_rule;   // preloaded into the saver: "nfs", "none" (no flock), or null
  bool saved;
  bool lock_left;
  bool byte_order_mark;  // the table starts with one
  const char* saved_table = SAVED.c_str();
};

void PrintTo(const LockCase& c, std::ostream* out) { *out << c.what; }

class LockSituation : public ClosedDirectory, public ::testing::WithParamInterface<LockCase> {
 protected:
  // The saver and the library that gives it NFS's rule, copied where the
  // player can reach them, wherever the build lies.
  void copy_programs() {
    auto executable = std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                      std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                      std::filesystem::perms::others_exec;
    for (const std::filesystem::path& built : {saver_, rule_}) {
      std::filesystem::path at = dir_ / built.filename();
      std::filesystem::copy_file(built, at);
      std::filesystem::permissions(at, executable);
    }
  }

  // In the child, as the player: the saver under a rule for flock.
  [[noreturn]] void exec_saver_under(const char* flock_rule) const {
    setenv("FLOCK_RULE", flock_rule, 1);
    std::string sanitizer = "verify_asan_link_order=0";
    if (const char* options = std::getenv("ASAN_OPTIONS")) sanitizer += std::string(":") + options;
    setenv("ASAN_OPTIONS", sanitizer.c_str(), 1);
    setenv("LD_PRELOAD", (dir_ / rule_.filename()).c_str(), 1);
    std::string saver = (dir_ / saver_.filename()).string();
    execl(saver.c_str(), saver.c_str(), "45", "New", "nfs", static_cast<char*>(nullptr));
    _exit(94);
  }

  // Every file of the directory but the table and its lock, with its bytes.
  std::map<std::string, std::string> other_files() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      std::string name = entry.path().filename();
      if (name != SCORE_FILE && name != LOCK_FILE) files[name] = read_file(entry.path());
    }
    return files;
  }

  const std::filesystem::path saver_ = SCORE_SAVER_BINARY;
  const std::filesystem::path rule_ = NFS_FLOCK_RULE_LIBRARY;
};

TEST_P(LockSituation, SavesWhereTheDirectoryAllowsAndNeverWaitsLong) {
  const LockCase& c = GetParam();
  std::string table = (c.byte_order_mark ? "\xEF\xBB\xBF" : "") + ONE_ENTRY;
  write_file(SCORE_FILE, table);
  copy_programs();
  if (!c.arrange()) GTEST_SKIP() << "needs root and the users nobody and daemon, group nogroup";
  EXPECT_EQ(lowest_score(), 50) << c.what;
  std::map<std::string, std::string> others = other_files();
  pid_t saver = spawn(true, [&] {
    if (c.flock_rule != nullptr) exec_saver_under(c.flock_rule);
    store_step_hook = c.hook;
    return save_high_score(45, "New") ? 0 : 1;
  });
  int status = exit_status(saver);
  if (status == 94) GTEST_SKIP() << "programs cannot be run from " << dir_ << " (noexec?)";
  if (status == 95) GTEST_SKIP() << "the NFS rule cannot be preloaded here (no LD_PRELOAD)";
  EXPECT_EQ(status, c.saved ? 0 : 1) << c.what;
  EXPECT_EQ(read_file(), c.saved ? c.saved_table : table) << c.what;
  EXPECT_EQ(exists(LOCK_FILE), c.lock_left) << c.what;
  EXPECT_EQ(other_files(), others) << c.what;
  pid_t next = spawn(true, [] { return save_high_score(40, "Next") ? 0 : 1; });
  EXPECT_EQ(exit_status(next), 0) << c.what << ": the next save";
  EXPECT_NE(read_file().find("\t40\t\t\tNext\n"), std::string::npos) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Locks, LockSituation,
    ::testing::Values(
        LockCase{"NFS: a lock the player's dead game left", own_stale_lock, nullptr, "nfs", true,
                 false, false},
        // Given up after the wait; the lock file, no longer held, goes as stale.
        LockCase{"another process takes the flock of the saver's new lock", own_directory,
                 lock_taken_at_creation, nullptr, false, true, false},
        LockCase{"root's stale lock where the player may not remove it: saved in place",
                 roots_stale_lock_in_closed_directory, nullptr, nullptr, true, true, false},
        LockCase{"NFS: a lock a dead game with umask 077 left in the group's directory",
                 private_dead_lock_in_group_directory, nullptr, "nfs", true, false, false},
        LockCase{"a table saved with a byte order mark", own_directory, nullptr, nullptr, true,
                 false, true},
        // Moved aside and removed, never passed by in place; the notes are no table.
        LockCase{"the player's notes hard-linked as the table, another's old private lock",
                 linked_notes_and_private_lock, nullptr, nullptr, true, false, false, SAVED_AFRESH},
        LockCase{"no flock: a lock the player's dead game left", own_stale_lock, nullptr, "none",
                 true, false, false},
        LockCase{"NFS: root's stale lock, only readable, where the player may not remove it",
                 roots_stale_lock_in_closed_directory, nullptr, "nfs", true, true, false}),
    [](const auto& param) { return "case" + std::to_string(param.index); });

}  // namespace
}  // namespace vormi::test
