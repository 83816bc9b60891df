// Damaged CDX files: each fault gives a TableError naming the file (and the page where there
// is one), no crash, no endless walk, and the file's bytes stay as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/index/cdx_format.h"
#include "platform/index/cdx_test_support.h"
#include "platform/table/dbf_table.h"
#include "platform/table/table_error.h"
#include "tests/support/test_util.h"

namespace xbase {
namespace {

using cdx::get_le32;
using cdx::put_le16;
using cdx::put_le32;

class CdxDamage : public ::testing::Test {
 protected:
  void SetUp() override {
    testutil::copy_fixture("small-mixed-bin-s1", tmp_.path());
    TableOpenOptions t;
    t.share = ShareMode::kShared;
    t.read_only = true;
    dood_ = DbfTable::open(tmp_.file("DOOD.DBF"), t);
  }

  std::vector<char> original(const std::string& name) {
    return testutil::read_file(testutil::fixture("small-mixed-bin-s1") + "/" + name);
  }

  // Writes the damaged bytes, then uses the index every way a reader and a writer would;
  // one of them must fail with a TableError naming the file and mentioning `what`
  // (a fault that only a change can meet: only the writer must fail).
  void expect_refused(const std::string& name, const std::vector<char>& bytes,
                      const std::string& what, bool readers_fail = true) {
    SCOPED_TRACE(what);
    const std::string path = tmp_.file(name);
    testutil::write_file(path, bytes);
    std::string error;
    for (bool write : {false, true}) {
      if (!write && !readers_fail) continue;
      try {
        IndexOptions o;
        o.share = write ? ShareMode::kShared : ShareMode::kExclusive;
        auto bag = open_cdx(path, *dood_, o);
        Order& ord = bag->order(0);
        cdxtest::walk(ord, true);
        cdxtest::walk(ord, false);
        ord.verify([](const IndexKey&) {});
        ord.key_count();
        ord.levels();
        IndexKey k;
        ord.seek(std::string(1, '\x7F'), &k);
        if (write) {
          for (uint32_t r = 1; r < 400; ++r)
            ord.insert({std::string(static_cast<size_t>(ord.key_length()), 'A'), 100000 + r});
        }
        bag->close();
        ADD_FAILURE() << "the damaged file was used without an error";
      } catch (const TableError& e) {
        EXPECT_EQ(e.file(), path);
        EXPECT_NE(e.message().find(what), std::string::npos) << e.message();
        error = e.message();
      }
      EXPECT_TRUE(testutil::read_file(path) == bytes) << "the damaged file was written";
    }
    std::printf("[refused] %s\n", error.c_str());
  }

