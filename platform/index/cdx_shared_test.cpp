// CDX sharing: two shared opens of one file see each other's changes (change counter and
// free list at offset 4..11, caches dropped), the index lock byte keeps writers and readers
// apart, exclusive opens cache and write only on flush, and the I/O a cached open does.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>

#include "platform/index/cdx_format.h"
#include "platform/index/cdx_store.h"
#include "platform/index/cdx_test_support.h"
#include "platform/table/table_error.h"
#include "tests/support/test_util.h"

namespace xbase {
namespace {

using cdxtest::MemTable;
using cdxtest::walk;

MemTable names(int rows) {
  MemTable t;
  t.add_field("NAME", 'C', 60);
  for (int i = 0; i < rows; ++i) t.append({Value::text("N" + std::to_string(i * 7 % 1000))});
  return t;
}

IndexOptions mode(ShareMode share) {
  IndexOptions o;
  o.share = share;
  return o;
}

uint32_t counter_of(const std::string& path) {
  auto f = testutil::read_file(path);
  return cdx::get_be32(reinterpret_cast<const uint8_t*>(f.data() + 8));
}

uint32_t free_head_of(const std::string& path) {
  auto f = testutil::read_file(path);
  return cdx::get_le32(reinterpret_cast<const uint8_t*>(f.data() + 4));
}

IndexKey key(Order& o, const std::string& text, uint32_t recno) {
  return {o.encode(Value::text(text)), recno};
}

TEST(CdxShared, TwoOpensKeepUpWithEachOther) {
  testutil::TempDir tmp;
  MemTable t = names(300);
  const std::string path = tmp.file("S.CDX");
  create_cdx(path, {{"NAME", "NAME", "", false, false}}, t, mode(ShareMode::kShared))->close();
  auto a = open_cdx(path, t, mode(ShareMode::kShared));
  auto b = open_cdx(path, t, mode(ShareMode::kShared));
  Order& oa = a->order(0);
  Order& ob = b->order(0);
  std::set<std::pair<std::string, uint32_t>> model;
  for (const IndexKey& k : walk(oa)) model.insert({k.key, k.recno});
  ASSERT_EQ(model.size(), 300u);
  EXPECT_EQ(walk(ob).size(), 300u);  // b's cache now holds every page

  std::mt19937 rng(11);
  uint32_t before = counter_of(path);
  for (int step = 0; step < 400; ++step) {
    Order& writer = (step % 2) ? oa : ob;
    Order& reader = (step % 2) ? ob : oa;
    if (rng() % 3 != 0 || model.size() < 10) {
      IndexKey k = key(writer, "K" + std::to_string(rng() % 5000), 1 + rng() % 900);
      writer.insert(k);
      model.insert({k.key, k.recno});
    } else {
      auto it = std::next(model.begin(), static_cast<long>(rng() % model.size()));
      ASSERT_TRUE(writer.remove({it->first, it->second}));
      model.erase(it);
    }
    std::vector<IndexKey> want;
    for (const auto& [k, r] : model) want.push_back({k, r});
    ASSERT_EQ(walk(reader), want) << "step " << step;
    ASSERT_EQ(walk(reader, false).size(), want.size());
  }
  // Every change went out at once, each with the counter advanced by one.
  EXPECT_EQ(counter_of(path), before + 400);
  oa.verify([](const IndexKey&) {});
  ob.verify([](const IndexKey&) {});
}

TEST(CdxShared, FreedPagesAreListedAndReused) {
  testutil::TempDir tmp;
  MemTable t = names(600);
  const std::string path = tmp.file("F.CDX");
  auto bag = create_cdx(path, {{"NAME", "NAME", "", false, false}}, t, mode(ShareMode::kShared));
  Order& o = bag->order(0);
  EXPECT_EQ(free_head_of(path), 0u);
  auto all = walk(o);
  for (size_t i = 0; i < all.size(); ++i) {
    if (i % 10 != 0) {
      ASSERT_TRUE(o.remove(all[i]));
    }
  }
  uint32_t head = free_head_of(path);
  ASSERT_NE(head, 0u);
  auto f = testutil::read_file(path);
  ASSERT_EQ(head % 512, 0u);
  size_t listed = 0;
  for (uint32_t p = head; p != 0 && listed < 1000; ++listed) {
    for (size_t i = 4; i < 512; ++i) ASSERT_EQ(f[p + i], 0) << "free page " << p;
    p = cdx::get_le32(reinterpret_cast<const uint8_t*>(f.data() + p));
  }
  EXPECT_GT(listed, 5u);
  // Inserts free nothing: the file may only grow once every listed page is in use again.
  const size_t size = f.size();
  for (size_t i = 0; i < all.size(); ++i) {
    if (i % 10 == 0) continue;
    o.insert(all[i]);
    if (testutil::read_file(path).size() > size) {
      ASSERT_EQ(free_head_of(path), 0u) << "grew with pages free, insert " << i;
    }
  }
  EXPECT_EQ(walk(o), all);
  o.verify([](const IndexKey&) {});
  EXPECT_EQ(free_head_of(path), 0u);
}

TEST(CdxShared, IndexLockKeepsWritersAndReadersApart) {
  testutil::TempDir tmp;
  MemTable t = names(50);
  const std::string path = tmp.file("L.CDX");
  create_cdx(path, {{"NAME", "NAME", "", false, false}}, t, mode(ShareMode::kShared))->close();
  auto bag = open_cdx(path, t, mode(ShareMode::kShared));
  Order& o = bag->order(0);
  const auto bytes = testutil::read_file(path);

  OpenOptions oo;
  auto other = file_system().open(path, oo);  // another station
  ASSERT_TRUE(other->lock(cdx::kIndexLockPos, 1, true));
  try {
    o.insert(key(o, "LOCKED", 1));
    ADD_FAILURE() << "wrote past another station's lock";
  } catch (const TableError& e) {
    EXPECT_EQ(e.generic(), kErrLock);
    EXPECT_EQ(e.file(), path);
  }
  IndexKey k;
  EXPECT_THROW(o.first(&k), TableError);
  EXPECT_TRUE(testutil::read_file(path) == bytes);
  other->unlock(cdx::kIndexLockPos, 1);

  // A reader's shared lock lets readers in and keeps writers out.
  ASSERT_TRUE(other->lock(cdx::kIndexLockPos, 1, false));
  EXPECT_TRUE(o.first(&k));
  EXPECT_THROW(o.insert(key(o, "LOCKED", 1)), TableError);
  other->unlock(cdx::kIndexLockPos, 1);
  o.insert(key(o, "LOCKED", 1));
  EXPECT_TRUE(o.seek("LOCKED", &k));
  EXPECT_EQ(k.recno, 1u);
}

TEST(CdxShared, ExclusiveOpenRefusesOthersAndWritesOnFlush) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows refuses a second open of a file held exclusively, so its bytes "
                  "cannot be read while the test holds it";
#endif
  testutil::TempDir tmp;
  MemTable t = names(50);
  const std::string path = tmp.file("X.CDX");
  create_cdx(path, {{"NAME", "NAME", "", false, false}}, t, mode(ShareMode::kExclusive))->close();
  auto bag = open_cdx(path, t, mode(ShareMode::kExclusive));
  try {
    open_cdx(path, t, mode(ShareMode::kShared));
    ADD_FAILURE() << "opened a file held exclusively";
  } catch (const TableError& e) {
    EXPECT_TRUE(e.sharing());
    EXPECT_EQ(e.os_code(), 32);
  }
  Order& o = bag->order(0);
  const auto bytes = testutil::read_file(path);
  for (int i = 0; i < 100; ++i) o.insert(key(o, "E" + std::to_string(i), 100 + i));
  EXPECT_TRUE(testutil::read_file(path) == bytes);
  bag->flush();
  EXPECT_FALSE(testutil::read_file(path) == bytes);
  EXPECT_EQ(counter_of(path), 1u);
  bag->flush();
  EXPECT_EQ(counter_of(path), 1u);
  bag->close();
  auto again = open_cdx(path, t, mode(ShareMode::kShared));
  EXPECT_EQ(walk(again->order(0)).size(), 150u);
}

TEST(CdxShared, AnotherStationsRebuildIsSeen) {
  testutil::TempDir tmp;
  MemTable t = names(400);
  const std::string path = tmp.file("R.CDX");
  std::vector<OrderDefinition> defs = {{"NAME", "NAME", "", false, false},
                                       {"DESC", "NAME", "", false, true}};
  create_cdx(path, defs, t, mode(ShareMode::kShared))->close();
  auto a = open_cdx(path, t, mode(ShareMode::kShared));
  auto b = open_cdx(path, t, mode(ShareMode::kShared));
  EXPECT_EQ(walk(b->order(1)).size(), 400u);
  MemTable other = names(1500);
  a->rebuild(other);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(walk(b->order(i)), walk(a->order(i)));
    EXPECT_EQ(walk(b->order(i)).size(), 1500u);
    b->order(i).verify([](const IndexKey&) {});
  }

