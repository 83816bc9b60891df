// importobj-cli as a process against the shop on loopback and a copy of a fixture folder: the
// saved settings and the options, the lines on standard error and standard output, the exit
// status, and the retry budget while another process holds a table.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

#include "platform/file/file.h"
#include "tests/support/loopback_http.h"
#include "tests/support/order_doc.h"
#include "tests/support/table_holder_posix.h"
#include "tests/support/test_util.h"

namespace {

using testutil::header;
using testutil::item;

const char* const kExport = "/export.php";
const std::string kConfirm = std::string(kExport) + "/module/port.php?key=&akce=exportOk";

std::string counters(int read_o, int read_i, int good_o, int bad_o, int good_i, int bad_i) {
  return "Přečteno objednávek: " + std::to_string(read_o) +
         "\nPřečteno položek: " + std::to_string(read_i) +
         "\nDobrých objednávek: " + std::to_string(good_o) +
         "\nChybných objednávek: " + std::to_string(bad_o) +
         "\nDobrých položek: " + std::to_string(good_i) +
         "\nChybných položek: " + std::to_string(bad_i) + "\n";
}

class CliProcess : public ::testing::Test {
 protected:
  void SetUp() override { testutil::copy_fixture("small-mixed-bin-s1", data_.path()); }

  struct Result {
    int status;
    std::string out, err;
  };
  // Without a terminal: standard input is /dev/null.
  Result cli(const std::string& args) {
    std::string err_file = program_.file("stderr.txt");
    std::string cmd = std::string(IO_TOOLS_DIR) + "/importobj-cli --program-folder '" +
                      program_.path() + "' " + args + " </dev/null 2>'" + err_file + "'";
    int raw = 0;
    Result r;
    r.out = testutil::run_command(cmd, &raw);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.err = testutil::read_text(err_file);
    return r;
  }
  std::string data_args() const { return "--data '" + data_.path() + "'"; }
  std::string url_args(const std::string& target = kExport) const {
    return "--url '" + shop_.url(target) + "'";
  }

