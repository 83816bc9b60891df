// The import run from the button to the confirmation, on a copy of a fixture folder with the
// shop on loopback: window states and texts, list rows, counters, the records written into
// ZAK, DOOD, POZAD, ZAS and POSCI, the two requests, and a second run in the same window.
#include "import/posting.h"
#include "tests/import_run_fixture.h"

namespace {

using namespace runtest;
using testutil::header;
using testutil::item;

const std::string kOrders = testutil::document({
    header("5001", "Firma podle IČO", "27719111"),
    item("5001", "MAT-000010/T", "Kabel z e-shopu", "10.50", "3"),
    item("5001", "NENI-KARTA", "Šroubovák křížový PH2 s izolovanou rukojetí", "10.50", "3"),
    item("5001", "", "Bez čísla"),
    header("2023000001", "Už je v ZAK"),
    item("2023000001", "MAT-000010/T"),
    header("5002", "Bez položek"),
    [] {
      testutil::OrderHeader h;
      h.czak = "5004";
      h.prijmeni = "Čermáková";
      h.jmeno = "Žofie";
      h.email = "zofie@example.cz";
      return h.bytes();
    }(),
    item("5004", "ZB-000022/F", "Lopata", "3.33", "2"),
});

std::string today_text() {
  int y = 0, m = 0, d = 0;
  import::PostingClock::now().today.to_ymd(y, m, d);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", d, m, y);
  return buf;
}

TEST_F(ImportRunTest, AWholeRunPostsTheGoodOrdersListsTheBadOnesAndConfirms) {
  window_.set_checked("ZALOZKARTU", true);
  serve(kOrders);
  const auto before = counts();
  const app::RunRecord& r = run();

  EXPECT_EQ(shop_.requests(), (std::vector<std::string>{kExport, kConfirm}));
  ASSERT_EQ(window_.boxes.size(), 1u) << box_texts()[0].second;
  EXPECT_EQ(window_.boxes[0].kind, BoxRecord::Kind::kWarning);
  EXPECT_EQ(window_.boxes[0].owner, ui::Owner::kMain);
  EXPECT_EQ(window_.boxes[0].caption, "Oznámení");
  EXPECT_EQ(window_.boxes[0].text, "Přenos objednávek ukončen.");
  expect_controls_after_run();
  EXPECT_FALSE(window_.visible("FTPRO"));
  EXPECT_EQ(window_.text("FTPC"), "Hotovo");
  EXPECT_EQ(window_.text("FTPSTATUS"), "Přenos objednávek ukončen");
  EXPECT_EQ(window_.text("FTPOCO"), "    4");
  EXPECT_EQ(window_.text("FTPOCP"), "    5");
  EXPECT_EQ(window_.text("FTPDOB"), "   2");
  EXPECT_EQ(window_.text("FTPCHY"), "   2");
  EXPECT_EQ(window_.text("FTKDOB"), "   3");
  EXPECT_EQ(window_.text("FTKCHY"), "   1");
  const Rows rejected = {{"    5001", "Není číslo položky"},
                         {"2023000001", "Je již evidována"},
                         {"    5002", "Nemá položky"}};
  EXPECT_EQ(window_.rows(), rejected);

  EXPECT_EQ(r.end, app::RunRecord::End::kPosted);
  EXPECT_TRUE(r.confirmation_sent);
  EXPECT_EQ(r.address, shop_.url(kExport));
  EXPECT_EQ(r.data_folder, data::with_separator(target_.path()));
  EXPECT_TRUE(r.zalozkartu);
  EXPECT_EQ(r.days, "14");
  EXPECT_EQ(r.document, kOrders);
  EXPECT_EQ(r.read_orders, 4u);
  EXPECT_EQ(r.read_items, 5u);
  EXPECT_EQ(r.good_orders, 2u);
  EXPECT_EQ(r.bad_orders, 2u);
  EXPECT_EQ(r.good_items, 3u);
  EXPECT_EQ(r.bad_items, 1u);
  EXPECT_EQ(r.rejected, rejected);

  auto zak = open("ZAK");
  ASSERT_EQ(zak->record_count(), before.at("ZAK") + 2);
  zak->go_to(before.at("ZAK") + 1);
  EXPECT_EQ(num(*zak, "CZAK"), 5001);
  std::string naz = text(*zak, "NAZ");
  EXPECT_EQ(naz.substr(0, 20), "Z Bazaro " + today_text() + " ");
  ASSERT_EQ(naz.size(), 28u) << naz;
  EXPECT_TRUE(naz[22] == ':' && naz[25] == ':') << naz;
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
  EXPECT_EQ(num(*zak, "FIRM"), 1);          // DOOD record 1 has that ICO
  EXPECT_DOUBLE_EQ(num(*zak, "CAST"), 63);  // 3 * 10.50 twice; the bad item adds nothing
  zak->go_to(before.at("ZAK") + 2);
  EXPECT_EQ(num(*zak, "CZAK"), 5004);
  EXPECT_EQ(text(*zak, "NAZD"), "Čermáková Žofie");
  EXPECT_EQ(text(*zak, "NAZD2"), "");
  EXPECT_EQ(num(*zak, "FIRM"), 280);  // POSCI held 279
  EXPECT_DOUBLE_EQ(num(*zak, "CAST"), 6.66);

  auto dood = open("DOOD");
  ASSERT_EQ(dood->record_count(), before.at("DOOD") + 1);
  dood->go_to(before.at("DOOD") + 1);
  EXPECT_EQ(num(*dood, "FIRMA"), 280);
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

  auto zas = open("ZAS");
  ASSERT_EQ(zas->record_count(), before.at("ZAS") + 1);
  zas->go_to(before.at("ZAS") + 1);
  EXPECT_EQ(text(*zas, "CIPO"), "NENI-KARTA");
  EXPECT_EQ(text(*zas, "OZNM"), "Šroubovák křížový PH2 s izolovanou rukoj");
  EXPECT_DOUBLE_EQ(num(*zas, "DANO"), 21);
  EXPECT_DOUBLE_EQ(num(*zas, "CENJP"), 10.5);
  EXPECT_DOUBLE_EQ(num(*zas, "CENJPD"), 12.71);
  EXPECT_DOUBLE_EQ(num(*zas, "PRAB1"), 3.5);  // from IDENT
  EXPECT_DOUBLE_EQ(num(*zas, "PRAB2"), 7.25);
  EXPECT_DOUBLE_EQ(num(*zas, "PRAB3"), 12);

  struct Line {
    double czak;
    const char *cipo, *jedn, *ozn;
    double zn, pocet, jedc, firm, idprod;
  };
  const Line lines[] = {
      {5001, "MAT-000010/T", "bal", "Chránička ohebná (výprodej)", 1, 3, 10.5, 1, 10},
      {5001, "NENI-KARTA", "", "Šroubovák křížový PH2 s izolovanou rukoj", 0, 3, 10.5, 1, 20},
      {5004, "ZB-000022/F", "ks", "Lopata špičatá ČSN", 0, 2, 3.33, 280, 10},
  };
  auto pozad = open("POZAD");
  ASSERT_EQ(pozad->record_count(), before.at("POZAD") + 3);
  for (uint32_t i = 0; i < 3; ++i) {
    const Line& l = lines[i];
    SCOPED_TRACE(i);
    pozad->go_to(before.at("POZAD") + 1 + i);
    EXPECT_EQ(num(*pozad, "CZAK"), l.czak);
    EXPECT_EQ(text(*pozad, "CIPO"), l.cipo);
    EXPECT_EQ(num(*pozad, "ZN"), l.zn);
    EXPECT_EQ(text(*pozad, "JEDN"), l.jedn);
    EXPECT_EQ(text(*pozad, "OZN"), l.ozn);
    EXPECT_DOUBLE_EQ(num(*pozad, "POCET"), l.pocet);
    EXPECT_DOUBLE_EQ(num(*pozad, "JEDC"), l.jedc);
    EXPECT_DOUBLE_EQ(num(*pozad, "SAZBA"), 21);
    EXPECT_EQ(num(*pozad, "FIRM"), l.firm);
    EXPECT_EQ(day(*pozad, "DATP"), "20240531");
    EXPECT_EQ(num(*pozad, "ZNC"), 1);
    EXPECT_EQ(num(*pozad, "IDPROD"), l.idprod);
  }
  zak.reset();
  dood.reset();
  zas.reset();
  pozad.reset();
  expect_indexes_ok();

  // The same export again (the shop sends what it was not told about): every order that was
  // posted is now registered, nothing more is written, the status text is appended again and
  // only the counters that grow in this run change.
  const auto after_first = counts();
  const app::RunRecord& again = run();
  EXPECT_EQ(again.end, app::RunRecord::End::kPosted);
  EXPECT_TRUE(again.confirmation_sent);
  EXPECT_EQ(shop_.requests(), (std::vector<std::string>{kExport, kConfirm, kExport, kConfirm}));
  EXPECT_EQ(counts(), after_first);
  EXPECT_EQ(window_.text("FTPSTATUS"), "Přenos objednávek ukončenPřenos objednávek ukončen");
  EXPECT_EQ(window_.text("FTPCHY"), "   4");
  EXPECT_EQ(window_.text("FTPDOB"), "   2") << "no good order in this run: left as it was";
  EXPECT_EQ(window_.text("FTKDOB"), "   3");
  EXPECT_EQ(window_.text("FTKCHY"), "   1");
  Rows all = rejected;
  for (const char* czak : {"    5001", "2023000001", "    5004"})
    all.push_back({czak, "Je již evidována"});
  all.insert(all.begin() + 5, {"    5002", "Nemá položky"});
  EXPECT_EQ(window_.rows(), all);
  EXPECT_EQ(again.rejected, Rows(all.begin() + 3, all.end()));
  expect_controls_after_run();
  expect_indexes_ok();
}

// Blanks around the address are dropped for both requests, nothing else is changed: an address
// that ends in a slash gets a second one before "module".
TEST_F(ImportRunTest, TheAddressIsTrimmedAndOtherwiseSentAsTyped) {
  shop_.serve(
      "/eshop/",
      {200, testutil::document({header("5101", "Firma"), item("5101", "SP000030")}), "", false});
  window_.set_text("WISERV", "   " + shop_.url("/eshop/") + "  ");
  const app::RunRecord& r = run();
  EXPECT_EQ(r.end, app::RunRecord::End::kPosted);
  EXPECT_EQ(r.address, shop_.url("/eshop/"));
  EXPECT_EQ(shop_.requests(),
            (std::vector<std::string>{"/eshop/", "/eshop//module/port.php?key=&akce=exportOk"}));
  EXPECT_EQ(window_.text("FTKDOB"), "   1");
  EXPECT_TRUE(window_.rows().empty());
}

}  // namespace
