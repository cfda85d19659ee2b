#include "form_decode.h"

#include <httplib.h>

// The HTTP library's own form decoding, the one its server applies to the
// bodies it receives.
std::string formDecode(const std::string &text) { return httplib::detail::decode_url(text, true); }

std::map<std::string, std::string> parseForm(const std::string &body) {
  httplib::Params params;
  httplib::detail::parse_query_text(body, params);
  std::map<std::string, std::string> fields;
  for (const auto &field : params) // fields of one name in the body's order
    fields[field.first] = field.second;
  return fields;
}
