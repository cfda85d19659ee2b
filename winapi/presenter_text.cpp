// Presenters: text at the toolkit boundary. The layer keeps Latin-1 texts;
// the toolkit and standard error see UTF-8.
#include "presenter.h"

namespace winapi {

std::string latin1ToUtf8(const std::string &latin1) {
  std::string out;
  out.reserve(latin1.size() * 2);
  for (unsigned char c : latin1) {
    if (c < 0x80) {
      out += (char)c;
    } else {
      out += (char)(0xC0 | (c >> 6));
      out += (char)(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string utf8ToLatin1(const std::string &utf8) {
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
    out += cp <= 0xFF ? (char)cp : '?';
    i += len;
  }
  return out;
}

} // namespace winapi
