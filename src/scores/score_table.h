// The high-score table in memory: reading lines of the file, taking entries
// out of them, inserting a new entry and writing the table out again.
#pragma once

namespace vormi {

constexpr int HIGH_SCORE_COUNT = 5;
constexpr int NAME_SIZE = 20;    // a name with its terminator
constexpr int LINE_LIMIT = 126;  // a line buffer with its terminator

struct ScoreTable {
  int scores[HIGH_SCORE_COUNT];
  char names[HIGH_SCORE_COUNT][NAME_SIZE];
  int count;  // entries taken from the file
};

// Room for the five lines the program writes: "%d\t%d\t\t\t%s\n" each.
constexpr int TABLE_TEXT_SIZE = HIGH_SCORE_COUNT * 40;
// Only the start of the file is read, so a file of any size reads at once.
constexpr int SCORE_TEXT_LIMIT = 64 * 1024;

// The start of the file as read, and a reading position in it.
struct ScoreText {
  char bytes[SCORE_TEXT_LIMIT];
  int size;
  int at;
  bool ended;  // a read has met the end of the text
};

// Makes the first size bytes of text.bytes the text, to be read from its
// start, past a UTF-8 byte order mark there.
void start_text(ScoreText& text, int size);

// Reads one line into line (capacity LINE_LIMIT): at most LINE_LIMIT - 1
// characters with the newline, then a terminator. The rest of a longer line is
// skipped, so it never comes back as a line of its own; a NUL byte reads as
// '?'; a CR right before the newline is part of the line end and is dropped.
// Returns the number of characters stored; 0 at the end of the text, leaving
// line as it was. Meeting the end sets text.ended; a line whose newline is
// the last byte does not.
int read_score_line(ScoreText& text, char* line);

// The score of a line: the characters from the third up to the next tab (or
// the end of the line), each weighted by its place as a decimal digit,
// clamped to 0 .. INT_MAX. A non-digit counts by its distance from '0' rather
// than being refused, so a damaged table reads to the scores the game has
// always read from it.
int parse_score(const char* line, int length);
// The name of a line: after the rank, its tab, the score and three tabs, up to
// the newline; cut to NAME_SIZE - 1 bytes, never inside a UTF-8 character.
void parse_name(const char* line, int length, char* name);
// Copies text into name (NAME_SIZE), cut as parse_name cuts; a newline or
// carriage return, which would break the file's lines, becomes '?'.
void copy_name(const char* text, int length, char* name);

// A table of the five default entries, none of them taken from a file.
void default_table(ScoreTable& table);
// Whether a line holds nothing but blanks before its line end: no entry.
bool blank_line(const char* line, int length);
// Reads up to five entries from text into table, blank lines passed by;
// positions the text does not fill keep the default entry.
void read_table(ScoreText& text, ScoreTable& table);
// The score on the last line of text that is not blank (0 when it has none).
int last_line_score(ScoreText& text);
// Puts the new entry in front of the first entry whose score is less than or
// equal to it; the entries below move down and the fifth leaves. A score
// below all five changes nothing and returns false.
bool insert_score(ScoreTable& table, int score, const char* name);
// The table as the file's lines, ranks 1 to 5. Returns the length.
int format_table(const ScoreTable& table, char* text, int capacity);

// A line of the file made safe to show: C0 controls other than tab and the
// final newline, DEL, C1 controls (U+0080 to U+009F in UTF-8, and lone bytes
// 0x80 to 0x9F that are not part of UTF-8) each become one '?'. out holds
// at least length + 1 bytes. Returns the length of out.
int sanitize_line(const char* line, int length, char* out);

}  // namespace vormi
