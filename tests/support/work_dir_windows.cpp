#include <system_error>

#include "support/work_dir.h"

namespace vormi::test {

// The first free name in the temporary folder: create_directory makes only a
// directory that was not there, so tests running at once each get their own.
std::filesystem::path make_work_dir(const std::string& prefix) {
  std::error_code error;
  const std::filesystem::path temp = std::filesystem::temp_directory_path(error);
  for (int n = 0; !error && n < 100000; ++n) {
    const std::filesystem::path path = temp / (prefix + "-" + std::to_string(n));
    if (std::filesystem::create_directory(path, error)) return path;
  }
  return {};
}

}  // namespace vormi::test
