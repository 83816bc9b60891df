// The run log on real runs of Spustit against the loopback shop and a fixture copy: the block
// field by field for a run with rejections and for runs that stopped early, the kept
// documents (the last 30), and failures of the log that leave the run alone.
#include "app/run_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "data/data_test_support.h"
#include "import/order_document.h"
#include "tests/support/loopback_http.h"

namespace {

using Fields = std::map<std::string, std::string>;

std::string right(const std::string& s, size_t width) {
  return std::string(width > s.size() ? width - s.size() : 0, ' ') + s;
}

std::string header(const std::string& czak, const std::string& nazd) {
  std::string r = "c" + std::string(import::kHeaderLength - 1, ' ');
  r.replace(2, 10, right(czak, 10));
  r.replace(12, 10, "2026-12-01");
  r.replace(32, 3, "Jan");
  r.replace(52, 5, "Novak");
  r.replace(82, nazd.size(), nazd);
  return r;
}

std::string item(const std::string& czak, const std::string& cipo) {
  std::string r = "p" + std::string(import::kItemLength - 1, ' ');
  r.replace(2, 10, right(czak, 10));
  r.replace(12, cipo.size(), cipo);
  r.replace(28, 5, "Zbozi");
  r.replace(108, 5, "10.50");
  r.replace(134, 2, "21");
  r.replace(138, 1, "2");
  return r;
}

// "Label: value" lines of a block; the rejected rows under "Chybné záznamy" as "row N".
Fields fields_of(const std::string& block) {
  Fields f;
  std::istringstream in(block);
  std::string line;
  int row = 0;
  while (std::getline(in, line)) {
    EXPECT_TRUE(!line.empty() && line.back() == '\r') << "CR LF line ends: " << line;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("=== ", 0) == 0) {
      f["head"] = line;
    } else if (line.rfind("  ", 0) == 0) {
      f["row " + std::to_string(++row)] = line.substr(2);
    } else if (size_t colon = line.find(": "); colon != std::string::npos) {
      f[line.substr(0, colon)] = line.substr(colon + 2);
    }
  }
  return f;
}

std::string slurp(const std::string& path) {
  std::vector<char> b = testutil::read_file(path);
  return std::string(b.begin(), b.end());
}

class RunLogTest : public datatest::DataTest {
 protected:
  void SetUp() override {
    DataTest::SetUp();
    testutil::copy_fixture("small-mixed-bin-s1", target_.path());
    app::HlavniSDI::ApplyTemplate(window_);
    window_.set_text("WKAM", target_.path());
    window_.set_text("WISERV", "  " + shop_.url("/shop") + " ");
    window_.set_text("POCDNU", "7");
    window_.set_checked("NZNET", true);
    shop_.serve("/shop/module/port.php?key=&akce=exportOk", {200, "OK", "", false});
  }
  // One run with the log at a fixed time.
  void run(int second = 12) {
    app::HlavniSDI sdi(window_);
    sdi.set_run_observer(
        app::RunLog({}, [second] { return app::LogTime{2026, 12, 8, 10, 11, second}; }));
    sdi.Spustit();
    last_ = sdi.last_run();
  }
  std::string log() const { return slurp(program_.file(app::kRunLogName)); }
  // The last block of the log.
  Fields last_block() const {
    std::string text = log();
    size_t at = text.rfind("=== ");
    EXPECT_NE(at, std::string::npos);
    return fields_of(text.substr(at == std::string::npos ? 0 : at));
  }

  testutil::LoopbackHttp shop_;
  app::RunRecord last_;
};

