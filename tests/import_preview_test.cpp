// A preview run on a copy of a fixture folder: the verdicts of a real run, what that run would
// write, and not one byte of the folder changed nor the shop told.
#include <filesystem>

#include "tests/import_run_fixture.h"

namespace {

using namespace runtest;
using testutil::header;
using testutil::item;

std::map<std::string, std::vector<char>> folder_bytes(const std::string& dir) {
  std::map<std::string, std::vector<char>> out;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    out[e.path().filename().string()] = testutil::read_file(e.path().string());
  return out;
}

TEST_F(ImportRunTest, APreviewGivesARunsVerdictsAndWritesNothing) {
  window_.set_checked("ZALOZKARTU", true);
  serve(testutil::document({
      header("5001", "Firma podle IČO", "27719111"),
      item("5001", "MAT-000010/T", "Kabel z e-shopu", "10.50", "3"),
      item("5001", "NENI-KARTA", "Šroubovák", "10.50", "3"),
      item("5001", "", "Bez čísla"),
      header("2023000001", "Už je v ZAK"),
      item("2023000001", "MAT-000010/T"),
      header("5004", "Nový odběratel s.r.o."),
      item("5004", "ZB-000022/F", "Lopata", "3.33", "2"),
  }));
  const auto before = folder_bytes(target_.path());
  window_.boxes.clear();
  sdi_.Zkusebni();
  const app::RunRecord preview = sdi_.last_run();

  EXPECT_TRUE(folder_bytes(target_.path()) == before) << "the preview changed the folder";
  EXPECT_EQ(shop_.requests(), (std::vector<std::string>{kExport}));
  EXPECT_TRUE(preview.preview);
  EXPECT_FALSE(preview.confirmation_sent);
  EXPECT_EQ(window_.text("FTPSTATUS"), "Zkušební import: nic nebylo zapsáno");
  ASSERT_EQ(window_.boxes.size(), 1u);
  EXPECT_EQ(window_.boxes[0].text, "Zkušební import ukončen, nic nebylo zapsáno.");
  EXPECT_EQ(preview.preview_lines,
            (std::vector<std::string>{
                "Objednávka 5001: odběratel 1 (nalezen podle IČO), položek 2, nové karty: NENI-KARTA",
                "Objednávka 5004: odběratel nový (číslo dostane při importu), položek 1"}));

  const app::RunRecord real = run();
  EXPECT_EQ(shop_.requests(), (std::vector<std::string>{kExport, kExport, kConfirm}));
  EXPECT_FALSE(real.preview);
  for (auto [p, r] : {std::pair{preview.good_orders, real.good_orders},
                      {preview.bad_orders, real.bad_orders},
                      {preview.good_items, real.good_items},
                      {preview.bad_items, real.bad_items}})
    EXPECT_EQ(p, r);
  EXPECT_EQ(preview.rejected, real.rejected);
  EXPECT_EQ(real.good_orders, 2u);
  expect_indexes_ok();
}

}  // namespace
