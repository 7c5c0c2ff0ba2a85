#include "text/utf8.h"

namespace vormi {

int utf8_lead_length(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;  // ASCII, a continuation byte, an overlong lead or beyond U+10FFFF
}

bool utf8_fits_after(unsigned char lead, int index, unsigned char byte) {
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  // The second byte is narrowed for some leads: that rules out overlong
  // forms, surrogates and code points beyond U+10FFFF.
  if (index == 1) {
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  }
  return byte >= low && byte <= high;
}

int utf8_char_length(const unsigned char* text, int size, int* code) {
  const int length = utf8_lead_length(text[0]);
  if (length == 0 || size < length) return 0;
  int value = text[0] & (0x7F >> length);
  for (int i = 1; i < length; ++i) {
    if (!utf8_fits_after(text[0], i, text[i])) return 0;
    value = (value << 6) | (text[i] & 0x3F);
  }
  if (code != nullptr) *code = value;
  return length;
}

int utf8_encode(int code, char* out) {
  if (code < 0x800) {
    out[0] = static_cast<char>(0xC0 | (code >> 6));
    out[1] = static_cast<char>(0x80 | (code & 0x3F));
    return 2;
  }
  if (code < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (code >> 12));
    out[1] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (code & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (code >> 18));
  out[1] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (code & 0x3F));
  return 4;
}

}  // namespace vormi
