// The columns a character takes: the same answer on every system, so a name
// typed with wide characters or marks lays out alike on Linux and Windows.
#include <gtest/gtest.h>

#include "text/char_width.h"

namespace vormi {
namespace {

TEST(CharColumns, AgreeOnEverySystem) {
  // clang-format off
  const struct {
    int code;
    int columns;
  } cases[] = {
      {'A', 1},     {0x07, -1},    {0x7F, -1},    {0x85, -1},    {0xD800, -1},  {0x110000, -1},
      {0xE9, 1},    {0x2592, 1},   {0x25A0, 1},   {0x20AC, 1},   {0x303F, 1},   {0xA4D0, 1},
      {0x0301, 0},  {0x0C00, 0},   {0x200B, 0},   {0x1160, 0},   {0x3099, 0},   {0xFE0F, 0},
      {0xE0100, 0}, {0x1100, 2},   {0x3000, 2},   {0x4E2D, 2},   {0xAC00, 2},   {0xFF21, 2},
      {0x4DC0, 2},  {0x1F680, 2},  {0x20000, 2},  {0x30000, 2},
  };
  // clang-format on
  for (const auto& c : cases) EXPECT_EQ(char_columns(c.code), c.columns) << std::hex << c.code;
}

}  // namespace
}  // namespace vormi
