// The high-score file: its default table, its opening for reading, the lowest
// score and the saving of a new entry.
//
// Every save reads the table afresh under the store's hold and writes it
// whole, so two games ending together both get their entry; how the file is
// replaced, and what that promises, is the store's (score_file.h).
#include "scores/high_scores.h"

#include <cstdlib>

#include "console/console.h"
#include "scores/score_file.h"

namespace vormi {

namespace {

const char SCORE_PATH[] = "highscores.txt";
const char LOCK_PATH[] = "highscores.txt.lock";

// While the store waits for another game's hold, the screen drawn so far is
// shown, not held back for the length of the wait.
void show_screen_while_waiting() { store_before_pause = console_flush_pending; }

[[noreturn]] void fail_creation() {
  console_exit_saying(1, "FAILED TO CREATE HIGHSCORES!!! EXITING!");
}

// Replaces the file with table under the hold.
bool replace_with(StoreHold* hold, const ScoreTable* table) {
  char text[TABLE_TEXT_SIZE];
  int size = format_table(table, text, TABLE_TEXT_SIZE);
  return store_replace(hold, text, size);
}

// The default file for a reader that found none. Another game may have made
// one since: that one is kept. Something that is there but cannot be read (a
// directory, a file without permission) is not overwritten either: no hold
// can be had on it.
bool create_missing_file() {
  StoreHold hold;
  if (!store_hold(LOCK_PATH, SCORE_PATH, STORE_LOCK_WAIT_MS, &hold)) return false;
  if (hold.table >= 0) {
    store_release(&hold);
    return true;
  }
  ScoreTable table;
  default_table(&table);
  return replace_with(&hold, &table);
}

}  // namespace

void create_score_file() {
  show_screen_while_waiting();
  StoreHold hold;
  if (!store_hold(LOCK_PATH, SCORE_PATH, STORE_LOCK_WAIT_MS, &hold)) fail_creation();
  ScoreTable table;
  default_table(&table);
  if (!replace_with(&hold, &table)) fail_creation();
}

void open_score_file(ScoreText* text) {
  show_screen_while_waiting();
  int size = store_read(SCORE_PATH, text->bytes, SCORE_TEXT_LIMIT);
  if (size < 0) {
    if (!create_missing_file()) fail_creation();
    size = store_read(SCORE_PATH, text->bytes, SCORE_TEXT_LIMIT);
    if (size < 0) std::exit(1);
  }
  start_text(text, size);
}

int read_lowest_score() {
  ScoreText text;
  open_score_file(&text);
  // The last line, the lowest of a table in order; a hand-edited file may
  // have more than five.
  return last_line_score(&text);
}

bool save_high_score(int score, const char* name) {
  show_screen_while_waiting();
  StoreHold hold;
  if (!store_hold(LOCK_PATH, SCORE_PATH, STORE_LOCK_WAIT_MS, &hold)) return false;
  ScoreText text;
  int size = store_read_held(&hold, text.bytes, SCORE_TEXT_LIMIT);
  if (size < 0) {
    // There, but not readable: replacing it would lose what it holds.
    store_release(&hold);
    return false;
  }
  // No table yet reads as no lines: the default entries.
  start_text(&text, size);
  ScoreTable table;
  read_table(&text, &table);
  insert_score(&table, score, name);
  return replace_with(&hold, &table);
}

}  // namespace vormi
