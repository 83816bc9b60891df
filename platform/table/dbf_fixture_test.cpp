// Tables written by an independent engine: read exactly, changed in copies, still readable.
#include <gtest/gtest.h>

#include <sstream>

#include "platform/table/dbf_table.h"
#include "platform/table/settings.h"
#include "tests/support/test_util.h"
#include "tools/dbftool_commands.h"

namespace {

using namespace xbase;

const char* kFolders[] = {"small-mixed-bin-s1", "small-incr-bin-s2", "small-mixed-cs852-s5",
                          "small-alt-bin-s12"};
const char* kTables[] = {"ZAK", "DOOD", "ZAS", "POZAD", "IDENT", "POSCI"};

std::string dump(const std::string& path) {
  std::ostringstream out, err;
  int rc = dbftool::run({"dump", path}, out, err);
  EXPECT_EQ(rc, 0) << err.str();
  return out.str();
}

class DeletedShown : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = table_settings(); }
  void TearDown() override { table_settings() = saved_; }
  TableSettings saved_;
};

using FixtureDump = DeletedShown;

TEST_F(FixtureDump, EveryTableOfEveryFolderDumpsAsTheEngineDumpedIt) {
  for (const char* folder : kFolders) {
    std::string expected_all = testutil::read_text(testutil::fixture(folder) + "/_records.txt");
    ASSERT_FALSE(expected_all.empty()) << folder;
    for (const char* table : kTables) {
      std::string name = std::string(table) + ".DBF";
      std::string expected = testutil::fixture_section(expected_all, name + " records=");
      ASSERT_FALSE(expected.empty()) << folder << " " << name;
      EXPECT_EQ(dump(testutil::fixture(folder) + "/" + name), expected) << folder << " " << name;
    }
  }
}

TEST_F(FixtureDump, NamesResolveWithoutRegardToCase) {
  std::string expected = dump(testutil::fixture("small-mixed-bin-s1") + "/POSCI.DBF");
  EXPECT_EQ(dump(testutil::fixture("small-mixed-bin-s1") + "/posci.dbf"), expected);
}

using FixtureWrite = DeletedShown;

// A field write and an append leave every other byte of the engine's table as it was:
// other fields, other records, memo pointers.
TEST_F(FixtureWrite, WritesTouchOnlyWhatTheyChange) {
  testutil::TempDir dir;
  testutil::copy_fixture("small-alt-bin-s12", dir.path());
  std::string path = dir.file("ZAS.DBF");
  std::vector<char> before = testutil::read_file(path);
  uint32_t count;
  {
    TableOpenOptions o;
    o.share = ShareMode::kExclusive;
    auto t = DbfTable::open(path, o);
    count = t->record_count();
    t->go_to(5);
    std::string memo_before = t->get_text("POPIS");
    t->put("NAZD", Value::text("Šroubovák křížový"));
    t->append_blank();
    t->put("CIPO", Value::text("NOVA-KARTA"));
    t->put("KUSYM", Value::number(-12.5));
    t->commit();
    t->go_to(5);
    EXPECT_EQ(t->get_text("POPIS"), memo_before);
    t->close();
  }
  std::vector<char> after = testutil::read_file(path);
  TableOpenOptions ro;
  ro.read_only = true;
  auto t = DbfTable::open(path, ro);
  ASSERT_EQ(t->record_count(), count + 1);
  const DbfHeader& h = t->header();
  int nazd = t->field_index("NAZD");
  const FieldInfo& nf = h.fields[static_cast<size_t>(nazd)];
  // Header bytes other than the date and count stay.
  for (size_t i = 0; i < h.header_length; ++i) {
    if (i < 1 || i > 7) {
      ASSERT_EQ(before[i], after[i]) << "header byte " << i;
    }
  }
  for (uint32_t r = 1; r <= count; ++r) {
    size_t off = h.header_length + static_cast<size_t>(r - 1) * h.record_length;
    for (size_t b = 0; b < h.record_length; ++b) {
      bool changed_field = r == 5 && b >= static_cast<size_t>(nf.offset) &&
                           b < static_cast<size_t>(nf.offset + nf.length);
      if (!changed_field) {
        ASSERT_EQ(before[off + b], after[off + b]) << "record " << r;
      }
    }
  }
  t->go_to(5);
  EXPECT_EQ(t->get_text("NAZD"), "Šroubovák křížový");
  t->go_to(count + 1);
  EXPECT_EQ(t->get_text("CIPO"), "NOVA-KARTA");
  EXPECT_EQ(t->get_text("KUSYM"), "-12.500");
  EXPECT_EQ(t->get_text("POPIS"), "");
  EXPECT_EQ(t->raw_bytes(t->field_index("POPIS")), std::string(10, ' '));
  EXPECT_EQ(after.back(), 0x1A);
  EXPECT_EQ(after.size(), h.header_length + static_cast<size_t>(count + 1) * h.record_length + 1);
}

}  // namespace
