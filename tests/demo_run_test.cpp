// The demo's run in-process: the sample folder made by the sample code, the sample shop's two
// exports served on loopback, Spustit on the in-memory window. Each run must give exactly the
// verdicts its export was planned for, and the folder must pass dbftool check and Debian's
// Perl reader before and after.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "app/hlavni_sdi.h"
#include "data/data_test_support.h"
#include "tests/support/loopback_http.h"
#include "tools/dbftool_commands.h"
#include "tools/sample_export.h"
#include "tools/sample_tables.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;
using sample::ItemPlan;
using sample::OrderPlan;

const char kConfirmation[] = "/module/port.php?key=&akce=exportOk";

std::string digits(double v) { return std::to_string(static_cast<long long>(v)); }

std::string padded(std::string s, size_t width) {
  s.resize(std::max(width, s.size()), ' ');
  return s;
}

[[maybe_unused]] bool have_perl_reader() {  // the Perl reader runs on Linux only
  int status = 0;
  testutil::run_command("perl -MXBase -MXBase::Index -e 1 2>/dev/null", &status);
  return status == 0;
}

class DemoRun : public datatest::DataTest {
 protected:
  void SetUp() override {
    DataTest::SetUp();
    sample::SampleSizes sizes;
    sample::make_folder(target_.path(), sizes, 7);
    exports_ = sample::plan_exports(target_.path());
    app::HlavniSDI::ApplyTemplate(window_);
    window_.set_text("WKAM", target_.path());
    window_.set_text("WISERV", shop_.url(""));
    window_.set_text("POCDNU", "14");
    shop_.serve(kConfirmation, {200, "OK", "", false});
  }

  app::RunRecord run(const sample::ShopExport& e, bool zalozkartu) {
    shop_.serve("/", {200, e.document(), "", false});
    window_.set_checked("ZALOZKARTU", zalozkartu);
    size_t before = window_.rows().size();
    app::HlavniSDI sdi(window_);
    sdi.Spustit();
    Rows rows = window_.rows();
    rows_ = Rows(rows.begin() + static_cast<long>(before), rows.end());
    return sdi.last_run();
  }

  // The rows the export was planned to give, in the order of the posting.
  static Rows planned_rows(const sample::ShopExport& e) {
    Rows r;
    for (const auto& o : e.orders) {
      if (o.plan == OrderPlan::kRegistered) {
        r.push_back({digits(o.czak), "Je již evidována"});
        continue;
      }
      if (o.plan == OrderPlan::kNoItems) {
        r.push_back({digits(o.czak), "Nemá položky"});
        continue;
      }
      for (const auto& i : o.items) {
        if (i.plan == ItemPlan::kNoNumber) r.push_back({digits(o.czak), "Není číslo položky"});
        if (i.plan == ItemPlan::kNoCard)
          r.push_back({digits(o.czak), padded(i.cipo, 16) + " nemá skl.kartu"});
      }
    }
    return r;
  }

  std::unique_ptr<xbase::DbfTable> open(const std::string& table) {
    return xbase::DbfTable::open(xbase::resolve_table_path(target_.file(table), ".DBF"), {});
  }
  // ZAK's FIRM and CAST by order number.
  std::map<double, std::pair<double, double>> zak() {
    std::map<double, std::pair<double, double>> out;
    auto t = open("ZAK");
    for (uint32_t r = 1; r <= t->record_count(); ++r) {
      t->go_to(r);
      out[t->get("CZAK").num()] = {t->get("FIRM").num(), t->get("CAST").num()};
    }
    return out;
  }
  double counter() {
    auto t = open("POSCI");
    t->go_top();
    return t->get("PCDOOD").num();
  }
  std::vector<std::string> cards() {
    std::vector<std::string> out;
    auto t = open("ZAS");
    for (uint32_t r = 1; r <= t->record_count(); ++r) {
      t->go_to(r);
      std::string c = t->get_text("CIPO");
      out.push_back(c.substr(0, c.find_last_not_of(' ') + 1));
    }
    return out;
  }

