// The kinds of terminal the tests script, by how they answer the console's
// start-up query (keyboard enhancement flags, mode 2026, device attributes).
#pragma once

#include <ostream>
#include <string>

namespace vormi::test {

enum class TerminalAnswers {
  KEYBOARD_AND_SYNC,  // the keyboard enhancement protocol and mode 2026
  ATTRIBUTES_ONLY,    // only the device attributes, as every terminal answers
  NOTHING,            // no reply at all
};

// The query ends with the request for the attributes, which is answered last.
constexpr char ATTRIBUTES_QUERY[] = "\x1b[c";

// The replies a terminal of that kind gives to the whole query, in order.
inline std::string replies_of(TerminalAnswers answers) {
  switch (answers) {
    case TerminalAnswers::KEYBOARD_AND_SYNC:
      return "\x1b[?0u\x1b[?2026;2$y\x1b[?62;22c";
    case TerminalAnswers::ATTRIBUTES_ONLY:
      return "\x1b[?62;22c";
    case TerminalAnswers::NOTHING:
      break;
  }
  return "";
}

inline const char* name_of(TerminalAnswers answers) {
  switch (answers) {
    case TerminalAnswers::KEYBOARD_AND_SYNC:
      return "KeyboardAndSync";
    case TerminalAnswers::ATTRIBUTES_ONLY:
      return "AttributesOnly";
    case TerminalAnswers::NOTHING:
      break;
  }
  return "Nothing";
}

inline void PrintTo(TerminalAnswers answers, std::ostream* out) { *out << name_of(answers); }

}  // namespace vormi::test
