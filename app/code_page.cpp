#include "code_page.h"

#include <cstdint>

namespace {

// The characters of 80..9F; the undefined five are the control characters
// of the same numbers.
const uint16_t UPPER_HALF[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

uint32_t characterOf(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? UPPER_HALF[byte - 0x80] : byte;
}

// The byte of a character, or '?' when 1252 has none.
char byteOf(uint32_t code) {
  if (code < 0x80 || (code >= 0xA0 && code <= 0xFF))
    return static_cast<char>(code);
  for (int i = 0; i < 32; ++i)
    if (UPPER_HALF[i] == code)
      return static_cast<char>(0x80 + i);
  return '?';
}

void appendUtf8(std::string &out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else { // 1252's characters all lie below 0x10000
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// The length of the UTF-8 sequence that starts at text[i], with its
// character in code; 0 when the bytes there are not one.
size_t utf8Sequence(const std::string &text, size_t i, uint32_t &code) {
  unsigned char lead = static_cast<unsigned char>(text[i]);
  size_t length = lead < 0x80                   ? 1
                  : lead >= 0xC2 && lead < 0xE0 ? 2
                  : lead >= 0xE0 && lead < 0xF0 ? 3
                  : lead >= 0xF0 && lead < 0xF5 ? 4
                                                : 0;
  if (length == 0 || i + length > text.size())
    return 0;
  code = length == 1 ? lead : lead & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    unsigned char next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80)
      return 0;
    code = (code << 6) | (next & 0x3F);
  }
  static const uint32_t shortest[5] = {0, 0, 0x80, 0x800, 0x10000};
  bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  return code >= shortest[length] && code <= 0x10FFFF && !surrogate ? length : 0;
}

} // namespace

std::string cp1252ToUtf8(const std::string &text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (unsigned char byte : text)
    appendUtf8(out, characterOf(byte));
  return out;
}

std::string utf8ToCp1252(const std::string &utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    uint32_t code = 0;
    size_t length = utf8Sequence(utf8, i, code);
    out += length ? byteOf(code) : utf8[i];
    i += length ? length : 1;
  }
  return out;
}
