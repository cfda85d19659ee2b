// Checks of the SIP account values the service grants. They are used as the
// user and host of SIP addresses, so anything that is not plainly one (a
// parameter, a second host, a URI password, a line break) is refused rather
// than bent into something the SIP library would read differently.
#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

#include <cstring>
#include <string>
#include <vector>

#include "service_internal.h"

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAlpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isAlnum(char c) { return isDigit(c) || isAlpha(c); }
bool isHex(char c) { return isDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// The pieces of text between the separators (one more than there are
// separators; empty pieces included).
std::vector<std::string> split(const std::string &text, char separator) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (true) {
    size_t end = text.find(separator, start);
    pieces.push_back(text.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos)
      return pieces;
    start = end + 1;
  }
}

bool allOf(const std::string &text, bool (*accept)(char)) {
  for (char c : text)
    if (!accept(c))
      return false;
  return true;
}

// 1 to 65535, digits only.
bool validPort(const std::string &text) {
  if (text.empty() || text.size() > 5 || text[0] == '0' || !allOf(text, isDigit))
    return false;
  return std::stol(text) <= 65535;
}

// A part of a dotted quad written with a leading zero ("01"): some parsers
// read it as octal, so none is taken.
bool hasLeadingZero(const std::string &dottedQuad) {
  for (size_t i = 0; i + 1 < dottedQuad.size(); ++i)
    if (dottedQuad[i] == '0' && (i == 0 || dottedQuad[i - 1] == '.') && isDigit(dottedQuad[i + 1]))
      return true;
  return false;
}

// Dotted quad, each part 0 to 255 without leading zeros.
bool validIpv4(const std::string &text) {
  in_addr address;
  return text.find('\0') == std::string::npos && !hasLeadingZero(text) &&
         inet_pton(AF_INET, text.c_str(), &address) == 1;
}

// Hex groups with at most one "::", an optional dotted quad at the end; no
// zone id ("%eth0"), which names an interface of one host only.
bool validIpv6(const std::string &text) {
  if (text.find_first_not_of("0123456789ABCDEFabcdef:.") != std::string::npos)
    return false;
  size_t lastColon = text.rfind(':');
  std::string tail = lastColon == std::string::npos ? text : text.substr(lastColon + 1);
  if (tail.find('.') != std::string::npos && hasLeadingZero(tail))
    return false;
  in6_addr address;
  return inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

bool isHostNameChar(char c) { return isAlnum(c) || c == '-'; }

// Labels of letters, digits and inner hyphens, separated by single dots, an
// optional final dot; the last label starts with a letter, so that no
// malformed address passes as a name.
bool validHostName(const std::string &text) {
  std::string name = text;
  if (!name.empty() && name.back() == '.')
    name.pop_back();
  if (name.empty())
    return false;
  std::vector<std::string> labels = split(name, '.');
  for (const std::string &label : labels)
    if (label.empty() || label.front() == '-' || label.back() == '-' ||
        !allOf(label, isHostNameChar))
      return false;
  return isAlpha(labels.back().front());
}

} // namespace

bool validSipDomain(const std::string &domain) {
  std::string host = domain, port;
  if (!host.empty() && host[0] == '[') {
    size_t close = host.find(']');
    if (close == std::string::npos)
      return false;
    if (close + 1 < host.size()) {
      if (host[close + 1] != ':')
        return false;
      port = host.substr(close + 2);
      if (!validPort(port))
        return false;
    }
    return validIpv6(host.substr(1, close - 1));
  }
  size_t colon = host.find(':');
  if (colon != std::string::npos) {
    port = host.substr(colon + 1);
    host.erase(colon);
    if (!validPort(port))
      return false;
  }
  return validIpv4(host) || validHostName(host);
}

bool validSipUser(const std::string &user) {
  // Unreserved characters, the user-part extras and %XX escapes; no ':'
  // (it would start a password) and no '@' (it would end the user).
  static const char allowed[] = "-_.!~*'()&=+$,;?/";
  for (size_t i = 0; i < user.size(); ++i) {
    char c = user[i];
    if (c == '%') {
      // An escape may not smuggle in what is refused as a character.
      if (i + 2 >= user.size() || !isHex(user[i + 1]) || !isHex(user[i + 2]))
        return false;
      int byte = std::stoi(user.substr(i + 1, 2), nullptr, 16);
      if (byte < 0x20 || byte == 0x7F || byte == ':' || byte == '@')
        return false;
      i += 2;
    } else if (!isAlnum(c) && (c == '\0' || !std::strchr(allowed, c))) {
      return false;
    }
  }
  return true;
}

bool validSipPassword(const std::string &password) {
  for (size_t i = 0; i < password.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(password[i]);
    if (c < 0x20 || c == 0x7F)
      return false;
    // U+0080..U+009F, the second set of control characters, in UTF-8.
    if (c == 0xC2 && i + 1 < password.size()) {
      unsigned char next = static_cast<unsigned char>(password[i + 1]);
      if (next >= 0x80 && next <= 0x9F)
        return false;
    }
  }
  return true;
}
