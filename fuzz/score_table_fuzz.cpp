// The score table under any file content. Invariants:
//
// 1. Whatever the file holds, the table read from it is written as five
//    well-formed lines: line k is the rank k, a tab, the score as a decimal
//    number without sign or leading zeros no greater than INT_MAX, three
//    tabs, a name of at most NAME_SIZE - 1 bytes with no NUL, CR or LF, and
//    a newline; nothing follows the fifth line.
// 2. Reading what was written gives the same table back, five entries, and
//    writing that gives the same text; its lowest score, read from the last
//    line, is the fifth entry's.
// 3. Inserting any score and name (any bytes) keeps the order and the tie
//    rule: the newcomer stands in front of the first entry whose score is
//    less than or equal to its own, the entries above it all score more, the
//    others keep their order with the last one dropped; a score below all
//    five changes nothing. A table in descending order stays so. The result
//    is written well-formed and reads back the same.
// 4. Every line as read, made safe for the screen, holds no control byte
//    other than tab and the final newline, no DEL and no C1 control.
// 5. A UTF-8 byte order mark put before the file changes nothing read from it.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "scores/score_table.h"
#include "text/utf8.h"

namespace vormi {
namespace {

// The file's start as the store hands it to the table: at most the first
// SCORE_TEXT_LIMIT bytes.
ScoreText& text_of(const std::string& bytes) {
  static ScoreText text;
  const int size = static_cast<int>(std::min<size_t>(bytes.size(), SCORE_TEXT_LIMIT));
  std::memcpy(text.bytes, bytes.data(), static_cast<size_t>(size));
  start_text(text, size);
  return text;
}

ScoreTable read_bytes(const std::string& bytes) {
  ScoreTable table;
  std::memset(&table, 0x5A, sizeof table);  // nothing may be left unset
  read_table(text_of(bytes), table);
  return table;
}

std::string written(const ScoreTable& table) {
  char text[TABLE_TEXT_SIZE];
  const int size = format_table(table, text, TABLE_TEXT_SIZE);
  FUZZ_REQUIRE(size >= 0 && size < TABLE_TEXT_SIZE, "format_table gave %d", size);
  return std::string(text, static_cast<size_t>(size));
}

bool same_entry(const ScoreTable& a, int i, const ScoreTable& b, int j) {
  return a.scores[i] == b.scores[j] && std::strncmp(a.names[i], b.names[j], NAME_SIZE) == 0;
}

bool same_table(const ScoreTable& a, const ScoreTable& b) {
  for (int k = 0; k < HIGH_SCORE_COUNT; ++k)
    if (!same_entry(a, k, b, k)) return false;
  return true;
}

void check_well_formed(const std::string& text) {
  size_t at = 0;
  for (int rank = 1; rank <= HIGH_SCORE_COUNT; ++rank) {
    const size_t end = text.find('\n', at);
    FUZZ_REQUIRE(end != std::string::npos, "line %d has no newline: [%s]", rank, text.c_str());
    const std::string line = text.substr(at, end - at);
    FUZZ_REQUIRE(line.size() >= 6 && line[0] == '0' + rank && line[1] == '\t',
                 "line %d: bad rank [%s]", rank, line.c_str());
    size_t digits = 2;
    long long value = 0;
    while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') {
      value = value * 10 + (line[digits] - '0');
      FUZZ_REQUIRE(value <= INT_MAX, "line %d: score beyond INT_MAX [%s]", rank, line.c_str());
      ++digits;
    }
    FUZZ_REQUIRE(digits > 2 && (line[2] != '0' || digits == 3), "line %d: bad score [%s]", rank,
                 line.c_str());
    FUZZ_REQUIRE(line.compare(digits, 3, "\t\t\t") == 0, "line %d: no three tabs [%s]", rank,
                 line.c_str());
    const std::string name = line.substr(digits + 3);
    FUZZ_REQUIRE(name.size() <= NAME_SIZE - 1, "line %d: name of %zu bytes", rank, name.size());
    FUZZ_REQUIRE(name.find_first_of(std::string("\r\0", 2)) == std::string::npos,
                 "line %d: CR or NUL in the name", rank);
    at = end + 1;
  }
  FUZZ_REQUIRE(at == text.size(), "text after the fifth line");
}

// Written well-formed, and reading that back gives the same table and text.
void check_round_trip(const ScoreTable& table) {
  const std::string text = written(table);
  check_well_formed(text);
  const ScoreTable again = read_bytes(text);
  FUZZ_REQUIRE(again.count == HIGH_SCORE_COUNT, "read back %d entries", again.count);
  FUZZ_REQUIRE(same_table(table, again), "read back differently:\n%s--\n%s", text.c_str(),
               written(again).c_str());
  FUZZ_REQUIRE(written(again) == text, "written differently the second time");
  const int lowest = last_line_score(text_of(text));
  FUZZ_REQUIRE(lowest == table.scores[HIGH_SCORE_COUNT - 1], "lowest score %d, fifth entry %d",
               lowest, table.scores[HIGH_SCORE_COUNT - 1]);
}

bool descending(const ScoreTable& table) {
  for (int k = 1; k < HIGH_SCORE_COUNT; ++k)
    if (table.scores[k] > table.scores[k - 1]) return false;
  return true;
}

void check_insert(const ScoreTable& before, int score, const std::string& name) {
  ScoreTable after = before;
  insert_score(after, score, name.c_str());
  int place = 0;
  while (place < HIGH_SCORE_COUNT && before.scores[place] > score) ++place;
  if (place == HIGH_SCORE_COUNT) {
    FUZZ_REQUIRE(same_table(before, after), "a score below all five changed the table");
    return;
  }
  FUZZ_REQUIRE(after.scores[place] == score, "the newcomer is not at rank %d", place + 1);
  // The name goes in as it would come back from the file: cut to a whole
  // character within NAME_SIZE - 1 bytes, line breaks made '?'.
  const size_t length = strnlen(after.names[place], NAME_SIZE);
  FUZZ_REQUIRE(length < NAME_SIZE, "the newcomer's name is not terminated");
  for (size_t i = 0; i < length; ++i) {
    const char expected = name[i] == '\n' || name[i] == '\r' ? '?' : name[i];
    FUZZ_REQUIRE(after.names[place][i] == expected, "the newcomer's name changed at %zu", i);
  }
  FUZZ_REQUIRE(length == name.size() || length + 4 > NAME_SIZE - 1,
               "the name was cut to %zu of %zu bytes", length, name.size());
  for (int k = 0; k < HIGH_SCORE_COUNT; ++k) {
    if (k < place) {
      FUZZ_REQUIRE(same_entry(after, k, before, k), "an entry above the newcomer moved");
      FUZZ_REQUIRE(after.scores[k] > score, "an entry above the newcomer scores %d <= %d",
                   after.scores[k], score);
    } else if (k > place) {
      FUZZ_REQUIRE(same_entry(after, k, before, k - 1), "an entry below the newcomer moved");
    }
  }
  if (place + 1 < HIGH_SCORE_COUNT)
    FUZZ_REQUIRE(after.scores[place + 1] <= score, "tie rule: the newcomer below an equal score");
  if (descending(before)) FUZZ_REQUIRE(descending(after), "insertion broke the order");
  check_round_trip(after);
}

bool is_c1(const unsigned char* bytes, int size) {
  return size >= 2 && bytes[0] == 0xC2 && bytes[1] >= 0x80 && bytes[1] <= 0x9F;
}

void check_safe_lines(const std::string& bytes) {
  ScoreText& text = text_of(bytes);
  char line[LINE_LIMIT];
  for (;;) {
    const int length = read_score_line(text, line);
    if (length == 0) break;
    FUZZ_REQUIRE(length < LINE_LIMIT && line[length] == '\0', "line of %d characters", length);
    char safe[LINE_LIMIT];
    const int size = sanitize_line(line, length, safe);
    FUZZ_REQUIRE(size >= 0 && size <= length && safe[size] == '\0', "made safe: %d", size);
    const auto* out = reinterpret_cast<const unsigned char*>(safe);
    for (int i = 0; i < size;) {
      const unsigned char byte = out[i];
      if (byte < 0x20 || byte == 0x7F) {
        FUZZ_REQUIRE(byte == '\t' || (byte == '\n' && i == size - 1), "control byte %#x shown",
                     byte);
        ++i;
        continue;
      }
      if (byte < 0x80) {
        ++i;
        continue;
      }
      const int character = utf8_char_length(out + i, size - i);
      FUZZ_REQUIRE(!is_c1(out + i, size - i), "C1 control shown as UTF-8");
      FUZZ_REQUIRE(character > 0 || byte > 0x9F, "lone byte %#x shown", byte);
      i += character > 0 ? character : 1;
    }
  }
}

const std::string BYTE_ORDER_MARK = "\xEF\xBB\xBF";

void check_byte_order_mark(const std::string& file, const ScoreTable& table) {
  // A file that has one already, or whose end the mark would push past the
  // bytes read, reads differently by right.
  if (file.compare(0, 3, BYTE_ORDER_MARK) == 0 || file.size() + 3 > SCORE_TEXT_LIMIT) return;
  const std::string marked = BYTE_ORDER_MARK + file;
  FUZZ_REQUIRE(same_table(read_bytes(marked), table), "the byte order mark changed the table");
  FUZZ_REQUIRE(last_line_score(text_of(marked)) == last_line_score(text_of(file)),
               "the byte order mark changed the lowest score");
}

}  // namespace
}  // namespace vormi

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vormi;
  FuzzedDataProvider input(data, size);
  // Scores are never negative; small ones meet the table's own often
  // enough to try the ties.
  const int score = input.ConsumeIntegralInRange(0, INT_MAX);
  const bool low_score = input.ConsumeBool();
  std::string name = input.ConsumeRandomLengthString(32);
  name = name.substr(0, name.find('\0'));  // the name comes as a C string
  const std::string file = input.ConsumeRemainingBytesAsString();

  const ScoreTable table = read_bytes(file);
  FUZZ_REQUIRE(table.count >= 0 && table.count <= HIGH_SCORE_COUNT, "count %d", table.count);
  for (int k = 0; k < HIGH_SCORE_COUNT; ++k)
    FUZZ_REQUIRE(table.scores[k] >= 0, "score %d read as %d", k + 1, table.scores[k]);
  check_round_trip(table);
  check_insert(table, low_score ? (score & 0xFF) : score, name);
  check_safe_lines(file);
  check_byte_order_mark(file, table);
  return 0;
}
