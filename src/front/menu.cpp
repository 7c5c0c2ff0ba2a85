// The main menu and its selection marker.
#include "console/console.h"
#include "front/screens.h"

namespace vormi {

namespace {

// Four items at column 10 from row 5, the cursor left on the row after the
// last item, and the bound row two below the last item.
constexpr int MENU_COLUMN = 10;
constexpr int MENU_FIRST_ROW = 5;
constexpr int MENU_BOUND_ROW = 10;

// Erases the marker of item from, draws it beside item to.
void move_marker(int column, int first_row, int from, int to) {
  console_goto(column, first_row + from);
  console_print(" ");
  console_goto(column, first_row + to);
  console_print(">");
}

}  // namespace

int menu_select(int items_column, int bound_row, int first_row) {
  const int column = items_column - 2;
  const int item_count = bound_row - first_row - 1;
  const int last = item_count - 1;
  int index = 0;
  console_goto(column, first_row);
  console_print(">");
  console_goto(1, 1);
  int code = 0;
  while (code != KEY_ENTER) {
    // Only the code counts, so upper-case H and P move the marker like the
    // arrows, and the 0 an arrow sends first changes nothing.
    code = console_wait_key() & 0xFF;
    if (code == KEY_UP) {
      const int next = index > 0 ? index - 1 : last;
      move_marker(column, first_row, index, next);
      index = next;
    } else if (code == KEY_DOWN) {
      const int next = index < last ? index + 1 : 0;
      move_marker(column, first_row, index, next);
      index = next;
    }
  }
  return index;
}

int show_main_menu() {
  console_clear();
  console_goto(MENU_COLUMN, MENU_FIRST_ROW);
  console_print("New Game\n");
  console_goto(MENU_COLUMN, MENU_FIRST_ROW + 1);
  console_print("High Scores\n");
  console_goto(MENU_COLUMN, MENU_FIRST_ROW + 2);
  console_print("Controls\n");
  console_goto(MENU_COLUMN, MENU_FIRST_ROW + 3);
  console_print("Exit\n");
  console_goto(MENU_COLUMN, MENU_BOUND_ROW - 1);
  return menu_select(MENU_COLUMN, MENU_BOUND_ROW, MENU_FIRST_ROW);
}

}  // namespace vormi
