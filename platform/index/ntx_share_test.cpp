// NTX files shared between handles: the index lock, the version counter, write-back in
// exclusive mode, free pages reused, rebuilds, and a third reader's view of what we wrote.
#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "platform/file/file.h"
#include "platform/index/collation.h"
#include "platform/index/ntx_format.h"
#include "platform/index/ntx_test_support.h"
#include "platform/table/table_error.h"
#include "tests/support/test_util.h"

namespace {

using namespace xbase;
using ntxtest::field;
using ntxtest::MemTable;

uint16_t version_of(const std::string& path) {
  auto b = testutil::read_file(path);
  return ntx::get16(reinterpret_cast<const uint8_t*>(b.data()) + 2);
}

class NtxShare : public ::testing::Test {
 protected:
  NtxShare() : table_({field("NAME", 'C', 100)}) {}
  std::string make(int records, ShareMode share = ShareMode::kExclusive) {
    for (int i = 0; i < records; ++i) table_.add({Value::text("N" + std::to_string(i))});
    OrderDefinition def;
    def.expression = "NAME";
    IndexOptions io;
    io.share = share;
    create_ntx(dir_.file("S.NTX"), def, table_, io)->close();
    return dir_.file("S.NTX");
  }
  std::unique_ptr<IndexBag> open(ShareMode share, bool read_only = false) {
    IndexOptions io;
    io.share = share;
    io.read_only = read_only;
    return open_ntx(dir_.file("S.NTX"), table_, io);
  }
  IndexKey key(Order& o, const std::string& text, uint32_t recno) {
    return {o.encode(Value::text(text)), recno};
  }
  testutil::TempDir dir_;
  MemTable table_;
};

TEST_F(NtxShare, TheIndexLockKeepsOtherHandlesOut) {
  std::string path = make(50);
  auto bag = open(ShareMode::kShared);
  Order& o = bag->order(0);
  OpenOptions oo;
  auto other = file_system().open(path, oo);

  ASSERT_TRUE(other->lock(ntx::kLockOffset, 1, true));
  auto started = std::chrono::steady_clock::now();
  try {
    o.insert(key(o, "LOCKED", 51));
    ADD_FAILURE() << "insert under another's lock";
  } catch (const TableError& e) {
    EXPECT_EQ(e.generic(), kErrLock);
    EXPECT_EQ(e.file(), path);
  }
  // It waited and retried before giving up, but not for long.
  auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_GE(waited, std::chrono::milliseconds(200));
  EXPECT_LT(waited, std::chrono::seconds(5));
  EXPECT_THROW(o.key_count(), TableError);  // readers wait for writers too
  other->unlock(ntx::kLockOffset, 1);

  // Another reader does not stop a reader, only a writer.
  ASSERT_TRUE(other->lock(ntx::kLockOffset, 1, false));
  EXPECT_EQ(o.key_count(), 50u);
  EXPECT_THROW(o.insert(key(o, "LOCKED", 51)), TableError);
  other->unlock(ntx::kLockOffset, 1);
  o.insert(key(o, "LOCKED", 51));
  EXPECT_EQ(o.key_count(), 51u);
  // The failed inserts left nothing behind.
  bag->close();
  EXPECT_EQ(open(ShareMode::kShared)->order(0).key_count(), 51u);
}

TEST_F(NtxShare, SharedWritesGoOutAtOnceWithTheVersionAdvanced) {
  std::string path = make(10);
  uint16_t v0 = version_of(path);
  auto bag = open(ShareMode::kShared);
  Order& o = bag->order(0);
  IndexKey probe;
  o.first(&probe);
  EXPECT_EQ(version_of(path), v0) << "a read wrote the header";
  o.insert(key(o, "A", 11));
  EXPECT_EQ(version_of(path), v0 + 1);
  EXPECT_TRUE(o.remove(key(o, "A", 11)));
  EXPECT_EQ(version_of(path), v0 + 2);
  EXPECT_FALSE(o.remove(key(o, "A", 11)));
  EXPECT_EQ(version_of(path), v0 + 2) << "nothing removed, nothing written";
  auto reader = open(ShareMode::kShared);
  o.insert(key(o, "B", 12));
  EXPECT_TRUE(reader->order(0).find(key(o, "B", 12)));
}

TEST_F(NtxShare, ExclusiveChangesWaitForTheFlush) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows refuses a second open of a file held exclusively, so its bytes "
                  "cannot be read while the test holds it";
#endif
  std::string path = make(200);
  std::vector<char> before = testutil::read_file(path);
  uint16_t v0 = version_of(path);
  {
    auto bag = open(ShareMode::kExclusive);
    bag->order(0).key_count();
    bag->close();
    EXPECT_EQ(testutil::read_file(path), before) << "closed without changes, yet written";
  }
  auto bag = open(ShareMode::kExclusive);
  Order& o = bag->order(0);
  for (uint32_t r = 201; r <= 400; ++r) o.insert(key(o, "X" + std::to_string(r), r));
  EXPECT_EQ(testutil::read_file(path), before);
  bag->flush();
  EXPECT_EQ(version_of(path), v0 + 1);
  bag->flush();
  EXPECT_EQ(version_of(path), v0 + 1) << "a flush with nothing to write";
  o.remove(key(o, "X300", 300));
  bag->close();
  EXPECT_EQ(version_of(path), v0 + 2);
  auto again = open(ShareMode::kExclusive);
  EXPECT_EQ(again->order(0).key_count(), 399u);
  EXPECT_FALSE(again->order(0).find(key(o, "X300", 300)));
}

