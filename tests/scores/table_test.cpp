// The table's text: parsing lines of any form, inserting entries, writing the
// lines out and making lines safe to show.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "scores/score_table.h"

namespace vormi {
namespace {

struct ScoreCase {
  const char* what;
  std::string line;
  int score;
  std::string name;
};

class LineParsing : public ::testing::TestWithParam<ScoreCase> {};

TEST_P(LineParsing, GivesScoreAndName) {
  const ScoreCase& c = GetParam();
  int length = static_cast<int>(c.line.size());
  EXPECT_EQ(parse_score(c.line.c_str(), length), c.score) << c.what;
  char name[NAME_SIZE];
  std::memset(name, 'x', sizeof name);
  parse_name(c.line.c_str(), length, name);
  EXPECT_EQ(std::string(name), c.name) << c.what;
  EXPECT_EQ(name[NAME_SIZE - 1], '\0') << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LineParsing,
    ::testing::Values(
        ScoreCase{"written line", "1\t500\t\t\tBob\n", 500, "Bob"},
        ScoreCase{"empty name", "3\t42\t\t\t\n", 42, ""},
        ScoreCase{"name with tabs and spaces", "2\t7\t\t\ta b\tc \n", 7, "a b\tc "},
        ScoreCase{"no final newline", "5\t9\t\t\tEve", 9, "Eve"},
        ScoreCase{"empty score run", "1\t\t\t\tX\n", 0, "X"},
        ScoreCase{"largest int", "1\t2147483647\t\t\tM\n", INT_MAX, "M"},
        ScoreCase{"one past int", "1\t2147483648\t\t\tM\n", INT_MAX, "M"},
        ScoreCase{"forty digits", "1\t" + std::string(40, '9') + "\t\t\tBig\n", INT_MAX, "Big"},
        ScoreCase{"letters weigh by place", "1\t12a\t\t\tL\n", 12 * 10 + ('a' - '0'), "L"},
        ScoreCase{"a sign gives no negative score", "1\t-5\t\t\tN\n", 0, "N"},
        ScoreCase{"two-character rank", "12\t5\t\t\tR\n", 0, "\t\tR"},
        ScoreCase{"no tab after the score", "1\t77\n", 77, ""},
        ScoreCase{"fewer tabs before the name", "1\t5\tabcdefgh\n", 5, "cdefgh"},
        ScoreCase{"empty line", "\n", 0, ""}, ScoreCase{"nothing", "", 0, ""},
        ScoreCase{"name of 19 with spaces", "1\t3\t\t\tname with 19 chars\n", 3,
                  "name with 19 chars"},
        ScoreCase{"name over 19 is cut", "1\t3\t\t\t" + std::string(30, 'n') + "\n", 3,
                  std::string(19, 'n')},
        ScoreCase{"cut never splits UTF-8",
                  "1\t3\t\t\t" + std::string(18, 'a') + "\xc3\xa9" + "z\n", 3,
                  std::string(18, 'a')},
        ScoreCase{"four-byte character at the cut",
                  "1\t3\t\t\t" + std::string(16, 'a') + "\xf0\x9f\x90\x8d\n", 3,
                  std::string(16, 'a')},
        ScoreCase{"character ending at the cut is kept",
                  "1\t3\t\t\t" + std::string(17, 'a') + "\xc3\xa9" + "z\n", 3,
                  std::string(17, 'a') + "\xc3\xa9"}),
    [](const auto& param) { return "case" + std::to_string(param.index); });

std::string table_text(const ScoreTable& table) {
  char text[TABLE_TEXT_SIZE];
  int size = format_table(table, text, TABLE_TEXT_SIZE);
  return std::string(text, static_cast<size_t>(size));
}

// The text as a reader gets it from a file of these bytes: its first 64 KiB.
void load(ScoreText& text, const std::string& bytes) {
  size_t size = std::min(bytes.size(), sizeof text.bytes);
  std::memcpy(text.bytes, bytes.data(), size);
  start_text(text, static_cast<int>(size));
}

ScoreTable table_from(const std::string& bytes) {
  ScoreText text;
  load(text, bytes);
  ScoreTable table;
  read_table(text, table);
  return table;
}

int last_score_of(const std::string& bytes) {
  ScoreText text;
  load(text, bytes);
  return last_line_score(text);
}

const std::string FIVE =
    "1\t50\t\t\tAnn\n2\t40\t\t\tBen\n3\t30\t\t\tCat\n4\t20\t\t\tDan\n5\t10\t\t\tEd\n";

TEST(TableText, DefaultTableIsTheSixtyByteFile) {
  ScoreTable table;
  default_table(table);
  std::string text = table_text(table);
  EXPECT_EQ(text,
            "1\t0\t\t\tEMPTY\n2\t0\t\t\tEMPTY\n3\t0\t\t\tEMPTY\n4\t0\t\t\tEMPTY\n"
            "5\t0\t\t\tEMPTY\n");
  EXPECT_EQ(text.size(), 60u);
}

struct InsertCase {
  const char* what;
  int score;
  const char* name;
  std::string expected;
};

class Insertion : public ::testing::TestWithParam<InsertCase> {};

TEST_P(Insertion, PlacesTheNewEntry) {
  const InsertCase& c = GetParam();
  ScoreTable table = table_from(FIVE);
  EXPECT_EQ(table.count, 5);
  insert_score(table, c.score, c.name);
  EXPECT_EQ(table_text(table), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Places, Insertion,
    ::testing::Values(InsertCase{"a tie ranks above the older entry", 30, "New",
                                 "1\t50\t\t\tAnn\n2\t40\t\t\tBen\n3\t30\t\t\tNew\n4\t30\t\t\tCat\n"
                                 "5\t20\t\t\tDan\n"},
                      InsertCase{"equal to the fifth enters at rank 5", 10, "New",
                                 "1\t50\t\t\tAnn\n2\t40\t\t\tBen\n3\t30\t\t\tCat\n4\t20\t\t\tDan\n"
                                 "5\t10\t\t\tNew\n"},
                      InsertCase{"above all enters at rank 1", 99, "Top",
                                 "1\t99\t\t\tTop\n2\t50\t\t\tAnn\n3\t40\t\t\tBen\n4\t30\t\t\tCat\n"
                                 "5\t20\t\t\tDan\n"},
                      InsertCase{"below all changes nothing", 5, "Low", FIVE},
                      InsertCase{"an empty name ends after the three tabs", 45, "",
                                 "1\t50\t\t\tAnn\n2\t45\t\t\t\n3\t40\t\t\tBen\n4\t30\t\t\tCat\n"
                                 "5\t20\t\t\tDan\n"}),
    [](const auto& param) { return "case" + std::to_string(param.index); });

TEST(TableText, ShortAndLongFilesGiveFiveEntries) {
  ScoreTable empty = table_from("");
  EXPECT_EQ(empty.count, 0);
  EXPECT_EQ(table_text(empty).size(), 60u);

  // The last line is taken once, however the reads meet the end of the file.
  ScoreTable two = table_from("1\t9\t\t\tA\n2\t8\t\t\tB");
  EXPECT_EQ(two.count, 2);
  insert_score(two, 1, "C");
  EXPECT_EQ(table_text(two),
            "1\t9\t\t\tA\n2\t8\t\t\tB\n3\t1\t\t\tC\n4\t0\t\t\tEMPTY\n5\t0\t\t\tEMPTY\n");

  ScoreTable seven = table_from(FIVE + "6\t5\t\t\tF\n7\t1\t\t\tG\n");
  EXPECT_EQ(seven.count, 5);
  EXPECT_EQ(table_text(seven), FIVE);
}

TEST(TableText, LongLineIsOneEntryAndNulBytesAreDefined) {
  std::string long_line = "1\t70\t\t\t" + std::string(300, 'L') + "\n";
  std::string nul_line = std::string("2\t6\t\t\ta\0b\n", 10);
  ScoreTable table = table_from(long_line + nul_line + "3\t5\t\t\tC\n");
  ASSERT_EQ(table.count, 3);
  EXPECT_EQ(table.scores[0], 70);
  EXPECT_EQ(std::string(table.names[0]), std::string(19, 'L'));
  EXPECT_EQ(table.scores[1], 6);
  EXPECT_EQ(std::string(table.names[1]), "a?b");
  EXPECT_EQ(table.scores[2], 5);
}

TEST(TableText, ReadLineTakesAtMost125Characters) {
  ScoreText text;
  load(text, std::string(200, 'x') + "\nnext\n");
  char line[LINE_LIMIT];
  EXPECT_EQ(read_score_line(text, line), LINE_LIMIT - 1);
  EXPECT_EQ(std::string(line), std::string(LINE_LIMIT - 1, 'x'));
  EXPECT_EQ(read_score_line(text, line), 5);
  EXPECT_EQ(std::string(line), "next\n");
  EXPECT_FALSE(text.ended);
  EXPECT_EQ(read_score_line(text, line), 0);
  EXPECT_EQ(std::string(line), "next\n");  // left as it was
  EXPECT_TRUE(text.ended);
}

// A file from a system with CR LF line ends reads as the same file with LF.
TEST(TableText, CarriageReturnBeforeTheNewlineIsPartOfTheLineEnd) {
  std::string crlf = FIVE;
  for (size_t at = crlf.find('\n'); at != std::string::npos; at = crlf.find('\n', at + 2))
    crlf.insert(at, "\r");
  EXPECT_EQ(table_text(table_from(crlf)), FIVE);
  EXPECT_EQ(last_score_of(crlf), 10);
  EXPECT_EQ(table_text(table_from("1\t77\r\n")).substr(0, 8), "1\t77\t\t\t\n");
  // Only right before the newline: elsewhere a CR stays in the name.
  EXPECT_EQ(std::string(table_from("1\t5\t\t\ta\rb\r\r\n").names[0]), "a?b?");
  // A CR LF that straddles the 125-character limit is still the line end.
  ScoreText text;
  load(text, std::string(LINE_LIMIT - 2, 'x') + "\r\nnext\n");
  char line[LINE_LIMIT];
  EXPECT_EQ(read_score_line(text, line), LINE_LIMIT - 1);
  EXPECT_EQ(std::string(line), std::string(LINE_LIMIT - 2, 'x') + "\n");
  EXPECT_EQ(read_score_line(text, line), 5);
}

TEST(TableText, LowestScoreIsOnTheLastLine) {
  EXPECT_EQ(last_score_of(FIVE), 10);
  EXPECT_EQ(last_score_of(FIVE + "6\t5\t\t\tF\n7\t3\t\t\tG\n"), 3);
  EXPECT_EQ(last_score_of("1\t9\t\t\tA\n2\t8\t\t\tB"), 8);  // no final newline
  EXPECT_EQ(last_score_of(""), 0);
  // Bytes past the first 64 KiB are not read: the line cut there is the last.
  std::string filler(SCORE_TEXT_LIMIT - 10, 'f');
  EXPECT_EQ(last_score_of(filler + "\n1\t42\t\t\tA\n2\t7\t\t\tB\n"), 42);
}

TEST(TableText, TypedNameCannotBreakTheFile) {
  ScoreTable table;
  default_table(table);
  insert_score(table, 5, "a\nb\rc");
  EXPECT_EQ(std::string(table.names[0]), "a?b?c");
}

struct SafeCase {
  const char* what;
  std::string line;
  std::string shown;
};

class Sanitizing : public ::testing::TestWithParam<SafeCase> {};

TEST_P(Sanitizing, LeavesNoControlForTheTerminal) {
  const SafeCase& c = GetParam();
  char out[LINE_LIMIT];
  int length = sanitize_line(c.line.data(), static_cast<int>(c.line.size()), out);
  EXPECT_EQ(std::string(out, static_cast<size_t>(length)), c.shown) << c.what;
  EXPECT_EQ(out[length], '\0');
}

INSTANTIATE_TEST_SUITE_P(
    Lines, Sanitizing,
    // clang-format off
    ::testing::Values(
        SafeCase{"plain line with tabs", "1\t0\t\t\tEMPTY\n", "1\t0\t\t\tEMPTY\n"},
        SafeCase{"clear screen", "1\t5\t\t\t\x1b[2J\n", "1\t5\t\t\t?[2J\n"},
        SafeCase{"title change", "\x1b]0;pwn\x07", "?]0;pwn?"},
        SafeCase{"carriage return and DEL", "a\rb\x7f" "c", "a?b?c"},
        SafeCase{"newline inside", "a\nb", "a?b"},
        SafeCase{"C1 CSI in UTF-8", "x\xc2\x9b" "2Jy", "x?2Jy"},
        SafeCase{"C1 first and last", "\xc2\x80\xc2\x9f", "??"},
        SafeCase{"lone C1 byte", "x\x9b" "2J", "x?2J"},
        SafeCase{"glyph bytes stay", "\xb1\xdb\xfe", "\xb1\xdb\xfe"},
        SafeCase{"NBSP is not a control", "\xc2\xa0", "\xc2\xa0"},
        SafeCase{"UTF-8 letters stay", "J\xc3\xbcrgen \xe2\x80\xa2 \xf0\x9f\x90\x8d",
                 "J\xc3\xbcrgen \xe2\x80\xa2 \xf0\x9f\x90\x8d"},
        SafeCase{"overlong form is bytes", "\xc1\x9b", "\xc1?"},
        SafeCase{"truncated sequence", "\xe2\x80", "\xe2?"}),
    // clang-format on
    [](const auto& param) { return "case" + std::to_string(param.index); });

}  // namespace
}  // namespace vormi
