// What the stores of every system share: the hooks and what the player is told.
#include "scores/score_file.h"

namespace vormi {

void (*store_step_hook)(StoreStep step) = nullptr;
void (*store_before_pause)() = nullptr;

const char* store_failure_text(StoreFailure failure) {
  switch (failure) {
    case STORE_SAVED: return "";
    case STORE_BUSY: return "Another game held the table too long.";
    case STORE_READ_ONLY: return "You may not write the table or its folder.";
    case STORE_LINKED: return "The table has a second name; it is left as it is.";
    case STORE_NO_SPACE: return "The disk is full.";
    case STORE_NOT_A_FILE: return "Something else stands at the table's name.";
    case STORE_UNREADABLE_TABLE: return "You may not read the table.";
    case STORE_NOT_PLACED: return "The table's five scores are all higher.";
    case STORE_IO_ERROR: break;
  }
  return "The disk reported an error.";
}

}  // namespace vormi
