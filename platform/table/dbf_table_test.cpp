// Tables we create: field conversion, navigation, the deleted filter, zap, and a reader of
// another make (Debian's python3-dbf) reading what we wrote.
#include "platform/table/dbf_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "platform/table/settings.h"
#include "platform/table/table_error.h"
#include "tests/support/test_util.h"

namespace {

using namespace xbase;

// POZN is wider than 255 by default: Clipper's long character field.
std::vector<FieldSpec> sample_fields(int pozn_width = 300) {
  return {{"NAZEV", 'C', 20, 0}, {"CENA", 'N', 10, 2}, {"POCET", 'N', 5, 0},
          {"DATUM", 'D', 8, 0},  {"AKTIV", 'L', 1, 0}, {"POZN", 'C', pozn_width, 0}};
}

struct Row {
  std::string nazev;
  double cena;
  double pocet;
  Date datum;
  bool aktiv;
  std::string pozn;
};

std::vector<Row> sample_rows() {
  return {
      {"Žluťoučký kůň", 1234.5, 3, Date::from_ymd(2024, 2, 29), true, "úpěl ďábelské ódy"},
      {"Příliš dlouhý název, který se nevejde", -99.99, -7, Date{}, false, std::string(310, 'x')},
      {"", 0, 0, Date::from_ymd(1999, 12, 31), false, ""},
      {"ŠŤĚPÁN ŘÍHA", 0.005, 99999, Date::from_ymd(2000, 1, 1), true, "ą€œ"},
  };
}

void fill(DbfTable& t) {
  for (const Row& r : sample_rows()) {
    t.append_blank();
    t.put("NAZEV", Value::text(r.nazev));
    t.put("CENA", Value::number(r.cena));
    t.put("POCET", Value::number(r.pocet));
    t.put("DATUM", Value::date(r.datum));
    t.put("AKTIV", Value::logical(r.aktiv));
    t.put("POZN", Value::text(r.pozn));
  }
}

class TableTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = table_settings(); }
  void TearDown() override { table_settings() = saved_; }
  std::unique_ptr<DbfTable> make(const std::string& name = "T.DBF", int pozn_width = 300) {
    auto t = DbfTable::create(dir_.file(name), sample_fields(pozn_width), {});
    fill(*t);
    t->close();
    TableOpenOptions o;
    o.share = ShareMode::kExclusive;
    return DbfTable::open(dir_.file(name), o);
  }
  testutil::TempDir dir_;
  TableSettings saved_;
};

TEST_F(TableTest, ValuesAreConvertedAndCutToTheFields) {
  auto t = make();
  ASSERT_EQ(t->record_count(), 4u);
  t->go_to(1);
  EXPECT_EQ(t->get("NAZEV").str(), "Žluťoučký kůň       ");
  EXPECT_EQ(t->raw_bytes(t->field_index("CENA")), "   1234.50");
  EXPECT_EQ(t->get("DATUM").date_value().dtos(), "20240229");
  EXPECT_TRUE(t->get("AKTIV").log());
  t->go_to(2);
  EXPECT_EQ(t->get("NAZEV").str(), "Příliš dlouhý název,");  // cut to 20 characters
  EXPECT_EQ(t->raw_bytes(t->field_index("CENA")), "    -99.99");
  EXPECT_EQ(t->raw_bytes(t->field_index("POCET")), "   -7");
  EXPECT_TRUE(t->get("DATUM").date_value().empty());
  EXPECT_EQ(t->raw_bytes(t->field_index("DATUM")), "        ");
  EXPECT_EQ(t->get_text("POZN"), std::string(300, 'x'));  // a Clipper-wide character field
  t->go_to(4);
  EXPECT_EQ(t->raw_bytes(t->field_index("CENA")), "      0.01");  // half away from zero
  EXPECT_EQ(t->get_text("NAZEV"), "ŠŤĚPÁN ŘÍHA");
  // A character that CP852 lacks becomes '?'.
  EXPECT_EQ(t->get_text("POZN"), "ą??");
}

