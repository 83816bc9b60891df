// The import run's early stops and the faults it must survive, end to end with the shop on
// loopback: refusals before any request, documents that are no document or malformed, a record
// of unknown type, tables that cannot be opened, a cancelled retry, a document over 64 KB and
// line ends after the last record. The shop hears of the export only after a posting over
// every order.
#include "app/run_log.h"
#include "tests/import_run_fixture.h"

#ifndef _WIN32
#include "tests/support/table_holder_posix.h"
#endif

namespace {

using namespace runtest;
using End = app::RunRecord::End;
using testutil::header;
using testutil::item;

const char* const kRefused = "Akce odmítnuta!";

// Before any request: no control disabled, nothing shown as running.
void expect_untouched(ui::MemoryWindow& w) {
  for (const char* c : {"WKAM", "TLKAM", "WISERV", "SPUSTIT", "ULOZIT", "ENDDIALOG"})
    EXPECT_TRUE(w.enabled(c)) << c;
  EXPECT_FALSE(w.visible("FTPRO"));
  EXPECT_EQ(w.text("FTPC"), "");
  EXPECT_EQ(w.busy_changes, std::vector<bool>{false}) << "only the normal pointer is set";
}

TEST_F(ImportRunTest, ABlankAddressOrAFolderWithoutTheTablesIsRefusedBeforeAnyRequest) {
  serve(testutil::document({header("5201", "Firma"), item("5201", "SP000030")}));
  window_.set_text("WISERV", "    ");
  const app::RunRecord& blank = run();
  EXPECT_EQ(blank.end, End::kRefused);
  EXPECT_EQ(box_texts(), (std::vector<std::pair<std::string, std::string>>{
                             {kRefused, "Není uvedeno označení serveru!"}}));
  expect_untouched(window_);

  window_.set_text("WISERV", shop_.url(kExport));
  xbase::file_system().remove(target_.file("IDENT.DBF"));
  const app::RunRecord& missing = run();
  EXPECT_EQ(missing.end, End::kRefused);
  EXPECT_EQ(box_texts(), (std::vector<std::pair<std::string, std::string>>{
                             {kRefused, "Na zadané cestě kam, nejsou\rsdílená data Kontor!"}}));
  expect_untouched(window_);
  EXPECT_TRUE(shop_.requests().empty());
  EXPECT_FALSE(xbase::file_system().exists(program_.file("ESH_HLA.DBF")));
}

// No connection, an error status (its body is not a document), an empty answer, or only
// blanks and line ends: the same refusal, one request, no confirmation.
TEST_F(ImportRunTest, NoDocumentStopsAfterTheDownloadWithoutConfirming) {
  struct Case {
    const char* what;
    int status;
    std::string body;
    bool closed_port;
  };
  const std::string orders = testutil::document({header("5301", "Firma"), item("5301", "X")});
  const Case cases[] = {{"404 with a document", 404, orders, false},
                        {"500", 500, orders, false},
                        {"empty", 200, "", false},
                        {"blanks and line ends", 200, " \r\n\t\n\r  ", false},
                        {"nobody listening", 200, "", true}};
  const auto before = counts();
  size_t requests = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    serve(c.body, c.status);
    window_.set_text("FTPSTATUS", "");
    window_.set_text(
        "WISERV",
        c.closed_port
            ? "http://127.0.0.1:" + std::to_string(testutil::LoopbackHttp::closed_port()) + kExport
            : shop_.url(kExport));
    const app::RunRecord& r = run();
    EXPECT_EQ(r.end, End::kNoDocument);
    EXPECT_FALSE(r.confirmation_sent);
    EXPECT_EQ(
        box_texts(),
        (std::vector<std::pair<std::string, std::string>>{
            {kRefused, "Buď se nepodařilo spojení se serverem nebo nejsou žádné objednávky!"}}));
    EXPECT_EQ(window_.text("FTPSTATUS"), "Z Bazaro nebyla načtena žádná objednávka");
    EXPECT_EQ(window_.text("FTPC"), "HTTP načtení ze serveru");
    EXPECT_TRUE(window_.visible("FTPRO")) << "hidden only by the closing steps";
    expect_controls_after_run();
    if (!c.closed_port) ++requests;
    EXPECT_EQ(shop_.requests(), std::vector<std::string>(requests, kExport));
  }
  EXPECT_EQ(counts(), before);
  EXPECT_FALSE(xbase::file_system().exists(program_.file("ESH_HLA.DBF")));
}

