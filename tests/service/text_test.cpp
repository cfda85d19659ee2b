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

TEST(RepairAccents, EveryLatin1CharacterBecomesItsByte) {
  // Repeated accents all convert, not just the first of each kind.
  EXPECT_EQ(repaired("\xc3\xa1gua \xc3\xa1rea"), "\xe1gua\xe1rea");
  EXPECT_EQ(repaired("S\xc3\xa3o Jo\xc3\xa3o"), "S\xe3oJo\xe3o");
  EXPECT_EQ(repaired("\xc3\xa7\xc3\xa9\xc3\xb5\xc3\x89\xc3\x80\xc3\xbf\xc2\xba\xc2\xa9"),
            "\xe7\xe9\xf5\xc9\xc0\xff\xba\xa9");
  // A no-break space becomes A0 and is not the space that is dropped.
  EXPECT_EQ(repaired("a\xc2\xa0"
                     "b c"),
            "a\xa0"
            "bc");
}

TEST(RepairAccents, OnlyTheFirstSpaceIsDropped) {
  EXPECT_EQ(repaired("Fila de Suporte"), "Filade Suporte");
  EXPECT_EQ(repaired("  x"), " x");
  EXPECT_EQ(repaired(" "), "");
  EXPECT_EQ(repaired(""), "");
  EXPECT_EQ(repaired("ATENDIMENTO"), "ATENDIMENTO");
}

TEST(RepairAccents, TextOutsideLatin1StaysAsItIs) {
  EXPECT_EQ(repaired("\xe2\x82\xac"), "\xe2\x82\xac");         // euro sign
  EXPECT_EQ(repaired("\xf0\x9f\x98\x80"), "\xf0\x9f\x98\x80"); // emoji
  EXPECT_EQ(repaired("\xc5\x93"), "\xc5\x93");                 // oe ligature
  EXPECT_EQ(repaired("x\xc3"), "x\xc3");                       // lead byte at the end
  EXPECT_EQ(repaired("\xc3"
                     "A\xc3\xc3\xa1"),
            "\xc3"
            "A\xc3\xe1");              // no continuation
  EXPECT_EQ(repaired("\xe1"), "\xe1"); // already Latin-1
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
