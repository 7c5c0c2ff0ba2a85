// The exit prompt, the one normal way out of the program.
#include <cstdlib>

#include "console/console.h"
#include "console/console_random.h"
#include "front/screens.h"

namespace vormi {

void confirm_exit() {
  // Drawn over the menu: it covers the "Exit" item and keeps the marker.
  console_goto(9, 8);
  console_print("Are you sure you want to exit(Y/N)\n");
  int answer = 0;
  while (answer != 'y' && answer != 'n') answer = lower_case_byte(console_wait_key() & 0xFF);
  if (answer == 'y') {
    console_clear();
    // The normal exit: the console restores the terminal on the way out.
    std::exit(EXIT_CONFIRMED);
  }
}

}  // namespace vormi
