// One game: the speed prompt, the timed loop, the banners and the hand-over
// to the score table.
#include "play/game_loop.h"

#include <cstdint>

#include "console/console.h"
#include "play/banners.h"
#include "play/playfield.h"
#include "scores/score_screens.h"

namespace vormi {

namespace {

constexpr int START_LENGTH = 4;
constexpr int START_X = 40;
constexpr int START_Y = 10;
constexpr int WIN_LENGTH = 305;
constexpr int WIN_BONUS = 1500;

enum Outcome { OUTCOME_NONE, OUTCOME_LOST, OUTCOME_WON };

// The loop's own pace: the time between steps, and the score at the last rise.
struct Pace {
  int tick;
  int level_mark;
};

bool is_direction(int code) {
  return code == KEY_UP || code == KEY_DOWN || code == KEY_LEFT || code == KEY_RIGHT;
}

int reverse_of(int direction) {
  switch (direction) {
    case KEY_UP: return KEY_DOWN;
    case KEY_DOWN: return KEY_UP;
    case KEY_LEFT: return KEY_RIGHT;
    case KEY_RIGHT: return KEY_LEFT;
    default: return -1;
  }
}

// The clock reading one tick from now. The sum is taken in unsigned
// arithmetic so that it wraps instead of overflowing a signed int.
int deadline_after(int tick) {
  return static_cast<int>(console_millis() + static_cast<uint32_t>(tick));
}

// Shows the pause marker until a key is pressed.
void pause_game() {
  console_goto(28, 23);
  console_print("**Paused**");
  // Of an arrow only the 0 is taken; its direction code waits for the loop.
  console_wait_key();
  console_goto(28, 23);
  console_print("            ");
}

// Reads at most one key code and returns the direction to use from now on.
int poll_direction(int direction) {
  if (!console_key_ready()) return direction;
  int code = console_read_key();
  if (code == direction) return code;
  if (is_direction(code) && code != reverse_of(direction)) return code;
  if (code == KEY_ESC || code == 'p') pause_game();
  return direction;
}

// Each line of a banner at column, from row top down.
void draw_banner(const char* const* lines, int column, int top) {
  for (int i = 0; i < BANNER_LINES; ++i) {
    console_goto(column, top + i);
    console_print("%s", lines[i]);
  }
}

ScoreFileStatus finish_game(Outcome outcome, int score) {
  if (outcome == OUTCOME_LOST) {
    console_print("\a\a");
    show_game_over_banner();
  } else {
    show_win_banner();
  }
  int lowest = 0;
  const ScoreFileStatus status = read_lowest_score(lowest);
  if (status != SCORE_FILE_OK || score < lowest || score == 0) return status;
  const ScoreFileStatus recorded = record_high_score(score);
  if (recorded != SCORE_FILE_OK) return recorded;
  return show_high_scores();
}

// A piece is worth the speed; the speed rises with ten pieces' worth since the
// last rise (the mark starts at ten of the starting speed: the 20th piece).
void score_piece(GameState& state, Pace& pace) {
  state.score += state.speed;
  if (state.score >= pace.level_mark + 10 * state.speed) {
    state.speed += 1;
    pace.level_mark = state.score;
    pace.tick = next_tick_interval(pace.tick, state.speed);
  }
}

// The step, and what eating brings: food clear of the body before it grows,
// one segment more, the score and the panel.
void step_and_eat(GameState& state, int width, int height, Pace& pace) {
  step_vormi(state, state.length, state.direction);
  if (!try_eat(state, state.food)) return;
  place_food(state.food, width, height, state, state.length);
  state.length += 1;
  score_piece(state, pace);
  draw_status(state.score, state.speed);
}

// Lost on a wall or the body; won at the full length, even
// on the pass of a collision, and then the bonus is added to the score.
Outcome outcome_and_bonus(GameState& state, int width, int height) {
  Outcome outcome =
      check_collision(state, width, height, state.length) ? OUTCOME_LOST : OUTCOME_NONE;
  if (state.length >= WIN_LENGTH) {
    outcome = OUTCOME_WON;
    state.score += WIN_BONUS;
  }
  return outcome;
}

}  // namespace

int next_tick_interval(int tick, int new_speed) {
  if (new_speed <= 9) return tick - 100;
  if (tick >= 40) return tick - 5;
  return tick;
}

ScoreFileStatus start_new_game() {
  GameState state{};
  clear_body(state);
  state.direction = KEY_LEFT;
  state.score = 0;
  state.length = START_LENGTH;
  state.speed = choose_speed();
  state.body.x[0] = START_X;
  state.body.y[0] = START_Y;
  draw_border(BOARD_WIDTH, WINDOW_HEIGHT);
  lay_out_body(state, state.length);
  draw_vormi(state, state.length);
  place_food(state.food, BOARD_WIDTH, WINDOW_HEIGHT, state, state.length);
  draw_status(state.score, state.speed);
  return run_game(state, BOARD_WIDTH, WINDOW_HEIGHT);
}

int choose_speed() {
  console_clear();
  for (;;) {
    // A rejected key reprints the prompt over itself, so nothing changes.
    console_goto(10, 5);
    console_print("Select The game speed between 1 and 9.");
    int code = console_wait_key();
    if (code >= '1' && code <= '9') return code - '0';
  }
}

// Each pass: at most one key read, the step when the deadline has come, the
// collision and win tests. A pass that steps no further waits in
// console_wait_until for the deadline or, while keys are read, for a key (or
// for an Esc byte to be told from an arrow): the passes it skips would each
// have found no key and no step due, and the state they would test has not
// changed, so they would have done nothing.
ScoreFileStatus run_game(GameState& state, int width, int height) {
  Pace pace = {1000 - 100 * state.speed, 10 * state.speed};
  bool gate_open = true;
  int deadline = deadline_after(pace.tick);
  Outcome outcome = OUTCOME_NONE;
  while (outcome == OUTCOME_NONE) {
    const int before = state.direction;
    if (gate_open) state.direction = poll_direction(state.direction);
    // After a turn nothing more is read until the step has gone that way.
    if (state.direction != before) gate_open = false;
    // An Esc byte on its own may be the pause key or the start of an arrow;
    // the step waits the few milliseconds until the console knows, so that
    // a pause pressed before the deadline still comes before the step.
    const bool step_due =
        !(gate_open && console_key_unresolved()) && console_deadline_reached(deadline);
    if (step_due) {
      step_and_eat(state, width, height, pace);
      gate_open = true;
      // From a fresh reading: time spent drawing or paused is never made up.
      deadline = deadline_after(pace.tick);
    }
    outcome = outcome_and_bonus(state, width, height);
    if (outcome == OUTCOME_NONE && !step_due) console_wait_until(deadline, gate_open);
  }
  return finish_game(outcome, state.score);
}

void draw_status(int score, int speed) {
  console_goto(5, 23);
  console_print("Score: %d", score);
  console_goto(5, 24);
  console_print("Speed: %d", speed);
  console_goto(52, 23);
  console_print("Coder: Kestrovan");
  console_goto(52, 24);
  console_print("Version: " VORMI_VERSION);  // the project's version, from CMake
}

void show_win_banner() {
  draw_banner(WIN_BANNER, 6, 7);
  console_goto(6, 15);
  console_wait_key();
  console_clear();
}

void show_game_over_banner() {
  draw_banner(GAME_BANNER, 17, 3);
  draw_banner(OVER_BANNER, 17, 11);
  console_wait_key();
  console_clear();
}

}  // namespace vormi
