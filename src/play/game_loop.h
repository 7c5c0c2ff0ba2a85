// One game: the speed prompt, the timed loop with steering, pause, scoring and
// speed levels, the end-of-game banners and the hand-over to the score table.
#pragma once

#include "play/playfield.h"
#include "scores/high_scores.h"

namespace vormi {

// Plays one game from the speed prompt to the high-score entry. A score table
// that cannot be had is reported at once, nothing drawn after it.
ScoreFileStatus start_new_game();
// Asks for a speed and returns it, 1 to 9.
int choose_speed();
// The timed loop of one game, from the length, direction, score and speed in
// state, which it keeps up to date; then the banner and the score table, as
// start_new_game reports it.
ScoreFileStatus run_game(GameState& state, int width, int height);
// Draws the status panel below the playfield.
void draw_status(int score, int speed);
// Draw their banner over the playfield, wait for a key and clear the window.
void show_win_banner();
void show_game_over_banner();

// The tick interval after a rise to new_speed from the given interval: 100 ms
// less up to speed 9, then 5 ms less while it is at least 40 ms (floor 35).
int next_tick_interval(int tick, int new_speed);

}  // namespace vormi
