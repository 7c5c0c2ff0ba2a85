// The welcome screen: a coiled vormi under two arches of its own body, with
// its head at the lower left and its tail rising at the right.
#include "front/screens.h"

#include "console/console.h"

namespace vormi {

// Every row starts at column 17 after its two tabs. The trailing tabs carry
// the cursor to the right of the drawing before "\n"; the last row's eleven
// tabs run into the right edge, where the console holds a tab at the last
// column, so its "\n" still lands on the next row.
const char* const WELCOME_PICTURE[WELCOME_LINE_COUNT] = {
    "\t\t   _________     _________              //\t\t\n",
    "\t\t  / ~~~~~~~ \\   / ~~~~~~~ \\            //\t\t\n",
    "\t\t | |       | | | |       | |          //\t\t\n",
    "\t\t | |       | | | |       | |         //\t\t\n",
    "\t\t | |       | | | |       | |        //\t\t\n",
    "\t\t | |       | | | |       | |       //\t\t\n",
    "\t\t | |       \\ \\_/ /       \\ \\______//\t\t\t\n",
    "\t\t(o  o)      \\___/         \\_______/\t\t\t\n",
    "\t\t \\__/\t\t\t\n",
    "\t\t  |\t\t\t\n",
    "\t\t  ^\t\t\t\t\t\t\t\t\t\t\t\n",
};

void show_welcome() {
  console_clear();
  console_print("\n");
  for (const char* line : WELCOME_PICTURE) console_print("%s", line);
  console_print("\t\t\tWelcome To The Vormi Game!\t\t\t\n");
  console_print("\t\t\t\t    Press Any Key To Continue...\t\n");
  console_print("\n");
  // An arrow key leaves its second code pending: the menu reads it next.
  console_wait_key();
}

}  // namespace vormi
