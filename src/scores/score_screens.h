// The two high-score screens: the name prompt for a new entry, and the table.
#pragma once

#include "scores/high_scores.h"

namespace vormi {

// Asks the player's name and enters the score, already known to qualify, in
// its place. A table that cannot be had is reported before the prompt.
ScoreFileStatus record_high_score(int score);
// Shows the table and waits for a key; a table that cannot be had is
// reported, on a cleared window, instead.
ScoreFileStatus show_high_scores();

}  // namespace vormi
