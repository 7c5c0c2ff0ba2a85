// The generator, the calendar clock and lower-casing, with the exact results
// the game's draws and prompts depend on.
#include <cstdint>

#include "console/console.h"
#include "console/device/terminal_device.h"

namespace vormi {

namespace {

uint32_t seed = 1;

}  // namespace

int rand() {
  seed = seed * 22695477u + 1u;  // unsigned: wraps modulo 2^32
  return static_cast<int>((seed >> 16) & 0x7FFFu);
}

void srand(uint32_t new_seed) {
  seed = new_seed;
  rand();  // the first value after seeding is thrown away
}

int32_t time(int32_t* out) {
  const int64_t ms = device_calendar_ms();
  // Floored, so a moment before 1970 is not rounded up into it.
  const int64_t seconds = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
  // Outside 32 bits the low bits are kept: a value stuck at -1 would give
  // the food the same seed for ever, and an occupied cell would never clear.
  const auto result = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(seconds)));
  if (out != nullptr) *out = result;
  return result;
}

int tolower(int c) {
  if (c == -1) return -1;
  const int low = c & 0xFF;
  return (low >= 'A' && low <= 'Z') ? low + 32 : low;
}

}  // namespace vormi
