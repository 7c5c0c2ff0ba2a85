// Preloaded into a process, makes flock follow the rule of an NFS client,
// which carries flock out as a byte-range lock: an exclusive lock on a
// descriptor not open for writing fails with EBADF.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

// Found by the saver, so a test knows the rule is in force.
extern "C" {
int vormi_nfs_flock_rule = 1;
}

extern "C" int flock(int fd, int operation) {
  using Flock = int (*)(int, int);
  static const Flock next = reinterpret_cast<Flock>(dlsym(RTLD_NEXT, "flock"));
  int flags = fcntl(fd, F_GETFL);
  if ((operation & LOCK_EX) != 0 && flags >= 0 && (flags & O_ACCMODE) == O_RDONLY) {
    errno = EBADF;
    return -1;
  }
  return next(fd, operation);
}
