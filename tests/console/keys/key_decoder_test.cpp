// The terminal key decoder: what each terminal family sends, turned into the
// PC codes console_read_key hands out, whole and split across reads, with a
// virtual clock for the Esc wait.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "console/keys/key_decoder.h"
#include "console/keys/key_table.h"

namespace vormi {
namespace {

// One decoded event as text: its codes through read_codes ("0,72", "27",
// "none"), after the characters of a text event ("text:\xc3\xa9=130").
std::string describe(const KeyEvent& event) {
  const KeyCodes codes = read_codes(event.press);
  if (event.text[0] != '\0') {
    const std::string code = codes.count == 1 ? std::to_string(codes.first) : "none";
    return std::string("text:") + event.text + "=" + code;
  }
  if (codes.count == 0) return "none";
  if (codes.count == 2) return std::to_string(codes.first) + "," + std::to_string(codes.second);
  return std::to_string(codes.first);
}

// Feeds bytes on a virtual clock and keeps every event it gets back.
class Feeder {
 public:
  explicit Feeder(uint32_t start = 1000) : now_(start) { decoder_reset(decoder_); }

  void feed(const std::string& bytes) {
    for (char c : bytes) {
      KeyEvent out[DECODER_MAX_EVENTS];
      const int count = decoder_feed(decoder_, static_cast<unsigned char>(c), now_, out);
      keep(out, count);
    }
  }

  // Lets ms pass and then flushes, as a reader does after a quiet wait.
  void wait(int ms) {
    now_ += static_cast<uint32_t>(ms);
    KeyEvent out[DECODER_MAX_EVENTS];
    keep(out, decoder_flush(decoder_, now_, false, out));
  }

  int flush_in() const { return decoder_flush_in(decoder_, now_, false); }
  const std::vector<KeyEvent>& events() const { return events_; }
  std::vector<std::string> seen() const {
    std::vector<std::string> names;
    for (const KeyEvent& event : events_) names.push_back(describe(event));
    return names;
  }

 private:
  void keep(const KeyEvent* out, int count) {
    ASSERT_GE(count, 0);
    ASSERT_LE(count, DECODER_MAX_EVENTS);
    events_.insert(events_.end(), out, out + count);
  }