  // A tag header that is no longer ours: refused, not misread.
  auto f = testutil::read_file(path);
  f[0xA00 + 12] = 9;
  f[11] = static_cast<char>(f[11] + 1);
  testutil::write_file(path, f);
  IndexKey k;
  try {
    b->order(1).first(&k);
    ADD_FAILURE() << "used a replaced tag";
  } catch (const TableError& e) {
    EXPECT_NE(e.message().find("replaced"), std::string::npos) << e.message();
  }
}

// Counts the calls a CDX open makes through the file seam.
class CountingFs : public FileSystem {
 public:
  struct Counts {
    int reads = 0, writes = 0, locks = 0;
  };
  class CountingFile : public File {
   public:
    CountingFile(std::unique_ptr<File> f, Counts& c) : f_(std::move(f)), c_(c) {}
    const std::string& path() const override { return f_->path(); }
    uint64_t size() override { return f_->size(); }
    size_t read_at(uint64_t off, void* buf, size_t n) override {
      ++c_.reads;
      return f_->read_at(off, buf, n);
    }
    void write_at(uint64_t off, const void* buf, size_t n) override {
      ++c_.writes;
      f_->write_at(off, buf, n);
    }
    void truncate(uint64_t size) override { f_->truncate(size); }
    void sync() override { f_->sync(); }
    bool lock(uint64_t off, uint64_t len, bool ex) override {
      ++c_.locks;
      return f_->lock(off, len, ex);
    }
    void unlock(uint64_t off, uint64_t len) override { f_->unlock(off, len); }