  testutil::TempDir data_, program_;
  testutil::LoopbackHttp shop_;
};

TEST_F(CliProcess, ARunSavesTheSettingsWhenAskedAndTheNextRunTakesThem) {
  shop_.serve(kExport,
              {200,
               testutil::document({header("6001", "Firma podle IČO", "27719111"),
                                   item("6001", "MAT-000010/T"), item("6001", "NENI-KARTA")}),
               "", false});
  shop_.serve(kConfirm, {200, "OK", "", false});
  shop_.serve("/other/module/port.php?key=&akce=exportOk", {200, "", "", false});
  Result first = cli(data_args() + " " + url_args() + " --days 14 --save");
  EXPECT_EQ(first.status, 1) << first.err;
  EXPECT_EQ(first.out, counters(1, 2, 1, 0, 1, 1) +
                           "Chybné záznamy: 1\n    6001\tNENI-KARTA       nemá skl.kartu\n");
  EXPECT_EQ(first.err, "Oznámení: Přenos objednávek ukončen.\n");
  EXPECT_EQ(shop_.requests(), (std::vector<std::string>{kExport, kConfirm}));
  EXPECT_TRUE(xbase::file_system().exists(program_.file("ESH_NAS.DBF")));

  // Only the program folder: the folder, the address and the days come from ESH_NAS.DBF.
  Result again = cli("");
  EXPECT_EQ(again.status, 1) << again.err;
  EXPECT_EQ(again.out,
            counters(1, 2, 0, 1, 0, 0) + "Chybné záznamy: 1\n    6001\tJe již evidována\n");
  EXPECT_EQ(shop_.requests().size(), 4u);

  // The saved settings overridden for one run, not saved: a card is made for the missing one.
  shop_.serve("/other", {200,
                         testutil::document({header("6002", "Firma podle IČO", "27719111"),
                                             item("6002", "NENI-KARTA")}),
                         "", false});
  Result made = cli(url_args("/other") + " --zalozkartu");
  EXPECT_EQ(made.status, 0) << made.err;
  EXPECT_EQ(made.out, counters(1, 1, 1, 0, 1, 0) + "Chybné záznamy: 0\n");
  EXPECT_EQ(shop_.requests().back(), "/other/module/port.php?key=&akce=exportOk");
  Result saved_url = cli("");
  EXPECT_EQ(shop_.requests().back(), kConfirm) << "the address of the saved settings again";
  EXPECT_EQ(saved_url.status, 1);
}

TEST_F(CliProcess, StopsAndWrongUsageHaveTheirOwnStatus) {
  Result none = cli(data_args() + " " + url_args("/missing"));
  EXPECT_EQ(none.status, 2);
  EXPECT_EQ(none.err,
            "Akce odmítnuta!: Buď se nepodařilo spojení se serverem nebo nejsou žádné "
            "objednávky!\n");
  EXPECT_EQ(none.out, counters(0, 0, 0, 0, 0, 0) + "Chybné záznamy: 0\n");

  Result blank = cli(data_args() + " --url ' '");
  EXPECT_EQ(blank.status, 2);
  EXPECT_EQ(blank.err, "Akce odmítnuta!: Není uvedeno označení serveru!\n");

  testutil::TempDir empty;
  Result folder = cli("--data '" + empty.path() + "' " + url_args());
  EXPECT_EQ(folder.status, 2);
  EXPECT_EQ(folder.err, "Akce odmítnuta!: Na zadané cestě kam, nejsou\nsdílená data Kontor!\n");

  Result usage = cli("--days 123");
  EXPECT_EQ(usage.status, 3);
  EXPECT_EQ(usage.err.rfind("Počet dnů je celé číslo 0 až 99.\nPoužití: importobj-cli", 0), 0u)
      << usage.err;
  EXPECT_EQ(usage.out, "");
  EXPECT_EQ(shop_.requests(), std::vector<std::string>{"/missing"});
}

const std::string kQuestion =
    "Akce odmítnuta!: Data právě používá jiný uživatel\nnebo jsou otevřena v jiném okně!\n"
    "Opakovat?\n";

// ZAK held by another process for the whole run: two Retry answers with their pause, then
// Cancel; nothing is posted and the shop is not told.
TEST_F(CliProcess, TheRetryBudgetRunsOutWhileAnotherProcessHoldsATable) {
  shop_.serve(
      kExport,
      {200, testutil::document({header("6101", "Firma"), item("6101", "SP000030")}), "", false});
  testutil::Holder held(data_.file("ZAK.DBF"), xbase::ShareMode::kShared);
  auto start = std::chrono::steady_clock::now();
  Result r = cli(data_args() + " " + url_args() + " --retry 2 --retry-wait 0.3");
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, kQuestion + "-> Opakovat\n" + kQuestion + "-> Opakovat\n" + kQuestion +
                       "-> Storno\nOznámení: Přenos objednávek ukončen.\n");
  EXPECT_GE(took, std::chrono::milliseconds(600)) << "two pauses";
  EXPECT_EQ(r.out, counters(1, 1, 0, 0, 0, 0) + "Chybné záznamy: 0\n");
  EXPECT_EQ(shop_.requests(), std::vector<std::string>{kExport});
}

// The holder lets go while the front-end waits: the next Retry opens the table and the run
// posts the order.
TEST_F(CliProcess, ARetryAfterTheTableIsFreedPostsTheRun) {
  shop_.serve(
      kExport,
      {200, testutil::document({header("6201", "Firma"), item("6201", "SP000030")}), "", false});
  shop_.serve(kConfirm, {200, "OK", "", false});
  testutil::Holder held(data_.file("ZAK.DBF"), xbase::ShareMode::kShared);
  Result r;
  std::thread run(
      [&] { r = cli(data_args() + " " + url_args() + " --retry 200 --retry-wait 0.1"); });
  // Released once the first Retry has been answered.
  std::string err_file = program_.file("stderr.txt");
  for (int i = 0; i < 400; ++i) {
    if (testutil::read_text(err_file).find("-> Opakovat") != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  held.release();
  run.join();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.rfind(kQuestion + "-> Opakovat\n", 0), 0u) << r.err;
  EXPECT_EQ(r.err.find("-> Storno"), std::string::npos);
  EXPECT_EQ(r.out, counters(1, 1, 1, 0, 1, 0) + "Chybné záznamy: 0\n");
  EXPECT_EQ(shop_.requests(), (std::vector<std::string>{kExport, kConfirm}));
}

}  // namespace
