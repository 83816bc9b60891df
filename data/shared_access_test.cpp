// OPDBF, OPSERVER, OPAREA and OPAKOVAT: texts, owners and results, with the busy table held
// by a second open inside this process (the share modes refuse each other there as well).
#include "data/shared_access.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "data/data_test_support.h"
#include "data/pozad.h"
#include "data/zas.h"
#include "platform/table/table_error.h"

namespace {

using datatest::exclusive_warning;
using datatest::kBusyQuestion;
using datatest::missing_warning;
using ui::BoxRecord;
using ui::Owner;
using ui::Reply;
using xbase::ShareMode;
using xbase::Value;

class SharedAccess : public datatest::DataTest {
 protected:
  // T.DBF in the target folder, P.DBF in the program folder.
  void make_tables() {
    make_table(target_.file("T.DBF"), {{"A", 'C', 4, 0}}, {{Value::text("tgt")}});
    make_table(program_.file("P.DBF"), {{"A", 'C', 4, 0}}, {{Value::text("prg")}});
  }
  std::string target_path(const std::string& file) const { return data::target_folder() + file; }
  std::string program_path(const std::string& file) const { return data::program_folder() + file; }
};

TEST_F(SharedAccess, OpdbfChoosesTheFolderBySelector) {
  make_tables();
  for (std::uint8_t selector : {0, 1}) {
    auto s = data::OPDBF(selector, "T", true, false);
    ASSERT_TRUE(s) << int(selector);
    EXPECT_EQ(s->field_get("A").str(), "tgt ");
    s->close();
  }
  for (std::uint8_t selector : {2, 3, 255}) {
    auto s = data::OPDBF(selector, "P", true, false);
    ASSERT_TRUE(s) << int(selector);
    EXPECT_EQ(s->field_get("A").str(), "prg ");
    s->close();
  }
  EXPECT_TRUE(window_.boxes.empty());
  // Selector 0 looks in the target folder, so the program folder's table is missing there.
  EXPECT_FALSE(data::OPDBF(0, "P", true, false));
  ASSERT_EQ(window_.boxes.size(), 1u);
  EXPECT_EQ(window_.boxes[0].text, missing_warning(target_path("P.DBF")));
}

TEST_F(SharedAccess, OpdbfMissingFileWarnsWithTheFullPathAndOpensNothing) {
  EXPECT_FALSE(data::OPDBF(2, "ESH_NAS", false, false));
  ASSERT_EQ(window_.boxes.size(), 1u);
  const BoxRecord& b = window_.boxes[0];
  EXPECT_EQ(b.kind, BoxRecord::Kind::kWarning);
  EXPECT_EQ(b.owner, Owner::kNone);
  EXPECT_EQ(b.caption, "Akce odmítnuta!");
  EXPECT_EQ(b.text, "Soubor " + program_path("ESH_NAS.DBF") +
                        " nenalezen!\r"
                        "Ověřte správnost přiřazení firemních dat\r"
                        "nebo instalace dat program.syst.KTR!");
  EXPECT_EQ(open_areas(), 0);
}

TEST_F(SharedAccess, OpdbfFindsTheFileWhateverItsLetterCase) {
  make_table(program_.file("esh_nas.dbf"), {{"A", 'C', 4, 0}}, {{Value::text("x")}});
  auto s = data::OPDBF(2, "ESH_NAS", false, false);
  ASSERT_TRUE(s);
  EXPECT_TRUE(window_.boxes.empty());
}

TEST_F(SharedAccess, OpdbfPassesTheSharingAndReadOnlyFlags) {
  make_tables();
  auto ro = data::OPDBF(1, "T", true, true);
  ASSERT_TRUE(ro);
  EXPECT_TRUE(ro->table()->read_only());
  EXPECT_FALSE(ro->table()->exclusive());
  auto second = data::OPDBF(1, "T", true, false);  // shared beside shared
  ASSERT_TRUE(second);
  EXPECT_FALSE(second->table()->read_only());
  ro->close();
  second->close();
  auto ex = data::OPDBF(1, "T", false, false);
  ASSERT_TRUE(ex);
  EXPECT_TRUE(ex->table()->exclusive());
  EXPECT_TRUE(window_.boxes.empty());
}

TEST_F(SharedAccess, OpdbfOnAHeldTableGivesTheExclusiveWarning) {
  make_tables();
  auto holder = hold(program_.file("P.DBF"), ShareMode::kExclusive);
  EXPECT_FALSE(data::OPDBF(2, "P", true, false));
  // An exclusive open is refused beside a shared holder too.
  holder.reset();
  holder = hold(program_.file("P.DBF"), ShareMode::kShared);
  EXPECT_FALSE(data::OPDBF(2, "P", false, false));
  ASSERT_EQ(window_.boxes.size(), 2u);
  for (const auto& b : window_.boxes) {
    EXPECT_EQ(b.kind, BoxRecord::Kind::kWarning);
    EXPECT_EQ(b.owner, Owner::kNone);
    EXPECT_EQ(b.caption, "Akce odmítnuta!");
    EXPECT_EQ(b.text, exclusive_warning(program_path("P.DBF")));
  }
  EXPECT_EQ(open_areas(), 0);
  holder.reset();
  EXPECT_TRUE(data::OPDBF(2, "P", false, false));
}

TEST_F(SharedAccess, OpdbfOnADamagedTableGivesTheLayersDescription) {
  testutil::write_file(program_.file("BAD.DBF"), std::vector<char>(40, 'x'));
  std::string path = program_path("BAD.DBF");
  std::string description;
  {
    xbase::DbServer probe(path, true, false);
    ASSERT_FALSE(probe.status().empty());
    ASSERT_NE(probe.status().caption, "21");
    description = probe.status().description;
  }
  ASSERT_FALSE(description.empty());
  EXPECT_FALSE(data::OPDBF(2, "BAD", true, false));
  ASSERT_EQ(window_.boxes.size(), 1u);
  EXPECT_EQ(window_.boxes[0].owner, Owner::kNone);
  EXPECT_EQ(window_.boxes[0].caption, "Akce odmítnuta!");
  EXPECT_EQ(window_.boxes[0].text, "Otevreni souboru " + path + " skoncilo chybou " + description);
  EXPECT_EQ(open_areas(), 0);
}

TEST_F(SharedAccess, OpserverCreatesTheNamedClass) {
  make_table(target_.file("ZAS.DBF"), {{"CIPO", 'C', 16, 0}, {"OZNM", 'C', 40, 0}},
             {{Value::text("A1"), Value::text("Šroub")}});
  make_table(target_.file("POZAD.DBF"), {{"CZAK", 'N', 10, 0}}, {{Value::number(7)}});
  auto zas = data::OPSERVER("ZAS", false, false);
  auto pozad = data::OPSERVER("pozad", false, false);
  ASSERT_TRUE(zas);
  ASSERT_TRUE(pozad);
  ASSERT_NE(dynamic_cast<data::Zas*>(zas.get()), nullptr);
  ASSERT_NE(dynamic_cast<data::Pozad*>(pozad.get()), nullptr);
  EXPECT_TRUE(zas->table()->exclusive());
  EXPECT_EQ(zas->field_get("OZNM").str().substr(0, 6), "Šroub");
  EXPECT_EQ(pozad->field_get("CZAK").num(), 7);
  EXPECT_TRUE(window_.boxes.empty());
  EXPECT_THROW(data::OPSERVER("ZAK", false, false), std::invalid_argument);
}

TEST_F(SharedAccess, OpserverOnABusyTableNamesTheClass) {
  make_table(target_.file("POZAD.DBF"), {{"CZAK", 'N', 10, 0}}, {{Value::number(7)}});
  make_table(target_.file("ZAS.DBF"), {{"CIPO", 'C', 16, 0}}, {{Value::text("A1")}});
  auto h1 = hold(target_.file("POZAD.DBF"), ShareMode::kExclusive);
  auto h2 = hold(target_.file("ZAS.DBF"), ShareMode::kShared);
  EXPECT_FALSE(data::OPSERVER("Pozad", false, false));
  EXPECT_FALSE(data::OPSERVER<data::Zas>(false, false));
  ASSERT_EQ(window_.boxes.size(), 2u);
  EXPECT_EQ(window_.boxes[0].text, exclusive_warning("POZAD"));
  EXPECT_EQ(window_.boxes[1].text, exclusive_warning("ZAS"));
  for (const auto& b : window_.boxes) {
    EXPECT_EQ(b.kind, BoxRecord::Kind::kWarning);
    EXPECT_EQ(b.owner, Owner::kMain);
    EXPECT_EQ(b.caption, "Akce odmítnuta!");
  }
  EXPECT_EQ(open_areas(), 0);
  // Before the main window exists the warning has no owner.
  ui::set_main_window(nullptr);
  EXPECT_FALSE(data::OPSERVER("POZAD", false, false));
  EXPECT_EQ(window_.boxes.back().owner, Owner::kNone);
}

TEST_F(SharedAccess, OpserverOnAMissingTableTellsTheOpenError) {
  EXPECT_FALSE(data::OPSERVER("ZAS", false, false));
  ASSERT_EQ(window_.boxes.size(), 1u);
  const std::string& text = window_.boxes[0].text;
  std::string head =
      "Otevreni souboru " + xbase::path_join(target_.path(), "ZAS.DBF") + " skoncilo chybou ";
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_GT(text.size(), head.size());
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_EQ(window_.boxes[0].owner, Owner::kMain);
  EXPECT_EQ(open_areas(), 0);
}

TEST_F(SharedAccess, OpareaOpensIntoTheCurrentAreaUnderTheAlias) {
  make_table(target_.file("IDENT.DBF"), {{"ICO", 'N', 10, 0}}, {{Value::number(12345678)}});
  xbase::WorkAreas& w = xbase::WorkAreas::instance();
  w.select(5);
  EXPECT_TRUE(data::OPAREA("IDENT", true, "S5"));
  EXPECT_EQ(w.area_of("S5"), 5);
  EXPECT_FALSE(w.table(5)->exclusive());
  EXPECT_FALSE(w.table(5)->read_only());
  EXPECT_EQ(w.by_alias("s5")->get("ICO").num(), 12345678);
  // The same area again: what it held is closed first.
  EXPECT_TRUE(data::OPAREA("IDENT", false, "S5"));
  EXPECT_TRUE(w.table(5)->exclusive());
  EXPECT_EQ(open_areas(), 1);
  EXPECT_TRUE(window_.boxes.empty());
}

TEST_F(SharedAccess, OpareaAsksOncePerFailedAttemptWhileTheUserRetries) {
  make_table(target_.file("ZAK.DBF"), {{"CZAK", 'N', 10, 0}}, {{Value::number(1)}});
  auto holder = hold(target_.file("ZAK.DBF"), ShareMode::kExclusive);
  int asked = 0;
  window_.on_question = [&](const BoxRecord&) {
    if (++asked == 4) holder.reset();  // the other user lets go while the fourth box is open
    return Reply::kRetry;
  };
  xbase::WorkAreas::instance().select(3);
  EXPECT_TRUE(data::OPAREA("ZAK", false, "S3"));
  EXPECT_EQ(asked, 4);
  ASSERT_EQ(window_.boxes.size(), 4u);
  for (const auto& b : window_.boxes) {
    EXPECT_EQ(b.kind, BoxRecord::Kind::kQuestion);
    EXPECT_EQ(b.owner, Owner::kMain);
    EXPECT_EQ(b.caption, "Akce odmítnuta!");
    EXPECT_EQ(b.text, kBusyQuestion);
  }
  EXPECT_EQ(xbase::WorkAreas::instance().area_of("S3"), 3);
  EXPECT_FALSE(xbase::net_err());
}

TEST_F(SharedAccess, OpareaCancelReturnsFalseAfterOneQuestion) {
  make_table(target_.file("DOOD.DBF"), {{"FIRMA", 'N', 5, 0}}, {{Value::number(1)}});
  auto holder = hold(target_.file("DOOD.DBF"), ShareMode::kShared);
  xbase::WorkAreas::instance().select(5);
  window_.replies = {Reply::kCancel};
  EXPECT_FALSE(data::OPAREA("DOOD", false, "S5"));
  EXPECT_EQ(window_.boxes.size(), 1u);
  EXPECT_EQ(xbase::WorkAreas::instance().table(5), nullptr);
  // A shared open beside the shared holder is no conflict.
  EXPECT_TRUE(data::OPAREA("DOOD", true, "S5"));
  EXPECT_EQ(window_.boxes.size(), 1u);
}

TEST_F(SharedAccess, OpareaLeavesOtherFailuresToTheTableLayer) {
  xbase::WorkAreas::instance().select(5);
  EXPECT_THROW(data::OPAREA("NENI", true, "S5"), xbase::TableError);
  EXPECT_TRUE(window_.boxes.empty());
  EXPECT_FALSE(xbase::net_err());
}

TEST_F(SharedAccess, OpakovatAsksRetryOrCancel) {
  window_.replies = {Reply::kRetry, Reply::kCancel};
  EXPECT_TRUE(data::OPAKOVAT(Owner::kMain));
  EXPECT_FALSE(data::OPAKOVAT(Owner::kNone));
  EXPECT_FALSE(data::OPAKOVAT(Owner::kMain));  // the box closed without a choice
  ASSERT_EQ(window_.boxes.size(), 3u);
  EXPECT_EQ(window_.boxes[0].owner, Owner::kMain);
  EXPECT_EQ(window_.boxes[1].owner, Owner::kNone);
  for (const auto& b : window_.boxes) {
    EXPECT_EQ(b.kind, BoxRecord::Kind::kQuestion);
    EXPECT_EQ(b.caption, "Akce odmítnuta!");
    EXPECT_EQ(b.text, kBusyQuestion);
  }
}

}  // namespace
