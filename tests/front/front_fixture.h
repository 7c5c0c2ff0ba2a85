// Shared set-up for the front-end tests: a fresh fake terminal and a fresh
// working directory, so the score file of one test never reaches another.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "fake/fake_terminal.h"
#include "support/work_dir.h"

namespace vormi::test {

// Arrow keys as a terminal sends them.
inline const std::string UP = "\x1b[A";
inline const std::string DOWN = "\x1b[B";
inline const std::string RIGHT = "\x1b[C";
inline const std::string LEFT = "\x1b[D";
inline const std::string ENTER = "\r";

// Column of the menu's selection marker.
constexpr int MARKER_COLUMN = 8;

class FrontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.empty());
    fake::reset();
  }

  // Runs a screen until it has taken every scripted key and waits for more.
  // False when it returned (or threw something else) instead.
  template <class Run>
  static bool runs_out_of_input(Run run) {
    try {
      run();
    } catch (const fake::InputExhausted&) {
      return true;
    }
    return false;
  }

  // The rows of menu items (5 to 8) that show the marker, as a string of
  // digits, e.g. "6": exactly one digit when the menu is sound.
  static std::string marker_rows() {
    std::string rows;
    for (int row = 5; row <= 8; ++row)
      if (fake::screen().cell(MARKER_COLUMN, row) == ">") rows += std::to_string(row);
    return rows;
  }

  WorkDir work_{"vormi-front"};
  const std::filesystem::path& dir_ = work_.path();
};

}  // namespace vormi::test
