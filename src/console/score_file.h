// The file store under the high-score table: opening for reading without
// surprises, and replacing the file whole under an exclusive lock file.
//
// A replacement never truncates the file in place: the new contents go into
// the lock file, which is flushed to disk and renamed over the file, so a
// reader sees either the old table or the new one, never a part of either.
#pragma once

#include <cstdio>

namespace vormi {

// How long a lock held by another process is waited for.
constexpr int STORE_LOCK_WAIT_MS = 2000;
// A lock file no process holds (the holder keeps an flock on it, which the
// system drops when the holder dies) and at least this old was left behind by
// a process that died; it is removed. A save takes milliseconds.
constexpr int STORE_LOCK_STALE_MS = 1000;

// Opens path for reading when it is a regular file, or a symlink to one.
// Never blocks (a fifo is refused) and never creates anything. nullptr when
// the path is missing, is a directory or a device, or cannot be opened.
std::FILE* store_open_read(const char* path);

// Whether nothing is at path, or only a symlink that leads nowhere.
bool store_missing(const char* path);

// Takes the lock by creating lock_path exclusively (never through a symlink),
// waiting up to wait_ms while another process holds it and removing a stale
// lock. Returns the lock's handle, or -1 when the lock cannot be had.
int store_lock(const char* lock_path, int wait_ms);

// Writes size bytes of data into the held lock, flushes them to disk and
// renames the lock over path, which is replaced even when it is a symlink.
// On any failure the lock file is removed and path is left as it was. The
// lock is given up either way. True when path now holds data.
bool store_replace(int lock, const char* lock_path, const char* path,
                   const char* data, int size);

// Gives up the lock without touching path.
void store_unlock(int lock, const char* lock_path);

}  // namespace vormi
