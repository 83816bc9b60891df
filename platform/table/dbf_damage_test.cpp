// Damaged tables give an error that names the file and the fault, and nothing is written.
#include <gtest/gtest.h>

#include "platform/table/dbf_table.h"
#include "platform/table/table_error.h"
#include "tests/support/test_util.h"

namespace {

using namespace xbase;

class DamagedTable : public ::testing::Test {
 protected:
  void SetUp() override {
    auto t = DbfTable::create(dir_.file("OK.DBF"), {{"A", 'C', 5, 0}, {"B", 'N', 4, 0}}, {});
    for (int i = 0; i < 3; ++i) {
      t->append_blank();
      t->put("A", Value::text("r" + std::to_string(i)));
    }
    t->close();
    good_ = testutil::read_file(dir_.file("OK.DBF"));
  }

  // Writes bytes as BAD.DBF, opens it, expects a corruption error mentioning `what`,
  // and checks the file was left byte for byte.
  void expect_refused(const std::vector<char>& bytes, const std::string& what) {
    std::string path = dir_.file("BAD.DBF");
    testutil::write_file(path, bytes);
    for (ShareMode mode : {ShareMode::kShared, ShareMode::kExclusive}) {
      TableOpenOptions o;
      o.share = mode;
      try {
        DbfTable::open(path, o);
        ADD_FAILURE() << "opened a damaged table (" << what << ")";
      } catch (const TableError& e) {
        EXPECT_EQ(e.generic(), kErrCorruption) << e.what();
        EXPECT_NE(std::string(e.what()).find("BAD.DBF"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << e.what();
      }
      EXPECT_EQ(testutil::read_file(path), bytes) << what;
    }
  }

  testutil::TempDir dir_;
  std::vector<char> good_;
};

TEST_F(DamagedTable, HeaderCutShort) {
  expect_refused(std::vector<char>(good_.begin(), good_.begin() + 20), "header truncated");
  expect_refused({}, "header truncated");
}

TEST_F(DamagedTable, FileShorterThanItsHeaderClaims) {
  expect_refused(std::vector<char>(good_.begin(), good_.begin() + 70), "shorter than its header");
}

TEST_F(DamagedTable, HeaderLengthThatDoesNotMatchItsFields) {
  std::vector<char> b = good_;
  b[8] = 32 + 32 + 1;  // room for one field, but two follow
  b[9] = 0;
  expect_refused(b, "does not match its field descriptors");
}

TEST_F(DamagedTable, RecordLengthThatDoesNotMatchTheFields) {
  std::vector<char> b = good_;
  b[10] = static_cast<char>(b[10] + 3);
  expect_refused(b, "record length");
}

TEST_F(DamagedTable, GarbageFieldDescriptors) {
  std::vector<char> b = good_;
  b[32 + 32] = '\x01';  // the second field's name
  b[32 + 33] = '#';
  expect_refused(b, "invalid name");
  b = good_;
  b[32 + 11] = '\x07';  // the first field's type
  expect_refused(b, "invalid type");
  b = good_;
  b[32 + 16] = 0;  // the first field's length
  b[10] = static_cast<char>(b[10] - 5);
  expect_refused(b, "length 0");
}

TEST_F(DamagedTable, UnknownVersionByte) {
  std::vector<char> b = good_;
  b[0] = '\x42';
  expect_refused(b, "version byte 0x42");
}

// A count that disagrees with the size is read the way the engines read it (from the size)
// and reported, not repaired on a read.
TEST_F(DamagedTable, CountDisagreeingWithSizeIsReportedNotRepaired) {
  for (char count : {'\x01', '\x09'}) {
    std::vector<char> b = good_;
    b[4] = count;
    std::string path = dir_.file("COUNT.DBF");
    testutil::write_file(path, b);
    {
      auto t = DbfTable::open(path, {});
      EXPECT_EQ(t->record_count(), 3u);
      ASSERT_TRUE(t->header_count_mismatch().has_value());
      EXPECT_EQ(*t->header_count_mismatch(), static_cast<uint32_t>(count));
      t->go_bottom();
      EXPECT_EQ(t->get_text("A"), "r2");
    }
    EXPECT_EQ(testutil::read_file(path), b);
  }
}

// A record cut short by a crash is not counted; the next append overwrites it.
TEST_F(DamagedTable, PartialLastRecordIsIgnoredAndOverwritten) {
  std::vector<char> b = good_;
  b.pop_back();  // no end-of-file mark
  b.insert(b.end(), {' ', 'z', 'z'});
  std::string path = dir_.file("PART.DBF");
  testutil::write_file(path, b);
  auto t = DbfTable::open(path, {});
  EXPECT_EQ(t->record_count(), 3u);
  t->append_blank();
  t->put("A", Value::text("new"));
  t->close();
  auto r = DbfTable::open(path, {});
  EXPECT_EQ(r->record_count(), 4u);
  r->go_to(4);
  EXPECT_EQ(r->get_text("A"), "new");
  EXPECT_FALSE(r->header_count_mismatch().has_value());
}

}  // namespace
