// What one frame costs the terminal: the real binary on a pseudo-terminal.
//
// Steps: a game at speed 9 runs under strace until the vormi meets the wall.
// A step is the stretch from one write that draws the head glyph to the next;
// the system calls made in it (writes, reads, polls, anything) are counted,
// with the bytes written. strace only sees real system calls: the clocks go
// through the vDSO and cost none.
//
// Latency: at the main menu, the time from typing Down or Up on the terminal's
// master side to the marker standing on its new row, against the time a
// pseudo-terminal in echo mode takes to echo one byte back, in turns, in the
// same run.
//   bench_frame_output [samples]   (default 300)
// Targets: 1 write, at most 40 bytes and at most 4 system calls a step; the
// median latency within 0.3 ms of the median echo.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "start_game.h"
#include "support/pty_session.h"
#include "timing.h"

namespace {

constexpr const char* STRACE = "/usr/bin/strace";
constexpr int MARKER_COLUMN = 8;  // two left of the menu's items
constexpr int MENU_FIRST_ROW = 5;

// strace -xx writes every byte of a buffer as \xNN.
std::string hex_of(const std::string& text) {
  std::string out;
  char byte[8];
  for (unsigned char c : text) {
    std::snprintf(byte, sizeof byte, "\\x%02x", c);
    out += byte;
  }
  return out;
}

struct Call {
  std::string name;
  std::string line;
  long result;
};

// One line of strace -f -ttt: "pid seconds.micros name(arguments) = result".
bool parse_call(const std::string& line, Call& call) {
  std::istringstream in(line);
  std::string pid;
  std::string stamp;
  if (!(in >> pid >> stamp)) return false;
  std::string rest;
  std::getline(in, rest);
  const size_t start = rest.find_first_not_of(' ');
  if (start == std::string::npos || rest.compare(start, 3, "+++") == 0 ||
      rest.compare(start, 3, "---") == 0) {
    return false;  // the exit, or a signal: not a system call
  }
  const size_t open = rest.find('(', start);
  if (open == std::string::npos) return false;
  call.name = rest.substr(start, open - start);
  call.line = rest;
  const size_t equals = rest.rfind(") = ");
  call.result = equals == std::string::npos ? -1 : std::atol(rest.c_str() + equals + 4);
  return true;
}

struct StepCost {
  int calls = 0;
  int writes = 0;
  long bytes = 0;
};

template <typename T>
T median_of(std::vector<T> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? T{} : values[values.size() / 2];
}

void measure_steps() {
  char log_path[] = "/tmp/vormi_frame_XXXXXX";
  const int log_fd = mkstemp(log_path);
  if (log_fd < 0) {
    std::printf("steps: no temporary file\n");
    return;
  }
  close(log_fd);
  {
    vormi::test::PtySession game(
        {STRACE, "-f", "-ttt", "-xx", "-s", "65536", "-o", log_path, VORMI_BINARY}, 80, 25, "/tmp");
    if (!start_game(game, '9')) {
      std::printf("steps: could not start a game under strace\n");
      unlink(log_path);
      return;
    }
    // Speed 9 steps every 100 ms; the vormi meets the left wall in about 4 s.
    game.wait_for(":'#######::'##", 15000);
    game.pump(200);
  }
  std::ifstream log(log_path);
  const std::string head = hex_of("\u2592");
  const std::string status = hex_of("Speed: ");
  std::vector<StepCost> steps;
  bool in_game = false;
  StepCost current;
  bool counting = false;
  std::string line;
  while (std::getline(log, line)) {
    Call call;
    if (!parse_call(line, call)) continue;
    const bool is_write = call.name == "write";
    if (is_write && call.line.find(status) != std::string::npos) in_game = true;
    if (!in_game) continue;
    if (is_write && call.line.find(head) != std::string::npos) {
      if (counting) steps.push_back(current);
      current = StepCost{};
      counting = true;
    }
    if (!counting) continue;
    ++current.calls;
    if (is_write) {
      ++current.writes;
      if (call.result > 0) current.bytes += call.result;
    }
  }
  unlink(log_path);
  // The stretch after the last step holds the banner: it is not a step.
  if (steps.size() < 3) {
    std::printf("steps: only %zu steps seen\n", steps.size());
    return;
  }
  std::vector<int> calls;
  std::vector<int> writes;
  std::vector<long> bytes;
  for (const StepCost& step : steps) {
    calls.push_back(step.calls);
    writes.push_back(step.writes);
    bytes.push_back(step.bytes);
  }
  const int max_calls = *std::max_element(calls.begin(), calls.end());
  const int max_writes = *std::max_element(writes.begin(), writes.end());
  const long max_bytes = *std::max_element(bytes.begin(), bytes.end());
  std::printf("%zu steps at speed 9 (a step with food eaten draws more)\n", steps.size());
  std::printf("  writes a step:       median %d, most %d (target 1) %s\n", median_of(writes),
              max_writes, median_of(writes) == 1 && max_writes == 1 ? "MET" : "MISSED");
  std::printf("  bytes a step:        median %ld, most %ld (target at most 40) %s\n",
              median_of(bytes), max_bytes, median_of(bytes) <= 40 ? "MET" : "MISSED");
  std::printf("  system calls a step: median %d, most %d (target at most 4) %s\n", median_of(calls),
              max_calls, median_of(calls) <= 4 ? "MET" : "MISSED");
}

// Times from sending bytes until done() holds, reading the output as it comes.
template <typename Done>
double round_trip_ms(vormi::test::PtySession& session, const std::string& bytes, Done done) {
  const double start = now_ms();
  session.send(bytes);
  while (!done()) {
    if (now_ms() - start > 2000) return -1;
    session.pump_once(100);
  }
  return now_ms() - start;
}

void measure_latency(int samples) {
  vormi::test::PtySession menu({VORMI_BINARY}, 80, 25, "/tmp");
  // Any program that leaves the terminal as it found it: canonical mode with echo.
  vormi::test::PtySession echo({"/bin/sleep", "600"}, 80, 25, "/tmp");
  if (!menu.wait_for("Press Any Key To Continue")) {
    std::printf("latency: the program did not start\n");
    return;
  }
  menu.send("x");
  if (!menu.wait_for("New Game")) {
    std::printf("latency: no menu\n");
    return;
  }
  menu.pump(100);
  std::vector<double> keys;
  std::vector<double> echoes;
  size_t echoed = 0;
  for (int i = 0; i < samples; ++i) {
    const bool down = i % 2 == 0;
    const int row = MENU_FIRST_ROW + (down ? 1 : 0);
    const double key = round_trip_ms(menu, down ? "\x1b[B" : "\x1b[A", [&] {
      return menu.screen().cell(MARKER_COLUMN, row) == ">" &&
             menu.screen().cell(MARKER_COLUMN, down ? row - 1 : row + 1) == " ";
    });
    const double back = round_trip_ms(echo, "e", [&] { return echo.output().size() > echoed; });
    echoed = echo.output().size();
    if (key < 0 || back < 0) {
      std::printf("latency: no answer at sample %d\n", i);
      return;
    }
    keys.push_back(key);
    echoes.push_back(back);
  }
  const double key_median = median_of(keys);
  const double echo_median = median_of(echoes);
  std::printf("key to marker move at the menu: median %.3f ms over %d keys\n", key_median, samples);
  std::printf("pseudo-terminal echo round trip: median %.3f ms\n", echo_median);
  std::printf("  difference %.3f ms (target within 0.3 ms) %s\n", key_median - echo_median,
              key_median - echo_median <= 0.3 ? "MET" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
  const int samples = argc > 1 ? std::atoi(argv[1]) : 300;
  if (access(STRACE, X_OK) != 0)
    std::printf("steps: %s is missing (Debian package strace)\n", STRACE);
  else
    measure_steps();
  measure_latency(samples);
  return 0;
}
