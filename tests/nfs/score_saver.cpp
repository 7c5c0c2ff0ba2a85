// Saves one entry in the table of the working directory, as a game does, in
// a process of its own, for tests that start it with a library preloaded.
// Usage: score_saver SCORE NAME [nfs]. Exit status 0 when saved, 1 when not,
// 95 when nfs is asked for and the NFS rule was not preloaded (a system that
// does not honour LD_PRELOAD).
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

#include "scores/high_scores.h"

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) return 2;
  if (argc == 4 && std::strcmp(argv[3], "nfs") == 0 &&
      dlsym(RTLD_DEFAULT, "vormi_nfs_flock_rule") == nullptr) {
    return 95;
  }
  return vormi::save_high_score(std::atoi(argv[1]), argv[2]) ? 0 : 1;
}
