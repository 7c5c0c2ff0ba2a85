// The keys behind terminal bytes. Between them, xterm, VTE terminals, kitty,
// alacritty, rxvt-unicode, the Linux console, tmux and screen send these
// forms for the keys that type nothing:
//   CSI A-D, SS3 A-D          arrows (SS3 in application cursor mode)
//   CSI H/F, SS3 H/F          Home, End
//   SS3 P-S, CSI 1;m P-S      F1 to F4
//   CSI n ~, CSI n;m ~        navigation keys and F1 to F12 (table below)
//   CSI 1;m X                 any of the above with modifiers
//   CSI a-d, SS3 a-d          rxvt: Shift+arrows, Ctrl+arrows
//   CSI n $, n ^, n @         rxvt: Shift, Ctrl, Ctrl+Shift with CSI n ~
//   CSI [ A-E                 the Linux console's F1 to F5
//   CSI Z                     Shift+Tab
//   CSI c;m u, CSI 27;m;c ~   kitty's and xterm's reports of a character key
//                             (and, with the keyboard enhancement protocol, of
//                             Esc, Ctrl and Alt keys and the keypad's keys)
// where m - 1 holds the modifiers as bits: Shift 1, Alt 2, Ctrl 4.
#include "console/keys/key_sequences.h"

#include <cstring>

