// A table's bags rebuilt together make their keys side by side from runs of records read
// once; each must hold what the same bag built alone from the record-by-record pass holds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/index/order.h"
#include "platform/table/dbf_table.h"
#include "tests/support/test_util.h"

namespace {

using namespace xbase;

std::vector<IndexKey> keys_of(Order& o) {
  std::vector<IndexKey> out;
  o.verify([&](const IndexKey& k) { out.push_back(k); });
  return out;
}

TEST(RebuildRuns, BagsRebuiltTogetherHoldWhatEachBuildsAlone) {
  testutil::TempDir dir;
  TableOpenOptions o;
  o.share = ShareMode::kExclusive;
  const IndexOptions io{ShareMode::kExclusive, false, nullptr};
  auto t = DbfTable::create(dir.file("T.DBF"), {{"CZAK", 'N', 10, 0}, {"CIPO", 'C', 20, 0}}, o);
  for (int i = 0; i < 3000; ++i) {  // more than one run's worth is threaded
    t->append_blank();
    t->put("CZAK", Value::number((i * 7919) % 1000));
    t->put("CIPO", Value::text("KOD-" + std::to_string((i * 104729) % 577)));
    if (i % 5 == 0) t->set_deleted(true);
  }
  t->commit();
  const std::vector<std::pair<std::string, OrderDefinition>> defs = {
      {"A.CDX", {"CZAK", "CZAK", "", false, false}},
      {"B.CDX", {"CIPO", "CIPO+STR(CZAK,10)", "!DELETED()", false, false}},
      {"C.NTX", {"", "UPPER(CIPO)", "", true, false}}};
  std::vector<std::vector<IndexKey>> alone;
  for (const auto& [file, def] : defs) {
    auto bag = file.ends_with(".CDX") ? create_cdx(dir.file(file), {def}, *t, io)
                                      : create_ntx(dir.file(file), def, *t, io);
    alone.push_back(keys_of(bag->order(0)));
    ASSERT_GT(alone.back().size(), 500u) << file;
    t->add_bag(std::move(bag));
  }
  t->reindex();
  for (size_t i = 0; i < defs.size(); ++i)
    EXPECT_EQ(keys_of(*t->order(i + 1)), alone[i]) << defs[i].first;
}

}  // namespace
