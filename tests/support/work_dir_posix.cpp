// mkdtemp: <stdlib.h> in POSIX, <unistd.h> on macOS.
#include <stdlib.h>
#include <unistd.h>

#include "support/work_dir.h"

namespace vormi::test {

// Under /tmp, whatever TMPDIR says: the tests of shared tables enter it as
// another user, who may not reach a private TMPDIR.
std::filesystem::path make_work_dir(const std::string& prefix) {
  std::string pattern = "/tmp/" + prefix + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

}  // namespace vormi::test
