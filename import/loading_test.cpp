// Loading the document into ESH_HLA.DBF and ESH_POL.DBF with WIESPOL.NTX, in a scratch
// program folder, with the in-memory window.
#include "import/loading.h"

#include <gtest/gtest.h>

#include "data/data_test_support.h"
#include "import/order_document.h"
#include "platform/index/order.h"
#include "platform/text/codepage.h"

namespace {

using import::LoadOutcome;

// Windows-1250 bytes of a UTF-8 text.
std::string w1250(const std::string& utf8) { return xbase::CodePage::cp1250().from_utf8(utf8); }

void place(std::string& rec, size_t position, const std::string& bytes) {
  rec.replace(position - 1, bytes.size(), bytes);
}

struct Header {
  std::string czak = "      1001", date = "2024-05-17", jmeno = "Jan", prijmeni = "Novák";
  std::string nazd, uld = "Dlouhá 5", mist = "Praha", psc = "110 00", nstat = "CZ ";
  std::string tel = "+420 777 12345", email = "jan@example.cz", ico = "", regc = "";
  std::string bytes() const {
    std::string r = "c" + std::string(import::kHeaderLength - 1, ' ');
    place(r, 3, czak);
    place(r, 13, date);
    place(r, 33, w1250(jmeno));
    place(r, 53, w1250(prijmeni));
    place(r, 83, w1250(nazd));
    place(r, 113, w1250(uld));
    place(r, 143, w1250(mist));
    place(r, 163, psc);
    place(r, 169, nstat);
    place(r, 172, tel);
    place(r, 187, email);
    place(r, 217, ico);
    place(r, 237, regc);
    place(r, 257, "NOT READ NOT READ NOT RE");
    return r;
  }
};

struct Item {
  std::string czak = "1001", cipo = "KARTA-01", nazev = "Šroub M6", vyrobce = "Železářství";
  std::string cenb = "10.50", cens = "12.71", sazba = "21", kusy = "3";
  std::string bytes() const {
    std::string r = "p" + std::string(import::kItemLength - 1, ' ');
    place(r, 3, czak);
    place(r, 13, cipo);
    place(r, 29, w1250(nazev));
    place(r, 79, w1250(vyrobce));
    place(r, 109, cenb);
    place(r, 122, cens);
    place(r, 135, sazba);
    place(r, 139, kusy);
    place(r, 145, "X");
    return r;
  }
};

class Loading : public datatest::DataTest {
 protected:
  void SetUp() override {
    DataTest::SetUp();
    // What VytvoreniDB provides (its own tests are the application's).
    prepare_ = [this] {
      make_table(program_.file("ESH_HLA.DBF"), hla_fields(), {});
      if (!xbase::file_system().exists(program_.file("ESH_POL.DBF")))
        make_table(program_.file("ESH_POL.DBF"), pol_fields(), {});
    };
  }
  static std::vector<xbase::FieldSpec> hla_fields() {
    return {{"CZAK", 'N', 10, 0},     {"DATO", 'D', 8, 0},     {"JMENO", 'C', 20, 0},
            {"PRIJMENI", 'C', 30, 0}, {"NAZD", 'C', 40, 0},    {"ULD", 'C', 30, 0},
            {"PSC", 'C', 8, 0},       {"MIST", 'C', 25, 0},    {"NSTAT", 'C', 15, 0},
            {"ICO", 'N', 10, 0},      {"REGC", 'C', 15, 0},    {"TEL", 'C', 15, 0},
            {"EMAIL", 'C', 30, 0},    {"DOPRAVA", 'C', 30, 0}, {"DOPRVNE", 'N', 8, 2},
            {"VYRIZ", 'C', 18, 0},    {"ZPSU", 'C', 25, 0},    {"POZN", 'C', 35, 0}};
  }
  static std::vector<xbase::FieldSpec> pol_fields() {
    return {{"CZAK", 'N', 10, 0},    {"CIPO", 'C', 16, 0}, {"NAZEV", 'C', 50, 0},
            {"VYROBCE", 'C', 30, 0}, {"KUSY", 'N', 11, 3}, {"CENB", 'N', 11, 2},
            {"CENS", 'N', 11, 2},    {"SAZBA", 'N', 4, 1}};
  }
  import::LoadResult load(const std::string& doc) {
    auto r = import::load_document(window_, doc, prepare_);
  return r;
}
// Reopens a work table after the loading's tables are closed.
std::unique_ptr<xbase::DbfTable>
reopen(const char* name) {
  xbase::WorkAreas::instance().close_all();
  return xbase::DbfTable::open(program_.file(name), {});
}
std::vector<ui::BoxRecord> warnings() const { return window_.boxes; }

std::function<void()> prepare_;
};  // namespace

TEST_F(Loading, PutsEveryHeaderFieldFromItsPosition) {
  Header h;
  h.nazd = "Šťastná firma s.r.o. a synové";  // 30 characters into C40
  h.mist = "Ústí nad Labem-Střekov";         // 22 characters: the field holds 20
  h.ico = "  12345678          ";
  h.regc = "CZ12345678ABCDEFGHIJ";  // 20 characters into C15
  auto r = load(h.bytes() + "\r\n");
  ASSERT_EQ(r.outcome, LoadOutcome::kLoaded);
  EXPECT_TRUE(r.run_on());
  EXPECT_EQ(window_.text("FTPC"), "Připojení 1. kontrolní čtení");
  EXPECT_EQ(window_.text("FTPOCO"), "    1");
  EXPECT_EQ(window_.text("FTPOCP"), "") << "no item loaded: the items counter is not written";
  EXPECT_TRUE(window_.boxes.empty());
  r = {};
  auto t = reopen("ESH_HLA.DBF");
  ASSERT_EQ(t->record_count(), 1u);
  t->go_top();
  EXPECT_EQ(t->get("CZAK").num(), 1001);
  EXPECT_EQ(t->get("DATO").date_value(), xbase::Date::from_ymd(2024, 5, 17));
  EXPECT_EQ(t->get("JMENO").str(), "Jan" + std::string(17, ' '));
  EXPECT_EQ(t->get_text("PRIJMENI"), "Novák");
  EXPECT_EQ(t->get("NAZD").str(), "Šťastná firma s.r.o. a synové" + std::string(11, ' '));
  EXPECT_EQ(t->get_text("ULD"), "Dlouhá 5");
  EXPECT_EQ(t->get("MIST").str(), "Ústí nad Labem-Střek     ") << "20 characters read, 25 stored";
  EXPECT_EQ(t->get("PSC").str(), "110 00  ");
  EXPECT_EQ(t->get("NSTAT").str(), "CZ" + std::string(13, ' '));
  EXPECT_EQ(t->get_text("TEL"), "+420 777 12345");
  EXPECT_EQ(t->get_text("EMAIL"), "jan@example.cz");
  EXPECT_EQ(t->get("ICO").num(), 12345678);
  EXPECT_EQ(t->get("REGC").str(), "CZ12345678ABCDE");
  EXPECT_EQ(t->get("DOPRAVA").str(), std::string(30, ' '));
  EXPECT_EQ(t->get("DOPRVNE").num(), 0);
  // The text reaches the file in the tables' code page.
  EXPECT_EQ(t->raw_bytes(t->field_index("PRIJMENI")).substr(0, 5),
            xbase::CodePage::cp852().from_utf8("Novák"));
}

TEST_F(Loading, PutsEveryItemFieldAndIndexesTheItemsByOrderNumber) {
  Item a, b, c;
  a.czak = "      1002";
  b.czak = "1001      ";
  b.cipo = "KARTA-02-LONGER!";
  b.cenb = "  1234.5     ";
  b.kusy = "2.5";
  c.czak = "1003";
  c.sazba = "12.5";
  Header h;
  auto r = load(h.bytes() + a.bytes() + "\n" + b.bytes() + "\r" + c.bytes());
  ASSERT_EQ(r.outcome, LoadOutcome::kLoaded);
  EXPECT_EQ(r.item_count, 3u);
  EXPECT_EQ(window_.text("FTPOCP"), "    3");
  // The items come back open, ordered by WIESPOL.NTX.
  ASSERT_TRUE(r.items && r.items->used());
  EXPECT_EQ(r.items->order_count(), 1u);
  std::vector<double> order;
  for (r.items->go_top(); !r.items->eof(); r.items->skip())
    order.push_back(r.items->field_get("CZAK").num());
  EXPECT_EQ(order, (std::vector<double>{1001, 1002, 1003}));
  EXPECT_TRUE(r.items->seek(xbase::Value::number(1002)));
  EXPECT_EQ(r.items->recno(), 1u);
  r = {};
  auto t = reopen("ESH_POL.DBF");
  t->go_to(2);
  EXPECT_EQ(t->get("CZAK").num(), 1001);
  EXPECT_EQ(t->get("CIPO").str(), "KARTA-02-LONGER!");
  EXPECT_EQ(t->get_text("NAZEV"), "Šroub M6");
  EXPECT_EQ(t->get_text("VYROBCE"), "Železářství");
  EXPECT_EQ(t->get("CENB").num(), 1234.5);
  EXPECT_EQ(t->get("CENS").num(), 12.71);
  EXPECT_EQ(t->get("KUSY").num(), 2.5);
  EXPECT_EQ(t->raw_bytes(t->field_index("KUSY")), "      2.500");
  EXPECT_EQ(t->get("SAZBA").num(), 21);
  t->go_to(3);
  EXPECT_EQ(t->get("SAZBA").num(), 12.5);
  // WIESPOL.NTX is a valid index of CZAK over the three items.
  auto bag = xbase::open_ntx(program_.file("WIESPOL.NTX"), *t, {});
  EXPECT_EQ(bag->order(0).expression(), "CZAK");
  std::vector<uint32_t> recnos;
  bag->order(0).verify([&](const xbase::IndexKey& k) { recnos.push_back(k.recno); });
  EXPECT_EQ(recnos, (std::vector<uint32_t>{2, 1, 3}));
}

TEST_F(Loading, EachLoadingEmptiesTheWorkTablesFirst) {
  Header h;
  Item i;
  ASSERT_EQ(load(h.bytes() + h.bytes() + i.bytes()).outcome, LoadOutcome::kLoaded);
  h.czak = "7";
  i.czak = "7";
  auto r = load(h.bytes() + "\r\n" + i.bytes());
  ASSERT_EQ(r.outcome, LoadOutcome::kLoaded);
  EXPECT_EQ(r.headers->record_count(), 1u);
  EXPECT_EQ(r.items->record_count(), 1u);
  r.headers->go_top();
  EXPECT_EQ(r.headers->field_get("CZAK").num(), 7);
  EXPECT_EQ(window_.text("FTPOCO"), "    1") << "the counters start again at each run";
}

TEST_F(Loading, ARecordOfUnknownTypeStopsTheReadingAndKeepsWhatCameBefore) {
  Header h;
  Item i;
  for (char bad : {'C', 'P', ' ', 'x'}) {
    std::string odd = i.bytes();
    odd[0] = bad;
    window_.boxes.clear();
    auto r = load(h.bytes() + "\r\n" + i.bytes() + "\r\n" + odd + "\r\n" + h.bytes());
    EXPECT_EQ(r.outcome, LoadOutcome::kUnknownRecord) << bad;
    EXPECT_FALSE(r.run_on());
    ASSERT_EQ(window_.boxes.size(), 1u);
    EXPECT_EQ(window_.boxes[0].kind, ui::BoxRecord::Kind::kWarning);
    EXPECT_EQ(window_.boxes[0].caption, "Akce odmítnuta!");
    EXPECT_EQ(window_.boxes[0].text,
              "Neznámý typ věty!\n" + xbase::CodePage::cp1250().to_utf8(odd.substr(0, 40)));
    EXPECT_EQ(r.headers->record_count(), 1u) << "the header after it is not loaded";
    EXPECT_EQ(r.items->record_count(), 1u);
    EXPECT_EQ(r.items->order_count(), 1u) << "the index is made all the same";
  }
}

// The document ends inside its last record (the transfer broke off): that record is listed,
// not loaded, and a cut item holds its order back from the posting.
TEST_F(Loading, ARecordCutByTheEndOfTheDocumentIsListedNotLoaded) {
  Header h;
  Item i;
  auto r = load(h.bytes() + "\r\n" + i.bytes() + "\r\n" + h.bytes().substr(0, 55));
  ASSERT_EQ(r.outcome, LoadOutcome::kLoaded);
  EXPECT_TRUE(r.cut_short);
  EXPECT_EQ(r.headers->record_count(), 1u);
  EXPECT_EQ(r.header_count, 1u);
  EXPECT_TRUE(r.held_back.empty()) << "a cut header has no items loaded";
  ASSERT_FALSE(window_.rows().empty());
  EXPECT_EQ(window_.rows().back(),
            (std::vector<std::string>{"    1001", "Věta je zkrácená koncem dokumentu"}));
  r = {};
  r = load(h.bytes() + i.bytes().substr(0, 20));
  EXPECT_TRUE(r.cut_short);
  EXPECT_EQ(r.items->record_count(), 0u);
  EXPECT_EQ(r.held_back, (std::vector<import::HeldOrder>{{1001, "Objednávka nepřišla celá"}}));
  // Cut right after the type letter: the reader takes no record, the loading still sees it.
  for (const char* tail : {"\r\np", "p", "\r\nc"}) {
    r = {};
    r = load(h.bytes() + tail);
    EXPECT_TRUE(r.cut_short) << tail;
    EXPECT_EQ(r.held_back.size(), std::string_view(tail).back() == 'c' ? 0u : 1u) << tail;
    EXPECT_EQ(window_.rows().back(),
              (std::vector<std::string>{"", "Věta je zkrácená koncem dokumentu"}));
  }
  r = {};
  r = load(h.bytes() + "\r\n" + i.bytes() + "\r\nx");
  EXPECT_FALSE(r.cut_short) << "whole records";
}

TEST_F(Loading, AnyMixOfLineEndsLoadsAsRecordsWithoutSeparators) {
  Header h1, h2;
  h2.czak = "2002";
  Item i1, i2;
  i2.czak = "2002";
  auto fingerprint = [&](const std::string& doc) {
    auto r = load(doc);
    EXPECT_EQ(r.outcome, LoadOutcome::kLoaded);
    std::string all;
    for (auto* s : {r.headers.get(), r.items.get()}) {
      xbase::DbfTable& t = *s->table();
      for (uint32_t n = 1; n <= t.record_count(); ++n) {
        t.go_to(n);
        for (int f = 0; f < t.field_count(); ++f) all += t.raw_bytes(f) + "|";
      }
    }
    return all;
  };
  std::string direct = fingerprint(h1.bytes() + i1.bytes() + h2.bytes() + i2.bytes());
  EXPECT_NE(direct, "");
  EXPECT_EQ(fingerprint(h1.bytes() + "\r\n" + i1.bytes() + "\r\n" + h2.bytes() + "\r\n" +
                        i2.bytes() + "\r\n"),
            direct);
  EXPECT_EQ(fingerprint(h1.bytes() + "\n\n" + i1.bytes() + "\r" + h2.bytes() + "\r\n\r\n" +
                        i2.bytes() + "\r\n\r\n\r\n"),
            direct);
  EXPECT_TRUE(window_.boxes.empty()) << "mend 3: no \"Neznámý typ věty!\" after the last line end";
}

TEST_F(Loading, ADocumentOverSixtyFourKilobytesIsLoadedWhole) {
  // Mend 2: 700 orders of two items, about 400 KB.
  std::string doc;
  for (int n = 1; n <= 700; ++n) {
    Header h;
    h.czak = std::to_string(n);
    Item i;
    i.czak = std::to_string(n);
    doc += h.bytes() + "\r\n" + i.bytes() + "\r\n" + i.bytes() + "\r\n";
  }
  ASSERT_GT(doc.size(), 65536u * 6);
  auto r = load(doc);
  ASSERT_EQ(r.outcome, LoadOutcome::kLoaded);
  EXPECT_EQ(r.header_count, 700u);
  EXPECT_EQ(r.item_count, 1400u);
  EXPECT_EQ(window_.text("FTPOCO"), "  700");
  EXPECT_EQ(window_.text("FTPOCP"), " 1400");
  EXPECT_EQ(r.headers->record_count(), 700u);
  r.headers->go_bottom();
  EXPECT_EQ(r.headers->field_get("CZAK").num(), 700);
  EXPECT_TRUE(r.items->seek(xbase::Value::number(700)));
  EXPECT_EQ(r.items->recno(), 1399u);
  EXPECT_TRUE(window_.boxes.empty());
}

// A number too wide for its work-table field is never stored as asterisks (read back as 0):
// the field stays blank and its order is held back, naming the field.
TEST_F(Loading, ANumberTooWideForItsFieldHoldsItsOrderBack) {
  Header h;
  h.ico = "123456789012";
  Item i;
  i.sazba = "1000";  // N 4,1 holds at most 99.9
  Item j;
  j.czak = "1002";
  j.cenb = "1234567890123";  // N 11,2
  auto r = load(h.bytes() + i.bytes() + j.bytes());
  ASSERT_EQ(r.outcome, LoadOutcome::kLoaded);
  r.headers->go_top();
  EXPECT_EQ(r.headers->table()->raw_bytes(r.headers->table()->field_index("ICO")), "          ");
  r.items->go_top();
  EXPECT_EQ(r.items->field_get("KUSY").num(), 3) << "the fields after it are loaded";
  EXPECT_EQ(r.held_back, (std::vector<import::HeldOrder>{
                             {1001, "Hodnota 123456789012 se nevejde do pole ESH_HLA.ICO"},
                             {1002, "Hodnota 1234567890123 se nevejde do pole ESH_POL.CENB"}}));
}

TEST_F(Loading, AWorkTableThatCannotBeOpenedStopsTheRun) {
  // Mend 4: another copy of the program holds ESH_POL.DBF.
  prepare_();
  auto held = hold(program_.file("ESH_POL.DBF"), xbase::ShareMode::kExclusive);
  Header h;
  auto r = load(h.bytes());
  EXPECT_EQ(r.outcome, LoadOutcome::kNoWorkTable);
  EXPECT_FALSE(r.run_on());
  EXPECT_FALSE(r.items);
  ASSERT_EQ(window_.boxes.size(), 1u);
  EXPECT_EQ(window_.boxes[0].text, datatest::exclusive_warning(program_.file("ESH_POL.DBF")));
  EXPECT_EQ(window_.text("FTPOCO"), "") << "nothing loaded";
  held.reset();
  r = {};
  EXPECT_EQ(reopen("ESH_HLA.DBF")->record_count(), 0u);
  EXPECT_FALSE(xbase::file_system().exists(program_.file("WIESPOL.NTX")));
}

}  // namespace
