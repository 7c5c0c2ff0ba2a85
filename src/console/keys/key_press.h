// The key vocabulary every part of the console's keys shares: the keys as the
// PC keyboard numbers them, the modifiers, a key press, and a decoded event.
// The codes a press yields are the key table's business, and the codes the
// game names are in key_codes.h.
#pragma once

namespace vormi {

constexpr int MOD_SHIFT = 1;
constexpr int MOD_ALT = 2;
constexpr int MOD_CTRL = 4;

// Keys, numbered as the PC keyboard numbers them (virtual-key codes).
// Digit keys are '0' to '9' and letter keys 'A' to 'Z'.
constexpr int VKEY_BACKSPACE = 0x08;
constexpr int VKEY_TAB = 0x09;
constexpr int VKEY_ENTER = 0x0D;
constexpr int VKEY_SHIFT = 0x10;
constexpr int VKEY_CTRL = 0x11;
constexpr int VKEY_ALT = 0x12;
constexpr int VKEY_ESCAPE = 0x1B;
constexpr int VKEY_SPACE = 0x20;
constexpr int VKEY_PAGE_UP = 0x21;
constexpr int VKEY_PAGE_DOWN = 0x22;
constexpr int VKEY_END = 0x23;
constexpr int VKEY_HOME = 0x24;
constexpr int VKEY_LEFT = 0x25;
constexpr int VKEY_UP = 0x26;
constexpr int VKEY_RIGHT = 0x27;
constexpr int VKEY_DOWN = 0x28;
constexpr int VKEY_INSERT = 0x2D;
constexpr int VKEY_DELETE = 0x2E;
constexpr int VKEY_NUMPAD_0 = 0x60;  // keypad digits 0x60 to 0x69
constexpr int VKEY_NUMPAD_MULTIPLY = 0x6A;
constexpr int VKEY_NUMPAD_PLUS = 0x6B;
constexpr int VKEY_NUMPAD_MINUS = 0x6D;
constexpr int VKEY_NUMPAD_DECIMAL = 0x6E;
constexpr int VKEY_NUMPAD_DIVIDE = 0x6F;
constexpr int VKEY_F1 = 0x70;  // F1 to F12 are 0x70 to 0x7B
constexpr int VKEY_SEMICOLON = 0xBA;
constexpr int VKEY_EQUALS = 0xBB;
constexpr int VKEY_COMMA = 0xBC;
constexpr int VKEY_MINUS = 0xBD;
constexpr int VKEY_PERIOD = 0xBE;
constexpr int VKEY_SLASH = 0xBF;
constexpr int VKEY_GRAVE = 0xC0;
constexpr int VKEY_LEFT_BRACKET = 0xDB;
constexpr int VKEY_BACKSLASH = 0xDC;
constexpr int VKEY_RIGHT_BRACKET = 0xDD;
constexpr int VKEY_APOSTROPHE = 0xDE;

// One key press: the key, the modifiers held (MOD_* bits) and the character it
// types (1 to 255), 0 when it types none. key is 0 for a press that no key of
// the table makes: a character beyond ASCII, which types its code page 437
// byte (128 to 255, or '?' where that code page lacks it), or a byte that is
// no UTF-8, which types itself. Such a press yields that one code.
struct KeyPress {
  int key;
  int modifiers;
  int typed;
};

inline bool is_letter_key(int key) { return key >= 'A' && key <= 'Z'; }
inline bool is_digit_key(int key) { return key >= '0' && key <= '9'; }

// A decoded event: a key press, or text beyond ASCII (one whole UTF-8
// character in text, press.key == 0 and press.typed its code page 437 byte, or
// '?' where that code page lacks it). A byte that is no part of valid UTF-8
// is a press with key 0 typing that byte, and no text.
struct KeyEvent {
  KeyPress press;
  char text[5];  // NUL-terminated; empty for key presses
};

// The terminal's replies to the start-up query, which the decoder swallows
// like every report and notes as these bits.
constexpr int REPORT_KEYBOARD_FLAGS = 1;  // CSI ? flags u: it has the keyboard enhancement protocol
constexpr int REPORT_SYNC_OUTPUT = 2;     // CSI ? 2026 ; 1-3 $ y: it knows synchronized output
constexpr int REPORT_ATTRIBUTES = 4;  // CSI ? ... c: the primary device attributes, its last reply

}  // namespace vormi
