#include "form_decode.h"

namespace {
int hexValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  return -1;
}
} // namespace

std::string formDecode(const std::string &text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
               hexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::map<std::string, std::string> parseForm(const std::string &body) {
  std::map<std::string, std::string> fields;
  size_t start = 0;
  while (start <= body.size()) {
    size_t end = body.find('&', start);
    if (end == std::string::npos)
      end = body.size();
    std::string field = body.substr(start, end - start);
    if (!field.empty()) {
      size_t eq = field.find('=');
      if (eq == std::string::npos)
        fields[formDecode(field)] = "";
      else
        fields[formDecode(field.substr(0, eq))] = formDecode(field.substr(eq + 1));
    }
    start = end + 1;
  }
  return fields;
}
