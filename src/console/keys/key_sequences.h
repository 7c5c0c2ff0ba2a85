// What the bytes and escape sequences of terminals mean as key presses. The
// decoder finds where a unit begins and ends; these say which key it is.
#pragma once

#include "console/keys/key_press.h"

namespace vormi {

// The key that a byte below 128 is on its own: control bytes as Ctrl with a
// key, printable characters as the key that types them on the US layout.
KeyEvent key_of_byte(unsigned char byte);

// ESC [ [ final: the Linux console's F1 to F5.
bool linux_console_key(unsigned char final, KeyEvent& event);
// ESC [ params final; params are the bytes between "[" and the final.
bool csi_key(const unsigned char* params, int length, unsigned char final, KeyEvent& event);
// The terminal's replies to the start-up query (REPORT_* bits of
// key_press.h) that ESC [ params final is; 0 for none of them.
int terminal_report(const unsigned char* params, int length, unsigned char final);
// ESC O params final.
bool ss3_key(const unsigned char* params, int length, unsigned char final, KeyEvent& event);

}  // namespace vormi
