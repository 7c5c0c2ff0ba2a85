// What a player's save meets at the lock beside the table, saved through
// save_high_score and read back: NFS's rule for flock or no flock at all, a
// process that takes the saver's fresh lock, stale locks the player may not
// remove, open or lock, a table hard-linked to the player's notes, and a table
// an editor saved with a byte order mark. No other file changes, and the next
// save works.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// The other player's uid, taken at once: player() reuses getpwnam's record.
uid_t other_uid() {
  const passwd* other = getpwnam("daemon");
  return other != nullptr ? other->pw_uid : 0;
}

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
  uid_t other = other_uid();
  Player who = player();
  write_file(LOCK_FILE, "");
  return group_directory() && other != 0 && std::rename(SCORE_FILE, "notes") == 0 &&
         chown("notes", who.uid, who.gid) == 0 && chmod("notes", 0600) == 0 &&
         link("notes", SCORE_FILE) == 0 && chown(LOCK_FILE, other, 0) == 0 &&
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

// The player's private notes in home/, which only the player may enter.
const std::string NOTES = "1\t900\t\t\tsecret\n";
bool private_notes() {
  Player who = player();
  std::filesystem::create_directory("home");
  write_file("home/notes", NOTES);
  return chown("home", who.uid, who.gid) == 0 && chown("home/notes", who.uid, who.gid) == 0 &&
         chmod("home", 0700) == 0 && chmod("home/notes", 0600) == 0;
}

// A symlink made by root, or by the other player, at name.
bool link_of(const char* target, const char* name, const char* owner) {
  const passwd* user = getpwnam(owner);
  return user != nullptr && symlink(target, name) == 0 && lchown(name, user->pw_uid, 0) == 0;
}

// The table moved to var/kept, and root's link to it in its place.
bool roots_link_to_kept() {
  std::error_code made;
  std::filesystem::create_directory("var", made);
  return !made && std::rename(SCORE_FILE, "var/kept") == 0 &&
         link_of("var/kept", SCORE_FILE, "root");
}

// The group's directory, root's link at the table, which the other player swaps
// (RENAME_EXCHANGE) with a link of his own to the player's notes as games save.
bool roots_link_swapped_with_another() {
  return group_directory() && private_notes() && roots_link_to_kept();
}

// The player's own directory; root's link there leads on into a directory
// the group may write, to the other player's link to the player's notes.
bool roots_link_on_to_anothers() {
  std::filesystem::create_directory("sub");
  Player who = player();
  return own_directory() && private_notes() && std::filesystem::remove(SCORE_FILE) &&
         chown("sub", 0, who.gid) == 0 && chmod("sub", 02775) == 0 &&
         link_of("../home/notes", "sub/t", "daemon") && link_of("sub/t", SCORE_FILE, "root");
}

// A directory of the group that the other player owns, and his link to the notes.
bool anothers_directory_and_link() {
  uid_t other = other_uid();
  return group_directory() && other != 0 && chown(".", other, player().gid) == 0 &&
         private_notes() && std::filesystem::remove(SCORE_FILE) &&
         link_of("home/notes", SCORE_FILE, "daemon");
}

bool closed_directory() { return share_table_in_closed_directory(read_file()); }

// The table in place, claiming 100 GiB: sparse beyond its first line.
bool sparse_table_in_place() {
  return closed_directory() && truncate(SCORE_FILE, 100LL << 30) == 0;
}

// In the saver: the table written in place never takes more room than a reader reads.
void no_more_than_a_reader_reads(StoreStep step) {
  struct stat table {};
  if (step == STORE_WRITTEN &&
      (stat(SCORE_FILE, &table) != 0 || table.st_blocks * 512 > 2 * STORE_TABLE_LIMIT))
    _exit(99);
}

// A directory with a file in it at the lock's name.
bool directory_at_the_lock() {
  std::filesystem::create_directories(std::string(LOCK_FILE) + "/kept");
  return group_directory();
}

// In the saver: more such directories at the names it moves locks aside to.
void directories_aside() {
  for (int k = 0; k < 2; ++k) {
    std::string aside =
        std::string(LOCK_FILE) + "." + std::to_string(getpid()) + "." + std::to_string(k) + "/kept";
    std::filesystem::create_directories(aside);
  }
}

bool fifo_at_the_lock_and_no_table() {
  return own_directory() && std::filesystem::remove(SCORE_FILE) && mkfifo(LOCK_FILE, 0644) == 0;
}

