// NTX key forms, the header we write, bulk builds against record-by-record builds, the index
// lock and the version counter, and a third reader's view of files we wrote.
#include "platform/index/ntx_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "platform/index/collation.h"
#include "platform/index/ntx_test_support.h"
#include "platform/table/table_error.h"
#include "tests/support/test_util.h"

namespace {

using namespace xbase;
using ntxtest::field;
using ntxtest::MemTable;

TEST(NtxKeys, NumbersAsTheEnginesWriteThem) {
  EXPECT_EQ(ntx::number_key(3, 5, 0), "00003");
  EXPECT_EQ(ntx::number_key(-5, 5, 0), ",,,,'");
  EXPECT_EQ(ntx::number_key(-15, 5, 0), ",,,+'");
  EXPECT_EQ(ntx::number_key(12.5, 8, 2), "00012.50");
  EXPECT_EQ(ntx::number_key(-12.5, 8, 2), ",,,+*.',");
  EXPECT_EQ(ntx::number_key(2.005, 6, 2), "002.01");   // STR rounds half away from zero
  EXPECT_EQ(ntx::number_key(-0.001, 6, 2), "000.00");  // no negative zero
  EXPECT_EQ(ntx::number_key(0, 4, 0), "0000");
  EXPECT_EQ(ntx::number_key(123456, 5, 0), "*****");  // as STR of a number too wide
  EXPECT_EQ(ntx::number_key(9876543210.0, 10, 0), "9876543210");
}

TEST(NtxKeys, NumberKeysDecodeAndSortAsTheirValues) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> d(-2000000, 2000000);
  std::vector<double> values = {0, -0.01, 0.01, -9999999.99, 9999999.99};
  for (int i = 0; i < 500; ++i) values.push_back(d(rng) / 100.0);
  std::vector<std::pair<std::string, double>> keyed;
  for (double v : values) {
    std::string k = ntx::number_key(v, 11, 2);
    ASSERT_EQ(k.size(), 11u);
    EXPECT_DOUBLE_EQ(ntx::key_number(k), v) << k;
    keyed.push_back({k, v});
  }
  std::sort(keyed.begin(), keyed.end());
  for (size_t i = 1; i < keyed.size(); ++i)
    EXPECT_LE(keyed[i - 1].second, keyed[i].second) << keyed[i - 1].first << " " << keyed[i].first;
  EXPECT_EQ(ntx::key_number("   12"), 12);  // blanks of other writers
}

TEST(NtxKeys, EncodeAndDecodeEveryKeyType) {
  MemTable t({field("NAME", 'C', 6), field("AMOUNT", 'N', 7, 2), field("DAY", 'D', 8),
              field("OK", 'L', 1)});
  testutil::TempDir dir;
  auto make = [&](const char* expr) {
    OrderDefinition def;
    def.expression = expr;
    return create_ntx(dir.file(std::string(expr) + ".NTX"), def, t, IndexOptions{});
  };
  auto c = make("NAME");
  Order& oc = c->order(0);
  EXPECT_EQ(oc.key_type(), 'C');
  EXPECT_EQ(oc.encode(Value::text("AB")), "AB    ");
  EXPECT_EQ(oc.encode(Value::text("ABCDEFGH")), "ABCDEF");
  EXPECT_EQ(oc.decode("AB    ").str(), "AB    ");
  EXPECT_THROW(oc.encode(Value::number(1)), TableError);

  auto n = make("AMOUNT");
  Order& on = n->order(0);
  EXPECT_EQ(on.key_type(), 'N');
  EXPECT_EQ(on.key_length(), 7);
  EXPECT_EQ(on.key_decimals(), 2);
  EXPECT_EQ(on.encode(Value::number(-1.5)), ",,,+.',");
  EXPECT_DOUBLE_EQ(on.decode(",,,+.',").num(), -1.5);
  EXPECT_LT(on.compare_keys(on.encode(Value::number(-3)), on.encode(Value::number(2))), 0);

  auto d = make("DAY");
  Order& od = d->order(0);
  EXPECT_EQ(od.key_length(), 8);
  EXPECT_EQ(od.encode(Value::date(Date::from_ymd(2024, 3, 5))), "20240305");
  EXPECT_EQ(od.encode(Value::date(Date{})), "        ");
  EXPECT_EQ(od.decode("20240305").date_value(), Date::from_ymd(2024, 3, 5));
  EXPECT_TRUE(od.decode("00000000").date_value().empty());  // another engine's empty date

  auto l = make("OK");
  Order& ol = l->order(0);
  EXPECT_EQ(ol.encode(Value::logical(true)), "T");
  EXPECT_EQ(ol.encode(Value::logical(false)), "F");
  EXPECT_TRUE(ol.decode("T").log());
  EXPECT_FALSE(ol.decode("F").log());
}

