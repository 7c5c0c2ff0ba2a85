// Runs part of the probe as a job under a minimal job-control shell, so Ctrl+Z
// really stops it (a session leader's own group is orphaned: the kernel would
// discard the stop).
#pragma once

namespace vormi::probe {

// Forks; the child becomes a process group of its own in the foreground of the
// terminal and runs program. When the child stops, the parent takes the
// terminal back, writes "stopped" and waits for a command line: "fg" gives the
// terminal back and continues the child; "kill" sends it SIGTERM and then
// SIGCONT, leaving it in the background, as a shell's kill does. Returns the child's exit
// status (128 + signal when a signal ended it).
int run_as_job(int (*program)());

}  // namespace vormi::probe
