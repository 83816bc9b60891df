// What only the Windows file layer does: mandatory range locks, case-blind names, UTF-16 names
// on disk and the classic error codes the network-error flag is raised from.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "platform/file/file.h"
#include "tests/support/test_util.h"

namespace xbase {
namespace {

namespace fs = std::filesystem;

bool under_wine() {
  return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

fs::path from_utf8(const std::string& s) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(s.data()), s.size()));
}

class WinFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file("ZAK.DBF");
    OpenOptions o;
    o.create = true;
    native_file_system().open(path_, o)->write_at(0, "0123456789", 10);
  }
  std::unique_ptr<File> open_shared() { return native_file_system().open(path_, OpenOptions{}); }
  testutil::TempDir dir_;
  std::string path_;
};

// Windows refuses other handles' reads and writes inside a locked range (error 33); Wine keeps
// the locks but lets such reads and writes through, so there this runs on real Windows only.
TEST_F(WinFileTest, LockedRangesRefuseOtherHandlesWithError33) {
  if (under_wine()) GTEST_SKIP() << "Wine does not enforce range locks on reads and writes";
  auto holder = open_shared();
  auto other = open_shared();
  ASSERT_TRUE(holder->lock(4, 2, true));
  char buf[10];
  try {
    other->read_at(0, buf, 10);
    ADD_FAILURE() << "read through a locked range";
  } catch (const FileError& e) {
    EXPECT_EQ(e.kind(), FileErrorKind::kLock);
    EXPECT_EQ(e.os_code(), 33);
    EXPECT_NE(std::string(e.what()).find("ZAK.DBF"), std::string::npos) << e.what();
  }
  try {
    other->write_at(5, "x", 1);
    ADD_FAILURE() << "write into a locked range";
  } catch (const FileError& e) {
    EXPECT_EQ(e.kind(), FileErrorKind::kLock);
    EXPECT_EQ(e.os_code(), 33);
  }
  EXPECT_EQ(other->read_at(6, buf, 4), 4u) << "bytes beside the lock stay readable";
  EXPECT_EQ(holder->read_at(0, buf, 10), 10u) << "the holder itself reads through its lock";
  holder->unlock(4, 2);
  ASSERT_TRUE(holder->lock(0, 10, false));
  EXPECT_EQ(other->read_at(0, buf, 10), 10u) << "a shared lock lets others read";
  EXPECT_THROW(other->write_at(0, "x", 1), FileError);
  holder->unlock(0, 10);
  EXPECT_NO_THROW(other->write_at(5, "x", 1));
  EXPECT_EQ(testutil::read_text(path_), "01234x6789");
}

// Wine and Windows alike: a lock is the handle's, not the process's.
TEST_F(WinFileTest, TheSameHandleCannotTakeAnExclusiveLockTwice) {
  auto f = open_shared();
  ASSERT_TRUE(f->lock(1000000001, 1, true));
  EXPECT_FALSE(f->lock(1000000001, 1, true));
  f->unlock(1000000001, 1);
  EXPECT_TRUE(f->lock(1000000001, 1, true));
}

TEST_F(WinFileTest, NamesAreCaseBlind) {
  const std::string lower = dir_.file("zak.dbf");
  EXPECT_EQ(native_file_system().resolve_case(lower), path_) << "the spelling on disk";
  EXPECT_EQ(native_file_system().resolve_case(dir_.file("none.dbf")), dir_.file("none.dbf"));
  EXPECT_TRUE(native_file_system().exists(lower));
  auto held = native_file_system().open(lower, OpenOptions{});
  OpenOptions excl;
  excl.share = ShareMode::kExclusive;
  try {
    native_file_system().open(path_, excl);
    ADD_FAILURE() << "the other spelling is another file";
  } catch (const FileError& e) {
    EXPECT_EQ(e.os_code(), 32);
  }
}

TEST_F(WinFileTest, NamesReachTheDiskAsUtf16) {
  const std::string name =
      "\xC5\xBDlu\xC5\xA5ou\xC4\x8Dk\xC3\xBD k\xC5\xAF\xC5\x88.DBF";  // Žluťoučký kůň
  OpenOptions o;
  o.create = true;
  native_file_system().open(dir_.file(name), o)->write_at(0, "k", 1);
  // std::filesystem speaks UTF-16 to the system independently of our conversion.
  fs::path expected = fs::path(dir_.path()) / from_utf8(name);
  EXPECT_TRUE(fs::exists(expected));
  EXPECT_EQ(fs::file_size(expected), 1u);
  EXPECT_EQ(expected.filename().wstring(), L"\u017Dlu\u0165ou\u010Dk\u00FD k\u016F\u0148.DBF");
}

TEST_F(WinFileTest, BothSlashesSeparateFolders) {
  std::string forward = dir_.path() + "/ZAK.DBF";
  std::string mixed = dir_.path() + "\\.\\ZAK.DBF";
  char buf[3];
  EXPECT_EQ(native_file_system().open(forward, OpenOptions{})->read_at(0, buf, 3), 3u);
  EXPECT_EQ(native_file_system().open(mixed, OpenOptions{})->read_at(7, buf, 3), 3u);
  EXPECT_EQ(std::string(buf, 3), "789");
}

TEST_F(WinFileTest, ClassicErrorCodes) {
  OpenOptions ro;
  ro.read_only = true;
  auto f = native_file_system().open(path_, ro);
  try {
    f->write_at(0, "x", 1);
    ADD_FAILURE() << "wrote through a read-only handle";
  } catch (const FileError& e) {
    EXPECT_EQ(e.kind(), FileErrorKind::kAccess);
    EXPECT_EQ(e.os_code(), 5);
  }
  try {
    native_file_system().open(dir_.path(), OpenOptions{});
    ADD_FAILURE() << "opened a folder as a file";
  } catch (const FileError& e) {
    EXPECT_EQ(e.os_code(), 5) << e.what();
  }
  try {
    native_file_system().open(std::string("bad\xFF.DBF"), OpenOptions{});
    ADD_FAILURE() << "opened a name that is not UTF-8";
  } catch (const FileError& e) {
    EXPECT_EQ(e.kind(), FileErrorKind::kIo);
    EXPECT_EQ(e.os_code(), 1113);
  }
}

}  // namespace
}  // namespace xbase