TEST(NtxKeys, CharacterKeysCompareWithTheCollationOverTheShorterLength) {
  MemTable t({field("NAME", 'C', 10)});
  testutil::TempDir dir;
  OrderDefinition def;
  def.expression = "NAME";
  IndexOptions io;
  io.collation = &czech_collation();
  auto bag = create_ntx(dir.file("C.NTX"), def, t, io);
  Order& o = bag->order(0);
  const CodePage& cp = CodePage::cp852();
  EXPECT_LT(o.compare_keys(cp.from_utf8("Čeněk"), "D"), 0);  // bytes would put Č after D
  EXPECT_EQ(o.compare_keys("ABCDEF", "ABC"), 0);
  EXPECT_GT(o.compare_keys("ABD", "ABCDEF"), 0);
  io.collation = nullptr;
  auto bin = create_ntx(dir.file("B.NTX"), def, t, io);
  EXPECT_GT(bin->order(0).compare_keys(cp.from_utf8("Čeněk"), "D"), 0);
}

MemTable sample_table(int records, uint32_t seed) {
  MemTable t({field("NAME", 'C', 30), field("AMOUNT", 'N', 9, 2), field("DAY", 'D', 8)});
  std::mt19937 rng(seed);
  const char* words[] = {"", "Čeněk", "Šťastný", "chata", "Hana", "ovoce", "Žofie", "Ábel"};
  for (int i = 0; i < records; ++i) {
    std::string s = words[rng() % 8];
    if (rng() % 2) s += " " + std::to_string(rng() % 50);
    t.add(
        {Value::text(CodePage::cp852().from_utf8(s)),
         Value::number(static_cast<double>(static_cast<int>(rng() % 20001) - 10000) / 8),
         Value::date(rng() % 10 ? Date::from_ymd(2000 + rng() % 30, 1 + rng() % 12, 1) : Date{})});
  }
  return t;
}

TEST(NtxCreate, HeaderAsTheEnginesWriteIt) {
  MemTable t = sample_table(10, 1);
  testutil::TempDir dir;
  OrderDefinition def;
  def.expression = "UPPER(NAME)";
  create_ntx(dir.file("jmena.ntx"), def, t, IndexOptions{})->close();
  std::vector<char> raw = testutil::read_file(dir.file("jmena.ntx"));
  ASSERT_EQ(raw.size(), 2048u);
  ntx::PageBytes page;
  std::copy(raw.begin(), raw.begin() + 1024, page.begin());
  ntx::Header h;
  ASSERT_EQ(ntx::parse_header(page, &h), "");
  EXPECT_EQ(h.signature, 0x0006);
  EXPECT_EQ(h.root, 1024u);
  EXPECT_EQ(h.free_head, 0u);
  EXPECT_EQ(h.key_length, 30);
  EXPECT_EQ(h.item_size, 38);
  EXPECT_EQ(h.max_keys, 24);  // (1022 / 40) - 1 = 24
  EXPECT_EQ(h.half_page, 12);
  EXPECT_EQ(h.key_expr, "UPPER(NAME)");
  EXPECT_EQ(h.tag, "JMENA");
  EXPECT_FALSE(h.unique);
  EXPECT_FALSE(h.descending);
  EXPECT_EQ(std::count(raw.begin() + 551, raw.begin() + 1024, '\0'), 1024 - 551);

  def.for_expression = "AMOUNT > 0";
  def.unique = true;
  def.descending = true;
  def.tag = "kladne";
  create_ntx(dir.file("K.NTX"), def, t, IndexOptions{})->close();
  raw = testutil::read_file(dir.file("K.NTX"));
  std::copy(raw.begin(), raw.begin() + 1024, page.begin());
  ASSERT_EQ(ntx::parse_header(page, &h), "");
  EXPECT_EQ(h.signature, 0x0007);
  EXPECT_EQ(h.for_expr, "AMOUNT > 0");
  EXPECT_TRUE(h.unique);
  EXPECT_TRUE(h.descending);
  EXPECT_EQ(h.tag, "KLADNE");

  EXPECT_EQ(ntx::max_keys_for(8), 54);
  EXPECT_EQ(ntx::max_keys_for(10), 50);
  EXPECT_EQ(ntx::max_keys_for(20), 32);
  EXPECT_EQ(ntx::max_keys_for(50), 16);
  EXPECT_EQ(ntx::max_keys_for(100), 8);
  EXPECT_EQ(ntx::max_keys_for(240), 2);
}

TEST(NtxCreate, AForExpressionLeavesRecordsOut) {
  MemTable t = sample_table(200, 2);
  testutil::TempDir dir;
  OrderDefinition def;
  def.expression = "AMOUNT";
  def.for_expression = "AMOUNT > 0";
  auto bag = create_ntx(dir.file("P.NTX"), def, t, IndexOptions{});
  Order& o = bag->order(0);
  size_t positive = 0;
  t.scan([&](const RecordSource& r) { positive += r.raw_value(1).num() > 0; });
  ASSERT_GT(positive, 0u);
  EXPECT_EQ(o.key_count(), positive);
  for (const auto& e : ntxtest::walk_forward(o)) EXPECT_GT(o.decode(e.key).num(), 0);
  bag->close();
  // Reopened, the FOR condition is compiled again and still applies.
  auto again = open_ntx(dir.file("P.NTX"), t, IndexOptions{});
  EXPECT_EQ(again->order(0).for_expression(), "AMOUNT > 0");
  t.go(1);
  EXPECT_EQ(again->order(0).key_of(t).has_value(), t.raw_value(1).num() > 0);
}

