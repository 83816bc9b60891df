#include "platform/index/collation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/index/test_record.h"
#include "platform/text/codepage.h"

namespace xbase {
namespace {

const CodePage& cp852() { return CodePage::cp852(); }
std::string b852(const std::string& utf8) { return cp852().from_utf8(utf8); }

int czech(const std::string& a, const std::string& b) {
  return czech_collation().compare(b852(a), b852(b), cp852());
}

TEST(Collation, BinaryIsByteOrder) {
  const Collation& c = binary_collation();
  EXPECT_STREQ(c.name(), "binary");
  EXPECT_LT(c.compare("ABC", "ABD", cp852()), 0);
  EXPECT_GT(c.compare("a", "B", cp852()), 0);
  EXPECT_EQ(c.compare("SAME", "SAME", cp852()), 0);
  // 0xAC (Č) sorts above every ASCII byte in byte order.
  EXPECT_GT(c.compare(b852("Č"), "Z", cp852()), 0);
  EXPECT_LT(c.compare("AB", "ABC", cp852()), 0);
}

TEST(Collation, CzechLetterOrder) {
  // Each string sorts strictly before the next one.
  const std::vector<std::string> chain = {
      "A", "Á", "Ä", "B", "C", "Č", "D", "Ď", "E", "É", "Ě", "Ë",  "F", "G", "H", "CH", "I",
      "Í", "J", "N", "Ň", "O", "Ó", "Ö", "R", "Ř", "S", "Š", "T",  "Ť", "U", "Ú", "Ů",  "Ü",
      "Y", "Ý", "Z", "Ž", "[", "a", "á", "ä", "c", "č", "h", "ch", "i", "ř", "ů", "z",  "ž"};
  for (size_t i = 0; i + 1 < chain.size(); ++i) {
    EXPECT_LT(czech(chain[i], chain[i + 1]), 0) << chain[i] << " < " << chain[i + 1];
    EXPECT_GT(czech(chain[i + 1], chain[i]), 0) << chain[i + 1] << " > " << chain[i];
  }
}

TEST(Collation, CzechWords) {
  EXPECT_LT(czech("HANA KAŠPAR", "CHOVATELSKÉ"), 0);  // CH after H
  EXPECT_LT(czech("ČERMÁK", "CHVÁTAL"), 0);           // ... and after Č
  EXPECT_LT(czech("CTIBOR", "ČALOUN"), 0);
  EXPECT_LT(czech("DVOŘÁK", "ĎURICA"), 0);  // accented letters are letters of their own
  EXPECT_LT(czech("TUŽKA", "ÚHELNÍK"), 0);
  EXPECT_LT(czech("1 KUS", "A"), 0);  // digits and blanks below letters
  EXPECT_LT(czech("AB ", "ABC"), 0);
  EXPECT_LT(czech("Z", "a"), 0);  // upper case letters first, as in byte order
  EXPECT_LT(czech("ZZ", "ža"), 0);
  EXPECT_EQ(czech("NOVÁK", "NOVÁK"), 0);
}

TEST(Collation, CzechTiesFallBackToBytes) {
  // "CH" and "Ch" weigh the same letter; the bytes still tell them apart, both ways.
  int one = czech("CHA", "ChA");
  int two = czech("ChA", "CHA");
  EXPECT_LT(one, 0);  // 'H' is below 'h'
  EXPECT_EQ(one, -two);
  // The letters decide before the bytes do: Z after A although 'H' < 'h'.
  EXPECT_GT(czech("CHZ", "ChA"), 0);
}

TEST(Collation, CzechWorksInWindows1250Too) {
  const CodePage& w = CodePage::cp1250();
  auto cmp = [&](const std::string& a, const std::string& b) {
    return czech_collation().compare(w.from_utf8(a), w.from_utf8(b), w);
  };
  EXPECT_LT(cmp("Š", "T"), 0);
  EXPECT_LT(cmp("H", "CH"), 0);
  EXPECT_LT(cmp("ž", "\xC2\xA4"), 0);  // ¤ is no letter: after them all
  EXPECT_GT(czech_collation().compare(w.from_utf8("Š"), "T", cp852()), 0)
      << "the same bytes mean other letters in 852";
}

TEST(Collation, ByName) {
  EXPECT_EQ(collation_by_name("binary"), &binary_collation());
  EXPECT_EQ(collation_by_name("czech"), &czech_collation());
  EXPECT_EQ(collation_by_name("windows"), &locale_collation());
  EXPECT_EQ(collation_by_name("CZECH"), &czech_collation());
  EXPECT_EQ(collation_by_name("klingon"), nullptr);
  EXPECT_EQ(collation_by_name(""), nullptr);
  EXPECT_STREQ(czech_collation().name(), "czech");
  EXPECT_STREQ(locale_collation().name(), "windows");
}

#ifndef _WIN32
TEST(Collation, LocaleIsByteOrderOffWindows) {
  EXPECT_GT(locale_collation().compare(b852("Č"), "D", cp852()), 0);
  EXPECT_LT(locale_collation().compare("A", "a", cp852()), 0);
}
#endif

// --- the fixture indexes

// The character indexes of a fixture folder, keys as CP852 bytes padded to the key length.
std::vector<std::vector<std::string>> character_indexes(const std::string& folder) {
  std::vector<std::vector<std::string>> out;
  for (const testing::FixtureIndex& ix : testing::read_fixture_indexes(folder)) {
    if (ix.type != 'C') continue;
    out.emplace_back();
    for (const auto& k : ix.keys) {
      std::string bytes = cp852().from_utf8(k.first);
      bytes.resize(static_cast<size_t>(ix.keylen), ' ');
      out.back().push_back(bytes);
    }
  }
  return out;
}

// How many neighbouring keys of the folder's character indexes are out of order.
int disorder(const std::string& folder, const Collation& c, int* indexes = nullptr) {
  int bad = 0, count = 0;
  for (const auto& keys : character_indexes(folder)) {
    ++count;
    for (size_t i = 1; i < keys.size(); ++i)
      if (c.compare(keys[i - 1], keys[i], cp852()) > 0) ++bad;
  }
  if (indexes) *indexes = count;
  return bad;
}

TEST(CollationFixture, Cs852KeysFollowTheCzechOrder) {
  int indexes = 0;
  EXPECT_EQ(disorder("small-mixed-cs852-s5", czech_collation(), &indexes), 0);
  EXPECT_GE(indexes, 14);
  for (const auto& keys : character_indexes("small-mixed-cs852-s5")) {
    for (size_t i = 1; i < keys.size(); ++i)
      ASSERT_LE(czech_collation().compare(keys[i - 1], keys[i], cp852()), 0)
          << cp852().to_utf8(keys[i - 1]) << " before " << cp852().to_utf8(keys[i]);
  }
}

TEST(CollationFixture, Cs852KeysAreNotInByteOrder) {
  EXPECT_GT(disorder("small-mixed-cs852-s5", binary_collation()), 50);
}

TEST(CollationFixture, ByteOrderFoldersFollowBytesNotCzech) {
  for (const char* folder : {"small-mixed-bin-s1", "small-incr-bin-s2", "small-alt-bin-s12"}) {
    int indexes = 0;
    EXPECT_EQ(disorder(folder, binary_collation(), &indexes), 0) << folder;
    EXPECT_GE(indexes, 14) << folder;
    EXPECT_GT(disorder(folder, czech_collation()), 50) << folder;
  }
}

}  // namespace
}  // namespace xbase
