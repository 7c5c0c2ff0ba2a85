// POSIX names the time of change with nanoseconds st_mtim; macOS calls it
// st_mtimespec. The build says which this system has (VORMI_HAVE_ST_MTIM*);
// with neither, the whole seconds of st_mtime are all there is.
#include "scores/file_time.h"

#include <sys/stat.h>

namespace vormi {

int64_t file_changed_ms(const struct stat& info) {
#if VORMI_HAVE_ST_MTIM
  return milliseconds_of(info.st_mtim);
#elif VORMI_HAVE_ST_MTIMESPEC
  return milliseconds_of(info.st_mtimespec);
#else
  return static_cast<int64_t>(info.st_mtime) * 1000;
#endif
}

}  // namespace vormi