// A document that does not begin with a lower-case c: the box shows its first 40 characters
// and the 40 from position 260 (empty when the document is shorter).
TEST_F(ImportRunTest, AWrongFirstLetterShowsTheTwoExcerptsAndStops) {
  std::string long_doc = "C" + std::string(1, '\xE8') + "ast";  // "Cčast" in Windows-1250
  while (long_doc.size() < 330) long_doc += static_cast<char>('a' + long_doc.size() % 26);
  const std::string good = header("5401", "Firma");
  const std::string cases[] = {long_doc, " " + good, "\r\n" + good, "p" + good.substr(1), "x"};
  for (size_t k = 0; k < std::size(cases); ++k) {
    SCOPED_TRACE(k);
    const std::string& doc = cases[k];
    serve(doc);
    const app::RunRecord& r = run();
    EXPECT_EQ(r.end, End::kMalformed);
    EXPECT_FALSE(r.confirmation_sent);
    ASSERT_EQ(window_.boxes.size(), 1u);
    EXPECT_EQ(window_.boxes[0].caption, kRefused);
    std::string second = doc.size() > 259 ? doc.substr(259, 40) : "";
    // The document is Windows-1250; the box shows it as text.
    EXPECT_EQ(window_.boxes[0].text, "Načtený soubor nemá strukturu objednávek!\n" +
                                         xbase::CodePage::cp1250().to_utf8(doc.substr(0, 40)) +
                                         "\n" + xbase::CodePage::cp1250().to_utf8(second));
    EXPECT_EQ(window_.text("FTPSTATUS"), "Chybná struktura objednávek");
    EXPECT_TRUE(window_.visible("FTPRO"));
    expect_controls_after_run();
  }
  // Under 260 characters the third line is empty; over it, it holds positions 260 to 299.
  serve(" short");
  run();
  EXPECT_EQ(window_.boxes.at(0).text, "Načtený soubor nemá strukturu objednávek!\n short\n");
  serve(long_doc);
  run();
  EXPECT_EQ(window_.boxes.at(0).text.substr(window_.boxes[0].text.rfind('\n') + 1),
            long_doc.substr(259, 40));
  EXPECT_EQ(shop_.requests().size(), std::size(cases) + 2) << "never a confirmation";
  EXPECT_FALSE(xbase::file_system().exists(program_.file("ESH_HLA.DBF")));
}

// A record of unknown type: its box, then the closing steps, but nothing posted and, unlike
// the text the shop's export was built for, no confirmation: the shop would drop the orders.
TEST_F(ImportRunTest, ARecordOfUnknownTypeEndsTheRunWithoutPostingOrConfirming) {
  const std::string bad = "P" + item("5501", "SP000030").substr(1);
  serve(testutil::document(
      {header("5501", "Firma"), item("5501", "SP000030"), bad, header("5502", "Další")}));
  const auto before = counts();
  const app::RunRecord& r = run();
  EXPECT_EQ(r.end, End::kUnknownRecord);
  EXPECT_FALSE(r.confirmation_sent);
  EXPECT_EQ(shop_.requests(), std::vector<std::string>{kExport});
  EXPECT_EQ(
      box_texts(),
      (std::vector<std::pair<std::string, std::string>>{
          {kRefused, "Neznámý typ věty!\n" + xbase::CodePage::cp1250().to_utf8(bad.substr(0, 40))},
          {"Oznámení", "Přenos objednávek ukončen."}}));
  EXPECT_EQ(r.read_orders, 1u);
  EXPECT_EQ(r.read_items, 1u);
  EXPECT_EQ(window_.text("FTPC"), "Hotovo");
  EXPECT_EQ(window_.text("FTPSTATUS"), "Přenos objednávek ukončen");
  EXPECT_FALSE(window_.visible("FTPRO"));
  EXPECT_EQ(window_.text("FTPDOB"), "0");
  expect_controls_after_run();
  EXPECT_EQ(counts(), before);
}

// A work table held by another copy of the program: OPDBF's message, nothing posted, no
// confirmation.
TEST_F(ImportRunTest, AWorkTableThatCannotBeOpenedStopsBeforeThePosting) {
  sdi_.VytvoreniDB();
  serve(testutil::document({header("5601", "Firma"), item("5601", "SP000030")}));
  const auto before = counts();
  app::RunRecord r;
  {
    auto held = hold(program_.file("ESH_POL.DBF"), xbase::ShareMode::kExclusive);
    r = run();
  }
  EXPECT_EQ(r.end, End::kNoWorkTable);
  EXPECT_FALSE(r.confirmation_sent);
  EXPECT_EQ(shop_.requests(), std::vector<std::string>{kExport});
  ASSERT_EQ(window_.boxes.size(), 2u);
  EXPECT_EQ(window_.boxes[0].caption, kRefused);
  EXPECT_NE(window_.boxes[0].text.find("ESH_POL"), std::string::npos) << window_.boxes[0].text;
  EXPECT_EQ(window_.boxes[1].caption, "Oznámení");
  EXPECT_EQ(window_.text("FTPC"), "Hotovo") << "the posting's phase never began";
  EXPECT_EQ(counts(), before);
  expect_controls_after_run();
}