TEST_F(RunLogTest, ARunWithRejectionsIsLoggedFieldByField) {
  std::string doc = header("7001", "Nova firma") + "\r\n" + item("7001", "NENI-KARTA") + "\r\n" +
                    item("7001", "") + "\r\n" + header("2023000001", "Uz je v ZAK") + "\r\n" +
                    item("2023000001", "NENI-KARTA") + "\r\n" + header("7002", "Bez polozek") +
                    "\r\n";
  shop_.serve("/shop", {200, doc, "", false});
  run();
  std::string text = log();
  ASSERT_EQ(text.rfind("\xEF\xBB\xBF", 0), 0u) << "UTF-8 with a byte-order mark";
  Fields f = last_block();
  Fields want = {
      {"head", "=== Import objednávek 08.12.2026 10:11:12 ==="},
      {"Adresa", shop_.url("/shop")},
      {"Data Kontor", data::target_folder()},
      {"Volby", "NZAS ne, NZNET ano, ZALOZKARTU ne, POCDNU 7"},
      {"Přečteno", "objednávek 3, položek 3"},
      {"Dobrých", "objednávek 1, položek 0"},
      {"Chybných", "objednávek 2, položek 2"},
      {"Chybné záznamy", "4"},
      {"row 1", "7001: NENI-KARTA       nemá skl.kartu"},
      {"row 2", "7001: Není číslo položky"},
      {"row 3", "2023000001: Je již evidována"},
      {"row 4", "7002: Nemá položky"},
      {"Konec", "dokončen, prošel všechny objednávky"},
      {"Potvrzení e-shopu", "odesláno"},
      {"Doklad", "doklady/20261208-101112.txt"},
  };
  EXPECT_EQ(f, want);
  EXPECT_EQ(slurp(program_.file("doklady/20261208-101112.txt")), doc) << "kept byte for byte";
  EXPECT_EQ(shop_.requests().back(), "/shop/module/port.php?key=&akce=exportOk");
}

TEST_F(RunLogTest, RunsThatStoppedEarlyAreLoggedWithHowTheyEnded) {
  shop_.serve("/shop", {200, "<html>no orders here</html>", "", false});
  run(1);
  Fields f = last_block();
  EXPECT_EQ(f["Konec"], "načtený soubor nemá strukturu objednávek");
  EXPECT_EQ(f["Potvrzení e-shopu"], "neodesláno");
  EXPECT_EQ(f["Přečteno"], "objednávek 0, položek 0");
  EXPECT_EQ(f["Dobrých"], "objednávek 0, položek 0");
  EXPECT_EQ(f["Chybné záznamy"], "žádné");
  EXPECT_EQ(f["Doklad"], "doklady/20261208-101101.txt") << "a wrong document is kept too";
  EXPECT_EQ(f.count("row 1"), 0u);

  shop_.serve("/shop", {200, " \r\n", "", false});
  run(2);
  f = last_block();
  EXPECT_EQ(f["Konec"], "nebyla načtena žádná objednávka");
  EXPECT_EQ(f["Potvrzení e-shopu"], "neodesláno");

  window_.set_text("WISERV", "   ");
  run(3);
  f = last_block();
  EXPECT_EQ(f["Konec"], "odmítnut před stažením (chybí adresa nebo data Kontor)");
  EXPECT_EQ(f["Adresa"], "");
  EXPECT_EQ(f["Doklad"], "žádný");

  // A record of unknown type: loaded up to it, nothing posted, the shop still told.
  window_.set_text("WISERV", shop_.url("/shop"));
  shop_.serve("/shop",
              {200, header("7101", "A") + "\r\n" + "x" + std::string(144, ' '), "", false});
  run(4);
  f = last_block();
  EXPECT_EQ(f["Konec"], "načítání zastaveno u neznámého typu věty, nic nezapsáno");
  EXPECT_EQ(f["Přečteno"], "objednávek 1, položek 0");
  // The log says what happened to the confirmation, whichever way the run decided.
  const std::string confirmation = "/shop/module/port.php?key=&akce=exportOk";
  auto asked = shop_.requests();
  bool sent = std::find(asked.begin(), asked.end(), confirmation) != asked.end();
  EXPECT_EQ(sent, last_.confirmation_sent);
  EXPECT_EQ(f["Potvrzení e-shopu"], sent ? "odesláno" : "neodesláno");
  std::string text = log();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\xEF'), 1) << "one mark, at the start";
  size_t blocks = 0;
  for (size_t at = text.find("=== Import"); at != std::string::npos;
       at = text.find("=== Import", at + 1))
    ++blocks;
  EXPECT_EQ(blocks, 4u);
}

