// The benchmarks' way into a game: past the welcome screen and the menu to
// the speed prompt, then the speed.
#pragma once

#include <string>

#include "support/pty_session.h"

inline bool start_game(vormi::test::PtySession& game, char speed) {
  if (!game.wait_for("Press Any Key To Continue")) return false;
  game.send("x");
  if (!game.wait_for("New Game")) return false;
  game.send("\r");
  if (!game.wait_for("Select The game speed")) return false;
  game.send(std::string(1, speed));
  return game.wait_for("Speed: ");
}
