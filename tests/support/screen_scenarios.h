// The scenarios both platforms play on the real program: keys in, whole
// screens out. The POSIX run (tests/e2e/screens_e2e_test.cpp) writes the
// screens it reads to a file each; the Windows run (tests/windows/) plays the
// same steps in a console and compares its screens with that file. Standard
// C++ only: both builds include it.
//
// Every key waits for a text first and every screen is read at rest, so no
// screen depends on the machine's speed; the one exception, a turn and a
// pause in a running game, has a whole step (900 ms at speed 1) to land in.
#pragma once

#include <string>
#include <vector>

namespace vormi::test {

enum class Do {
  KEYS,      // named keys, pressed one after the other: "Down Enter x Ctrl+C"
  WAIT,      // until this text shows on the screen
  SCREEN,    // the screen at rest, named, goes into the comparison
  RESIZE,    // the window takes the size "WxH"
  CALENDAR,  // the calendar clock stands at this second from now on
  IDLE,      // the program waits for a key: its CPU time is measured (Windows)
  EXIT,      // the program ends: "1" for that status, "Ctrl+C" for the interrupt
};

struct Step {
  Do what;
  std::string text;
};

struct Scenario {
  std::string name;
  std::vector<Step> steps;
};

// The second the calendar stands at when a scenario starts: its first food
// lies at (37, 7). The food after it falls at the second SECOND_FOOD.
inline const char* const FIRST_SECOND = "1767225600";  // 2026-01-01 00:00:00 UTC
inline const char* const SECOND_FOOD = "1767225601";

inline std::vector<Scenario> screen_scenarios() {
  // Row 10 once the head has come left to column 37, under the food.
  const std::string head_under_food =
      "\n\u2588" + std::string(35, ' ') + "\u2592\u2593\u2593\u2593";
  const char* const over_banner_end = ":.......::::::...:::::........::..:::::..::....::";
  // clang-format off
  return {
      {"tour", {
          {Do::WAIT, "Press Any Key To Continue..."}, {Do::SCREEN, "welcome"},
          {Do::KEYS, "x"}, {Do::WAIT, "Exit"}, {Do::SCREEN, "menu"},
          {Do::KEYS, "Down Down Enter"}, {Do::WAIT, "P & Esc pauses the game."},
          {Do::SCREEN, "controls"},
          {Do::KEYS, "x"}, {Do::WAIT, "Exit"},
          {Do::KEYS, "Enter"}, {Do::WAIT, "Select The game speed between 1 and 9."},
          {Do::KEYS, "1"}, {Do::WAIT, "Speed: 1"}, {Do::CALENDAR, SECOND_FOOD},
          {Do::WAIT, head_under_food}, {Do::KEYS, "Up"}, {Do::WAIT, "Score: 1"},
          {Do::KEYS, "p"}, {Do::WAIT, "**Paused**"}, {Do::SCREEN, "food eaten, paused"},
          {Do::IDLE, "pause"},
          {Do::KEYS, "x"}, {Do::WAIT, over_banner_end}, {Do::SCREEN, "lost"},
          {Do::KEYS, "x"}, {Do::WAIT, "Please enter your name:"},
          {Do::KEYS, "A d a"}, {Do::WAIT, "name: Ada"}, {Do::SCREEN, "name typed"},
          {Do::KEYS, "Enter"}, {Do::WAIT, "Press any key to continue..."}, {Do::SCREEN, "table"},
          {Do::KEYS, "x"}, {Do::WAIT, "Exit"},
          {Do::KEYS, "Up Enter"}, {Do::WAIT, "Are you sure you want to exit(Y/N)"},
          {Do::SCREEN, "exit prompt"},
          {Do::KEYS, "Y"}, {Do::EXIT, "1"}}},
      {"resize-ctrl-c", {
          {Do::WAIT, "Press Any Key To Continue..."},
          {Do::KEYS, "x"}, {Do::WAIT, "Exit"}, {Do::IDLE, "menu"},
          {Do::RESIZE, "60x20"}, {Do::WAIT, "Terminal 60x20: vormi needs at least 80x24."},
          {Do::SCREEN, "notice"},
          {Do::RESIZE, "80x25"}, {Do::WAIT, "Exit"}, {Do::SCREEN, "menu again"},
          {Do::KEYS, "Ctrl+C"}, {Do::EXIT, "Ctrl+C"}}},
  };
  // clang-format on
}

// The names in a KEYS step, in order.
inline std::vector<std::string> key_names(const std::string& keys) {
  std::vector<std::string> names;
  for (size_t start = 0, end = 0; start < keys.size(); start = end + 1) {
    end = keys.find(' ', start);
    if (end == std::string::npos) end = keys.size();
    if (end > start) names.push_back(keys.substr(start, end - start));
  }
  return names;
}

// A screen as the comparison takes it: its name, its rows with their trailing
// blanks removed, and where the cursor stands (1-based).
inline std::string screen_record(const std::string& name, const std::string& rows, int cursor_x,
                                 int cursor_y) {
  return "== " + name + "\n" + rows + "\ncursor " + std::to_string(cursor_x) + "," +
         std::to_string(cursor_y) + "\n";
}

}  // namespace vormi::test