   private:
    std::unique_ptr<File> f_;
    Counts& c_;
  };
  std::unique_ptr<File> open(const std::string& p, const OpenOptions& o) override {
    return std::make_unique<CountingFile>(native_file_system().open(p, o), counts);
  }
  bool exists(const std::string& p) override { return native_file_system().exists(p); }
  bool remove(const std::string& p) override { return native_file_system().remove(p); }
  bool rename(const std::string& a, const std::string& b) override {
    return native_file_system().rename(a, b);
  }
  std::string resolve_case(const std::string& p) override {
    return native_file_system().resolve_case(p);
  }
  std::vector<std::string> list_dir(const std::string& d) override {
    return native_file_system().list_dir(d);
  }
  Counts counts;
};

TEST(CdxShared, CachedPagesAreNotReadTwice) {
  testutil::TempDir tmp;
  MemTable t = names(2000);
  const std::string path = tmp.file("C.CDX");
  CountingFs fs;
  set_file_system(&fs);
  struct Restore {
    ~Restore() { set_file_system(nullptr); }
  } restore;
  {
    auto built =
        create_cdx(path, {{"NAME", "NAME", "", false, false}}, t, mode(ShareMode::kExclusive));
    EXPECT_EQ(fs.counts.writes, 1);  // the whole new file in one call
    // What was built is not held (it would double the build's memory): the first walk reads
    // it back, the second finds it cached.
    EXPECT_EQ(walk(built->order(0)).size(), 2000u);
    EXPECT_GT(fs.counts.reads, 0);
    fs.counts = {};
    EXPECT_EQ(walk(built->order(0)).size(), 2000u);
    EXPECT_EQ(fs.counts.reads, 0);
  }

  for (ShareMode share : {ShareMode::kExclusive, ShareMode::kShared}) {
    auto bag = open_cdx(path, t, mode(share));
    Order& o = bag->order(0);
    size_t n = walk(o).size();
    ASSERT_EQ(n, share == ShareMode::kExclusive ? 2000u : 2001u);
    fs.counts = {};
    EXPECT_EQ(walk(o).size(), n);
    IndexKey k;
    EXPECT_TRUE(o.seek("N5", &k));
    if (share == ShareMode::kExclusive) {
      EXPECT_EQ(fs.counts.reads, 0);
      EXPECT_EQ(fs.counts.locks, 0);
    } else {
      // Each call: the lock, the 8 bytes of free list and counter, nothing else.
      EXPECT_EQ(fs.counts.reads, static_cast<int>(n + 2));
      EXPECT_EQ(fs.counts.locks, static_cast<int>(n + 2));
    }
    fs.counts = {};
    o.insert(key(o, "NEW", 9999));
    if (share == ShareMode::kShared) {
      EXPECT_LE(fs.counts.writes, 4);  // changed pages (adjacent ones together), offset 4..11
    } else {
      EXPECT_EQ(fs.counts.writes, 0);
    }
    bag->close();
  }
}

// A file no larger than what the store holds for it is read in 64 KB blocks, a larger one in
// 4 KB blocks: a walk takes a call per block, and finds the same keys either way.
TEST(CdxShared, ASmallFileIsReadInWideBlocksALargeOneInNarrow) {
  testutil::TempDir tmp;
  MemTable t = names(20000);
  const std::string path = tmp.file("W.CDX");
  create_cdx(path, {{"NAME", "NAME", "", false, false}}, t, mode(ShareMode::kExclusive))->close();
  const auto size = std::filesystem::file_size(path);
  ASSERT_GT(size, 65536u);
  CountingFs fs;
  set_file_system(&fs);
  const size_t held = cdx::read_ahead_bytes();
  struct Restore {
    size_t held;
    ~Restore() {
      set_file_system(nullptr);
      cdx::set_read_ahead_bytes(held);
    }
  } restore{held};
  std::vector<IndexKey> first;
  for (size_t limit : {held, size_t{65536}}) {
    cdx::set_read_ahead_bytes(limit);
    auto bag = open_cdx(path, t, mode(ShareMode::kExclusive));
    fs.counts = {};
    std::vector<IndexKey> keys = walk(bag->order(0));
    EXPECT_EQ(keys.size(), 20000u);
    if (limit == held) {
      EXPECT_LE(fs.counts.reads, static_cast<int>(size / 65536 + 2));
      first = keys;
    } else {
      EXPECT_GE(fs.counts.reads, static_cast<int>(size / 4096 / 2));
      EXPECT_EQ(keys, first);
    }
  }
}

}  // namespace
}  // namespace xbase