// Runs work in a child process once start has succeeded there, until
// SIGTERM; returns the child once started, -1 when it did not start.
volatile sig_atomic_t working = 1;
pid_t in_background(bool (*start)(), int (*work)()) {
  int ready[2] = {-1, -1};
  pid_t child = pipe(ready) == 0 ? fork() : -1;
  if (child == 0) {
    signal(SIGTERM, [](int) { working = 0; });
    _exit(start() && write(ready[1], "r", 1) == 1 ? work() : 1);
  }
  // The write end closed here, a child that could not start ends the read.
  close(ready[1]);
  char got = 0;
  const bool started = child > 0 && read(ready[0], &got, 1) == 1;
  close(ready[0]);
  return started ? child : -1;
}

// As bin, outside the group: the table opened for reading and locked every
// way such a reader may, until stopped. In place (a directory the group may
// not write) a record lock keeps the writer out (score_file.h, K7): there,
// only the flock.
pid_t outsider_locks_the_table() {
  return in_background(
      [] {
        const passwd* bin = getpwnam("bin");
        struct stat directory {};
        struct flock range {};
        range.l_type = F_RDLCK;
        int fd = bin != nullptr && setgroups(0, nullptr) == 0 && setgid(bin->pw_gid) == 0 &&
                         setuid(bin->pw_uid) == 0
                     ? open(SCORE_FILE, O_RDONLY)
                     : -1;
        return fd >= 0 && flock(fd, LOCK_EX) == 0 && stat(".", &directory) == 0 &&
               ((directory.st_mode & S_IWGRP) == 0 || fcntl(fd, F_SETLK, &range) == 0);
      },
      [] {
        while (working) pause();
        return 0;
      });
}

// As the other player: root's link at the table and his own, swapped as
// fast as they go until stopped; then the regular file is put back at the
// table's name and his name removed.
pid_t swapper() {
  return in_background([] { return become_other_player() && symlink("home/notes", "mine") == 0; },
                       [] {
#ifdef RENAME_EXCHANGE
                         while (working)
                           renameat2(AT_FDCWD, SCORE_FILE, AT_FDCWD, "mine", RENAME_EXCHANGE);
                         struct stat at {};
                         if (lstat(SCORE_FILE, &at) == 0 && !S_ISREG(at.st_mode))
                           renameat2(AT_FDCWD, SCORE_FILE, AT_FDCWD, "mine", RENAME_EXCHANGE);
#endif
                         return unlink("mine") == 0 ? 0 : 1;
                       });
}

// A sticky directory of the group; the table the other player's.
bool sticky_directory_anothers_table() {
  uid_t other = other_uid();
  return group_directory() && chmod(".", 03775) == 0 && other != 0 &&
         chown(SCORE_FILE, other, player().gid) == 0;
}

// The group's directory; the table root's and only readable to the player; a
// lock root's game left there, readable to all.
bool roots_table_and_stale_lock() {
  write_file(LOCK_FILE, "");
  return group_directory() && chmod(SCORE_FILE, 0644) == 0 && chmod(LOCK_FILE, 0644) == 0 &&
         make_old(LOCK_FILE);
}

// A backup of the table by hard link (cp -al), where saves replace it or rewrite it in place.
bool backup_linked() { return group_directory() && link(SCORE_FILE, "highscores.bak") == 0; }
bool backup_linked_in_place() {
  return closed_directory() && link(SCORE_FILE, "highscores.bak") == 0;
}

// Root's link to the table, in root's directory the player may not write.
bool roots_link_in_closed_directory() {
  return geteuid() == 0 && closed_directory() && roots_link_to_kept();
}

// As above, arranged by root, who alone can act as the outsider beside it.
bool closed_directory_by_root() { return geteuid() == 0 && closed_directory(); }

bool group_directory_no_table() { return group_directory() && std::filesystem::remove(SCORE_FILE); }

bool old_symlink_at_the_lock() {
  timespec long_ago[2] = {{1000000000, 0}, {1000000000, 0}};
  return own_directory() && symlink("nowhere", LOCK_FILE) == 0 &&
         utimensat(AT_FDCWD, LOCK_FILE, long_ago, AT_SYMLINK_NOFOLLOW) == 0;
}

// The player's lock, dated a day ahead (a clock set back since).
bool lock_from_the_future() {
  Player who = player();
  write_file(LOCK_FILE, "");
  timeval ahead[2] = {{time(nullptr) + 86400, 0}, {time(nullptr) + 86400, 0}};
  return own_directory() && chown(LOCK_FILE, who.uid, who.gid) == 0 &&
         utimes(LOCK_FILE, ahead) == 0;
}

