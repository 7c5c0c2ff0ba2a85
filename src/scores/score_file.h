// The file store under the high-score table: the only code that makes file
// system calls for it. What it does is one table: each situation the table's
// directory, the table and its lock can be in, what the store does there,
// and what the player is told. The code follows it a row at a time (the
// functions that carry out a row name it); the tests run its rows. On
// Windows the same rows hold on Windows' calls (score_file_windows.cpp):
// there is no rewrite in place, and the lock is a byte-range lock on a lock
// file that is never removed, which Windows drops when a game dies.
//
// "Trusted" is this player or root. "Told" is what the player reads: nothing
// when the entry is saved; otherwise "Sorry, your score could not be saved."
// and the reason (store_failure_text); for a reader, the game ends (status 1)
// saying "FAILED TO CREATE HIGHSCORES!!! EXITING!" only when it tried to
// make the missing table and could not, and silently when the table is there
// but cannot be read.
//
// clang-format off
// | row | situation                                               | the store does                                           | told          |
// |-----|---------------------------------------------------------|----------------------------------------------------------|---------------|
// | T1  | no table                                                | a reader makes the default table (as a save, by S1/S3)   | saved / R3    |
// | T2  | a regular table, one name                               | read under a shared lock of the table (fcntl F_RDLCK)    |               |
// | T3  | a table with a second name (a hard link, `cp -al`)      | read; S1 replaces its name, leaving the other name as it | as S1         |
// |     |                                                         | was; never written through (S3 refuses it)               | S3: LINKED    |
// | T4  | a table far larger than any real one (a sparse file)   | its first STORE_TABLE_LIMIT bytes read; S1 writes the    |               |
// |     |                                                         | new table only; S3 pads no further than that limit       |               |
// | T5  | a table this player may not read                        | never replaced, never created over                       | R: status 1   |
// | T6  | a directory, fifo or device at the table's name         | no table; never opened; creating one fails               | NOT CREATED   |
// | T7  | a table ending in blank lines                           | blank lines are no entries: the lowest is the last entry |               |
// | L1  | a link at the table, it and every link after it made by | followed, each step opened relative to the directory     |               |
// |     | a trusted user in a directory no one else may change    | before it with O_NOFOLLOW, and the file opened checked   |               |
// |     | (written only by its trusted owner, or sticky)          | with fstat; S1 replaces the link, S3 writes its target   |               |
// | L2  | any other link (another player's, a directory others    | no table: its target never opened; S1 replaces the link  | as T1         |
// |     | may write, so it can be swapped at any moment)          |                                                          |               |
// | S1  | the player may create files in the directory            | new table into the lock file (made with the table's     |               |
// |     |                                                         | mode less others' bits, its group), fsync, the table's   |               |
// |     |                                                         | mode given, checked still ours, renamed over the table   | fail: BUSY,   |
// |     |                                                         |                                                          | NO SPACE ...  |
// | S2  | S1, but a sticky directory and another's table          | in place (S3) under the lock file                       | as S3         |
// | S3  | the directory refuses the lock file (or a stale lock    | in place under the table's write lock (F_WRLCK, on a     | READ ONLY /   |
// |     | there cannot be removed); the table may be written      | descriptor open for writing): written over, padded with  | LINKED        |
// |     |                                                         | the last line, fsync, cut to length                      |               |
// | S4  | a first table, whatever the umask                       | mode 0644 plus the directory's group and other write     |               |
// |     |                                                         | bits (0664 in a group's directory), the directory's group|               |
// | K1  | a lock held by a live game (flock)                      | waited for up to STORE_LOCK_WAIT_MS, polled              | BUSY          |
// | K2  | a lock no one holds, older or newer than the stale age  | removed: unlinked under its exclusive flock; where only a|               |
// |     | (a date in the future counts by its distance)           | shared flock can be had (NFS: EBADF on a read-only       |               |
// |     |                                                         | descriptor) or none, moved aside, checked, removed       |               |
// | K3  | a lock this player cannot open, or a symlink there      | judged by its age alone, never followed; then as K2      |               |
// | K4  | a directory, fifo, socket or device at the lock's name  | no game's lock: moved aside at once to a free name (a    |               |
// |     | (or things at the names a save moves locks aside to)    | fifo removed), and the save goes on                      |               |
// | K5  | a stale lock the directory keeps this player from       | S3                                                       |               |
// |     | removing                                                |                                                          |               |
// | K6  | no locks on the file system (ENOLCK, EOPNOTSUPP)        | nothing can be held: age alone judges a lock; a saver    |               |
// |     |                                                         | whose lock was taken renames nothing and fails           | BUSY          |
// | K7  | a reader (anyone who may read the table) holds a lock   | readers' and S1's table locks are shared fcntl locks,    |               |
// |     | of the table                                            | which only a writer can block: they go on; a flock on    |               |
// |     |                                                         | the table stops nothing. S3's write lock waits to the    | BUSY          |
// |     |                                                         | deadline for a reader's fcntl lock held that long        |               |
// | E1  | the disk fills, or a write fails                        | S1: the table left whole, the lock file removed          | NO SPACE      |
// |     |                                                         | S3: once anything is written the save counts as made     |               |
// clang-format on
#pragma once

