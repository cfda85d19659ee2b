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

// The service's UTF-8 becomes the window's code page 1252: Latin-1 byte for
// byte, the typographic characters 1252 keeps in 80..9F, '?' (one per
// character) for the rest; bytes that are not UTF-8 stay as they are; only
// the first space goes.
TEST(RepairAccents, ServiceTextBecomesCodePage1252) {
  struct Case {
    const char *utf8, *shown;
  } cases[] = {
      // Repeated accents all convert, not just the first of each kind.
      {"\xc3\xa1gua \xc3\xa1rea", "\xe1gua\xe1rea"},
      {"S\xc3\xa3o Jo\xc3\xa3o", "S\xe3oJo\xe3o"},
      {"Gest\xc3\xa3o Tribut\xc3\xa1ria", "Gest\xe3oTribut\xe1ria"},
      {"\xc3\xa7\xc3\xa9\xc3\xb5\xc3\x89\xc3\x80\xc3\xbf\xc2\xba\xc2\xa9",
       "\xe7\xe9\xf5\xc9\xc0\xff\xba\xa9"},
      // A no-break space becomes A0 and is not the space that is dropped.
      {"a\xc2\xa0"
       "b c",
       "a\xa0"
       "bc"},
      // Only the first space goes.
      {"Fila de Suporte", "Filade Suporte"},
      {"  x", " x"},
      {" ", ""},
      {"", ""},
      {"ATENDIMENTO", "ATENDIMENTO"},
      // Dashes, quotes, ellipsis, euro, ligatures: 1252 has them in 80..9F.
      {"Gest\xc3\xa3o \xe2\x80\x93 Tribut\xc3\xa1ria", "Gest\xe3o\x96 Tribut\xe1ria"},
      {"a\xe2\x80\x94"
       "b",
       "a\x97"
       "b"},
      {"\xe2\x80\x9c"
       "Fiscal\xe2\x80\x9d",
       "\x93"
       "Fiscal\x94"},
      {"\xe2\x80\x98"
       "x\xe2\x80\x99",
       "\x91x\x92"},
      {"\xe2\x82\xac"
       "5\xe2\x80\xa6",
       "\x80"
       "5\x85"},
      {"\xc5\x93\xc5\x92\xc5\xa0\xc5\xbe\xc5\xb8\xe2\x84\xa2", "\x9c\x8c\x8a\x9e\x9f\x99"},
      // What 1252 lacks is one '?' per character, emoji included.
      {"Suporte\xf0\x9f\x98\x80!", "Suporte?!"},
      {"\xc4\x81\xe4\xb8\xad", "??"},
      // Latin-1's own control characters 80..9F are no 1252 characters.
      {"c1\xc2\x85", "c1?"},
      // Bytes that are not UTF-8 stay: a cut or stray byte, a longer form.
      {"x\xc3", "x\xc3"},
      {"\xc3"
       "A\xc3\xc3\xa1",
       "\xc3"
       "A\xc3\xe1"},
      {"\xe1", "\xe1"},
      {"\xc0\xaf", "\xc0\xaf"},
      {"\xe2\x82", "\xe2\x82"},
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
