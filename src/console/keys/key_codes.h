// The key codes the game reads by name. Arrows type nothing, so they come as
// the pair 0, code; these are their second codes, which the game also uses as
// directions. Enter and Esc come as one code.
#pragma once

namespace vormi {

constexpr int KEY_UP = 72;
constexpr int KEY_DOWN = 80;
constexpr int KEY_LEFT = 75;
constexpr int KEY_RIGHT = 77;
constexpr int KEY_ENTER = 13;
constexpr int KEY_ESC = 27;

}  // namespace vormi
