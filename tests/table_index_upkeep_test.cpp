// Tables with every bag open, on copies of the fixture folders: thousands of appends and
// key-changing writes through the table layer keep every index valid for our check and for
// Debian's Perl reader, and every appended key is found by seek.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <sstream>

#include "platform/index/collation.h"
#include "platform/table/settings.h"
#include "platform/table/work_areas.h"
#include "platform/text/codepage.h"
#include "tests/support/test_util.h"
#include "tools/dbftool_commands.h"

namespace {

using namespace xbase;

class Upkeep : public ::testing::Test {
 public:
  const std::string& dir_path() const { return dir_.path(); }
  DbfTable& open_table(const char* table, const std::vector<const char*>& bags, const char* driver,
                       bool shared) {
    WorkAreas& w = WorkAreas::instance();
    w.select_free();
    UseOptions o;
    o.shared = shared;
    o.driver = driver;
    EXPECT_TRUE(w.use(table, "", o));
    for (const char* b : bags) w.order_list_add(w.current(), b);
    return *w.current_table();
  }

 protected:
  void SetUp() override {
    saved_ = table_settings();
    table_settings().default_folder = dir_.path();
  }
  void TearDown() override {
    WorkAreas::instance().close_all();
    table_settings() = saved_;
  }
  std::string check() {
    WorkAreas::instance().close_all();
    std::ostringstream out, err;
    std::vector<std::string> args = {"check", dir_.path()};
    if (table_settings().collation == &czech_collation()) {
      args.push_back("--collation");
      args.push_back("czech");
    }
    int rc = dbftool::run(args, out, err);
    EXPECT_EQ(rc, 0) << out.str();
    return out.str();
  }
  testutil::TempDir dir_;
  TableSettings saved_;
};

// Appends and rewrites order lines (POZAD, five CDX files) and orders (ZAK, five NTX files).
void churn(DbfTable& pozad, DbfTable& zak, int rounds, unsigned seed,
           std::vector<std::pair<double, std::string>>* appended) {
  std::mt19937 rng(seed);
  auto pick = [&](int n) { return static_cast<uint32_t>(rng() % static_cast<unsigned>(n)) + 1; };
  const char* names[] = {"Šroubek", "ŘEZ", "čep", "Žárovka", "", "Kabel 3x2,5", "ďábel"};
  for (int i = 0; i < rounds; ++i) {
    pozad.append_blank();
    double czak = 2025000000 + i;
    std::string cipo = "NEW-" + std::to_string(i % 97) + names[i % 7];
    pozad.put("CZAK", Value::number(czak));
    pozad.put("CIPO", Value::text(cipo));
    pozad.put("FIRM", Value::number(static_cast<double>(-static_cast<int>(pick(50)))));
    pozad.put("IDPROD", Value::number(i % 9));
    appended->push_back({czak, cipo});
    // A key-changing write on an existing record.
    pozad.go_to(pick(static_cast<int>(pozad.record_count())));
    pozad.put("CIPO", Value::text(std::string(names[pick(7) - 1]) + std::to_string(i)));
    pozad.put("ZN", Value::number(pick(3) - 1));
    zak.append_blank();
    zak.put("CZAK", Value::number(czak));
    zak.put("NAZD", Value::text(std::string(names[i % 7]) + " s.r.o."));
    zak.put("DATO",
            Value::date(i % 5 == 0 ? Date{} : Date::from_ymd(2025, 1 + i % 12, 1 + i % 28)));
    zak.put("FIRM", Value::number(pick(250)));
    zak.go_to(pick(static_cast<int>(zak.record_count())));
    zak.put("NAZ", Value::text(names[pick(7) - 1]));
    if (i % 100 == 0) {
      pozad.commit();
      zak.commit();
    }
  }
}

void upkeep_in(Upkeep& t, const char* folder, bool shared, bool czech) {
  testutil::copy_fixture(folder, t.dir_path());
  if (czech) table_settings().collation = &czech_collation();
  DbfTable& pozad =
      t.open_table("POZAD", {"IPOZZ", "IPOZF", "IPOZC", "IPOCF", "IPOZR"}, "DBFCDX", shared);
  DbfTable& zak =
      t.open_table("ZAK", {"CIZA", "NZAK", "TCIZA", "INAZAK", "ISPZZ"}, "DBFNTX", shared);
  std::vector<std::pair<double, std::string>> appended;
  churn(pozad, zak, 2000, 11, &appended);
  pozad.commit();
  zak.commit();
  // Every appended key is found by seek: order 1 of POZAD (CZAK) and of ZAK (CZAK).
  ASSERT_TRUE(pozad.set_order(1));
  ASSERT_TRUE(zak.set_order(1));
  for (const auto& [czak, cipo] : appended) {
    ASSERT_TRUE(pozad.seek(Value::number(czak))) << czak;
    ASSERT_EQ(pozad.get("CZAK").num(), czak);
    ASSERT_TRUE(zak.seek(Value::number(czak))) << czak;
  }
  ASSERT_TRUE(pozad.set_order(3));  // CIPO: a prefix finds the first of its kind
  ASSERT_TRUE(pozad.seek(Value::text("NEW-1")));
  EXPECT_EQ(pozad.get_text("CIPO").rfind("NEW-1", 0), 0u);
}

TEST_F(Upkeep, ExclusiveChurnKeepsEveryIndexValid) {
  upkeep_in(*this, "small-mixed-bin-s1", false, false);
  std::string report = check();
  EXPECT_NE(report.find("OK POZAD.DBF records=2900"), std::string::npos) << report;
  EXPECT_NE(report.find("OK ZAK.DBF CIZA.NTX:CIZA keys=2300"), std::string::npos) << report;
}

TEST_F(Upkeep, SharedChurnKeepsEveryIndexValid) {
  upkeep_in(*this, "small-incr-bin-s2", true, false);
  check();
}

TEST_F(Upkeep, ChurnUnderTheCzechOrderKeepsItsIndexesValid) {
  upkeep_in(*this, "small-mixed-cs852-s5", false, true);
  check();
}

TEST_F(Upkeep, OtherLayoutsKeepTheirIndexesValid) {
  upkeep_in(*this, "small-alt-bin-s12", false, false);
  check();
}

bool have_perl_reader() {
  int status = 0;
  testutil::run_command("perl -MXBase::Index -e 1 2>/dev/null", &status);
  return status == 0;
}

// Debian's Perl XBase reader walks our written trees and finds the keys we list.
TEST_F(Upkeep, PerlReaderListsTheKeysWeList) {
#ifdef _WIN32
  GTEST_SKIP() << "the peer reader is a Linux program";
#endif
  if (!have_perl_reader()) {
    if (std::getenv("CI")) FAIL() << "libdbd-xbase-perl is missing (scripts/setup.sh installs it)";
    GTEST_SKIP() << "libdbd-xbase-perl not installed";
  }
  upkeep_in(*this, "small-mixed-bin-s1", false, false);
  WorkAreas::instance().close_all();
  struct Case {
    const char* file;
    const char* tag;
    const char* type;
  };
  for (const Case& c : {Case{"IPOZZ.CDX", "IPOZZ", "num"}, Case{"IPOZC.CDX", "IPOZC", "char"},
                        Case{"CIZA.NTX", "", "num"}, Case{"TCIZA.NTX", "", "char"}}) {
    std::string cmd =
        "perl -MXBase::Index -e '$i = XBase::Index->new(shift, type => shift, "
        "(@ARGV ? (tag => shift) : ())) or die XBase::Index->errstr; "
        "$i->prepare_select; $n = 0; while (my @d = $i->fetch) { $n++; "
        "print \"$d[1]\\n\" } print \"n=$n\\n\"' " +
        dir_path() + "/" + c.file + " " + (c.type[0] == 'n' ? "N" : "C") + " " + c.tag;
    int status = 0;
    std::string out = testutil::run_command(cmd, &status);
    ASSERT_EQ(status, 0) << c.file << ": " << out;
    std::ostringstream ours, err;
    std::string table =
        std::string(c.file).find(".NTX") != std::string::npos ? "ZAK.DBF" : "POZAD.DBF";
    ASSERT_EQ(dbftool::run({"keys", dir_path() + "/" + c.file, "--table", dir_path() + "/" + table},
                           ours, err),
              0);
    // Record numbers in index order (the order of equal NTX keys aside).
    std::vector<std::string> perl_recnos, our_recnos;
    std::istringstream pin(out), oin(ours.str());
    std::string line;
    size_t perl_n = 0;
    while (std::getline(pin, line)) {
      if (line.rfind("n=", 0) == 0)
        perl_n = std::stoul(line.substr(2));
      else
        perl_recnos.push_back(line);
    }
    while (std::getline(oin, line))
      if (line.rfind("## ", 0) != 0) our_recnos.push_back(line.substr(line.rfind('|') + 1));
    EXPECT_EQ(perl_n, our_recnos.size()) << c.file;
    if (table == "ZAK.DBF") {
      std::sort(perl_recnos.begin(), perl_recnos.end());
      std::sort(our_recnos.begin(), our_recnos.end());
    }
    EXPECT_EQ(perl_recnos, our_recnos) << c.file;
  }
}

}  // namespace
