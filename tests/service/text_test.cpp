#include <gtest/gtest.h>

#include "form_decode.h"
#include "service.h"
#include "service_internal.h"

namespace {
std::string repaired(std::string text) {
  repairAccents(text);
  return text;
}
} // namespace

// The service's UTF-8 becomes the window's code page 1252 (the conversion's
// own rules are tested with it), every character of it, and then only the
// first space goes: a no-break space is no space.
TEST(RepairAccents, ServiceTextBecomesCodePage1252WithoutItsFirstSpace) {
  struct Case {
    const char *utf8, *shown;
  } cases[] = {
      // Repeated accents all convert, not just the first of each kind.
      {"\xc3\xa1gua \xc3\xa1rea", "\xe1gua\xe1rea"},
      {"S\xc3\xa3o Jo\xc3\xa3o", "S\xe3oJo\xe3o"},
      {"Gest\xc3\xa3o \xe2\x80\x93 Tribut\xc3\xa1ria", "Gest\xe3o\x96 Tribut\xe1ria"},
      {"a\xc2\xa0"
       "b c",
       "a\xa0"
       "bc"},
      {"Suporte\xf0\x9f\x98\x80 x\xc3", "Suporte?x\xc3"},
      {"Fila de Suporte", "Filade Suporte"},
      {"  x", " x"},
      {" ", ""},
      {"", ""},
      {"ATENDIMENTO", "ATENDIMENTO"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(repaired(c.utf8), c.shown) << c.utf8;
}

TEST(FormEncoding, EveryByteRoundTripsAndOnlyUnreservedStayPlain) {
  std::string all;
  for (int c = 0; c < 256; ++c)
    all += static_cast<char>(c);
  std::string encoded = formEncode(all);
  EXPECT_EQ(formDecode(encoded), all);
  EXPECT_EQ(encoded.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                      "0123456789-._~%"),
            std::string::npos);
  EXPECT_EQ(formEncode("a&b=c+d e%"), "a%26b%3Dc%2Bd%20e%25");
  EXPECT_EQ(formEncode("\xe9"), "%E9");
}
