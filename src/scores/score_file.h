// The file store under the high-score table: the only code that makes file
// system calls for it. Readers read the table's first bytes under a shared
// lock; a save holds the table in one of two ways:
//
// - by the lock file beside it, where the directory lets a player create
//   one: the new table goes into the lock file, which is flushed to disk and
//   renamed over the table, so a reader or a crash sees the old table or the
//   new one, never a part of either;
// - by the table itself, where the directory refuses the lock file but the
//   table may be written (a table shared through a group), or where a lock
//   file a dead game left cannot be removed: the table is rewritten in place
//   under an exclusive lock of the file, which readers wait for, so they
//   never see it half-written. It is written over the old text, never cut
//   first; where the old text was longer, its last line follows again,
//   stretched with spaces over the rest, and the file is cut to length only
//   once flushed. So a save cut off at any point leaves a table that reads
//   as the old one or the new one, lowest score and all.
//
// A table with a second name (a hard link another player may have made to
// any file of this player's) is never saved in place; a save by the lock file
// takes it for no table, so nothing of it reaches the new one.
//
// Both paths name files in the working directory. A symlink at the table is
// followed only when it was made by the player, by root or by the
// directory's owner (the kernel's rule for sticky directories); any other is
// no table at all, its target never opened, and a save replaces it. One at
// the lock is never followed, whoever made it (no game makes one there): it
// is judged by its age, as a lock this player cannot open.
//
// Every wait for a lock is bounded. Every exclusive flock a save needs is
// asked for on a descriptor open for writing, as NFS demands; a lock file the
// player may only read is judged under a shared one.
#pragma once

namespace vormi {

// How long a lock held by another process is waited for.
constexpr int STORE_LOCK_WAIT_MS = 2000;
// A lock file no process holds (the holder keeps an flock on it, which the
// system drops when the holder dies) and at least this old was left behind by
// a process that died; it is removed. A save takes milliseconds. A lock this
// player cannot lock (another's, private to them), or any lock on a file
// system without flock, is judged by its age alone; where the directory keeps
// this player from removing it, the save goes on in place.
constexpr int STORE_LOCK_STALE_MS = 1000;

// The moments of a save, in order, at which a test may stall the saver.
enum StoreStep {
  STORE_LOCK_CREATED,  // the lock file exists, not yet locked
  STORE_LOCKED,        // the hold is complete and checked
  STORE_TABLE_READ,    // the current table has been read under the hold
  STORE_WRITTEN,       // the new table is written, not yet flushed
  STORE_SYNCED,        // on disk, not yet renamed; in place: not yet unlocked
};
// Called at each of those moments when set; only tests set it.
extern void (*store_step_hook)(StoreStep step);

// Called, when set, before each pause in a wait for another process's lock:
// the caller shows there what it has drawn, rather than a screen held back
// for the length of the wait.
extern void (*store_before_pause)();

// Reads up to capacity bytes from the start of path, a regular file or a
// symlink to one that may be followed, under a shared lock (waited for up to STORE_LOCK_WAIT_MS).
// Never blocks on a fifo and never creates anything. Returns the number of
// bytes read, or -1 when path is missing, not a regular file or unreadable.
int store_read(const char* path, char* buffer, int capacity);

// A save's hold on the table, with the paths it was taken for.
struct StoreHold {
  const char* lock_path;  // the lock file beside the table
  const char* path;       // the table
  int lock;               // the flocked lock file, -1 when saving in place
  int table;              // the table, flocked (exclusively in place); -1 when there is none
  bool in_place;          // no lock file could be had: rewrite in place
};

// Takes the hold, waiting up to wait_ms in all while another save holds the
// table. The lock file is created exclusively (never through a symlink) with
// the table's mode, a stale one is removed, and the lock is kept only once
// the path is seen to name the very file locked. The hold keeps both paths,
// which must outlive it. False when no hold could be had.
bool store_hold(const char* lock_path, const char* path, int wait_ms, StoreHold& hold);

// Reads the table as it is under the hold, as store_read does. Returns the
// number of bytes, 0 when there is no table, -1 when it cannot be read.
int store_read_held(const StoreHold& hold, char* buffer, int capacity);

// Makes size bytes of data the table and gives the hold up. By the lock file:
// the new file gets the old one's permission bits and, where allowed, its
// group (a first table: 0666 less the umask), and replaces path even when it
// is a symlink. False only when the table is left as it was. In place, once
// anything is written the save counts as made, the table being no longer
// the old one: a flush that fails after the write (the new table is what
// every reader finds, though a crash of the machine may yet lose it)
// included.
bool store_replace(StoreHold& hold, const char* data, int size);

// Gives the hold up without touching the table.
void store_release(StoreHold& hold);

}  // namespace vormi
