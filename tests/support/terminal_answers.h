// The kinds of terminal the tests script, by how they answer the console's
// start-up query (keyboard enhancement flags, mode 2026, device attributes).
#pragma once

#include <ostream>
#include <string>

namespace vormi::test {

enum class TerminalAnswers {
  KEYBOARD_AND_SYNC,  // the keyboard enhancement protocol and mode 2026
  SYNC_ONLY,          // mode 2026 without the keyboard protocol
  ATTRIBUTES_ONLY,    // only the device attributes, as every terminal answers
  NOTHING,            // no reply at all
};

// The query ends with the request for the attributes, which is answered last.
constexpr char ATTRIBUTES_QUERY[] = "\x1b[c";

// The replies a terminal of that kind gives to the whole query, in order.
inline std::string replies_of(TerminalAnswers answers) {
  switch (answers) {
    case TerminalAnswers::KEYBOARD_AND_SYNC: return "\x1b[?0u\x1b[?2026;2$y\x1b[?62;22c";
    case TerminalAnswers::SYNC_ONLY: return "\x1b[?2026;2$y\x1b[?62;22c";
    case TerminalAnswers::ATTRIBUTES_ONLY: return "\x1b[?62;22c";
    case TerminalAnswers::NOTHING: break;
  }
  return "";
}

inline const char* name_of(TerminalAnswers answers) {
  switch (answers) {
    case TerminalAnswers::KEYBOARD_AND_SYNC: return "KeyboardAndSync";
    case TerminalAnswers::SYNC_ONLY: return "SyncOnly";
    case TerminalAnswers::ATTRIBUTES_ONLY: return "AttributesOnly";
    case TerminalAnswers::NOTHING: break;
  }
  return "Nothing";
}

inline bool has_keyboard_protocol(TerminalAnswers answers) {
  return answers == TerminalAnswers::KEYBOARD_AND_SYNC;
}

inline bool has_sync_output(TerminalAnswers answers) {
  return answers == TerminalAnswers::KEYBOARD_AND_SYNC || answers == TerminalAnswers::SYNC_ONLY;
}

// What the program sends to switch the screen modes off, on every way out and
// before a stop: a whole frame's end first where mode 2026 is in use.
inline std::string screen_modes_off(TerminalAnswers answers) {
  return std::string(has_sync_output(answers) ? "\x1b[?2026l" : "") +
         (has_keyboard_protocol(answers) ? "\x1b[<u" : "") + "\x1b[?1049l";
}

inline void PrintTo(TerminalAnswers answers, std::ostream* out) { *out << name_of(answers); }

}  // namespace vormi::test
