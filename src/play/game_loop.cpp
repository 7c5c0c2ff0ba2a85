// One game: the speed prompt, the timed loop, the banners and the hand-over
// to the score table.
#include "play/game_loop.h"

#include <cstdint>

#include "console/console.h"
#include "play/banners.h"
#include "play/playfield.h"
#include "scores/high_scores.h"
#include "scores/score_screens.h"

namespace vormi {

namespace {

constexpr int START_LENGTH = 4;
constexpr int START_X = 40;
constexpr int START_Y = 10;
constexpr int WIN_LENGTH = 305;
constexpr int WIN_BONUS = 1500;
constexpr int KEY_LOWER_P = 112;

enum Outcome { OUTCOME_NONE, OUTCOME_LOST, OUTCOME_WON };

int is_direction(int code) {
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

void finish_game(int outcome, int score) {
  if (outcome == OUTCOME_LOST) {
    console_print("\a");
    console_print("\a");
    show_game_over_banner();
  } else {
    show_win_banner();
  }
  int lowest = read_lowest_score();
  if (score >= lowest && score != 0) {
    record_high_score(score);
    show_high_scores();
  }
}

}  // namespace

int next_tick_interval(int tick, int new_speed) {
  if (new_speed <= 9) return tick - 100;
  if (tick >= 40) return tick - 5;
  return tick;
}

void start_new_game() {
  GameState state{};
  clear_body(state);
  state.direction = KEY_LEFT;
  state.score = 0;
  state.length = START_LENGTH;
  state.speed = choose_speed();
  state.body.x[0] = START_X;
  state.body.y[0] = START_Y;
  draw_border(BOARD_WIDTH, BOARD_HEIGHT);
  lay_out_body(state, START_LENGTH);
  draw_vormi(state, START_LENGTH);
  place_food(state.food, BOARD_WIDTH, BOARD_HEIGHT, state, START_LENGTH);
  draw_status(0, state.speed);
  run_game(state, BOARD_WIDTH, BOARD_HEIGHT, START_LENGTH, KEY_LEFT, 0, state.speed);
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
void run_game(GameState& state, int width, int height, int length, int direction, int score,
              int speed) {
  int tick = 1000 - 100 * speed;
  int level_mark = 10 * speed;
  int gate_open = 1;
  int remembered = direction;
  int deadline = deadline_after(tick);
  int outcome = OUTCOME_NONE;
  while (outcome == OUTCOME_NONE) {
    if (gate_open) {
      remembered = direction;
      direction = poll_direction(direction);
    }
    // After a turn nothing more is read until the step has gone that way.
    if (direction != remembered) gate_open = 0;
    int stepped = 0;
    // An Esc byte on its own may be the pause key or the start of an arrow;
    // the step waits the few milliseconds until the console knows, so that
    // a pause pressed before the deadline still comes before the step.
    const int esc_unresolved = gate_open && console_key_unresolved();
    if (!esc_unresolved && console_deadline_reached(deadline)) {
      step_vormi(state, length, direction);
      gate_open = 1;
      if (try_eat(state, state.food)) {
        place_food(state.food, width, height, state, length);
        length += 1;
        score += speed;
        if (score >= level_mark + 10 * speed) {
          speed += 1;
          level_mark = score;
          tick = next_tick_interval(tick, speed);
        }
        draw_status(score, speed);
      }
      // From a fresh reading: time spent drawing or paused is never made up.
      deadline = deadline_after(tick);
      stepped = 1;
    }
    if (check_collision(state, width, height, length)) outcome = OUTCOME_LOST;
    if (length >= WIN_LENGTH) {
      outcome = OUTCOME_WON;
      score += WIN_BONUS;
    }
    if (outcome == OUTCOME_NONE && !stepped) console_wait_until(deadline, gate_open);
  }
  finish_game(outcome, score);
}

int poll_direction(int direction) {
  if (!console_key_ready()) return direction;
  int code = console_read_key();
  if (code == direction) return code;
  if (is_direction(code) && code != reverse_of(direction)) return code;
  if (code == KEY_ESC || code == KEY_LOWER_P) pause_game();
  return direction;
}

void pause_game() {
  console_goto(28, 23);
  console_print("**Paused**");
  // Of an arrow only the 0 is taken; its direction code waits for the loop.
  console_wait_key();
  console_goto(28, 23);
  console_print("            ");
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
  for (int i = 0; i < BANNER_LINES; ++i) {
    console_goto(6, 7 + i);
    console_print("%s", WIN_BANNER[i]);
  }
  console_goto(6, 15);
  console_wait_key();
  console_clear();
}

void show_game_over_banner() {
  for (int i = 0; i < BANNER_LINES; ++i) {
    console_goto(17, 3 + i);
    console_print("%s", GAME_BANNER[i]);
  }
  for (int i = 0; i < BANNER_LINES; ++i) {
    console_goto(17, 11 + i);
    console_print("%s", OVER_BANNER[i]);
  }
  console_wait_key();
  console_clear();
}

}  // namespace vormi