// POSCI busy when a new partner needs its number and the retry declined: the orders before it
// stay posted, nothing of that order is written, the shop is not told.
TEST_F(ImportRunTest, ACancelledRetryStopsThePostingWithoutConfirming) {
  serve(testutil::document({header("5701", "Firma podle IČO", "27719111"), item("5701", "SP000030"),
                            header("5702", "Nová firma"), item("5702", "SP000030")}));
  const auto before = counts();
  app::RunRecord r;
  {
    auto held = hold(target_.file("POSCI.DBF"), xbase::ShareMode::kShared);
    window_.replies = {ui::Reply::kRetry, ui::Reply::kCancel};
    r = run();
  }
  EXPECT_EQ(r.end, End::kStopped);
  EXPECT_FALSE(r.confirmation_sent);
  EXPECT_EQ(shop_.requests(), std::vector<std::string>{kExport});
  EXPECT_EQ(questions().size(), 2u);
  EXPECT_EQ(questions()[0].text, datatest::kBusyQuestion);
  EXPECT_EQ(count("ZAK"), before.at("ZAK") + 1);
  EXPECT_EQ(count("DOOD"), before.at("DOOD"));
  EXPECT_EQ(count("POZAD"), before.at("POZAD") + 1);
  EXPECT_EQ(window_.text("FTPDOB"), "   1");
  EXPECT_EQ(window_.text("FTPC"), "Hotovo");
  expect_controls_after_run();
  expect_indexes_ok();
}

// ZAK held by another process (as the accounting program on another workstation holds it):
// after the declined retry nothing is posted, no counter moves, no confirmation.
TEST_F(ImportRunTest, AnAccountingTableHeldByAnotherProcessPostsNothing) {
#ifdef _WIN32
  GTEST_SKIP() << "the holder is a forked process";
#else
  serve(testutil::document({header("5801", "Firma"), item("5801", "SP000030")}));
  const auto before = counts();
  app::RunRecord r;
  {
    testutil::Holder held(target_.file("ZAK.DBF"), xbase::ShareMode::kShared);
    window_.replies = {ui::Reply::kCancel};
    r = run();
  }
  EXPECT_EQ(r.end, End::kNotOpened);
  EXPECT_FALSE(r.confirmation_sent);
  EXPECT_EQ(shop_.requests(), std::vector<std::string>{kExport});
  ASSERT_EQ(questions().size(), 1u);
  EXPECT_EQ(questions()[0].text, datatest::kBusyQuestion);
  EXPECT_EQ(window_.text("FTPDOB"), "0");
  EXPECT_EQ(window_.text("FTPC"), "Hotovo");
  EXPECT_TRUE(window_.rows().empty());
  EXPECT_EQ(counts(), before);
  expect_controls_after_run();
  expect_indexes_ok();
#endif
}

// Over 64 KB, with every mix of line ends between records and several after the last one:
// every order is read and posted, and the reading ends without a record of unknown type.
TEST_F(ImportRunTest, ALongDocumentWithMixedLineEndsIsPostedWhole) {
  const char* const seps[] = {"\r\n", "\n", "\r", "", "\n\r\n\r", "\r\r\n"};
  std::string doc;
  const int kOrders = 200;
  for (int k = 0; k < kOrders; ++k) {
    std::string czak = std::to_string(900000 + k);
    doc += header(czak, "Firma podle IČO", "27719111") + seps[k % 6];
    doc +=
        item(czak, k % 2 ? "SP000030" : "MAT-000010/T", "Zboží", "2.00", "1") + seps[(k + 1) % 6];
  }
  doc += "\r\n\r\n\n";
  ASSERT_GT(doc.size(), 65536u);
  serve(doc);
  const auto before = counts();
  const app::RunRecord& r = run();
  EXPECT_EQ(r.end, End::kPosted);
  EXPECT_TRUE(r.confirmation_sent);
  EXPECT_EQ(box_texts(), (std::vector<std::pair<std::string, std::string>>{
                             {"Oznámení", "Přenos objednávek ukončen."}}));
  EXPECT_EQ(window_.text("FTPOCO"), "  200");
  EXPECT_EQ(window_.text("FTPOCP"), "  200");
  EXPECT_EQ(window_.text("FTPDOB"), " 200");
  EXPECT_EQ(window_.text("FTKDOB"), " 200");
  EXPECT_TRUE(window_.rows().empty());
  EXPECT_EQ(count("ZAK"), before.at("ZAK") + kOrders);
  EXPECT_EQ(count("POZAD"), before.at("POZAD") + kOrders);
  EXPECT_EQ(count("DOOD"), before.at("DOOD"));
  EXPECT_EQ(shop_.requests(), (std::vector<std::string>{kExport, kConfirm}));
  auto zak = open("ZAK");
  zak->go_to(before.at("ZAK") + kOrders);
  EXPECT_EQ(num(*zak, "CZAK"), 900199);
  EXPECT_DOUBLE_EQ(num(*zak, "CAST"), 2);
  zak.reset();
  expect_indexes_ok();
}

