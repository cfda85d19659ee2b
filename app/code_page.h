// The program's 8-bit text is Windows' code page 1252, as the ANSI functions
// take it; the service and the window toolkit speak UTF-8. These two
// conversions are the only ones between them, with one set of rules:
// - 1252's bytes are their Unicode characters: 00..7F and A0..FF the same
//   numbers, 80..9F the typographic characters (euro, dashes, quotes...),
//   and the five bytes 1252 leaves undefined (81 8D 8F 90 9D) the control
//   characters of the same numbers, as Windows converts them;
// - a character 1252 lacks becomes one '?';
// - bytes that are not UTF-8 (a stray or cut byte, a longer form than
//   needed, a surrogate) are taken as 1252 text already and kept.
#pragma once

#include <string>

std::string cp1252ToUtf8(const std::string &text);
std::string utf8ToCp1252(const std::string &utf8);
