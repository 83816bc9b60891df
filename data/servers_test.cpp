// Pozad and Zas on copies of the fixture folders: the index files attached in order (all,
// one missing, none, a damaged one), the controlling order and the first record, the fixed
// file and driver, the sharing modes, field specifications, bindings and accessors.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "data/data_test_support.h"
#include "data/pozad.h"
#include "data/shared_access.h"
#include "data/zas.h"
#include "platform/table/table_error.h"

namespace {

using data::IndexAttach;
using data::Pozad;
using data::Zas;
using xbase::Value;

// What the engine that wrote a fixture sees: the deleted records of a table and, for one
// index, the record of its first key.
class FixtureFacts {
 public:
  explicit FixtureFacts(const std::string& folder)
      : records_(testutil::read_text(testutil::fixture(folder) + "/_records.txt")),
        keys_(testutil::read_text(testutil::fixture(folder) + "/_keys.txt")) {}

  std::set<uint32_t> deleted(const std::string& table) const {
    std::set<uint32_t> out;
    std::istringstream in(testutil::fixture_section(records_, table + " "));
    std::string line;
    while (std::getline(in, line)) {
      size_t bar = line.find('|');
      if (line.rfind("##", 0) == 0 || bar == std::string::npos) continue;
      if (line.compare(bar + 1, 1, "*") == 0) out.insert(std::stoul(line.substr(0, bar)));
    }
    return out;
  }
  // The first record in index order that is not deleted.
  uint32_t first_visible(const std::string& table, const std::string& file_tag) const {
    std::set<uint32_t> gone = deleted(table);
    std::istringstream in(testutil::fixture_section(keys_, table + " " + file_tag + " "));
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind("##", 0) == 0) continue;
      uint32_t recno = std::stoul(line.substr(line.rfind('|') + 1));
      if (!gone.count(recno)) return recno;
    }
    return 0;
  }
  uint32_t first_visible_physical(const std::string& table) const {
    std::set<uint32_t> gone = deleted(table);
    uint32_t r = 1;
    while (gone.count(r)) ++r;
    return r;
  }

 private:
  std::string records_;
  std::string keys_;
};

std::vector<std::string> tags(xbase::DbServer& s) {
  std::vector<std::string> out;
  for (size_t i = 1; i <= s.order_count(); ++i) out.push_back(s.table()->order(i)->tag_name());
  return out;
}

class Servers : public datatest::DataTest {
 protected:
  void use_fixture(const std::string& folder) {
    folder_ = folder;
    testutil::copy_fixture(folder, target_.path());
  }
  void remove(const std::string& file) {
    ASSERT_TRUE(std::filesystem::remove(target_.file(file))) << file;
  }
  FixtureFacts facts() const { return FixtureFacts(folder_); }
  std::string folder_;
};

// A write accessor exists for every field but POCUZ and KONUZ.
template <class T>
concept WritesPocuz = requires(T t, Value v) {
  t.POCUZ(v);
};
template <class T>
concept WritesKonuz = requires(T t, Value v) {
  t.KONUZ(v);
};
template <class T>
concept WritesTeruk = requires(T t, Value v) {
  t.TERUK(v);
};
static_assert(!WritesPocuz<Pozad> && !WritesKonuz<Pozad> && WritesTeruk<Pozad>);

TEST_F(Servers, PozadAttachesAllFiveIndexFilesInOrder) {
  use_fixture("small-mixed-bin-s1");
  Pozad p("", false, false);
  ASSERT_TRUE(p.status().empty()) << p.status().description;
  EXPECT_EQ(tags(p), (std::vector<std::string>{"IPOZZ", "IPOZF", "IPOZC", "IPOCF", "IPOZR"}));
  EXPECT_EQ(p.table()->order_number(), 1u);
  EXPECT_EQ(p.recno(), facts().first_visible("POZAD.DBF", "IPOZZ.CDX:IPOZZ"));
  EXPECT_EQ(p.driver(), "DBFCDX");
  EXPECT_EQ(p.label().name, "POZAD");
  EXPECT_EQ(p.label().caption, "Pozad");
  EXPECT_EQ(p.label().description, "");
  EXPECT_EQ(p.label().help_context, "Pozad");
  for (const IndexAttach& a : p.index_attach()) EXPECT_EQ(a.result, IndexAttach::Result::kAttached);
}

