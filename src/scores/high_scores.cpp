// The high-score file: its default table, its opening for reading, the lowest
// score and the saving of a new entry.
//
// Every save reads the table afresh under the store's hold and writes it
// whole, so two games ending together both get their entry; how the file is
// replaced, and what that promises, is the store's (score_file.h).
#include "scores/high_scores.h"

#include "console/console.h"
#include "scores/score_file.h"

namespace vormi {

static_assert(SCORE_TEXT_LIMIT == STORE_TABLE_LIMIT, "a save in place covers what a reader reads");

namespace {

const char SCORE_PATH[] = "highscores.txt";
const char LOCK_PATH[] = "highscores.txt.lock";

// While the store waits for another game's hold, the screen drawn so far is
// shown, not held back for the length of the wait.
void show_screen_while_waiting() { store_before_pause = console_flush_pending; }

// Replaces the file with table under the hold.
bool replace_with(StoreHold& hold, const ScoreTable& table) {
  char text[TABLE_TEXT_SIZE];
  int size = format_table(table, text, TABLE_TEXT_SIZE);
  return store_replace(hold, text, size);
}

// Writes the default table under the hold. For a reader that found no file,
// one another game has made since is kept. Something that is there but cannot
// be read (a directory, a file without permission) is never overwritten: no
// hold can be had on it. A table found unreadable meanwhile was not for this
// game to create.
ScoreFileStatus write_default_table(bool keep_a_table) {
  StoreHold hold;
  if (!store_hold(LOCK_PATH, SCORE_PATH, STORE_LOCK_WAIT_MS, hold))
    return hold.failure == STORE_UNREADABLE_TABLE ? SCORE_FILE_UNREADABLE : SCORE_FILE_NOT_CREATED;
  if (keep_a_table && store_has_table(hold)) {
    store_release(hold);
    return SCORE_FILE_OK;
  }
  ScoreTable table;
  default_table(table);
  return replace_with(hold, table) ? SCORE_FILE_OK : SCORE_FILE_NOT_CREATED;
}

// The start of the file into buffer, the default table created first when
// the file is missing; size is the number of bytes read. A table that is
// there but cannot be read is not created over (T5).
ScoreFileStatus read_file_start(char* buffer, int capacity, int& size) {
  show_screen_while_waiting();
  size = store_read(SCORE_PATH, buffer, capacity);
  if (size >= 0) return SCORE_FILE_OK;
  if (size == STORE_UNREADABLE) return SCORE_FILE_UNREADABLE;
  const ScoreFileStatus made = write_default_table(true);
  if (made != SCORE_FILE_OK) return made;
  size = store_read(SCORE_PATH, buffer, capacity);
  return size >= 0 ? SCORE_FILE_OK : SCORE_FILE_UNREADABLE;
}

}  // namespace

ScoreFileStatus create_score_file() {
  show_screen_while_waiting();
  return write_default_table(false);
}

ScoreFileStatus open_score_file(ScoreText& text) {
  int size = 0;
  const ScoreFileStatus status = read_file_start(text.bytes, SCORE_TEXT_LIMIT, size);
  if (status == SCORE_FILE_OK) start_text(text, size);
  return status;
}

ScoreFileStatus prepare_score_file() {
  char first[1];
  int size = 0;
  return read_file_start(first, sizeof first, size);
}

ScoreFileStatus read_lowest_score(int& lowest) {
  ScoreText text;
  const ScoreFileStatus status = open_score_file(text);
  // The last line, the lowest of a table in order; a hand-edited file may
  // have more than five.
  if (status == SCORE_FILE_OK) lowest = last_line_score(text);
  return status;
}

bool save_high_score(int score, const char* name, StoreFailure& why) {
  show_screen_while_waiting();
  StoreHold hold;
  if (!store_hold(LOCK_PATH, SCORE_PATH, STORE_LOCK_WAIT_MS, hold)) {
    why = hold.failure;
    return false;
  }
  ScoreText text;
  int size = store_read_held(hold, text.bytes, SCORE_TEXT_LIMIT);
  // No table yet reads as no lines: the default entries.
  if (size >= 0) start_text(text, size);
  ScoreTable table;
  if (size >= 0) read_table(text, table);
  // There but not readable, replacing it would lose what it holds; an entry
  // below the five read goes nowhere, and is not said to be saved.
  why = size < 0 ? STORE_UNREADABLE_TABLE : STORE_SAVED;
  if (why == STORE_SAVED && !insert_score(table, score, name)) why = STORE_NOT_PLACED;
  if (why != STORE_SAVED) {
    store_release(hold);
    return false;
  }
  bool saved = replace_with(hold, table);
  why = hold.failure;
  return saved;
}

bool save_high_score(int score, const char* name) {
  StoreFailure why = STORE_SAVED;
  return save_high_score(score, name, why);
}

}  // namespace vormi
