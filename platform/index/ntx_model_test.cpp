// NTX trees against a model: random inserts, removals, seeks and finds next to a std::multimap
// holding the same entries, compared in full after every step, on trees of three and more
// levels (long keys: few keys a page), in exclusive mode (flushed and reopened on the way)
// and in shared mode (a second handle reading what the first wrote).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "platform/index/collation.h"
#include "platform/index/ntx_test_support.h"
#include "tests/support/test_util.h"

namespace {

using namespace xbase;
using ntxtest::MemTable;

struct Config {
  const char* name;
  char type;  // 'C' or 'N'
  bool unique;
  bool descending;
  const Collation* collation;
};

// The tree order of two stored keys, as the order defines it.
struct TreeLess {
  Order* order;
  bool operator()(const std::string& a, const std::string& b) const {
    int c = order->compare_keys(a, b);
    return order->descending() ? c > 0 : c < 0;
  }
};
// multimap::insert puts a key after its equals, the order an NTX keeps them in.
using Model = std::multimap<std::string, uint32_t, TreeLess>;

std::vector<IndexKey> entries(const Model& m) {
  std::vector<IndexKey> out;
  for (const auto& [k, r] : m) out.push_back({k, r});
  return out;
}

class Driver {
 public:
  Driver(const Config& cfg, uint32_t seed) : cfg_(cfg), rng_(seed), table_(schema(cfg)) {}

  static std::vector<FieldInfo> schema(const Config& cfg) {
    if (cfg.type == 'N') return {ntxtest::field("AMOUNT", 'N', 60, 2)};
    return {ntxtest::field("NAME", 'C', 120)};
  }

  std::unique_ptr<IndexBag> create(const std::string& path, ShareMode share) {
    OrderDefinition def;
    def.expression = cfg_.type == 'N' ? "AMOUNT" : "NAME";
    def.unique = cfg_.unique;
    def.descending = cfg_.descending;
    return create_ntx(path, def, table_, options(share));
  }
  std::unique_ptr<IndexBag> open(const std::string& path, ShareMode share) {
    return open_ntx(path, table_, options(share));
  }
  IndexOptions options(ShareMode share) const {
    IndexOptions io;
    io.share = share;
    io.collation = cfg_.collation;
    return io;
  }

  // A value from a small pool (duplicates), blank ones and Czech text among them.
  Value random_value() {
    if (cfg_.type == 'N') {
      static const double fixed[] = {0, -0.01, 0.01, -999999.99, 1234567.5, -5, 5};
      if (pick(5) == 0) return Value::number(fixed[pick(7)]);
      return Value::number(static_cast<double>(static_cast<int>(pick(4001)) - 2000) / 4);
    }
    static const char* words[] = {"",        "Čeněk",   "ČENĚK", "chata", "CH",       "Hana",
                                  "hrad",    "Šťastný", "Žofie", "Ábel",  "Zuzana",   "á",
                                  "Ďáblice", "ovoce",   "Ovoce", "ŘEPA",  "  mezera", "0123",
                                  "999",     "Úl",      "ůl",    "Z"};
    std::string s = words[pick(22)];
    if (pick(3) == 0) s += " " + std::to_string(pick(12));
    return Value::text(CodePage::cp852().from_utf8(s));
  }
  std::string random_key(Order& o) { return o.encode(random_value()); }
  size_t pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }

  // One random step on order o, mirrored on the model.
  void step(Order& o, Model& m, bool grow) {
    // Growing: mostly inserts; shrinking: mostly removals, down to merges and a lower root.
    size_t what = pick(10);
    if (grow ? what < 7 : what < 1) {
      IndexKey e{random_key(o), ++recno_};
      bool held = m.find(e.key) != m.end();
      o.insert(e);
      if (!(cfg_.unique && held)) m.insert({e.key, e.recno});
    } else if (what < 8 && !m.empty()) {
      auto it = std::next(m.begin(), static_cast<long>(pick(m.size())));
      IndexKey e{it->first, it->second};
      m.erase(it);
      EXPECT_TRUE(o.remove(e));
      EXPECT_FALSE(o.remove(e)) << "removed twice";
    } else if (what < 9) {
      std::string key = random_key(o);
      std::string prefix = key.substr(0, pick(key.size() + 1));
      auto it = std::partition_point(m.begin(), m.end(), [&](const auto& kv) {
        int c = o.compare_keys(kv.first, prefix);
        return o.descending() ? c > 0 : c < 0;
      });
      IndexKey got;
      bool found = o.seek(prefix, &got);
      ASSERT_EQ(found, it != m.end()) << "seek of \"" << prefix << "\"";
      if (found) {
        EXPECT_EQ(got, (IndexKey{it->first, it->second}));
      }
    } else if (!m.empty()) {
      auto it = std::next(m.begin(), static_cast<long>(pick(m.size())));
      ASSERT_TRUE(o.find({it->first, it->second}));
      IndexKey got;
      auto after = std::next(it);
      EXPECT_EQ(o.next(&got), after != m.end());
      if (after != m.end()) {
        EXPECT_EQ(got, (IndexKey{after->first, after->second}));
      }
      ASSERT_TRUE(o.find({it->first, it->second}));
      auto before = it == m.begin() ? m.end() : std::prev(it);
      EXPECT_EQ(o.prev(&got), before != m.end());
      if (before != m.end()) {
        EXPECT_EQ(got, (IndexKey{before->first, before->second}));
      }
    }
  }

