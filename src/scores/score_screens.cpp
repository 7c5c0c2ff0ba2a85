// The two high-score screens: the name prompt for a new entry, and the table.
#include "scores/score_screens.h"

#include "console/console.h"

namespace vormi {

ScoreFileStatus record_high_score(int score) {
  console_clear();
  // Opened now so that a missing file is created, or its failure reported,
  // before the player types; the table itself is read under the lock after.
  const ScoreFileStatus status = prepare_score_file();
  if (status != SCORE_FILE_OK) return status;
  console_goto(10, 5);
  console_print("Your Score made it into the top 5!!!");
  console_goto(10, 6);
  console_print("Please enter your name: ");
  char name[NAME_SIZE] = {};
  console_read_line(name, NAME_SIZE);
  StoreFailure why = STORE_SAVED;
  if (!save_high_score(score, name, why)) {
    console_goto(10, 8);
    console_print("Sorry, your score could not be saved.");
    console_goto(10, 9);
    console_print("%s", store_failure_text(why));
    console_goto(10, 10);
    console_print("Press any key to continue...");
    console_wait_key();
  }
  return SCORE_FILE_OK;
}

ScoreFileStatus show_high_scores() {
  console_clear();
  ScoreText text;
  const ScoreFileStatus status = open_score_file(text);
  if (status != SCORE_FILE_OK) return status;
  console_goto(10, 5);
  console_print("High Scores");
  console_goto(10, 6);
  console_print("Rank\tScore\t\t\tName");
  // A row for each read, so the read that meets the end of a five-line file
  // leaves row 12 empty (kept: the prompt stands on row 13, where players
  // have always found it); a longer file shows its first five lines only.
  int row = 7;
  int reads = 0;
  int shown = 0;
  while (!text.ended && reads < HIGH_SCORE_COUNT + 1) {
    console_goto(10, row);
    ++row;
    ++reads;
    char line[LINE_LIMIT];
    int length = read_score_line(text, line);
    if (length > 0 && shown < HIGH_SCORE_COUNT) {
      char safe[LINE_LIMIT];
      sanitize_line(line, length, safe);
      console_print("%s", safe);
      ++shown;
    }
  }
  console_goto(10, row);
  console_print("Press any key to continue...");
  console_wait_key();
  return SCORE_FILE_OK;
}

}  // namespace vormi
