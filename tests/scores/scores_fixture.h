// Shared set-up for the high-score tests: a fresh working directory per test
// (the file's name is fixed, so each test gets its own directory) and a fresh
// fake terminal; helpers to put bytes into the file and read them back.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>

#include "fake/fake_terminal.h"
#include "scores/high_scores.h"
#include "support/files.h"
#include "support/work_dir.h"

namespace vormi::test {

inline const char SCORE_FILE[] = "highscores.txt";
inline const char LOCK_FILE[] = "highscores.txt.lock";

// The lowest score as the game reads it; -1 when the table cannot be had.
inline int lowest_score() {
  int lowest = 0;
  return read_lowest_score(lowest) == SCORE_FILE_OK ? lowest : -1;
}

// Takes the lock as a live game holding it would: the lock file made
// exclusively and flocked. Returns its descriptor, -1 when that failed.
inline int hold_lock() {
  int held = open(LOCK_FILE, O_WRONLY | O_CREAT | O_EXCL, 0644);
  if (held >= 0 && flock(held, LOCK_EX) != 0) {
    close(held);
    return -1;
  }
  return held;
}
inline const std::string DEFAULT_TABLE =
    "1\t0\t\t\tEMPTY\n2\t0\t\t\tEMPTY\n3\t0\t\t\tEMPTY\n4\t0\t\t\tEMPTY\n5\t0\t\t\tEMPTY\n";
inline const std::string LEFT = "\x1b[D";
inline const std::string RIGHT = "\x1b[C";
inline const std::string END = "\x1b[F";
inline const std::string BACKSPACE = "\x7f";

// The table as it stands.
inline std::string read_file() { return read_file(SCORE_FILE); }

inline bool exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

// Five lines in the form the program writes, ranks 1 to 5 in order.
inline bool is_written_table(const std::string& bytes) {
  static const std::regex line("[1-5]\t[0-9]+\t\t\t[^\n]{0,19}\n");
  std::istringstream in(bytes);
  std::string text;
  int rank = 0;
  while (std::getline(in, text)) {
    ++rank;
    if (!std::regex_match(text + "\n", line) || text[0] != '0' + rank) return false;
  }
  return rank == 5 && !bytes.empty() && bytes.back() == '\n';
}

// A table of five entries as the program writes it.
inline std::string table_of(const int (&scores)[5], const char* const (&names)[5]) {
  std::string text;
  for (int k = 0; k < 5; ++k)
    text += std::to_string(k + 1) + "\t" + std::to_string(scores[k]) + "\t\t\t" + names[k] + "\n";
  return text;
}

class ScoresTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.empty());
    fake::reset();
  }

  // Runs a screen that should return by itself, with its keys scripted.
  template <class Run>
  static void run_with_keys(const std::string& keys, Run run) {
    fake::type(keys);
    ASSERT_NO_THROW(run());
  }

  WorkDir work_{"vormi-scores"};
  const std::filesystem::path& dir_ = work_.path();
};

// Registered inside a death test: at exit, what the program sent to the
// terminal goes to standard error, where EXPECT_EXIT can match it.
inline void dump_terminal_output() {
  const std::string& out = fake::output();
  std::fwrite(out.data(), 1, out.size(), stderr);
}

}  // namespace vormi::test
