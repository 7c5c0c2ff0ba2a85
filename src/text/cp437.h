// Code page 437, the character set of the game's bytes 0x80 to 0xFF: shown as
// Unicode on the way out, and what a typed character beyond ASCII becomes on
// the way in.
#pragma once

namespace vormi {

// The UTF-8 text of code page 437 character byte (0x80 to 0xFF); returns its length.
int cp437_utf8(unsigned char byte, char* out);
// The ASCII character that stands for byte (0x80 to 0xFF) where UTF-8 cannot be shown.
char cp437_ascii(unsigned char byte);
// The code page 437 byte (0x80 to 0xFF) of Unicode code point code, 0 when
// the code page has no such character above ASCII.
int cp437_from_code_point(int code);

}  // namespace vormi
