// The front end's loop: the welcome screen once, then the menu for ever.
#include "front/front.h"

#include <cstdlib>

#include "console/console.h"
#include "front/screens.h"
#include "play/game_loop.h"
#include "scores/score_screens.h"

namespace vormi {

namespace {

// Without its score table the game cannot go on: a table that could not be
// made is said on the screen and after the end, an unreadable one is not.
void end_without_table(ScoreFileStatus status) {
  if (status == SCORE_FILE_NOT_CREATED) {
    console_end_saying("FAILED TO CREATE HIGHSCORES!!! EXITING!");
    std::exit(1);
  }
  if (status == SCORE_FILE_UNREADABLE) std::exit(1);
}

}  // namespace

void dispatch_choice(int choice) {
  switch (choice) {
    case CHOICE_NEW_GAME: end_without_table(start_new_game()); break;
    case CHOICE_HIGH_SCORES: end_without_table(show_high_scores()); break;
    case CHOICE_CONTROLS: show_controls(); break;
    case CHOICE_EXIT: confirm_exit(); break;
    default: break;
  }
}

void run_front() {
  show_welcome();
  for (;;) dispatch_choice(show_main_menu());
}

}  // namespace vormi