  testutil::TempDir tmp_;
  std::unique_ptr<DbfTable> dood_;
};

TEST_F(CdxDamage, TruncatedFiles) {
  auto f = original("NAZO.CDX");
  expect_refused("NAZO.CDX", std::vector<char>(f.begin(), f.begin() + 700), "too short");
  // Cut inside the tree: the root page itself is missing.
  expect_refused("NAZO.CDX", std::vector<char>(f.begin(), f.begin() + 0xC00), "page 0xE00");
  // Cut after the root: leaves it points to are missing.
  expect_refused("NAZO.CDX", std::vector<char>(f.begin(), f.begin() + 0x1400), "not a page");
}

TEST_F(CdxDamage, NodePointersOutOfRangeOrOffPage) {
  auto f = original("NAZO.CDX");
  auto bad = f;
  put_le32(reinterpret_cast<uint8_t*>(bad.data() + 0x600), 0x7FFFFE00);
  expect_refused("NAZO.CDX", bad, "root of tag NAZO");
  bad = f;
  put_le32(reinterpret_cast<uint8_t*>(bad.data() + 0x600), 0xE10);
  expect_refused("NAZO.CDX", bad, "page 0xE10");
  // An interior entry whose child lies beyond the end (BE child of the root's 3rd entry).
  bad = f;
  const size_t entry3 = 0xE00 + 12 + 2 * 48;
  bad[entry3 + 44] = 0x01;
  expect_refused("NAZO.CDX", bad, "not a page of the file");
}

TEST_F(CdxDamage, LoopsInTheTreeAndTheLeafChain) {
  auto f = original("NAZO.CDX");
  // The root's first child is the root itself.
  auto bad = f;
  cdx::put_be32(reinterpret_cast<uint8_t*>(bad.data() + 0xE00 + 12 + 44), 0xE00);
  expect_refused("NAZO.CDX", bad, "page 0xE00");
  // A leaf whose right sibling is itself.
  bad = f;
  put_le32(reinterpret_cast<uint8_t*>(bad.data() + 0xA00 + 8), 0xA00);
  expect_refused("NAZO.CDX", bad, "page 0xA00");
  // Two leaves pointing at each other in both directions.
  bad = f;
  put_le32(reinterpret_cast<uint8_t*>(bad.data() + 0xC00 + 8), 0xA00);
  put_le32(reinterpret_cast<uint8_t*>(bad.data() + 0xA00 + 4), 0xC00);
  expect_refused("NAZO.CDX", bad, "page 0x");
}

TEST_F(CdxDamage, WrongKeyLengths) {
  auto f = original("IICO.CDX");
  auto bad = f;
  put_le16(reinterpret_cast<uint8_t*>(bad.data() + 0x600 + 12), 10);
  expect_refused("IICO.CDX", bad, "key length 10 does not fit");
  bad = f;
  put_le16(reinterpret_cast<uint8_t*>(bad.data() + 0x600 + 12), 0);
  expect_refused("IICO.CDX", bad, "key length 0");
  bad = f;
  put_le16(reinterpret_cast<uint8_t*>(bad.data() + 0x600 + 12), 300);
  expect_refused("IICO.CDX", bad, "key length 300");
}

TEST_F(CdxDamage, GarbageDirectoryAndHeaders) {
  auto f = original("NAZO.CDX");
  auto bad = f;
  for (size_t i = 0x400; i < 0x600; ++i) bad[i] = static_cast<char>(i * 37 + 11);
  expect_refused("NAZO.CDX", bad, "page 0x400");
  bad = f;
  bad[0x400 + 24] = 0x33;  // the directory's record number: header offset 0x633
  expect_refused("NAZO.CDX", bad, "header offset");
  bad = f;
  bad[14] = 0;
  expect_refused("NAZO.CDX", bad, "not a compact index");
  bad = f;
  put_le16(reinterpret_cast<uint8_t*>(bad.data() + 12), 8);
  expect_refused("NAZO.CDX", bad, "no tag directory");
  bad = f;
  put_le16(reinterpret_cast<uint8_t*>(bad.data() + 0x600 + 510), 600);
  expect_refused("NAZO.CDX", bad, "outside the expression pool");
  bad = f;
  std::memcpy(bad.data() + 0x800, "NOSUCH(NAZD)", 13);
  put_le16(reinterpret_cast<uint8_t*>(bad.data() + 0x600 + 510), 13);
  expect_refused("NAZO.CDX", bad, "NOSUCH(NAZD)");
}

TEST_F(CdxDamage, BrokenInvariantsFoundByVerify) {
  auto f = original("NAZO.CDX");
  // The root's first entry no longer repeats its child's last key.
  auto bad = f;
  bad[0xE00 + 12] = '!';
  expect_refused("NAZO.CDX", bad, "does not repeat");
  // A free-byte field that disagrees with the keys.
  bad = f;
  put_le16(reinterpret_cast<uint8_t*>(bad.data() + 0xC00 + 12), 77);
  expect_refused("NAZO.CDX", bad, "free byte count");
  // The free list names a live leaf: allocating must not overwrite it.
  bad = f;
  put_le32(reinterpret_cast<uint8_t*>(bad.data() + 4), 0xA00);
  expect_refused("NAZO.CDX", bad, "free list names a page in use", false);
}

// A one-leaf tag of equal keys (record order only), whose leaf links to itself both ways.
class CdxLeafLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    table_.add_field("NAME", 'C', 5);
    for (int i = 0; i < 6; ++i) table_.append({Value::text("SAME")});
    OrderDefinition def;
    def.tag = "T";
    def.expression = "NAME";
    create_cdx(path_, {def}, table_, IndexOptions{})->close();
    bytes_ = testutil::read_file(path_);
    for (leaf_ = 0x400; leaf_ + cdx::kPageSize <= bytes_.size(); leaf_ += cdx::kPageSize)
      if (cdx::get_le16(at(leaf_ + 2)) == 6) break;
    ASSERT_LT(leaf_ + cdx::kPageSize, bytes_.size() + 1);
    put_le32(at(leaf_ + 4), leaf_);
    put_le32(at(leaf_ + 8), leaf_);
  }
  uint8_t* at(size_t off) { return reinterpret_cast<uint8_t*>(bytes_.data() + off); }
  std::string walk_error(bool forward) {
    testutil::write_file(path_, bytes_);
    auto bag = open_cdx(path_, table_, IndexOptions{});
    try {
      cdxtest::walk(bag->order(0), forward);
    } catch (const TableError& e) {
      EXPECT_EQ(e.file(), path_);
      return e.message();
    }
    return "";
  }

  testutil::TempDir tmp_;
  std::string path_ = tmp_.file("LOOP.CDX");
  cdxtest::MemTable table_;
  std::vector<char> bytes_;
  size_t leaf_ = 0;
};

