// The table of the five best scores, kept in highscores.txt in the current directory.
#pragma once

namespace vormi {

constexpr int HIGH_SCORE_COUNT = 5;
constexpr int NAME_SIZE = 20;    // a name with its terminator
constexpr int LINE_LIMIT = 126;  // a line buffer with its terminator

// Writes the default table; when it cannot, says so and ends the process.
void create_score_file();
// The score on the last line of the table: the score a game must reach.
int read_lowest_score();
// Asks the player's name and enters the score, already known to qualify, in its place.
void record_high_score(int score);
// Shows the table and waits for a key.
void show_high_scores();

// Enters score and name in the file: under the file's lock it reads the table
// afresh, inserts the entry and replaces the file whole. False when that could
// not be done; the file is then left as it was.
bool save_high_score(int score, const char* name);

}  // namespace vormi
