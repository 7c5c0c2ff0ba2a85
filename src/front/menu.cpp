// The main menu and its selection marker.
#include "console/console.h"
#include "front/screens.h"

namespace vormi {

namespace {

// The items at column 10 from row 5, in the order of the choices.
constexpr int MENU_COLUMN = 10;
constexpr int MENU_FIRST_ROW = 5;
constexpr int MENU_ITEM_COUNT = 4;
const char* const MENU_ITEMS[MENU_ITEM_COUNT] = {"New Game\n", "High Scores\n", "Controls\n",
                                                 "Exit\n"};

}  // namespace

int menu_select(int items_column, int bound_row, int first_row) {
  const int column = items_column - 2;
  const int item_count = bound_row - first_row - 1;
  int index = 0;
  console_goto(column, first_row);
  console_print(">");
  console_goto(1, 1);
  int code = 0;
  while (code != KEY_ENTER) {
    // Only the code counts, so upper-case H and P move the marker like the
    // arrows, and the 0 an arrow sends first changes nothing.
    code = console_wait_key() & 0xFF;
    if (code != KEY_UP && code != KEY_DOWN) continue;
    console_goto(column, first_row + index);
    console_print(" ");
    // Up steps back and Down on, both wrapping round the list.
    index = (index + (code == KEY_UP ? item_count - 1 : 1)) % item_count;
    console_goto(column, first_row + index);
    console_print(">");
  }
  return index;
}

int show_main_menu() {
  console_clear();
  for (int i = 0; i < MENU_ITEM_COUNT; ++i) {
    console_goto(MENU_COLUMN, MENU_FIRST_ROW + i);
    console_print("%s", MENU_ITEMS[i]);
  }
  // The cursor waits on the row after the last item; the bound is one further.
  const int after_last = MENU_FIRST_ROW + MENU_ITEM_COUNT;
  console_goto(MENU_COLUMN, after_last);
  return menu_select(MENU_COLUMN, after_last + 1, MENU_FIRST_ROW);
}

}  // namespace vormi
