// The key rules of an index too large to read whole are judged on runs spread over it; the
// per-byte orders are weights made from an order of single characters.
#include "platform/index/collation_detect.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "platform/index/ntx_test_support.h"
#include "platform/text/codepage.h"
#include "tests/support/test_util.h"

namespace xbase {
namespace {

const CodePage& cp852() { return CodePage::cp852(); }

// The Czech order, but the keys that begin "10" (past the part of the index read whole, where
// only the sampled runs reach) are stored in reverse.
class CzechButOneRunReversed : public Collation {
 public:
  const char* name() const override { return "test"; }
  int compare(std::string_view a, std::string_view b, const CodePage& cp) const override {
    int c = czech_collation().compare(a, b, cp);
    return a.substr(0, 2) == "10" && b.substr(0, 2) == "10" ? -c : c;
  }
};

KeyRules rules_of_large_index(const Collation& built_in) {
  ntxtest::MemTable table({ntxtest::field("NAME", 'C', 8)});
  // Groups of four: only the Czech order has H before CH.
  const char* suffix[] = {"C", "CH", "H", "I"};
  char name[16];
  for (int i = 0; i < 5000; ++i) {
    std::snprintf(name, sizeof name, "%04d%s", i / 4, suffix[i % 4]);
    table.add({Value::text(name)});
  }
  testutil::TempDir dir;
  OrderDefinition def;
  def.expression = "NAME";
  auto bag = create_ntx(dir.file("BIG.NTX"), def, table, {ShareMode::kExclusive, false, &built_in});
  RecordReader read = [&](uint32_t recno, const std::function<void(const RecordSource&)>& visit) {
    if (recno == 0 || recno > table.size()) return false;
    table.go(recno);
    visit(table);
    return true;
  };
  return find_key_rules(bag->order(0), &binary_collation(), cp852(), table.size(), read);
}

TEST(KeyRules, ALargeIndexIsJudgedOnRunsSpreadOverIt) {
  KeyRules czech = rules_of_large_index(czech_collation());
  EXPECT_TRUE(czech.fits) << czech.problem;
  EXPECT_EQ(czech.collation, &czech_collation());
  KeyRules reversed = rules_of_large_index(CzechButOneRunReversed());
  EXPECT_FALSE(reversed.fits);
  EXPECT_NE(reversed.problem.find("nejsou v žádném známém řazení"), std::string::npos)
      << reversed.problem;
}

TEST(PerByteCollation, WeighsEachByteAloneByTheOrderOfSingleCharacters) {
  // Made from the Czech order of single characters, it is the per-character Czech order.
  auto from_czech =
      per_byte_collation("t", [](unsigned char a, unsigned char b, const CodePage& cp) {
        return czech_collation().compare(std::string(1, char(a)), std::string(1, char(b)), cp);
      });
  std::vector<std::string> keys;
  for (const char* k : {"CHA", "CA", "HA", "ČA", "DA", "ca", "Ch", "ŘÍ", "RI", "a-b", "ab", "1 "})
    keys.push_back(cp852().from_utf8(k));
  for (const auto& a : keys)
    for (const auto& b : keys) {
      int want = czech_chars_collation().compare(a, b, cp852());
      int got = from_czech->compare(a, b, cp852());
      EXPECT_EQ((got > 0) - (got < 0), (want > 0) - (want < 0)) << a << " vs " << b;
    }
  // Characters the order weighs the same share a weight: the bytes decide only at the end.
  auto folded = per_byte_collation("f", [](unsigned char a, unsigned char b, const CodePage&) {
    auto f = [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; };
    return f(a) - f(b);
  });
  EXPECT_LT(folded->compare("ab", "AC", cp852()), 0);
  EXPECT_LT(folded->compare("AB", "ab", cp852()), 0);
  EXPECT_EQ(folded->compare("ab", "ab", cp852()), 0);
  EXPECT_EQ(collation_by_name("windows-chars"), &locale_chars_collation());
  EXPECT_STREQ(locale_chars_collation().name(), "windows-chars");
}

}  // namespace
}  // namespace xbase
