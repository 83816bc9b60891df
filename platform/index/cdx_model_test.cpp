// Model-based CDX tests: random inserts, removes and seeks against a sorted set of
// (key, record number), compared after every step by a full walk in both directions, on
// deep trees, with record numbers beyond 16 bits, duplicates, empty keys, negative numbers,
// Czech text, a descending tag and several tags in one file; exclusive (flush and reopen)
// and shared.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "platform/index/cdx_test_support.h"
#include "platform/table/table_error.h"
#include "tests/support/test_util.h"

namespace xbase {
namespace {

using cdxtest::MemTable;
using cdxtest::walk;

MemTable make_table() {
  MemTable t;
  t.add_field("NAME", 'C', 100);
  t.add_field("CODE", 'C', 12);
  t.add_field("NUM", 'N', 12, 2);
  t.add_field("DAT", 'D', 8);
  return t;
}

// Random values of one kind; few distinct ones where duplicates are wanted.
struct Gen {
  std::mt19937 rng;
  std::string alphabet = "ABCDEFGHIJ";
  explicit Gen(unsigned seed) : rng(seed) {}
  int below(int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); }
  std::string text(int max_len) {
    std::string s;
    int len = below(max_len + 1);
    for (int i = 0; i < len; ++i)
      s += alphabet[static_cast<size_t>(below(static_cast<int>(alphabet.size())))];
    return s;
  }
  double number() {
    switch (below(4)) {
      case 0:
        return 0;
      case 1:
        return -below(1000) - below(100) / 100.0;
      default:
        return below(100000) / 4.0;
    }
  }
  uint32_t recno(bool wide) {
    if (!wide) return 1 + static_cast<uint32_t>(below(60000));
    switch (below(3)) {
      case 0:
        return 1 + static_cast<uint32_t>(below(1000));
      case 1:
        return 65530 + static_cast<uint32_t>(below(100000));
      default:
        return 0x1000000u + static_cast<uint32_t>(rng() % 0x7F000000u);
    }
  }
};

class Model {
 public:
  explicit Model(Order& o) : o_(&o), set_(Less{&o}) {}
  void rebind(Order& o) {
    o_ = &o;
    std::set<IndexKey, Less> s(Less{&o});
    s.insert(set_.begin(), set_.end());
    set_.swap(s);
  }
  bool holds(const IndexKey& k) const { return set_.count(k) > 0; }
  void insert(const IndexKey& k) {
    if (o_->unique()) {
      for (const IndexKey& e : set_)
        if (o_->compare_keys(e.key, k.key) == 0) return;
    }
    set_.insert(k);
  }
  void remove(const IndexKey& k) { set_.erase(k); }
  std::vector<IndexKey> logical() const {
    std::vector<IndexKey> v(set_.begin(), set_.end());
    if (o_->descending()) std::reverse(v.begin(), v.end());
    return v;
  }
  size_t size() const { return set_.size(); }
  const IndexKey& nth(size_t i) const { return *std::next(set_.begin(), static_cast<long>(i)); }
  // What seek(prefix) must give: the first entry in logical order not before the prefix.
  std::optional<IndexKey> seek(const std::string& prefix) const {
    auto cmp = [&](const IndexKey& e) {
      std::string k = e.key;
      if (prefix.size() > k.size()) k.resize(prefix.size(), o_->key_type() == 'C' ? ' ' : '\0');
      return o_->compare_keys(k.substr(0, prefix.size()), prefix);
    };
    for (const IndexKey& e : logical())
      if (o_->descending() ? cmp(e) <= 0 : cmp(e) >= 0) return e;
    return std::nullopt;
  }

