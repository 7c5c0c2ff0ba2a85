// The output translation under any text at any position, checked against
// libvterm fed the same bytes. The input picks a screen size and a locale
// (UTF-8 or not), then a run of operations: prints of any bytes, gotos
// (inside the screen or not), clears and whole-screen repaints. Invariants:
//
// 1. The terminal is sent only printable characters (ASCII 0x20 to 0x7E,
//    and in UTF-8 whole characters from U+00A0 up; nothing beyond ASCII
//    outside UTF-8), CR, LF, BEL, BS, and the sequences the console means:
//    ESC [ 2 J, cursor positions inside the screen (ESC [ H, ESC [ y H,
//    ESC [ y ; x H) and relative moves (ESC [ n A, B, C, D). A goto sends no
//    more than its absolute move, and nothing when it is outside the screen;
//    a clear sends ESC [ 2 J ESC [ H.
// 2. After every operation the cursor the translation tracks is where
//    libvterm has its cursor after the same bytes.
// 3. A repaint from the copy (clear, every row, the cursor), as after a
//    resume, leaves the screen showing what it showed before.
//
// Where libvterm 0.1.4 is not what terminals do, the comparison allows for
// it: a character written over half of a wide one erases the whole wide
// character on a terminal, while libvterm keeps the other half (read here
// as the blank a terminal shows); and the screen is at least 3 columns wide
// (see below).
//
// Character widths: the translation takes the terminal's widths as the C
// library (wcwidth in a UTF-8 locale) gives them; libvterm 0.1.4 has its own
// table of an older Unicode (some 900 ranges differ: marks added since,
// newer emoji, unassigned code points). For each character the first time
// it comes:
//  - one the C library knows as printable must be sent as itself;
//  - sent as itself, its width in the translation must be libvterm's, or the
//    C library's where libvterm's differs: then libvterm is the one behind,
//    and the character is printed as '?' in the comparison from then on;
//  - one the C library does not know may be sent as a stand-in, which the
//    byte and cursor checks then cover like any other.
#include <fuzzer/FuzzedDataProvider.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <unordered_map>

#include "console/screen/output.h"
#include "fuzz_check.h"
#include "support/screen.h"
#include "text/utf8.h"

