// Decoding of application/x-www-form-urlencoded bodies, for checking what a
// client sent.
#pragma once

#include <map>
#include <string>

// "a=1&b=x%26y" -> {a: "1", b: "x&y"}; '+' reads as a space. A field without
// '=' maps to the empty text; a later field of the same name wins.
std::map<std::string, std::string> parseForm(const std::string &body);
// The decoded value of one form field ("%41+b" -> "A b").
std::string formDecode(const std::string &text);