  MemTable& table() { return table_; }

 private:
  Config cfg_;
  std::mt19937 rng_;
  MemTable table_;
  uint32_t recno_ = 0;
};

void expect_same(Order& o, const Model& m) {
  std::vector<IndexKey> want = entries(m);
  ASSERT_EQ(ntxtest::walk_forward(o), want);
  ASSERT_EQ(ntxtest::walk_backward(o), want);
}

const Config kConfigs[] = {
    {"char-binary", 'C', false, false, nullptr},
    {"char-czech", 'C', false, false, &czech_collation()},
    {"char-czech-descending", 'C', false, true, &czech_collation()},
    {"char-unique", 'C', true, false, nullptr},
    {"numeric", 'N', false, false, nullptr},
    {"numeric-descending-unique", 'N', true, true, nullptr},
};

TEST(NtxModel, ExclusiveRandomStepsMatchTheModelAcrossReopens) {
  for (const Config& cfg : kConfigs) {
    SCOPED_TRACE(cfg.name);
    testutil::TempDir dir;
    std::string path = dir.file("MODEL.NTX");
    Driver d(cfg, 7);
    auto bag = d.create(path, ShareMode::kExclusive);
    Model m(TreeLess{&bag->order(0)});
    int max_levels = 0;
    int min_after_peak = 1 << 30;
    for (int i = 0; i < 1100; ++i) {
      d.step(bag->order(0), m, i < 600);
      ASSERT_NO_FATAL_FAILURE(expect_same(bag->order(0), m)) << "step " << i;
      max_levels = std::max(max_levels, bag->order(0).levels());
      if (i >= 600) min_after_peak = std::min(min_after_peak, bag->order(0).levels());
      if (i % 150 == 149) {
        bag->close();
        bag = d.open(path, ShareMode::kExclusive);
        m = Model(m.begin(), m.end(), TreeLess{&bag->order(0)});
        ASSERT_NO_FATAL_FAILURE(expect_same(bag->order(0), m)) << "reopened at step " << i;
        bag->order(0).verify(nullptr);
      }
    }
    EXPECT_GE(max_levels, 3);
    EXPECT_LT(min_after_peak, max_levels) << "the tree never lost a level";
    EXPECT_EQ(bag->order(0).key_count(), m.size());
    bag->order(0).verify(nullptr);
  }
}

TEST(NtxModel, SharedWriterAndReaderMatchTheModel) {
  for (const Config& cfg : {kConfigs[1], kConfigs[4]}) {
    SCOPED_TRACE(cfg.name);
    testutil::TempDir dir;
    std::string path = dir.file("SHARED.NTX");
    Driver d(cfg, 11);
    d.create(path, ShareMode::kExclusive)->close();
    auto writer = d.open(path, ShareMode::kShared);
    auto reader = d.open(path, ShareMode::kShared);
    Model m(TreeLess{&writer->order(0)});
    int max_levels = 0;
    for (int i = 0; i < 500; ++i) {
      d.step(writer->order(0), m, i < 380);
      // The reader's cache must give way to what the writer changed.
      ASSERT_NO_FATAL_FAILURE(expect_same(reader->order(0), m)) << "step " << i;
      max_levels = std::max(max_levels, reader->order(0).levels());
      if (i % 50 == 0) std::swap(writer, reader);
    }
    EXPECT_GE(max_levels, 3);
    writer->order(0).verify(nullptr);
  }
}

// The reader's cursor survives a change by another handle: it finds its entry again.
TEST(NtxModel, CursorContinuesAfterAnotherHandleChangedTheTree) {
  testutil::TempDir dir;
  std::string path = dir.file("CURSOR.NTX");
  Driver d(kConfigs[0], 3);
  d.create(path, ShareMode::kExclusive)->close();
  auto a = d.open(path, ShareMode::kShared);
  auto b = d.open(path, ShareMode::kShared);
  Order& oa = a->order(0);
  Order& ob = b->order(0);
  for (uint32_t r = 1; r <= 300; ++r)
    oa.insert({oa.encode(Value::text("K" + std::to_string(r))), r});
  IndexKey e;
  ASSERT_TRUE(ob.seek("K150", &e));
  // Enough inserts before the cursor to move its entry to another page.
  for (uint32_t r = 301; r <= 500; ++r)
    oa.insert({oa.encode(Value::text("A" + std::to_string(r))), r});
  ASSERT_TRUE(ob.next(&e));
  EXPECT_EQ(e.key.substr(0, 5), "K151 ");
  ASSERT_TRUE(ob.prev(&e));
  ASSERT_TRUE(ob.prev(&e));
  EXPECT_EQ(e.key.substr(0, 5), "K15  ");
  // Its entry removed by the other handle, the cursor goes on at the next key.
  ASSERT_TRUE(ob.seek("K200", &e));
  ASSERT_TRUE(oa.remove(e));
  ASSERT_TRUE(ob.next(&e));
  EXPECT_EQ(e.key.substr(0, 5), "K201 ");
}

}  // namespace
