// The two high-score screens: the name prompt for a new entry, and the table.
#pragma once

namespace vormi {

// Asks the player's name and enters the score, already known to qualify, in its place.
void record_high_score(int score);
// Shows the table and waits for a key.
void show_high_scores();

}  // namespace vormi
