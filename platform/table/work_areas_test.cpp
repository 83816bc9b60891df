// Work areas: selection by number, text and alias, the lowest free one, opens that replace
// what an area held, aliases for field access, and data servers in areas of their own.
#include "platform/table/work_areas.h"

#include <gtest/gtest.h>

#include "platform/table/db_server.h"
#include "platform/table/settings.h"
#include "platform/table/table_error.h"
#include "tests/support/test_util.h"

namespace {

using namespace xbase;

class Areas : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = table_settings();
    table_settings().default_folder = dir_.path();
    for (const char* name : {"ZAK.DBF", "dood.dbf"}) {
      auto t = DbfTable::create(dir_.file(name), {{"NAZ", 'C', 10, 0}}, {});
      t->append_blank();
      t->put("NAZ", Value::text(name));
      t->close();
    }
  }
  void TearDown() override {
    WorkAreas::instance().close_all();
    table_settings() = saved_;
  }
  testutil::TempDir dir_;
  TableSettings saved_;
  WorkAreas& w = WorkAreas::instance();
};

TEST_F(Areas, SelectionByNumberTextAliasAndLowestFree) {
  w.select("3");
  ASSERT_TRUE(w.use("zak", "S3"));  // the file's case does not matter
  EXPECT_EQ(w.current(), 3);
  w.select(5);
  ASSERT_TRUE(w.use("DOOD", "S5"));
  EXPECT_TRUE(w.select("s3"));
  EXPECT_EQ(w.current(), 3);
  EXPECT_EQ(w.current_table()->get_text("NAZ"), "ZAK.DBF");
  EXPECT_EQ(w.by_alias("S5")->get_text("NAZ"), "dood.dbf");
  EXPECT_FALSE(w.select("S9"));
  EXPECT_EQ(w.current(), 3);
  EXPECT_EQ(w.select_free(), 1);
  ASSERT_TRUE(w.use("ZAK", "KP", {true, false, ""}));  // shared: a second open of ZAK
  EXPECT_EQ(w.lowest_free(), 2);
  w.select("0");
  EXPECT_EQ(w.current(), 2);
}

TEST_F(Areas, AnOpenIntoTheCurrentAreaClosesWhatItHeld) {
  w.select(5);
  UseOptions ex;
  ex.shared = false;
  ASSERT_TRUE(w.use("ZAK", "S5", ex));
  ASSERT_TRUE(w.use("DOOD", "S5", ex));
  EXPECT_EQ(w.area_of("S5"), 5);
  EXPECT_EQ(w.current_table()->get_text("NAZ"), "dood.dbf");
  // ZAK was released: an exclusive open elsewhere succeeds.
  EXPECT_NO_THROW(DbfTable::open(dir_.file("ZAK.DBF"), {ShareMode::kExclusive}));
}

TEST_F(Areas, OpensFollowTheGlobalExclusiveDefault) {
  table_settings().exclusive = true;
  w.select(1);
  ASSERT_TRUE(w.use("ZAK", "S1"));
  EXPECT_TRUE(w.current_table()->exclusive());
  table_settings().exclusive = false;
  w.select(2);
  ASSERT_TRUE(w.use("DOOD", "S2"));
  EXPECT_FALSE(w.current_table()->exclusive());
}

TEST_F(Areas, DataServersTakeTheirOwnAreasAndGiveThemBack) {
  w.select(1);
  ASSERT_TRUE(w.use("ZAK", "S1", {true, false, ""}));
  {
    DbServer a("ZAK", true, false);
    DbServer b("dood", true, true);
    EXPECT_TRUE(a.status().empty());
    EXPECT_TRUE(b.status().empty());
    EXPECT_EQ(a.area(), 2);
    EXPECT_EQ(b.area(), 3);
    EXPECT_NE(a.alias(), w.alias(1));  // two opens of ZAK keep apart
    EXPECT_EQ(a.field_get("NAZ").str(), "ZAK.DBF   ");
    EXPECT_EQ(w.current(), 1);  // a server does not change the selection
    EXPECT_THROW(b.field_put("NAZ", Value::text("x")), TableError);  // read-only
    a.close();
    EXPECT_EQ(w.lowest_free(), 2);
    EXPECT_THROW(a.field_get("NAZ"), TableError);
  }
  EXPECT_EQ(w.lowest_free(), 2);
}

TEST_F(Areas, CloseAllReleasesEveryTable) {
  w.select(1);
  ASSERT_TRUE(w.use("ZAK", "S1"));
  w.select(7);
  ASSERT_TRUE(w.use("DOOD", "S7"));
  w.close_all();
  EXPECT_EQ(w.table(1), nullptr);
  EXPECT_EQ(w.table(7), nullptr);
  EXPECT_NO_THROW(DbfTable::open(dir_.file("ZAK.DBF"), {ShareMode::kExclusive}));
  EXPECT_NO_THROW(DbfTable::open(dir_.file("dood.dbf"), {ShareMode::kExclusive}));
}

}  // namespace