TEST_F(Servers, PozadWithoutItsFirstIndexFileShiftsTheOrders) {
  use_fixture("small-mixed-bin-s1");
  remove("IPOZZ.CDX");
  Pozad p("", false, false);
  ASSERT_TRUE(p.status().empty());
  EXPECT_EQ(tags(p), (std::vector<std::string>{"IPOZF", "IPOZC", "IPOCF", "IPOZR"}));
  EXPECT_EQ(p.table()->order_number(), 1u);
  EXPECT_EQ(p.recno(), facts().first_visible("POZAD.DBF", "IPOZF.CDX:IPOZF"));
  EXPECT_EQ(p.index_attach()[0].result, IndexAttach::Result::kMissing);
}

TEST_F(Servers, PozadWithoutIndexFilesStandsOnTheFirstRecord) {
  use_fixture("small-incr-bin-s2");
  for (const auto& e : Pozad::IndexList()) remove(e.file);
  Pozad p("", false, false);
  ASSERT_TRUE(p.status().empty());
  EXPECT_EQ(p.order_count(), 0u);
  EXPECT_EQ(p.table()->order_number(), 0u);
  EXPECT_EQ(p.recno(), facts().first_visible_physical("POZAD.DBF"));
}

// A damaged index file that exists would be left without the keys of every append: the open
// fails with the layer's description and the table is not left open.
TEST_F(Servers, ADamagedIndexFileFailsTheServersOpen) {
  use_fixture("small-mixed-bin-s1");
  testutil::write_file(target_.file("IPOZC.CDX"), std::vector<char>(700, '\x7f'));
  testutil::write_file(target_.file("Smater.cdx"), std::vector<char>(1536, '\x01'));
  Pozad p("", false, false);
  EXPECT_EQ(p.status().caption, "21");
  EXPECT_NE(p.status().description.find("IPOZC"), std::string::npos) << p.status().description;
  EXPECT_EQ(p.index_attach()[2].result, IndexAttach::Result::kFailed);
  Zas z("", false, false);
  EXPECT_NE(z.status().description.find("Smater"), std::string::npos) << z.status().description;
  EXPECT_EQ(z.index_attach()[6].result, IndexAttach::Result::kFailed);
}

TEST_F(Servers, PozadIgnoresTheFileNameAndDriverItIsGiven) {
  use_fixture("small-alt-bin-s12");
  Pozad p("ZAK.DBF", false, false, "DBFNTX");
  ASSERT_TRUE(p.status().empty());
  EXPECT_EQ(xbase::path_basename(p.path()), "POZAD.DBF");
  EXPECT_EQ(p.driver(), "DBFCDX");
  EXPECT_GE(p.table()->field_index("IDPROD"), 0);
  EXPECT_EQ(p.order_count(), 5u);
}

TEST_F(Servers, PozadFindsItsFilesWhateverTheirLetterCase) {
  use_fixture("small-mixed-bin-s1");
  std::filesystem::rename(target_.file("POZAD.DBF"), target_.file("PoZad.Dbf"));
  std::filesystem::rename(target_.file("IPOZZ.CDX"), target_.file("ipozz.cdx"));
  Pozad p("", false, false);
  ASSERT_TRUE(p.status().empty());
  EXPECT_EQ(p.order_count(), 5u);
  EXPECT_EQ(tags(p)[0], "IPOZZ");
}

TEST_F(Servers, SharingModeFollowsTheArgumentOrTheGlobalDefault) {
  use_fixture("small-mixed-bin-s1");
  {
    Pozad p;  // global exclusive off: shared
    EXPECT_TRUE(p.lSharedMode());
    EXPECT_FALSE(p.lReadOnlyMode());
    EXPECT_FALSE(p.table()->exclusive());
    Zas z;
    EXPECT_TRUE(z.lSharedMode());
    EXPECT_FALSE(z.table()->exclusive());
  }
  xbase::table_settings().exclusive = true;
  {
    Pozad p;
    EXPECT_FALSE(p.lSharedMode());
    EXPECT_TRUE(p.table()->exclusive());
  }
  {
    Zas z("", std::nullopt, true);
    EXPECT_FALSE(z.lSharedMode());
    EXPECT_TRUE(z.lReadOnlyMode());
    EXPECT_TRUE(z.table()->exclusive());
    EXPECT_TRUE(z.table()->read_only());
  }
  {
    Zas z("", true, false);  // the argument wins over the global default
    EXPECT_TRUE(z.lSharedMode());
    EXPECT_FALSE(z.table()->exclusive());
  }
}

