// Cross-check with an independent reader: Debian's XBase::Index (index_dump, package
// libdbd-xbase-perl) lists the same keys and record numbers as we do, for files we built in
// bulk, then changed record by record, and for a fixture file we extended.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "platform/index/cdx_test_support.h"
#include "platform/table/dbf_table.h"
#include "tests/support/test_util.h"

namespace xbase {
namespace {

using cdxtest::MemTable;

bool have_index_dump() {
  int status = 0;
  testutil::run_command("command -v index_dump >/dev/null 2>&1", &status);
  return status == 0;
}

// index_dump's lines "key recno" (the key may hold blanks: the number is after the last).
std::vector<std::pair<std::string, uint32_t>> dump(const std::string& path, const std::string& tag,
                                                   const char* type) {
  int status = 0;
  std::string out = testutil::run_command(
      "index_dump --type=" + std::string(type) + " '" + path + "' " + tag + " 2>&1", &status);
  EXPECT_EQ(status, 0) << out;
  std::vector<std::pair<std::string, uint32_t>> lines;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    size_t sp = line.rfind(' ');
    if (sp == std::string::npos) {
      ADD_FAILURE() << "unexpected index_dump line: " << line;
      continue;
    }
    lines.emplace_back(line.substr(0, sp), static_cast<uint32_t>(std::stoul(line.substr(sp + 1))));
  }
  return lines;
}

// Our entries in stored order, as index_dump prints them: text without its trailing blanks,
// numbers (dates as their day numbers) as values.
void expect_same_as_perl(const std::string& path, Order& o) {
  SCOPED_TRACE(o.tag_name());
  std::vector<IndexKey> ours = cdxtest::walk(o, !o.descending());
  auto theirs = dump(path, o.tag_name(), o.key_type() == 'C' ? "char" : "num");
  ASSERT_EQ(theirs.size(), ours.size());
  for (size_t i = 0; i < ours.size(); ++i) {
    ASSERT_EQ(theirs[i].second, ours[i].recno) << "entry " << i;
    if (o.key_type() == 'C') {
      std::string k = ours[i].key;
      while (!k.empty() && k.back() == ' ') k.pop_back();
      ASSERT_EQ(theirs[i].first, k) << "entry " << i;
    } else {
      double v = o.key_type() == 'D' ? o.decode(ours[i].key).date_value().jdn
                                     : o.decode(ours[i].key).num();
      ASSERT_DOUBLE_EQ(std::stod(theirs[i].first), v) << "entry " << i;
    }
  }
}

TEST(CdxPerl, ReadsWhatWeBuildAndChange) {
  if (!have_index_dump()) GTEST_SKIP() << "index_dump (libdbd-xbase-perl) is not installed";
  testutil::TempDir tmp;
  MemTable t;
  t.add_field("NAME", 'C', 30);
  t.add_field("NUM", 'N', 10, 2);
  t.add_field("DAT", 'D', 8);
  std::mt19937 rng(21);
  for (int i = 0; i < 2500; ++i) {
    std::string name = "Jm\xA0no " + std::to_string(rng() % 700);  // CP852 a-acute
    t.append({Value::text(name), Value::number((static_cast<int>(rng() % 8000) - 4000) / 4.0),
              Value::date(Date{static_cast<int32_t>(rng() % 5 ? 2450000 + rng() % 9000 : 0)})});
  }
  const std::string path = tmp.file("PERL.CDX");
  std::vector<OrderDefinition> defs = {{"NAME", "NAME", "", false, false},
                                       {"NUM", "NUM", "", false, false},
                                       {"DAT", "DAT", "", false, false},
                                       {"DNAME", "UPPER(NAME)", "", false, true}};
  IndexOptions opts;
  opts.share = ShareMode::kExclusive;
  create_cdx(path, defs, t, opts)->close();
  {
    auto bag = open_cdx(path, t, opts);
    for (size_t i = 0; i < bag->order_count(); ++i) expect_same_as_perl(path, bag->order(i));
    int status = 0;
    std::string tags = testutil::run_command("index_dump --type=char '" + path + "'", &status);
    EXPECT_EQ(tags, "DAT\nDNAME\nNAME\nNUM\n");
  }
  // Record by record: removes (merges, freed pages) and inserts (splits).
  {
    auto bag = open_cdx(path, t, opts);
    for (size_t i = 0; i < bag->order_count(); ++i) {
      Order& o = bag->order(i);
      auto all = cdxtest::walk(o);
      for (size_t k = 0; k < all.size(); ++k)
        if (k % 3 != 0) o.remove(all[k]);
      for (uint32_t r = 0; r < 1500; ++r) {
        t.go(1 + rng() % 2500);
        if (auto key = o.key_of(t)) o.insert({*key, 3000 + r});
      }
      o.verify([](const IndexKey&) {});
    }
    bag->close();
  }
  auto bag = open_cdx(path, t, opts);
  for (size_t i = 0; i < bag->order_count(); ++i) expect_same_as_perl(path, bag->order(i));
}

TEST(CdxPerl, ReadsAFixtureWeExtended) {
  if (!have_index_dump()) GTEST_SKIP() << "index_dump (libdbd-xbase-perl) is not installed";
  testutil::TempDir tmp;
  testutil::copy_fixture("small-incr-bin-s2", tmp.path());
  TableOpenOptions to;
  to.read_only = true;
  auto pozad = DbfTable::open(tmp.file("POZAD.DBF"), to);
  IndexOptions opts;
  opts.share = ShareMode::kShared;
  for (const char* file : {"IPOZZ.CDX", "IPOCF.CDX"}) {
    const std::string path = tmp.file(file);
    {
      auto bag = open_cdx(path, *pozad, opts);
      Order& o = bag->order(0);
      auto all = cdxtest::walk(o);
      // Keys of copies of existing records, and some removed.
      for (size_t k = 0; k < all.size(); k += 4) o.insert({all[k].key, 5000 + all[k].recno});
      for (size_t k = 1; k < all.size(); k += 5) ASSERT_TRUE(o.remove(all[k]));
      o.verify([](const IndexKey&) {});
      EXPECT_EQ(o.key_count(), all.size() + (all.size() + 3) / 4 - (all.size() + 3) / 5);
    }
    auto bag = open_cdx(path, *pozad, opts);
    expect_same_as_perl(path, bag->order(0));
  }
}

}  // namespace
}  // namespace xbase
