// The user locale's order on Windows: letters before case and accents, as CompareStringW
// gives it, where byte order puts every capital before every small letter and the Czech
// letters of code page 852 after "Z".
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/index/collation.h"
#include "platform/text/codepage.h"

namespace xbase {
namespace {

const CodePage& cp852() { return CodePage::cp852(); }
std::string b852(const std::string& utf8) { return cp852().from_utf8(utf8); }

int locale(const std::string& a, const std::string& b) {
  return locale_collation().compare(b852(a), b852(b), cp852());
}

TEST(LocaleCollationWin, OrdersLettersAsTheLocaleDoesNotAsBytes) {
  EXPECT_STREQ(locale_collation().name(), "windows");
  EXPECT_EQ(collation_by_name("windows"), &locale_collation());
  // Bytes say "a" > "B" and "Č" > "Z"; the locale says otherwise.
  EXPECT_LT(locale("a", "B"), 0);
  EXPECT_GT(binary_collation().compare("a", "B", cp852()), 0);
  EXPECT_LT(locale("Č", "Z"), 0);
  EXPECT_GT(locale("Č", "C"), 0);
  EXPECT_LT(locale("Č", "D"), 0);
  EXPECT_GT(locale("šroub", "sroub"), 0);
  EXPECT_LT(locale("šroub", "tabule"), 0);
  EXPECT_LT(locale("NOVÁK", "NOVÁKOVÁ"), 0);
  EXPECT_EQ(locale("Žofie Čermáková", "Žofie Čermáková"), 0);
}

TEST(LocaleCollationWin, IsAStrictOrderOnDistinctKeys) {
  // Keys an index could hold side by side: the order must be total and antisymmetric, and
  // distinct keys never compare equal (an index could not tell them apart).
  std::vector<std::string> keys;
  for (const char* k : {"Novák", "NOVÁK",   "novak",   "Nováková", "Čermák", "Cermak", "Chalupa",
                        "Hora",  "Šťastný", "Stastny", "Žák",      "Zak",    "zák",    "a-b",
                        "ab",    "a b",     "10",      "9",        "Ř",      "R",      "ř"})
    keys.push_back(b852(k));
  for (const auto& a : keys) {
    EXPECT_EQ(locale_collation().compare(a, a, cp852()), 0);
    for (const auto& b : keys) {
      if (a == b) continue;
      int ab = locale_collation().compare(a, b, cp852());
      int ba = locale_collation().compare(b, a, cp852());
      EXPECT_NE(ab, 0) << cp852().to_utf8(a) << " vs " << cp852().to_utf8(b);
      EXPECT_EQ(ab, -ba) << cp852().to_utf8(a) << " vs " << cp852().to_utf8(b);
    }
  }
  auto less = [](const std::string& a, const std::string& b) {
    return locale_collation().compare(a, b, cp852()) < 0;
  };
  std::sort(keys.begin(), keys.end(), less);
  for (size_t i = 0; i + 1 < keys.size(); ++i)
    for (size_t j = i + 1; j < keys.size(); ++j)
      EXPECT_TRUE(less(keys[i], keys[j]))
          << cp852().to_utf8(keys[i]) << " before " << cp852().to_utf8(keys[j]);
}

TEST(LocaleCollationWin, PerByteWeightsComeFromTheLocale) {
  const Collation& c = locale_chars_collation();
  auto chars = [&](const std::string& a, const std::string& b) {
    return c.compare(b852(a), b852(b), cp852());
  };
  // The locale's letters, where bytes put every capital and "Z" before "a" and "Č".
  EXPECT_LT(chars("a", "B"), 0);
  EXPECT_LT(chars("Č", "D"), 0);
  EXPECT_GT(chars("Č", "C"), 0);
  // Each character alone: C then H stays before D whatever the locale does with "CH".
  EXPECT_LT(chars("CHA", "DA "), 0);
}

}  // namespace
}  // namespace xbase