TEST_F(CdxLeafLoop, KeysOutOfOrderInsideTheLeafStopTheWalk) {
  // The first entry gets the highest record number: every hop back to the leaf's start then
  // looks in order, only the step inside the leaf does not.
  const int rec_bytes = bytes_[leaf_ + 23], rec_bits = bytes_[leaf_ + 20];
  uint64_t v = 0;
  for (int j = 0; j < rec_bytes; ++j) v |= uint64_t{at(leaf_ + 24)[j]} << (8 * j);
  v |= (uint64_t{1} << rec_bits) - 1;
  for (int j = 0; j < rec_bytes; ++j) at(leaf_ + 24)[j] = static_cast<uint8_t>(v >> (8 * j));
  std::string page = "page 0x" + [&] {
    char b[16];
    std::snprintf(b, sizeof b, "%zX", leaf_);
    return std::string(b);
  }();
  std::string fault = walk_error(true);
  EXPECT_NE(fault.find("out of order in the leaf"), std::string::npos) << fault;
  EXPECT_NE(fault.find(page), std::string::npos) << fault;
  fault = walk_error(false);
  EXPECT_NE(fault.find("out of order going back"), std::string::npos) << fault;
}

TEST_F(CdxLeafLoop, EightByteEntriesWithoutCountBits) {
  // Record number 32 bits, no duplicate or trailing counts: both counts would sit at bit 64.
  bytes_[leaf_ + 20] = 32, bytes_[leaf_ + 21] = 0, bytes_[leaf_ + 22] = 0, bytes_[leaf_ + 23] = 8;
  put_le32(at(leaf_ + 4), 0xFFFFFFFF);
  put_le32(at(leaf_ + 8), 0xFFFFFFFF);
  for (uint32_t i = 0; i < 6; ++i) {
    put_le32(at(leaf_ + 24 + 8 * i), i + 1);
    put_le32(at(leaf_ + 28 + 8 * i), 0xFFFFFFFF);  // bits above the record number: ignored
    std::memcpy(at(leaf_ + cdx::kPageSize - 5 * (i + 1)), "SAME ", 5);
  }
  EXPECT_EQ(walk_error(true), "");
  testutil::write_file(path_, bytes_);
  auto bag = open_cdx(path_, table_, IndexOptions{});
  auto keys = cdxtest::walk(bag->order(0));
  ASSERT_EQ(keys.size(), 6u);
  EXPECT_EQ(keys[5].recno, 6u);
}

TEST_F(CdxDamage, TwoParentEntriesNamingOnePage) {
  // The root's first two entries both name the first leaf, which links to itself: merging
  // that leaf into "its neighbour" would free the page still in use.
  auto bad = original("NAZO.CDX");
  auto* root = reinterpret_cast<uint8_t*>(bad.data() + 0xE00);
  const uint32_t leaf = cdx::get_be32(root + 12 + 44);
  cdx::put_be32(root + 12 + 48 + 44, leaf);
  put_le32(reinterpret_cast<uint8_t*>(bad.data() + leaf + 4), leaf);
  put_le32(reinterpret_cast<uint8_t*>(bad.data() + leaf + 8), leaf);
  const std::string path = tmp_.file("NAZO.CDX");
  testutil::write_file(path, bad);
  IndexOptions o;
  o.share = ShareMode::kExclusive;
  auto bag = open_cdx(path, *dood_, o);
  Order& ord = bag->order(0);
  std::vector<IndexKey> in_leaf;
  IndexKey k;
  for (bool ok = ord.first(&k); ok && in_leaf.size() < 200; ok = ord.next(&k)) {
    in_leaf.push_back(k);
    if (cdx::get_le16(reinterpret_cast<uint8_t*>(bad.data() + leaf + 2)) == in_leaf.size()) break;
  }
  std::string fault;
  try {
    for (const IndexKey& e : in_leaf) ord.remove(e);
  } catch (const TableError& e) {
    EXPECT_EQ(e.file(), path);
    fault = e.message();
  }
  EXPECT_NE(fault.find("two entries name the same child page"), std::string::npos) << fault;
}

TEST_F(CdxDamage, KeyExpressionWiderThanACdxKey) {
  auto bad = original("NAZO.CDX");
  const std::string from = "UPPER(NAZD)", to = "SPACE(241) ";
  auto it = std::search(bad.begin(), bad.end(), from.begin(), from.end());
  ASSERT_NE(it, bad.end());
  std::copy(to.begin(), to.end(), it);
  expect_refused("NAZO.CDX", bad, "gives keys of 241 bytes");
}

}  // namespace
}  // namespace xbase
