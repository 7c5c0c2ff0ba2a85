// The high-score file store on Windows: the rows of score_file.h on Win32's
// calls. A save locks the lock file beside the table (LockFileEx, polled to
// the deadline; the lock file is never removed, so every game locks the same
// file, and Windows drops the lock of a game that dies: K1, K2 need no age),
// reads the table, writes the new one with CR LF line ends to a file of its
// own beside it, flushes that, and swaps it in with ReplaceFileW (the table's
// attributes and security kept) or, where there is no table yet or a reparse
// point stands there, MoveFileExW, retrying within the wait while another
// process has the table open. Readers share read, write and delete, so they
// never keep a save out. There is no rewrite in place (S3): a folder that
// refuses the new file refuses the save, and the player is told.
#include <windows.h>

#include <cstdio>

#include "scores/score_file.h"

namespace vormi {

namespace {

constexpr int LOCK_POLL_MS = 10;
constexpr DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Room for a name beside the table, with a suffix.
constexpr int WIDE_PATH = MAX_PATH;

void reach(StoreStep step) {
  if (store_step_hook != nullptr) store_step_hook(step);
}

int64_t now_ms() { return static_cast<int64_t>(GetTickCount64()); }

void pause_ms(int ms) {
  if (store_before_pause != nullptr) store_before_pause();
  Sleep(static_cast<DWORD>(ms));
}

HANDLE handle_of(StoreHandle handle) { return reinterpret_cast<HANDLE>(handle); }
StoreHandle store_handle(HANDLE handle) { return reinterpret_cast<StoreHandle>(handle); }

// A path of the store (plain ASCII names) as Windows' wide string, with suffix.
bool widen(const char* path, const char* suffix, wchar_t (&wide)[WIDE_PATH]) {
  char joined[WIDE_PATH];
  int length = std::snprintf(joined, sizeof joined, "%s%s", path, suffix);
  if (length < 0 || length >= WIDE_PATH) return false;
  return MultiByteToWideChar(CP_UTF8, 0, joined, -1, wide, WIDE_PATH) > 0;
}

// What an error of Windows means for the player.
StoreFailure failure_of(DWORD error) {
  switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return STORE_NO_SPACE;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT: return STORE_READ_ONLY;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return STORE_BUSY;
    default: return STORE_IO_ERROR;
  }
}

// Another process has the file open without sharing it, or is replacing it:
// worth trying again within the wait (a reader, a virus scanner).
bool passing(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_ACCESS_DENIED || error == ERROR_UNABLE_TO_REMOVE_REPLACED ||
         error == ERROR_UNABLE_TO_MOVE_REPLACEMENT || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2;
}

// What stands at a name, not followed.
enum Found { FOUND_NOTHING, FOUND_FILE, FOUND_READ_ONLY_FILE, FOUND_REPARSE, FOUND_OTHER };

Found look_at(const wchar_t* path) {
  DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return FOUND_NOTHING;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return FOUND_REPARSE;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return FOUND_OTHER;
  return (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? FOUND_READ_ONLY_FILE : FOUND_FILE;
}

// Opens the table for reading, sharing everything, never through a reparse
// point (L2: a link at the table is no table) and never a directory or
// device (T6). Retried within the wait while the file is not shared.
HANDLE open_table(const wchar_t* path, int64_t deadline, int& result) {
  for (;;) {
    HANDLE file = CreateFileW(path, GENERIC_READ, SHARE_ALL, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      BY_HANDLE_FILE_INFORMATION info{};
      bool plain =
          GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
          (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0;
      if (plain) return file;
      CloseHandle(file);
      result = STORE_MISSING;
      return INVALID_HANDLE_VALUE;
    }
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      result = STORE_MISSING;
      return INVALID_HANDLE_VALUE;
    }
    if (error != ERROR_SHARING_VIOLATION || now_ms() >= deadline) {
      result = look_at(path) == FOUND_OTHER ? STORE_MISSING : STORE_UNREADABLE;
      return INVALID_HANDLE_VALUE;
    }
    pause_ms(LOCK_POLL_MS);
  }
}

int read_from_start(HANDLE file, char* buffer, int capacity) {
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return -1;
  int done = 0;
  while (done < capacity) {
    DWORD got = 0;
    if (!ReadFile(file, buffer + done, static_cast<DWORD>(capacity - done), &got, nullptr))
      return -1;
    if (got == 0) break;
    done += static_cast<int>(got);
  }
  return done;
}

// Moves what stands at the lock's name out of the way (K4: a directory, a
// reparse point), to a free name beside it.
bool move_aside(const wchar_t* lock) {
  for (int k = 0; k < 100; ++k) {
    wchar_t aside[WIDE_PATH];
    int length = _snwprintf(aside, WIDE_PATH, L"%ls.%lu.%d", lock, GetCurrentProcessId(), k);
    if (length < 0 || length >= WIDE_PATH) return false;
    if (MoveFileExW(lock, aside, 0)) {
      RemoveDirectoryW(aside);  // an empty one; a full one stays moved aside
      return true;
    }
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return true;
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return false;
  }
  return false;
}

// Opens the lock file, making it where it is missing. Never a reparse point
// or a directory: those are moved aside first.
HANDLE open_lock(const wchar_t* lock, StoreFailure& failure) {
  Found found = look_at(lock);
  if ((found == FOUND_REPARSE || found == FOUND_OTHER) && !move_aside(lock)) {
    failure = failure_of(GetLastError());
    return INVALID_HANDLE_VALUE;
  }
  HANDLE file = CreateFileW(lock, GENERIC_READ | GENERIC_WRITE, SHARE_ALL, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) failure = failure_of(GetLastError());
  return file;
}

// K1: the lock of the lock file's first byte, polled to the deadline.
bool lock_until(HANDLE file, int64_t deadline) {
  for (;;) {
    OVERLAPPED at{};
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
      return true;
    DWORD error = GetLastError();
    if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) return false;
    if (now_ms() >= deadline) return false;
    pause_ms(LOCK_POLL_MS);
  }
}

// The new table's text with CR LF line ends, as Windows' text files have them.
int with_crlf(const char* data, int size, char* out, int capacity) {
  int used = 0;
  for (int k = 0; k < size && used < capacity - 1; ++k) {
    if (data[k] == '\n' && (k == 0 || data[k - 1] != '\r')) out[used++] = '\r';
    out[used++] = data[k];
  }
  return used;
}

// Writes the new table to a file of its own beside the table, flushed. The
// name is this save's alone while it holds the lock; whatever a killed save
// left there is removed first (a reparse point is removed, not followed).
bool write_new_table(const wchar_t* fresh, const char* text, int size, StoreFailure& failure) {
  DeleteFileW(fresh);
  HANDLE file = CreateFileW(fresh, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    failure = failure_of(GetLastError());
    return false;
  }
  DWORD wrote = 0;
  bool whole = WriteFile(file, text, static_cast<DWORD>(size), &wrote, nullptr) &&
               wrote == static_cast<DWORD>(size);
  if (whole) reach(STORE_WRITTEN);
  bool flushed = whole && FlushFileBuffers(file);
  if (!flushed) failure = failure_of(GetLastError());
  CloseHandle(file);
  if (flushed) reach(STORE_SYNCED);
  if (!flushed) DeleteFileW(fresh);
  return flushed;
}

// Swaps the new file in: ReplaceFileW over a table (its attributes and
// security kept), MoveFileExW where there is none or a reparse point stands
// there (L2: replaced, never written through). Retried within the wait while
// another process has the table open without sharing its deletion.
bool swap_in(const wchar_t* table, const wchar_t* fresh, int64_t deadline, StoreFailure& failure) {
  for (;;) {
    Found found = look_at(table);
    if (found == FOUND_OTHER) {
      failure = STORE_NOT_A_FILE;
      return false;
    }
    bool done = found == FOUND_FILE
                    ? ReplaceFileW(table, fresh, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                                   nullptr) != 0
                    : MoveFileExW(fresh, table, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (done) return true;
    DWORD error = GetLastError();
    if (!passing(error) || now_ms() >= deadline) {
      failure = failure_of(error);
      return false;
    }
    pause_ms(LOCK_POLL_MS);
  }
}

void close_handle(StoreHandle& handle) {
  if (handle != STORE_NO_HANDLE) CloseHandle(handle_of(handle));
  handle = STORE_NO_HANDLE;
}

}  // namespace

int store_read(const char* path, char* buffer, int capacity) {
  wchar_t wide[WIDE_PATH];
  if (!widen(path, "", wide)) return STORE_MISSING;
  int result = STORE_MISSING;
  HANDLE file = open_table(wide, now_ms() + STORE_LOCK_WAIT_MS, result);
  if (file == INVALID_HANDLE_VALUE) return result;
  int size = read_from_start(file, buffer, capacity);
  CloseHandle(file);
  return size < 0 ? STORE_UNREADABLE : size;
}

bool store_hold(const char* lock_path, const char* path, int wait_ms, StoreHold& hold) {
  hold = StoreHold{lock_path, path, STORE_NO_HANDLE, STORE_NO_HANDLE, false, false, STORE_SAVED};
  int64_t deadline = now_ms() + wait_ms;
  wchar_t lock[WIDE_PATH];
  wchar_t table[WIDE_PATH];
  if (!widen(lock_path, "", lock) || !widen(path, "", table)) {
    hold.failure = STORE_IO_ERROR;
    return false;
  }
  HANDLE file = open_lock(lock, hold.failure);
  if (file == INVALID_HANDLE_VALUE) return false;
  reach(STORE_LOCK_CREATED);
  if (!lock_until(file, deadline)) {
    CloseHandle(file);
    hold.failure = STORE_BUSY;
    return false;
  }
  hold.lock = store_handle(file);
  if (look_at(table) == FOUND_READ_ONLY_FILE) {
    store_release(hold);
    hold.failure = STORE_READ_ONLY;  // told before anything is written
    return false;
  }
  int result = STORE_MISSING;
  HANDLE current = open_table(table, deadline, result);
  if (current == INVALID_HANDLE_VALUE && result == STORE_UNREADABLE) {
    store_release(hold);
    hold.failure = STORE_UNREADABLE_TABLE;  // T5: never replaced
    return false;
  }
  if (current != INVALID_HANDLE_VALUE) hold.table = store_handle(current);
  reach(STORE_LOCKED);
  return true;
}

int store_read_held(StoreHold& hold, char* buffer, int capacity) {
  if (!store_has_table(hold)) return 0;
  int size = read_from_start(handle_of(hold.table), buffer, capacity);
  if (size >= 0) reach(STORE_TABLE_READ);
  return size;
}

bool store_replace(StoreHold& hold, const char* data, int size) {
  static char text[2 * STORE_TABLE_LIMIT];
  int length = with_crlf(data, size, text, sizeof text);
  wchar_t table[WIDE_PATH];
  wchar_t fresh[WIDE_PATH];
  bool named = widen(hold.path, "", table) && widen(hold.path, ".new", fresh);
  // The table is open for reading, sharing its deletion: closed all the same
  // before the swap, so no handle of this game's holds it.
  close_handle(hold.table);
  StoreFailure failure = STORE_IO_ERROR;
  bool saved = named && write_new_table(fresh, text, length, failure) &&
               swap_in(table, fresh, now_ms() + STORE_LOCK_WAIT_MS, failure);
  if (named && !saved) DeleteFileW(fresh);
  store_release(hold);
  hold.failure = saved ? STORE_SAVED : failure;
  return saved;
}

void store_release(StoreHold& hold) {
  close_handle(hold.table);
  close_handle(hold.lock);  // the lock goes with the handle
}

}  // namespace vormi