namespace vormi {
namespace {

// Far from the maximum: libvterm is built afresh for every input.
constexpr int MAX_COLUMNS = 132;
constexpr int MAX_ROWS = 50;
constexpr int PRINT_LIMIT = 2047;  // the longest print the console makes

ScreenShadow shadow;
ScreenShadow probe_shadow;
OutputBuffer out;

std::string sent() { return std::string(out.data, static_cast<size_t>(out.size)); }

// How far the cursor moves over a character after an 'a', and what is sent
// for it, in the translation.
int translation_width(const std::string& character, std::string& sent_for_it) {
  shadow_reset(probe_shadow, 10, 2, true);
  output_clear(out);
  const std::string text = "a" + character;
  translate_text(probe_shadow, text.data(), static_cast<int>(text.size()), out);
  sent_for_it = sent().substr(1);
  return probe_shadow.cursor_x - 2;
}

int vterm_width(const std::string& character) {
  static test::Screen probe(10, 2);
  probe.feed("\x1b[2J\x1b[Ha" + character);
  return probe.cursor_x() - 2;
}

// The text with every character on whose width libvterm is behind the C
// library made '?'. A character the C library knows as printable must be
// sent as itself, with the C library's width or libvterm's; one it does
// not know may be replaced, but if sent it must take libvterm's width.
std::string comparable(const std::string& text) {
  static std::unordered_map<int, bool> behind;
  std::string result;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const int size = static_cast<int>(text.size());
  for (int i = 0; i < size;) {
    int code = 0;
    const int length = bytes[i] >= 0x80 ? utf8_char_length(bytes + i, size - i, &code) : 0;
    if (length == 0 || code < 0xA0) {
      result += text[i++];
      continue;
    }
    const std::string character = text.substr(static_cast<size_t>(i), static_cast<size_t>(length));
    auto known = behind.find(code);
    if (known == behind.end()) {
      std::string sent_for_it;
      const int ours = translation_width(character, sent_for_it);
      const int theirs = vterm_width(character);
      const int library = wcwidth(static_cast<wchar_t>(code));
      const bool itself = sent_for_it == character;
      FUZZ_REQUIRE(itself || library < 0, "U+%04X, printable, sent as [%s]", code,
                   sent_for_it.c_str());
      FUZZ_REQUIRE(!itself || ours == theirs || (library >= 0 && ours == library),
                   "width of U+%04X: translation %d, libvterm %d, C library %d", code, ours, theirs,
                   library);
      known = behind.emplace(code, itself && ours != theirs).first;
    }
    result += known->second ? std::string("?") : character;
    i += length;
  }
  return result;
}

// Reads "ESC [ ..." at text[i]; returns its length, 0 when it is not one the
// console sends.
// Reads up to four digits at text[at]; -1 when there are none.
int number_at(const std::string& text, size_t& at) {
  const size_t first = at;
  int number = 0;
  while (at < text.size() && at - first < 4 && text[at] >= '0' && text[at] <= '9')
    number = number * 10 + (text[at++] - '0');
  return at == first ? -1 : number;
}

// The length of the sequence the console means to send at text[i], 0 for
// any other: erase display; a cursor position inside the screen (ESC [ H,
// ESC [ row H, ESC [ row ; column H); a relative move (ESC [ n A/B/C/D, n
// from 1, or none for one column forward).
size_t known_sequence(const std::string& text, size_t i) {
  if (text.compare(i, 2, "\x1b[") != 0) return 0;
  if (text.compare(i, 4, "\x1b[2J") == 0) return 4;
  size_t at = i + 2;
  const int first = number_at(text, at);
  if (at == text.size()) return 0;
  const char final = text[at];
  if (final == 'C' && first == -1) return at + 1 - i;
  if ((final == 'A' || final == 'B' || final == 'C' || final == 'D') && first >= 1)
    return at + 1 - i;
  int row = first == -1 ? 1 : first;
  int column = 1;
  if (final == ';' && first >= 1) {
    ++at;
    column = number_at(text, at);
    if (at == text.size() || text[at] != 'H' || column < 1) return 0;
  } else if (final != 'H') {
    return 0;
  }
  const bool inside = row >= 1 && row <= shadow.rows && column >= 1 && column <= shadow.columns;
  return inside ? at + 1 - i : 0;
}

void check_sent(const std::string& text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  for (size_t i = 0; i < text.size();) {
    const unsigned char byte = bytes[i];
    size_t length = 1;
    if (byte == 0x1B) {
      length = known_sequence(text, i);
    } else if (byte < 0x20 || byte == 0x7F) {
      length = byte == '\r' || byte == '\n' || byte == '\a' || byte == '\b' ? 1 : 0;
    } else if (byte >= 0x80) {
      int code = 0;
      length = shadow.utf8 ? static_cast<size_t>(utf8_char_length(
                                 bytes + i, static_cast<int>(text.size() - i), &code))
                           : 0;
      if (code < 0xA0) length = 0;
    }
    FUZZ_REQUIRE(length > 0, "sent byte %#x at %zu of [%s]", byte, i, text.c_str());
    i += length;
  }
}

void check_cursor(const test::Screen& screen, const char* after) {
  FUZZ_REQUIRE(shadow.cursor_x == screen.cursor_x() && shadow.cursor_y == screen.cursor_y(),
               "after %s the translation has the cursor at (%d,%d), libvterm at (%d,%d)", after,
               shadow.cursor_x, shadow.cursor_y, screen.cursor_x(), screen.cursor_y());
}

void send(test::Screen& screen, const char* after) {
  const std::string bytes = sent();
  if (std::getenv("FUZZ_TRACE") != nullptr) {  // to follow a finding step by step
    std::fprintf(stderr, "%s sends:", after);
    for (unsigned char byte : bytes)
      std::fprintf(stderr, byte >= 0x20 && byte < 0x7F ? "%c" : "\\x%02x", byte);
    std::fprintf(stderr, "\n");
  }
  check_sent(bytes);
  screen.feed(bytes);
  check_cursor(screen, after);
}

void print(test::Screen& screen, const std::string& text) {
  const std::string shown = shadow.utf8 ? comparable(text) : text;
  output_clear(out);
  translate_text(shadow, shown.data(), static_cast<int>(shown.size()), out);
  send(screen, "a print");
}

void go_to(test::Screen& screen, int x, int y) {
  output_clear(out);
  const bool moved = translate_goto(shadow, x, y, out);
  const bool inside = x >= 1 && x <= shadow.columns && y >= 1 && y <= shadow.rows;
  // Never more than the absolute move; where the cursor lands is checked
  // against libvterm below.
  const std::string move = "\x1b[" + std::to_string(y) + ";" + std::to_string(x) + "H";
  FUZZ_REQUIRE(moved == inside && (inside ? sent().size() <= move.size() : sent().empty()),
               "goto %d,%d sent [%s]", x, y, sent().c_str());
  send(screen, "a goto");
}

void clear(test::Screen& screen) {
  output_clear(out);
  translate_clear(shadow, out);
  FUZZ_REQUIRE(sent() == "\x1b[2J\x1b[H", "clear sent [%s]", sent().c_str());
  send(screen, "a clear");
}

// The screen as a terminal shows it. A character written over one half of a
// wide character erases the whole of it; libvterm 0.1.4 keeps the other half
// (a wide character with its right half written over, or a right half with
// no left), which is read here as the blank a terminal shows.
std::string shown(const test::Screen& screen) {
  std::string text;
  for (int y = 1; y <= screen.rows(); ++y) {
    std::string row;
    bool in_wide = false;
    for (int x = 1; x <= screen.columns(); ++x) {
      const std::string cell = screen.cell(x, y);
      if (cell.empty()) {
        row += in_wide ? "" : " ";
        in_wide = false;
      } else if (vterm_width(cell) == 2) {
        in_wide = screen.cell(x + 1, y).empty();
        row += in_wide ? cell : " ";
      } else {
        row += cell;
        in_wide = false;
      }
    }
    while (!row.empty() && row.back() == ' ') row.pop_back();
    text += row + "\n";
  }
  return text;
}

// The whole screen drawn again from the copy, as after a resume: the
// terminal shows what it showed before.
void repaint(test::Screen& screen) {
  const std::string before = shown(screen);
  output_clear(out);
  output_append(out, "\x1b[2J", 4);
  for (int y = 1; y <= shadow.rows; ++y) repaint_row(shadow, y, out);
  repaint_cursor(shadow, out);
  send(screen, "a repaint");
  FUZZ_REQUIRE(shown(screen) == before, "the repaint changed the screen:\n%s--\n%s", before.c_str(),
               shown(screen).c_str());
}

}  // namespace
}  // namespace vormi

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::setlocale(LC_CTYPE, "C.UTF-8");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vormi;
  FuzzedDataProvider input(data, size);
  // Three columns at least (the console never runs below 80): libvterm 0.1.4
  // crashes on a wide character in a terminal of one column, and in one of
  // two a wide character filling the row leaves its wrap pending through a
  // carriage return, so the next character scrolls the screen.
  const int columns = input.ConsumeIntegralInRange(3, MAX_COLUMNS);
  const int rows = input.ConsumeIntegralInRange(1, MAX_ROWS);
  const bool utf8 = input.ConsumeIntegralInRange(0, 7) != 0;
  if (std::getenv("FUZZ_TRACE") != nullptr)
    std::fprintf(stderr, "%d x %d, %s\n", columns, rows, utf8 ? "UTF-8" : "not UTF-8");
  shadow_reset(shadow, columns, rows, utf8);
  test::Screen screen(columns, rows);
  // The terminal starts blank with its cursor home, as the copy does.
  while (input.remaining_bytes() > 0) {
    switch (input.ConsumeIntegralInRange(0, 7)) {
      case 0:
        go_to(screen, input.ConsumeIntegralInRange(-1, columns + 1),
              input.ConsumeIntegralInRange(-1, rows + 1));
        break;
      case 1: clear(screen); break;
      case 2: repaint(screen); break;
      default: print(screen, input.ConsumeRandomLengthString(PRINT_LIMIT)); break;
    }
  }
  return 0;
}
