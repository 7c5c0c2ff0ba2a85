// The store's times in milliseconds: a clock's reading, and when a file was
// last changed, whatever the system calls the field.
#pragma once

#include <time.h>

#include <cstdint>

struct stat;

namespace vormi {

// A time in milliseconds, rounded down (before 1970 too: tv_nsec is never negative).
inline int64_t milliseconds_of(const timespec& time) {
  return static_cast<int64_t>(time.tv_sec) * 1000 + time.tv_nsec / 1000000;
}

// The time of last change in info, in milliseconds since 1970-01-01 UTC.
int64_t file_changed_ms(const struct stat& info);

}  // namespace vormi
