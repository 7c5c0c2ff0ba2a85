// The front end: the welcome screen, the main menu, the controls screen and
// the exit prompt, and the loop that ties them to the game and the score table.
#pragma once

namespace vormi {

// Shows the welcome screen once and then the menu for ever, running what the
// player chooses. Ends only through the exit prompt or a score file failure.
[[noreturn]] void run_front();

}  // namespace vormi
