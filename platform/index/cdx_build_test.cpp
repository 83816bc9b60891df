// CDX creation: key forms, the file layout of a new index, FOR conditions, rebuild, and a
// bulk-built index against the same index kept up record by record.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "platform/index/cdx_build_keys.h"
#include "platform/index/cdx_format.h"
#include "platform/index/cdx_test_support.h"
#include "platform/table/table_error.h"
#include "tests/support/test_util.h"

namespace xbase {
namespace {

using cdxtest::MemTable;
using cdxtest::walk;

std::string hex(std::string_view s) {
  std::string out;
  char b[4];
  for (unsigned char c : s) {
    std::snprintf(b, sizeof b, "%02X", c);
    out += b;
  }
  return out;
}

const uint8_t* at(const std::vector<char>& f, size_t off) {
  return reinterpret_cast<const uint8_t*>(f.data() + off);
}

MemTable people(int rows, unsigned seed) {
  MemTable t;
  t.add_field("NAME", 'C', 30);
  t.add_field("NUM", 'N', 10, 2);
  t.add_field("DAT", 'D', 8);
  t.add_field("OK", 'L', 1);
  std::mt19937 rng(seed);
  const std::string syll[] = {"no",
                              "va",
                              "k",
                              "ova",
                              "pr",
                              "\xAC"
                              "er",
                              "ch",
                              "H",
                              " "};
  for (int i = 0; i < rows; ++i) {
    std::string name;
    for (unsigned n = rng() % 6; n > 0; --n) name += syll[rng() % 9];
    double num = (rng() % 4 == 0) ? 0 : (static_cast<int>(rng() % 20000) - 10000) / 4.0;
    Date d = rng() % 7 == 0 ? Date{} : Date{static_cast<int32_t>(2440000 + rng() % 25000)};
    t.append({Value::text(name), Value::number(num), Value::date(d), Value::logical(rng() % 2)});
  }
  return t;
}

IndexOptions exclusive() {
  IndexOptions o;
  o.share = ShareMode::kExclusive;
  return o;
}

TEST(CdxKeys, StoredForms) {
  testutil::TempDir tmp;
  MemTable t = people(0, 1);
  std::vector<OrderDefinition> defs = {{"C", "NAME", "", false, false},
                                       {"N", "NUM", "", false, false},
                                       {"D", "DAT", "", false, false},
                                       {"L", "OK", "", false, false}};
  auto bag = create_cdx(tmp.file("K.CDX"), defs, t, exclusive());
  Order& c = bag->order(0);
  Order& n = bag->order(1);
  Order& d = bag->order(2);
  Order& l = bag->order(3);
  EXPECT_EQ(c.key_type(), 'C');
  EXPECT_EQ(c.key_length(), 30);
  EXPECT_EQ(c.encode(Value::text("abc")), "abc" + std::string(27, ' '));
  EXPECT_EQ(c.encode(Value::text(std::string(40, 'x'))), std::string(30, 'x'));
  EXPECT_EQ(n.key_length(), 8);
  EXPECT_EQ(hex(n.encode(Value::number(0))), "8000000000000000");
  EXPECT_EQ(hex(n.encode(Value::number(-0.0))), "8000000000000000");
  EXPECT_EQ(hex(n.encode(Value::number(1))), "BFF0000000000000");
  EXPECT_EQ(hex(n.encode(Value::number(100))), "C059000000000000");
  EXPECT_EQ(hex(n.encode(Value::number(-1))), "400FFFFFFFFFFFFF");
  EXPECT_EQ(hex(n.encode(Value::number(-100.5))), "3FA6DFFFFFFFFFFF");
  for (double v : {0.0, 1.0, -1.0, 12345.25, -0.01, 1e12, -7584433.0})
    EXPECT_EQ(n.decode(n.encode(Value::number(v))).num(), v);
  EXPECT_EQ(hex(d.encode(Value::date(Date::from_ymd(2000, 1, 1)))), "C142B42C80000000");
  EXPECT_EQ(hex(d.encode(Value::date(Date{}))), "8000000000000000");
  EXPECT_EQ(d.decode(d.encode(Value::date(Date::from_ymd(1999, 12, 31)))).date_value().dtos(),
            "19991231");
  EXPECT_TRUE(d.decode(d.encode(Value::date(Date{}))).date_value().empty());
  EXPECT_EQ(l.key_length(), 1);
  EXPECT_EQ(l.encode(Value::logical(true)), "T");
  EXPECT_EQ(l.encode(Value::logical(false)), "F");
  EXPECT_TRUE(l.decode("T").log());
  // Unsigned byte order of the stored forms is the order of the values.
  EXPECT_LT(n.compare_keys(n.encode(Value::number(-100.5)), n.encode(Value::number(-1))), 0);
  EXPECT_LT(n.compare_keys(n.encode(Value::number(-1)), n.encode(Value::number(0))), 0);
  EXPECT_LT(n.compare_keys(n.encode(Value::number(0)), n.encode(Value::number(0.001))), 0);
  EXPECT_THROW(n.encode(Value::text("1")), TableError);
  EXPECT_THROW(c.encode(Value::number(1)), TableError);
}

TEST(CdxKeys, IgnoreCaseFlagUpperCasesCharacterKeys) {
  testutil::TempDir tmp;
  MemTable t = people(0, 1);
  const std::string path = tmp.file("I.CDX");
  create_cdx(path, {{"NAME", "NAME", "", false, false}}, t, exclusive())->close();
  auto bytes = testutil::read_file(path);
  bytes[0x600 + cdx::kHdrIgnoreCase] = 1;
  testutil::write_file(path, bytes);
  auto bag = open_cdx(path, t, exclusive());
  // CP852: c-caron 0x9F upper-cases to 0xAC.
  EXPECT_EQ(bag->order(0).encode(Value::text("ab\x9F")), "AB\xAC" + std::string(27, ' '));
}

// The rest of the layout is checked against the engine's own bulk-built files.
TEST(CdxLayout, EmptyTagNamedAfterTheFile) {
  testutil::TempDir tmp;
  MemTable t = people(0, 1);
  const std::string path = tmp.file("Dood.cdx");
  create_cdx(path, {{"", "UPPER(NAME)", "", false, false}}, t, exclusive())->close();
  auto f = testutil::read_file(path);
  ASSERT_EQ(f.size(), 0xC00u);
  EXPECT_EQ(std::string(f.data() + 20, 4), "RCHB");
  EXPECT_EQ(std::string(f.data() + 0x5FC, 4), "DOOD");  // the directory's one key
  EXPECT_EQ(cdx::get_le32(at(f, 0x600)), 0xA00u);
  EXPECT_EQ(std::string(f.data() + 0x800, 12), std::string("UPPER(NAME)\0", 12));
  // One empty root leaf.
  EXPECT_EQ(cdx::get_le16(at(f, 0xA00)), 3);
  EXPECT_EQ(cdx::get_le16(at(f, 0xA02)), 0);
  EXPECT_EQ(cdx::get_le32(at(f, 0xA04)), cdx::kNoPage);
  EXPECT_EQ(cdx::get_le32(at(f, 0xA08)), cdx::kNoPage);
  EXPECT_EQ(cdx::get_le16(at(f, 0xA0C)), 488);
  auto bag = open_cdx(path, t, exclusive());
  IndexKey k;
  EXPECT_FALSE(bag->order(0).first(&k));
  EXPECT_FALSE(bag->order(0).seek("", &k));
  EXPECT_EQ(bag->order(0).key_count(), 0u);
  EXPECT_EQ(bag->order(0).levels(), 1);
}

TEST(CdxLayout, TagsKeepCreationOrderAndDefinitions) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows refuses a second open of a file held exclusively, so its bytes "
                  "cannot be read while the test holds it";
#endif
  testutil::TempDir tmp;
  MemTable t = people(500, 2);
  const std::string path = tmp.file("MULTI.CDX");
  std::vector<OrderDefinition> defs = {{"zeta", "NAME", "NUM > 0", false, false},
                                       {"ALPHA", "NUM", "", true, true},
                                       {"MID", "DTOS(DAT)+NAME", "", false, false}};
  create_cdx(path, defs, t, exclusive())->close();
  auto bag = open_cdx(path, t, exclusive());
  ASSERT_EQ(bag->order_count(), 3u);
  EXPECT_EQ(bag->order(0).tag_name(), "ZETA");
  EXPECT_EQ(bag->order(0).for_expression(), "NUM > 0");
  EXPECT_EQ(bag->order(1).tag_name(), "ALPHA");
  EXPECT_TRUE(bag->order(1).unique());
  EXPECT_TRUE(bag->order(1).descending());
  EXPECT_EQ(bag->order(2).tag_name(), "MID");
  EXPECT_EQ(bag->order(2).key_length(), 38);
  auto f = testutil::read_file(path);
  EXPECT_EQ(f[0x600 + 14], 0x68);  // FOR
  EXPECT_EQ(f[0xA00 + 14], 0x61);  // unique
  EXPECT_EQ(cdx::get_le16(at(f, 0xA00 + 502)), 1);

