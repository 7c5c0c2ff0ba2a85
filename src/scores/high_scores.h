// The table of the five best scores, kept in highscores.txt in the current
// directory: its default file, its opening for reading, the lowest score and
// the saving of a new entry.
#pragma once

#include "scores/score_file.h"
#include "scores/score_table.h"

namespace vormi {

// What became of the table when it was wanted. Without it the game cannot go
// on: the front end ends the process.
enum ScoreFileStatus {
  SCORE_FILE_OK,
  SCORE_FILE_NOT_CREATED,  // missing, and the default table could not be made
  SCORE_FILE_UNREADABLE,   // there, or made just now, but it cannot be read
};

// Writes the default table.
ScoreFileStatus create_score_file();
// The file's one opening for reading, shared by the readers: reads its start
// into text, creating the default table first when the file is missing.
ScoreFileStatus open_score_file(ScoreText& text);
// Opens the file as a reader does, the default table made when it is
// missing, without keeping what it reads.
ScoreFileStatus prepare_score_file();
// The score on the last line of the table, the score a game must reach, into lowest.
ScoreFileStatus read_lowest_score(int& lowest);

// Enters score and name in the file: under the file's lock it reads the table
// afresh, inserts the entry and replaces the file whole. True only when the
// entry is in the table the next game reads; otherwise why says why.
bool save_high_score(int score, const char* name, StoreFailure& why);
bool save_high_score(int score, const char* name);

}  // namespace vormi
