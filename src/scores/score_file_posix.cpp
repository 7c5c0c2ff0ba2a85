// The high-score file store on POSIX: the rows of score_file.h on POSIX calls.
// The lock file is held with flock (dropped by the system when its holder
// dies), the table with fcntl record locks (a shared one for readers and
// for a save by rename, which only a process that may write the table can
// keep out; an exclusive one, on a descriptor open for writing, for a save
// in place). A process's record locks on a file go with any descriptor of
// it that the process closes, so while a hold is kept the table is looked
// at, never opened again.
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "scores/file_time.h"
#include "scores/score_file.h"

namespace vormi {

namespace {

constexpr int LOCK_POLL_MS = 10;
// The links one name may lead through before it counts as no table.
constexpr int LINKS_FOLLOWED = 16;
// A walk's flags for "find the file, do not open it".
constexpr int JUST_LOOK = -1;
// Directories are walked through without reading them where the system can.
#ifdef O_PATH
constexpr int DIRECTORY_OPEN = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#else
constexpr int DIRECTORY_OPEN = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#endif

void reach(StoreStep step) {
  if (store_step_hook != nullptr) store_step_hook(step);
}

int64_t clock_ms(clockid_t which) {
  timespec now{};
  clock_gettime(which, &now);
  return milliseconds_of(now);
}

bool past(int64_t deadline) { return clock_ms(CLOCK_MONOTONIC) >= deadline; }

// K2: how far from now a file was last changed, either way, so a lock dated
// in the future (or a clock set back) is not fresh for ever.
int64_t age_ms(const struct stat& info) {
  int64_t age = clock_ms(CLOCK_REALTIME) - file_changed_ms(info);
  return age < 0 ? -age : age;
}

bool old_enough(const struct stat& info) { return age_ms(info) >= STORE_LOCK_STALE_MS; }

void pause_ms(int ms) {
  if (store_before_pause != nullptr) store_before_pause();
  timespec pause{0, static_cast<long>(ms) * 1000000L};
  while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int fd_of(StoreHandle handle) { return static_cast<int>(handle); }

void close_keeping_errno(int fd) {
  int error = errno;
  close(fd);
  errno = error;
}

StoreFailure failure_of(int error) {
  switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return STORE_NO_SPACE;
    case EACCES:
    case EPERM:
    case EROFS: return STORE_READ_ONLY;
    case EISDIR:
    case EINVAL: return STORE_NOT_A_FILE;
    default: return STORE_IO_ERROR;
  }
}

// ---- L1, L2: links ----

bool trusted(uid_t uid) { return uid == 0 || uid == geteuid(); }

// L1: whether no one but a trusted user may change the names in the
// directory open as dir: its owner is trusted, and no one else may write
// it, or it is sticky (only a name's owner, the directory's owner and root
// may rename or remove a name there).
bool directory_kept(int dir) {
  struct stat info {};
  if (fstatat(dir, ".", &info, 0) != 0 || !trusted(info.st_uid)) return false;
  return (info.st_mode & S_ISVTX) != 0 || (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

int walk(int dir, const char* path, int flags, struct stat& found, int& links);

// Opens name in dir with flags (JUST_LOOK: finds it only, returning 0),
// found its status. A link is followed only by L1, here and not by the
// system, so no swap of names at any moment changes what is opened: the
// link judged is the one read, as no one else may change it, and the file
// opened is checked with fstat to be the one found. Errors: ENOENT for a
// missing file or a link not followed (L2), EINVAL for something else than
// a regular file or directory as asked (T6).
int open_at(int dir, const char* name, int flags, struct stat& found, int& links) {
  if (fstatat(dir, name, &found, AT_SYMLINK_NOFOLLOW) != 0) return -1;
  bool want_directory = flags != JUST_LOOK && (flags & O_DIRECTORY) != 0;
  if (S_ISLNK(found.st_mode)) {
    char text[PATH_MAX];
    ssize_t length = --links >= 0 && trusted(found.st_uid) && directory_kept(dir)
                         ? readlinkat(dir, name, text, sizeof text - 1)
                         : -1;
    if (length <= 0) {
      errno = ENOENT;
      return -1;
    }
    text[length] = '\0';
    return walk(dir, text, flags, found, links);
  }
  if (want_directory ? !S_ISDIR(found.st_mode) : !S_ISREG(found.st_mode)) {
    errno = EINVAL;
    return -1;
  }
  if (flags == JUST_LOOK) return 0;
  int fd = openat(dir, name, want_directory ? flags : flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  // A name replaced between the look and the open (a save's rename, a link
  // put there) is looked at again.
  if (fd < 0) return errno == ELOOP ? (errno = EAGAIN, -1) : -1;
  struct stat opened {};
  if (fstat(fd, &opened) != 0 || !same_file(opened, found)) {
    close(fd);
    errno = EAGAIN;
    return -1;
  }
  found = opened;
  return fd;
}

// Opens path from dir one name at a time, each directory by a descriptor
// opened with O_NOFOLLOW, the last name as open_at does.
int walk(int dir, const char* path, int flags, struct stat& found, int& links) {
  int at = openat(path[0] == '/' ? AT_FDCWD : dir, path[0] == '/' ? "/" : ".", DIRECTORY_OPEN);
  const char* rest = path;
  while (at >= 0) {
    while (*rest == '/') ++rest;
    size_t length = std::strcspn(rest, "/");
    const char* after = rest + length;
    while (*after == '/') ++after;
    char name[NAME_MAX + 1];
    if (length == 0 || length > NAME_MAX) {
      close(at);
      errno = length == 0 ? EINVAL : ENAMETOOLONG;
      return -1;
    }
    std::memcpy(name, rest, length);
    name[length] = '\0';
    bool last = *after == '\0';
    int next = open_at(at, name, last ? flags : DIRECTORY_OPEN, found, links);
    close_keeping_errno(at);
    if (last || next < 0) return next;
    at = next;
    rest = after;
  }
  return -1;
}

// Opens the table at path (L1 followed, L2 not) with flags; found its status.
int open_table(const char* path, int flags, struct stat& found) {
  for (int tries = 0;; ++tries) {
    int links = LINKS_FOLLOWED;
    int fd = walk(AT_FDCWD, path, flags, found, links);
    if (fd >= 0 || errno != EAGAIN) return fd;
    if (tries == 100) {
      errno = ENOENT;
      return -1;
    }
  }
}

// Whether path still leads to the file open as fd, found without opening it.
bool leads_to(const char* path, int fd) {
  struct stat held {};
  struct stat found {};
  return fstat(fd, &held) == 0 && open_table(path, JUST_LOOK, found) == 0 && same_file(held, found);
}

// Whether path itself, not followed, is the file open as fd.
bool path_names(const char* path, int fd) {
  struct stat held {};
  struct stat named {};
  return fstat(fd, &held) == 0 && lstat(path, &named) == 0 && same_file(held, named);
}

// ---- locks ----

// K6: where the file system has no locks (ENOLCK, EOPNOTSUPP) no process can
// hold one, so the lock counts as had.
bool no_locks_here(int error) { return error == ENOLCK || error == EOPNOTSUPP; }

enum Flock { FLOCK_TAKEN, FLOCK_NONE_HERE, FLOCK_HELD, FLOCK_FAILED };

Flock flock_now(int fd, int kind) {
  if (flock(fd, kind | LOCK_NB) == 0) return FLOCK_TAKEN;
  if (no_locks_here(errno)) return FLOCK_NONE_HERE;
  return errno == EWOULDBLOCK || errno == EINTR ? FLOCK_HELD : FLOCK_FAILED;
}

// K7: a record lock of the whole table, of type F_RDLCK or F_WRLCK, polled to
// the deadline.
bool record_lock_until(int fd, short type, int64_t deadline) {
  for (;;) {
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    if (fcntl(fd, F_SETLK, &range) == 0 || no_locks_here(errno)) return true;
    if (errno != EACCES && errno != EAGAIN && errno != EINTR) return false;
    if (past(deadline)) return false;
    pause_ms(LOCK_POLL_MS);
  }
}

// ---- the lock's name: K2 to K5 ----

enum FoundLock {
  LOCK_GONE,        // removed or gone: the name is free to try again
  LOCK_HELD,        // a live game's, or too young to judge
  LOCK_STALE_KEPT,  // K5: left by a dead game, but this player may not remove it
};

// Puts back what was moved aside but is not what was judged (a fresh lock
// another game made meanwhile), where the lock's name is still free.
void put_back(const char* aside, const char* lock_path, const struct stat& moved) {
  if (S_ISREG(moved.st_mode)) {
    int linked = link(aside, lock_path);  // where another lock stands by now, that one stays
    static_cast<void>(linked);
    unlink(aside);
  } else if (access(lock_path, F_OK) != 0) {
    std::rename(aside, lock_path);
  }
}

// K2 to K4: moves what stands at the lock's name, judged as found, to a free
// name beside it (things standing at those names are passed by) and removes
// it there: only the very thing judged; anything else found moved is put
// back. A directory with something in it stays moved aside.
FoundLock move_aside(const char* lock_path, const struct stat& found) {
  char aside[PATH_MAX];
  for (int k = 0; k < 100; ++k) {
    int length =
        std::snprintf(aside, sizeof aside, "%s.%ld.%d", lock_path, static_cast<long>(getpid()), k);
    if (length < 0 || length >= static_cast<int>(sizeof aside)) return LOCK_STALE_KEPT;
    struct stat there {};
    if (lstat(aside, &there) == 0) continue;
    if (std::rename(lock_path, aside) != 0) {
      if (errno == ENOENT) return LOCK_GONE;
      if (errno == EEXIST || errno == ENOTEMPTY || errno == EISDIR || errno == ENOTDIR) continue;
      return LOCK_STALE_KEPT;
    }
    struct stat moved {};
    if (lstat(aside, &moved) != 0) return LOCK_GONE;
    if (!same_file(moved, found)) {
      put_back(aside, lock_path, moved);
      return LOCK_HELD;
    }
    if (S_ISDIR(moved.st_mode))
      rmdir(aside);
    else
      unlink(aside);
    return LOCK_GONE;
  }
  return LOCK_STALE_KEPT;
}

// K2, K3: a regular lock file. Only the holder of its exclusive flock may
// unlink it by name, so two waiters never both judge one lock stale and one
// remove the fresh lock the other has just made; judged under a shared flock
// (NFS refuses an exclusive one on a read-only descriptor with EBADF) or
// none, it is moved aside and checked instead. A lock this player cannot
// open is judged by its age alone.
FoundLock judge_lock_file(const char* lock_path, const struct stat& found) {
  const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int fd = open(lock_path, O_RDWR | flags);
  if (fd < 0 && errno == EACCES) fd = open(lock_path, O_RDONLY | flags);
  if (fd < 0) {
    if (errno == ENOENT) return LOCK_GONE;
    return old_enough(found) ? move_aside(lock_path, found) : LOCK_HELD;
  }
  Flock got = flock_now(fd, LOCK_EX);
  bool exclusive = got == FLOCK_TAKEN;
  if (got == FLOCK_FAILED && errno == EBADF) got = flock_now(fd, LOCK_SH);
  struct stat held {};
  FoundLock result = LOCK_HELD;
  if ((got == FLOCK_TAKEN || got == FLOCK_NONE_HERE) && fstat(fd, &held) == 0 && old_enough(held) &&
      path_names(lock_path, fd)) {
    if (!exclusive)
      result = move_aside(lock_path, held);
    else if (unlink(lock_path) == 0)
      result = LOCK_GONE;
    else if (errno == EACCES || errno == EPERM || errno == EROFS)
      result = LOCK_STALE_KEPT;
  }
  close(fd);
  return result;
}

// What stands at the lock's name, which a save found there when it tried to
// make its lock: a lock file (K2, K3), a symlink, which no game makes and
// which is never followed (K3: judged by its age), or anything else, which is
// no game's lock (K4).
FoundLock judge_lock(const char* lock_path) {
  struct stat found {};
  if (lstat(lock_path, &found) != 0) return errno == ENOENT ? LOCK_GONE : LOCK_HELD;
  if (S_ISREG(found.st_mode)) return judge_lock_file(lock_path, found);
  if (S_ISLNK(found.st_mode) && !old_enough(found)) return LOCK_HELD;
  return move_aside(lock_path, found);
}

// ---- S1 to S4: taking the hold ----

enum Attempt { TAKEN, AGAIN, BUSY, REFUSED, FAILED };

// S4: a first table's mode, whatever the umask: 0644 with the directory's
// write bits for its group and others, so a group's directory gets a table
// its group may write.
mode_t first_table_mode() {
  struct stat directory {};
  mode_t writers = stat(".", &directory) == 0 ? directory.st_mode & (S_IWGRP | S_IWOTH) : 0;
  return 0644 | writers;
}

// S1: makes the lock file, never through a symlink, with the mode the new
// table will have less others' bits (K7: no one outside the table's owner
// and group may open it, let alone lock it), and the table's group.
int create_lock_file(const char* lock_path, const char* path) {
  struct stat table {};
  bool has_table = open_table(path, JUST_LOOK, table) == 0;
  mode_t mode = has_table ? table.st_mode & 0777 : first_table_mode();
  mode_t umask_was = umask(0);
  int fd = open(lock_path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode & 0770);
  int error = errno;
  umask(umask_was);
  if (fd >= 0 && has_table) {
    // Allowed for a group the player belongs to; otherwise the player's own.
    int group_given = fchown(fd, static_cast<uid_t>(-1), table.st_gid);
    static_cast<void>(group_given);
    fchmod(fd, mode & 0770);  // a change of group may clear bits
  }
  errno = error;
  return fd;
}

// S1, K1 to K5: one attempt at the lock file.
Attempt try_lock_file(const StoreHold& hold, int64_t deadline, int& lock, StoreFailure& failure) {
  int fd = create_lock_file(hold.lock_path, hold.path);
  if (fd < 0) {
    if (errno == EACCES || errno == EPERM || errno == EROFS) return REFUSED;  // S3
    if (errno != EEXIST) {
      failure = failure_of(errno);
      return FAILED;
    }
    switch (judge_lock(hold.lock_path)) {
      case LOCK_GONE: return AGAIN;
      case LOCK_STALE_KEPT: return REFUSED;  // K5
      default: return BUSY;
    }
  }
  reach(STORE_LOCK_CREATED);
  // A waiter judging staleness may hold the flock for an instant; another
  // process that can open the file, for as long as it likes. Given up on,
  // the file is left for the stale check.
  Flock got = flock_now(fd, LOCK_EX);
  while (got == FLOCK_HELD && !past(deadline)) {
    pause_ms(LOCK_POLL_MS);
    got = flock_now(fd, LOCK_EX);
  }
  if (got == FLOCK_HELD || got == FLOCK_FAILED) {
    close(fd);
    failure = STORE_BUSY;
    return FAILED;
  }
  // Stalled past the stale age before the flock, this process may have lost
  // the name to a waiter, which removed the file and may have made its own.
  if (!path_names(hold.lock_path, fd)) {
    close(fd);
    return AGAIN;
  }
  lock = fd;
  return TAKEN;
}

// S2: in a sticky directory only a name's owner, the directory's owner and
// root may replace it.
bool rename_refused(const char* path) {
  struct stat named {};
  struct stat directory {};
  uid_t me = geteuid();
  return lstat(path, &named) == 0 && stat(".", &directory) == 0 &&
         (directory.st_mode & S_ISVTX) != 0 && me != 0 && named.st_uid != me &&
         directory.st_uid != me;
}

// S1: the table a save by rename replaces, read-locked so that a save in
// place waits for the rename. T5: a table this player may not read is never
// replaced; T6: nor is a directory or fifo. None there (T1, L2) is fine.
Attempt lock_table_shared(const char* path, int64_t deadline, int& table, StoreFailure& failure) {
  struct stat found {};
  table = open_table(path, O_RDONLY, found);
  if (table < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return TAKEN;
    failure = errno == EACCES || errno == EPERM ? STORE_UNREADABLE_TABLE : failure_of(errno);
    return FAILED;
  }
  if (record_lock_until(table, F_RDLCK, deadline)) return TAKEN;
  close(table);
  table = -1;
  failure = STORE_BUSY;
  return FAILED;
}

// S2, S3: the table itself, write-locked for a save in place, through a link
// only by L1 (the link's target is written). T3: a table with a second name
// is never written through.
Attempt lock_in_place(const char* path, int64_t deadline, int& table, StoreFailure& failure) {
  struct stat found {};
  int fd = open_table(path, O_RDWR, found);
  if (fd < 0) {
    // No table where the directory refuses files: none can be made.
    failure = errno == ENOENT || errno == ENOTDIR ? STORE_READ_ONLY : failure_of(errno);
    return FAILED;
  }
  bool locked = record_lock_until(fd, F_WRLCK, deadline);
  // A save by rename may have put a new table at the name meanwhile.
  bool current = locked && leads_to(path, fd);
  if (!locked || !current || fstat(fd, &found) != 0 || found.st_nlink != 1) {
    close(fd);
    failure = !locked ? STORE_BUSY : STORE_LINKED;
    return locked && !current ? AGAIN : FAILED;
  }
  table = fd;
  return TAKEN;
}

// ---- writing ----

int read_from_start(int fd, char* buffer, int capacity) {
  int done = 0;
  while (done < capacity) {
    ssize_t got = pread(fd, buffer + done, static_cast<size_t>(capacity - done), done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<int>(got);
  }
  return done;
}

bool write_at_start(int fd, const char* data, int size) {
  int done = 0;
  while (done < size) {
    ssize_t wrote = pwrite(fd, data + done, static_cast<size_t>(size - done), done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += static_cast<int>(wrote);
  }
  return true;
}

// The rename is only durable once the directory entry is on disk too.
void sync_directory() {
  int dir = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  fsync(dir);
  close(dir);
}

void give_up(StoreHold& hold) {
  if (hold.table != STORE_NO_HANDLE) close(fd_of(hold.table));
  if (hold.lock != STORE_NO_HANDLE) close(fd_of(hold.lock));
  hold.table = STORE_NO_HANDLE;
  hold.lock = STORE_NO_HANDLE;
}

// S1: the new table into the lock file, flushed, given the table's mode, and
// renamed over the table once the lock's name is seen to be still this
// save's (K6: where nothing can be held, a slow save may have lost it by
// age; its time is renewed first, so none judges it meanwhile).
bool replace_by_rename(StoreHold& hold, const char* data, int size) {
  int lock = fd_of(hold.lock);
  struct stat table {};
  bool has_table = store_has_table(hold) && fstat(fd_of(hold.table), &table) == 0;
  bool synced = write_at_start(lock, data, size);
  if (synced) reach(STORE_WRITTEN);
  synced = synced && fsync(lock) == 0;
  int error = errno;
  if (synced) reach(STORE_SYNCED);
  futimens(lock, nullptr);
  bool ours = path_names(hold.lock_path, lock);
  if (synced && ours) fchmod(lock, has_table ? table.st_mode & 0777 : first_table_mode());
  if (synced && ours && std::rename(hold.lock_path, hold.path) == 0) {
    give_up(hold);
    sync_directory();
    return true;
  }
  if (synced && ours) error = errno;
  hold.failure = !ours ? STORE_BUSY : failure_of(error);
  if (!ours) hold.lock_lost = true;
  store_release(hold);
  return false;
}

// Where the old table is longer than data, data is followed by its own last
// line again, stretched with spaces to cover the old text (a line past the
// fifth: the reader shows five lines and takes the lowest score from the
// last, which has the same score). Returns the length to write.
int64_t padded_length(int size, int last_line, int64_t old_size) {
  if (old_size <= size) return size;
  int64_t shortest = size + (size - last_line);
  return old_size > shortest ? old_size : shortest;
}

char padded_byte(const char* data, int size, int last_line, int64_t total, int64_t at) {
  if (at < size) return data[at];
  if (at == total - 1) return '\n';
  int64_t in_line = last_line + (at - size);
  return in_line < size - 1 ? data[in_line] : ' ';
}

// Writes data and its padding from the start of fd over old_size bytes of old
// text. True when all was written; written tells how much was.
bool write_padded(int fd, const char* data, int size, int64_t old_size, int64_t& written) {
  int last_line = size > 0 ? size - 1 : 0;
  while (last_line > 0 && data[last_line - 1] != '\n') --last_line;
  int64_t total = padded_length(size, last_line, old_size);
  char chunk[4096];
  written = 0;
  while (written < total) {
    int64_t left = total - written;
    int length = left < static_cast<int64_t>(sizeof chunk) ? static_cast<int>(left) : sizeof chunk;
    for (int k = 0; k < length; ++k)
      chunk[k] = padded_byte(data, size, last_line, total, written + k);
    ssize_t wrote = pwrite(fd, chunk, static_cast<size_t>(length), static_cast<off_t>(written));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    written += wrote;
  }
  return true;
}

// S2, S3: the new table written over the old one, never cut first, so a save
// cut off at any point leaves the old table or the new one with a tail that
// reads as its last line; cut to its own length once flushed. T4: no further
// than what a reader reads is covered, however long the old file claims to
// be. E1: once anything is written the save counts as made.
bool replace_in_place(StoreHold& hold, const char* data, int size) {
  int table = fd_of(hold.table);
  struct stat old {};
  int64_t written = 0;
  bool whole =
      fstat(table, &old) == 0 &&
      write_padded(table, data, size,
                   old.st_size < STORE_TABLE_LIMIT ? old.st_size : STORE_TABLE_LIMIT, written);
  int error = errno;
  if (whole) reach(STORE_WRITTEN);
  if (written >= size) {
    if (fsync(table) == 0 && whole) reach(STORE_SYNCED);
    int cut = ftruncate(table, size);
    static_cast<void>(cut);  // what is left past the table reads as its last line
  }
  hold.failure = written > 0 ? STORE_SAVED : failure_of(error);
  store_release(hold);
  return written > 0;
}

}  // namespace

int store_read(const char* path, char* buffer, int capacity) {
  struct stat found {};
  int fd = open_table(path, O_RDONLY, found);
  if (fd < 0) return errno == EACCES || errno == EPERM ? STORE_UNREADABLE : STORE_MISSING;
  // A save in place that holds the table longer than any save takes is
  // stalled; the table is read without the lock then rather than not at all.
  record_lock_until(fd, F_RDLCK, clock_ms(CLOCK_MONOTONIC) + STORE_LOCK_WAIT_MS);
  int size = read_from_start(fd, buffer, capacity);
  close(fd);
  return size < 0 ? STORE_UNREADABLE : size;
}

bool store_hold(const char* lock_path, const char* path, int wait_ms, StoreHold& hold) {
  hold = StoreHold{lock_path, path, STORE_NO_HANDLE, STORE_NO_HANDLE, false, false, STORE_SAVED};
  int64_t deadline = clock_ms(CLOCK_MONOTONIC) + wait_ms;
  for (;;) {
    int lock = -1;
    int table = -1;
    StoreFailure failure = STORE_BUSY;
    Attempt got = try_lock_file(hold, deadline, lock, failure);
    hold.lock = lock;
    if (got == TAKEN || got == REFUSED) {
      hold.in_place = got == REFUSED || rename_refused(path);
      got = hold.in_place ? lock_in_place(path, deadline, table, failure)
                          : lock_table_shared(path, deadline, table, failure);
      hold.table = table;
      if (got == TAKEN) {
        reach(STORE_LOCKED);
        return true;
      }
      store_release(hold);
    }
    if (got == FAILED || past(deadline)) {
      hold.failure = failure;
      return false;
    }
    if (got == BUSY) pause_ms(LOCK_POLL_MS);
  }
}

int store_read_held(StoreHold& hold, char* buffer, int capacity) {
  if (!store_has_table(hold)) return 0;
  int size = read_from_start(fd_of(hold.table), buffer, capacity);
  if (size >= 0) reach(STORE_TABLE_READ);
  return size;
}

bool store_replace(StoreHold& hold, const char* data, int size) {
  if (hold.in_place) return replace_in_place(hold, data, size);
  return replace_by_rename(hold, data, size);
}

void store_release(StoreHold& hold) {
  // The lock file is removed before its flock goes, so no one can take it
  // for stale meanwhile; only while its name is still this save's (K6).
  if (hold.lock != STORE_NO_HANDLE && path_names(hold.lock_path, fd_of(hold.lock)))
    unlink(hold.lock_path);
  give_up(hold);
}

}  // namespace vormi