TEST(NtxCreate, ExpressionsTheTableCannotEvaluateFailWithTheirText) {
  MemTable t = sample_table(5, 3);
  testutil::TempDir dir;
  OrderDefinition def;
  def.expression = "UPPER(NAME)";
  create_ntx(dir.file("N.NTX"), def, t, IndexOptions{})->close();
  MemTable other({field("CODE", 'C', 10)});
  try {
    open_ntx(dir.file("N.NTX"), other, IndexOptions{});
    ADD_FAILURE() << "opened over a table without NAME";
  } catch (const TableError& e) {
    EXPECT_EQ(e.file(), dir.file("N.NTX"));
    EXPECT_NE(e.message().find("UPPER(NAME)"), std::string::npos) << e.what();
  }
  def.expression = "NOSUCH+1";
  try {
    create_ntx(dir.file("X.NTX"), def, t, IndexOptions{});
    ADD_FAILURE() << "created over an unknown field";
  } catch (const TableError& e) {
    EXPECT_EQ(e.file(), dir.file("X.NTX"));
    EXPECT_NE(e.message().find("NOSUCH+1"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(testutil::read_file(dir.file("X.NTX")).size()) << "a file was left behind";
}

// Key counts of the pages of a file that holds no free pages, root last.
std::vector<int> page_counts(const std::string& path) {
  std::vector<char> raw = testutil::read_file(path);
  const uint8_t* b = reinterpret_cast<const uint8_t*>(raw.data());
  std::vector<int> counts;
  for (size_t off = 1024; off + 1024 <= raw.size(); off += 1024) {
    if (off == ntx::get32(b + 4)) continue;
    counts.push_back(ntx::get16(b + off));
  }
  counts.push_back(ntx::get16(b + ntx::get32(b + 4)));
  return counts;
}

// The same table indexed in one go and record by record: the same entries in the same order.
TEST(NtxCreate, BulkBuildEqualsRecordByRecordBuild) {
  for (const char* expr : {"UPPER(NAME)", "AMOUNT", "DTOS(DAY)+NAME", "NAME"}) {
    for (bool descending : {false, true}) {
      for (int records : {0, 1, 24, 25, 26, 600, 1500}) {
        SCOPED_TRACE(std::string(expr) + (descending ? " desc " : " ") + std::to_string(records));
        MemTable t = sample_table(records, static_cast<uint32_t>(records));
        MemTable empty({field("NAME", 'C', 30), field("AMOUNT", 'N', 9, 2), field("DAY", 'D', 8)});
        testutil::TempDir dir;
        OrderDefinition def;
        def.expression = expr;
        def.descending = descending;
        def.unique = records == 600;
        IndexOptions io;
        io.share = ShareMode::kExclusive;
        io.collation = &czech_collation();
        auto bulk = create_ntx(dir.file("BULK.NTX"), def, t, io);
        auto kept = create_ntx(dir.file("KEPT.NTX"), def, empty, io);
        t.scan([&](const RecordSource& r) {
          kept->order(0).insert({*kept->order(0).key_of(r), r.recno()});
        });
        std::vector<IndexKey> a, b;
        bulk->order(0).verify([&](const IndexKey& e) { a.push_back(e); });
        kept->order(0).verify([&](const IndexKey& e) { b.push_back(e); });
        if (!def.unique) {
          EXPECT_EQ(a.size(), static_cast<size_t>(records));
        }
        EXPECT_EQ(a, b);
        EXPECT_EQ(ntxtest::walk_backward(bulk->order(0)), a);
        if (records == 1500 && bulk->order(0).key_type() == 'C') {
          EXPECT_EQ(bulk->order(0).levels(), 3);
        }
        // The bulk file is read back the same from the disk.
        bulk->close();
        if (!def.unique) {
          // Full pages, the right-most ones evened out: none but the root below half.
          std::vector<int> counts = page_counts(dir.file("BULK.NTX"));
          const int m = ntx::max_keys_for(bulk->order(0).key_length());
          for (size_t i = 0; i + 1 < counts.size(); ++i) {
            EXPECT_GE(counts[i], m / 2) << "page " << i + 1;
            EXPECT_LE(counts[i], m) << "page " << i + 1;
          }
        }
        auto reread = open_ntx(dir.file("BULK.NTX"), t, io);
        EXPECT_EQ(ntxtest::walk_forward(reread->order(0)), a);
      }
    }
  }
}

}  // namespace
