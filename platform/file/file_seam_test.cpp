// The native file system on either platform: share modes, byte-range locks, positioned I/O
// and names behave the same, so the table layer above needs no platform cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/file/file.h"
#include "tests/support/test_util.h"

namespace xbase {
namespace {

OpenOptions shared_rw(bool create = false) {
  OpenOptions o;
  o.create = create;
  return o;
}

OpenOptions exclusive_rw() {
  OpenOptions o;
  o.share = ShareMode::kExclusive;
  return o;
}

// The FileError an open throws, or a failed expectation when it opens.
FileError open_error(const std::string& path, const OpenOptions& opts) {
  try {
    native_file_system().open(path, opts);
  } catch (const FileError& e) {
    return e;
  }
  ADD_FAILURE() << path << " opened";
  return FileError(FileErrorKind::kIo, 0, path, "opened");
}

std::string text_at(File& f, uint64_t off, size_t n) {
  std::string s(n, '\0');
  s.resize(f.read_at(off, s.data(), n));
  return s;
}

class NativeFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file("T.DBF");
    native_file_system().open(path_, shared_rw(true))->write_at(0, "0123456789", 10);
  }
  FileSystem& fs() { return native_file_system(); }
  testutil::TempDir dir_;
  std::string path_;
};

TEST_F(NativeFileTest, ExclusiveOpenRefusesEveryOtherOpenInTheSameProcess) {
  auto held = fs().open(path_, exclusive_rw());
  for (ShareMode mode : {ShareMode::kShared, ShareMode::kExclusive}) {
    OpenOptions o;
    o.share = mode;
    FileError e = open_error(path_, o);
    EXPECT_EQ(e.kind(), FileErrorKind::kSharing);
    EXPECT_EQ(e.os_code(), 32);
    EXPECT_EQ(e.path(), path_);
    EXPECT_NE(std::string(e.what()).find(path_), std::string::npos) << e.what();
  }
  OpenOptions ro;
  ro.read_only = true;
  EXPECT_EQ(open_error(path_, ro).os_code(), 32);
  held.reset();
  EXPECT_NO_THROW(fs().open(path_, exclusive_rw()));
}

TEST_F(NativeFileTest, SharedOpensCoexistButKeepExclusiveOut) {
  auto a = fs().open(path_, shared_rw());
  auto b = fs().open(path_, shared_rw());
  a->write_at(2, "ab", 2);
  EXPECT_EQ(text_at(*b, 0, 10), "01ab456789");
  EXPECT_EQ(open_error(path_, exclusive_rw()).kind(), FileErrorKind::kSharing);
  a.reset();
  EXPECT_EQ(open_error(path_, exclusive_rw()).os_code(), 32);
  b.reset();
  EXPECT_NO_THROW(fs().open(path_, exclusive_rw()));
}

TEST_F(NativeFileTest, RangeLocksConflictBetweenTwoHandles) {
  auto a = fs().open(path_, shared_rw());
  auto b = fs().open(path_, shared_rw());
  // Lock bytes far past the end of the file, where the xBase engines put them.
  const uint64_t base = 1000000000;
  ASSERT_TRUE(a->lock(base + 5, 1, true));
  EXPECT_FALSE(b->lock(base + 5, 1, true));
  EXPECT_FALSE(b->lock(base + 5, 1, false));
  EXPECT_FALSE(b->lock(base, 10, true)) << "a range overlapping the held byte";
  EXPECT_TRUE(b->lock(base + 6, 1, true)) << "the next byte is free";
  EXPECT_EQ(a->size(), 10u) << "locking past the end does not grow the file";
  a->unlock(base + 5, 1);
  EXPECT_TRUE(b->lock(base + 5, 1, true));
  b->unlock(base + 5, 1);
  b->unlock(base + 6, 1);

  ASSERT_TRUE(a->lock(base, 1, false));
  EXPECT_TRUE(b->lock(base, 1, false)) << "two readers share a byte";
  a->unlock(base, 1);
  EXPECT_FALSE(a->lock(base, 1, true)) << "b still reads it";
  b->unlock(base, 1);
  EXPECT_TRUE(a->lock(base, 1, true));
}

