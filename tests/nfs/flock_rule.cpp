// Preloaded into a process, makes flock follow the rule of an NFS client,
// which carries flock out as a byte-range lock: an exclusive lock on a
// descriptor not open for writing fails with EBADF. With FLOCK_RULE=none in
// the environment, flock follows a file system that has none: every call
// fails with ENOLCK (with FLOCK_RULE=eopnotsupp, with EOPNOTSUPP).
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

// Found by the saver, so a test knows the rule is in force.
extern "C" {
int vormi_nfs_flock_rule = 1;
}

extern "C" int flock(int fd, int operation) {
  using Flock = int (*)(int, int);
  static const Flock next = reinterpret_cast<Flock>(dlsym(RTLD_NEXT, "flock"));
  const char* rule = std::getenv("FLOCK_RULE");
  int flags = fcntl(fd, F_GETFL);
  bool unsupported = rule != nullptr && std::strcmp(rule, "eopnotsupp") == 0;
  bool no_flock = unsupported || (rule != nullptr && std::strcmp(rule, "none") == 0);
  if (no_flock || ((operation & LOCK_EX) != 0 && flags >= 0 && (flags & O_ACCMODE) == O_RDONLY)) {
    errno = unsupported ? EOPNOTSUPP : no_flock ? ENOLCK : EBADF;
    return -1;
  }
  return next(fd, operation);
}
