// Whole files in and out, byte for byte, for tests that look at what the
// program wrote or give it a file to read.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace vormi::test {

// The file's bytes; empty when it cannot be read.
inline std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// The file's text with CR LF line ends read as LF: a score table as the game
// means it, whichever line ends the system's store writes (CR LF on Windows).
inline std::string read_lines(const std::filesystem::path& path) {
  std::string text = read_file(path);
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
    text.erase(at, 1);
  return text;
}

// Makes the file hold exactly these bytes.
inline void write_file(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

}  // namespace vormi::test