namespace vormi {
namespace {

constexpr int SHIFT = MOD_SHIFT;
constexpr int CTRL = MOD_CTRL;

KeyEvent key_event(int key, int modifiers, int typed) {
  KeyEvent event = {};
  event.press = {key, modifiers, typed};
  return event;
}

// The printable characters other than letters and unshifted digits, as the
// key that types them on the US layout and whether Shift is held.
struct CharKey {
  char ch;
  int key;
  int modifiers;
};

// clang-format off
constexpr CharKey CHAR_KEYS[] = {
    {' ', VKEY_SPACE, 0},
    {')', '0', SHIFT}, {'!', '1', SHIFT}, {'@', '2', SHIFT}, {'#', '3', SHIFT},
    {'$', '4', SHIFT}, {'%', '5', SHIFT}, {'^', '6', SHIFT}, {'&', '7', SHIFT},
    {'*', '8', SHIFT}, {'(', '9', SHIFT},
    {'`', VKEY_GRAVE, 0},          {'~', VKEY_GRAVE, SHIFT},
    {'-', VKEY_MINUS, 0},          {'_', VKEY_MINUS, SHIFT},
    {'=', VKEY_EQUALS, 0},         {'+', VKEY_EQUALS, SHIFT},
    {'[', VKEY_LEFT_BRACKET, 0},   {'{', VKEY_LEFT_BRACKET, SHIFT},
    {']', VKEY_RIGHT_BRACKET, 0},  {'}', VKEY_RIGHT_BRACKET, SHIFT},
    {'\\', VKEY_BACKSLASH, 0},     {'|', VKEY_BACKSLASH, SHIFT},
    {';', VKEY_SEMICOLON, 0},      {':', VKEY_SEMICOLON, SHIFT},
    {'\'', VKEY_APOSTROPHE, 0},    {'"', VKEY_APOSTROPHE, SHIFT},
    {',', VKEY_COMMA, 0},          {'<', VKEY_COMMA, SHIFT},
    {'.', VKEY_PERIOD, 0},         {'>', VKEY_PERIOD, SHIFT},
    {'/', VKEY_SLASH, 0},          {'?', VKEY_SLASH, SHIFT},
};
// clang-format on

// Control bytes that are not simply Ctrl with a letter.
struct ControlKey {
  int byte;
  int key;
  int modifiers;
  int typed;
};

// clang-format off
constexpr ControlKey CONTROL_KEYS[] = {
    {0, VKEY_SPACE, CTRL, 0},  // NUL types nothing, so the Ctrl column decides
    {8, VKEY_BACKSPACE, 0, 8},
    {9, VKEY_TAB, 0, 9},
    {10, VKEY_ENTER, CTRL, 10},
    {13, VKEY_ENTER, 0, 13},
    {27, VKEY_ESCAPE, 0, 27},
    {28, VKEY_BACKSLASH, CTRL, 28},
    {29, VKEY_RIGHT_BRACKET, CTRL, 29},
    {30, '6', CTRL, 30},
    {31, VKEY_MINUS, CTRL, 31},
    {127, VKEY_BACKSPACE, 0, 8},  // most terminals send DEL for Backspace
};
// clang-format on

// The key and Shift state that type a printable character; false for none.
bool key_of_char(int ch, int& key, int& modifiers) {
  if (ch >= 'a' && ch <= 'z') {
    key = ch - 'a' + 'A';
    modifiers = 0;
    return true;
  }
  if ((ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9')) {
    key = ch;
    modifiers = (ch >= 'A') ? SHIFT : 0;
    return true;
  }
  for (const CharKey& entry : CHAR_KEYS) {
    if (entry.ch == ch) {
      key = entry.key;
      modifiers = entry.modifiers;
      return true;
    }
  }
  return false;
}

// The character a key types with or without Shift; 0 for none.
int char_of_key(int key, bool shifted) {
  if (is_letter_key(key)) return shifted ? key : key - 'A' + 'a';
  if (is_digit_key(key) && !shifted) return key;
  const int wanted = shifted ? SHIFT : 0;
  for (const CharKey& entry : CHAR_KEYS)
    if (entry.key == key && entry.modifiers == wanted) return entry.ch;
  return 0;
}

// What a key reported by its code point types, the way the same press typed
// by a plain byte would: with Alt nothing, with Ctrl only letters (their
// control bytes) and Enter (LF), Shift+Tab nothing.
int typed_by(int key, int modifiers, bool caps_lock) {
  if ((modifiers & MOD_ALT) != 0) return 0;
  const bool shifted = (modifiers & SHIFT) != 0;
  if ((modifiers & CTRL) != 0) {
    if (is_letter_key(key)) return key - 'A' + 1;
    return key == VKEY_ENTER ? 10 : 0;
  }
  switch (key) {
    case VKEY_TAB: return shifted ? 0 : 9;
    case VKEY_ENTER: return 13;
    case VKEY_BACKSPACE: return 8;
    case VKEY_ESCAPE: return 27;
    default: break;
  }
  const bool upper = is_letter_key(key) ? (shifted != caps_lock) : shifted;
  return char_of_key(key, upper);
}

// Numeric parameters of a sequence: up to MAX_PARAMS numbers split by ';';
// of each only the first ':' sub-parameter counts, except the event type
// (1 press, 2 repeat, 3 release) that kitty puts after the modifiers.
constexpr int MAX_PARAMS = 4;
constexpr int PARAM_CAP = 0x10FFFF;  // the last code point; larger numbers mean nothing

struct Params {
  int count;
  int value[MAX_PARAMS];
  int event_type;
};

bool parse_params(const unsigned char* bytes, int length, Params& params) {
  params = {1, {0, 0, 0, 0}, 1};
  int sub = 0;
  for (int i = 0; i < length; ++i) {
    const unsigned char byte = bytes[i];
    if (byte >= '0' && byte <= '9') {
      int* target = nullptr;
      if (sub == 0)
        target = &params.value[params.count - 1];
      else if (sub == 1 && params.count == 2)
        target = &params.event_type;
      if (target != nullptr) {
        *target = *target * 10 + (byte - '0');
        if (*target > PARAM_CAP) return false;  // no key has such a number
      }
    } else if (byte == ';') {
      if (params.count == MAX_PARAMS) return false;
      ++params.count;
      sub = 0;
    } else if (byte == ':') {
      ++sub;
      if (sub == 1 && params.count == 2) params.event_type = 0;
    } else {
      return false;  // private markers and intermediates: not a key
    }
  }
  return params.event_type != 3;  // a key release is not a key press
}

int modifier_bits(int parameter) {
  return parameter >= 2 ? (parameter - 1) & (MOD_SHIFT | MOD_ALT | MOD_CTRL) : 0;
}

struct FinalKey {
  unsigned char final;
  int key;
  int modifiers;
};

// clang-format off
constexpr FinalKey CSI_FINALS[] = {
    {'A', VKEY_UP, 0},          {'B', VKEY_DOWN, 0},
    {'C', VKEY_RIGHT, 0},       {'D', VKEY_LEFT, 0},
    {'H', VKEY_HOME, 0},        {'F', VKEY_END, 0},
    {'P', VKEY_F1, 0},          {'Q', VKEY_F1 + 1, 0},
    {'R', VKEY_F1 + 2, 0},      {'S', VKEY_F1 + 3, 0},
    {'Z', VKEY_TAB, SHIFT},
    {'a', VKEY_UP, SHIFT},      {'b', VKEY_DOWN, SHIFT},  // rxvt
    {'c', VKEY_RIGHT, SHIFT},   {'d', VKEY_LEFT, SHIFT},
};
// clang-format on

// clang-format off
constexpr FinalKey SS3_FINALS[] = {
    {'A', VKEY_UP, 0},          {'B', VKEY_DOWN, 0},
    {'C', VKEY_RIGHT, 0},       {'D', VKEY_LEFT, 0},
    {'H', VKEY_HOME, 0},        {'F', VKEY_END, 0},
    {'P', VKEY_F1, 0},          {'Q', VKEY_F1 + 1, 0},
    {'R', VKEY_F1 + 2, 0},      {'S', VKEY_F1 + 3, 0},
    {'a', VKEY_UP, CTRL},       {'b', VKEY_DOWN, CTRL},  // rxvt
    {'c', VKEY_RIGHT, CTRL},    {'d', VKEY_LEFT, CTRL},
};
// clang-format on

// The keypad in application mode: SS3 and a final, typing its character. The
// keyboard enhancement protocol reports the same keys by their own code points.
struct KeypadKey {
  unsigned char final;
  int codepoint;
  int key;
  int typed;
};

// clang-format off
constexpr KeypadKey KEYPAD_FINALS[] = {
    {'M', 57414, VKEY_ENTER, 13},
    {'j', 57411, VKEY_NUMPAD_MULTIPLY, '*'},  {'k', 57413, VKEY_NUMPAD_PLUS, '+'},
    {'m', 57412, VKEY_NUMPAD_MINUS, '-'},     {'n', 57409, VKEY_NUMPAD_DECIMAL, '.'},
    {'o', 57410, VKEY_NUMPAD_DIVIDE, '/'},
    {'p', 57399, VKEY_NUMPAD_0 + 0, '0'}, {'q', 57400, VKEY_NUMPAD_0 + 1, '1'},
    {'r', 57401, VKEY_NUMPAD_0 + 2, '2'}, {'s', 57402, VKEY_NUMPAD_0 + 3, '3'},
    {'t', 57403, VKEY_NUMPAD_0 + 4, '4'}, {'u', 57404, VKEY_NUMPAD_0 + 5, '5'},
    {'v', 57405, VKEY_NUMPAD_0 + 6, '6'}, {'w', 57406, VKEY_NUMPAD_0 + 7, '7'},
    {'x', 57407, VKEY_NUMPAD_0 + 8, '8'}, {'y', 57408, VKEY_NUMPAD_0 + 9, '9'},
};
// clang-format on

// The keypad's navigation keys by the protocol's code points; in the legacy
// forms they send what the keys of the same names send.
struct KeypadMove {
  int codepoint;
  int key;
};

// clang-format off
constexpr KeypadMove KEYPAD_MOVES[] = {
    {57417, VKEY_LEFT},    {57418, VKEY_RIGHT},     {57419, VKEY_UP},
    {57420, VKEY_DOWN},    {57421, VKEY_PAGE_UP},   {57422, VKEY_PAGE_DOWN},
    {57423, VKEY_HOME},    {57424, VKEY_END},       {57425, VKEY_INSERT},
    {57426, VKEY_DELETE},
};
// clang-format on

// A keypad key typed with Ctrl or Alt types nothing.
KeyEvent keypad_event(const KeypadKey& pad, int modifiers) {
  const bool types = (modifiers & (MOD_CTRL | MOD_ALT)) == 0;
  return key_event(pad.key, modifiers, types ? pad.typed : 0);
}

// A keypad key reported by its code point.
bool keypad_codepoint_key(int codepoint, int modifiers, KeyEvent& event) {
  for (const KeypadKey& pad : KEYPAD_FINALS) {
    if (pad.codepoint == codepoint) {
      event = keypad_event(pad, modifiers);
      return true;
    }
  }
  for (const KeypadMove& move : KEYPAD_MOVES) {
    if (move.codepoint == codepoint) {
      event = key_event(move.key, modifiers, 0);
      return true;
    }
  }
  return false;
}

// CSI n ~. rxvt and the Linux console send F13 to F20 (25 to 34) for
// Shift+F3 to Shift+F10; their Shift+F1 and F2 are F11 and F12 (23, 24).
struct TildeKey {
  int number;
  int key;
  int modifiers;
};

// clang-format off
constexpr TildeKey TILDE_KEYS[] = {
    {1, VKEY_HOME, 0},           {7, VKEY_HOME, 0},
    {4, VKEY_END, 0},            {8, VKEY_END, 0},
    {2, VKEY_INSERT, 0},         {3, VKEY_DELETE, 0},
    {5, VKEY_PAGE_UP, 0},        {6, VKEY_PAGE_DOWN, 0},
    {11, VKEY_F1 + 0, 0},        {12, VKEY_F1 + 1, 0},
    {13, VKEY_F1 + 2, 0},        {14, VKEY_F1 + 3, 0},
    {15, VKEY_F1 + 4, 0},        {17, VKEY_F1 + 5, 0},
    {18, VKEY_F1 + 6, 0},        {19, VKEY_F1 + 7, 0},
    {20, VKEY_F1 + 8, 0},        {21, VKEY_F1 + 9, 0},
    {23, VKEY_F1 + 10, 0},       {24, VKEY_F1 + 11, 0},
    {25, VKEY_F1 + 2, SHIFT},    {26, VKEY_F1 + 3, SHIFT},
    {28, VKEY_F1 + 4, SHIFT},    {29, VKEY_F1 + 5, SHIFT},
    {31, VKEY_F1 + 6, SHIFT},    {32, VKEY_F1 + 7, SHIFT},
    {33, VKEY_F1 + 8, SHIFT},    {34, VKEY_F1 + 9, SHIFT},
};
// clang-format on

// rxvt's finals in place of '~': the modifiers they stand for.
int tilde_final_modifiers(unsigned char final) {
  switch (final) {
    case '$': return SHIFT;
    case '^': return CTRL;
    case '@': return CTRL | SHIFT;
    default: return 0;
  }
}

// The keypad's = and separator keys have no code of their own: they type
// their characters, as the legacy forms do.
int keypad_character(int codepoint) {
  switch (codepoint) {
    case 57415: return '=';
    case 57416: return ',';
    default: return codepoint;
  }
}

// A key reported by its code point with a modifier parameter.
bool codepoint_key(int reported, int modifier_parameter, KeyEvent& event) {
  const int codepoint = keypad_character(reported);
  const int bits = modifier_parameter >= 1 ? modifier_parameter - 1 : 0;
  const bool caps_lock = (bits & 64) != 0;
  int modifiers = bits & (MOD_SHIFT | MOD_ALT | MOD_CTRL);
  int key = 0;
  int implied = 0;
  switch (codepoint) {
    case 27: key = VKEY_ESCAPE; break;
    case 13: key = VKEY_ENTER; break;
    case 9: key = VKEY_TAB; break;
    case 8:
    case 127: key = VKEY_BACKSPACE; break;
    default:
      if (keypad_codepoint_key(codepoint, modifiers, event)) return true;
      if (codepoint < 32 || codepoint > 126 || !key_of_char(codepoint, key, implied)) return false;
      break;
  }
  modifiers |= implied;
  event = key_event(key, modifiers, typed_by(key, modifiers, caps_lock));
  return true;
}

bool tilde_key(const Params& params, unsigned char final, KeyEvent& event) {
  if (params.value[0] == 27 && params.count == 3 && final == '~')
    return codepoint_key(params.value[2], params.value[1], event);
  for (const TildeKey& entry : TILDE_KEYS) {
    if (entry.number == params.value[0]) {
      const int modifiers =
          entry.modifiers | modifier_bits(params.value[1]) | tilde_final_modifiers(final);
      event = key_event(entry.key, modifiers, 0);
      return true;
    }
  }
  return false;
}

constexpr int CSI_FINAL_COUNT = sizeof(CSI_FINALS) / sizeof(CSI_FINALS[0]);
constexpr int SS3_FINAL_COUNT = sizeof(SS3_FINALS) / sizeof(SS3_FINALS[0]);

const FinalKey* find_final(const FinalKey* table, int count, unsigned char final) {
  for (int i = 0; i < count; ++i)
    if (table[i].final == final) return &table[i];
  return nullptr;
}

}  // namespace

KeyEvent key_of_byte(unsigned char byte) {
  for (const ControlKey& entry : CONTROL_KEYS)
    if (entry.byte == byte) return key_event(entry.key, entry.modifiers, entry.typed);
  if (byte >= 1 && byte <= 26) return key_event('A' + byte - 1, CTRL, byte);
  int key = 0;
  int modifiers = 0;
  if (key_of_char(byte, key, modifiers)) return key_event(key, modifiers, byte);
  return key_event(0, 0, 0);  // not reached for bytes below 128
}

bool linux_console_key(unsigned char final, KeyEvent& event) {
  if (final < 'A' || final > 'E') return false;
  event = key_event(VKEY_F1 + (final - 'A'), 0, 0);
  return true;
}

bool csi_key(const unsigned char* params, int length, unsigned char final, KeyEvent& event) {
  Params parsed = {};
  if (!parse_params(params, length, parsed)) return false;
  if (final == '~' || tilde_final_modifiers(final) != 0) return tilde_key(parsed, final, event);
  if (final == 'u') return codepoint_key(parsed.value[0], parsed.value[1], event);
  const FinalKey* entry = find_final(CSI_FINALS, CSI_FINAL_COUNT, final);
  if (entry == nullptr || parsed.value[0] > 1)
    return false;  // these keys come as CSI X or CSI 1;m X only
  event = key_event(entry->key, entry->modifiers | modifier_bits(parsed.value[1]), 0);
  return true;
}

int terminal_report(const unsigned char* params, int length, unsigned char final) {
  if (length == 0 || params[0] != '?') return 0;
  if (final == 'c') return REPORT_ATTRIBUTES;
  if (final == 'u') return REPORT_KEYBOARD_FLAGS;
  // CSI ? 2026 ; s $ y: s is 1 (set), 2 (reset) or 3 (always set) for a
  // known mode, 0 for an unknown one and 4 for one that can never be set.
  static const char SYNC_MODE[] = "?2026;";
  const int prefix = static_cast<int>(sizeof SYNC_MODE) - 1;
  if (final != 'y' || length != prefix + 2 || params[length - 1] != '$' ||
      std::memcmp(params, SYNC_MODE, static_cast<size_t>(prefix)) != 0) {
    return 0;
  }
  const unsigned char setting = params[prefix];
  return setting >= '1' && setting <= '3' ? REPORT_SYNC_OUTPUT : 0;
}

bool ss3_key(const unsigned char* params, int length, unsigned char final, KeyEvent& event) {
  Params parsed = {};
  if (!parse_params(params, length, parsed)) return false;
  // Older forms put the modifier parameter alone (ESC O 5 A) or after a 1.
  const int modifiers = modifier_bits(parsed.value[parsed.count - 1]);
  const FinalKey* entry = find_final(SS3_FINALS, SS3_FINAL_COUNT, final);
  if (entry != nullptr) {
    event = key_event(entry->key, entry->modifiers | modifiers, 0);
    return true;
  }
  for (const KeypadKey& pad : KEYPAD_FINALS) {
    if (pad.final == final) {
      event = keypad_event(pad, modifiers);
      return true;
    }
  }
  return false;
}

}  // namespace vormi
