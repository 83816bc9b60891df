// Code pages against the reference table of Czech letters, round trips and the '?' rule.
#include "platform/text/codepage.h"

#include <gtest/gtest.h>

namespace {

using xbase::CodePage;

struct Letter {
  const char* utf8;
  unsigned char cp852, cp1250;
};

// Lower and upper case of every Czech letter with its byte in each page.
const Letter kLetters[] = {
    {"á", 0xA0, 0xE1}, {"Á", 0xB5, 0xC1}, {"č", 0x9F, 0xE8}, {"Č", 0xAC, 0xC8}, {"ď", 0xD4, 0xEF},
    {"Ď", 0xD2, 0xCF}, {"é", 0x82, 0xE9}, {"É", 0x90, 0xC9}, {"ě", 0xD8, 0xEC}, {"Ě", 0xB7, 0xCC},
    {"í", 0xA1, 0xED}, {"Í", 0xD6, 0xCD}, {"ň", 0xE5, 0xF2}, {"Ň", 0xD5, 0xD2}, {"ó", 0xA2, 0xF3},
    {"Ó", 0xE0, 0xD3}, {"ř", 0xFD, 0xF8}, {"Ř", 0xFC, 0xD8}, {"š", 0xE7, 0x9A}, {"Š", 0xE6, 0x8A},
    {"ť", 0x9C, 0x9D}, {"Ť", 0x9B, 0x8D}, {"ú", 0xA3, 0xFA}, {"Ú", 0xE9, 0xDA}, {"ů", 0x85, 0xF9},
    {"Ů", 0xDE, 0xD9}, {"ý", 0xEC, 0xFD}, {"Ý", 0xED, 0xDD}, {"ž", 0xA7, 0x9E}, {"Ž", 0xA6, 0x8E},
};

TEST(CodePage, CzechLettersSitWhereTheReferenceTablePutsThem) {
  for (const Letter& l : kLetters) {
    std::string b852(1, static_cast<char>(l.cp852)), b1250(1, static_cast<char>(l.cp1250));
    EXPECT_EQ(CodePage::cp852().to_utf8(b852), l.utf8);
    EXPECT_EQ(CodePage::cp852().from_utf8(l.utf8), b852) << l.utf8;
    EXPECT_EQ(CodePage::cp1250().to_utf8(b1250), l.utf8);
    EXPECT_EQ(CodePage::cp1250().from_utf8(l.utf8), b1250) << l.utf8;
  }
}

TEST(CodePage, UpperAndLowerMapCzechLettersInTheirOwnPage) {
  for (size_t i = 0; i + 1 < std::size(kLetters); i += 2) {
    const Letter& lo = kLetters[i];
    const Letter& up = kLetters[i + 1];
    EXPECT_EQ(CodePage::cp852().upper(lo.cp852), up.cp852) << lo.utf8;
    EXPECT_EQ(CodePage::cp852().lower(up.cp852), lo.cp852) << up.utf8;
    EXPECT_EQ(CodePage::cp1250().upper(lo.cp1250), up.cp1250) << lo.utf8;
  }
  const CodePage& cp = CodePage::cp852();
  EXPECT_EQ(cp.to_utf8(cp.upper(cp.from_utf8("žluťoučký kůň äëöü"))), "ŽLUŤOUČKÝ KŮŇ ÄËÖÜ");
  EXPECT_EQ(cp.to_utf8(cp.lower(cp.from_utf8("ŘÍHA & SYN, s.r.o."))), "říha & syn, s.r.o.");
}

TEST(CodePage, EveryDefinedByteRoundTripsThroughUtf8) {
  for (const CodePage* cp : {&CodePage::cp852(), &CodePage::cp1250()}) {
    for (int b = 1; b < 256; ++b) {
      std::string one(1, static_cast<char>(b));
      std::string u = cp->to_utf8(one);
      if (u == "\xEF\xBF\xBD") continue;  // undefined in this page
      EXPECT_EQ(cp->from_utf8(u), one) << cp->number() << " byte " << b;
    }
  }
}

TEST(CodePage, WhatAPageLacksBecomesAQuestionMark) {
  EXPECT_EQ(CodePage::cp852().from_utf8("cena 5 € – ø"), "cena 5 ? ? ?");
  EXPECT_EQ(CodePage::cp1250().from_utf8("ĺ€ ╬"), "\xE5\x80 ?");
  // Broken UTF-8 does not crash and gives '?'.
  EXPECT_EQ(CodePage::cp852().from_utf8(std::string("a\xC3", 2)), "a?");
  EXPECT_EQ(CodePage::cp1250().to_utf8("\x81"), "\xEF\xBF\xBD");
}

}  // namespace
