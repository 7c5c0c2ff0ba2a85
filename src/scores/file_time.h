// When a file was last changed, whatever the system calls the field.
#pragma once

#include <cstdint>

struct stat;

namespace vormi {

// The time of last change in info, in milliseconds since 1970-01-01 UTC.
int64_t file_changed_ms(const struct stat& info);

}  // namespace vormi
