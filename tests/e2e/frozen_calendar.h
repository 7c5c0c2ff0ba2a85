// Runs the real program with its calendar clock stopped at one second, so the
// first food always falls on the same cell; the millisecond clock runs on, so
// steps keep their real pace. Needs libfaketime (Debian package faketime),
// which the build looks for.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

namespace vormi::test {

// The second the calendar stands at: its first food lies at (37, 7), off row 10.
inline const char* const FROZEN_CALENDAR = "2026-01-01 00:00:00";

// libfaketime as the build found it; empty when it is missing.
inline std::string faketime_library() { return FAKETIME_LIBRARY; }

// The command line that starts program under the frozen calendar; empty when
// libfaketime is missing.
inline std::vector<std::string> with_frozen_calendar(const std::string& program) {
  const std::string library = faketime_library();
  if (library.empty()) return {};
  // AddressSanitizer wants to be the first library loaded; the preload comes first.
  const char* asan = std::getenv("ASAN_OPTIONS");
  std::string asan_options = std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0";
  return {"/usr/bin/env", "LD_PRELOAD=" + library,
          // The frozen time is read in the local zone: fixed, so is the second.
          "TZ=UTC", std::string("FAKETIME=") + FROZEN_CALENDAR, "FAKETIME_DONT_FAKE_MONOTONIC=1",
          "ASAN_OPTIONS=" + asan_options, program};
}

// The same, with the calendar standing at the second (since 1970) that file
// holds, read anew at every reading: a test moves it on by replacing the file.
inline std::vector<std::string> with_calendar_file(const std::string& program,
                                                   const std::string& file) {
  std::vector<std::string> command = with_frozen_calendar(program);
  for (std::string& entry : command)
    if (entry.rfind("FAKETIME=", 0) == 0) entry = "FAKETIME_TIMESTAMP_FILE=" + file;
  if (!command.empty())
    command.insert(command.end() - 1, {"FAKETIME_NO_CACHE=1", "FAKETIME_FMT=%s"});
  return command;
}

}  // namespace vormi::test
