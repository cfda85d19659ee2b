// Presenters: text at the toolkit boundary. The layer keeps 8-bit texts in
// Windows' code page 1252, as the ANSI functions take them; the toolkit and
// standard error see UTF-8.
#include "presenter.h"

#include <cstdint>

namespace winapi {
namespace {

// What 1252 shows for 80..9F, where Latin-1 has control characters; the five
// bytes 1252 leaves undefined stay those control characters, as Windows
// converts them.
const char *const kUpperHalf[32] = {u8"€", u8"\u0081", u8"‚",      u8"ƒ", u8"„", u8"…", u8"†",
                                    u8"‡", u8"ˆ",      u8"‰",      u8"Š", u8"‹", u8"Œ", u8"\u008D",
                                    u8"Ž", u8"\u008F", u8"\u0090", u8"‘", u8"’", u8"“", u8"”",
                                    u8"•", u8"–",      u8"—",      u8"˜", u8"™", u8"š", u8"›",
                                    u8"œ", u8"\u009D", u8"ž",      u8"Ÿ"};

void appendUtf8(std::string &out, uint32_t cp) {
  if (cp < 0x80) {
    out += (char)cp;
  } else if (cp < 0x800) {
    out += (char)(0xC0 | (cp >> 6));
    out += (char)(0x80 | (cp & 0x3F));
  }
}

} // namespace

std::string cp1252ToUtf8(const std::string &text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (unsigned char c : text) {
    if (c >= 0x80 && c < 0xA0)
      out += kUpperHalf[c - 0x80];
    else
      appendUtf8(out, c);
  }
  return out;
}

std::string utf8ToCp1252(const std::string &utf8) {
  std::string out;
  size_t i = 0, n = utf8.size();
  while (i < n) {
    unsigned char c = utf8[i];
    int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    bool ok = len > 0 && i + len <= n;
    uint32_t cp = len == 1 ? c : c & (0x7F >> len);
    for (int k = 1; ok && k < len; ++k) {
      unsigned char cc = utf8[i + k];
      ok = (cc & 0xC0) == 0x80;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok) { // a stray or broken sequence: not UTF-8
      out += '?';
      ++i;
      continue;
    }
    char byte = '?';
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      byte = (char)cp;
    } else {
      for (int k = 0; k < 32; ++k)
        if (utf8.compare(i, (size_t)len, kUpperHalf[k]) == 0)
          byte = (char)(0x80 + k);
    }
    out += byte;
    i += len;
  }
  return out;
}

} // namespace winapi
