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

// The whole second a calendar reading in milliseconds lies in, rounded down
// before 1970 too, so a millisecond belongs to its own second.
int64_t second_of_ms(int64_t ms);
// A second as calendar_second gives it: its low 32 bits.
int32_t wrapped_second(int64_t second);

}  // namespace vormi
