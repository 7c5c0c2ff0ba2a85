// The line editor on the fake terminal: what ends up in the line, what the
// screen shows, and where the cursor is left.
#include <gtest/gtest.h>

#include <string>

#include "console/console.h"
#include "fake/fake_terminal.h"

namespace vormi {
namespace {

using fake::screen;

constexpr int NAME_CAPACITY = 20;

class LineEditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::reset();
    console_goto(10, 5);
  }

  // Types the script (each string after the one before, 100 ms apart so an
  // Esc stands alone) and reads one line.
  std::string read_line(std::initializer_list<std::string> keys, int capacity = NAME_CAPACITY) {
    uint32_t at = fake::now();
    for (const std::string& key : keys) {
      fake::type_at(at, key);
      at += 100;
    }
    char buffer[64];
    length_ = console_read_line(buffer, capacity);
    EXPECT_TRUE(fake::input_drained());
    return std::string(buffer);
  }

  int length_ = -1;
};

TEST_F(LineEditorTest, TypedTextEchoesAndEnterEndsTheLine) {
  EXPECT_EQ(read_line({"Bob\r"}), "Bob");
  EXPECT_EQ(length_, 3);
  EXPECT_EQ(screen().row(5), std::string(9, ' ') + "Bob");
  EXPECT_EQ(screen().cursor_x(), 1);
  EXPECT_EQ(screen().cursor_y(), 6);
  EXPECT_EQ(screen().bells(), 0);
}

TEST_F(LineEditorTest, ThirtyCharactersKeepNineteenAndRingForTheRest) {
  EXPECT_EQ(read_line({"abcdefghijklmnopqrstuvwxyz1234\r"}), "abcdefghijklmnopqrs");
  EXPECT_EQ(length_, 19);
  EXPECT_EQ(screen().bells(), 11);
  EXPECT_EQ(screen().row(5), std::string(9, ' ') + "abcdefghijklmnopqrs");
}

// More than the key queue holds, arriving before the editor reads any of it.
TEST_F(LineEditorTest, ALongPasteKeepsItsStart) {
  std::string paste = "\x1b[200~Kestrovan";
  for (int i = 0; i < 40; ++i) paste += "0123456789";
  EXPECT_EQ(read_line({paste + "\x1b[201~\r"}), "Kestrovan0123456789");
}

TEST_F(LineEditorTest, Utf8IsNeverSplitAtTheLimit) {
  // 18 bytes leave room for one byte only: the two-byte character is refused.
  EXPECT_EQ(read_line({"abcdefghijklmnopqr\xC3\xA9!\r"}), "abcdefghijklmnopqr!");
  EXPECT_EQ(screen().bells(), 1);
  fake::reset();
  EXPECT_EQ(read_line({"abcdefghijklmnopq\xC3\xA9\r"}), "abcdefghijklmnopq\xC3\xA9");
  EXPECT_EQ(length_, 19);
  EXPECT_EQ(screen().row(1), "abcdefghijklmnopq\xC3\xA9");
}

TEST_F(LineEditorTest, EditingKeysMoveAndDelete) {
  struct Case {
    const char* name;
    std::initializer_list<std::string> keys;
    const char* line;
    int cursor_column;  // where the cursor stood before Enter
  };
  const Case cases[] = {
      {"left then insert", {"abc", "\x1b[D\x1b[D", "X"}, "aXbc", 12},
      {"home then insert", {"abc", "\x1b[H", "Y"}, "Yabc", 11},
      {"end after home", {"abc", "\x1b[1~", "\x1b[F", "Z"}, "abcZ", 14},
      {"right after left", {"abc", "\x1b[D\x1b[D\x1b[C", "-"}, "ab-c", 13},
      {"backspace 127", {"abc", "\x7f"}, "ab", 12},
      {"backspace 8 inside", {"abc", "\x1b[D", "\x08"}, "ac", 11},
      {"delete inside", {"abc", "\x1b[H", "\x1b[3~"}, "bc", 10},
      {"delete at the end does nothing", {"abc", "\x1b[3~"}, "abc", 13},
      {"backspace at the start does nothing", {"abc", "\x1b[H", "\x7f"}, "abc", 10},
      {"left stops at the start", {"ab", "\x1b[D\x1b[D\x1b[D", "<"}, "<ab", 11},
      {"right stops at the end", {"ab", "\x1b[C", ">"}, "ab>", 13},
      {"backspace takes a whole character", {"a\xC3\xA9", "\x7f"}, "a", 11},
      {"left steps over a whole character", {"\xC3\xA9z", "\x1b[D\x1b[D", "<"}, "<\xC3\xA9z", 11},
      {"escape clears", {"abc", "\x1b", "d"}, "d", 11},
      {"ctrl+u clears", {"abc", "\x15", "e"}, "e", 11},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::reset();
    console_goto(10, 5);
    std::initializer_list<std::string> keys = c.keys;
    uint32_t at = 0;
    for (const std::string& key : keys) {
      fake::type_at(at, key);
      at += 100;
    }
    char buffer[NAME_CAPACITY];
    // Read the cursor just before Enter: the script ends, the wait throws.
    EXPECT_THROW(console_read_line(buffer, NAME_CAPACITY), fake::InputExhausted);
    EXPECT_EQ(screen().cursor_x(), c.cursor_column);
    EXPECT_EQ(screen().row(5), std::string(9, ' ') + c.line);
    fake::reset();
    console_goto(10, 5);
    at = 0;
    for (const std::string& key : keys) {
      fake::type_at(at, key);
      at += 100;
    }
    fake::type_at(at, "\r");
    console_read_line(buffer, NAME_CAPACITY);
    EXPECT_STREQ(buffer, c.line);
  }
}

TEST_F(LineEditorTest, NoKeyPutsEscapeBytesIntoTheLine) {
  const std::string line = read_line({"ab", "\x1b[A\x1b[B\x1bOP\x1b[15~\x1b[1;5C\x1b[Z\t", "\x1bx",
                                      "\x01\x02\x1f", "\x1b[200~", "c\r"});
  EXPECT_EQ(line, "abc");
  for (char c : line) EXPECT_GE(static_cast<unsigned char>(c), 0x20);
  EXPECT_EQ(screen().row(5), std::string(9, ' ') + "abc");
}

TEST_F(LineEditorTest, EnterAfterEditingInsideLeavesTheCursorBelowTheLine) {
  EXPECT_EQ(read_line({"hello", "\x1b[H", "\r"}), "hello");
  EXPECT_EQ(screen().cursor_x(), 1);
  EXPECT_EQ(screen().cursor_y(), 6);
}

TEST_F(LineEditorTest, ASmallCapacityIsRespected) {
  EXPECT_EQ(read_line({"xyz\r"}, 1), "");
  EXPECT_EQ(length_, 0);
  EXPECT_EQ(screen().bells(), 3);
}

// The arrow that ended the screen before was taken whole there: its second
// code must not end the next screen's wait the moment the line is entered.
TEST_F(LineEditorTest, APendingSecondCodeDoesNotOutliveTheLine) {
  fake::type("\x1b[A");
  EXPECT_EQ(console_read_key(), 0);
  EXPECT_EQ(read_line({"ok\r"}), "ok");
  EXPECT_FALSE(console_key_ready());
  fake::type_at(fake::now() + 40, "z");
  EXPECT_EQ(console_wait_key(), 'z');
}

}  // namespace
}  // namespace vormi
