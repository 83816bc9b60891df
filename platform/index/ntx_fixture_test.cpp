// NTX files written by an independent engine: every key in its order, seeks and finds of
// every entry, and the same files kept up by our table layer and read back by a third reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>

#include "platform/index/collation.h"
#include "platform/index/ntx_test_support.h"
#include "platform/table/dbf_table.h"
#include "platform/table/settings.h"
#include "platform/text/codepage.h"
#include "tests/support/test_util.h"
#include "tools/dbftool_commands.h"

namespace {

using namespace xbase;

const char* kFolders[] = {"small-mixed-bin-s1", "small-incr-bin-s2", "small-mixed-cs852-s5",
                          "small-alt-bin-s12"};
const char* kNtx[] = {"CIZA", "NZAK", "TCIZA", "INAZAK", "ISPZZ"};

const Collation* collation_of(const std::string& folder) {
  return folder.find("cs852") != std::string::npos ? &czech_collation() : nullptr;
}

// A key as the engine's dump shows it.
std::string shown(Order& o, const std::string& key) {
  if (o.key_type() == 'N') {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", o.key_decimals(), o.decode(key).num());
    return buf;
  }
  return dbftool::escape(CodePage::cp852().to_utf8(key));
}

// Runs of equal keys, each with its record numbers as a set.
using Groups = std::vector<std::pair<std::string, std::multiset<uint32_t>>>;

void add(Groups& g, const std::string& key, uint32_t recno) {
  if (g.empty() || g.back().first != key) g.push_back({key, {}});
  g.back().second.insert(recno);
}

Groups expected_groups(const std::string& section, std::string* head) {
  std::istringstream in(section);
  std::string line;
  std::getline(in, line);
  *head = line;
  Groups g;
  while (std::getline(in, line)) {
    size_t bar = line.rfind('|');
    if (bar == std::string::npos) continue;
    add(g, line.substr(0, bar), static_cast<uint32_t>(std::stoul(line.substr(bar + 1))));
  }
  return g;
}

Groups groups_of(Order& o, const std::vector<IndexKey>& entries) {
  Groups g;
  for (const auto& e : entries) add(g, shown(o, e.key), e.recno);
  return g;
}

std::string head_field(const std::string& head, const std::string& name) {
  size_t p = head.find(" " + name + "=");
  if (p == std::string::npos) return "";
  p += name.size() + 2;
  return head.substr(p, head.find(' ', p) - p);
}

int check_levels(const std::string& folder, const std::string& ntx) {
  std::istringstream in(testutil::read_text(testutil::fixture(folder) + "/_check.txt"));
  std::string line;
  while (std::getline(in, line))
    if (line.find(" " + ntx + ".NTX:") != std::string::npos)
      return std::stoi(head_field(line + " ", "levels"));
  return -1;
}

class NtxFixture : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = table_settings(); }
  void TearDown() override { table_settings() = saved_; }
  TableSettings saved_;
};

TEST_F(NtxFixture, EveryIndexListsTheEnginesKeysInBothDirections) {
  for (std::string folder : kFolders) {
    std::string keys = testutil::read_text(testutil::fixture(folder) + "/_keys.txt");
    TableOpenOptions to;
    to.read_only = true;
    auto table = DbfTable::open(testutil::fixture(folder) + "/ZAK.DBF", to);
    IndexOptions io;
    io.read_only = true;
    io.collation = collation_of(folder);
    for (std::string name : kNtx) {
      SCOPED_TRACE(folder + "/" + name);
      std::string head;
      Groups expected =
          expected_groups(testutil::fixture_section(keys, "ZAK.DBF " + name + ".NTX:"), &head);
      ASSERT_FALSE(expected.empty());
      auto bag = open_ntx(testutil::fixture(folder) + "/" + name + ".NTX", *table, io);
      Order& o = bag->order(0);
      EXPECT_EQ(o.tag_name(), name);
      EXPECT_EQ(o.expression(), head_field(head, "expr"));
      EXPECT_EQ(std::string(1, o.key_type()), head_field(head, "type"));
      EXPECT_EQ(std::to_string(o.key_length()), head_field(head, "keylen"));
      EXPECT_EQ(std::to_string(o.key_count()), head_field(head, "keys"));
      EXPECT_EQ(o.levels(), check_levels(folder, name));

      std::vector<IndexKey> forward = ntxtest::walk_forward(o);
      EXPECT_EQ(groups_of(o, forward), expected);
      EXPECT_EQ(ntxtest::walk_backward(o), forward);
      std::vector<IndexKey> verified;
      o.verify([&](const IndexKey& e) { verified.push_back(e); });
      EXPECT_EQ(verified, forward);
    }
  }
}

