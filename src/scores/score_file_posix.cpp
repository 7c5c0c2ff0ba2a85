// The high-score file store on POSIX: O_EXCL lock files, flock, fsync, rename,
// and the rewrite in place for a table in a directory players may not write.
#include "scores/score_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "scores/file_time.h"

namespace vormi {

namespace {

constexpr int LOCK_POLL_MS = 10;

void reach(StoreStep step) {
  if (store_step_hook != nullptr) store_step_hook(step);
}

int64_t clock_ms(clockid_t which) {
  timespec now{};
  clock_gettime(which, &now);
  return milliseconds_of(now);
}

int64_t age_ms(const struct stat& info) {
  int64_t age = clock_ms(CLOCK_REALTIME) - file_changed_ms(info);
  // A clock set back makes a dead lock look young; its distance counts.
  return age < 0 ? -age : age;
}

void pause_ms(int ms) {
  if (store_before_pause != nullptr) store_before_pause();
  timespec pause{0, static_cast<long>(ms) * 1000000L};
  while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether path, not followed, names the file open as fd.
bool path_names(const char* path, int fd) {
  struct stat held {};
  struct stat named {};
  return fstat(fd, &held) == 0 && lstat(path, &named) == 0 && same_file(held, named);
}

// Takes an flock of the given kind without waiting. Where the file system has
// no flock at all (ENOLCK, EOPNOTSUPP) no process can hold one either, so the
// file counts as locked: by this process, and by no other.
bool flock_now(int fd, int kind) {
  return flock(fd, kind | LOCK_NB) == 0 || errno == ENOLCK || errno == EOPNOTSUPP;
}

// Takes an flock of the given kind, polling until the deadline so a holder
// that never lets go cannot hold this process for ever.
bool flock_until(int fd, int kind, int64_t deadline) {
  for (;;) {
    if (flock_now(fd, kind)) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (clock_ms(CLOCK_MONOTONIC) >= deadline) return false;
    pause_ms(LOCK_POLL_MS);
  }
}

// What a lock file found in the way turned out to be.
enum FoundLock {
  LOCK_GONE,        // removed (or gone already): the path is free to try again
  LOCK_HELD,        // a live game's, or too young to judge
  LOCK_STALE_KEPT,  // left by a dead game, but this player may not remove it
};

bool old_enough(const struct stat& info) {
  return S_ISREG(info.st_mode) && age_ms(info) >= STORE_LOCK_STALE_MS;
}

// Removes the lock file found, which this player cannot lock, where the
// directory allows. It is first moved to a name of this process's own, so
// that only the very file judged is removed: a fresh lock another game made
// in its place meanwhile is put back (that game, finding its lock gone for an
// instant, fails or tries again; it never writes another's).
FoundLock remove_unlockable(const char* lock_path, const struct stat& found) {
  char aside[PATH_MAX];
  int length = std::snprintf(aside, sizeof aside, "%s.%ld", lock_path, static_cast<long>(getpid()));
  if (length < 0 || length >= static_cast<int>(sizeof aside)) return LOCK_STALE_KEPT;
  if (std::rename(lock_path, aside) != 0) return errno == ENOENT ? LOCK_GONE : LOCK_STALE_KEPT;
  struct stat moved {};
  bool judged = lstat(aside, &moved) == 0 && same_file(moved, found);
  // Where yet another game's lock stands there by now, that one stays.
  int put_back = judged ? 0 : link(aside, lock_path);
  static_cast<void>(put_back);
  unlink(aside);
  return judged ? LOCK_GONE : LOCK_HELD;
}

// A lock this player cannot open (another player's, private to them) or a
// symlink at the lock's name, which no game makes and which is never
// followed. Whether a game still holds it cannot be told; a save takes
// milliseconds, so one old enough counts as left by a dead game. Where the
// directory keeps this player from removing it, a save in place is safe all
// the same, as it waits at the table's own lock for any save by a lock file;
// so it is passed by in place.
FoundLock judge_unopenable(const char* lock_path) {
  struct stat found {};
  if (lstat(lock_path, &found) != 0) return errno == ENOENT ? LOCK_GONE : LOCK_HELD;
  bool old =
      (S_ISREG(found.st_mode) || S_ISLNK(found.st_mode)) && age_ms(found) >= STORE_LOCK_STALE_MS;
  return old ? remove_unlockable(lock_path, found) : LOCK_HELD;
}

// Judges the lock at lock_path and removes it when its holder is gone. Only
// the one holding its exclusive flock may unlink it, and only the inode it has
// checked: so two waiters never both judge the same lock stale and one of
// them remove the fresh lock the other has just made. A holder stalled
// between its create and its flock for longer than the stale age does lose
// its lock here; it finds out when it checks, after its flock, that the path
// no longer names its file. On a file system without flock nothing is held,
// and age alone decides.
FoundLock clear_if_stale(const char* lock_path) {
  // For writing where allowed: over NFS an exclusive flock needs it.
  const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int fd = open(lock_path, O_RDWR | flags);
  if (fd < 0 && errno == EACCES) fd = open(lock_path, O_RDONLY | flags);
  if (fd < 0) return errno == ENOENT ? LOCK_GONE : judge_unopenable(lock_path);
  FoundLock result = LOCK_HELD;
  struct stat held {};
  // Read-only, an exclusive flock still works on a local disk; over NFS it
  // fails with EBADF, and a shared one proves as well that no game holds the
  // lock, but gives no right to remove it.
  bool exclusive = flock_now(fd, LOCK_EX);
  bool unheld = exclusive || (errno == EBADF && flock_now(fd, LOCK_SH));
  if (unheld && fstat(fd, &held) == 0 && old_enough(held) && path_names(lock_path, fd)) {
    if (exclusive && unlink(lock_path) == 0)
      result = LOCK_GONE;
    else if (!exclusive || errno == EACCES || errno == EPERM || errno == EROFS)
      result = LOCK_STALE_KEPT;
  }
  close(fd);
  return result;
}

// Whether a symlink at a name in the working directory may be followed: one
// made by this player, by root or by the directory's owner, as the kernel's
// rule for sticky directories has it. Another player's link may point at a
// file of this player's that its maker may not read.
bool trusted_link(const struct stat& link) {
  struct stat directory {};
  return link.st_uid == geteuid() || link.st_uid == 0 ||
         (stat(".", &directory) == 0 && link.st_uid == directory.st_uid);
}

// Finds the file at path: named holds path itself, not followed; where it is
// a link that may be followed, target gets the link's text (a name from the
// working directory) and file the target. False, with errno ENOENT, for a
// link that may not be followed: that is no table.
bool find_file(const char* path, struct stat& named, char (&target)[PATH_MAX], struct stat& file) {
  target[0] = '\0';
  if (lstat(path, &named) != 0) return false;
  file = named;
  if (!S_ISLNK(named.st_mode)) return true;
  if (!trusted_link(named)) {
    errno = ENOENT;
    return false;
  }
  ssize_t length = readlink(path, target, sizeof target - 1);
  if (length < 0) return false;
  target[length] = '\0';
  return stat(target, &file) == 0;
}

// The table's permission bits and group, through a link only where it may be
// followed. False when there is no such table, or when it has a second name:
// another player may have linked any file of this player's there, which a
// save then treats as no table, so that nothing of it reaches the new one.
bool table_status(const char* path, struct stat& table) {
  struct stat named {};
  char target[PATH_MAX];
  return find_file(path, named, target, table) && S_ISREG(table.st_mode) && table.st_nlink == 1;
}

// Opens path when it is a regular file, or a link that may be followed to
// one; never a link with O_NOFOLLOW in flags, and never anything else, so no
// fifo, device or other player's link is ever opened. -1 otherwise, with
// errno ENOENT when there is no table. A link's text never changes (a link
// put in its place is another file), so finding the same link after the open
// proves it was that link's target that was opened.
int open_regular(const char* path, int flags) {
  struct stat named {};
  struct stat file {};
  char target[PATH_MAX];
  if (!find_file(path, named, target, file)) return -1;
  bool via_link = S_ISLNK(named.st_mode);
  if (!S_ISREG(file.st_mode) || (via_link && (flags & O_NOFOLLOW) != 0)) {
    errno = EINVAL;
    return -1;
  }
  int fd = via_link ? open(target, flags | O_NONBLOCK | O_CLOEXEC)
                    : open(path, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat opened {};
  struct stat still {};
  if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) ||
      (via_link && (lstat(path, &still) != 0 || !same_file(still, named)))) {
    close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

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

// RETRY: try again at once; BUSY: another save holds it, try again shortly.
enum LockResult { LOCK_TAKEN, LOCK_RETRY, LOCK_BUSY, LOCK_REFUSED, LOCK_FAILED };

// Gives the file open as fd the permission bits and group of the table as
// described by table. The group first: a change of group can clear
// permission bits.
void give_mode(int fd, const struct stat& table) {
  // Allowed for a group the player belongs to; otherwise the file keeps the
  // player's own group.
  int group_kept = fchown(fd, static_cast<uid_t>(-1), table.st_gid);
  static_cast<void>(group_kept);
  fchmod(fd, table.st_mode & 0777);
}

// Makes the lock file with the table's mode (a first table's: 0666 less the
// umask), whatever the umask, and the table's group where allowed. So every
// player who may write the table may open a lock a dead game left, for
// writing as an exclusive flock over NFS needs, and judge it; and no one the
// table's mode keeps out may read the new table written into it.
int create_lock_file(const char* lock_path, const char* path) {
  struct stat table {};
  bool has_table = table_status(path, table);
  mode_t umask_was = umask(0);
  mode_t mode = has_table ? table.st_mode & 0777 : 0666 & ~umask_was;
  int fd = open(lock_path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  int error = errno;
  umask(umask_was);
  if (fd >= 0 && has_table) give_mode(fd, table);
  errno = error;
  return fd;
}

// One attempt at the lock file.
LockResult try_lock_file(const StoreHold& hold, int64_t deadline, int& lock) {
  int fd = create_lock_file(hold.lock_path, hold.path);
  if (fd < 0) {
    if (errno == EACCES || errno == EPERM || errno == EROFS) return LOCK_REFUSED;
    if (errno != EEXIST) return LOCK_FAILED;
    switch (clear_if_stale(hold.lock_path)) {
      case LOCK_GONE: return LOCK_RETRY;
      case LOCK_STALE_KEPT: return LOCK_REFUSED;
      default: return LOCK_BUSY;
    }
  }
  reach(STORE_LOCK_CREATED);
  // A waiter checking for staleness may hold the flock for an instant; any
  // other process that can open the file may hold it for as long as it
  // likes. Given up on, the file is left for the stale check: it is not
  // held, so it cannot be known to be still this process's.
  if (!flock_until(fd, LOCK_EX, deadline)) {
    close(fd);
    return LOCK_FAILED;
  }
  // Stalled past the stale age before the flock, this process may have lost
  // the path to a waiter, which removed the file and may have made its own:
  // that one is never written to, renamed or removed from here.
  if (!path_names(hold.lock_path, fd)) {
    close(fd);
    return LOCK_RETRY;
  }
  lock = fd;
  return LOCK_TAKEN;
}

// Locks the table a lock-file holder is about to replace, so that a save in
// place by a player who cannot make lock files waits for the replacement.
// A shared flock is enough to keep out the exclusive one of a save in place,
// and needs no write access, which the player may not have. The table may be
// missing (-1, fine) or a symlink (its target is locked).
bool lock_table_for_replace(const char* path, int64_t deadline, int& table) {
  struct stat found {};
  table = open_regular(path, O_RDONLY);
  if (table >= 0 && fstat(table, &found) == 0 && found.st_nlink != 1) {
    close(table);  // a second name: no table, as for table_status
    table = -1;
    return true;
  }
  if (table < 0) return errno == ENOENT;
  if (flock_until(table, LOCK_SH, deadline)) return true;
  close(table);
  return false;
}

// One attempt at the table itself, for a save in place. A symlink is refused:
// it is never written through; so is a table with a second name, which may
// be any file of this player's that another player has linked there.
LockResult try_lock_in_place(const char* path, int64_t deadline, int& table) {
  int fd = open_regular(path, O_RDWR | O_NOFOLLOW);
  if (fd < 0) return LOCK_FAILED;
  if (!flock_until(fd, LOCK_EX, deadline)) {
    close(fd);
    return LOCK_FAILED;
  }
  // A save by the lock file may have renamed a new table over this one
  // while this process waited.
  if (!path_names(path, fd)) {
    close(fd);
    return LOCK_RETRY;
  }
  struct stat held {};
  if (fstat(fd, &held) != 0 || held.st_nlink != 1) {
    close(fd);
    return LOCK_FAILED;
  }
  table = fd;
  return LOCK_TAKEN;
}

// Gives the new file the old table's permission bits and group.
void copy_mode(int from, int to) {
  struct stat old {};
  if (from >= 0 && fstat(from, &old) == 0) give_mode(to, old);
}

void give_up(StoreHold& hold) {
  if (hold.table >= 0) close(static_cast<int>(hold.table));
  if (hold.lock >= 0) close(static_cast<int>(hold.lock));
  hold.table = STORE_NO_HANDLE;
  hold.lock = STORE_NO_HANDLE;
}

bool replace_by_rename(StoreHold& hold, const char* data, int size) {
  int lock = static_cast<int>(hold.lock);
  copy_mode(static_cast<int>(hold.table), lock);
  bool written = write_at_start(lock, data, size);
  if (written) reach(STORE_WRITTEN);
  bool synced = written && fsync(lock) == 0;
  if (synced) reach(STORE_SYNCED);
  if (!synced || std::rename(hold.lock_path, hold.path) != 0) {
    store_release(hold);
    return false;
  }
  give_up(hold);
  sync_directory();
  return true;
}

// Where the old table is longer than data, data is followed by its own last
// line again, stretched with spaces to cover the old text (a line past the
// fifth: the reader shows and keeps five lines and takes the lowest score from
// the last line, which has the same score). total is the length to write.
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

// Writes data and its padding from the start of fd, the new table with the
// start of its padding in the first write. True when all was written;
// written tells how much was.
bool write_padded(int fd, const char* data, int size, int64_t old_size, int64_t& written) {
  int last_line = size > 0 ? size - 1 : 0;
  while (last_line > 0 && data[last_line - 1] != '\n') --last_line;
  int64_t total = padded_length(size, last_line, old_size);
  char chunk[4096];
  int64_t done = 0;
  written = 0;
  while (done < total) {
    int64_t left = total - done;
    int length = left < static_cast<int64_t>(sizeof chunk) ? static_cast<int>(left) : sizeof chunk;
    for (int k = 0; k < length; ++k) chunk[k] = padded_byte(data, size, last_line, total, done + k);
    ssize_t wrote = pwrite(fd, chunk, static_cast<size_t>(length), static_cast<off_t>(done));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) break;
    done += wrote;
    written = done;
  }
  return done == total;
}

// The new table is written over the old one, never cut first, so a save cut
// off at any point leaves the old table or the new one with a tail that
// reads as its last line (or, written part-way beyond the first write, the
// old lines after that); it is cut to its own length once flushed. Once
// anything is written the save counts as made: the table is no longer the
// old one, and readers find the new entry in it (a failed flush included).
bool replace_in_place(StoreHold& hold, const char* data, int size) {
  struct stat old {};
  int64_t written = 0;
  int table = static_cast<int>(hold.table);
  bool whole = fstat(table, &old) == 0 && write_padded(table, data, size, old.st_size, written);
  if (whole) reach(STORE_WRITTEN);
  if (written >= size) {
    if (fsync(table) == 0 && whole) reach(STORE_SYNCED);
    int cut = ftruncate(table, size);
    static_cast<void>(cut);  // what is left past the table reads as its last line
  }
  give_up(hold);
  return written > 0;
}

}  // namespace

int store_read(const char* path, char* buffer, int capacity) {
  int fd = open_regular(path, O_RDONLY);
  if (fd < 0) return -1;
  // A save that holds the table for longer than any save takes is stalled;
  // the table is read without the lock then rather than not at all.
  flock_until(fd, LOCK_SH, clock_ms(CLOCK_MONOTONIC) + STORE_LOCK_WAIT_MS);
  int size = read_from_start(fd, buffer, capacity);
  close(fd);
  return size;
}

bool store_hold(const char* lock_path, const char* path, int wait_ms, StoreHold& hold) {
  hold = StoreHold{lock_path, path, STORE_NO_HANDLE, STORE_NO_HANDLE, false, false, STORE_SAVED};
  int64_t deadline = clock_ms(CLOCK_MONOTONIC) + wait_ms;
  for (;;) {
    int lock = -1;
    int table = -1;
    LockResult result = try_lock_file(hold, deadline, lock);
    if (result == LOCK_TAKEN) {
      hold.lock = lock;
      bool locked = lock_table_for_replace(path, deadline, table);
      hold.table = table;
      if (!locked) {
        store_release(hold);
        return false;
      }
      reach(STORE_LOCKED);
      return true;
    }
    if (result == LOCK_REFUSED) {
      result = try_lock_in_place(path, deadline, table);
      if (result == LOCK_TAKEN) {
        hold.table = table;
        hold.in_place = true;
        reach(STORE_LOCKED);
        return true;
      }
    }
    if (result == LOCK_FAILED || clock_ms(CLOCK_MONOTONIC) >= deadline) return false;
    if (result == LOCK_BUSY) pause_ms(LOCK_POLL_MS);
  }
}

int store_read_held(StoreHold& hold, char* buffer, int capacity) {
  if (!store_has_table(hold)) return 0;
  int size = read_from_start(static_cast<int>(hold.table), buffer, capacity);
  if (size >= 0) reach(STORE_TABLE_READ);
  return size;
}

bool store_replace(StoreHold& hold, const char* data, int size) {
  if (hold.in_place) return replace_in_place(hold, data, size);
  return replace_by_rename(hold, data, size);
}

void store_release(StoreHold& hold) {
  // The lock file is removed before its flock goes, so no one can take it
  // for stale meanwhile; it is ours, checked when it was taken.
  if (hold.lock >= 0) unlink(hold.lock_path);
  give_up(hold);
}

}  // namespace vormi
