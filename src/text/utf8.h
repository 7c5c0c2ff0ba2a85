// UTF-8, checked the one way the console, the line editor and the score table
// all need: no overlong forms, no UTF-16 surrogates, nothing past U+10FFFF.
#pragma once

namespace vormi {

// Whether byte continues a character (10xxxxxx).
inline bool utf8_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// How many bytes a character starting with lead takes: 2 to 4, or 0 when no
// character of two or more bytes starts with it.
int utf8_lead_length(unsigned char lead);

// Whether byte may stand at index (1 to 3) of a character starting with lead.
bool utf8_fits_after(unsigned char lead, int index, unsigned char byte);

// The length of the character of two or more bytes at text, 0 when the size
// bytes there do not start with one. Its code point goes to code when given.
int utf8_char_length(const unsigned char* text, int size, int* code = nullptr);

// Writes code point code, from U+0080 up, as UTF-8 into out (room for 4
// bytes); returns how many bytes it took (2 to 4).
int utf8_encode(int code, char* out);

}  // namespace vormi
