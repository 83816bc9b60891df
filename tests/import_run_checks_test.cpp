// What the posting checks before it writes, end to end on copies of the fixture folders: the
// stock cards' Iczas order, index files that cannot be kept, the tables' layouts, numbers too
// wide for their fields, a partner counter behind DOOD or past FIRMA, item numbers longer than
// a stock card holds or POZAD holds, a narrower DOOD name, an order total of the lines written,
// and a confirmation the shop did not take.
#include <filesystem>

#include "app/cli_run.h"
#include "app/run_log.h"
#include "import/posting.h"
#include "tests/import_run_fixture.h"

namespace {

using namespace runtest;
using End = app::RunRecord::End;
using testutil::header;
using testutil::item;

class PostingChecks : public ImportRunTest {
 protected:
  void use_narrow_folder() { testutil::copy_fixture("small-alt-bin-s12", target_.path()); }

  // A refusal before the first order: its box, nothing written, the shop not told.
  void expect_refused(const std::string& text) {
    const auto before = counts();
    const app::RunRecord& r = run();
    EXPECT_EQ(r.end, End::kNotOpened);
    EXPECT_FALSE(r.confirmation_sent);
    EXPECT_EQ(shop_.requests().back(), kExport);
    ASSERT_FALSE(window_.boxes.empty());
    EXPECT_EQ(window_.boxes[0].caption, "Akce odmítnuta!");
    EXPECT_NE(window_.boxes[0].text.find(text), std::string::npos) << window_.boxes[0].text;
    EXPECT_EQ(counts(), before);
  }

  // Renames a field in a table's header (or gives it another type or number of decimals), as
  // another installation has the table.
  void rename_field(const char* table, const std::string& from, const std::string& to,
                    char type = 0, char decimals = -1) {
    auto f = xbase::file_system().open(xbase::file_system().resolve_case(target_.file(table)),
                                       xbase::OpenOptions{});
    std::string head(1024, '\0');
    f->read_at(0, head.data(), head.size());
    size_t at = head.find(from + std::string(1, '\0'));
    ASSERT_NE(at, std::string::npos) << from;
    f->write_at(at, to.data(), to.size());
    if (type) f->write_at(at + 11, &type, 1);
    if (decimals >= 0) f->write_at(at + 17, &decimals, 1);
  }

  // Narrows a field as another installation has it: the width taken off goes to the field
  // after it, so the records stay as they are; then the table's indexes are built anew.
  void narrow_field(const char* table, const std::string& field, char width) {
    const std::string dbf = xbase::file_system().resolve_case(target_.file(table));
    {
      auto f = xbase::file_system().open(dbf, xbase::OpenOptions{});
      std::string head(1024, '\0');
      f->read_at(0, head.data(), head.size());
      size_t at = head.find(field + std::string(1, '\0'));
      ASSERT_NE(at, std::string::npos) << field;
      const char next = static_cast<char>(head[at + 48] + head[at + 16] - width);
      f->write_at(at + 16, &width, 1);
      f->write_at(at + 48, &next, 1);
    }
    const std::map<std::string, std::vector<std::string>> bags = {
        {"ZAK.DBF", {"CIZA.NTX", "NZAK.NTX", "TCIZA.NTX", "INAZAK.NTX", "ISPZZ.NTX"}},
        {"DOOD.DBF", {"IICO.CDX", "NAZO.CDX", "IFIRM.CDX"}},
        {"POZAD.DBF", {"IPOZZ.CDX", "IPOZF.CDX", "IPOZC.CDX", "IPOCF.CDX", "IPOZR.CDX"}}};
    std::vector<std::string> args = {"reindex", dbf};
    for (const std::string& bag : bags.at(table)) args.push_back(target_.file(bag));
    // The old keys were cut at the old width, so they show no rules: name the fixture's.
    args.insert(args.end(), {"--collation", "binary", "--case", "codepage"});
    std::ostringstream out, err;
    ASSERT_EQ(dbftool::run(args, out, err), 0) << err.str();
  }