TEST_F(RunLogTest, OnlyTheLast30DocumentsAreKept) {
  app::RunRecord r;
  r.document = "c";
  int clock = 0;
  app::RunLog log(program_.path(), [&clock] {
    int s = clock++;
    return app::LogTime{2026, 12, 8, 9, s / 60, s % 60};
  });
  std::string dir = program_.file(app::kDocumentFolder);
  for (int i = 0; i < 30; ++i) log(r);
  testutil::write_file(dir + "/poznamka.txt", {'x'});  // not ours: never removed
  auto names = [&] {
    std::vector<std::string> n;
    for (const auto& e : std::filesystem::directory_iterator(dir))
      n.push_back(e.path().filename().string());
    std::sort(n.begin(), n.end());
    return n;
  };
  ASSERT_EQ(names().size(), 31u);
  EXPECT_EQ(names().front(), "20261208-090000.txt");
  log(r);  // the 31st run removes the oldest
  auto n = names();
  ASSERT_EQ(n.size(), 31u);
  EXPECT_EQ(n.front(), "20261208-090001.txt");
  EXPECT_EQ(n[29], "20261208-090030.txt");
  EXPECT_EQ(n.back(), "poznamka.txt");
  // Two runs within one second keep both documents.
  clock = 30;
  r.document = "second";
  log(r);
  EXPECT_EQ(slurp(dir + "/20261208-090030_02.txt"), "second");
  EXPECT_EQ(names().front(), "20261208-090002.txt");
}

TEST_F(RunLogTest, ALogThatCannotBeWrittenLeavesTheRunAlone) {
  std::string doc = header("7201", "Firma") + "\r\n" + item("7201", "NENI-KARTA") + "\r\n";
  shop_.serve("/shop", {200, doc, "", false});
  std::filesystem::create_directory(program_.file(app::kRunLogName));  // a folder in its way
  testutil::write_file(program_.file(app::kDocumentFolder), {'x'});    // a file in its way
  app::HlavniSDI sdi(window_);
  sdi.PostInit();  // installs the log of the program folder
  testing::internal::CaptureStderr();
  EXPECT_NO_THROW(sdi.Spustit());
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("run log: document not kept"), std::string::npos) << err;
  EXPECT_NE(err.find("run log: "), err.rfind("run log: ")) << "two lines: " << err;
  EXPECT_EQ(sdi.last_run().end, app::RunRecord::End::kPosted);
  EXPECT_TRUE(sdi.last_run().confirmation_sent);
  EXPECT_EQ(window_.text("FTPDOB"), "   1");
  ASSERT_FALSE(window_.boxes.empty());
  EXPECT_EQ(window_.boxes.back().caption, "Oznámení");
  for (const auto& b : window_.boxes) EXPECT_NE(b.kind, ui::BoxRecord::Kind::kError) << b.text;

  // With the way clear, the same window logs its next run, naming the document it lost.
  std::filesystem::remove(program_.file(app::kRunLogName));
  sdi.Spustit();
  Fields f = last_block();
  EXPECT_EQ(f["Chybné záznamy"], "1");
  EXPECT_EQ(f["row 1"], "7201: Je již evidována");
  EXPECT_EQ(f["Doklad"].rfind("neuložen (", 0), 0u) << f["Doklad"];
}

TEST(RunLogBlock, EveryEndHasItsOwnCzechWords) {
  using End = app::RunRecord::End;
  std::vector<std::string> seen;
  for (End e : {End::kRefused, End::kNoDocument, End::kMalformed, End::kUnknownRecord,
                End::kNoWorkTable, End::kNotOpened, End::kStopped, End::kPosted, End::kError}) {
    std::string t = app::end_text(e);
    EXPECT_EQ(std::find(seen.begin(), seen.end(), t), seen.end()) << t;
    seen.push_back(t);
    app::RunRecord r;
    r.end = e;
    EXPECT_NE(app::RunLog::Block(r, {}, "").find("Konec: " + t + "\r\n"), std::string::npos);
  }
}

}  // namespace
