// The generator, the calendar second and lower-casing, with the exact results
// the game's draws and prompts depend on.
#include "console/console_random.h"

#include "console/device/device.h"

namespace vormi {

namespace {

uint32_t seed = 1;

}  // namespace

int game_random_draw() {
  seed = seed * 22695477u + 1u;  // unsigned: wraps modulo 2^32
  return static_cast<int>((seed >> 16) & 0x7FFFu);
}

void seed_game_random(uint32_t new_seed) {
  seed = new_seed;
  game_random_draw();  // the first value after seeding is thrown away
}

// Rounded down, so a moment before 1970 is not rounded up into it. Outside 32
// bits the low bits are kept: a value stuck at -1 would give the food the same
// seed for ever, and an occupied cell would never clear.
int32_t calendar_second_at(int64_t ms) {
  const int64_t second = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(second)));
}

int32_t calendar_second() { return calendar_second_at(device_calendar_ms()); }

int lower_case_byte(int c) {
  if (c == -1) return -1;
  const int low = c & 0xFF;
  return (low >= 'A' && low <= 'Z') ? low + 32 : low;
}

}  // namespace vormi