  void set_counter(double v) {
    auto posci = open("POSCI");
    posci->go_to(1);
    posci->put("PCDOOD", xbase::Value::number(v));
    posci->commit();
  }
};

// Without Mater.cdx the second order is Iskp: the cards are still sought in Iczas and found.
// Without Iczas.cdx the posting does not start.
TEST_F(PostingChecks, StockCardsAreSoughtInIczasAndWithoutItNothingIsPosted) {
  window_.set_checked("ZALOZKARTU", true);
  xbase::file_system().remove(xbase::file_system().resolve_case(target_.file("Mater.cdx")));
  serve(testutil::document(
      {header("7001", "Firma podle IČO", "27719111"), item("7001", "SP000030")}));
  const auto before = counts();
  EXPECT_EQ(run().end, End::kPosted);
  EXPECT_EQ(count("ZAS"), before.at("ZAS")) << "no duplicate card";
  auto pozad = open("POZAD");
  pozad->go_to(before.at("POZAD") + 1);
  EXPECT_EQ(text(*pozad, "OZN"), "Chránička ohebná O 6") << "the card's name";
  pozad.reset();
  std::filesystem::copy_file(testutil::fixture("small-mixed-bin-s1") + "/Mater.cdx",
                             target_.file("Mater.cdx"));  // ZAS is as it was
  expect_indexes_ok();

  xbase::file_system().remove(xbase::file_system().resolve_case(target_.file("Iczas.cdx")));
  serve(testutil::document({header("7002", "Firma"), item("7002", "SP000030")}));
  expect_refused("Chybí index Iczas.cdx");
}

// An index file that exists but cannot be opened is never skipped; a layout without a field
// the posting writes, or with it of another type, is refused before the first order.
TEST_F(PostingChecks, DamagedIndexesAndOddLayoutsAreRefusedBeforeTheFirstOrder) {
  serve(testutil::document({header("7101", "Firma"), item("7101", "SP000030")}));
  testutil::write_file(target_.file("Idrzas.cdx"), std::vector<char>(1536, '\x01'));
  expect_refused("skoncilo chybou");
  EXPECT_NE(window_.boxes[0].text.find("Otevreni souboru"), std::string::npos);
  testutil::copy_fixture("small-mixed-bin-s1", target_.path());

  // IPOZR's key names the field: an index the layer cannot evaluate.
  rename_field("POZAD.DBF", "IDPROD", "IDPROX");
  expect_refused("IPOZR");
  rename_field("POZAD.DBF", "IDPROX", "IDPROD");
  rename_field("POZAD.DBF", "JEDN", "JEDX");
  expect_refused("V tabulce POZAD chybí pole JEDN.");
  rename_field("POZAD.DBF", "JEDX", "JEDN");
  rename_field("ZAK.DBF", "JEDOK", "JEDOK", 'C');
  expect_refused("Pole JEDOK v tabulce ZAK musí být logické.");
}

// A quantity too wide for POZAD POCET (made 9.4 here), an ICO too wide for DOOD ICO (8) and a
// total too wide for ZAK CAST (10.2): the item or the order is rejected unwritten, never
// asterisks.
TEST_F(PostingChecks, NumbersThatDoNotFitTheirFieldsAreRejected) {
  use_narrow_folder();
  rename_field("POZAD.DBF", "POCET", "POCET", 'N', 4);
  serve(testutil::document(
      {header("7201", "Firma"), item("7201", "SP000019", "Velké", "1.00", "123456"),
       item("7201", "SP000019", "Dobré", "2.00", "5"), header("7202", "Nová s.r.o.", "1234567890"),
       item("7202", "SP000019"), header("7203", "Firma"),
       item("7203", "SP000019", "Drahé", "99999.00", "999")}));
  const auto before = counts();
  const app::RunRecord& r = run();
  EXPECT_EQ(r.end, End::kPosted);
  EXPECT_TRUE(r.confirmation_sent);
  EXPECT_EQ(r.rejected, (Rows{{"    7201", "Hodnota 123456 se nevejde do pole POZAD.POCET"},
                              {"    7202", "Hodnota 1234567890 se nevejde do pole DOOD.ICO"},
                              {"    7203", "Hodnota 99899001 se nevejde do pole ZAK.CAST"}}));
  EXPECT_EQ(window_.text("FTPCHY"), "   2");
  EXPECT_EQ(window_.text("FTKCHY"), "   1");
  EXPECT_EQ(count("ZAK"), before.at("ZAK") + 1);
  EXPECT_EQ(count("POZAD"), before.at("POZAD") + 1);
  EXPECT_EQ(counts().at("DOOD"), before.at("DOOD") + 1) << "7201's new partner only";
  auto pozad = open("POZAD");
  pozad->go_to(before.at("POZAD") + 1);
  EXPECT_EQ(num(*pozad, "POCET"), 5);
  EXPECT_EQ(num(*pozad, "IDPROD"), 10);
  auto zak = open("ZAK");
  zak->go_to(before.at("ZAK") + 1);
  EXPECT_EQ(num(*zak, "CZAK"), 7201);
  EXPECT_DOUBLE_EQ(num(*zak, "CAST"), 10);
  pozad.reset();
  zak.reset();
  expect_indexes_ok();
}

// An order or partner number too wide for a field of ZAK or POZAD, or a price too wide for
// the work table: the order is rejected naming the field, nothing of it written.
TEST_F(PostingChecks, OrderAndPartnerNumbersThatDoNotFitRejectTheOrder) {
  struct Case {
    const char* table;
    const char* field;
    char width;
    std::string czak, cenb, why;
  };
  const Case cases[] = {
      {"ZAK.DBF", "CZAK", 6, "7701001", "10.50", "Hodnota 7701001 se nevejde do pole ZAK.CZAK"},
      {"POZAD.DBF", "CZAK", 6, "7702001", "10.50", "Hodnota 7702001 se nevejde do pole POZAD.CZAK"},
      {"ZAK.DBF", "FIRM", 2, "7703", "10.50", "Hodnota 500 se nevejde do pole ZAK.FIRM"},
      {"POZAD.DBF", "FIRM", 2, "7704", "10.50", "Hodnota 500 se nevejde do pole POZAD.FIRM"},
      {nullptr, nullptr, 0, "7705", "1234567890123",
       "Hodnota 1234567890123 se nevejde do pole ESH_POL.CENB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    testutil::copy_fixture("small-mixed-bin-s1", target_.path());
    if (c.table) narrow_field(c.table, c.field, c.width);
    set_counter(499);  // a new partner gets 500
    serve(testutil::document(
        {header(c.czak, "Nová firma"), item(c.czak, "SP000030", "Zboží", c.cenb, "1")}));
    const auto before = counts();
    const app::RunRecord& r = run();
    EXPECT_EQ(r.end, End::kPosted);
    EXPECT_TRUE(r.confirmation_sent);
    EXPECT_EQ(r.rejected, (Rows{{import::order_text(std::stod(c.czak)), c.why}}));
    EXPECT_EQ(window_.text("FTPCHY"), "   1");
    auto after = counts();
    after.erase("POSCI");  // a new partner's number may have been drawn
    auto want = before;
    want.erase("POSCI");
    EXPECT_EQ(after, want);
  }
  expect_indexes_ok();
}

// POSCI behind DOOD (a restored backup): the numbers DOOD holds are passed over. A counter
// past what FIRMA holds stops the posting before the order is written.
TEST_F(PostingChecks, ANewPartnerNeverGetsANumberDoodHolds) {
  set_counter(1);  // 2 is taken, 3 is free
  serve(testutil::document({header("7301", "Nová firma"), item("7301", "SP000030")}));
  const auto before = counts();
  EXPECT_EQ(run().end, End::kPosted);
  auto dood = open("DOOD");
  dood->go_to(before.at("DOOD") + 1);
  EXPECT_EQ(num(*dood, "FIRMA"), 3);
  auto zak = open("ZAK");
  zak->go_to(before.at("ZAK") + 1);
  EXPECT_EQ(num(*zak, "FIRM"), 3);
  auto posci = open("POSCI");
  posci->go_to(1);
  EXPECT_EQ(num(*posci, "PCDOOD"), 3);
  dood.reset();
  zak.reset();
  posci.reset();
  expect_indexes_ok();

  set_counter(99999);
  serve(testutil::document({header("7302", "Jiná nová firma"), item("7302", "SP000030")}));
  const auto held = counts();
  const app::RunRecord& r = run();
  EXPECT_EQ(r.end, End::kStopped);
  EXPECT_FALSE(r.confirmation_sent);
  ASSERT_FALSE(window_.boxes.empty());
  EXPECT_NE(window_.boxes[0].text.find("Počítadlo partnerů PCDOOD"), std::string::npos);
  auto after = counts();
  after.erase("POSCI");
  auto want = held;
  want.erase("POSCI");
  EXPECT_EQ(after, want);
}

// DOOD NAZD narrower than ZAK NAZD: a new customer's name is sought as DOOD stores it, so the
// next order finds the partner rather than adding it again.
TEST_F(PostingChecks, ALongNameIsFoundAgainInANarrowerDood) {
  narrow_field("DOOD.DBF", "NAZD", 20);
  const std::string name = "Velmi dlouhý název odběratele";
  const auto before = counts();
  for (const char* czak : {"7801", "7802"}) {
    serve(testutil::document({header(czak, name), item(czak, "SP000030")}));
    EXPECT_EQ(run().end, End::kPosted);
  }
  EXPECT_EQ(count("DOOD"), before.at("DOOD") + 1) << "found again";
  auto zak = open("ZAK");
  auto dood = open("DOOD");
  zak->go_to(zak->record_count());
  dood->go_to(dood->record_count());
  EXPECT_EQ(num(*zak, "CZAK"), 7802);
  EXPECT_EQ(num(*zak, "FIRM"), num(*dood, "FIRMA"));
  EXPECT_EQ(text(*dood, "NAZD"), "Velmi dlouhý název o");
  zak.reset();
  dood.reset();
  expect_indexes_ok();
}

// A rejected item counts nowhere: ZAK CAST is the sum of the lines written. An item number
// POZAD's CIPO (made 10 here) cannot hold is rejected, never cut, and makes no card.
TEST_F(PostingChecks, RejectedItemsStayOutOfTheTotalAndPozadCipoIsNeverCut) {
  narrow_field("POZAD.DBF", "CIPO", 10);
  window_.set_checked("ZALOZKARTU", true);
  serve(testutil::document({header("7901", "Firma"),
                            item("7901", "NOVA-KARTA-12", "Nová", "99999999.00", "999"),
                            item("7901", "SP000030", "Dobré", "2.00", "5")}));
  const auto before = counts();
  const app::RunRecord& r = run();
  EXPECT_EQ(r.rejected, (Rows{{"    7901", "NOVA-KARTA-12 se nevejde do pole POZAD.CIPO"}}));
  EXPECT_EQ(count("ZAS"), before.at("ZAS"));
  EXPECT_EQ(count("POZAD"), before.at("POZAD") + 1);
  auto zak = open("ZAK");
  zak->go_to(zak->record_count());
  EXPECT_EQ(num(*zak, "CZAK"), 7901);
  EXPECT_DOUBLE_EQ(num(*zak, "CAST"), 10);
  zak.reset();
  expect_indexes_ok();
}

// CIPO holds 12 characters here: a longer item number would make a card nobody finds again.
TEST_F(PostingChecks, AnItemNumberLongerThanTheCardsIsRejected) {
  use_narrow_folder();
  window_.set_checked("ZALOZKARTU", true);
  serve(testutil::document(
      {header("7401", "Firma"), item("7401", "NOVA-KARTA-123"), item("7401", "SP000019")}));
  const auto before = counts();
  const app::RunRecord& r = run();
  EXPECT_EQ(r.rejected, (Rows{{"    7401", "NOVA-KARTA-123 je delší, než pojme skl.karta"}}));
  EXPECT_EQ(count("ZAS"), before.at("ZAS"));
  EXPECT_EQ(count("POZAD"), before.at("POZAD") + 1);
  expect_indexes_ok();
}

// The confirmation answered with an error: the log says it failed and why, importobj-cli ends
// with its own status. After the run the focus is on the start button again.
TEST_F(PostingChecks, AConfirmationTheShopRefusedIsReportedAsFailed) {
  shop_.serve(
      kExport,
      {200, testutil::document({header("7501", "Firma"), item("7501", "SP000030")}), "", false});
  shop_.serve(kConfirm, {500, "", "", false});
  window_.focus("NZAS");  // where disabling the button moves it
  const app::RunRecord& r = run();
  EXPECT_EQ(r.end, End::kPosted);
  EXPECT_TRUE(r.confirmation_tried);
  EXPECT_FALSE(r.confirmation_sent);
  EXPECT_EQ(r.confirmation_status, 500);
  EXPECT_NE(app::RunLog::Block(r, app::LogTime{}, "")
                .find("Potvrzení e-shopu: selhalo, e-shop odpověděl stavem 500\r\n"),
            std::string::npos);
  EXPECT_EQ(app::exit_code(r), app::kExitUnconfirmed);
  EXPECT_EQ(window_.focused, "SPUSTIT") << "the focus back on the button, not on a check box";
  serve(testutil::document({header("7502", "Firma"), item("7502", "SP000030")}));
  EXPECT_EQ(app::exit_code(run()), app::kExitPosted);
}

}  // namespace
