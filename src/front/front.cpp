// The front end's loop: the welcome screen once, then the menu for ever.
#include "front/front.h"

#include "front/screens.h"
#include "play/game_loop.h"
#include "scores/score_screens.h"

namespace vormi {

void dispatch_choice(int choice) {
  switch (choice) {
    case CHOICE_NEW_GAME:
      start_new_game();
      break;
    case CHOICE_HIGH_SCORES:
      show_high_scores();
      break;
    case CHOICE_CONTROLS:
      show_controls();
      break;
    case CHOICE_EXIT:
      confirm_exit();
      break;
    default:
      break;
  }
}

void run_front() {
  show_welcome();
  for (;;) {
    dispatch_choice(show_main_menu());
  }
}

}  // namespace vormi