TEST_F(TableTest, BadValuesAreRefusedAndLeaveTheFieldAsItWas) {
  auto t = make();
  t->go_to(1);
  try {
    t->put("POCET", Value::number(123456));
    FAIL() << "an overflowing number was accepted";
  } catch (const TableError& e) {
    EXPECT_EQ(e.generic(), kErrDataWidth);
    EXPECT_NE(std::string(e.what()).find("POCET"), std::string::npos);
  }
  EXPECT_EQ(t->get("POCET").num(), 3);
  EXPECT_THROW(t->put("CENA", Value::text("12")), TableError);
  EXPECT_THROW(t->put("NEEXISTUJE", Value::text("x")), TableError);
  EXPECT_EQ(t->get("cena").num(), 1234.5);  // names compare without regard to case
}

TEST_F(TableTest, DeletedFilterHidesDeletedRecordsFromNavigation) {
  auto t = make();
  t->go_to(1);
  t->set_deleted(true);
  t->go_to(3);
  t->set_deleted(true);
  t->commit();
  table_settings().deleted_hidden = true;
  t->go_top();
  EXPECT_EQ(t->recno(), 2u);
  t->skip();
  EXPECT_EQ(t->recno(), 4u);
  t->skip();
  EXPECT_TRUE(t->eof());
  EXPECT_EQ(t->recno(), 5u);
  t->go_bottom();
  EXPECT_EQ(t->recno(), 4u);
  t->skip(-1);
  EXPECT_EQ(t->recno(), 2u);
  t->skip(-1);
  EXPECT_TRUE(t->bof());
  EXPECT_EQ(t->recno(), 2u);
  t->go_to(3);  // goto reaches a deleted record all the same
  EXPECT_TRUE(t->deleted());
  table_settings().deleted_hidden = false;
  t->go_top();
  EXPECT_EQ(t->recno(), 1u);
  EXPECT_TRUE(t->deleted());
}

TEST_F(TableTest, EmptyTableIsAtBothEnds) {
  auto t = DbfTable::create(dir_.file("E.DBF"), sample_fields(), {});
  EXPECT_EQ(t->record_count(), 0u);
  EXPECT_TRUE(t->eof());
  EXPECT_TRUE(t->bof());
  t->go_bottom();
  EXPECT_TRUE(t->eof());
  t->skip(-1);
  EXPECT_TRUE(t->bof());
  EXPECT_THROW(t->put("NAZEV", Value::text("x")), TableError);
}

TEST_F(TableTest, ZapEmptiesAndAppendStartsAgainAtOne) {
  auto t = make();
  t->zap();
  EXPECT_EQ(t->record_count(), 0u);
  t->append_blank();
  EXPECT_EQ(t->recno(), 1u);
  t->put("NAZEV", Value::text("znovu"));
  t->close();
  auto r = DbfTable::open(dir_.file("T.DBF"), {});
  EXPECT_EQ(r->record_count(), 1u);
  EXPECT_EQ(r->get_text("NAZEV"), "znovu");
  EXPECT_EQ(testutil::read_file(dir_.file("T.DBF")).size(),
            r->header().header_length + r->header().record_length + 1u);
}

TEST_F(TableTest, ZapNeedsExclusiveUse) {
  make()->close();
  auto t = DbfTable::open(dir_.file("T.DBF"), {});
  EXPECT_THROW(t->zap(), TableError);
  EXPECT_EQ(t->record_count(), 4u);
}

TEST_F(TableTest, ReadOnlyTableRefusesWrites) {
  make()->close();
  std::vector<char> before = testutil::read_file(dir_.file("T.DBF"));
  TableOpenOptions o;
  o.read_only = true;
  auto t = DbfTable::open(dir_.file("T.DBF"), o);
  EXPECT_THROW(t->put("NAZEV", Value::text("x")), TableError);
  EXPECT_THROW(t->append_blank(), TableError);
  t->close();
  EXPECT_EQ(testutil::read_file(dir_.file("T.DBF")), before);
}