TEST_F(NtxFixture, SeekAndFindReachEveryEntry) {
  for (std::string folder : kFolders) {
    TableOpenOptions to;
    to.read_only = true;
    auto table = DbfTable::open(testutil::fixture(folder) + "/ZAK.DBF", to);
    IndexOptions io;
    io.read_only = true;
    io.collation = collation_of(folder);
    for (std::string name : kNtx) {
      SCOPED_TRACE(folder + "/" + name);
      auto bag = open_ntx(testutil::fixture(folder) + "/" + name + ".NTX", *table, io);
      Order& o = bag->order(0);
      std::vector<IndexKey> all = ntxtest::walk_forward(o);
      ASSERT_FALSE(all.empty());
      for (size_t i = 0; i < all.size(); ++i) {
        // The first of equal keys is where a seek of that key lands.
        size_t first = i;
        while (first > 0 && all[first - 1].key == all[i].key) --first;
        IndexKey got;
        ASSERT_TRUE(o.seek(all[i].key, &got));
        EXPECT_EQ(got, all[first]);
        ASSERT_TRUE(o.find(all[i]));
        IndexKey after;
        if (i + 1 < all.size()) {
          ASSERT_TRUE(o.next(&after));
          EXPECT_EQ(after, all[i + 1]);
        } else {
          EXPECT_FALSE(o.next(&after));
        }
      }
      // A prefix lands on the first key that starts with it; one past every key finds none.
      std::string prefix = all[all.size() / 2].key.substr(0, 3);
      IndexKey got;
      ASSERT_TRUE(o.seek(prefix, &got));
      auto it = std::find_if(all.begin(), all.end(), [&](const IndexKey& e) {
        return o.compare_keys(e.key.substr(0, 3), prefix) >= 0;
      });
      EXPECT_EQ(got, *it);
      EXPECT_FALSE(o.seek(std::string(o.key_length(), '\xFF'), &got));
      EXPECT_FALSE(o.find({all[0].key, 999999}));
    }
  }
}

// The table seeks through the engine's orders: prefixes, trailing blanks, longer keys, numbers.
TEST_F(NtxFixture, TableSeeksThroughTheEnginesOrders) {
  table_settings().deleted_hidden = false;
  std::string folder = "small-mixed-bin-s1";
  TableOpenOptions to;
  to.read_only = true;
  auto t = DbfTable::open(testutil::fixture(folder) + "/ZAK.DBF", to);
  IndexOptions io;
  io.read_only = true;
  t->add_bag(open_ntx(testutil::fixture(folder) + "/NZAK.NTX", *t, io));
  t->add_bag(open_ntx(testutil::fixture(folder) + "/CIZA.NTX", *t, io));
  ASSERT_TRUE(t->set_order("NZAK"));
  ASSERT_TRUE(t->seek(Value::text("ALENA D")));
  EXPECT_EQ(t->recno(), 214u);  // ALENA DOLEŽAL, the engine's dump says
  ASSERT_TRUE(t->seek(Value::text("ALENA DOLEŽAL   ")));
  EXPECT_EQ(t->recno(), 214u);
  ASSERT_TRUE(t->seek(Value::text("ALENA HRUBÝ")));
  EXPECT_EQ(t->recno(), 45u);  // the first of two equal keys in the engine's order
  EXPECT_TRUE(t->seek(Value::text("ALENA DOLEŽAL" + std::string(40, ' '))));
  EXPECT_FALSE(t->seek(Value::text("ALENA DOLEŽAL" + std::string(27, ' ') + "X")));
  EXPECT_FALSE(t->seek(Value::text("ALENA DOLEŽALX")));
  EXPECT_TRUE(t->eof());
  ASSERT_TRUE(t->set_order("CIZA"));
  ASSERT_TRUE(t->seek(Value::number(2023000003)));
  EXPECT_EQ(t->recno(), 3u);
  EXPECT_FALSE(t->seek(Value::number(5)));
  EXPECT_FALSE(t->seek(Value::number(5), true));  // soft: not found, on the next key
  EXPECT_FALSE(t->eof());
  EXPECT_EQ(t->recno(), 1u);
}