// A row of the store's table (score_file.h): the situation, and what a save
// of 45 "New" by the player does in it.
struct LockCase {
  const char* what;
  bool (*arrange)();
  void (*hook)(StoreStep);  // set in the saver, when not null
  const char* flock_rule;   // preloaded into the saver: "nfs", "none", "eopnotsupp", or null
  StoreFailure why;         // STORE_SAVED when saved
  bool lock_left;
  bool byte_order_mark;                     // the table starts with one
  const char* table_after = SAVED.c_str();  // null: any written table with the entry
  pid_t (*rival)() = nullptr;               // at work through the save, stopped after it
  void (*in_saver)() = nullptr;             // run in the saver before it saves
  mode_t mode = 0;                          // the table's permission bits after, when not 0
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
    bool rival = std::strcmp(flock_rule, "none-rival") == 0;
    if (rival) setenv("SAVER_RIVAL", "1", 1);
    setenv("FLOCK_RULE", rival ? "none" : flock_rule, 1);
    std::string sanitizer = "verify_asan_link_order=0";
    if (const char* options = std::getenv("ASAN_OPTIONS")) sanitizer += std::string(":") + options;
    setenv("ASAN_OPTIONS", sanitizer.c_str(), 1);
    setenv("LD_PRELOAD", (dir_ / rule_.filename()).c_str(), 1);
    std::string saver = (dir_ / saver_.filename()).string();
    execl(saver.c_str(), saver.c_str(), "45", "New", "nfs", static_cast<char*>(nullptr));
    _exit(94);
  }

  // Every file of the directory but the table and its lock (and what a save
  // moved aside beside it), with its bytes.
  std::map<std::string, std::string> other_files() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      std::string name = entry.path().filename();
      if (name != SCORE_FILE && name.rfind(LOCK_FILE, 0) != 0 && !entry.is_directory())
        files[name] = read_file(entry.path());
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
  if (!c.arrange()) GTEST_SKIP() << "needs root and the users nobody, daemon and bin";
  std::map<std::string, std::string> others = other_files();
  pid_t rival = c.rival != nullptr ? c.rival() : 0;
  ASSERT_GE(rival, 0) << c.what << ": the other process did not start";
  pid_t saver = spawn(true, [&] {
    if (c.in_saver != nullptr) c.in_saver();
    if (c.flock_rule != nullptr) exec_saver_under(c.flock_rule);
    store_step_hook = c.hook;
    StoreFailure why = STORE_SAVED;
    save_high_score(45, "New", why);
    return static_cast<int>(why);
  });
  int status = exit_status(saver);
  if (rival > 0) kill(rival, SIGTERM);
  EXPECT_TRUE(rival == 0 || exit_status(rival) == 0) << c.what << ": the other process";
  if (status == 94) GTEST_SKIP() << "programs cannot be run from " << dir_ << " (noexec?)";
  if (status == 95) GTEST_SKIP() << "the NFS rule cannot be preloaded here (no LD_PRELOAD)";
  EXPECT_EQ(status, c.why) << c.what;
  std::string after = read_file();
  if (c.table_after != nullptr) {
    EXPECT_EQ(after, c.table_after) << c.what;
  } else {  // braces: the check is an if of its own
    EXPECT_TRUE(is_written_table(after) && after.find("\t45\t\t\tNew\n") != std::string::npos)
        << c.what << ":\n"
        << after;
  }
  EXPECT_EQ(after.find("secret"), std::string::npos) << c.what << ": the notes were published";
  EXPECT_EQ(exists(LOCK_FILE), c.lock_left) << c.what;
  EXPECT_EQ(other_files(), others) << c.what;
  struct stat made {};
  EXPECT_TRUE(c.mode == 0 || (stat(SCORE_FILE, &made) == 0 && (made.st_mode & 07777) == c.mode));
  EXPECT_TRUE(!exists("home") || read_file("home/notes") == NOTES) << c.what;
  pid_t next = spawn(true, [] { return save_high_score(40, "Next") ? 0 : 1; });
  EXPECT_EQ(exit_status(next), c.why == STORE_LINKED ? 1 : 0) << c.what << ": the next save";
}

const std::string RIVAL_SAVED =
    "1\t50\t\t\tAnn\n2\t40\t\t\tRival\n3\t0\t\t\tEMPTY\n4\t0\t\t\tEMPTY\n5\t0\t\t\tEMPTY\n";

