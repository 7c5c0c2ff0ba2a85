// The controls screen.
#include "console/console.h"
#include "front/screens.h"

namespace vormi {

void show_controls() {
  console_clear();
  console_goto(10, 5);
  console_print("Controls\n");
  console_goto(10, 6);
  console_print("Use the following arrow keys to direct the vormi to the food: ");
  console_goto(11, 7);
  console_print("Right Arrow");
  console_goto(11, 8);
  console_print("Left Arrow");
  console_goto(11, 9);
  console_print("Top Arrow");
  console_goto(11, 10);
  console_print("Bottom Arrow");
  // Rows 11 and 13 stay empty: the cursor only passes through them. They
  // set the pause line and the prompt apart from the arrows, as the screen
  // has always looked, and the moves cost nothing a player could see.
  console_goto(11, 11);
  console_goto(11, 12);
  console_print("P & Esc pauses the game.");
  console_goto(11, 13);
  console_goto(11, 14);
  console_print("Press any key to continue...");
  console_wait_key();
}

}  // namespace vormi