// The header of a new table as the standard engines write it.
TEST_F(TableTest, CreatedHeaderIsPlainDbaseThree) {
  make()->close();
  std::vector<char> b = testutil::read_file(dir_.file("T.DBF"));
  ASSERT_GT(b.size(), 32u);
  EXPECT_EQ(static_cast<unsigned char>(b[0]), 0x03);
  EXPECT_EQ(static_cast<unsigned char>(b[4]), 4);  // record count
  size_t hl = static_cast<unsigned char>(b[8]) | (static_cast<unsigned char>(b[9]) << 8);
  EXPECT_EQ(hl, 32u + 32u * 6u + 2u);
  EXPECT_EQ(b[32 + 32 * 6], 0x0D);
  size_t rl = static_cast<unsigned char>(b[10]) | (static_cast<unsigned char>(b[11]) << 8);
  EXPECT_EQ(rl, 1u + 20 + 10 + 5 + 8 + 1 + 300);
  // The 300-wide character field keeps its high length byte in the decimals byte.
  EXPECT_EQ(static_cast<unsigned char>(b[32 + 32 * 5 + 16]), 300 % 256);
  EXPECT_EQ(static_cast<unsigned char>(b[32 + 32 * 5 + 17]), 1);
  EXPECT_EQ(b.size(), hl + 4 * rl + 1);
  EXPECT_EQ(b.back(), 0x1A);
}

bool have_python_dbf() {
  int status = 0;
  testutil::run_command("/usr/bin/python3 -c 'import dbf' 2>/dev/null", &status);
  return status == 0;
}

// Another reader sees our tables: python3-dbf, told the code page, reads every value back.
// (It reads byte 17 of a character field as decimals, so Clipper's wide fields are left out.)
TEST_F(TableTest, PythonDbfReadsWhatWeWrote) {
#ifdef _WIN32
  GTEST_SKIP() << "the peer reader is a Linux program";
#endif
  if (!have_python_dbf()) {
    if (std::getenv("CI")) FAIL() << "python3-dbf is missing (scripts/setup.sh installs it)";
    GTEST_SKIP() << "python3-dbf not installed";
  }
  make("T.DBF", 250)->close();
  std::string script = dir_.file("read.py");
  std::ofstream(script)
      << "import dbf, sys\n"
         "t = dbf.Table(sys.argv[1], codepage='cp852')\n"
         "t.open(dbf.READ_ONLY)\n"
         "for r in t:\n"
         "    d = r.datum\n"
         "    ds = d.strftime('%Y%m%d') if d else ''\n"
         "    sys.stdout.buffer.write(('%s|%.2f|%d|%s|%s|%d\\n' % (r.nazev.rstrip(),"
         " r.cena, r.pocet, ds, r.aktiv, len(r.pozn.rstrip()))).encode('utf-8'))\n";
  int status = 0;
  std::string out =
      testutil::run_command("/usr/bin/python3 " + script + " " + dir_.file("T.DBF"), &status);
  ASSERT_EQ(status, 0) << out;
  EXPECT_EQ(out,
            "Žluťoučký kůň|1234.50|3|20240229|True|17\n"
            "Příliš dlouhý název,|-99.99|-7||False|250\n"
            "|0.00|0|19991231|False|0\n"
            "ŠŤĚPÁN ŘÍHA|0.01|99999|20000101|True|3\n");
}

}  // namespace

namespace xbase {
namespace {

// An error passed up from the file layer names its file once, with the file layer's words.
TEST(TableErrorText, NamesTheFileOnce) {
  testutil::TempDir dir;
  std::string missing = dir.file("CHYBI.DBF");
  try {
    DbfTable::open(missing, {});
    FAIL() << "a missing table was opened";
  } catch (const TableError& e) {
    std::string what = e.what();
    EXPECT_EQ(what.find(missing), 0u) << what;
    EXPECT_EQ(what.find(missing, 1), std::string::npos) << what;
  }
  EXPECT_STREQ(TableError(kErrCorruption, 0, "A.NTX", "page 3 damaged").what(),
               "A.NTX: page 3 damaged");
  EXPECT_STREQ(TableError(kErrCorruption, 0, "A.NTX", "A.NTX: page 3 damaged").what(),
               "A.NTX: page 3 damaged");
  EXPECT_STREQ(TableError(kErrCorruption, 0, "", "no file").what(), "no file");
}

}  // namespace
}  // namespace xbase