// Every key the order should hold for the table's records now, sorted as the index sorts.
std::vector<std::pair<std::string, uint32_t>> keys_from_records(DbfTable& t, Order& o) {
  std::vector<std::pair<std::string, uint32_t>> out;
  t.scan([&](const RecordSource& r) {
    if (auto k = o.key_of(r)) out.push_back({*k, r.recno()});
  });
  return out;
}

std::vector<std::pair<std::string, uint32_t>> sorted_entries(std::vector<IndexKey> entries) {
  std::vector<std::pair<std::string, uint32_t>> out;
  for (auto& e : entries) out.push_back({e.key, e.recno});
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

::testing::AssertionResult in_order_within(const std::string& ours, const std::string& theirs) {
  std::vector<std::string> a = lines(ours), b = lines(theirs);
  size_t j = 0;
  for (size_t i = 0; i < a.size(); ++i, ++j) {
    while (j < b.size() && b[j] != a[i]) ++j;
    if (j == b.size())
      return ::testing::AssertionFailure() << "entry " << i << " \"" << a[i] << "\" missing";
  }
  if (b.size() > a.size() + 8)
    return ::testing::AssertionFailure() << b.size() - a.size() << " entries more";
  return ::testing::AssertionSuccess();
}

TEST_F(NtxFixture, KeptUpByTheTableTheEngineFilesStayValid) {
  for (std::string folder : {"small-mixed-bin-s1", "small-mixed-cs852-s5"}) {
    SCOPED_TRACE(folder);
    testutil::TempDir dir;
    testutil::copy_fixture(folder, dir.path());
    IndexOptions io;
    io.share = ShareMode::kExclusive;
    io.collation = collation_of(folder);
    {
      TableOpenOptions to;
      to.share = ShareMode::kExclusive;
      auto t = DbfTable::open(dir.file("ZAK.DBF"), to);
      for (std::string name : kNtx) t->add_bag(open_ntx(dir.file(name + ".NTX"), *t, io));
      // New records with keys before, between and after the engine's keys, and changed keys.
      for (int i = 0; i < 120; ++i) {
        t->append_blank();
        t->put("CZAK", Value::number(i % 2 ? 2023000000 + i * 7 : 1000 + i));
        t->put("NAZD", Value::text(i % 3 ? "Čeněk Šťastný " + std::to_string(i) : "AAA"));
        t->put("NAZ", Value::text("ŽLUTÝ KŮŇ " + std::to_string(i % 10)));
        t->put("FIRM", Value::number(i % 5));
        t->put("DATO", Value::date(Date::from_ymd(2020 + i % 5, 1 + i % 12, 1 + i % 28)));
      }
      for (uint32_t r = 3; r <= 300; r += 7) {
        t->go_to(r);
        t->put("NAZ", Value::text("PŘEPSÁNO " + std::to_string(r % 4)));
        t->put("CZAK", Value::number(-static_cast<double>(r)));
      }
      t->commit();
      t->close();
    }
    TableOpenOptions to;
    to.read_only = true;
    auto t = DbfTable::open(dir.file("ZAK.DBF"), to);
    io.share = ShareMode::kShared;
    io.read_only = true;
    for (std::string name : kNtx) {
      SCOPED_TRACE(name);
      auto bag = open_ntx(dir.file(name + ".NTX"), *t, io);
      Order& o = bag->order(0);
      std::vector<IndexKey> seen;
      o.verify([&](const IndexKey& e) { seen.push_back(e); });
      EXPECT_EQ(seen.size(), 420u);
      std::vector<std::pair<std::string, uint32_t>> want = keys_from_records(*t, o);
      std::sort(want.begin(), want.end());
      EXPECT_EQ(sorted_entries(seen), want);
      if (ntxtest::perl_reader_available()) {
        // That reader takes the stale record number the engine leaves in a branch page's
        // right-most slot for one more key, so ours must be in its list, in the same order.
        EXPECT_TRUE(in_order_within(ntxtest::perl_style_listing(o),
                                    ntxtest::perl_keys(dir.file(name + ".NTX"), o.key_type())));
      }
    }
  }
}

}  // namespace
