// The players of a shared table in tests: who they are when the suite runs
// as root, how a child process becomes one, and the directories they share.
#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "scores_fixture.h"

namespace vormi::test {

// The user a shared table's players are: nobody, in the group nogroup only,
// so the directory's and the file's permissions count even when the suite
// runs as root. A user other than root plays as itself.
struct Player {
  uid_t uid;
  gid_t gid;
};

inline Player player() {
  if (geteuid() != 0) return {geteuid(), getegid()};
  const passwd* user = getpwnam("nobody");
  const group* team = getgrnam("nogroup");
  if (user == nullptr || team == nullptr) return {0, 0};
  return {user->pw_uid, team->gr_gid};
}

// In a child process: become the player. False when that failed.
inline bool become_player() {
  if (geteuid() != 0) return true;
  Player who = player();
  return setgroups(0, nullptr) == 0 && setgid(who.gid) == 0 && setuid(who.uid) == 0;
}

// The working directory made one players may not write, holding a table they
// may write through its group. False when that cannot be arranged.
inline bool share_table_in_closed_directory(const std::string& table) {
  Player who = player();
  if (geteuid() == 0 && who.uid == 0) return false;
  write_file(SCORE_FILE, table);
  if (geteuid() == 0 && chown(SCORE_FILE, 0, who.gid) != 0) return false;
  return chmod(SCORE_FILE, 0664) == 0 && chmod(".", geteuid() == 0 ? 0755 : 0555) == 0;
}

// Runs body in a child process, as the player when as_player; body's result
// is the child's exit status.
template <class Body>
inline pid_t spawn(bool as_player, Body body) {
  pid_t child = fork();
  if (child == 0) {
    if (as_player && !become_player()) _exit(90);
    _exit(body());
  }
  return child;
}

inline int exit_status(pid_t child) {
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// In a child process run by root: become the second player, daemon, in its
// own group and in nogroup, the group it shares the table through with the
// first. False when that failed or the process is not root's.
inline bool become_other_player() {
  const passwd* user = getpwnam("daemon");
  const group* team = getgrnam("nogroup");
  if (geteuid() != 0 || user == nullptr || team == nullptr) return false;
  gid_t groups[1] = {team->gr_gid};
  return setgroups(1, groups) == 0 && setgid(user->pw_gid) == 0 && setuid(user->pw_uid) == 0;
}

// Dates the file long back, as a lock left by a game that died long ago.
inline bool make_old(const char* path) {
  timeval long_ago[2] = {{1000000000, 0}, {1000000000, 0}};
  return utimes(path, long_ago) == 0;
}

// Leaves the working directory writable again for its removal.
class ClosedDirectory : public ScoresTest {
 protected:
  void TearDown() override { chmod(dir_.c_str(), 0755); }
};

}  // namespace vormi::test