INSTANTIATE_TEST_SUITE_P(
    Locks, LockSituation,
    ::testing::Values(
        LockCase{"NFS: a lock the player's dead game left", own_stale_lock, nullptr, "nfs",
                 STORE_SAVED, false, false},
        // Given up after the wait; the lock file, no longer held, goes as stale.
        LockCase{"another process takes the flock of the saver's new lock", own_directory,
                 lock_taken_at_creation, nullptr, STORE_BUSY, true, false, ONE_ENTRY.c_str()},
        LockCase{"root's stale lock where the player may not remove it: saved in place",
                 roots_stale_lock_in_closed_directory, nullptr, nullptr, STORE_SAVED, true, false},
        LockCase{"NFS: a lock a dead game with umask 077 left in the group's directory",
                 private_dead_lock_in_group_directory, nullptr, "nfs", STORE_SAVED, false, false},
        LockCase{"a table saved with a byte order mark", own_directory, nullptr, nullptr,
                 STORE_SAVED, false, true},
        // The notes are read as a table; replaced by name, they keep their bytes.
        LockCase{"the player's notes hard-linked as the table, another's old private lock",
                 linked_notes_and_private_lock, nullptr, nullptr, STORE_SAVED, false, false},
        LockCase{"no flock: a lock the player's dead game left", own_stale_lock, nullptr, "none",
                 STORE_SAVED, false, false},
        LockCase{"NFS: root's stale lock, only readable, where the player may not remove it",
                 roots_stale_lock_in_closed_directory, nullptr, "nfs", STORE_SAVED, true, false},
        // K7: the link is never followed where others may swap it; a fresh table replaces it.
        LockCase{"fault 1: root's link swapped with another's as the player saves",
                 roots_link_swapped_with_another, nullptr, nullptr, STORE_SAVED, false, false,
                 SAVED_AFRESH, swapper},
        LockCase{"fault 2: root's link on to another player's link", roots_link_on_to_anothers,
                 nullptr, nullptr, STORE_SAVED, false, false, SAVED_AFRESH},
        LockCase{"fault 2: another player's link in the directory he owns",
                 anothers_directory_and_link, nullptr, nullptr, STORE_SAVED, false, false,
                 SAVED_AFRESH},
        LockCase{"fault 3: a sparse table of 100 GiB in place", sparse_table_in_place,
                 no_more_than_a_reader_reads, nullptr, STORE_SAVED, false, false, nullptr},
        LockCase{"fault 4: directories at the lock's name and the names beside it",
                 directory_at_the_lock, nullptr, nullptr, STORE_SAVED, false, false, SAVED.c_str(),
                 nullptr, directories_aside},
        LockCase{"fault 4: a fifo at the lock's name and no table yet",
                 fifo_at_the_lock_and_no_table, nullptr, nullptr, STORE_SAVED, false, false,
                 SAVED_AFRESH},
        LockCase{"fault 5: an outsider locks the table", group_directory, nullptr, nullptr,
                 STORE_SAVED, false, false, SAVED.c_str(), outsider_locks_the_table},
        LockCase{"fault 5: an outsider flocks the table written in place", closed_directory_by_root,
                 nullptr, nullptr, STORE_SAVED, false, false, SAVED.c_str(),
                 outsider_locks_the_table},
        LockCase{"fault 6: a sticky directory, another player's table",
                 sticky_directory_anothers_table, nullptr, nullptr, STORE_SAVED, false, false},
        LockCase{"fault 7: umask 077, no table yet in the group's directory",
                 group_directory_no_table, nullptr, nullptr, STORE_SAVED, false, false,
                 SAVED_AFRESH, nullptr, [] { umask(077); }, 0664},
        LockCase{"fault 8: NFS, root's readable stale lock, root's table",
                 roots_table_and_stale_lock, nullptr, "nfs", STORE_SAVED, false, false},
        LockCase{"fault 9: a hard-link backup, replaced by name", backup_linked, nullptr, nullptr,
                 STORE_SAVED, false, false},
        LockCase{"fault 9: a hard-link backup, in place", backup_linked_in_place, nullptr, nullptr,
                 STORE_LINKED, false, false, ONE_ENTRY.c_str()},
        // SAVER_RIVAL: the lock is taken by age while the new table is written.
        LockCase{"fault 10: no flock, the lock lost during a slow write", own_directory, nullptr,
                 "none-rival", STORE_BUSY, false, false, RIVAL_SAVED.c_str()},
        LockCase{"fault 11: root's link in root's directory", roots_link_in_closed_directory,
                 nullptr, nullptr, STORE_SAVED, false, false},
        LockCase{"an old symlink at the lock's name", old_symlink_at_the_lock, nullptr, nullptr,
                 STORE_SAVED, false, false},
        LockCase{"EOPNOTSUPP from flock: a lock the player's dead game left", own_stale_lock,
                 nullptr, "eopnotsupp", STORE_SAVED, false, false},
        LockCase{"a lock dated a day ahead", lock_from_the_future, nullptr, nullptr, STORE_SAVED,
                 false, false}),
    [](const auto& param) { return "case" + std::to_string(param.index); });

}  // namespace
}  // namespace vormi::test