// A record cut short by the end of the document (the transfer broke off): it is listed and
// not loaded, a cut item's order is not posted at all, and the shop is not told, so that it
// sends the export again whole.
TEST_F(ImportRunTest, RecordsCutShortByTheEndOfTheDocumentAreNotPostedNorConfirmed) {
  const std::string short_item = item("5901", "SP000030").substr(0, 28);
  serve(testutil::document({header("5900", "Firma"), item("5900", "SP000030"),
                            header("5901", "Firma podle IČO", "27719111"),
                            item("5901", "MAT-000010/T")}) +
        short_item);
  const auto before = counts();
  const app::RunRecord& r = run();
  EXPECT_EQ(r.end, End::kPosted);
  EXPECT_FALSE(r.confirmation_sent);
  EXPECT_EQ(shop_.requests(), std::vector<std::string>{kExport});
  EXPECT_EQ(r.rejected, (Rows{{"    5901", "Věta je zkrácená koncem dokumentu"},
                              {"    5901", "Objednávka nepřišla celá"}}));
  EXPECT_EQ(count("ZAK"), before.at("ZAK") + 1) << "5900 only";
  EXPECT_EQ(count("POZAD"), before.at("POZAD") + 1);
  auto zak = open("ZAK");
  zak->go_to(zak->record_count());
  EXPECT_EQ(num(*zak, "CZAK"), 5900) << "5901 held back whole";
  zak.reset();

  serve(testutil::document({header("5902", "Firma"), item("5902", "SP000030")}) + "c " +
        testutil::right("5903", 10) + "2024-06-0");
  const app::RunRecord& cut = run();
  EXPECT_FALSE(cut.confirmation_sent);
  EXPECT_EQ(cut.read_orders, 1u);
  EXPECT_EQ(cut.rejected, (Rows{{"    5903", "Věta je zkrácená koncem dokumentu"}}));
  EXPECT_EQ(count("ZAK"), before.at("ZAK") + 2);

  // Cut right after an item's type letter: its order is held back all the same.
  serve(testutil::document({header("5904", "Firma"), item("5904", "SP000030")}) + "p");
  const app::RunRecord& letter = run();
  EXPECT_FALSE(letter.confirmation_sent);
  EXPECT_EQ(letter.rejected, (Rows{{"", "Věta je zkrácená koncem dokumentu"},
                                   {"    5904", "Objednávka nepřišla celá"}}));
  EXPECT_EQ(count("ZAK"), before.at("ZAK") + 2);
  expect_controls_after_run();
  expect_indexes_ok();
}

}  // namespace

// An index damaged past its header: the posting meets it, the error goes to the error box and
// the error log, the window is usable again, and the run log gets this run's block as well.
TEST_F(ImportRunTest, AnUnexpectedErrorIsReportedAndTheRunStillLogged) {
  {
    xbase::OpenOptions o;
    auto f =
        xbase::file_system().open(xbase::file_system().resolve_case(target_.file("CIZA.NTX")), o);
    std::string junk(static_cast<size_t>(f->size()) - 1024, '\xFF');
    f->write_at(1024, junk.data(), junk.size());
  }
  std::vector<app::RunRecord> logged;
  sdi_.set_run_observer([&](const app::RunRecord& r) { logged.push_back(r); });
  serve(testutil::document({header("5601", "Firma"), item("5601", "MAT-000010/T")}));
  const app::RunRecord& r = run();

  EXPECT_EQ(r.end, End::kError);
  EXPECT_NE(r.error.find("CIZA"), std::string::npos) << r.error;
  EXPECT_FALSE(r.confirmation_sent);
  EXPECT_EQ(shop_.requests(), std::vector<std::string>{kExport});
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0].end, End::kError);
  ASSERT_FALSE(window_.boxes.empty());
  EXPECT_EQ(window_.boxes.back().kind, BoxRecord::Kind::kError);
  EXPECT_NE(testutil::read_text(data::error_log_path()).find("CIZA"), std::string::npos);
  for (const char* c : {"WKAM", "TLKAM", "SPUSTIT", "ENDDIALOG"})
    EXPECT_TRUE(window_.enabled(c)) << c;
  EXPECT_FALSE(window_.busy);

  // The block of such a run names the ending and the error.
  std::string block = app::RunLog::Block(r, app::LogTime{}, "");
  EXPECT_NE(block.find("Konec: ukončen neočekávanou chybou (popis v ESH_ERR.LOG)\r\n"),
            std::string::npos)
      << block;
  EXPECT_NE(block.find("\r\nChyba: " + r.error + "\r\n"), std::string::npos) << block;
}
