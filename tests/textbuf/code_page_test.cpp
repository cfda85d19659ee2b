// The one conversion between the program's code page 1252 and UTF-8, which
// the service's texts and the window toolkit's both go through.
#include <gtest/gtest.h>

#include "code_page.h"

namespace {

// Every byte but NUL survives the way to UTF-8 and back.
TEST(CodePage1252, EveryByteRoundTripsThroughUtf8) {
  std::string all;
  for (int c = 1; c < 256; ++c)
    all += static_cast<char>(c);
  EXPECT_EQ(utf8ToCp1252(cp1252ToUtf8(all)), all);
}

// 00..7F and A0..FF byte for byte, 80..9F the typographic characters, the five bytes
// 1252 leaves undefined the control characters of the same numbers (as
// Windows converts them): both ways.
TEST(CodePage1252, CharactersConvertBothWays) {
  struct Case {
    const char *cp1252, *utf8;
  } cases[] = {
      {"Aten\xe7\xe3o", "Aten\xc3\xa7\xc3\xa3o"},
      {"\xe7\xe9\xf5\xc9\xc0\xff\xba\xa9\xa0",
       "\xc3\xa7\xc3\xa9\xc3\xb5\xc3\x89\xc3\x80\xc3\xbf\xc2\xba\xc2\xa9\xc2\xa0"},
      {"Gest\xe3o\x96 Tribut\xe1ria", "Gest\xc3\xa3o\xe2\x80\x93 Tribut\xc3\xa1ria"},
      {"\x80\x85\x93x\x94\x97\x99\x9c\x9f", "\xe2\x82\xac\xe2\x80\xa6\xe2\x80\x9cx\xe2\x80\x9d"
                                            "\xe2\x80\x94\xe2\x84\xa2\xc5\x93\xc5\xb8"},
      {"\x91x\x92\x8c\x8a\x9e", "\xe2\x80\x98x\xe2\x80\x99\xc5\x92\xc5\xa0\xc5\xbe"},
      {"\x81\x8d\x8f\x90\x9d", "\xc2\x81\xc2\x8d\xc2\x8f\xc2\x90\xc2\x9d"},
      {"", ""},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(cp1252ToUtf8(c.cp1252), c.utf8) << c.utf8;
    EXPECT_EQ(utf8ToCp1252(c.utf8), c.cp1252) << c.utf8;
  }
}

// One '?' per character 1252 lacks, whatever its length in UTF-8: a C1
// control character that 1252 shows as something else, a letter, a
// character beyond the first 64K. Bytes that are not UTF-8 are taken as
// 1252 already: a cut or stray byte, a longer form than needed, a surrogate.
TEST(CodePage1252, WhatIsMissingOrNotUtf8) {
  struct Case {
    const char *utf8, *cp1252;
  } cases[] = {
      {"c1\xc2\x85", "c1?"},
      {"\xc4\x81\xe4\xb8\xad", "??"},
      {"Suporte\xf0\x9f\x98\x80!", "Suporte?!"},
      {"x\xc3", "x\xc3"},
      {"\xc3"
       "A\xc3\xc3\xa1",
       "\xc3"
       "A\xc3\xe1"},
      {"\xe1", "\xe1"},
      {"\xc0\xaf", "\xc0\xaf"},
      {"\xe2\x82", "\xe2\x82"},
      {"\xed\xa0\x80", "\xed\xa0\x80"},
      {"\xf4\x90\x80\x80", "\xf4\x90\x80\x80"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(utf8ToCp1252(c.utf8), c.cp1252) << c.utf8;
}

} // namespace
