// The screens of the front end and the choice between them, for the front
// end's own files (main needs only front.h).
#pragma once

namespace vormi {

// Rows of the welcome picture, each printed as it stands: two tabs, the
// drawing (at most WELCOME_ART_WIDTH characters), trailing tabs and "\n".
constexpr int WELCOME_LINE_COUNT = 11;
constexpr int WELCOME_ART_WIDTH = 43;
extern const char* const WELCOME_PICTURE[WELCOME_LINE_COUNT];

// Menu choices, as show_main_menu returns them.
enum Choice { CHOICE_NEW_GAME, CHOICE_HIGH_SCORES, CHOICE_CONTROLS, CHOICE_EXIT };

// Status the process ends with after the player confirms the exit.
constexpr int EXIT_CONFIRMED = 1;

// Runs one menu choice; a value outside 0 to 3 does nothing. A score table
// that cannot be had ends the process.
void dispatch_choice(int choice);

// Clears the window, draws the picture and the title, and waits for one key.
void show_welcome();
// Draws the four items and returns the index chosen, 0 to 3.
int show_main_menu();
// Moves a ">" two columns left of the items, which start at first_row, with
// Up/Down (or H/P), wrapping at both ends, until Enter; returns the index of
// the marked item. The list holds bound_row - first_row - 1 items.
int menu_select(int items_column, int bound_row, int first_row);
// Clears the window, lists the keys and waits for one key.
void show_controls();
// Asks over the menu whether to leave: "y" clears the window and ends the
// process with EXIT_CONFIRMED, "n" returns, every other key is ignored.
void confirm_exit();

}  // namespace vormi
