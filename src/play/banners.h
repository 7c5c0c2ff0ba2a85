// The block-letter art of the end-of-game banners.
#pragma once

namespace vormi {

constexpr int BANNER_LINES = 8;
constexpr int WIN_BANNER_WIDTH = 69;
constexpr int GAME_BANNER_WIDTH = 43;
constexpr int OVER_BANNER_WIDTH = 49;

// YOU WIN!, lines without line feeds: each is placed by its own cursor move.
extern const char* const WIN_BANNER[BANNER_LINES];
// GAME and OVER!, each line ending in "\n".
extern const char* const GAME_BANNER[BANNER_LINES];
extern const char* const OVER_BANNER[BANNER_LINES];

}  // namespace vormi
