// A table's bags rebuilt together make their keys side by side from runs of records read
// once; each must hold what the same bag built alone from the record-by-record pass holds.
// Keys that go to disk on the way do not change that, and a scratch file that fails leaves
// every index as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/index/cdx_build_keys.h"
#include "platform/index/order.h"
#include "platform/table/dbf_table.h"
#include "tests/support/fault_fs.h"
#include "tests/support/test_util.h"

namespace {

using namespace xbase;

std::vector<IndexKey> keys_of(Order& o) {
  std::vector<IndexKey> out;
  o.verify([&](const IndexKey& k) { out.push_back(k); });
  return out;
}

class RebuildRuns : public ::testing::Test {
 protected:
  void SetUp() override {
    TableOpenOptions o;
    o.share = ShareMode::kExclusive;
    // 16,000 records of 286 bytes: more than one four-megabyte run of the pass.
    t_ = DbfTable::create(dir_.file("T.DBF"),
                          {{"CZAK", 'N', 10, 0}, {"CIPO", 'C', 20, 0}, {"POZN", 'C', 255, 0}}, o);
    for (int i = 0; i < 16000; ++i) {
      t_->append_blank();
      t_->put("CZAK", Value::number((i * 7919) % 1000));
      t_->put("CIPO", Value::text("KOD-" + std::to_string((i * 104729) % 577)));
      if (i % 5 == 0) t_->set_deleted(true);
    }
    t_->commit();
  }
  void TearDown() override { cdx::set_run_keys(run_keys_); }

  const std::vector<std::pair<std::string, OrderDefinition>> defs_ = {
      {"A.CDX", {"CZAK", "CZAK", "", false, false}},
      {"B.CDX", {"CIPO", "CIPO+STR(CZAK,10)", "!DELETED()", false, false}},
      {"C.NTX", {"", "UPPER(CIPO)", "", true, false}}};
  const IndexOptions io_{ShareMode::kExclusive, false, nullptr};
  const size_t run_keys_ = cdx::run_keys();
  testutil::TempDir dir_;
  std::unique_ptr<DbfTable> t_;
};

TEST_F(RebuildRuns, BagsRebuiltTogetherHoldWhatEachBuildsAlone) {
  std::vector<std::vector<IndexKey>> alone;
  for (const auto& [file, def] : defs_) {
    auto bag = file.ends_with(".CDX") ? create_cdx(dir_.file(file), {def}, *t_, io_)
                                      : create_ntx(dir_.file(file), def, *t_, io_);
    alone.push_back(keys_of(bag->order(0)));
    ASSERT_GT(alone.back().size(), 500u) << file;
    t_->add_bag(std::move(bag));
  }
  for (size_t run : {run_keys_, size_t{300}}) {
    cdx::set_run_keys(run);
    t_->reindex();
    for (size_t i = 0; i < defs_.size(); ++i)
      EXPECT_EQ(keys_of(*t_->order(i + 1)), alone[i]) << defs_[i].first << " runs of " << run;
  }
}

TEST_F(RebuildRuns, AScratchFileThatFailsLeavesEveryIndexAsItWas) {
  for (const auto& [file, def] : defs_)
    t_->add_bag(file.ends_with(".CDX") ? create_cdx(dir_.file(file), {def}, *t_, io_)
                                       : create_ntx(dir_.file(file), def, *t_, io_));
  t_->commit();
  std::vector<std::vector<char>> before;
  for (const auto& f : defs_) before.push_back(testutil::read_file(dir_.file(f.first)));
  const std::string scratch = (std::filesystem::temp_directory_path() / "importobj-").string();
  testutil::FaultFs fault(native_file_system(), scratch, 2, testutil::FaultFs::Fault::kError);
  cdx::set_run_keys(300);
  set_file_system(&fault);
  EXPECT_THROW(t_->reindex(), TableError);
  set_file_system(nullptr);
  EXPECT_GE(fault.calls(), 2u);
  for (size_t i = 0; i < defs_.size(); ++i)
    EXPECT_EQ(testutil::read_file(dir_.file(defs_[i].first)), before[i]) << defs_[i].first;
  for (const auto& e : std::filesystem::directory_iterator(std::filesystem::temp_directory_path()))
    EXPECT_FALSE(e.path().string().starts_with(scratch) && e.path().string().ends_with(".run"))
        << e.path();
}

}  // namespace