 private:
  struct Less {
    Order* o;
    bool operator()(const IndexKey& a, const IndexKey& b) const {
      int c = o->compare_keys(a.key, b.key);
      return c != 0 ? c < 0 : a.recno < b.recno;
    }
  };
  Order* o_;
  std::set<IndexKey, Less> set_;
};

void expect_same(Order& o, const Model& m) {
  std::vector<IndexKey> want = m.logical();
  std::vector<IndexKey> fwd = walk(o, true);
  ASSERT_EQ(fwd.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) ASSERT_EQ(fwd[i], want[i]) << "forward entry " << i;
  std::vector<IndexKey> back = walk(o, false);
  ASSERT_EQ(back.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i)
    ASSERT_EQ(back[want.size() - 1 - i], want[i]) << "backward entry " << i;
}

struct Scenario {
  std::string expr;
  bool descending = false;
  bool unique = false;
  bool wide_recnos = false;
  bool czech = false;
  int steps = 1500;
  int max_text = 100;
  std::string alphabet = "ABCDEFGHIJ";
  int insert_tenths = 6;  // share of the steps that insert, once the tree has 20 keys
  int min_levels = 3;
};

IndexKey random_key(Order& o, Gen& g, const Scenario& sc) {
  IndexKey k;
  k.recno = g.recno(sc.wide_recnos);
  switch (o.key_type()) {
    case 'C':
      k.key = o.encode(Value::text(g.text(sc.max_text)));
      break;
    case 'N':
      k.key = o.encode(Value::number(g.number()));
      break;
    default:
      k.key = o.encode(Value::date(g.below(5) == 0 ? Date{} : Date{2440000 + g.below(30000)}));
  }
  return k;
}

// One random step: mostly inserts while small, a mix later; every step is checked.
void random_step(Order& o, Model& m, Gen& g, const Scenario& sc) {
  int what = g.below(10);
  if (what < sc.insert_tenths || m.size() < 20) {
    IndexKey k = random_key(o, g, sc);
    o.insert(k);
    m.insert(k);
  } else if (what < 9) {
    IndexKey k = m.nth(static_cast<size_t>(g.below(static_cast<int>(m.size()))));
    EXPECT_TRUE(o.remove(k));
    m.remove(k);
    EXPECT_FALSE(o.remove(k));
  } else {
    IndexKey probe = random_key(o, g, sc);
    std::string prefix = probe.key;
    // Prefix seeks where the collation keeps prefixes in order (byte order).
    if (o.key_type() == 'C' && !sc.czech) prefix.resize(static_cast<size_t>(g.below(6)));
    auto want = m.seek(prefix);
    IndexKey got;
    bool found = o.seek(prefix, &got);
    ASSERT_EQ(found, want.has_value());
    if (found) {
      ASSERT_EQ(got, *want);
      IndexKey after;
      auto v = m.logical();
      auto it = std::find(v.begin(), v.end(), got);
      bool more = o.next(&after);
      ASSERT_EQ(more, it + 1 != v.end());
      if (more) {
        ASSERT_EQ(after, *(it + 1));
      }
    }
    EXPECT_EQ(o.find(probe), m.holds(probe));
  }
}

void run_scenario(const Scenario& sc, ShareMode share, unsigned seed) {
  testutil::TempDir tmp;
  MemTable table = make_table();
  OrderDefinition def;
  def.tag = "T";
  def.expression = sc.expr;
  def.descending = sc.descending;
  def.unique = sc.unique;
  IndexOptions opts;
  opts.share = share;
  opts.collation = sc.czech ? &czech_collation() : nullptr;
  const std::string path = tmp.file("M.CDX");
  auto bag = create_cdx(path, {def}, table, opts);
  Order* o = &bag->order(0);
  Model m(*o);
  Gen g(seed);
  g.alphabet = sc.alphabet;
  int max_levels = 0;
  for (int step = 0; step < sc.steps; ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    random_step(*o, m, g, sc);
    expect_same(*o, m);
    if (::testing::Test::HasFatalFailure()) return;
    if (step % 100 == 99) {
      max_levels = std::max(max_levels, o->levels());
      o->verify([](const IndexKey&) {});
      EXPECT_EQ(o->key_count(), m.size());
    }
    if (step % 500 == 499) {
      // What was flushed is what a new open finds.
      bag->flush();
      bag.reset();
      bag = open_cdx(path, table, opts);
      o = &bag->order(0);
      m.rebind(*o);
      expect_same(*o, m);
    }
  }
  EXPECT_GE(max_levels, sc.min_levels);
  std::vector<IndexKey> seen;
  o->verify([&](const IndexKey& k) { seen.push_back(k); });
  EXPECT_EQ(seen, m.logical());
  bag->close();
}

TEST(CdxModel, LongTextKeysDeepTree) {
  Scenario sc;
  sc.expr = "NAME";
  run_scenario(sc, ShareMode::kExclusive, 1);
}

TEST(CdxModel, DuplicatesAndEmptyKeysWideRecordNumbers) {
  Scenario sc;
  sc.expr = "NAME";
  sc.max_text = 3;
  sc.alphabet = "AB";
  sc.wide_recnos = true;
  sc.steps = 2500;
  run_scenario(sc, ShareMode::kExclusive, 2);
}

TEST(CdxModel, NegativeAndFractionalNumbers) {
  Scenario sc;
  sc.expr = "NUM";
  sc.steps = 1500;
  sc.insert_tenths = 8;
  sc.min_levels = 2;  // 8-byte keys: a third level needs thousands of keys
  sc.wide_recnos = true;
  run_scenario(sc, ShareMode::kExclusive, 3);
}

TEST(CdxModel, DescendingTag) {
  Scenario sc;
  sc.expr = "NAME";
  sc.descending = true;
  run_scenario(sc, ShareMode::kExclusive, 4);
}

TEST(CdxModel, CzechTextInCzechOrder) {
  Scenario sc;
  sc.expr = "UPPER(NAME)";
  sc.czech = true;
  // CP852: Á Č Ď É Ě Í Ř Š Ž and C, H for the CH digraph.
  sc.alphabet = std::string("ACHSZ\xB5\xAC\xD2\x90\xB7\xD6\xFC\xE6\xA6", 14);
  sc.max_text = 60;
  run_scenario(sc, ShareMode::kExclusive, 5);
}

TEST(CdxModel, EmptyAndRealDates) {
  Scenario sc;
  sc.expr = "DAT";
  sc.steps = 1500;
  sc.insert_tenths = 8;
  sc.min_levels = 2;
  run_scenario(sc, ShareMode::kExclusive, 6);
}

TEST(CdxModel, TextShared) {
  Scenario sc;
  sc.expr = "NAME";
  sc.steps = 700;
  run_scenario(sc, ShareMode::kShared, 9);
}

TEST(CdxModel, UniqueTagKeepsFirstRecordOfAKey) {
  Scenario sc;
  sc.expr = "CODE";
  sc.unique = true;
  sc.max_text = 2;
  sc.alphabet = "ABC";
  sc.steps = 300;
  testutil::TempDir tmp;
  MemTable table = make_table();
  OrderDefinition def{"U", "CODE", "", true, false};
  auto bag = create_cdx(tmp.file("U.CDX"), {def}, table, IndexOptions{});
  Order& o = bag->order(0);
  Model m(o);
  Gen g(7);
  g.alphabet = sc.alphabet;
  for (int i = 0; i < sc.steps; ++i) {
    random_step(o, m, g, sc);
    expect_same(o, m);
  }
  // 3 letters, length 0..2: at most 13 distinct keys.
  EXPECT_LE(m.size(), 13u);
  EXPECT_GT(m.size(), 5u);
}

// Several tags of one file changed in turn; pages of all three share one free list.
TEST(CdxModel, ThreeTagsInOneFileExclusiveAndShared) {
  for (ShareMode share : {ShareMode::kExclusive, ShareMode::kShared}) {
    testutil::TempDir tmp;
    MemTable table = make_table();
    std::vector<OrderDefinition> defs = {{"BYNAME", "NAME", "", false, false},
                                         {"BYNUM", "NUM", "", false, true},
                                         {"BYDATE", "DAT", "", false, false}};
    IndexOptions opts;
    opts.share = share;
    const std::string path = tmp.file("MULTI.CDX");
    auto bag = create_cdx(path, defs, table, opts);
    ASSERT_EQ(bag->order_count(), 3u);
    std::vector<Model> models;
    for (size_t i = 0; i < 3; ++i) models.emplace_back(bag->order(i));
    Gen g(8 + (share == ShareMode::kShared));
    Scenario sc;
    sc.max_text = 80;
    for (int step = 0; step < 2400; ++step) {
      size_t t = static_cast<size_t>(g.below(3));
      random_step(bag->order(t), models[t], g, sc);
      expect_same(bag->order(t), models[t]);
      if (::testing::Test::HasFatalFailure()) return;
      if (step % 800 == 799) {
        bag->close();
        bag.reset();
        bag = open_cdx(path, table, opts);
        ASSERT_EQ(bag->order_count(), 3u);
        EXPECT_EQ(bag->order(0).tag_name(), "BYNAME");
        EXPECT_EQ(bag->order(1).tag_name(), "BYNUM");
        EXPECT_TRUE(bag->order(1).descending());
        for (size_t i = 0; i < 3; ++i) {
          models[i].rebind(bag->order(i));
          expect_same(bag->order(i), models[i]);
          bag->order(i).verify([](const IndexKey&) {});
        }
      }
    }
    EXPECT_GE(bag->order(0).levels(), 3);
  }
}

TEST(CdxModel, SplitOfABuiltLeafMovesItsUnreadNeighboursLink) {
  // Built leaves are full: an insert into each splits it, and the neighbour on the right,
  // never read, has its left link changed as the file holds it. Walks both ways before the
  // flush (read from the change) and after a reopen (from the file) must see every entry.
  testutil::TempDir tmp;
  MemTable table = make_table();
  for (int i = 0; i < 3000; ++i)
    table.append({Value::text(""), Value::text(""), Value::number(2 * i), Value::date(Date{})});
  const std::string path = tmp.file("S.CDX");
  IndexOptions opts;
  opts.share = ShareMode::kExclusive;
  create_cdx(path, {{"NUM", "NUM", "", false, false}}, table, opts)->close();
  std::vector<IndexKey> want;
  for (int pass = 0; pass < 2; ++pass) {
    auto bag = open_cdx(path, table, opts);
    Order& o = bag->order(0);
    if (pass == 0) {
      for (int i = 1; i < 6000; i += 97) {
        table.append({Value::text(""), Value::text(""), Value::number(i), Value::date(Date{})});
        o.insert({*o.key_of((table.go(table.count()), table)), table.count()});
      }
      want = walk(o);
      EXPECT_EQ(want.size(), 3000u + 62u);
    }
    EXPECT_EQ(walk(o), want);
    auto back = walk(o, false);
    std::reverse(back.begin(), back.end());
    EXPECT_EQ(back, want);
    o.verify([](const IndexKey&) {});
    bag->close();
  }
}

}  // namespace
}  // namespace xbase