TEST_F(NtxShare, OpensRespectEachOthersShareModes) {
  make(5);
  auto shared = open(ShareMode::kShared);
  try {
    open(ShareMode::kExclusive);
    ADD_FAILURE() << "exclusive open beside a shared one";
  } catch (const TableError& e) {
    EXPECT_TRUE(e.sharing()) << e.what();
  }
  shared->close();
  auto exclusive = open(ShareMode::kExclusive);
  EXPECT_THROW(open(ShareMode::kShared), TableError);
  exclusive->close();
  auto ro = open(ShareMode::kShared, true);
  Order& o = ro->order(0);
  try {
    o.insert(key(o, "RO", 9));
    ADD_FAILURE() << "insert into a read-only index";
  } catch (const TableError& e) {
    EXPECT_EQ(e.generic(), kErrReadOnly);
  }
  EXPECT_EQ(o.key_count(), 5u);
}

TEST_F(NtxShare, FreedPagesAreReused) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows refuses a second open of a file held exclusively, so its bytes "
                  "cannot be read while the test holds it";
#endif
  std::string path = make(0);
  auto bag = open(ShareMode::kExclusive);
  Order& o = bag->order(0);
  for (uint32_t r = 1; r <= 400; ++r) o.insert(key(o, "K" + std::to_string(r), r));
  bag->flush();
  uint64_t full = testutil::read_file(path).size();
  ASSERT_GE(o.levels(), 3);
  for (uint32_t r = 1; r <= 400; r += 2) ASSERT_TRUE(o.remove(key(o, "K" + std::to_string(r), r)));
  for (uint32_t r = 2; r <= 400; r += 2) ASSERT_TRUE(o.remove(key(o, "K" + std::to_string(r), r)));
  EXPECT_EQ(o.key_count(), 0u);
  EXPECT_EQ(o.levels(), 1);
  bag->flush();
  auto raw = testutil::read_file(path);
  EXPECT_NE(ntx::get32(reinterpret_cast<const uint8_t*>(raw.data()) + 8), 0u) << "free list empty";
  o.verify(nullptr);  // walks the free list too
  for (uint32_t r = 401; r <= 800; ++r) o.insert(key(o, "K" + std::to_string(r), r));
  bag->close();
  EXPECT_LE(testutil::read_file(path).size(), full + 4 * 1024) << "freed pages not reused";
  auto again = open(ShareMode::kShared);
  again->order(0).verify(nullptr);
  EXPECT_EQ(again->order(0).key_count(), 400u);
}

TEST_F(NtxShare, RebuildReplacesTheTree) {
  std::string path = make(300, ShareMode::kShared);
  const size_t built_size = testutil::read_file(path).size();
  auto bag = open(ShareMode::kShared);
  Order& o = bag->order(0);
  std::vector<IndexKey> built = ntxtest::walk_forward(o);
  for (uint32_t r = 301; r <= 700; ++r) o.insert(key(o, "JUNK" + std::to_string(r), r));
  uint16_t v = version_of(path);
  bag->rebuild(table_);
  EXPECT_EQ(ntxtest::walk_forward(o), built);
  EXPECT_EQ(version_of(path), v + 1);
  EXPECT_EQ(testutil::read_file(path).size(), built_size) << "the old pages stayed behind";
  o.verify(nullptr);
}

TEST(NtxPerl, TheIndependentReaderListsOurKeys) {
  if (!ntxtest::perl_reader_available()) GTEST_SKIP() << "libdbd-xbase-perl is not installed";
  testutil::TempDir dir;
  MemTable t({field("NAME", 'C', 60), field("AMOUNT", 'N', 10, 0)});
  std::mt19937 rng(9);
  const char* words[] = {"Čeněk", "chata", "Hana", "Šťastný", "Žofie", "ovoce", ""};
  for (int i = 0; i < 900; ++i)
    t.add({Value::text(CodePage::cp852().from_utf8(words[rng() % 7] + std::to_string(rng() % 90))),
           Value::number(static_cast<double>(static_cast<int>(rng() % 2001) - 1000))});
  for (const char* expr : {"NAME", "AMOUNT"}) {
    for (const Collation* coll : {static_cast<const Collation*>(nullptr), &czech_collation()}) {
      SCOPED_TRACE(std::string(expr) + (coll ? " czech" : " binary"));
      OrderDefinition def;
      def.expression = expr;
      IndexOptions io;
      io.share = ShareMode::kExclusive;
      io.collation = coll;
      std::string path = dir.file("P.NTX");
      auto bag = create_ntx(path, def, t, io);
      Order& o = bag->order(0);
      // Kept up after the bulk build as well: splits, removals, merges, freed pages.
      for (uint32_t r = 1; r <= 900; r += 3) {
        t.go(r);
        ASSERT_TRUE(o.remove({*o.key_of(t), r}));
      }
      for (uint32_t r = 1; r <= 900; r += 6) {
        t.go(r);
        o.insert({*o.key_of(t), r});
      }
      bag->flush();
      EXPECT_EQ(ntxtest::perl_keys(path, o.key_type()), ntxtest::perl_style_listing(o));
      bag->close();
    }
  }
}

}  // namespace
