// The store's times in milliseconds: a clock's reading, and when a file was
// last changed, whatever the system calls the field.
#pragma once

#include <cstdint>

struct stat;
struct timespec;

namespace vormi {

// A time in milliseconds, rounded down (before 1970 too: tv_nsec is never negative).
int64_t milliseconds_of(const timespec& time);

// The time of last change in info, in milliseconds since 1970-01-01 UTC.
int64_t file_changed_ms(const struct stat& info);

}  // namespace vormi
