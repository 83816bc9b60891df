// The posting phase on copies of the fixture folders: work tables filled by the loading from
// a document, then every record written into ZAK, DOOD, POZAD, ZAS and POSCI read back field
// by field, and every index checked with dbftool.
#include "import/posting.h"

#include <gtest/gtest.h>

#include <sstream>

#include "app/work_tables.h"
#include "data/data_test_support.h"
#include "import/loading.h"
#include "import/order_document.h"
#include "import/posting_steps.h"
#include "platform/table/table_error.h"
#include "platform/text/codepage.h"
#include "tools/dbftool_commands.h"

namespace {

using import::PostOutcome;
using Rows = std::vector<std::vector<std::string>>;

std::string w1250(const std::string& utf8) { return xbase::CodePage::cp1250().from_utf8(utf8); }

void place(std::string& rec, size_t position, const std::string& bytes) {
  rec.replace(position - 1, bytes.size(), bytes);
}

std::string right(const std::string& s, size_t width) {
  return std::string(width > s.size() ? width - s.size() : 0, ' ') + s;
}

struct Header {
  std::string czak, nazd, prijmeni = "Novák", jmeno = "Jan", ico;
  std::string bytes() const {
    std::string r = "c" + std::string(import::kHeaderLength - 1, ' ');
    place(r, 3, right(czak, 10));
    place(r, 13, "2024-05-17");
    place(r, 33, w1250(jmeno));
    place(r, 53, w1250(prijmeni));
    place(r, 83, w1250(nazd));
    place(r, 113, w1250("Dlouhá 5"));
    place(r, 143, w1250("Plzeň"));
    place(r, 163, "301 00");
    place(r, 169, "CZ");
    place(r, 172, "+420 777 12345");
    place(r, 187, "zofie@example.cz");
    place(r, 217, ico);
    place(r, 237, "CZ99887766");
    return r;
  }
};

struct Item {
  std::string czak, cipo, nazev = "Zboží z e-shopu", cenb = "10.50", kusy = "3";
  std::string bytes() const {
    std::string r = "p" + std::string(import::kItemLength - 1, ' ');
    place(r, 3, right(czak, 10));
    place(r, 13, cipo);
    place(r, 29, w1250(nazev));
    place(r, 109, cenb);
    place(r, 122, "12.71");
    place(r, 135, "21");
    place(r, 139, kusy);
    return r;
  }
};

class Posting : public datatest::DataTest {
 protected:
  void SetUp() override {
    DataTest::SetUp();
    window_.set_text("POCDNU", "14");
  }
  void use_fixture(const std::string& name) { testutil::copy_fixture(name, target_.path()); }

