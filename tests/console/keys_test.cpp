// Keys and waits through the fake terminal: the two-code protocol, the queue,
// the lone Esc, and the waits on the virtual clock.
#include <gtest/gtest.h>

#include <vector>

#include "console/console.h"
#include "fake/fake_terminal.h"

namespace vormi {
namespace {

class KeysTest : public ::testing::Test {
 protected:
  void SetUp() override { fake::reset(); }
};

using test::TerminalAnswers;

// Start-up never waits: the alternate screen and the query go out in one
// write, and the first frame before any virtual time passes. The replies are
// read with the keys whenever they come, split or whole, and are never keys;
// the keyboard protocol is pushed (and popped on the way out) once they say
// the terminal has it, and whole frames are wrapped once they say it knows
// mode 2026. Keys typed before, between and after the replies are each read
// once, in order.
TEST(ConsoleStart, TakesTheAnswersWhenTheyComeAndKeepsEveryKey) {
  using A = TerminalAnswers;
  const std::string all = test::replies_of(A::KEYBOARD_AND_SYNC);
  struct Piece {
    uint32_t at_ms;
    std::string bytes;
  };
  const struct {
    const char* name;
    std::vector<Piece> sent;  // by the terminal and the player
    TerminalAnswers has;      // what the replies say
    std::vector<int> keys;    // read before the x typed last
    uint32_t keys_read_at;    // the time once they have been read
  } rows[] = {
      {"at once, keys first", {{0, "x\x1b[A" + all}}, A::KEYBOARD_AND_SYNC, {'x', 0, KEY_UP}, 0},
      {"sync only", {{0, test::replies_of(A::SYNC_ONLY)}}, A::SYNC_ONLY, {}, 0},
      {"attributes only", {{0, test::replies_of(A::ATTRIBUTES_ONLY)}}, A::ATTRIBUTES_ONLY, {}, 0},
      {"at 150 ms", {{150, all}}, A::KEYBOARD_AND_SYNC, {}, 0},
      {"split", {{150, all.substr(0, 12)}, {230, all.substr(12)}}, A::KEYBOARD_AND_SYNC, {}, 0},
      // Esc by the 50 ms rule once no answer is owed.
      {"no answer", {{1200, "\x1b"}}, A::NOTHING, {KEY_ESC}, 1250},
      // The answer's first byte ends the Esc.
      {"Esc first", {{10, "\x1b"}, {150, all}}, A::KEYBOARD_AND_SYNC, {KEY_ESC}, 150},
      {"around", {{10, "a"}, {150, all}, {200, "\x1b[98u"}}, A::KEYBOARD_AND_SYNC, {'a', 'b'}, 200},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fake::reset_answering(TerminalAnswers::NOTHING);
    for (const Piece& piece : row.sent) fake::type_at(piece.at_ms, piece.bytes);
    fake::type_at(2000, "x");
    EXPECT_EQ(fake::startup_output(), "\x1b[?1049h\x1b[?u\x1b[?2026$p\x1b[c");
    console_clear();
    console_print("first");
    for (int key : row.keys) EXPECT_EQ(console_wait_key(), key);
    EXPECT_EQ(fake::now(), row.keys_read_at);
    EXPECT_EQ(console_wait_key(), 'x');
    EXPECT_EQ(fake::frames().front().waited_at, 0u);
    EXPECT_NE(fake::frames().front().bytes.find("first"), std::string::npos);
    const bool keyboard = test::has_keyboard_protocol(row.has);
    EXPECT_EQ(fake::output().find("\x1b[>1u") != std::string::npos, keyboard);
    EXPECT_EQ(fake::screen_modes_off(), test::screen_modes_off(row.has));
    fake::clear_output();
    console_clear();
    const bool full = test::has_sync_output(row.has);
    const std::string& frame = fake::output();
    EXPECT_EQ(frame.rfind("\x1b[?2026h\x1b[2J", 0) == 0, full) << frame.substr(1);
    EXPECT_EQ(frame.size() > 8 && frame.substr(frame.size() - 8) == "\x1b[?2026l", full)
        << frame.substr(1);
  }
}

// Whatever byte of the replies the first read ends at, and though a read
// finds nothing before the rest comes (80 ms on, past the Esc key's 50 ms),
// the replies are taken whole and give no key.
TEST(ConsoleStart, AnEmptyReadWithinTheRepliesChangesNothing) {
  const std::string all = test::replies_of(TerminalAnswers::KEYBOARD_AND_SYNC);
  for (size_t split = 0; split <= all.size(); ++split) {
    SCOPED_TRACE(split);
    fake::reset_answering(TerminalAnswers::NOTHING);
    fake::type_at(0, all.substr(0, split));
    fake::type_at(80, all.substr(split));
    fake::type_at(500, "x");
    // Held past 40 ms only while an ESC may begin the rest, and no longer.
    console_wait_until(40, true);
    EXPECT_LE(fake::now(), 80u);
    EXPECT_EQ(console_wait_key(), 'x');
    EXPECT_EQ(fake::screen_modes_off(), test::screen_modes_off(TerminalAnswers::KEYBOARD_AND_SYNC));
  }
}

TEST_F(KeysTest, ArrowsGiveZeroThenTheirCodeWithAKeyReadyBetween) {
  const struct {
    const char* bytes;
    int second;
  } arrows[] = {{"\x1b[A", KEY_UP},
                {"\x1b[B", KEY_DOWN},
                {"\x1b[D", KEY_LEFT},
                {"\x1b[C", KEY_RIGHT},
                {"\x1bOA", KEY_UP}};
  for (const auto& arrow : arrows) {
    SCOPED_TRACE(arrow.bytes + 1);
    fake::type(arrow.bytes);
    EXPECT_EQ(console_read_key(), 0);
    EXPECT_TRUE(console_key_ready());
    EXPECT_EQ(console_read_key(), arrow.second);
    EXPECT_FALSE(console_key_ready());
  }
}

TEST_F(KeysTest, WaitKeyTakesOnlyTheZeroAndTheNextReaderGetsTheCode) {
  fake::type("\x1b[A");
  EXPECT_EQ(console_wait_key(), 0);
  EXPECT_TRUE(fake::input_drained());
  // Nothing more is typed: the pending code ends this wait at once.
  EXPECT_EQ(console_wait_key(), KEY_UP);
}

TEST_F(KeysTest, KeyReadyNeverConsumes) {
  fake::type("y");
  EXPECT_TRUE(console_key_ready());
  EXPECT_TRUE(console_key_ready());
  EXPECT_EQ(console_read_key(), 'y');
  EXPECT_FALSE(console_key_ready());
}

TEST_F(KeysTest, KeysPressedQuicklyAreAllKeptInOrder) {
  fake::type("a");
  fake::type("\r");
  fake::type_at(3, "P9");
  EXPECT_EQ(console_wait_key(), 'a');
  EXPECT_EQ(console_wait_key(), KEY_ENTER);
  EXPECT_EQ(console_wait_key(), 'P');
  EXPECT_EQ(console_wait_key(), '9');
  EXPECT_EQ(fake::now(), 3u);
}

TEST_F(KeysTest, ALoneEscWaitsFiftyMillisecondsOfSilence) {
  fake::type_at(10, "\x1b");
  EXPECT_EQ(console_wait_key(), KEY_ESC);
  EXPECT_EQ(fake::now(), 60u);
  // An Esc that is followed in time is part of a sequence, not an Esc.
  fake::type_at(100, "\x1b");
  fake::type_at(120, "[B");
  EXPECT_EQ(console_wait_key(), 0);
  EXPECT_EQ(console_read_key(), KEY_DOWN);
}

// The game may be busy for longer than the Esc wait between two looks at the
// keyboard; a sequence whose rest arrived meanwhile is still one key.
TEST_F(KeysTest, ASequenceSplitAcrossABusySpellIsStillOneKey) {
  fake::type("\x1b");
  EXPECT_FALSE(console_key_ready());
  fake::type_at(10, "[A");
  fake::advance(200);
  EXPECT_TRUE(console_key_ready());
  EXPECT_EQ(console_read_key(), 0);
  EXPECT_EQ(console_read_key(), KEY_UP);
  EXPECT_FALSE(console_key_ready());
}

TEST_F(KeysTest, EscIsSeenByKeyReadyOnlyAfterTheSilence) {
  fake::type("\x1b");
  EXPECT_FALSE(console_key_ready());
  fake::advance(49);
  EXPECT_FALSE(console_key_ready());
  fake::advance(1);
  EXPECT_TRUE(console_key_ready());
  EXPECT_EQ(console_read_key(), KEY_ESC);
}

TEST_F(KeysTest, UnknownSequencesAndMouseReportsGiveNoCode) {
  fake::type("\x1b[99;9z\x1b[57441u\x1b[M H*\x1b[<0;40;10Mx");
  EXPECT_TRUE(console_key_ready());
  EXPECT_EQ(console_read_key(), 'x');
  EXPECT_FALSE(console_key_ready());
}

// A held key that yields no code (Ctrl+1, in kitty's form) fills the queue
// with presses that are no key; the key after them still ends a wait.
TEST_F(KeysTest, AFloodOfPressesWithoutACodeDoesNotHideTheKeyAfterIt) {
  std::string flood;
  for (int i = 0; i < 300; ++i) flood += "\x1b[49;5u";
  fake::type(flood + "x");
  EXPECT_EQ(console_wait_key(), 'x');
}

// A key that types a character beyond ASCII is a key like any other: it ends
// a wait for any key and reads as its code page 437 byte.
TEST_F(KeysTest, TextBeyondAsciiEndsAWaitAsItsCodePageByte) {
  fake::type_at(20, "\xc3\xa9");
  EXPECT_EQ(console_wait_key(), 130);
  EXPECT_EQ(fake::now(), 20u);
  fake::type_at(30, "\xe2\x82\xac\xff");
  EXPECT_EQ(console_wait_key(), '?');
  EXPECT_EQ(console_read_key(), 0xFF);
}

// Over a slow link an arrow's bytes may come far apart: once "ESC [" is in,
// the rest is waited for, and a rest that never comes leaves nothing behind.
TEST_F(KeysTest, ABegunSequenceWaitsForItsRestOverASlowLink) {
  fake::type("\x1b[");
  fake::type_at(900, "A");
  EXPECT_EQ(console_wait_key(), 0);
  EXPECT_EQ(console_read_key(), KEY_UP);
  EXPECT_EQ(fake::now(), 900u);

  fake::type_at(1000, "\x1bO");
  fake::type_at(2500, "k");
  EXPECT_EQ(console_wait_key(), 'k');
  EXPECT_FALSE(console_key_ready());
}

// The game's loop does not step while console_key_unresolved() and waits in
// console_wait_until: an Esc anywhere in a tick, short or long, must be known
// as the Esc key before that wait lets the loop go on, even past the deadline.
TEST_F(KeysTest, AnEscAnywhereInATickIsKnownBeforeTheWaitEnds) {
  for (uint32_t tick : {100u, 35u}) {
    for (uint32_t percent : {10u, 40u, 60u, 95u}) {
      fake::reset();
      const uint32_t esc_at = tick * percent / 100;
      fake::type_at(esc_at, "\x1b");
      console_wait_until(static_cast<int>(tick), true);
      EXPECT_EQ(fake::now(), esc_at + 50) << tick << " ms tick, Esc at " << percent << "%";
      EXPECT_FALSE(console_key_unresolved());
      EXPECT_EQ(console_read_key(), KEY_ESC);
    }
  }
  // Keys not watched (after a turn), the deadline alone ends the wait.
  fake::reset();
  fake::type_at(90, "\x1b");
  console_wait_until(100, false);
  EXPECT_EQ(fake::now(), 100u);
  EXPECT_TRUE(console_key_unresolved());
}

// With the keyboard protocol the Esc key is whole as its bytes come, even in
// a tick's last millisecond, and two of them are two Esc presses.
TEST_F(KeysTest, EscFromTheKeyboardProtocolIsKnownAtOnce) {
  for (uint32_t tick : {100u, 35u}) {
    fake::reset_answering(TerminalAnswers::KEYBOARD_AND_SYNC);
    fake::type_at(tick - 1, "\x1b[27u");
    console_wait_until(static_cast<int>(tick), true);
    EXPECT_EQ(fake::now(), tick - 1) << tick << " ms tick";
    EXPECT_FALSE(console_key_unresolved());
    EXPECT_EQ(console_read_key(), KEY_ESC);
  }
  fake::type("\x1b[27u\x1b[27u");
  EXPECT_EQ(console_read_key(), KEY_ESC);
  EXPECT_EQ(console_read_key(), KEY_ESC);
}

// The terminal does not signal for Ctrl+C and Ctrl+Z that come as sequences;
// the console does, and they are no keys.
TEST_F(KeysTest, CtrlCAndCtrlZAsSequencesRaiseTheirSignals) {
  fake::reset_answering(TerminalAnswers::KEYBOARD_AND_SYNC);
  fake::type("\x1b[99;5u\x1b[122;5u\x1b[99;6u\x1b[120;5u");
  EXPECT_EQ(console_read_key(), 24);  // Ctrl+X is a key
  EXPECT_EQ(fake::signals_for_keys(), (std::vector<int>{3, 26, 3}));
  EXPECT_FALSE(console_key_ready());
}

// Arrows and Alt with a key arrive whole: nothing about them is unresolved.
TEST_F(KeysTest, OnlyALoneEscByteIsUnresolved) {
  for (const char* bytes : {"\x1b[A", "\x1bOB", "\x1bx", "p"}) {
    fake::reset();
    fake::type(bytes);
    EXPECT_FALSE(console_key_unresolved()) << bytes + 1;
    EXPECT_TRUE(console_key_ready()) << bytes + 1;
  }
  fake::reset();
  fake::type("\x1b");
  EXPECT_TRUE(console_key_unresolved());
  fake::advance(50);
  EXPECT_FALSE(console_key_unresolved());
  EXPECT_TRUE(console_key_ready());
}

// Shift, Ctrl or Alt alone send nothing a terminal would report, so waits run on.
TEST_F(KeysTest, NothingPressedNeverEndsAWait) {
  console_wait_until(700, true);
  EXPECT_EQ(fake::now(), 700u);
  EXPECT_FALSE(console_key_ready());
  EXPECT_THROW(console_wait_key(), fake::InputExhausted);
}

TEST_F(KeysTest, WaitUntilEndsAtTheDeadlineOrAtAKeyWhenWatched) {
  console_wait_until(250, true);
  EXPECT_EQ(fake::now(), 250u);
  EXPECT_EQ(console_millis(), 250u);

  fake::type_at(400, "k");
  console_wait_until(1000, true);
  EXPECT_EQ(fake::now(), 400u);
  EXPECT_TRUE(console_key_ready());
  console_wait_until(1000, true);  // a key is already there: no wait
  EXPECT_EQ(fake::now(), 400u);

  console_wait_until(1000, false);  // keys not watched: the queued key does not end it
  EXPECT_EQ(fake::now(), 1000u);
  EXPECT_EQ(console_read_key(), 'k');

  fake::type_at(1100, "m");
  console_wait_until(1500, false);  // a key typed during an unwatched wait stays queued
  EXPECT_EQ(fake::now(), 1500u);
  EXPECT_EQ(console_read_key(), 'm');

  console_wait_until(1200, true);  // the deadline has passed
  EXPECT_EQ(fake::now(), 1500u);
}

TEST_F(KeysTest, WaitUntilWithAKeyLeftHalfReadStillReturnsAtOnce) {
  fake::type("\x1b[C");
  EXPECT_EQ(console_read_key(), 0);
  console_wait_until(5000, true);
  EXPECT_EQ(fake::now(), 0u);
  EXPECT_EQ(console_read_key(), KEY_RIGHT);
}

TEST_F(KeysTest, AResumeDuringAKeyWaitRepaintsAndTheWaitGoesOn) {
  console_clear();
  console_goto(4, 2);
  console_print("Press any key to continue...");
  const std::string shown = fake::screen().text();
  fake::screen().feed("\x1b[2J\x1b[H[1]+  Stopped");
  fake::simulate_resume();
  fake::type_at(30, "q");
  EXPECT_EQ(console_wait_key(), 'q');
  EXPECT_EQ(fake::screen().text(), shown);
  EXPECT_EQ(fake::screen().cursor_x(), 32);
  EXPECT_EQ(fake::screen().cursor_y(), 2);
}

// Stopped in a wait until after its deadline (Ctrl+Z, SIGSTOP, a machine
// too busy), the program finds keys typed meanwhile when it resumes, also
// when the window was made too small meanwhile: the wait ended by the signal
// saw nothing of the terminal, however long it took.
TEST_F(KeysTest, AKeyTypedWhileStoppedPastTheDeadlineIsReadOnResume) {
  for (const bool shrunk : {false, true}) {
    SCOPED_TRACE(shrunk ? "shrunk meanwhile" : "same size");
    fake::reset();
    bool stopped = false;
    fake::on_wait([&] {
      if (stopped) return;
      stopped = true;
      fake::advance(500);
      fake::type("k");
      fake::simulate_resume();
      if (shrunk) fake::resize(60, 20);
      if (shrunk) fake::resize_at(fake::now() + 100, 80, 25);
    });
    console_wait_until(300, true);
    fake::on_wait({});
    EXPECT_TRUE(console_key_ready());
    EXPECT_EQ(console_read_key(), 'k');
  }
}

TEST_F(KeysTest, MillisStartsAtZeroOnEachStart) {
  fake::advance(1234);
  EXPECT_EQ(console_millis(), 1234u);
  console_start(nullptr, 0);
  EXPECT_EQ(console_millis(), 0u);
  fake::advance(5);
  EXPECT_EQ(console_millis(), 5u);
}

TEST_F(KeysTest, StartForgetsKeysAndThePendingCode) {
  fake::type("\x1b[A");
  EXPECT_EQ(console_read_key(), 0);
  fake::reset();
  EXPECT_FALSE(console_key_ready());
}

}  // namespace
}  // namespace vormi
