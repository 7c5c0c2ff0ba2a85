// The program entry: prepare the terminal, then hand over to the front end.
#include "console/console.h"
#include "front/front.h"

int main() {
  vormi::console_start();
  vormi::run_front();
}
