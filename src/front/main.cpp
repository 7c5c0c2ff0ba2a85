// Placeholder entry until the front end lands: shows the console works.
#include "console/console.h"

int main() {
  vormi::console_start();
  vormi::console_clear();
  vormi::console_goto(10, 5);
  vormi::console_print("vormi: press any key");
  vormi::console_wait_key();
  return 0;
}
