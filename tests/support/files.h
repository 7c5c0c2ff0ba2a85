// Whole files in and out, byte for byte, for tests that arrange a file and
// read back what the program left in it.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace vormi::test {

inline void put_file(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// Empty when the file is missing or unreadable.
inline std::string file_bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace vormi::test
