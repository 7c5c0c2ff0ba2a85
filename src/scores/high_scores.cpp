// The high-score file: its default table, its opening for reading, the lowest
// score and the saving of a new entry.
//
// The file is never truncated in place: every write goes into the lock file,
// which replaces the file whole, so a crash or a full disk mid-write leaves
// the old table as it was, and two games ending together both get their entry.
#include <cstdlib>

#include "console/console.h"
#include "console/score_file.h"
#include "scores/high_scores.h"
#include "scores/score_table.h"

namespace vormi {

namespace {

const char SCORE_PATH[] = "highscores.txt";
const char LOCK_PATH[] = "highscores.txt.lock";

[[noreturn]] void fail_creation() {
  console_print("FAILED TO CREATE HIGHSCORES!!! EXITING!");
  std::exit(1);
}

// Replaces the file with table under the held lock.
bool replace_with(int lock, const ScoreTable* table) {
  char text[TABLE_TEXT_SIZE];
  int size = format_table(table, text, TABLE_TEXT_SIZE);
  return store_replace(lock, LOCK_PATH, SCORE_PATH, text, size);
}

// The default file for a reader that found none. Another game may have made
// one since: that one is kept. Something that is there but cannot be read (a
// directory, a file without permission) is not overwritten either.
bool create_missing_file() {
  int lock = store_lock(LOCK_PATH, STORE_LOCK_WAIT_MS);
  if (lock < 0) return false;
  if (!store_missing(SCORE_PATH)) {
    std::FILE* file = store_open_read(SCORE_PATH);
    store_unlock(lock, LOCK_PATH);
    if (file == nullptr) return false;
    std::fclose(file);
    return true;
  }
  ScoreTable table;
  default_table(&table);
  return replace_with(lock, &table);
}

}  // namespace

void create_score_file() {
  int lock = store_lock(LOCK_PATH, STORE_LOCK_WAIT_MS);
  if (lock < 0) fail_creation();
  ScoreTable table;
  default_table(&table);
  if (!replace_with(lock, &table)) fail_creation();
}

std::FILE* open_score_file() {
  std::FILE* file = store_open_read(SCORE_PATH);
  if (file != nullptr) return file;
  if (!create_missing_file()) fail_creation();
  file = store_open_read(SCORE_PATH);
  if (file == nullptr) std::exit(1);
  return file;
}

int read_lowest_score() {
  std::FILE* file = open_score_file();
  ScoreTable table;
  read_table(file, &table);
  std::fclose(file);
  // The fifth entry, as a save would see the table: on a file of five lines
  // in order that is the last line; positions a short file leaves empty
  // count as the default score 0.
  return table.scores[HIGH_SCORE_COUNT - 1];
}

bool save_high_score(int score, const char* name) {
  int lock = store_lock(LOCK_PATH, STORE_LOCK_WAIT_MS);
  if (lock < 0) return false;
  ScoreTable table;
  std::FILE* file = store_open_read(SCORE_PATH);
  if (file != nullptr) {
    read_table(file, &table);
    std::fclose(file);
  } else if (store_missing(SCORE_PATH)) {
    default_table(&table);
  } else {
    // There, but not readable: replacing it would lose what it holds.
    store_unlock(lock, LOCK_PATH);
    return false;
  }
  insert_score(&table, score, name);
  return replace_with(lock, &table);
}

}  // namespace vormi
