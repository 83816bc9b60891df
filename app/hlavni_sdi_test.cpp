// The main window's logic on the in-memory window: folder check, work tables, settings load
// and save through the controls, PostInit, the button rule and the default error handling.
#include "app/hlavni_sdi.h"

#include <gtest/gtest.h>

#include "app/program_folder.h"
#include "app/work_tables.h"
#include "data/data_test_support.h"
#include "platform/table/table_error.h"
#include "settings/settings_table.h"

namespace {

const char* const kNotThere = "Na zadané cestě kam, nejsou\rsdílená data Kontor!";

class MainWindow : public datatest::DataTest {
 protected:
  void SetUp() override {
    DataTest::SetUp();
    app::HlavniSDI::ApplyTemplate(window_);
    ui::set_main_window(nullptr);
  }
  void make_kontor(const std::string& dir, const std::vector<std::string>& skip = {}) {
    for (const char* t : app::kKontorTables)
      if (std::find(skip.begin(), skip.end(), t) == skip.end())
        make_table(dir + "/" + t, {{"A", 'C', 1, 0}}, {});
  }
  std::string sep() const { return std::string(1, data::path_separator()); }
  std::vector<std::string> layout(const std::string& file) {
    auto t = xbase::DbfTable::open(program_.file(file), {});
    std::vector<std::string> out;
    for (int i = 0; i < t->field_count(); ++i) {
      const auto& f = t->field_info(i);
      out.push_back(f.name + " " + f.type + std::to_string(f.length) + "." +
                    std::to_string(f.decimals));
    }
    return out;
  }
  static std::vector<std::string> expected(const std::vector<xbase::FieldSpec>& layout) {
    std::vector<std::string> out;
    for (const auto& f : layout)
      out.push_back(f.name + " " + f.type + std::to_string(f.length) + "." +
                    std::to_string(f.decimals));
    return out;
  }
  testutil::TempDir kontor_;
  app::HlavniSDI sdi_{window_};
};

TEST_F(MainWindow, TheFolderCheckEndsTheFolderInOneSeparatorAndFindsTheFiveTables) {
  make_kontor(kontor_.path());
  for (const std::string& typed : {kontor_.path(), kontor_.path() + sep(), kontor_.path() + "   ",
                                   kontor_.path() + sep() + "  "}) {
    data::set_target_folder("elsewhere");
    window_.set_text("WKAM", typed);
    EXPECT_TRUE(sdi_.KontrolaKam()) << typed;
    EXPECT_EQ(data::target_folder(), kontor_.path() + sep());
  }
  EXPECT_TRUE(window_.boxes.empty());
  EXPECT_EQ(window_.text("WKAM"), kontor_.path() + sep() + "  ") << "the field is not changed";
}

TEST_F(MainWindow, AFolderWithoutOneOfTheTablesFailsTheCheck) {
  make_kontor(kontor_.path(), {"IDENT.DBF"});
  window_.set_text("WKAM", kontor_.path());
  EXPECT_FALSE(sdi_.KontrolaKam());
  ASSERT_EQ(window_.boxes.size(), 1u);
  EXPECT_EQ(window_.boxes[0].kind, ui::BoxRecord::Kind::kWarning);
  EXPECT_EQ(window_.boxes[0].owner, ui::Owner::kMain);
  EXPECT_EQ(window_.boxes[0].caption, "Akce odmítnuta!");
  EXPECT_EQ(window_.boxes[0].text, kNotThere);
  EXPECT_EQ(data::target_folder(), kontor_.path() + sep()) << "the folder just typed";
  for (const char* missing : {"ZAK.DBF", "POZAD.DBF", "DOOD.DBF", "ZAS.DBF"}) {
    testutil::TempDir dir;
    make_kontor(dir.path(), {missing});
    window_.set_text("WKAM", dir.path());
    EXPECT_FALSE(sdi_.KontrolaKam()) << missing;
  }
  window_.set_text("WKAM", "   ");
  EXPECT_FALSE(sdi_.KontrolaKam());
  EXPECT_EQ(data::target_folder(), sep()) << "an empty field names the root";
}

TEST_F(MainWindow, TablesCopiedWithOtherLetterCaseAreFound) {
  for (const char* t : {"zak.dbf", "Pozad.DBF", "DOOD.dbf", "zas.DBF", "ident.dbf"})
    make_table(kontor_.path() + "/" + t, {{"A", 'C', 1, 0}}, {});
  window_.set_text("WKAM", kontor_.path());
  EXPECT_TRUE(sdi_.KontrolaKam());
}

TEST_F(MainWindow, BrowsingPutsTheFolderIntoTheFieldAndChecksIt) {
  make_kontor(kontor_.path(), {"ZAS.DBF"});
  window_.folders.push_back(kontor_.path());
  window_.set_text("WKAM", "before");
  sdi_.TLKAM();
  ASSERT_EQ(window_.boxes.size(), 2u);
  EXPECT_EQ(window_.boxes[0].kind, ui::BoxRecord::Kind::kFolder);
  EXPECT_EQ(window_.boxes[0].text, "Pro zálohu dat");
  EXPECT_EQ(window_.text("WKAM"), kontor_.path()) << "as the dialog gave it";
  EXPECT_EQ(window_.boxes[1].text, kNotThere);
  EXPECT_EQ(data::target_folder(), kontor_.path() + sep());
  // Cancelled: nothing changes, no check.
  data::set_target_folder("kept");
  sdi_.TLKAM();
  EXPECT_EQ(window_.text("WKAM"), kontor_.path());
  EXPECT_EQ(window_.boxes.size(), 3u);
  EXPECT_EQ(data::target_folder(), data::with_separator("kept"));
}

TEST_F(MainWindow, WorkTablesHaveTheirLayoutsAndOnlyTheHeaderTableIsMadeAnew) {
  sdi_.VytvoreniDB();
  EXPECT_EQ(layout("ESH_HLA.DBF"), expected(app::esh_hla_fields()));
  EXPECT_EQ(layout("ESH_POL.DBF"), expected(app::esh_pol_fields()));
  ASSERT_EQ(layout("ESH_HLA.DBF").size(), 18u);
  EXPECT_EQ(layout("ESH_HLA.DBF")[14], "DOPRVNE N8.2");
  ASSERT_EQ(layout("ESH_POL.DBF").size(), 8u);
  EXPECT_EQ(layout("ESH_POL.DBF")[4], "KUSY N11.3");
  // Older layouts with records left from somewhere else.
  make_table(program_.file("ESH_HLA.DBF"), {{"OLD", 'C', 3, 0}}, {{xbase::Value::text("x")}});
  make_table(program_.file("ESH_POL.DBF"), {{"OLD", 'C', 3, 0}}, {{xbase::Value::text("y")}});
  sdi_.VytvoreniDB();
  EXPECT_EQ(layout("ESH_HLA.DBF"), expected(app::esh_hla_fields()));
  EXPECT_EQ(xbase::DbfTable::open(program_.file("ESH_HLA.DBF"), {})->record_count(), 0u);
  EXPECT_EQ(layout("ESH_POL.DBF"), std::vector<std::string>{"OLD C3.0"}) << "kept as it is";
  EXPECT_EQ(xbase::DbfTable::open(program_.file("ESH_POL.DBF"), {})->record_count(), 1u);
  EXPECT_EQ(open_areas(), 0);
}

TEST_F(MainWindow, PostInitLoadsTheSettingsAddsTheColumnsAndSetsTheReference) {
  settings::Settings s;
  s.kam = "/srv/kontor";
  s.iserv = "http://shop/export";
  s.idir = "ftp://sklad";
  s.log = "login";
  s.hes = "heslo";
  s.nznet = true;
  s.znb = true;
  s.pocdnu = 5;
  ASSERT_TRUE(settings::save_settings(s));
  data::set_target_folder("unchanged");
  sdi_.Init();
  sdi_.PostInit();
  EXPECT_EQ(window_.text("WKAM"), "/srv/kontor");
  EXPECT_EQ(window_.text("WISERV"), "http://shop/export");
  EXPECT_EQ(window_.text("IDIR"), "ftp://sklad");
  EXPECT_EQ(window_.text("LOG"), "login");
  EXPECT_EQ(window_.text("HES"), "heslo");
  EXPECT_FALSE(window_.checked("NZAS"));
  EXPECT_TRUE(window_.checked("NZNET"));
  EXPECT_TRUE(window_.checked("ZALOZKARTU"));
  EXPECT_EQ(window_.text("POCDNU"), "5");
  EXPECT_EQ(sdi_.PocetDnu(), 5);
  EXPECT_EQ(data::target_folder(), data::with_separator("unchanged")) << "a load sets no folder";
  ASSERT_EQ(window_.columns.size(), 2u);
  EXPECT_EQ(window_.columns[0].name, "CFA");
  EXPECT_EQ(window_.columns[0].heading, "Č.objednávky");
  EXPECT_EQ(window_.columns[0].width_chars, 9);
  EXPECT_EQ(window_.columns[1].name, "CHYBA");
  EXPECT_EQ(window_.columns[1].heading, "Popis chyby");
  EXPECT_EQ(window_.columns[1].width_chars, 16);
  EXPECT_EQ(ui::main_window(), &window_);
  EXPECT_EQ(window_.text_limit("WKAM"), 60);
  EXPECT_EQ(window_.text_limit("WISERV"), 128);
  EXPECT_EQ(window_.text_limit("HES"), 30);
  EXPECT_EQ(window_.text_limit("POCDNU"), 2);
}

TEST_F(MainWindow, WithoutASettingsTableTheControlsKeepTheirTemplateState) {
  sdi_.PostInit();
  EXPECT_EQ(window_.text("WKAM"), "");
  EXPECT_EQ(window_.text("POCDNU"), "");
  EXPECT_EQ(sdi_.PocetDnu(), 0) << "an empty days field counts as 0";
  EXPECT_FALSE(window_.checked("NZAS"));
  EXPECT_FALSE(window_.visible("FTPRO"));
  EXPECT_EQ(window_.text("FTPOCO"), "0");
  EXPECT_TRUE(window_.boxes.empty());
  EXPECT_FALSE(xbase::file_system().exists(program_.file("ESH_NAS.DBF")));
}

TEST_F(MainWindow, SavingStoresTheControlsAsTheyStand) {
  window_.set_text("WKAM", "C:\\DATA");
  window_.set_text("WISERV", "  http://shop/x  ");
  window_.set_text("HES", "Heslo123");
  window_.set_checked("NZAS", true);
  window_.set_text("POCDNU", "");
  ASSERT_TRUE(sdi_.Click("ulozit"));
  EXPECT_TRUE(window_.boxes.empty()) << "no message confirms the save";
  auto back = settings::load_settings();
  ASSERT_TRUE(back);
  EXPECT_EQ(back->kam, "C:\\DATA");
  EXPECT_EQ(back->iserv, "  http://shop/x") << "written as held; the load removes trailing blanks";
  EXPECT_EQ(back->hes, "Heslo123");
  EXPECT_TRUE(back->nzas);
  EXPECT_EQ(back->pocdnu, 0);
  window_.set_text("POCDNU", "42");
  sdi_.Ulozit();
  EXPECT_EQ(settings::load_settings()->pocdnu, 42);
}

TEST_F(MainWindow, TheButtonRuleAndTheDefaultErrorHandling) {
  std::vector<std::string> reported;
  data::set_error_reporter([&](const std::exception& e) { reported.push_back(e.what()); });
  EXPECT_TRUE(sdi_.Click("EndDialog"));
  EXPECT_TRUE(sdi_.ended());
  EXPECT_FALSE(sdi_.Click("NOSUCH"));
  window_.folders.push_back("");
  EXPECT_TRUE(sdi_.Click("tlkam"));
  EXPECT_EQ(window_.boxes.back().kind, ui::BoxRecord::Kind::kFolder);
  // A settings table of another layout: the table layer's error reaches the reporter and
  // the window goes on.
  make_table(program_.file("ESH_NAS.DBF"), {{"TYPF", 'N', 2, 0}}, {{xbase::Value::number(1)}});
  EXPECT_TRUE(sdi_.Click("ULOZIT"));
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_NE(reported[0].find("KAM"), std::string::npos) << reported[0];
  EXPECT_EQ(open_areas(), 0) << "the failed save left no table open";
  reported.clear();
  EXPECT_TRUE(sdi_.Guarded([] {})) << "nothing to report";
  EXPECT_TRUE(reported.empty());
  EXPECT_FALSE(
      sdi_.Guarded([] { throw xbase::TableError(xbase::kErrCorruption, 0, "F.DBF", "bad"); }));
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0], "F.DBF: bad");
}

TEST(ZapZnak, TheDaysFieldHoldsANumberOfAtMostTwoDigits) {
  EXPECT_EQ(app::ZAP_ZNAK::kType, 'N');
  EXPECT_EQ(app::ZAP_ZNAK::kLength, 2);
  EXPECT_EQ(app::ZAP_ZNAK::kDecimals, 0);
  EXPECT_EQ(app::ZAP_ZNAK::value_of(""), 0);
  EXPECT_EQ(app::ZAP_ZNAK::value_of("7"), 7);
  EXPECT_EQ(app::ZAP_ZNAK::value_of(" 30"), 30);
  EXPECT_EQ(app::ZAP_ZNAK::value_of("1x"), 1);
  EXPECT_EQ(app::ZAP_ZNAK::text_of(0), "0");
  EXPECT_EQ(app::ZAP_ZNAK::text_of(14), "14");
}

TEST(ProgramFolder, IsTheFolderOfTheRunningProgram) {
  std::string dir = app::executable_folder();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), data::path_separator());
#ifdef _WIN32
  EXPECT_TRUE(xbase::file_system().exists(dir + "core_tests.exe"));
#else
  EXPECT_TRUE(xbase::file_system().exists(dir + "core_tests"));
#endif
}

}  // namespace