  KeyDecoder decoder_{};
  uint32_t now_;
  std::vector<KeyEvent> events_;
};

std::vector<std::string> decode(const std::string& bytes) {
  Feeder feeder;
  feeder.feed(bytes);
  feeder.wait(ESCAPE_WAIT_MS);
  return feeder.seen();
}

using Seen = std::vector<std::string>;

struct Case {
  const char* name;
  std::string bytes;
  Seen codes;
};

const std::vector<Case>& sequence_cases() {
  // clang-format off
  static const std::vector<Case> cases = {
      // xterm (and the many terminals that copy it)
      {"xterm Up", "\x1b[A", {"0,72"}},
      {"xterm Up, application mode", "\x1bOA", {"0,72"}},
      {"xterm Down", "\x1b[B", {"0,80"}},
      {"xterm Right", "\x1b[C", {"0,77"}},
      {"xterm Left", "\x1b[D", {"0,75"}},
      {"xterm Shift+Up", "\x1b[1;2A", {"0,72"}},
      {"xterm Alt+Left", "\x1b[1;3D", {"0,155"}},
      {"xterm Ctrl+Right", "\x1b[1;5C", {"0,116"}},
      {"xterm Ctrl+Up", "\x1b[1;5A", {"0,141"}},
      {"xterm Ctrl+Down", "\x1b[1;5B", {"0,145"}},
      {"xterm Ctrl+Alt+Down", "\x1b[1;7B", {"0,160"}},
      {"xterm Meta+Ctrl+Left (meta ignored)", "\x1b[1;13D", {"0,115"}},
      {"xterm Home", "\x1b[H", {"0,71"}},
      {"xterm Home, application mode", "\x1bOH", {"0,71"}},
      {"xterm End", "\x1b[F", {"0,79"}},
      {"xterm End, application mode", "\x1bOF", {"0,79"}},
      {"xterm Ctrl+End", "\x1b[1;5F", {"0,117"}},
      {"xterm Insert", "\x1b[2~", {"0,82"}},
      {"xterm Delete", "\x1b[3~", {"0,83"}},
      {"xterm Shift+Delete", "\x1b[3;2~", {"0,83"}},
      {"xterm Ctrl+PageUp", "\x1b[5;5~", {"0,132"}},
      {"xterm Alt+PageDown", "\x1b[6;3~", {"0,161"}},
      {"xterm F1", "\x1bOP", {"0,59"}},
      {"xterm F4", "\x1bOS", {"0,62"}},
      {"xterm Shift+F1", "\x1b[1;2P", {"0,84"}},
      {"xterm Ctrl+F2", "\x1b[1;5Q", {"0,95"}},
      {"xterm Alt+F3", "\x1b[1;3R", {"0,106"}},
      {"xterm F5", "\x1b[15~", {"0,63"}},
      {"xterm F6", "\x1b[17~", {"0,64"}},
      {"xterm F10", "\x1b[21~", {"0,68"}},
      {"xterm F11", "\x1b[23~", {"0,133"}},
      {"xterm F12", "\x1b[24~", {"0,134"}},
      {"xterm Shift+F5", "\x1b[15;2~", {"0,88"}},
      {"xterm Ctrl+F10", "\x1b[21;5~", {"0,103"}},
      {"xterm Alt+F11", "\x1b[23;3~", {"0,139"}},
      {"xterm Shift+F12", "\x1b[24;2~", {"0,136"}},
      {"xterm Ctrl+F12", "\x1b[24;5~", {"0,138"}},
      {"xterm Shift+Tab", "\x1b[Z", {"0,15"}},
      {"xterm Alt+a", "\x1b" "a", {"0,30"}},
      {"xterm Alt+Shift+a", "\x1b" "A", {"0,30"}},
      {"xterm Alt+1", "\x1b" "1", {"0,120"}},
      {"xterm Alt+0", "\x1b" "0", {"0,129"}},
      {"xterm Alt+Enter", "\x1b\r", {"0,166"}},
      {"xterm Alt+Backspace", "\x1b\x7f", {"0,14"}},
      {"xterm Alt+Tab", "\x1b\t", {"0,165"}},
      {"xterm Alt+Space", "\x1b ", {"32"}},
      {"xterm Ctrl+Alt+a", "\x1b\x01", {"0,30"}},
      // VTE: gnome-terminal, xfce4-terminal, tilix
      {"VTE Ctrl+Home", "\x1b[1;5H", {"0,119"}},
      {"VTE Alt+Home", "\x1b[1;3H", {"0,151"}},
      {"VTE Shift+F4", "\x1b[1;2S", {"0,87"}},
      {"VTE Ctrl+F1", "\x1b[1;5P", {"0,94"}},
      {"VTE Alt+F2", "\x1b[1;3Q", {"0,105"}},
      {"VTE Alt+Up", "\x1b[1;3A", {"0,152"}},
      {"VTE Alt+Down", "\x1b[1;3B", {"0,160"}},
      {"VTE Alt+Right", "\x1b[1;3C", {"0,157"}},
      {"VTE Ctrl+Insert", "\x1b[2;5~", {"0,146"}},
      {"VTE Alt+Delete", "\x1b[3;3~", {"0,163"}},
      {"VTE Alt+F10", "\x1b[21;3~", {"0,113"}},
      // kitty, legacy and its key reports
      {"kitty F3", "\x1b[13~", {"0,61"}},
      {"kitty Ctrl+Up", "\x1b[1;5A", {"0,141"}},
      {"kitty Esc", "\x1b[27u", {"27"}},
      {"kitty Alt+Esc", "\x1b[27;3u", {"0,1"}},
      {"kitty Enter", "\x1b[13u", {"13"}},
      {"kitty Ctrl+Enter", "\x1b[13;5u", {"10"}},
      {"kitty Alt+Enter", "\x1b[13;3u", {"0,166"}},
      {"kitty Tab", "\x1b[9u", {"9"}},
      {"kitty Shift+Tab", "\x1b[9;2u", {"0,15"}},
      {"kitty Ctrl+Tab", "\x1b[9;5u", {"0,148"}},
      {"kitty Backspace", "\x1b[127u", {"8"}},
      {"kitty Ctrl+Backspace", "\x1b[127;5u", {"127"}},
      {"kitty Ctrl+a", "\x1b[97;5u", {"1"}},
      {"kitty Alt+z", "\x1b[122;3u", {"0,44"}},
      {"kitty p", "\x1b[112u", {"112"}},
      {"kitty Shift+p", "\x1b[112;2u", {"80"}},
      {"kitty Caps Lock p", "\x1b[112;65u", {"80"}},
      {"kitty Caps Lock Shift+p", "\x1b[112;66u", {"112"}},
      {"kitty p repeated", "\x1b[112;1:2u", {"112"}},
      {"kitty p released", "\x1b[112;1:3u", {}},
      {"kitty Up released", "\x1b[1;1:3A", {}},
      {"kitty Shift+1", "\x1b[49;2u", {"33"}},
      {"kitty Ctrl+Space", "\x1b[32;5u", {"0,3"}},
      {"kitty Ctrl+[", "\x1b[91;5u", {"27"}},
      {"xterm modifyOtherKeys Ctrl+Enter", "\x1b[27;5;13~", {"10"}},
      {"xterm modifyOtherKeys Shift+Tab", "\x1b[27;2;9~", {"0,15"}},
      // alacritty
      {"alacritty Up", "\x1b[A", {"0,72"}},
      {"alacritty Shift+F1", "\x1b[1;2P", {"0,84"}},
      {"alacritty Ctrl+PageDown", "\x1b[6;5~", {"0,118"}},
      {"alacritty Alt+F12", "\x1b[24;3~", {"0,140"}},
      {"alacritty Ctrl+Alt+F1", "\x1b[1;7P", {"0,104"}},
      // rxvt-unicode
      {"rxvt Shift+Up", "\x1b[a", {"0,72"}},
      {"rxvt Shift+Down", "\x1b[b", {"0,80"}},
      {"rxvt Shift+Right", "\x1b[c", {"0,77"}},
      {"rxvt Shift+Left", "\x1b[d", {"0,75"}},
      {"rxvt Ctrl+Up", "\x1bOa", {"0,141"}},
      {"rxvt Ctrl+Down", "\x1bOb", {"0,145"}},
      {"rxvt Ctrl+Right", "\x1bOc", {"0,116"}},
      {"rxvt Ctrl+Left", "\x1bOd", {"0,115"}},
      {"rxvt Alt+Up", "\x1b\x1b[A", {"0,152"}},
      {"rxvt Alt+Ctrl+Up", "\x1b\x1bOa", {"0,152"}},
      {"rxvt Home", "\x1b[7~", {"0,71"}},
      {"rxvt End", "\x1b[8~", {"0,79"}},
      {"rxvt Shift+Home", "\x1b[7$", {"0,71"}},
      {"rxvt Ctrl+Home", "\x1b[7^", {"0,119"}},
      {"rxvt Ctrl+Shift+End", "\x1b[8@", {"0,117"}},
      {"rxvt Shift+Insert", "\x1b[2$", {"0,82"}},
      {"rxvt Ctrl+Delete", "\x1b[3^", {"0,147"}},
      {"rxvt Alt+PageUp", "\x1b\x1b[5~", {"0,153"}},
      {"rxvt F1", "\x1b[11~", {"0,59"}},
      {"rxvt F4", "\x1b[14~", {"0,62"}},
      {"rxvt Ctrl+F1", "\x1b[11^", {"0,94"}},
      {"rxvt Shift+F3", "\x1b[25~", {"0,86"}},
      {"rxvt Shift+F10", "\x1b[34~", {"0,93"}},
      {"rxvt Shift+F12", "\x1b[24$", {"0,136"}},
      {"rxvt Ctrl+F12", "\x1b[24^", {"0,138"}},
      {"rxvt Alt+F1", "\x1b\x1b[11~", {"0,104"}},
      // the Linux console
      {"linux F1", "\x1b[[A", {"0,59"}},
      {"linux F2", "\x1b[[B", {"0,60"}},
      {"linux F5", "\x1b[[E", {"0,63"}},
      {"linux F6", "\x1b[17~", {"0,64"}},
      {"linux F12", "\x1b[24~", {"0,134"}},
      {"linux Home", "\x1b[1~", {"0,71"}},
      {"linux End", "\x1b[4~", {"0,79"}},
      {"linux Insert", "\x1b[2~", {"0,82"}},
      {"linux Delete", "\x1b[3~", {"0,83"}},
      {"linux PageUp", "\x1b[5~", {"0,73"}},
      {"linux PageDown", "\x1b[6~", {"0,81"}},
      {"linux Shift+F5", "\x1b[28~", {"0,88"}},
      {"linux Shift+Tab", "\x1b[Z", {"0,15"}},
      {"linux Alt+x", "\x1bx", {"0,45"}},
      // tmux
      {"tmux Up", "\x1bOA", {"0,72"}},
      {"tmux Ctrl+Left", "\x1b[1;5D", {"0,115"}},
      {"tmux Home", "\x1b[1~", {"0,71"}},
      {"tmux End", "\x1b[4~", {"0,79"}},
      {"tmux F1", "\x1bOP", {"0,59"}},
      {"tmux Shift+F2", "\x1b[1;2Q", {"0,85"}},
      {"tmux Alt+Right", "\x1b[1;3C", {"0,157"}},
      {"tmux Alt+Up, escape-prefixed", "\x1b\x1bOA", {"0,152"}},
      // GNU screen
      {"screen Home", "\x1b[1~", {"0,71"}},
      {"screen End", "\x1b[4~", {"0,79"}},
      {"screen Up", "\x1bOA", {"0,72"}},
      {"screen F1", "\x1bOP", {"0,59"}},
      {"screen F11", "\x1b[23~", {"0,133"}},
      {"screen PageDown", "\x1b[6~", {"0,81"}},
      // the keypad in application mode
      {"keypad Enter", "\x1bOM", {"13"}},
      {"keypad 5", "\x1bOu", {"53"}},
      {"keypad plus", "\x1bOk", {"43"}},
      // unknown sequences: swallowed whole, and the key after them survives
      {"device attributes reply", "\x1b[?1;2c" "k", {"107"}},
      {"secondary device attributes", "\x1b[>0;95;0c" "k", {"107"}},
      {"bracketed paste", "\x1b[200~hi\x1b[201~", {"104", "105"}},
      {"focus in and out", "\x1b[I\x1b[O" "k", {"107"}},
      // reports that are not keys, as a terminal another program left
      // reporting sends them: swallowed whole, not a byte of them leaks
      {"X10 click at column 40 (H, KEY_UP, must not leak)", "\x1b[M H*" "k", {"107"}},
      {"X10 release", "\x1b[M#HK" "k", {"107"}},
      {"X10 report with raw bytes from 0x80 on", "\x1b[M\x20\xc3\xa9" "k", {"107"}},
      {"X10 report at the far corner", "\x1b[M\x60\xff\xff" "k", {"107"}},
      {"X10 report whose raw bytes look like a key", "\x1b[M\x1b[A" "k", {"107"}},
      {"SGR mouse press", "\x1b[<0;40;10M" "k", {"107"}},
      {"SGR mouse release", "\x1b[<0;40;10m" "k", {"107"}},
      {"SGR mouse wheel far out", "\x1b[<65;300;120M" "k", {"107"}},
      {"urxvt mouse report", "\x1b[32;40;10M" "k", {"107"}},
      {"focus in", "\x1b[I" "k", {"107"}},
      {"focus out", "\x1b[O" "k", {"107"}},
      {"paste start", "\x1b[200~" "k", {"107"}},
      {"paste end", "\x1b[201~" "k", {"107"}},
      {"a pasted arrow-looking text stays text", "\x1b[200~[A\x1b[201~", {"91", "65"}},
      {"intermediate byte", "\x1b[2 q" "k", {"107"}},
      {"unknown tilde number", "\x1b[99~" "k", {"107"}},
      {"unknown final", "\x1b[1;5X" "k", {"107"}},
      {"unknown SS3 final", "\x1bOz" "k", {"107"}},
      {"unknown Linux console final", "\x1b[[Z" "k", {"107"}},
      {"SGR mouse report", "\x1b[<0;10;5M" "k", {"107"}},
      {"too many parameters", "\x1b[1;2;3;4;5A" "k", {"107"}},
      {"huge parameter", "\x1b[99999999999999999999;5A" "k", {"107"}},
      {"a control byte cuts a sequence short", "\x1b[1;5\r", {"13"}},
      {"ESC cuts a sequence short", "\x1b[1;\x1b[B", {"0,80"}},
      // the terminal's replies to the start-up query
      {"keyboard flags reply", "\x1b[?0u" "k", {"107"}},
      {"mode 2026 reply", "\x1b[?2026;2$y" "k", {"107"}},
      {"whole start-up answer", "\x1b[?1u\x1b[?2026;1$y\x1b[?62;22c" "k", {"107"}},
      {"Esc typed before the answer", "\x1b" "\x1b[?1u\x1b[?2026;1$y\x1b[?62;22c", {"27"}},
      {"Esc typed before an answer of no 2026", "\x1b" "\x1b[?2026;0$y\x1b[?1;2c", {"27"}},
      // several keys in one read
      {"two arrows", "\x1b[A\x1b[B", {"0,72", "0,80"}},
      {"letters and arrow", "ab\x1bOCz", {"97", "98", "0,77", "122"}},
  };
  // clang-format on
  return cases;
}

TEST(KeyDecoder, SequencesFedWholeGiveTheirCodes) {
  for (const Case& c : sequence_cases()) EXPECT_EQ(decode(c.bytes), c.codes) << c.name;
}

TEST(KeyDecoder, SequencesSplitAtEveryOffsetGiveTheSameCodes) {
  for (const Case& c : sequence_cases()) {
    for (size_t cut = 1; cut < c.bytes.size(); ++cut) {
      Feeder feeder;
      feeder.feed(c.bytes.substr(0, cut));
      feeder.wait(ESCAPE_WAIT_MS - 1);  // a reader polls in the gap: nothing resolves yet
      feeder.feed(c.bytes.substr(cut));
      feeder.wait(ESCAPE_WAIT_MS);
      EXPECT_EQ(feeder.seen(), c.codes) << c.name << ", split at " << cut;
    }
  }
}

// Over a slow link the rest of a begun sequence may come long after its
// start. Only a split right after an ESC is left to the Esc wait: there the
// sequence has not begun yet, and a lone ESC is the Esc key after 50 ms.
TEST(KeyDecoder, SequencesSplitBySlowLinkSilencesGiveTheSameCodes) {
  for (const Case& c : sequence_cases()) {
    for (size_t cut = 1; cut < c.bytes.size(); ++cut) {
      if (c.bytes[cut - 1] == '\x1b') continue;
      for (int silence : {60, 200, 900}) {
        Feeder feeder;
        feeder.feed(c.bytes.substr(0, cut));
        feeder.wait(silence);
        feeder.feed(c.bytes.substr(cut));
        feeder.wait(SEQUENCE_WAIT_MS);
        EXPECT_EQ(feeder.seen(), c.codes) << c.name << ", " << silence << " ms after byte " << cut;
      }
    }
  }
}

TEST(KeyDecoder, SequencesTricklingInByteByByteGiveTheSameCodes) {
  for (const Case& c : sequence_cases()) {
    Feeder feeder;
    for (char byte : c.bytes) {
      feeder.feed(std::string(1, byte));
      feeder.wait(ESCAPE_WAIT_MS / 2);
    }
    feeder.wait(ESCAPE_WAIT_MS);
    EXPECT_EQ(feeder.seen(), c.codes) << c.name;
  }
}

// With the keyboard enhancement protocol's flag 1 a terminal sends Esc, Ctrl
// and Alt keys and the keypad as CSI code u: each gives the codes its legacy
// form gives, at once, without the wait a lone ESC byte needs.
TEST(KeyDecoder, KeyboardProtocolFormsGiveTheCodesOfTheirLegacyForms) {
  // clang-format off
  const struct {
    const char* name;
    std::string protocol;
    std::string legacy;
  } pairs[] = {
      {"Esc", "\x1b[27u", "\x1b"},
      {"Alt+Esc", "\x1b[27;3u", "\x1b\x1b"},
      {"Alt+a", "\x1b[97;3u", "\x1b" "a"},
      {"Alt+1", "\x1b[49;3u", "\x1b" "1"},
      {"Ctrl+a", "\x1b[97;5u", "\x01"},
      {"Ctrl+Alt+a", "\x1b[97;7u", "\x1b\x01"},
      {"Ctrl+\\", "\x1b[92;5u", "\x1c"},
      {"Ctrl+]", "\x1b[93;5u", "\x1d"},
      {"Ctrl+Space", "\x1b[32;5u", std::string("\0", 1)},
      {"Alt+Enter", "\x1b[13;3u", "\x1b\r"},
      {"Alt+Backspace", "\x1b[127;3u", "\x1b\x7f"},
      {"keypad 0", "\x1b[57399u", "\x1bOp"},
      {"keypad 9", "\x1b[57408u", "\x1bOy"},
      {"keypad Enter", "\x1b[57414u", "\x1bOM"},
      {"keypad minus", "\x1b[57412u", "\x1bOm"},
      {"keypad Ctrl+5", "\x1b[57404;5u", "\x1bO5u"},
      {"keypad Up", "\x1b[57419u", "\x1b[A"},
      {"keypad Ctrl+Left", "\x1b[57417;5u", "\x1b[1;5D"},
      {"keypad Shift+End", "\x1b[57424;2u", "\x1b[1;2F"},
      {"keypad Alt+Delete", "\x1b[57426;3u", "\x1b[3;3~"},
      {"keypad PageUp", "\x1b[57421u", "\x1b[5~"},
      {"keypad Insert", "\x1b[57425u", "\x1b[2~"},
      {"F1", "\x1b[P", "\x1bOP"},
      {"Ctrl+F3", "\x1b[13;5~", "\x1b[1;5R"},
      {"Alt+F12", "\x1b[24;3~", "\x1b\x1b[24~"},
      {"Ctrl+Shift+Home", "\x1b[1;6H", "\x1b[7@"},
  };
  // clang-format on
  for (const auto& pair : pairs) {
    Feeder feeder;
    feeder.feed(pair.protocol);
    EXPECT_EQ(feeder.seen(), decode(pair.legacy)) << pair.name;
    EXPECT_EQ(feeder.flush_in(), -1) << pair.name << ": something left to wait for";
  }
  // Keys the legacy forms lose, as they begin sequences: Alt+[ and Alt+Shift+O.
  EXPECT_EQ(decode("\x1b[91;3u"), Seen{"0,26"});
  EXPECT_EQ(decode("\x1b[111;4u"), Seen{"0,24"});
}

// Every keypad key as the keyboard protocol reports it, with Num Lock on (the
// lock's bit, 128, in the modifiers) and off, gives the codes its legacy form
// gives in that state.
TEST(KeyDecoder, KeypadCodePointsInBothNumLockStatesGiveTheirLegacyCodes) {
  const struct {
    const char* name;
    int lock_on;  // the code point with Num Lock on
    std::string legacy_on;
    int lock_off;  // and off
    std::string legacy_off;
  } keys[] = {
      {"0", 57399, "0", 57425, "\x1b[2~"}, {"1", 57400, "1", 57424, "\x1b[F"},
      {"2", 57401, "2", 57420, "\x1b[B"},  {"3", 57402, "3", 57422, "\x1b[6~"},
      {"4", 57403, "4", 57417, "\x1b[D"},  {"5", 57404, "5", 57427, "\x1b[E"},
      {"6", 57405, "6", 57418, "\x1b[C"},  {"7", 57406, "7", 57423, "\x1b[H"},
      {"8", 57407, "8", 57419, "\x1b[A"},  {"9", 57408, "9", 57421, "\x1b[5~"},
      {".", 57409, ".", 57426, "\x1b[3~"}, {"/", 57410, "/", 57410, "/"},
      {"*", 57411, "*", 57411, "*"},       {"-", 57412, "-", 57412, "-"},
      {"+", 57413, "+", 57413, "+"},       {"Enter", 57414, "\r", 57414, "\r"},
      {"=", 57415, "=", 57415, "="},       {"separator", 57416, ",", 57416, ","},
  };
  for (const auto& key : keys) {
    EXPECT_EQ(decode("\x1b[" + std::to_string(key.lock_on) + ";129u"), decode(key.legacy_on))
        << key.name;
    EXPECT_EQ(decode("\x1b[" + std::to_string(key.lock_off) + "u"), decode(key.legacy_off))
        << key.name;
  }
}

// Replies to the start-up query are noted until the attributes, the last
// reply, have come; a mode 2026 that is not known is not noted.
TEST(KeyDecoder, RepliesToTheQueryAreNotedUpToTheAttributes) {
  const struct {
    std::string bytes;
    int reports;
  } cases[] = {
      {"\x1b[?5u\x1b[?2026;2$y\x1b[?62;22c",
       REPORT_KEYBOARD_FLAGS | REPORT_SYNC_OUTPUT | REPORT_ATTRIBUTES},
      {"\x1b[?2026;0$y\x1b[?1;2c", REPORT_ATTRIBUTES},
      {"\x1b[?2026;4$y\x1b[?1;2c", REPORT_ATTRIBUTES},
      {"\x1b[?1;2c\x1b[?0u\x1b[?2026;1$y", REPORT_ATTRIBUTES},
      {"\x1b[?0u", REPORT_KEYBOARD_FLAGS},
      {"\x1b[0u\x1b[2026;2$y\x1b[62c", 0},
  };
  for (const auto& c : cases) {
    KeyDecoder decoder{};
    decoder_reset(decoder);
    KeyEvent out[DECODER_MAX_EVENTS];
    for (char byte : c.bytes)
      EXPECT_EQ(decoder_feed(decoder, static_cast<unsigned char>(byte), 0, out), 0);
    EXPECT_EQ(decoder.reports, c.reports) << c.bytes.substr(1);
  }
}

TEST(KeyDecoder, LoneEscResolvesAfterFiftyMillisecondsOfSilence) {
  Feeder feeder;
  EXPECT_EQ(feeder.flush_in(), -1);
  feeder.feed("\x1b");
  EXPECT_EQ(feeder.flush_in(), ESCAPE_WAIT_MS);
  feeder.wait(49);
  EXPECT_EQ(feeder.seen(), Seen{});
  EXPECT_EQ(feeder.flush_in(), 1);
  feeder.wait(1);
  EXPECT_EQ(feeder.seen(), Seen{"27"});
  EXPECT_EQ(feeder.flush_in(), -1);
  // Resolved, the Esc is gone: a letter after it is a letter.
  feeder.feed("x");
  EXPECT_EQ(feeder.seen(), (Seen{"27", "120"}));
}

TEST(KeyDecoder, EscWaitSurvivesTheClockWrapping) {
  Feeder feeder(0xFFFFFFF0u);
  feeder.feed("\x1b");
  feeder.wait(49);  // the clock has wrapped past 0 by now
  EXPECT_EQ(feeder.seen(), Seen{});
  feeder.wait(1);
  EXPECT_EQ(feeder.seen(), Seen{"27"});
}

TEST(KeyDecoder, EscThenALetterWithinTheWaitIsAltWithTheLetter) {
  Feeder feeder;
  feeder.feed("\x1b");
  feeder.wait(30);
  feeder.feed("m");
  EXPECT_EQ(feeder.seen(), Seen{"0,50"});
  const KeyPress press = feeder.events()[0].press;
  EXPECT_EQ(press.key, 'M');
  EXPECT_EQ(press.modifiers, MOD_ALT);
  EXPECT_EQ(press.typed, 0);
}

TEST(KeyDecoder, UnfinishedUnitsResolveAfterTheirWait) {
  struct Flushed {
    const char* name;
    std::string bytes;
    int wait_ms;
    Seen codes;
  } cases[] = {
      {"Esc Esc is Alt+Esc", "\x1b\x1b", ESCAPE_WAIT_MS, {"0,1"}},
      {"a partial UTF-8 character gives its bytes", "\xe2\x82", ESCAPE_WAIT_MS, {"226", "130"}},
      {"Alt with a partial UTF-8 character", "\x1b\xc3", ESCAPE_WAIT_MS, {"195"}},
      // begun sequences wait long and are then dropped, never Esc and letters
      {"Esc [", "\x1b[", SEQUENCE_WAIT_MS, {}},
      {"Esc O", "\x1bO", SEQUENCE_WAIT_MS, {}},
      {"an unfinished CSI", "\x1b[1;5", SEQUENCE_WAIT_MS, {}},
      {"an unfinished SS3", "\x1bO5", SEQUENCE_WAIT_MS, {}},
      {"an unfinished Linux console key", "\x1b[[", SEQUENCE_WAIT_MS, {}},
      {"a mouse report short of its raw bytes", "\x1b[M H", SEQUENCE_WAIT_MS, {}},
      {"an unfinished SGR mouse report", "\x1b[<0;4", SEQUENCE_WAIT_MS, {}},
      {"rxvt's Alt with a begun sequence", "\x1b\x1b[", SEQUENCE_WAIT_MS, {}},
  };
  for (const Flushed& c : cases) {
    Feeder feeder;
    feeder.feed(c.bytes);
    EXPECT_EQ(feeder.flush_in(), c.wait_ms) << c.name;
    feeder.wait(c.wait_ms - 1);
    EXPECT_EQ(feeder.seen(), Seen{}) << c.name << " resolved too early";
    feeder.wait(1);
    EXPECT_EQ(feeder.flush_in(), -1) << c.name;
    feeder.feed("k");  // the decoder is clean again
    Seen expected = c.codes;
    expected.push_back("107");
    EXPECT_EQ(feeder.seen(), expected) << c.name;
  }
}

TEST(KeyDecoder, OverlongSequenceIsDroppedWhole) {
  std::string bytes = "\x1b[";
  bytes += std::string(3 * DECODER_BUFFER, '1');
  bytes += "A";
  EXPECT_EQ(decode(bytes + "z"), Seen{"122"});
  // Cut short by a control byte instead of a final, the byte still counts.
  EXPECT_EQ(decode(bytes.substr(0, bytes.size() - 1) + "\r"), Seen{"13"});
  // One that overflows with intermediates and parameters mixed.
  EXPECT_EQ(decode("\x1b[" + std::string(2 * DECODER_BUFFER, ';') + " q\x1b[B"), Seen{"0,80"});
  // Trickling in, the bytes past the buffer keep the wait from running out.
  Feeder feeder;
  for (char byte : bytes) {
    feeder.feed(std::string(1, byte));
    feeder.wait(ESCAPE_WAIT_MS - 1);
  }
  feeder.wait(ESCAPE_WAIT_MS);
  EXPECT_EQ(feeder.seen(), Seen{});
}

TEST(KeyDecoder, ControlBytesAreTheirKeys) {
  struct Byte {
    int byte;
    int key;
    int modifiers;
    std::string codes;
  } cases[] = {
      {13, VKEY_ENTER, 0, "13"},
      {10, VKEY_ENTER, MOD_CTRL, "10"},
      {127, VKEY_BACKSPACE, 0, "8"},
      {8, VKEY_BACKSPACE, 0, "8"},
      {9, VKEY_TAB, 0, "9"},
      {0, VKEY_SPACE, MOD_CTRL, "0,3"},
      {1, 'A', MOD_CTRL, "1"},
      {3, 'C', MOD_CTRL, "3"},
      {7, 'G', MOD_CTRL, "7"},
      {11, 'K', MOD_CTRL, "11"},
      {26, 'Z', MOD_CTRL, "26"},
      {28, VKEY_BACKSLASH, MOD_CTRL, "28"},
      {29, VKEY_RIGHT_BRACKET, MOD_CTRL, "29"},
      {30, '6', MOD_CTRL, "30"},
      {31, VKEY_MINUS, MOD_CTRL, "31"},
  };
  for (const Byte& c : cases) {
    Feeder feeder;
    feeder.feed(std::string(1, static_cast<char>(c.byte)));
    ASSERT_EQ(feeder.events().size(), 1u) << c.byte;
    const KeyPress press = feeder.events()[0].press;
    EXPECT_EQ(press.key, c.key) << c.byte;
    EXPECT_EQ(press.modifiers, c.modifiers) << c.byte;
    EXPECT_EQ(describe(feeder.events()[0]), c.codes) << c.byte;
    // What the control byte types is also what the table gives for the key
    // with Ctrl, so console_key_ready and console_read_key agree.
    if (c.byte != 0 && press.typed != 0) {
      const KeyCodes table = select_codes({press.key, press.modifiers, 0});
      EXPECT_EQ(table.count, 1) << c.byte;
      EXPECT_EQ(table.first, press.typed == 8 ? 8 : c.byte) << c.byte;
    }
  }
}

TEST(KeyDecoder, PrintableCharactersAreTheKeysThatTypeThem) {
  for (int ch = 32; ch <= 126; ++ch) {
    Feeder feeder;
    feeder.feed(std::string(1, static_cast<char>(ch)));
    ASSERT_EQ(feeder.events().size(), 1u) << ch;
    const KeyEvent event = feeder.events()[0];
    EXPECT_EQ(event.text[0], '\0') << ch;
    EXPECT_EQ(event.press.typed, ch) << ch;
    // The key and Shift state must be the ones whose table cell is this
    // very character: that catches a character put on the wrong key.
    const KeyCodes table = select_codes(event.press);
    EXPECT_EQ(table.count, 1) << static_cast<char>(ch);
    EXPECT_EQ(table.first, ch) << static_cast<char>(ch);
    EXPECT_EQ(event.press.modifiers & ~MOD_SHIFT, 0) << static_cast<char>(ch);
  }
}

// clang-format off
TEST(KeyDecoder, PrintableCharactersOnTheUsLayout) {
  struct Char {
    char ch;
    int key;
    int modifiers;
  } cases[] = {
      {'a', 'A', 0},           {'A', 'A', MOD_SHIFT},       {'7', '7', 0},
      {'!', '1', MOD_SHIFT},   {')', '0', MOD_SHIFT},       {':', VKEY_SEMICOLON, MOD_SHIFT},
      {'+', VKEY_EQUALS, MOD_SHIFT}, {'{', VKEY_LEFT_BRACKET, MOD_SHIFT},
      {'~', VKEY_GRAVE, MOD_SHIFT},  {'|', VKEY_BACKSLASH, MOD_SHIFT},
      {'"', VKEY_APOSTROPHE, MOD_SHIFT}, {'?', VKEY_SLASH, MOD_SHIFT},
      {'_', VKEY_MINUS, MOD_SHIFT},  {' ', VKEY_SPACE, 0},
  };
  // clang-format on
  for (const Char& c : cases) {
    Feeder feeder;
    feeder.feed(std::string(1, c.ch));
    ASSERT_EQ(feeder.events().size(), 1u) << c.ch;
    EXPECT_EQ(feeder.events()[0].press.key, c.key) << c.ch;
    EXPECT_EQ(feeder.events()[0].press.modifiers, c.modifiers) << c.ch;
  }
}

TEST(KeyDecoder, AltWithAPrintableTypesNothingSoTheAltColumnApplies) {
  for (int ch = 33; ch <= 126; ++ch) {
    if (ch == '[' || ch == 'O') continue;  // these begin sequences; covered by the wait tests
    const Seen seen = decode(std::string("\x1b") + static_cast<char>(ch));
    ASSERT_EQ(seen.size(), 1u) << static_cast<char>(ch);
    EXPECT_EQ(seen[0].rfind("0,", 0), 0u) << static_cast<char>(ch) << " gave " << seen[0];
  }
}

// A character beyond ASCII is its text for the line editor and its code page
// 437 byte for every other reader; a byte that is no UTF-8 is itself.
TEST(KeyDecoder, Utf8CharactersAreWholeTextEvents) {
  // clang-format off
  const Case cases[] = {
      {"e acute", "\xc3\xa9", {"text:\xc3\xa9=130"}},
      {"u umlaut", "\xc3\xbc", {"text:\xc3\xbc=129"}},
      {"a umlaut", "\xc3\xa4", {"text:\xc3\xa4=132"}},
      {"n tilde", "\xc3\xb1", {"text:\xc3\xb1=164"}},
      {"pound sign", "\xc2\xa3", {"text:\xc2\xa3=156"}},
      {"euro sign, not in the code page", "\xe2\x82\xac", {"text:\xe2\x82\xac=63"}},
      {"four bytes", "\xf0\x9f\x98\x80", {"text:\xf0\x9f\x98\x80=63"}},
      {"a C1 control", "\xc2\x85", {"text:\xc2\x85=63"}},
      {"between letters", "a\xc3\xa9z", {"97", "text:\xc3\xa9=130", "122"}},
      {"a stray continuation byte", "\x80" "a", {"128", "97"}},
      {"an overlong form", "\xc0\xaf" "a", {"192", "175", "97"}},
      {"an overlong three-byte form", "\xe0\x80\xaf" "a", {"224", "128", "175", "97"}},
      {"a UTF-16 surrogate", "\xed\xa0\x80" "a", {"237", "160", "128", "97"}},
      {"beyond U+10FFFF", "\xf4\x90\x80\x80" "a", {"244", "144", "128", "128", "97"}},
      {"lead bytes that no character has", "\xff\xf5" "a", {"255", "245", "97"}},
      {"a character broken off by ASCII", "\xe2\x82" "a", {"226", "130", "97"}},
      {"a character broken off by Esc", "\xe2\x1b[A", {"226", "0,72"}},
  };
  // clang-format on
  for (const Case& c : cases) {
    EXPECT_EQ(decode(c.bytes), c.codes) << c.name;
    for (size_t cut = 1; cut < c.bytes.size(); ++cut) {
      Feeder feeder;
      feeder.feed(c.bytes.substr(0, cut));
      feeder.wait(ESCAPE_WAIT_MS - 1);
      feeder.feed(c.bytes.substr(cut));
      feeder.wait(ESCAPE_WAIT_MS);
      EXPECT_EQ(feeder.seen(), c.codes) << c.name << ", split at " << cut;
    }
  }
  const std::vector<KeyEvent> events = [] {
    Feeder feeder;
    feeder.feed("\xc3\xa9");
    return feeder.events();
  }();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].press.key, 0);
  EXPECT_TRUE(counts_as_key(events[0].press));  // it ends a wait for any key
}

TEST(KeyDecoder, AltWithTextKeepsTheText) {
  Feeder feeder;
  feeder.feed("\x1b\xc3\xa9");
  ASSERT_EQ(feeder.events().size(), 1u);
  EXPECT_STREQ(feeder.events()[0].text, "\xc3\xa9");
  EXPECT_EQ(feeder.events()[0].press.modifiers, MOD_ALT);
  EXPECT_EQ(feeder.events()[0].press.key, 0);
  EXPECT_EQ(describe(feeder.events()[0]), "text:\xc3\xa9=130");
}

TEST(KeyDecoder, ResetForgetsWhatIsPending) {
  KeyDecoder decoder{};
  decoder_reset(decoder);
  KeyEvent out[DECODER_MAX_EVENTS];
  EXPECT_EQ(decoder_feed(decoder, 0x1b, 5, out), 0);
  EXPECT_EQ(decoder_feed(decoder, '[', 5, out), 0);
  decoder_reset(decoder);
  EXPECT_EQ(decoder_flush_in(decoder, 5, false), -1);
  ASSERT_EQ(decoder_feed(decoder, 'A', 6, out), 1);
  EXPECT_EQ(describe(out[0]), "65");
}

}  // namespace
}  // namespace vormi
