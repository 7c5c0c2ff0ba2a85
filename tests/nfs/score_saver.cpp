// Saves one entry in the table of the working directory, as a game does, in
// a process of its own, for tests that start it with a library preloaded.
// Usage: score_saver SCORE NAME. Exit status 0 when saved, 1 when not.
#include <cstdlib>

#include "scores/high_scores.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  return vormi::save_high_score(std::atoi(argv[1]), argv[2]) ? 0 : 1;
}
