// Runs the real program with its calendar clock stopped at one second, so the
// first food always falls on the same cell; the millisecond clock runs on, so
// steps keep their real pace. Needs libfaketime (Debian package faketime).
#pragma once

#include <glob.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace vormi::test {

// The second the calendar stands at: its first food lies at (37, 7), off row 10.
inline const char* const FROZEN_CALENDAR = "2026-01-01 00:00:00";

inline std::string faketime_library() {
  glob_t found{};
  std::string path;
  if (glob("/usr/lib/*/faketime/libfaketime.so.1", 0, nullptr, &found) == 0) path = found.gl_pathv[0];
  else if (glob("/usr/lib/faketime/libfaketime.so.1", 0, nullptr, &found) == 0) path = found.gl_pathv[0];
  globfree(&found);
  return path;
}

// The command line that starts program under the frozen calendar; empty when
// libfaketime is missing.
inline std::vector<std::string> with_frozen_calendar(const std::string& program) {
  const std::string library = faketime_library();
  if (library.empty()) return {};
  // AddressSanitizer wants to be the first library loaded; the preload comes first.
  const char* asan = std::getenv("ASAN_OPTIONS");
  std::string asan_options = std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0";
  return {"/usr/bin/env",
          "LD_PRELOAD=" + library,
          // The frozen time is read in the local zone: fixed, so is the second.
          "TZ=UTC",
          std::string("FAKETIME=") + FROZEN_CALENDAR,
          "FAKETIME_DONT_FAKE_MONOTONIC=1",
          "ASAN_OPTIONS=" + asan_options,
          program};
}

}  // namespace vormi::test