#include <cstdint>

namespace vormi {

// How long a lock held by another process is waited for.
constexpr int STORE_LOCK_WAIT_MS = 2000;
// A lock file no process holds and at least this old (either way) was left
// behind by a game that died (K2, K3). A save takes milliseconds.
constexpr int STORE_LOCK_STALE_MS = 1000;
// The most of a table that is read, and so the most a rewrite in place ever
// covers (T4).
constexpr int STORE_TABLE_LIMIT = 64 * 1024;

// What store_read returns when it has no bytes to give.
constexpr int STORE_MISSING = -1;     // T1, T6, L2
constexpr int STORE_UNREADABLE = -2;  // T5

// Why a save was not made; what the player is told after "Sorry".
enum StoreFailure {
  STORE_SAVED,
  STORE_BUSY,              // K1, K6: another save held the table past the wait
  STORE_READ_ONLY,         // S3: neither the directory nor the table may be written
  STORE_LINKED,            // T3 in place: the table has a second name
  STORE_NO_SPACE,          // E1: the disk or the quota is full
  STORE_NOT_A_FILE,        // T6: something else stands at the table's name
  STORE_UNREADABLE_TABLE,  // T5
  STORE_NOT_PLACED,        // the score is below the five in the table
  STORE_IO_ERROR,          // any other error of the file system
};

// The reason, one line, for the player.
const char* store_failure_text(StoreFailure failure);

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

// Reads up to capacity bytes from the start of the table at path (T2, L1).
// Never blocks on a fifo and never creates anything. Returns the number of
// bytes read, STORE_MISSING or STORE_UNREADABLE.
int store_read(const char* path, char* buffer, int capacity);

// A descriptor on POSIX, a HANDLE on Windows; STORE_NO_HANDLE for none.
using StoreHandle = std::intptr_t;
constexpr StoreHandle STORE_NO_HANDLE = -1;

// A save's hold on the table, with the paths it was taken for.
struct StoreHold {
  const char* lock_path;  // the lock file beside the table
  const char* path;       // the table
  StoreHandle lock;       // the locked lock file; none when saving in place by S3
  StoreHandle table;      // the table, locked; none when there is none
  bool in_place;          // S2, S3: rewrite the table in place
  bool lock_lost;         // K6: the lock file was taken from this save
  StoreFailure failure;   // why the last call on the hold failed
};

// Takes the hold (S1, S2, S3, K1 to K7), waiting up to wait_ms in all while
// another save holds the table. The hold keeps both paths, which must outlive
// it. False when no hold could be had; hold.failure says why.
bool store_hold(const char* lock_path, const char* path, int wait_ms, StoreHold& hold);

// Whether the hold found a table.
inline bool store_has_table(const StoreHold& hold) { return hold.table != STORE_NO_HANDLE; }

// Reads the table as it is under the hold. Returns the number of bytes, 0
// when there is no table, -1 when it cannot be read.
int store_read_held(StoreHold& hold, char* buffer, int capacity);

// Makes size bytes of data (lines ending in "\n"; written with the system's
// line ends) the table and gives the hold up. True when the new table is on
// disk where the next game reads it; false with hold.failure when it is not,
// the table then left as it was (in place: once anything is written the save
// counts as made, E1).
bool store_replace(StoreHold& hold, const char* data, int size);

// Gives the hold up without touching the table.
void store_release(StoreHold& hold);

}  // namespace vormi
