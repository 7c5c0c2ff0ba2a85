// The high-score file store on POSIX: O_EXCL lock files, flock, fsync, rename.
#include "console/score_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>

#include "console/console_input.h"

namespace vormi {

namespace {

constexpr int LOCK_POLL_MS = 10;

int64_t clock_ms(clockid_t which) {
  timespec now{};
  clock_gettime(which, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

int64_t age_ms(const struct stat& info) {
  int64_t changed = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000 +
                    info.st_mtim.tv_nsec / 1000000;
  int64_t age = clock_ms(CLOCK_REALTIME) - changed;
  // A clock set back makes a dead lock look young; its distance counts.
  return age < 0 ? -age : age;
}

void pause_ms(int ms) {
  // What the game drew before the save is shown while the lock is waited for.
  console_flush_pending();
  timespec pause{0, static_cast<long>(ms) * 1000000L};
  while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}

// Removes the lock at lock_path when its holder is gone. The flock taken here
// keeps two waiters from both judging the same lock stale and one of them
// removing the fresh lock the other has just made: only the one holding the
// flock may unlink, and only the inode it has checked. A lock younger than
// the stale age is left alone, which covers the instant between a holder's
// O_EXCL create and its flock. True when the path is free to try again.
bool remove_if_stale(const char* lock_path) {
  int fd = open(lock_path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT;
  bool removed = false;
  struct stat held{};
  struct stat named{};
  if (flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &held) == 0 &&
      S_ISREG(held.st_mode) && lstat(lock_path, &named) == 0 &&
      named.st_dev == held.st_dev && named.st_ino == held.st_ino &&
      age_ms(held) >= STORE_LOCK_STALE_MS) {
    removed = unlink(lock_path) == 0;
  }
  close(fd);
  return removed;
}

bool write_all(int fd, const char* data, int size) {
  int done = 0;
  while (done < size) {
    ssize_t wrote = write(fd, data + done, static_cast<size_t>(size - done));
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

}  // namespace

std::FILE* store_open_read(const char* path) {
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info{};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return nullptr;
  }
  std::FILE* file = fdopen(fd, "r");
  if (file == nullptr) close(fd);
  return file;
}

bool store_missing(const char* path) {
  struct stat info{};
  return stat(path, &info) != 0 && errno == ENOENT;
}

int store_lock(const char* lock_path, int wait_ms) {
  int64_t deadline = clock_ms(CLOCK_MONOTONIC) + wait_ms;
  for (;;) {
    int fd = open(lock_path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                  0644);
    if (fd >= 0) {
      // A waiter checking for staleness may hold the flock for an instant; it
      // leaves a lock this young alone. Where flock is not supported the lock
      // still excludes by O_EXCL, it only cannot be judged stale.
      while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
      }
      return fd;
    }
    if (errno != EEXIST) return -1;
    if (remove_if_stale(lock_path)) continue;
    if (clock_ms(CLOCK_MONOTONIC) >= deadline) return -1;
    pause_ms(LOCK_POLL_MS);
  }
}

bool store_replace(int lock, const char* lock_path, const char* path,
                   const char* data, int size) {
  if (!write_all(lock, data, size) || fsync(lock) != 0 ||
      rename(lock_path, path) != 0) {
    store_unlock(lock, lock_path);
    return false;
  }
  close(lock);
  sync_directory();
  return true;
}

void store_unlock(int lock, const char* lock_path) {
  // Unlinked before the flock goes, so no one can take it for stale meanwhile.
  unlink(lock_path);
  close(lock);
}

}  // namespace vormi
