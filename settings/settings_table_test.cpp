// ESH_NAS.DBF: the nine used fields of record 1, the widths a load cuts to, and the fields
// that belong to other tools left alone.
#include "settings/settings_table.h"

#include <gtest/gtest.h>

#include "data/data_test_support.h"
#include "platform/text/codepage.h"

namespace {

class SettingsTable : public datatest::DataTest {
 protected:
  std::string path() const { return program_.file("ESH_NAS.DBF"); }
  std::unique_ptr<xbase::DbfTable> open_table() {
    xbase::WorkAreas::instance().close_all();
    return xbase::DbfTable::open(path(), {});
  }
  static settings::Settings sample() {
    settings::Settings s;
    s.kam = "/data/Kontor účetnictví";
    s.iserv = "http://shop.example.cz/export.php?x=1";
    s.idir = "ftp.example.cz/sklad";
    s.log = "uživatel";
    s.hes = "tajné heslo";
    s.nzas = true;
    s.nznet = false;
    s.znb = true;
    s.pocdnu = 14;
    return s;
  }
};

TEST_F(SettingsTable, TheFirstSaveCreatesTheTableAndARoundTripKeepsEveryValue) {
  EXPECT_FALSE(settings::load_settings()) << "no table: nothing to load";
  ASSERT_TRUE(settings::save_settings(sample()));
  auto t = open_table();
  ASSERT_EQ(t->field_count(), 27);
  const auto& spec = settings::esh_nas_fields();
  for (int i = 0; i < 27; ++i) {
    const auto& f = t->field_info(i);
    EXPECT_EQ(f.name, spec[static_cast<size_t>(i)].name);
    EXPECT_EQ(f.type, spec[static_cast<size_t>(i)].type) << f.name;
    EXPECT_EQ(f.length, spec[static_cast<size_t>(i)].length) << f.name;
    EXPECT_EQ(f.decimals, 0) << f.name;
  }
  EXPECT_EQ(t->field_info(19).name, "POCDNU");
  EXPECT_EQ(t->field_info(25).name, "ZNB");
  EXPECT_EQ(t->header().version, 0x03) << "a dBase table without memo";
  ASSERT_EQ(t->record_count(), 1u);
  t->go_top();
  EXPECT_EQ(t->get_text("KAM"), "/data/Kontor účetnictví");
  EXPECT_EQ(t->raw_bytes(t->field_index("HES")).substr(0, 11),
            xbase::CodePage::cp852().from_utf8("tajné heslo"))
      << "the password is kept in plain text, in the tables' code page";
  EXPECT_EQ(t->get_text("POCDNU"), "14");
  EXPECT_EQ(t->get_text("NZAS"), "T");
  EXPECT_EQ(t->get_text("NZNET"), "F");
  EXPECT_EQ(t->get_text("ZNB"), "T");
  EXPECT_EQ(t->raw_bytes(t->field_index("PROX")), std::string(128, ' ')) << "unused: blank";
  t.reset();

  auto back = settings::load_settings();
  ASSERT_TRUE(back);
  EXPECT_EQ(back->kam, sample().kam);
  EXPECT_EQ(back->iserv, sample().iserv);
  EXPECT_EQ(back->idir, sample().idir);
  EXPECT_EQ(back->log, sample().log);
  EXPECT_EQ(back->hes, sample().hes);
  EXPECT_TRUE(back->nzas);
  EXPECT_FALSE(back->nznet);
  EXPECT_TRUE(back->znb);
  EXPECT_EQ(back->pocdnu, 14);
  EXPECT_TRUE(window_.boxes.empty());
  EXPECT_EQ(open_areas(), 0) << "the table is open only during a load or a save";
}

TEST_F(SettingsTable, ALaterSaveRewritesRecordOneAndOnlyTheNineFields) {
  ASSERT_TRUE(settings::save_settings(sample()));
  // Another tool fills the fields this program does not use.
  {
    auto t = open_table();
    t->go_top();
    t->put("TYPF", xbase::Value::number(7));
    t->put("PROX", xbase::Value::text("proxy:8080"));
    t->put("HLAV", xbase::Value::text("hlavička"));
    t->put("JHTTP", xbase::Value::logical(true));
    t->put("DATU", xbase::Value::date(xbase::Date::from_ymd(2023, 12, 24)));
    t->put("TIMP", xbase::Value::text("12:30:00"));
    t->put("IDSOUB", xbase::Value::number(123456789));
    t->put("ZNC", xbase::Value::text("AB"));
    t->close();
  }
  auto unused_bytes = [&] {
    auto t = open_table();
    t->go_top();
    std::string all;
    for (int i = 0; i < t->field_count(); ++i) {
      std::string name = t->field_info(i).name;
      if (name != "KAM" && name != "ISERV" && name != "IDIR" && name != "LOG" && name != "HES" &&
          name != "NZAS" && name != "NZNET" && name != "ZNB" && name != "POCDNU")
        all += name + "=" + t->raw_bytes(i) + "|";
    }
    return all;
  };
  std::string before = unused_bytes();
  settings::Settings s;
  s.kam = "D:\\KONTOR";
  s.pocdnu = 0;  // an empty days field counts as 0
  ASSERT_TRUE(settings::save_settings(s));
  EXPECT_EQ(unused_bytes(), before);
  auto t = open_table();
  EXPECT_EQ(t->record_count(), 1u) << "record 1 is overwritten, none appended";
  t->go_top();
  EXPECT_EQ(t->get_text("KAM"), "D:\\KONTOR");
  EXPECT_EQ(t->get_text("ISERV"), "");
  EXPECT_EQ(t->get_text("HES"), "");
  EXPECT_EQ(t->get_text("NZAS"), "F");
  EXPECT_EQ(t->get_text("ZNB"), "F");
  EXPECT_EQ(t->raw_bytes(t->field_index("POCDNU")), "  0");
  EXPECT_NE(before.find("TYPF= 7|"), std::string::npos) << before;
}

TEST_F(SettingsTable, ALoadCutsToTheWidthsOfTheWindowFields) {
  settings::Settings s;
  s.kam = std::string(55, 'k') + "ěščřžýáíé" + "TAIL";  // 68 characters
  s.iserv = "http://" + std::string(121, 'u');          // 128 characters
  s.idir = std::string(59, 'd') + " " + "x";            // the 61st character is cut
  s.log = std::string(30, 'l');
  s.hes = std::string(28, 'h') + "  ";
  ASSERT_TRUE(settings::save_settings(s));
  auto back = settings::load_settings();
  ASSERT_TRUE(back);
  EXPECT_EQ(back->kam, std::string(55, 'k') + "ěščřž");
  EXPECT_EQ(back->iserv, s.iserv) << "an address of 128 characters comes back whole";
  EXPECT_EQ(back->idir, std::string(59, 'd')) << "cut to 60, then the blank removed";
  EXPECT_EQ(back->log, s.log);
  EXPECT_EQ(back->hes, std::string(28, 'h'));
  EXPECT_EQ(settings::cut_text("ab  cd", 4), "ab");
  EXPECT_EQ(settings::cut_text("čřž", 2), "čř");
  EXPECT_EQ(settings::cut_text("", 5), "");
}

TEST_F(SettingsTable, ATableWithoutRecordsLoadsEmptyValuesAndGetsRecordOneOnSave) {
  make_table(path(), settings::esh_nas_fields(), {});
  auto empty = settings::load_settings();
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->kam, "");
  EXPECT_FALSE(empty->nzas);
  EXPECT_EQ(empty->pocdnu, 0);
  ASSERT_TRUE(settings::save_settings(sample()));
  EXPECT_EQ(open_table()->record_count(), 1u);
}