  // dbftool check of the whole folder, and Debian's Perl reader on every table and on the
  // numeric indexes and an NTX character index (its record numbers against ours).
  void expect_folder_valid(const char* when) {
    xbase::WorkAreas::instance().close_all();
    std::ostringstream out, err;
    EXPECT_EQ(dbftool::run({"check", target_.path()}, out, err), 0) << when << ":\n"
                                                                    << out.str() << err.str();
#ifndef _WIN32
    if (!have_perl_reader()) {
      if (std::getenv("CI")) ADD_FAILURE() << "libdbd-xbase-perl is missing";
      return;
    }
    for (const char* table : {"ZAK", "DOOD", "ZAS", "POZAD", "IDENT", "POSCI"}) {
      int status = 0;
      std::string got = testutil::run_command(
          "perl -MXBase -e '$t = XBase->new(shift) or die XBase->errstr; $n = 0; "
          "for $i (0 .. $t->last_record) { @r = $t->get_record($i) or die $t->errstr; $n++ } "
          "print $n' " +
              target_.file(std::string(table) + ".DBF"),
          &status);
      ASSERT_EQ(status, 0) << when << " " << table << ": " << got;
      EXPECT_EQ(got, std::to_string(open(table)->record_count())) << when << " " << table;
    }
    struct Index {
      const char* file;
      const char* table;
      const char* type;
      const char* tag;
    };
    for (const Index& ix :
         {Index{"CIZA.NTX", "ZAK.DBF", "N", ""}, Index{"TCIZA.NTX", "ZAK.DBF", "C", ""},
          Index{"IICO.CDX", "DOOD.DBF", "N", "IICO"}, Index{"IFIRM.CDX", "DOOD.DBF", "N", "IFIRM"},
          Index{"IPOZZ.CDX", "POZAD.DBF", "N", "IPOZZ"}}) {
      int status = 0;
      std::string got = testutil::run_command(
          "perl -MXBase::Index -e '$i = XBase::Index->new(shift, type => shift, "
          "(@ARGV ? (tag => shift) : ())) or die XBase::Index->errstr; $i->prepare_select; "
          "while (my @d = $i->fetch) { print \"$d[1]\\n\" }' " +
              target_.file(ix.file) + " " + ix.type + " " + ix.tag,
          &status);
      ASSERT_EQ(status, 0) << when << " " << ix.file << ": " << got;
      std::ostringstream ours, e2;
      ASSERT_EQ(dbftool::run({"keys", target_.file(ix.file), "--table", target_.file(ix.table)},
                             ours, e2),
                0);
      std::vector<std::string> perl, mine;
      std::istringstream pin(got), oin(ours.str());
      std::string line;
      while (std::getline(pin, line)) perl.push_back(line);
      while (std::getline(oin, line))
        if (line.rfind("## ", 0) != 0) mine.push_back(line.substr(line.rfind('|') + 1));
      std::sort(perl.begin(), perl.end());
      std::sort(mine.begin(), mine.end());
      EXPECT_EQ(perl, mine) << when << " " << ix.file;
    }
#endif
  }

  testutil::LoopbackHttp shop_;
  std::vector<sample::ShopExport> exports_;
  Rows rows_;
};

