// Saves one entry in the table of the working directory, as a game does, in
// a process of its own, for tests that start it with a library preloaded.
// Usage: score_saver SCORE NAME [nfs]. Exit status: the StoreFailure (0 when
// saved); 95 when nfs is asked for and the NFS rule was not preloaded (a
// system that does not honour LD_PRELOAD). With SAVER_RIVAL in the
// environment, another game takes this save's lock by its age once the new
// table is written (a file system without locks, a slow write), and saves
// "Rival" after it; this one waits for it before it ends.
#include <dlfcn.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "scores/high_scores.h"

namespace {

int ready[2];
int go[2];
pid_t rival = -1;

void rival_waits_after_reading(vormi::StoreStep step) {
  char got = 0;
  if (step == vormi::STORE_TABLE_READ && (write(ready[1], "r", 1) != 1 || read(go[0], &got, 1) < 0))
    _exit(97);
}

void rival_takes_the_lock(vormi::StoreStep step) {
  timeval long_ago[2] = {{1000000000, 0}, {1000000000, 0}};
  if (step != vormi::STORE_WRITTEN || pipe(ready) != 0 || pipe(go) != 0 ||
      utimes("highscores.txt.lock", long_ago) != 0)
    return;
  rival = fork();
  if (rival == 0) {
    close(go[1]);
    vormi::store_step_hook = rival_waits_after_reading;
    _exit(vormi::save_high_score(40, "Rival") ? 0 : 1);
  }
  char got = 0;
  if (read(ready[0], &got, 1) != 1) _exit(96);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) return 2;
  if (argc == 4 && std::strcmp(argv[3], "nfs") == 0 &&
      dlsym(RTLD_DEFAULT, "vormi_nfs_flock_rule") == nullptr) {
    return 95;
  }
  if (std::getenv("SAVER_RIVAL") != nullptr) vormi::store_step_hook = rival_takes_the_lock;
  vormi::StoreFailure why = vormi::STORE_SAVED;
  vormi::save_high_score(std::atoi(argv[1]), argv[2], why);
  if (rival > 0) {
    close(go[1]);
    waitpid(rival, nullptr, 0);
  }
  return why;
}
