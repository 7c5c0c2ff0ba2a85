// The table in memory and the text of its file, whatever the file holds.
#include "scores/score_table.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "text/utf8.h"

namespace vormi {

namespace {

const char DEFAULT_NAME[] = "EMPTY";
// Some editors put one at the start of a UTF-8 file; it is no part of the first line.
const char BYTE_ORDER_MARK[] = "\xEF\xBB\xBF";

// The length of the score's run of characters, from the third character.
int score_run(const char* line, int length) {
  int n = 0;
  for (int k = 2; k < length && line[k] != '\t' && line[k] != '\n'; ++k) ++n;
  return n;
}

// Where a name of length bytes is cut to fit NAME_SIZE: not inside a UTF-8
// character that starts before the cut and would end after it.
int name_cut(const char* text, int length) {
  int cut = NAME_SIZE - 1;
  if (length <= cut) return length;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  for (int start = cut - 1; start >= 0 && start > cut - 4; --start) {
    if (!utf8_continuation(bytes[start])) {
      int size = bytes[start] >= 0xC0 ? utf8_char_length(bytes + start, length - start) : 0;
      return size > 0 && start + size > cut ? start : cut;
    }
  }
  return cut;
}

// The next byte of the text, or EOF, which marks the text as ended.
int next_byte(ScoreText& text) {
  if (text.at >= text.size) {
    text.ended = true;
    return EOF;
  }
  return static_cast<unsigned char>(text.bytes[text.at++]);
}

}  // namespace

void start_text(ScoreText& text, int size) {
  text.size = size < 0 ? 0 : size > SCORE_TEXT_LIMIT ? SCORE_TEXT_LIMIT : size;
  const int mark = sizeof BYTE_ORDER_MARK - 1;
  text.at = text.size >= mark && std::memcmp(text.bytes, BYTE_ORDER_MARK, mark) == 0 ? mark : 0;
  text.ended = false;
}

int read_score_line(ScoreText& text, char* line) {
  int n = 0;
  int c = 0;
  while (n < LINE_LIMIT - 1 && (c = next_byte(text)) != EOF) {
    line[n++] = c == 0 ? '?' : static_cast<char>(c);
    if (c == '\n') break;
  }
  if (n == 0) return 0;
  if (line[n - 1] == '\n') {
    if (n >= 2 && line[n - 2] == '\r') {
      --n;
      line[n - 1] = '\n';
    }
  } else if (n == LINE_LIMIT - 1) {
    // A CR LF that straddles the limit ends the line just as a lone LF there.
    bool line_end_next = line[n - 1] == '\r' && text.at < text.size && text.bytes[text.at] == '\n';
    while ((c = next_byte(text)) != EOF && c != '\n') {
    }
    if (line_end_next) line[n - 1] = '\n';
  }
  line[n] = '\0';
  return n;
}

int parse_score(const char* line, int length) {
  int n = score_run(line, length);
  // Place weights built from the left: total * 10 + digit is the same sum.
  // Once the total is outside int it cannot come back (a character moves it by
  // at most 207), so saturating each step keeps every in-range result exact.
  int64_t total = 0;
  for (int k = 2; k < 2 + n; ++k) {
    int digit = static_cast<unsigned char>(line[k]) - '0';
    total = total * 10 + digit;
    if (total > INT_MAX) total = INT_MAX;
    if (total < INT_MIN) total = INT_MIN;
  }
  // Scores are never negative; a file with a sign or other letters gives 0.
  return total < 0 ? 0 : static_cast<int>(total);
}

void copy_name(const char* text, int length, char* name) {
  int cut = name_cut(text, length);
  for (int k = 0; k < cut; ++k) name[k] = text[k] == '\n' || text[k] == '\r' ? '?' : text[k];
  std::memset(name + cut, 0, static_cast<size_t>(NAME_SIZE - cut));
}

void parse_name(const char* line, int length, char* name) {
  int start = score_run(line, length) + 5;
  int end = length > 0 && line[length - 1] == '\n' ? length - 1 : length;
  if (start >= end) {
    std::memset(name, 0, NAME_SIZE);
    return;
  }
  copy_name(line + start, end - start, name);
}

void default_table(ScoreTable& table) {
  for (int k = 0; k < HIGH_SCORE_COUNT; ++k) {
    table.scores[k] = 0;
    copy_name(DEFAULT_NAME, static_cast<int>(sizeof DEFAULT_NAME) - 1, table.names[k]);
  }
  table.count = 0;
}

bool blank_line(const char* line, int length) {
  for (int k = 0; k < length; ++k)
    if (line[k] != ' ' && line[k] != '\t' && line[k] != '\r' && line[k] != '\n') return false;
  return true;
}

void read_table(ScoreText& text, ScoreTable& table) {
  default_table(table);
  char line[LINE_LIMIT];
  while (table.count < HIGH_SCORE_COUNT) {
    int length = read_score_line(text, line);
    if (length == 0) break;
    if (blank_line(line, length)) continue;
    table.scores[table.count] = parse_score(line, length);
    parse_name(line, length, table.names[table.count]);
    ++table.count;
  }
}

int last_line_score(ScoreText& text) {
  char line[LINE_LIMIT] = "";
  char last[LINE_LIMIT] = "";
  int length = 0;
  // A read that meets the end leaves the line before it in place.
  while (!text.ended) {
    int got = read_score_line(text, line);
    if (got > 0 && !blank_line(line, got)) {
      std::memcpy(last, line, static_cast<size_t>(got) + 1);
      length = got;
    }
  }
  return parse_score(last, length);
}

bool insert_score(ScoreTable& table, int score, const char* name) {
  int place = 0;
  while (place < HIGH_SCORE_COUNT && table.scores[place] > score) ++place;
  if (place == HIGH_SCORE_COUNT) return false;
  for (int k = HIGH_SCORE_COUNT - 1; k > place; --k) {
    table.scores[k] = table.scores[k - 1];
    std::memcpy(table.names[k], table.names[k - 1], NAME_SIZE);
  }
  table.scores[place] = score;
  copy_name(name, static_cast<int>(strnlen(name, NAME_SIZE)), table.names[place]);
  return true;
}

int format_table(const ScoreTable& table, char* text, int capacity) {
  int used = 0;
  for (int k = 0; k < HIGH_SCORE_COUNT && used < capacity; ++k) {
    int wrote = std::snprintf(text + used, static_cast<size_t>(capacity - used), "%d\t%d\t\t\t%s\n",
                              k + 1, table.scores[k], table.names[k]);
    if (wrote < 0) break;
    used += wrote;
  }
  return used < capacity ? used : capacity - 1;
}

int sanitize_line(const char* line, int length, char* out) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(line);
  int used = 0;
  int k = 0;
  while (k < length) {
    unsigned char b = bytes[k];
    int size = 1;
    bool safe = true;
    if (b == '\n') {
      safe = k == length - 1;
    } else if (b < 0x20) {
      safe = b == '\t';
    } else if (b == 0x7F) {
      safe = false;
    } else if (b >= 0x80) {
      size = utf8_char_length(bytes + k, length - k);
      if (size == 0) {
        // A lone byte is drawn as its code page 437 character, except those a
        // terminal in an 8-bit character set would take for C1 controls.
        size = 1;
        safe = b > 0x9F;
      } else if (size == 2 && b == 0xC2 && bytes[k + 1] <= 0x9F) {
        safe = false;  // U+0080 to U+009F
      }
    }
    if (safe) {
      std::memcpy(out + used, line + k, static_cast<size_t>(size));
      used += size;
    } else {
      out[used++] = '?';
    }
    k += size;
  }
  out[used] = '\0';
  return used;
}

}  // namespace vormi
