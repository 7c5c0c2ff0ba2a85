// The game's own generator, calendar second and lower-casing, with the exact
// results the food's place and the exit prompt depend on.
#pragma once

#include <cstdint>

namespace vormi {

// Seeds the game's pseudo-random generator (seed * 22695477 + 1 modulo 2^32)
// and throws its first value away.
void seed_game_random(uint32_t seed);
// The generator's next value, 0 to 32767: bits 16 to 30 of the new seed.
int game_random_draw();
// The calendar time in whole seconds since 1970 UTC. Beyond the range of 32
// bits it wraps, so it still changes every second.
int32_t calendar_second();
// -1 stays -1; of any other value only the low 8 bits count, and A-Z become a-z.
int lower_case_byte(int c);

// The second of a calendar reading in milliseconds, as calendar_second gives it.
int32_t calendar_second_at(int64_t ms);

}  // namespace vormi