TEST_F(NativeFileTest, ClosingAHandleDropsItsLocks) {
  auto a = fs().open(path_, shared_rw());
  auto b = fs().open(path_, shared_rw());
  ASSERT_TRUE(a->lock(4000000001u, 1, true));
  EXPECT_FALSE(b->lock(4000000001u, 1, true));
  a.reset();
  EXPECT_TRUE(b->lock(4000000001u, 1, true));
}

TEST_F(NativeFileTest, PositionedReadsAndWrites) {
  auto f = fs().open(path_, shared_rw());
  EXPECT_EQ(f->size(), 10u);
  EXPECT_EQ(text_at(*f, 3, 4), "3456");
  EXPECT_EQ(text_at(*f, 8, 5), "89") << "short only at the end";
  EXPECT_EQ(text_at(*f, 10, 5), "");
  EXPECT_EQ(text_at(*f, 500, 5), "");
  f->write_at(12, "XY", 2);
  EXPECT_EQ(f->size(), 14u);
  EXPECT_EQ(text_at(*f, 8, 10), std::string("89\0\0XY", 6)) << "a gap reads as zeros";
  std::vector<char> big(300000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  f->write_at(100, big.data(), big.size());
  std::vector<char> back(big.size());
  ASSERT_EQ(f->read_at(100, back.data(), back.size()), back.size());
  EXPECT_TRUE(back == big);
  f->sync();
}

TEST_F(NativeFileTest, TruncateShrinksGrowsAndEmptiesOnOpen) {
  {
    auto f = fs().open(path_, shared_rw());
    f->truncate(4);
    EXPECT_EQ(f->size(), 4u);
    EXPECT_EQ(text_at(*f, 0, 10), "0123");
    f->truncate(6);
    EXPECT_EQ(text_at(*f, 0, 10), std::string("0123\0\0", 6));
  }
  OpenOptions o = exclusive_rw();
  o.truncate = true;
  EXPECT_EQ(fs().open(path_, o)->size(), 0u);
}

TEST_F(NativeFileTest, ReadOnlyOpenReadsAndRefusesWrites) {
  OpenOptions ro;
  ro.read_only = true;
  auto f = fs().open(path_, ro);
  EXPECT_EQ(text_at(*f, 0, 3), "012");
  EXPECT_THROW(f->write_at(0, "x", 1), FileError);
  EXPECT_NO_THROW(f->sync());
  EXPECT_EQ(testutil::read_text(path_), "0123456789");
}

TEST_F(NativeFileTest, MissingFilesAndFolders) {
  for (const std::string& p : {dir_.file("NONE.DBF"), path_join(dir_.file("NODIR"), "X.DBF")}) {
    FileError e = open_error(p, shared_rw());
    EXPECT_EQ(e.kind(), FileErrorKind::kNotFound) << p;
    EXPECT_EQ(e.os_code(), 2) << p;
    EXPECT_EQ(e.path(), p);
    EXPECT_FALSE(fs().exists(p));
    EXPECT_FALSE(fs().remove(p));
  }
  EXPECT_FALSE(fs().exists(dir_.path())) << "a folder is no file";
  EXPECT_TRUE(fs().list_dir(dir_.file("NODIR")).empty());
}

TEST_F(NativeFileTest, CzechNamesRoundTrip) {
  const std::string name = "Objedn\xC3\xA1vky \xC4\x8C\xC5\x98\xC5\xBD.dbf";  // Objednávky ČŘŽ.dbf
  const std::string renamed = "P\xC5\x99\xC3\xADjemky.dbf";                   // Příjemky.dbf
  std::string p = dir_.file(name);
  fs().open(p, shared_rw(true))->write_at(0, "abc", 3);
  EXPECT_TRUE(fs().exists(p));
  std::vector<std::string> names = fs().list_dir(dir_.path());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{name, "T.DBF"}));

  ASSERT_TRUE(fs().rename(p, dir_.file(renamed)));
  EXPECT_FALSE(fs().exists(p));
  EXPECT_EQ(text_at(*fs().open(dir_.file(renamed), shared_rw()), 0, 3), "abc");
  ASSERT_TRUE(fs().rename(dir_.file(renamed), path_)) << "rename replaces an existing file";
  EXPECT_EQ(testutil::read_text(path_), "abc");
  EXPECT_EQ(fs().list_dir(dir_.path()), std::vector<std::string>{"T.DBF"});
  EXPECT_TRUE(fs().remove(path_));
  EXPECT_TRUE(fs().list_dir(dir_.path()).empty());
}

}  // namespace
}  // namespace xbase