TEST_F(Servers, AHeldTableGivesTheWarningAndNoServer) {
  use_fixture("small-mixed-bin-s1");
  auto h1 = hold(target_.file("POZAD.DBF"), xbase::ShareMode::kExclusive);
  auto h2 = hold(target_.file("ZAS.DBF"), xbase::ShareMode::kExclusive);
  {
    Pozad p("", true, false);
    EXPECT_EQ(p.status().caption, "21");
    EXPECT_FALSE(p.used());
    EXPECT_TRUE(p.index_attach().empty());
  }
  EXPECT_FALSE(data::OPSERVER("POZAD", false, false));
  EXPECT_FALSE(data::OPSERVER("ZAS", false, false));
  ASSERT_EQ(window_.boxes.size(), 2u);
  EXPECT_EQ(window_.boxes[0].text, datatest::exclusive_warning("POZAD"));
  EXPECT_EQ(window_.boxes[1].text, datatest::exclusive_warning("ZAS"));
  EXPECT_EQ(open_areas(), 0);
}

TEST_F(Servers, ZasAttachesAllSevenIndexFilesInOrder) {
  use_fixture("small-mixed-bin-s1");
  Zas z("", false, false);
  ASSERT_TRUE(z.status().empty()) << z.status().description;
  EXPECT_EQ(tags(z), (std::vector<std::string>{"MATER", "ICZAS", "ISKP", "IEAN", "IPDOD", "IDRZAS",
                                               "SMATER"}));
  EXPECT_EQ(z.table()->order_number(), 1u);
  EXPECT_EQ(z.recno(), facts().first_visible("ZAS.DBF", "Mater.cdx:Mater"));
  EXPECT_EQ(z.driver(), "DBFCDX");
  EXPECT_EQ(z.label().name, "ZAS");
  EXPECT_EQ(z.label().caption, "ZAS");
  EXPECT_EQ(z.label().help_context, "ZAS");
  // Order 2 is the item number: a seek finds a stock card by CIPO.
  ASSERT_TRUE(z.set_order(2));
  std::string cipo = z.CIPO().str();
  z.go_top();
  EXPECT_TRUE(z.seek(Value::text(cipo)));
}

TEST_F(Servers, ZasWithoutMaterShiftsTheOrders) {
  use_fixture("small-mixed-cs852-s5");
  remove("Mater.cdx");
  Zas z("", false, false);
  ASSERT_TRUE(z.status().empty());
  EXPECT_EQ(tags(z)[0], "ICZAS");
  EXPECT_EQ(tags(z)[1], "ISKP");
  EXPECT_EQ(z.order_count(), 6u);
  EXPECT_EQ(z.table()->order_number(), 1u);
  EXPECT_EQ(z.recno(), facts().first_visible("ZAS.DBF", "Iczas.cdx:Iczas"));
}

TEST_F(Servers, ZasWithoutIndexFilesSelectsNoOrder) {
  use_fixture("small-mixed-bin-s1");
  for (const auto& e : Zas::IndexList()) remove(e.file);
  Zas z("", false, false);
  ASSERT_TRUE(z.status().empty());
  EXPECT_EQ(z.order_count(), 0u);
  EXPECT_EQ(z.table()->order_number(), 0u);
  EXPECT_EQ(z.recno(), facts().first_visible_physical("ZAS.DBF"));
  for (const IndexAttach& a : z.index_attach()) EXPECT_EQ(a.result, IndexAttach::Result::kMissing);
}

TEST_F(Servers, ZasIgnoresTheFileNameAndDriverAndBindsCipo) {
  use_fixture("small-alt-bin-s12");  // OZNM before CIPO here
  Zas z("POZAD.DBF", false, false, "DBFNTX");
  ASSERT_TRUE(z.status().empty());
  EXPECT_EQ(xbase::path_basename(z.path()), "ZAS.DBF");
  EXPECT_EQ(z.driver(), "DBFCDX");
  EXPECT_EQ(z.order_count(), 7u);
  ASSERT_EQ(z.bindings().size(), 1u);
  EXPECT_EQ(z.bindings()[0].position, 2);
  EXPECT_EQ(z.bindings()[0].symbol, "CIPO");
  EXPECT_EQ(z.bindings()[0].alias, "");
  ASSERT_NE(z.field_spec("cipo"), nullptr);
  EXPECT_EQ(z.field_spec("CIPO")->caption, "Č.položky");
  EXPECT_EQ(z.field_spec("OZNM"), nullptr);
}

TEST_F(Servers, ZasNeedsItsCipoField) {
  make_table(target_.file("ZAS.DBF"), {{"OZNM", 'C', 40, 0}}, {{Value::text("x")}});
  EXPECT_THROW(Zas("", false, false), xbase::TableError);
  EXPECT_EQ(open_areas(), 0);
}

