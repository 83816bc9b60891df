// NOVECISLO inside one process: the counter's edge values, the work area it leaves current,
// a busy POSCI (held by a second open) with Retry and Cancel, and failures of other kinds.
#include "data/numbering.h"

#include <gtest/gtest.h>

#include "data/data_test_support.h"
#include "platform/table/table_error.h"

namespace {

using ui::BoxRecord;
using ui::Owner;
using ui::Reply;
using xbase::ShareMode;
using xbase::Value;

class Numbering : public datatest::DataTest {
 protected:
  void make_posci(double pcdood, double pczak = 2024000166) {
    make_table(target_.file("POSCI.DBF"), {{"PCDOOD", 'N', 9, 0}, {"PCZAK", 'N', 10, 0}},
               {{Value::number(pcdood), Value::number(pczak)}});
  }
  double stored(const std::string& field = "PCDOOD") {
    auto t = hold(target_.file("POSCI.DBF"), ShareMode::kShared);
    return t->get(field).num();
  }
};

TEST_F(Numbering, TakesTheNextNumberAndStoresIt) {
  struct Case {
    double stored, expected;
  } cases[] = {{0, 1}, {41, 42}, {999999996, 999999997}, {999999997, 1}, {-7, 1}};
  for (const Case& c : cases) {
    make_posci(c.stored);
    EXPECT_EQ(data::NOVECISLO("PCDOOD"), c.expected) << c.stored;
    EXPECT_EQ(stored(), c.expected) << c.stored;
    EXPECT_EQ(stored("PCZAK"), 2024000166) << "only the named counter changes";
  }
  make_posci(41);
  EXPECT_EQ(data::NOVECISLO("pcdood"), 42);
  EXPECT_EQ(data::NOVECISLO("PCDOOD"), 43);
  // A counter stored above the largest number also starts again at 1.
  EXPECT_EQ(data::NOVECISLO("PCZAK"), 1);
  EXPECT_EQ(stored("PCZAK"), 1);
  EXPECT_EQ(stored(), 43);
  EXPECT_TRUE(window_.boxes.empty());
}

TEST_F(Numbering, ReadsTheHarbourWrittenCounter) {
  testutil::copy_fixture("small-mixed-bin-s1", target_.path());
  EXPECT_EQ(stored(), 279);
  EXPECT_EQ(data::NOVECISLO("PCDOOD"), 280);
  EXPECT_EQ(stored(), 280);
  EXPECT_EQ(stored("PCPOZ"), 900);
}

TEST_F(Numbering, LeavesTheCounterAreaCurrentAndFree) {
  make_posci(5);
  make_table(target_.file("ZAK.DBF"), {{"CZAK", 'N', 10, 0}}, {{Value::number(1)}});
  xbase::WorkAreas& w = xbase::WorkAreas::instance();
  w.select(1);
  ASSERT_TRUE(w.use("ZAK", "S1"));
  w.select(3);
  ASSERT_TRUE(w.use("ZAK", "S3", {true, false, ""}));
  ASSERT_EQ(w.current(), 3);
  EXPECT_EQ(data::NOVECISLO("PCDOOD"), 6);
  EXPECT_EQ(w.current(), 2);  // the lowest free area took POSCI
  EXPECT_EQ(w.current_table(), nullptr);
  EXPECT_EQ(w.area_of("KP"), 0);
  EXPECT_EQ(w.area_of("S1"), 1);
  EXPECT_EQ(w.area_of("S3"), 3);
  // POSCI is released: another exclusive open succeeds at once.
  EXPECT_NO_THROW(hold(target_.file("POSCI.DBF"), ShareMode::kExclusive));
}

TEST_F(Numbering, CancelWhileBusyGivesZeroAndLeavesTheCounter) {
  make_posci(41);
  for (ShareMode mode : {ShareMode::kExclusive, ShareMode::kShared}) {
    window_.boxes.clear();
    auto holder = hold(target_.file("POSCI.DBF"), mode);
    window_.replies = {Reply::kCancel};
    EXPECT_EQ(data::NOVECISLO("PCDOOD"), 0);
    ASSERT_EQ(window_.boxes.size(), 1u);
    EXPECT_EQ(window_.boxes[0].kind, BoxRecord::Kind::kQuestion);
    EXPECT_EQ(window_.boxes[0].owner, Owner::kMain);
    EXPECT_EQ(window_.boxes[0].caption, "Akce odmítnuta!");
    EXPECT_EQ(window_.boxes[0].text, datatest::kBusyQuestion);
    EXPECT_EQ(holder->get("PCDOOD").num(), 41);
    holder.reset();
    EXPECT_EQ(stored(), 41);
    EXPECT_EQ(xbase::WorkAreas::instance().area_of("KP"), 0);
  }
}

TEST_F(Numbering, RetryAfterTheOtherUserClosedTakesTheNextNumber) {
  make_posci(41);
  auto holder = hold(target_.file("POSCI.DBF"), ShareMode::kExclusive);
  int asked = 0;
  window_.on_question = [&](const BoxRecord&) {
    if (++asked == 2) holder.reset();
    return Reply::kRetry;
  };
  EXPECT_EQ(data::NOVECISLO("PCDOOD"), 42);
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(stored(), 42);
}

TEST_F(Numbering, AMissingCounterTableIsReportedThenAsked) {
  std::vector<std::string> reported;
  data::set_error_reporter([&](const std::exception& e) { reported.push_back(e.what()); });
  window_.replies = {Reply::kRetry, Reply::kCancel};
  EXPECT_EQ(data::NOVECISLO("PCDOOD"), 0);
  ASSERT_EQ(reported.size(), 2u);
  EXPECT_NE(reported[0].find("POSCI"), std::string::npos) << reported[0];
  EXPECT_EQ(questions().size(), 2u);
}

TEST_F(Numbering, TheDefaultReportShowsAnErrorBoxAndLogsIt) {
  window_.replies = {Reply::kCancel};
  EXPECT_EQ(data::NOVECISLO("PCDOOD"), 0);
  ASSERT_EQ(window_.boxes.size(), 2u);
  EXPECT_EQ(window_.boxes[0].kind, BoxRecord::Kind::kError);
  EXPECT_NE(window_.boxes[0].text.find("POSCI"), std::string::npos);
  EXPECT_EQ(window_.boxes[1].kind, BoxRecord::Kind::kQuestion);
  std::string log = testutil::read_text(data::error_log_path());
  EXPECT_NE(log.find("POSCI"), std::string::npos);
  EXPECT_EQ(log.find('\r'), log.size() - 2) << "one line ending in CR LF";
}

TEST_F(Numbering, AWrongCounterThrowsAndReleasesPosci) {
  make_posci(41);
  EXPECT_THROW(data::NOVECISLO("PCNENI"), xbase::TableError);
  make_table(target_.file("POSCI.DBF"), {{"PCDOOD", 'C', 9, 0}}, {{Value::text("41")}});
  EXPECT_THROW(data::NOVECISLO("PCDOOD"), xbase::TableError);
  make_table(target_.file("POSCI.DBF"), {{"PCDOOD", 'N', 9, 0}}, {});
  EXPECT_THROW(data::NOVECISLO("PCDOOD"), xbase::TableError);
  EXPECT_EQ(xbase::WorkAreas::instance().area_of("KP"), 0);
  EXPECT_NO_THROW(hold(target_.file("POSCI.DBF"), ShareMode::kExclusive));
  EXPECT_TRUE(window_.boxes.empty());
}

}  // namespace