  // FOR: only records with NUM > 0; unique: one record per value, the first.
  size_t positive = 0;
  std::map<std::string, uint32_t> first_of;
  t.scan([&](const RecordSource& r) {
    if (r.raw_value(1).num() > 0) ++positive;
    std::string k = bag->order(1).encode(r.raw_value(1));
    first_of.emplace(k, r.recno());
  });
  EXPECT_EQ(walk(bag->order(0)).size(), positive);
  auto uniq = walk(bag->order(1), false);
  ASSERT_EQ(uniq.size(), first_of.size());
  for (const IndexKey& k : uniq) EXPECT_EQ(k.recno, first_of[k.key]);
  for (size_t i = 0; i < 3; ++i) bag->order(i).verify([](const IndexKey&) {});
}

// The same keys through a bulk build and through inserts one by one; then a rebuild of the
// second file gives the first file's bytes (but for the change counter).
TEST(CdxBuild, BulkEqualsRecordByRecordAndRebuild) {
  testutil::TempDir tmp;
  MemTable full = people(3000, 3);
  MemTable empty = people(0, 3);
  std::vector<OrderDefinition> defs = {{"NAME", "UPPER(NAME)", "", false, false},
                                       {"NUM", "NUM", "", false, true},
                                       {"DAT", "DAT", "", false, false},
                                       {"MIX", "STR(NUM,10,2)+NAME", "", false, false}};
  const std::string bulk_path = tmp.file("BULK.CDX"), inc_path = tmp.file("INC.CDX");
  auto bulk = create_cdx(bulk_path, defs, full, exclusive());
  auto inc = create_cdx(inc_path, defs, empty, exclusive());
  full.scan([&](const RecordSource& r) {
    for (size_t i = 0; i < inc->order_count(); ++i)
      if (auto k = inc->order(i).key_of(r)) inc->order(i).insert({*k, r.recno()});
  });
  for (size_t i = 0; i < defs.size(); ++i) {
    SCOPED_TRACE(defs[i].tag);
    auto a = walk(bulk->order(i)), b = walk(inc->order(i));
    ASSERT_EQ(a.size(), 3000u);
    EXPECT_EQ(a, b);
    EXPECT_EQ(walk(bulk->order(i), false), walk(inc->order(i), false));
    bulk->order(i).verify([](const IndexKey&) {});
    inc->order(i).verify([](const IndexKey&) {});
    EXPECT_LE(bulk->order(i).levels(), inc->order(i).levels());
  }
  EXPECT_GE(bulk->order(3).levels(), 3);
  bulk->close();
  inc->rebuild(full);
  inc->close();
  auto a = testutil::read_file(bulk_path), b = testutil::read_file(inc_path);
  ASSERT_EQ(a.size(), b.size());
  EXPECT_EQ(cdx::get_be32(at(b, 8)), cdx::get_be32(at(a, 8)) + 1);  // the rebuild advanced it
  std::fill(a.begin() + 8, a.begin() + 12, 0);
  std::fill(b.begin() + 8, b.begin() + 12, 0);
  EXPECT_TRUE(a == b);
}

// Keys past what a build holds in memory go to disk in sorted runs and are merged back: the
// file is the same, whatever the order's rules, and no scratch file outlives the build.
TEST(CdxBuild, KeysPastMemoryGoThroughSortedRunsToTheSameFile) {
  struct ScratchFs : ForwardingFileSystem {
    using ForwardingFileSystem::ForwardingFileSystem;
    std::vector<std::string> made;
    std::unique_ptr<File> open(const std::string& p, const OpenOptions& o) override {
      if (p.ends_with(".run")) made.push_back(p);
      return inner_.open(p, o);
    }
  } fs(native_file_system());
  struct Restore {
    size_t keys = cdx::run_keys();
    ~Restore() {
      set_file_system(nullptr);
      cdx::set_run_keys(keys);
    }
  } restore;
  testutil::TempDir tmp;
  MemTable t = people(3000, 5);
  const std::vector<OrderDefinition> defs = {{"NAME", "NAME", "", true, false},
                                             {"NUM", "NUM", "", false, true},
                                             {"MIX", "UPPER(NAME)+DTOS(DAT)", "OK", false, false}};
  decltype(testutil::read_file("")) bytes_file;
  for (const Collation* c :
       {static_cast<const Collation*>(nullptr), &binary_collation(), &czech_collation()}) {
    SCOPED_TRACE(c ? c->name() : "bytes");
    const IndexOptions o{ShareMode::kExclusive, false, c};
    create_cdx(tmp.file("MEM.CDX"), defs, t, o)->close();
    cdx::set_run_keys(97);
    set_file_system(&fs);
    create_cdx(tmp.file("RUNS.CDX"), defs, t, o)->close();
    set_file_system(nullptr);
    cdx::set_run_keys(restore.keys);
    EXPECT_TRUE(testutil::read_file(tmp.file("MEM.CDX")) ==
                testutil::read_file(tmp.file("RUNS.CDX")));
    // Binary rules named outright sort as bytes do: the same file as without rules.
    if (!c) bytes_file = testutil::read_file(tmp.file("MEM.CDX"));
    if (c == &binary_collation()) {
      EXPECT_TRUE(testutil::read_file(tmp.file("MEM.CDX")) == bytes_file);
    }
  }
  ASSERT_EQ(fs.made.size(), 3u);
  for (const std::string& p : fs.made) EXPECT_FALSE(native_file_system().exists(p)) << p;
}

TEST(CdxBuild, RecordNumbersBeyondSixteenBitsWidenEveryLeaf) {
  testutil::TempDir tmp;
  MemTable t;
  t.add_field("NUM", 'N', 8);
  for (int i = 0; i < 70000; ++i) t.append({Value::number((i * 7919) % 100000)});
  const std::string path = tmp.file("BIG.CDX");
  auto bag = create_cdx(path, {{"NUM", "NUM", "", false, false}}, t, exclusive());
  Order& o = bag->order(0);
  auto keys = walk(o);
  ASSERT_EQ(keys.size(), 70000u);
  for (size_t i = 1; i < keys.size(); ++i)
    ASSERT_LT(o.compare_keys(keys[i - 1].key, keys[i].key), 0);
  EXPECT_EQ(o.levels(), 3);
  o.verify([](const IndexKey&) {});
  bag->close();
  auto f = testutil::read_file(path);
  int leaves = 0;
  for (size_t p = 0xA00; p < f.size(); p += 512) {
    if (cdx::get_le16(at(f, p)) & 2) {
      ++leaves;
      ASSERT_EQ(f[p + 23], 4) << "leaf at " << p;
      ASSERT_EQ(f[p + 20], 24);
    }
  }
  EXPECT_GT(leaves, 400);
}

TEST(CdxBuild, BadDefinitionsLeaveNoFile) {
  testutil::TempDir tmp;
  MemTable t = people(3, 1);
  const std::string path = tmp.file("BAD.CDX");
  EXPECT_THROW(create_cdx(path, {{"X", "NOSUCHFIELD", "", false, false}}, t, exclusive()),
               TableError);
  EXPECT_THROW(
      create_cdx(path, {{"X", "NAME+NAME+NAME+NAME+NAME+NAME+NAME+NAME+NAME", "", false, false}}, t,
                 exclusive()),
      TableError);
  EXPECT_THROW(create_cdx(path, {{"X", "NAME", "", false, false}, {"x", "NUM", "", false, false}},
                          t, exclusive()),
               TableError);
  EXPECT_FALSE(file_system().exists(path));
}

}  // namespace
}  // namespace xbase
