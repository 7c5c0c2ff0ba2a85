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

}  // namespace vormi