TEST_F(DemoRun, TheExportsGiveTheVerdictsTheyWereMadeFor) {
  ASSERT_EQ(exports_.size(), 2u);
  // The plan itself covers every verdict.
  std::map<OrderPlan, int> orders;
  std::map<ItemPlan, int> items;
  size_t total = 0;
  for (const auto& e : exports_) {
    total += e.orders.size();
    for (const auto& o : e.orders) {
      ++orders[o.plan];
      for (const auto& i : o.items) ++items[i.plan];
    }
  }
  EXPECT_GE(total, 18u);
  for (OrderPlan p : {OrderPlan::kByIco, OrderPlan::kByName, OrderPlan::kNewPartner,
                      OrderPlan::kRegistered, OrderPlan::kNoItems})
    EXPECT_GT(orders[p], 0) << static_cast<int>(p);
  for (ItemPlan p : {ItemPlan::kGood, ItemPlan::kNoNumber, ItemPlan::kNoCard, ItemPlan::kCardMade})
    EXPECT_GT(items[p], 0) << static_cast<int>(p);

  expect_folder_valid("before");
  const uint32_t dood0 = open("DOOD")->record_count();
  const double pcdood0 = counter();
  const std::vector<std::string> cards0 = cards();
  auto zak0 = zak();

  int new_partners = 0;
  for (size_t n = 0; n < exports_.size(); ++n) {
    const sample::ShopExport& e = exports_[n];
    app::RunRecord r = run(e, n == 1);
    SCOPED_TRACE("export " + std::to_string(n + 1));
    EXPECT_EQ(r.end, app::RunRecord::End::kPosted);
    EXPECT_TRUE(r.confirmation_sent);
    EXPECT_EQ(shop_.requests().back(), kConfirmation);
    Rows want = planned_rows(e);
    Rows got = rows_;
    for (auto& row : got) row[0].erase(0, row[0].find_first_not_of(' '));
    EXPECT_EQ(got, want);

    unsigned good_orders = 0, bad_orders = 0, good_items = 0, bad_items = 0, read_items = 0;
    auto after = zak();
    for (const auto& o : e.orders) {
      read_items += static_cast<unsigned>(o.items.size());
      if (o.plan == OrderPlan::kRegistered || o.plan == OrderPlan::kNoItems) {
        ++bad_orders;
        EXPECT_EQ(after.count(o.czak), zak0.count(o.czak)) << digits(o.czak);
        if (zak0.count(o.czak)) {
          EXPECT_EQ(after[o.czak], zak0[o.czak]) << "left alone";
        }
        continue;
      }
      ++good_orders;
      ASSERT_EQ(after.count(o.czak), 1u) << digits(o.czak);
      double cast = 0;
      for (const auto& i : o.items) {
        bool good = i.plan == ItemPlan::kGood || i.plan == ItemPlan::kCardMade;
        (good ? good_items : bad_items) += 1;
        if (good) cast += i.count * i.price;
      }
      EXPECT_NEAR(after[o.czak].second, cast, 0.005) << digits(o.czak);
      double firm = after[o.czak].first;
      if (o.plan == OrderPlan::kNewPartner) {
        EXPECT_EQ(firm, pcdood0 + ++new_partners) << digits(o.czak) << " numbered anew";
      } else {
        EXPECT_EQ(firm, o.firma) << digits(o.czak)
                                 << (o.plan == OrderPlan::kByIco ? " by ICO" : " by name");
      }
    }
    EXPECT_EQ(r.read_orders, e.orders.size());
    EXPECT_EQ(r.read_items, read_items);
    EXPECT_EQ(r.good_orders, good_orders);
    EXPECT_EQ(r.bad_orders, bad_orders);
    EXPECT_EQ(r.good_items, good_items);
    EXPECT_EQ(r.bad_items, bad_items);
    zak0 = after;
  }
  EXPECT_EQ(open("DOOD")->record_count(), dood0 + static_cast<uint32_t>(new_partners));
  EXPECT_EQ(counter(), pcdood0 + new_partners);
  // The cards made on request, and only those.
  std::vector<std::string> made = cards();
  ASSERT_GE(made.size(), cards0.size());
  made.erase(made.begin(), made.begin() + static_cast<long>(cards0.size()));
  std::vector<std::string> want;
  for (const auto& o : exports_[1].orders)
    for (const auto& i : o.items)
      if (i.plan == ItemPlan::kCardMade) want.push_back(i.cipo);
  EXPECT_EQ(made, want);
  expect_folder_valid("after");
}

// The record layout the shop sends, position by position.
TEST(SampleExport, RecordsHaveTheirFixedLengthsAndPositions) {
  sample::PlannedOrder o;
  o.czak = 2025000101;
  o.company = "Železářství Říha";
  o.surname = "Němec";
  o.first_name = "Lukáš";
  o.town = "Plzeň";
  o.ico = "25596641";
  std::string h = sample::header_record(o, "2025-11-24");
  ASSERT_EQ(h.size(), 280u);
  EXPECT_EQ(h.substr(0, 2), "c ");
  EXPECT_EQ(h.substr(2, 10), "2025000101");
  EXPECT_EQ(h.substr(12, 10), "2025-11-24");
  EXPECT_EQ(h.substr(32, 20), padded("Luk\xE1\x9A", 20)) << "Windows-1250";
  EXPECT_EQ(h.substr(82, 30), padded("\x8E" "elez\xE1\xF8stv\xED \xD8\xEDha", 30));
  EXPECT_EQ(h.substr(216, 20), padded("25596641", 20));
  EXPECT_EQ(h.substr(236, 20), padded("CZ25596641", 20));
  sample::PlannedItem i;
  i.cipo = "MAT-000060";
  i.name = "Kabel";
  i.count = 3;
  i.price = 10.5;
  std::string p = sample::item_record(o.czak, i);
  ASSERT_EQ(p.size(), 145u);
  EXPECT_EQ(p[0], 'p');
  EXPECT_EQ(p.substr(2, 10), "2025000101");
  EXPECT_EQ(p.substr(12, 16), padded("MAT-000060", 16));
  EXPECT_EQ(p.substr(108, 13), std::string(8, ' ') + "10.50");
  EXPECT_EQ(p.substr(121, 13), std::string(8, ' ') + "12.71");
  EXPECT_EQ(p.substr(134, 4), "21  ");
  EXPECT_EQ(p.substr(138, 6), "     3");
}

}  // namespace
