// The table of the five best scores, kept in highscores.txt in the current
// directory: its default file, its opening for reading, the lowest score and
// the saving of a new entry.
#pragma once

#include "scores/score_table.h"

namespace vormi {

// Writes the default table; when it cannot, says so and ends the process.
void create_score_file();
// The file's one opening for reading, shared by the readers: reads its start
// into text, creating the default table first when the file is missing. Ends
// the process when the file cannot be had: status 1, after the creation
// failure message when it could not be created.
void open_score_file(ScoreText* text);
// The score on the last line of the table: the score a game must reach.
int read_lowest_score();

// Enters score and name in the file: under the file's lock it reads the table
// afresh, inserts the entry and replaces the file whole. False when that could
// not be done; the file is then left as it was.
bool save_high_score(int score, const char* name);

}  // namespace vormi
