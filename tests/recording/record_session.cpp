// Plays one scripted session of the real program on a pseudo-terminal and
// writes every byte the program sends to the terminal into a file: welcome,
// menu, a game at speed 9 steered to its first speed rise and then into a
// wall, the name, the table, the controls, the table from the menu, exit.
//
// Nothing in a run depends on timing. libfaketime stops both of the
// program's clocks (calendar and monotonic) at a time read from a file that
// only this recorder changes, and it changes it, like it types a key, only
// when the program has read all that was typed, written all it drew and
// sleeps in a wait. Each step of the game is one second of that clock, so
// where the food falls follows from the number of steps alone.
//
//   record_session VORMI_BINARY LIBFAKETIME OUTPUT_FILE
#include <stdio.h>
#include <sys/wait.h>
#include <time.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/pty_session.h"
#include "support/work_dir.h"

namespace {

using vormi::test::PtySession;

constexpr int64_t START_SECOND = 1767225600;  // 2026-01-01 00:00:00 UTC
constexpr int BOT_STEP_LIMIT = 5000;

const std::string HEAD = "\u2592";
const std::string BODY = "\u2593";
const std::string FOOD = "\u25A0";

struct Move {
  int dx;
  int dy;
  const char* key;  // the upper-case letter that steers that way
};
const Move UP = {0, -1, "H"};
const Move DOWN = {0, 1, "P"};
const Move LEFT = {-1, 0, "K"};
const Move RIGHT = {1, 0, "M"};

[[noreturn]] void fail(const std::string& why) { throw std::runtime_error(why); }

// The program's clocks, as the timestamp file libfaketime reads on every call.
class Clock {
 public:
  explicit Clock(std::string path) : path_(std::move(path)) { write(); }
  void advance_seconds(int seconds) {
    second_ += seconds;
    write();
  }
  const std::string& path() const { return path_; }

 private:
  void write() {
    const time_t at = static_cast<time_t>(START_SECOND + second_);
    tm parts{};
    gmtime_r(&at, &parts);
    char text[64];
    strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    // Replaced whole, so the program never reads half a line.
    const std::string next = path_ + ".next";
    std::ofstream(next) << text << "\n";
    if (rename(next.c_str(), path_.c_str()) != 0) fail("cannot replace the clock file");
  }

  std::string path_;
  int64_t second_ = 0;
};

char process_state(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const size_t close = line.rfind(") ");
  return close == std::string::npos ? '?' : line[close + 2];
}

// Waits until the program has read every byte typed, its output is all read
// and it sleeps in a wait. It sleeps nowhere else, so it is then idle.
void settle(PtySession& game) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < give_up) {
    while (game.pump_once(0)) {
    }
    if (game.unread_input() == 0 && process_state(game.pid()) == 'S' && !game.pump_once(0)) return;
    game.pump_once(2);
  }
  fail("the program did not settle");
}

// How often the program has gone to sleep so far.
long sleeps_of(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  const std::string field = "voluntary_ctxt_switches:";
  for (std::string line; std::getline(status, line);)
    if (line.compare(0, field.size(), field) == 0) return std::stol(line.substr(field.size()));
  return -1;
}

// Types a key and waits until the program has read it and done what it does.
// A byte written to the terminal reaches the program's side a moment later:
// it is there once it waits to be read, or once the program, which sleeps
// until there is something to read, has woken and slept again.
void type(PtySession& game, const std::string& key) {
  const long sleeps = sleeps_of(game.pid());
  game.send(key);
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (game.unread_input() == 0 && sleeps_of(game.pid()) == sleeps) {
    if (std::chrono::steady_clock::now() > give_up) fail("the program did not take a key");
    game.pump_once(1);
  }
  settle(game);
}

// Moves the clock on by seconds; the program notices at the end of its
// current wait and draws something.
void advance(PtySession& game, Clock& clock, int seconds) {
  const size_t before = game.output().size();
  clock.advance_seconds(seconds);
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (game.output().size() == before) {
    if (std::chrono::steady_clock::now() > give_up) fail("no output after the clock moved");
    game.pump_once(20);
  }
  settle(game);
}

struct Cell {
  int x;
  int y;
};

bool find(PtySession& game, const std::string& glyph, Cell& at) {
  for (int y = 2; y <= 20; ++y) {
    for (int x = 2; x <= 79; ++x) {
      if (game.screen().cell(x, y) == glyph) {
        at = {x, y};
        return true;
      }
    }
  }
  return false;
}

