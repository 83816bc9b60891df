// The console front-end's pieces without a process: the command line, the controls it
// overrides, the box lines and the Retry/Cancel answers, and the exit status of each outcome.
#include "app/cli_options.h"

#include <gtest/gtest.h>

#include <sstream>

#include "app/cli_console.h"
#include "app/cli_run.h"

namespace {

using app::parse_cli;

TEST(CliOptions, EveryOptionInBothFormsReachesItsControl) {
  auto p = parse_cli({"--data", "D:\\Kontor\\Data", "--url=http://shop/export.php?x=1", "--nzas",
                      "--no-nznet", "--zalozkartu", "--days", "07", "--save", "--program-folder",
                      "/opt/io", "--retry", "3", "--retry-wait=0.5"});
  ASSERT_TRUE(p.ok) << p.error;
  const app::CliOptions& o = p.options;
  EXPECT_TRUE(o.save);
  EXPECT_EQ(o.program_folder, "/opt/io");
  EXPECT_EQ(o.retries, 3);
  EXPECT_DOUBLE_EQ(o.retry_wait, 0.5);
  ui::MemoryWindow w;
  w.set_text("WKAM", "saved");
  w.set_checked("NZNET", true);
  w.set_text("IDIR", "ftp");
  app::apply_options(o, w);
  EXPECT_EQ(w.text("WKAM"), "D:\\Kontor\\Data");
  EXPECT_EQ(w.text("WISERV"), "http://shop/export.php?x=1") << "only the first = splits";
  EXPECT_TRUE(w.checked("NZAS"));
  EXPECT_FALSE(w.checked("NZNET"));
  EXPECT_TRUE(w.checked("ZALOZKARTU"));
  EXPECT_EQ(w.text("POCDNU"), "07");
  EXPECT_EQ(w.text("IDIR"), "ftp");

  // Nothing given: the saved settings stay as loaded.
  auto none = parse_cli({});
  ASSERT_TRUE(none.ok);
  ui::MemoryWindow kept;
  kept.set_text("WISERV", "saved");
  kept.set_checked("NZAS", true);
  app::apply_options(none.options, kept);
  EXPECT_EQ(kept.text("WISERV"), "saved");
  EXPECT_TRUE(kept.checked("NZAS"));
  EXPECT_EQ(none.options.retries, 0) << "Cancel at once by default";
  // The last of two contrary flags counts; an empty address may be given (the run refuses it).
  auto last = parse_cli({"--nzas", "--no-nzas", "--url", ""});
  ASSERT_TRUE(last.ok);
  EXPECT_EQ(last.options.nzas, false);
  EXPECT_EQ(last.options.url, "");
}

TEST(CliOptions, WrongUsageIsRefusedWithACzechReason) {
  const std::string sixty_one(61, 'x');
  std::string czech_sixty = "Č" + std::string(59, 'x');  // 60 characters, 61 bytes
  struct Case {
    std::vector<std::string> args;
    const char* error;
  };
  const Case cases[] = {
      {{"--bogus"}, "Neznámá volba: --bogus"},
      {{"data"}, "Neznámý argument: data"},
      {{"--data"}, "Volba --data potřebuje hodnotu."},
      {{"--data", sixty_one}, "Cesta na data Kontor má nejvýše 60 znaků."},
      {{"--url", std::string(129, 'u')}, "URL adresa má nejvýše 128 znaků."},
      {{"--days", "100"}, "Počet dnů je celé číslo 0 až 99."},
      {{"--days", "-1"}, "Počet dnů je celé číslo 0 až 99."},
      {{"--days", "1a"}, "Počet dnů je celé číslo 0 až 99."},
      {{"--nzas=1"}, "Volba --nzas nemá hodnotu."},
      {{"--retry", "x"}, "Počet opakování je celé číslo 0 až 999999."},
      {{"--retry-wait", "-2"}, "Pauza před opakováním je počet sekund 0 až 86400."},
      {{"--retry-wait", "1s"}, "Pauza před opakováním je počet sekund 0 až 86400."},
      {{"--program-folder="}, "Volba --program-folder potřebuje složku."},
  };
  for (const Case& c : cases) {
    auto p = parse_cli(c.args);
    EXPECT_FALSE(p.ok) << c.args[0];
    EXPECT_EQ(p.error, c.error) << c.args[0];
  }
  EXPECT_TRUE(parse_cli({"--data", czech_sixty}).ok) << "characters count, not bytes";
  EXPECT_TRUE(parse_cli({"--url", std::string(128, 'u'), "--days", "99"}).ok);
  EXPECT_NE(app::cli_usage().find("Použití: importobj-cli"), std::string::npos);
}

TEST(CliConsole, BoxesAreLinesAndTheRetryBudgetRunsOut) {
  EXPECT_EQ(app::box_line("Akce odmítnuta!", "Na zadané cestě kam, nejsou\rsdílená data Kontor!"),
            "Akce odmítnuta!: Na zadané cestě kam, nejsou\nsdílená data Kontor!");
  std::istringstream in("r\n");
  std::ostringstream err;
  app::ConsoleWindow w(in, err, {false, 2, 0});
  w.warning_box(ui::Owner::kMain, "Oznámení", "Přenos objednávek ukončen.");
  EXPECT_EQ(w.retry_cancel_box(ui::Owner::kMain, "Akce odmítnuta!", "A\rOpakovat?"),
            ui::Reply::kRetry);
  EXPECT_EQ(w.retry_cancel_box(ui::Owner::kMain, "Akce odmítnuta!", "A\rOpakovat?"),
            ui::Reply::kRetry);
  EXPECT_EQ(w.retry_cancel_box(ui::Owner::kMain, "Akce odmítnuta!", "A\rOpakovat?"),
            ui::Reply::kCancel);
  EXPECT_EQ(w.retries_left(), 0);
  EXPECT_EQ(err.str(),
            "Oznámení: Přenos objednávek ukončen.\n"
            "Akce odmítnuta!: A\nOpakovat?\n-> Opakovat\n"
            "Akce odmítnuta!: A\nOpakovat?\n-> Opakovat\n"
            "Akce odmítnuta!: A\nOpakovat?\n-> Storno\n");
  EXPECT_EQ(w.boxes.size(), 4u) << "the boxes are recorded as in the memory window";
  EXPECT_EQ(in.tellg(), 0) << "without a terminal nothing is read";
}

TEST(CliConsole, OnATerminalTheOperatorAnswers) {
  std::istringstream in("x\n  R\nc\n\n");
  std::ostringstream err;
  app::ConsoleWindow w(in, err, {true, 5, 0});
  EXPECT_EQ(w.retry_cancel_box(ui::Owner::kMain, "T", "Q"), ui::Reply::kRetry);
  EXPECT_EQ(w.retry_cancel_box(ui::Owner::kMain, "T", "Q"), ui::Reply::kCancel);
  // An empty line asks again; the end of the input cancels.
  EXPECT_EQ(w.retry_cancel_box(ui::Owner::kMain, "T", "Q"), ui::Reply::kCancel);
  const std::string prompt = "[r = Opakovat, c = Storno] ";
  EXPECT_EQ(err.str(),
            "T: Q\n" + prompt + prompt + "T: Q\n" + prompt + "T: Q\n" + prompt + prompt + "\n");
  EXPECT_EQ(w.retries_left(), 5) << "the budget is for runs without a terminal";
}

TEST(CliRun, TheExitStatusTellsTheOutcome) {
  using End = app::RunRecord::End;
  app::RunRecord r;
  for (End e : {End::kRefused, End::kNoDocument, End::kMalformed, End::kUnknownRecord,
                End::kNoWorkTable, End::kNotOpened, End::kStopped}) {
    r.end = e;
    EXPECT_EQ(app::exit_code(r), app::kExitStopped) << static_cast<int>(e);
  }
  r.end = End::kPosted;
  EXPECT_EQ(app::exit_code(r), app::kExitPosted);
  r.bad_items = 1;
  EXPECT_EQ(app::exit_code(r), app::kExitRejected);
  r.bad_items = 0;
  r.bad_orders = 2;
  EXPECT_EQ(app::exit_code(r), app::kExitRejected);
  r.end = End::kStopped;
  EXPECT_EQ(app::exit_code(r), app::kExitStopped) << "a stop outweighs the rejections";

  std::istringstream in;
  std::ostringstream out, err;
  EXPECT_EQ(app::run_cli({"--days", "x"}, in, out, err, false), app::kExitUsage);
  EXPECT_EQ(err.str(), "Počet dnů je celé číslo 0 až 99.\n" + app::cli_usage());
  EXPECT_EQ(out.str(), "");
  err.str("");
  EXPECT_EQ(app::run_cli({"--program-folder", "/nonexistent-io-folder/"}, in, out, err, false),
            app::kExitUsage);
  EXPECT_EQ(err.str(), "Složka programu /nonexistent-io-folder/ neexistuje.\n");
  EXPECT_EQ(app::run_cli({"--help"}, in, out, err, false), 0);
  EXPECT_EQ(out.str(), app::cli_usage());
}

}  // namespace