TEST_F(Servers, PozadAccessorsReadAndWriteTheirFields) {
  use_fixture("small-mixed-bin-s1");
  Pozad p("", false, false);
  const auto& acc = Pozad::accessors();
  ASSERT_EQ(acc.size(), 22u);
  std::vector<std::string> read_only;
  for (const auto& a : acc) {
    if (!a.put) read_only.push_back(a.name);
    Value got = (p.*a.get)();
    Value direct = p.field_get(a.name);
    ASSERT_EQ(got.type(), direct.type()) << a.name;
    EXPECT_EQ(got.str(), direct.str()) << a.name;
    EXPECT_EQ(got.num(), direct.num()) << a.name;
    EXPECT_EQ(got.date_value().jdn, direct.date_value().jdn) << a.name;
  }
  EXPECT_EQ(read_only, (std::vector<std::string>{"POCUZ", "KONUZ"}));
  EXPECT_STREQ(acc.front().name, "CZAK");
  EXPECT_STREQ(acc.back().name, "TERUK");
  p.append();
  EXPECT_EQ(p.CZAK(Value::number(2025000042)).num(), 2025000042);
  p.OZN(Value::text("Hřebík"));
  p.TERUK(Value::date(xbase::Date::from_ymd(2025, 3, 4)));
  EXPECT_EQ(p.field_get("CZAK").num(), 2025000042);
  EXPECT_EQ(p.OZN().str().substr(0, 8), "Hřebík");
  EXPECT_EQ(p.field_get("TERUK").date_value().dtos(), "20250304");
}

TEST_F(Servers, ZasAccessorsAreAllWritable) {
  use_fixture("small-mixed-bin-s1");
  Zas z("", false, false);
  const auto& acc = Zas::accessors();
  ASSERT_EQ(acc.size(), 31u);
  EXPECT_STREQ(acc.front().name, "CIPO");
  EXPECT_STREQ(acc.back().name, "VYRC");
  for (const auto& a : acc) {
    EXPECT_NE(a.put, nullptr) << a.name;
    EXPECT_EQ((z.*a.get)().str(), z.field_get(a.name).str()) << a.name;
  }
  z.append();
  z.CIPO(Value::text("NOVA-1"));
  z.PRAB1(Value::number(12.5));
  EXPECT_EQ(z.field_get("CIPO").str().substr(0, 6), "NOVA-1");
  EXPECT_EQ(z.PRAB1().num(), 12.5);
}

TEST(FieldSpecifications, CarryTheirDeclarations) {
  struct Expect {
    data::FieldSpecification declared;
    const char *name, *caption, *description;
    char type;
    int length, decimals;
    bool required;
  } cases[] = {
      {data::POZAD_CZAK(), "CZAK", "", "", 'N', 10, 0, false},
      {data::POZAD_ZN(), "ZN", "", "", 'N', 1, 0, false},
      {data::ZAS_CIPO(), "CIPO", "Č.položky", "", 'C', 12, 0, false},
      {data::ZAS_OZNM(), "OZNM", "Název", "Název-popis skl.položky", 'C', 40, 0, true},
      {data::ZAS_KUSYM(), "KUSYM", "Množství", "", 'N', 11, 3, false},
      {data::ZAS_JED(), "JED", "", "", 'C', 5, 0, false},
      {data::ZAS_PRAB1(), "PRAB1", "", "", 'N', 6, 2, false},
      {data::ZAS_HMOT(), "HMOT", "Hmotnost", "", 'N', 8, 3, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.declared.name, c.name);
    EXPECT_EQ(c.declared.caption, c.caption) << c.name;
    EXPECT_EQ(c.declared.description, c.description) << c.name;
    EXPECT_EQ(c.declared.type, c.type) << c.name;
    EXPECT_EQ(c.declared.length, c.length) << c.name;
    EXPECT_EQ(c.declared.decimals, c.decimals) << c.name;
    EXPECT_EQ(c.declared.required, c.required) << c.name;
    // Only a required field refuses an empty value.
    EXPECT_EQ(c.declared.check(Value()).empty(), !c.required) << c.name;
  }
}

TEST(FieldSpecifications, TheRequiredNameRefusesEmptyText) {
  data::FieldSpecification oznm = data::ZAS_OZNM();
  EXPECT_EQ(oznm.check(Value::text("")), "Název musí být zadán");
  EXPECT_EQ(oznm.check(Value::text("     ")), "Název musí být zadán");
  EXPECT_EQ(oznm.check(Value::text("Šroub M8")), "");
  EXPECT_EQ(data::ZAS_CIPO().check(Value::text("")), "");
}

}  // namespace
