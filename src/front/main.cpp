// The program entry: answer --help and --version, or prepare the terminal and
// hand over to the front end.
#include <cstdio>
#include <cstring>

#include "console/console.h"
#include "front/front.h"

namespace {

constexpr int USAGE_ERROR = 2;
constexpr int NO_TERMINAL = 2;  // none, or one too small
constexpr const char* USAGE = "Usage: vormi [--help | --version]\n";

void print_help() {
  std::fputs(USAGE, stdout);
  std::fputs(
      "A full-screen game for a text terminal of at least 80x24: steer the vormi\n"
      "around a walled board. The high scores are kept in highscores.txt in the\n"
      "current directory. See vormi(6).\n",
      stdout);
}

}  // namespace

int main(int argc, char** argv) {
  // An answer to an option never touches the terminal.
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    print_help();
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::puts("vormi " VORMI_VERSION);
    return 0;
  }
  if (argc > 1) {
    std::fprintf(stderr, "vormi: unknown argument '%s'\n", argv[1]);
    std::fputs(USAGE, stderr);
    return USAGE_ERROR;
  }
  char why[256] = "";
  if (!vormi::console_start(why, sizeof why)) {
    std::fprintf(stderr, "vormi: %s\n", why);
    return NO_TERMINAL;
  }
  vormi::run_front();
}