bool free_cell(PtySession& game, int x, int y) {
  if (x < 2 || x > 79 || y < 2 || y > 20) return false;
  const std::string there = game.screen().cell(x, y);
  return there != BODY && there != HEAD;
}

int distance(int x, int y, Cell to) { return std::abs(x - to.x) + std::abs(y - to.y); }

// The free neighbour of the head nearest the food, going on straight at a tie.
Move choose(PtySession& game, Cell head, Cell food, Move heading) {
  Move best = heading;
  int best_distance = 1 << 30;
  for (const Move& move : {heading, UP, DOWN, LEFT, RIGHT}) {
    if (move.dx == -heading.dx && move.dy == -heading.dy) continue;
    const int x = head.x + move.dx;
    const int y = head.y + move.dy;
    if (!free_cell(game, x, y)) continue;
    if (distance(x, y, food) < best_distance) {
      best = move;
      best_distance = distance(x, y, food);
    }
  }
  return best;
}

bool game_over(PtySession& game) {
  return game.screen().text().find(":'#######") != std::string::npos;
}

// Steers to the food until the speed has risen once, pausing once on the
// way, then runs on straight until the vormi hits something.
void play(PtySession& game, Clock& clock) {
  Cell head = {40, 10};
  Move heading = LEFT;
  bool paused_once = false;
  for (int steps = 0; steps < BOT_STEP_LIMIT; ++steps) {
    const bool risen = game.screen().row(24).find("Speed: 10") != std::string::npos;
    Cell food{};
    if (!risen && find(game, FOOD, food)) {
      const Move next = choose(game, head, food, heading);
      if (next.key != heading.key) type(game, next.key);
      heading = next;
    }
    if (!paused_once && game.screen().row(23).find("Score: 27") != std::string::npos) {
      type(game, "p");
      type(game, "x");
      paused_once = true;
    }
    advance(game, clock, 1);
    if (game_over(game)) return;
    find(game, HEAD, head);
    // Food that would fall on the vormi waits for the next second.
    while (!find(game, FOOD, food)) advance(game, clock, 1);
  }
  fail("the game did not end");
}

void record(const std::string& program, const std::string& faketime, const std::string& output) {
  vormi::test::WorkDir dir("vormi-record", false);
  if (dir.path().empty()) fail("cannot make a work directory");
  Clock clock((dir.path() / "clock").string());
  const std::vector<std::string> command = {
      "/usr/bin/env",           "-u",     "FAKETIME",
      "LD_PRELOAD=" + faketime, "TZ=UTC", "FAKETIME_TIMESTAMP_FILE=" + clock.path(),
      "FAKETIME_NO_CACHE=1",    program};
  PtySession game(command, 80, 25, dir.path(), vormi::test::TerminalAnswers::KEYBOARD_AND_SYNC);
  if (!game.wait_for("Press Any Key To Continue", 20000)) fail("no welcome screen");
  settle(game);
  type(game, "x");    // the menu
  type(game, "\r");   // New Game
  type(game, "9");    // the speed
  play(game, clock);  // ends on the game-over banner
  type(game, "x");    // the name prompt
  for (char c : std::string("Recorder")) type(game, std::string(1, c));
  type(game, "\r");      // the table
  type(game, "x");       // the menu
  type(game, "\x1b[B");  // High Scores
  type(game, "\x1b[B");  // Controls
  type(game, "\r");
  type(game, "x");       // the menu, marker on New Game again
  type(game, "\x1b[B");  // High Scores
  type(game, "\r");
  type(game, "x");
  type(game, "\x1b[A");  // up from the first item wraps to Exit
  type(game, "\r");
  game.send("y");
  int status = 0;
  if (!game.wait_exit(status, 20000)) fail("the program did not end");
  std::ofstream(output, std::ios::binary) << game.output();
  std::cout << game.output().size() << " bytes, " << game.screen().bells() << " bells, exit status "
            << WEXITSTATUS(status) << "\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: record_session VORMI_BINARY LIBFAKETIME OUTPUT_FILE\n";
    return 2;
  }
  try {
    record(argv[1], argv[2], argv[3]);
  } catch (const std::exception& e) {
    std::cerr << "record_session: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