  import::PostingResult post(const std::string& document) {
    auto prepare = [this] {
      make_table(program_.file("ESH_HLA.DBF"), app::esh_hla_fields(), {});
  make_table(program_.file("ESH_POL.DBF"), app::esh_pol_fields(), {});
};
import::LoadResult load = import::load_document(window_, document, prepare);
EXPECT_TRUE(load.run_on());
import::PostingClock clock{xbase::Date::from_ymd(2026, 12, 8), "10:11:12"};
import::PostingResult r = import::post_orders(window_, *load.headers, *load.items, clock);
xbase::WorkAreas::instance().commit_all();
xbase::WorkAreas::instance().close_all();
return r;
}  // namespace

std::unique_ptr<xbase::DbfTable> open(const std::string& table) {
  return xbase::DbfTable::open(xbase::resolve_table_path(target_.file(table), ".DBF"), {});
}
uint32_t count(const std::string& table) { return open(table)->record_count(); }

// Every table and index of the folder as dbftool sees it.
void expect_indexes_ok() {
  std::ostringstream out, err;
  EXPECT_EQ(dbftool::run({"check", target_.path(), "--collation", "binary"}, out, err), 0)
      << out.str() << err.str();
}
Rows lv() const { return window_.rows(); }
}
;

std::string text(const xbase::DbfTable& t, const char* f) { return t.get_text(f); }
double num(const xbase::DbfTable& t, const char* f) { return t.get(f).num(); }
std::string day(const xbase::DbfTable& t, const char* f) { return t.get(f).date_value().dtos(); }

std::string hdr(const std::string& czak, const std::string& nazd,
                const std::string& prijmeni = "Novák", const std::string& jmeno = "Jan",
                const std::string& ico = "") {
  Header h;
  h.czak = czak;
  h.nazd = nazd;
  h.prijmeni = prijmeni;
  h.jmeno = jmeno;
  h.ico = ico;
  return h.bytes();
}

std::string item(const std::string& czak, const std::string& cipo,
                 const std::string& nazev = "Zboží z e-shopu", const std::string& cenb = "10.50",
                 const std::string& kusy = "3") {
  Item i;
  i.czak = czak;
  i.cipo = cipo;
  i.nazev = nazev;
  i.cenb = cenb;
  i.kusy = kusy;
  return i.bytes();
}

size_t width(const xbase::DbfTable& t, const char* f) {
  return static_cast<size_t>(t.field_info(t.field_index(f)).length);
}

// The first n characters of a UTF-8 text (each is one byte in the tables' code page).
std::string first_chars(const std::string& utf8, size_t n) {
  size_t i = 0;
  for (size_t k = 0; k < n && i < utf8.size(); ++k) xbase::next_utf8(utf8, i);
  return utf8.substr(0, i);
}

std::string doc(const std::vector<std::string>& records) {
  std::string d;
  for (const auto& r : records) d += r + "\r\n";
  return d;
}

// One document with every order rule of the phase: partner by ICO, by name with Czech letters
// and new; an order already in ZAK, one without items, one repeated within the document.
TEST_F(Posting, OrdersPartnersLinesAndCountersOnTheFixtureFolder) {
  use_fixture("small-mixed-bin-s1");
  const uint32_t zak0 = count("ZAK"), dood0 = count("DOOD"), pozad0 = count("POZAD");
  std::string d = doc({
      hdr("5001", "Firma podle IČO", "Novák", "Jan", "27719111"),
      item("5001", "MAT-000010/T", "Kabel z e-shopu", "10.50", "3"),
      item("5001", "", "Bez čísla"),
      item("5001", "SP000030", "Chránička", "20.25", "2"),
      hdr("2023000001", "Už je v ZAK"),
      item("2023000001", "MAT-000010/T"),
      hdr("5002", "Bez položek"),
      hdr("5003", "Železářství Němec s.r.o.", "Adámek", "Jaroslav", "0"),
      item("5003", "NENI-KARTA"),
      hdr("5004", "", "Čermáková", "Žofie", ""),
      item("5004", "ZB-000022/F", "Lopata", "3.33", "2"),
      hdr("5001", "Opakovaná"),
      item("5001", "ZB-000022/F", "Lopata", "100.00", "1"),
  });
  import::PostingResult r = post(d);
  EXPECT_EQ(r.outcome, PostOutcome::kPostedAll);
  EXPECT_TRUE(r.confirm());
  EXPECT_EQ(r.good_orders, 3);
  EXPECT_EQ(r.bad_orders, 3);
  EXPECT_EQ(r.good_items, 4);
  EXPECT_EQ(r.bad_items, 2);
  EXPECT_EQ(window_.text("FTPDOB"), "   3");
  EXPECT_EQ(window_.text("FTPCHY"), "   3");
  EXPECT_EQ(window_.text("FTKDOB"), "   4");
  EXPECT_EQ(window_.text("FTKCHY"), "   2");
  EXPECT_EQ(window_.text("FTPC"), "Kontrola a zápis dobrých");
  EXPECT_EQ(lv(), (Rows{{"    5001", "Není číslo položky"},
                        {"2023000001", "Je již evidována"},
                        {"    5002", "Nemá položky"},
                        {"    5003", "NENI-KARTA       nemá skl.kartu"},
                        {"    5001", "Je již evidována"}}));

  auto zak = open("ZAK");
  ASSERT_EQ(zak->record_count(), zak0 + 3);
  zak->go_to(zak0 + 1);
  EXPECT_EQ(num(*zak, "CZAK"), 5001);
  EXPECT_EQ(text(*zak, "NAZ"), "Z Bazaro 08.12.2026 10:11:12");
  EXPECT_EQ(text(*zak, "NAZD"), "Firma podle IČO");
  EXPECT_EQ(text(*zak, "NAZD2"), "Novák Jan");
  EXPECT_EQ(day(*zak, "DATO"), "20240517");
  EXPECT_EQ(day(*zak, "PTER"), "20240531");
  EXPECT_EQ(text(*zak, "ULD"), "Dlouhá 5");
  EXPECT_EQ(text(*zak, "MIST"), "Plzeň");
  EXPECT_EQ(text(*zak, "PSC"), "301 00");
  EXPECT_EQ(text(*zak, "NSTAT"), "CZ");
  EXPECT_EQ(num(*zak, "ICO"), 27719111);
  EXPECT_EQ(text(*zak, "REGC"), "CZ99887766");
  EXPECT_EQ(text(*zak, "TEL"), "+420 777 12345");
  EXPECT_TRUE(zak->get("JEDOK").log());
  EXPECT_EQ(num(*zak, "FIRM"), 1);  // DOOD record 1 has that ICO
  // 3 * 10.50 + 2 * 20.25, and the item of the repeated header: 100.00
  EXPECT_DOUBLE_EQ(num(*zak, "CAST"), 172.0);
  zak->go_to(zak0 + 2);
  EXPECT_EQ(num(*zak, "CZAK"), 5003);
  EXPECT_EQ(num(*zak, "FIRM"), 8);  // by the upper-case name "ŽELEZÁŘSTVÍ NĚMEC S.R.O."
  EXPECT_EQ(num(*zak, "CAST"), 0);
  zak->go_to(zak0 + 3);
  EXPECT_EQ(num(*zak, "CZAK"), 5004);
  EXPECT_EQ(text(*zak, "NAZD"), "Čermáková Žofie");
  EXPECT_EQ(text(*zak, "NAZD2"), "");
  EXPECT_EQ(num(*zak, "FIRM"), 280);  // POSCI held 279
  EXPECT_DOUBLE_EQ(num(*zak, "CAST"), 6.66);

  auto dood = open("DOOD");
  ASSERT_EQ(dood->record_count(), dood0 + 1);
  dood->go_to(dood0 + 1);
  EXPECT_EQ(num(*dood, "FIRMA"), 280);
  EXPECT_EQ(day(*dood, "PLOD"), "20261208");
  EXPECT_EQ(text(*dood, "NAZD"), "Čermáková Žofie");
  EXPECT_EQ(text(*dood, "JMENO"), "");
  EXPECT_EQ(text(*dood, "ULD"), "Dlouhá 5");
  EXPECT_EQ(text(*dood, "MIST"), "Plzeň");
  EXPECT_EQ(text(*dood, "PSC"), "301 00");
  EXPECT_EQ(text(*dood, "NSTAT"), "CZ");
  EXPECT_EQ(text(*dood, "TELE"), "+420 777 12345");
  EXPECT_EQ(num(*dood, "ICO"), 0);
  EXPECT_EQ(text(*dood, "REGC"), "CZ99887766");
  EXPECT_EQ(text(*dood, "EMAIL"), "zofie@example.cz");
  EXPECT_EQ(num(*open("POSCI"), "PCDOOD"), 280);

  struct Line {
    double czak;
    const char* cipo;
    double zn;
    const char *jedn, *ozn;
    double pocet, jedc, firm;
    double idprod;
  };
  const Line lines[] = {
      {5001, "MAT-000010/T", 1, "bal", "Chránička ohebná (výprodej)", 3, 10.5, 1, 10},
      {5001, "SP000030", 1, "bal", "Chránička ohebná O 6", 2, 20.25, 1, 20},
      {5001, "ZB-000022/F", 0, "ks", "Lopata špičatá ČSN", 1, 100, 1, 30},
      {5004, "ZB-000022/F", 0, "ks", "Lopata špičatá ČSN", 2, 3.33, 280, 10},
  };
  auto pozad = open("POZAD");
  ASSERT_EQ(pozad->record_count(), pozad0 + 4);
  for (uint32_t i = 0; i < 4; ++i) {
    const Line& l = lines[i];
    pozad->go_to(pozad0 + 1 + i);
    SCOPED_TRACE(i);
    EXPECT_EQ(num(*pozad, "CZAK"), l.czak);
    EXPECT_EQ(text(*pozad, "CIPO"), l.cipo);
    EXPECT_EQ(num(*pozad, "ZN"), l.zn);
    EXPECT_EQ(text(*pozad, "JEDN"), l.jedn);
    EXPECT_EQ(text(*pozad, "OZN"), l.ozn);  // NZNET off: the card's name
    EXPECT_DOUBLE_EQ(num(*pozad, "POCET"), l.pocet);
    EXPECT_DOUBLE_EQ(num(*pozad, "JEDC"), l.jedc);
    EXPECT_DOUBLE_EQ(num(*pozad, "SAZBA"), 21);
    EXPECT_EQ(num(*pozad, "FIRM"), l.firm);
    EXPECT_EQ(day(*pozad, "DATP"), "20240531");
    EXPECT_EQ(num(*pozad, "ZNC"), 1);
    EXPECT_EQ(num(*pozad, "IDPROD"), l.idprod);
  }
  expect_indexes_ok();
}

// The two item faults under each setting of NZAS and ZALOZKARTU: a blank item number and an
// item number without a stock card.
struct CardCase {
  bool nzas, zalozkartu;
  int good, bad, cards;  // new stock cards
  std::vector<std::string> reasons;
};

class PostingCards : public Posting, public ::testing::WithParamInterface<CardCase> {};

const char* kLongName = "Šroubovák křížový PH2 s izolovanou rukojetí 1000 V";

TEST_P(PostingCards, BlankNumberAndMissingCard) {
  const CardCase& c = GetParam();
  use_fixture("small-mixed-bin-s1");
  window_.set_checked("NZAS", c.nzas);
  window_.set_checked("ZALOZKARTU", c.zalozkartu);
  const uint32_t zas0 = count("ZAS"), pozad0 = count("POZAD");
  import::PostingResult r = post(doc({hdr("6001", "Firma"), item("6001", "", "Bez čísla"),
                                      item("6001", "NOVA-KARTA", kLongName, "99.90", "4")}));
  EXPECT_EQ(r.outcome, PostOutcome::kPostedAll);
  EXPECT_EQ(r.good_orders, 1);
  EXPECT_EQ(r.good_items, c.good);
  EXPECT_EQ(r.bad_items, c.bad);
  Rows want;
  for (const auto& why : c.reasons) want.push_back({"    6001", why});
  EXPECT_EQ(lv(), want);

  auto zas = open("ZAS");
  ASSERT_EQ(zas->record_count(), zas0 + c.cards);
  for (uint32_t k = 1; k <= static_cast<uint32_t>(c.cards); ++k) {
    zas->go_to(zas0 + k);
    bool blank_card = c.cards == 2 && k == 1;
    EXPECT_EQ(text(*zas, "CIPO"), blank_card ? "" : "NOVA-KARTA");
    EXPECT_EQ(text(*zas, "OZNM"),
              blank_card ? "Bez čísla" : "Šroubovák křížový PH2 s izolovanou rukoj");
    EXPECT_DOUBLE_EQ(num(*zas, "DANO"), 21);
    EXPECT_DOUBLE_EQ(num(*zas, "CENJP"), blank_card ? 10.5 : 99.9);
    EXPECT_DOUBLE_EQ(num(*zas, "CENJPD"), 12.71);
    EXPECT_DOUBLE_EQ(num(*zas, "PRAB1"), 3.5);  // from IDENT
    EXPECT_DOUBLE_EQ(num(*zas, "PRAB2"), 7.25);
    EXPECT_DOUBLE_EQ(num(*zas, "PRAB3"), 12);
  }
  auto pozad = open("POZAD");
  ASSERT_EQ(pozad->record_count(), pozad0 + c.good);
  for (uint32_t k = 1; k <= static_cast<uint32_t>(c.good); ++k) {
    pozad->go_to(pozad0 + k);
    EXPECT_EQ(num(*pozad, "IDPROD"), 10.0 * k);
    EXPECT_EQ(num(*pozad, "ZN"), 0);
    EXPECT_EQ(text(*pozad, "JEDN"), "");
  }
  // POZAD OZN holds 40 characters here, as a new card's OZNM does.
  if (c.good > 0) {
    EXPECT_EQ(text(*pozad, "OZN"), "Šroubovák křížový PH2 s izolovanou rukoj");
  }
  expect_indexes_ok();
}

INSTANTIATE_TEST_SUITE_P(
    Posting, PostingCards,
    ::testing::Values(
        CardCase{false, false, 0, 2, 0, {"Není číslo položky", "NOVA-KARTA       nemá skl.kartu"}},
        CardCase{true, false, 2, 0, 0, {}}, CardCase{false, true, 1, 1, 1, {"Není číslo položky"}},
        CardCase{true, true, 2, 0, 2, {}}));

// NZNET ticked: the shop's name even where the item has a card; the card still gives ZN and
// JEDN.
TEST_F(Posting, ShopNameWhenNznetTicked) {
  use_fixture("small-mixed-bin-s1");
  window_.set_checked("NZNET", true);
  const uint32_t pozad0 = count("POZAD");
  post(doc({hdr("6101", "Firma"), item("6101", "MAT-000010/T", "Název z e-shopu")}));
  auto pozad = open("POZAD");
  ASSERT_EQ(pozad->record_count(), pozad0 + 1);
  pozad->go_to(pozad0 + 1);
  EXPECT_EQ(text(*pozad, "OZN"), "Název z e-shopu");
  EXPECT_EQ(num(*pozad, "ZN"), 1);
  EXPECT_EQ(text(*pozad, "JEDN"), "bal");
}

// ZAK held by another workstation and the retry declined: nothing is posted, no counter
// moves, and the run must not confirm.
TEST_F(Posting, HeldTableCancelledPostsNothing) {
  use_fixture("small-mixed-bin-s1");
  const uint32_t zak0 = count("ZAK"), pozad0 = count("POZAD");
  window_.set_text("FTPDOB", "old");
  import::PostingResult r;
  {
    auto held = hold(target_.file("ZAK.DBF"), xbase::ShareMode::kShared);
    window_.replies = {ui::Reply::kRetry, ui::Reply::kCancel};
    r = post(doc({hdr("6201", "Firma"), item("6201", "MAT-000010/T")}));
  }
  EXPECT_EQ(r.outcome, PostOutcome::kNotOpened);
  EXPECT_FALSE(r.confirm());
  EXPECT_EQ(questions().size(), 2u);
  EXPECT_EQ(questions()[0].text, datatest::kBusyQuestion);
  EXPECT_EQ(window_.text("FTPDOB"), "old");
  EXPECT_TRUE(lv().empty());
  EXPECT_EQ(count("ZAK"), zak0);
  EXPECT_EQ(count("POZAD"), pozad0);
}

// POSCI busy while a new partner is numbered and the retry declined: the posting stops there,
// before anything of that order is written: no ZAK record without its partner and total, no
// partner without a number; the orders after it are not taken.
TEST_F(Posting, CancelledPartnerNumberStopsThePosting) {
  use_fixture("small-mixed-bin-s1");
  const uint32_t zak0 = count("ZAK"), dood0 = count("DOOD"), pozad0 = count("POZAD");
  import::PostingResult r;
  {
    auto held = hold(target_.file("POSCI.DBF"), xbase::ShareMode::kShared);
    window_.replies = {ui::Reply::kCancel};
    r = post(doc({hdr("6301", "Firma podle IČO", "Novák", "Jan", "27719111"),
                  item("6301", "MAT-000010/T"), hdr("6302", "Úplně nová firma"),
                  item("6302", "MAT-000010/T"), hdr("6303", "Další"), item("6303", "SP000030")}));
  }
  EXPECT_EQ(r.outcome, PostOutcome::kStopped);
  EXPECT_FALSE(r.confirm());
  EXPECT_EQ(questions().size(), 1u);
  EXPECT_EQ(r.good_orders, 1);
  EXPECT_EQ(r.good_items, 1);
  EXPECT_EQ(window_.text("FTPDOB"), "   1");
  EXPECT_EQ(count("DOOD"), dood0);
  EXPECT_EQ(count("POZAD"), pozad0 + 1);
  auto zak = open("ZAK");
  ASSERT_EQ(zak->record_count(), zak0 + 1) << "6301 whole, nothing of 6302";
  zak->go_to(zak0 + 1);
  EXPECT_EQ(num(*zak, "CZAK"), 6301);
  EXPECT_EQ(num(*zak, "FIRM"), 1);
  EXPECT_DOUBLE_EQ(num(*zak, "CAST"), 31.5);
  EXPECT_EQ(num(*open("POSCI"), "PCDOOD"), 279);
  expect_indexes_ok();
}

// Another installation's layout: ZAS CIPO C12 against the work table's 16 characters, ZAK NAZD
// C30, DOOD ICO N8; every width is taken from the files.
TEST_F(Posting, OtherFieldWidthsAreTakenFromTheFiles) {
  use_fixture("small-alt-bin-s12");
  auto zas = open("ZAS");
  zas->go_to(2);  // record 1 is deleted
  std::string cipo = text(*zas, "CIPO"), oznm = text(*zas, "OZNM");
  zas.reset();
  const uint32_t zak0 = count("ZAK"), pozad0 = count("POZAD"), dood0 = count("DOOD");
  std::string long_name = "Velkoobchod s elektroinstalačním materiálem Čáslav";
  import::PostingResult r = post(doc({hdr("7001", long_name, "Řehoř", "Ondřej", "12345678"),
                                      item("7001", cipo, "Cokoli", "5.00", "2")}));
  EXPECT_EQ(r.outcome, PostOutcome::kPostedAll);
  EXPECT_EQ(r.good_items, 1);
  EXPECT_TRUE(lv().empty());
  auto zak = open("ZAK");
  ASSERT_EQ(zak->record_count(), zak0 + 1);
  zak->go_to(zak0 + 1);
  EXPECT_EQ(text(*zak, "NAZD"), first_chars(long_name, width(*zak, "NAZD")));
  auto dood = open("DOOD");
  ASSERT_EQ(dood->record_count(), dood0 + 1);
  dood->go_to(dood0 + 1);
  EXPECT_EQ(num(*dood, "ICO"), 12345678);
  EXPECT_EQ(text(*dood, "NAZD"), text(*zak, "NAZD"));
  auto pozad = open("POZAD");
  ASSERT_EQ(pozad->record_count(), pozad0 + 1);
  pozad->go_to(pozad0 + 1);
  EXPECT_EQ(text(*pozad, "CIPO"), cipo);
  EXPECT_EQ(text(*pozad, "OZN"), first_chars(oznm, width(*pozad, "OZN")));
  EXPECT_DOUBLE_EQ(num(*pozad, "JEDC"), 5);
  expect_indexes_ok();
}

// A second run of the same document (the shop exports again when a confirmation was lost):
// every order is rejected as already registered and nothing more is written.
TEST_F(Posting, RerunRejectsEveryPostedOrder) {
  use_fixture("small-mixed-bin-s1");
  std::string d = doc({hdr("6401", "", "Dvořák", "Petr", "-5"), item("6401", "MAT-000010/T"),
                       hdr("6402", "Firma"), item("6402", "SP000030")});
  ASSERT_EQ(post(d).good_orders, 2);
  const uint32_t zak1 = count("ZAK"), dood1 = count("DOOD"), pozad1 = count("POZAD");
  const size_t rows1 = lv().size();
  import::PostingResult again = post(d);
  EXPECT_EQ(again.outcome, PostOutcome::kPostedAll);
  EXPECT_EQ(again.good_orders, 0);
  EXPECT_EQ(again.bad_orders, 2);
  const Rows all = lv();
  EXPECT_EQ(Rows(all.begin() + static_cast<long>(rows1), all.end()),
            (Rows{{"    6401", "Je již evidována"}, {"    6402", "Je již evidována"}}));
  EXPECT_EQ(count("ZAK"), zak1);
  EXPECT_EQ(count("DOOD"), dood1);
  EXPECT_EQ(count("POZAD"), pozad1);
  // The negative ICO was looked up by name only, and the new partner keeps it.
  auto dood = open("DOOD");
  dood->go_to(dood1 - 1);
  EXPECT_EQ(text(*dood, "NAZD"), "Dvořák Petr");
  EXPECT_EQ(num(*dood, "ICO"), -5);
  expect_indexes_ok();
}

}  // namespace

namespace {

// The last guard behind the checks: a number too wide is never stored as asterisks.
TEST_F(Posting, ANumberTooWideForItsFieldIsNeverStoredAsAsterisks) {
  make_table(program_.file("NARROW.DBF"), {{"N", 'N', 3, 0}}, {{xbase::Value::number(7)}});
  auto t = xbase::DbfTable::open(program_.file("NARROW.DBF"), {});
  t->go_to(1);
  EXPECT_THROW(import::posting::put_number(*t, "N", 1234), xbase::TableError);
  EXPECT_EQ(t->raw_bytes(0), "  7");
}

}  // namespace
