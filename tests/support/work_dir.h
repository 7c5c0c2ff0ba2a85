// A fresh directory under /tmp that a test works in: made and entered when
// the object is made, left and removed with all it holds when it goes. The
// score file's name is fixed, so every test that may write one needs its own.
#pragma once

// mkdtemp: <stdlib.h> in POSIX, <unistd.h> on macOS.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace vormi::test {

class WorkDir {
 public:
  // enter: also make it the working directory while the object lives.
  explicit WorkDir(const std::string& prefix, bool enter = true) {
    std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) return;
    path_ = pattern;
    if (enter) {
      previous_ = std::filesystem::current_path();
      std::filesystem::current_path(path_);
    }
  }
  ~WorkDir() {
    std::error_code ignored;
    if (!previous_.empty()) std::filesystem::current_path(previous_, ignored);
    // Some tests take permissions away or remove the directory themselves.
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  WorkDir(const WorkDir&) = delete;
  WorkDir& operator=(const WorkDir&) = delete;

  // Empty when the directory could not be made.
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

}  // namespace vormi::test