TEST_F(SettingsTable, ADeletedTableIsMadeAnewWithAllFields) {
  ASSERT_TRUE(settings::save_settings(sample()));
  xbase::file_system().remove(path());
  EXPECT_FALSE(settings::load_settings());
  ASSERT_TRUE(settings::save_settings(sample()));
  auto t = open_table();
  EXPECT_EQ(t->field_count(), 27);
  EXPECT_EQ(t->record_count(), 1u);
}

TEST_F(SettingsTable, ATableHeldByAnotherCopyIsNeitherLoadedNorSaved) {
  ASSERT_TRUE(settings::save_settings(sample()));
  auto held = hold(path(), xbase::ShareMode::kShared);
  EXPECT_FALSE(settings::load_settings());
  ASSERT_EQ(window_.boxes.size(), 1u);
  EXPECT_EQ(window_.boxes[0].caption, "Akce odmítnuta!");
  EXPECT_EQ(window_.boxes[0].text, datatest::exclusive_warning(program_.file("ESH_NAS.DBF")));
  settings::Settings other;
  other.kam = "elsewhere";
  EXPECT_FALSE(settings::save_settings(other));
  EXPECT_EQ(window_.boxes.size(), 2u);
  held.reset();
  EXPECT_EQ(settings::load_settings()->kam, sample().kam) << "nothing was stored";
}

}  // namespace
