// The generator, lower-casing, the calendar clock and the start-up checks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>

#include "console/console.h"
#include "console/console_random.h"
#include "fake/fake_terminal.h"

namespace vormi {
namespace {

TEST(RandomTest, SeedingThrowsTheFirstValueAway) {
  seed_game_random(0);
  EXPECT_EQ(game_random_draw(), 346);
  EXPECT_EQ(game_random_draw(), 130);
  EXPECT_EQ(game_random_draw(), 10982);
  seed_game_random(1);
  EXPECT_EQ(game_random_draw(), 130);
  EXPECT_EQ(game_random_draw(), 10982);
  EXPECT_EQ(game_random_draw(), 1090);
}

TEST(RandomTest, SameSeedSameValuesAndAlwaysInRange) {
  seed_game_random(1700000000u);
  const int first = game_random_draw();
  seed_game_random(1700000000u);
  EXPECT_EQ(game_random_draw(), first);
  seed_game_random(0xFFFFFFFFu);
  for (int i = 0; i < 100000; ++i) {
    const int value = game_random_draw();
    ASSERT_GE(value, 0);
    ASSERT_LE(value, 32767);
  }
}

TEST(RandomTest, StartSeedsWithOne) {
  fake::reset();
  game_random_draw();
  game_random_draw();
  fake::reset();
  EXPECT_EQ(game_random_draw(), 130);
}

TEST(ToLowerTest, OnlyTheLowEightBitsAndOnlyAToZ) {
  const int cases[][2] = {{'Y', 'y'}, {'y', 'y'}, {13, 13},     {-1, -1},  {'A', 'a'},  {'Z', 'z'},
                          {'@', '@'}, {'[', '['}, {0x141, 'a'}, {-2, 254}, {0xC9, 0xC9}};
  for (const auto& c : cases) EXPECT_EQ(lower_case_byte(c[0]), c[1]) << c[0];
}

TEST(TimeTest, WholeSecondsOfTheCalendar) {
  fake::reset(80, 25, true, 1700000000);
  EXPECT_EQ(calendar_second(), 1700000000);
  fake::advance(999);
  EXPECT_EQ(calendar_second(), 1700000000);
  fake::advance(1);
  EXPECT_EQ(calendar_second(), 1700000001);
  fake::set_calendar(0x7FFFFFFF);
  EXPECT_EQ(calendar_second(), 0x7FFFFFFF);
  // Outside 32 bits the value wraps and still changes every second, so the
  // food's seed keeps changing after 2038 as before.
  fake::set_calendar(int64_t{1} << 31);
  EXPECT_EQ(calendar_second(), INT32_MIN);
  fake::advance(1000);
  EXPECT_EQ(calendar_second(), INT32_MIN + 1);
  fake::set_calendar(-5);
  EXPECT_EQ(calendar_second(), -5);
  fake::advance(1000);
  EXPECT_EQ(calendar_second(), -4);
}

TEST(TimeTest, WaitNextSecondWaitsForTheSecondToChange) {
  fake::reset(80, 25, true, 1700000000);
  fake::advance(300);
  console_wait_past_second(calendar_second());
  EXPECT_EQ(calendar_second(), 1700000001);
  EXPECT_EQ(fake::now(), 1000u);
  // Keys typed meanwhile do not end it; read as they come, an Esc and an
  // arrow 200 ms after it stay two keys.
  fake::type_at(1200, "x");
  fake::type_at(1300, "\x1b");
  fake::type_at(1500, "\x1b[D");
  console_wait_past_second(calendar_second());
  EXPECT_EQ(fake::now(), 2000u);
  for (int code : {int{'x'}, KEY_ESC, 0, KEY_LEFT}) EXPECT_EQ(console_read_key(), code);
  // Before 1970 too.
  fake::set_calendar(-10);
  console_wait_past_second(calendar_second());
  EXPECT_EQ(fake::now(), 3000u);
}

// A terminal too small is refused with its size in the reason, and nothing
// is drawn on it; the program's entry ends the program.
TEST(StartTest, TooSmallTerminalIsRefusedDrawingNothing) {
  for (const auto& [columns, rows, size] : {std::tuple{79, 24, "79"}, std::tuple{80, 23, "23"}}) {
    fake::reset(columns, rows);
    EXPECT_EQ(fake::startup_output(), "");
    char why[128] = "";
    EXPECT_FALSE(console_start(why, sizeof why));
    EXPECT_NE(std::string(why).find(size), std::string::npos) << why;
  }
  fake::reset();
}

TEST(StartTest, EightyByTwentyFourIsEnough) {
  fake::reset(80, 24);
  console_goto(80, 24);
  console_print("%c", 0xFE);
  EXPECT_EQ(fake::screen().cell(80, 24), "\xE2\x96\xA0");
  fake::reset();
}

}  // namespace
}  // namespace vormi
