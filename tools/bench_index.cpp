// bench_index: on a POZAD-like table of N lines made by the layer, create the five POZAD CDX
// tags, reindex them, seek the CZAK tag, and append with all five tags open. The physical limit
// of the reindex is measured in the same run: one sequential read of the table plus an
// in-memory sort of the same keys.
//   bench_index [--records N] [--folder DIR]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "platform/index/order.h"
#include "platform/table/dbf_table.h"
#include "platform/table/settings.h"
#include "platform/table/work_areas.h"

using namespace xbase;
using Clock = std::chrono::steady_clock;

namespace {

double since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

long peak_rss_kb() {
#ifndef _WIN32
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
#else
  return 0;
#endif
}

struct Tag {
  const char* file;
  const char* expr;
};
const Tag kTags[] = {{"IPOZZ.CDX", "CZAK"},
                     {"IPOZF.CDX", "FIRM"},
                     {"IPOZC.CDX", "CIPO"},
                     {"IPOCF.CDX", "CIPO+STR(FIRM,5)+STR(ZN,1)+STR(STRM,3)"},
                     {"IPOZR.CDX", "STR(CZAK,10)+STR(IDPROD,5)"}};

void fill(DbfTable& t, long records) {
  std::mt19937 rng(5);
  for (long i = 0; i < records; ++i) {
    t.append_blank();
    t.put("CZAK", Value::number(static_cast<double>(2020000000 + (rng() % 400000))));
    t.put("ZN", Value::number(static_cast<double>(i % 3)));
    t.put("CIPO", Value::text("ART-" + std::to_string(rng() % 60000)));
    t.put("FIRM", Value::number(static_cast<double>(rng() % 20000)));
    t.put("STRM", Value::number(static_cast<double>(rng() % 9)));
    t.put("IDPROD", Value::number(static_cast<double>(10 * (i % 6))));
    t.put("POCET", Value::number(1 + static_cast<double>(i % 7)));
  }
}

}  // namespace

int main(int argc, char** argv) {
  long records = 1000000;
  std::string folder = std::filesystem::temp_directory_path().string();
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--records" && i + 1 < argc)
      records = std::atol(argv[++i]);
    else if (a == "--folder" && i + 1 < argc)
      folder = argv[++i];
    else {
      std::fprintf(stderr, "usage: bench_index [--records N] [--folder DIR]\n");
      return 3;
    }
  }
  std::string dir = path_join(folder, "bench-index");
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::string path = path_join(dir, "POZAD.DBF");
  TableOpenOptions ex;
  ex.share = ShareMode::kExclusive;
  ex.locks = LockScheme::kVfp;
  {
    auto t = DbfTable::create(path,
                              {{"CZAK", 'N', 10, 0},
                               {"ZN", 'N', 1, 0},
                               {"CIPO", 'C', 16, 0},
                               {"OZN", 'C', 40, 0},
                               {"POCET", 'N', 11, 3},
                               {"JEDC", 'N', 11, 2},
                               {"DATP", 'D', 8, 0},
                               {"FIRM", 'N', 5, 0},
                               {"STRM", 'N', 3, 0},
                               {"IDPROD", 'N', 5, 0},
                               {"POZN", 'C', 30, 0}},
                              ex);
    fill(*t, records);
    t->close();
  }
  IndexOptions io{ShareMode::kExclusive, false, nullptr};

  // Create the five tags, one file each, as the accounting folder has them.
  long rss_before = peak_rss_kb();
  auto t0 = Clock::now();
  {
    auto t = DbfTable::open(path, ex);
    for (const Tag& tag : kTags) {
      OrderDefinition d;
      d.tag = std::filesystem::path(tag.file).stem().string();
      d.expression = tag.expr;
      create_cdx(path_join(dir, tag.file), {d}, *t, io)->close();
    }
  }
  double create_s = since(t0);

  auto t1 = Clock::now();
  {
    auto t = DbfTable::open(path, ex);
    for (const Tag& tag : kTags) t->add_bag(open_cdx(path_join(dir, tag.file), *t, io));
    t->reindex();
    t->close();
  }
  double reindex_s = since(t1);
  long rss_after = peak_rss_kb();

  // The physical limit: read the table once, evaluate the same keys, sort them in memory.
  auto t2 = Clock::now();
  {
    auto t = DbfTable::open(path, ex);
    std::vector<std::unique_ptr<KeyExpression>> exprs;
    for (const Tag& tag : kTags) exprs.push_back(KeyExpression::compile(tag.expr, *t));
    std::vector<std::vector<std::pair<std::string, uint32_t>>> keys(exprs.size());
    for (auto& k : keys) k.reserve(static_cast<size_t>(records));
    t->scan([&](const RecordSource& r) {
      for (size_t i = 0; i < exprs.size(); ++i) {
        Value v = exprs[i]->evaluate(r);
        double num = v.num();
        std::string k = v.type() == Value::Type::kNumber
                            ? std::string(reinterpret_cast<const char*>(&num), sizeof num)
                            : v.str();
        keys[i].emplace_back(std::move(k), r.recno());
      }
    });
    for (auto& k : keys) std::sort(k.begin(), k.end());
  }
  double limit_s = since(t2);

  auto t3 = Clock::now();
  int found = 0;
  {
    auto t = DbfTable::open(path, ex);
    t->add_bag(open_cdx(path_join(dir, "IPOZZ.CDX"), *t, io));
    std::mt19937 rng(9);
    for (int i = 0; i < 10000; ++i)
      found += t->seek(Value::number(static_cast<double>(2020000000 + rng() % 400000))) ? 1 : 0;
  }
  double seek_s = since(t3);

  auto t4 = Clock::now();
  {
    auto t = DbfTable::open(path, ex);
    for (const Tag& tag : kTags) t->add_bag(open_cdx(path_join(dir, tag.file), *t, io));
    fill(*t, 10000);
    t->close();
  }
  double append_s = since(t4);

  std::printf("table: %ld records, five CDX tags (%s)\n", records, dir.c_str());
  std::printf("create 5 tags:          %8.3f s\n", create_s);
  std::printf("reindex 5 tags:         %8.3f s\n", reindex_s);
  std::printf("limit (read + sort):    %8.3f s\n", limit_s);
  std::printf("reindex / limit:        %8.2f x\n", reindex_s / limit_s);
  std::printf("peak memory:            %8.1f MB (%.1f MB before the index work)\n",
              rss_after / 1024.0, rss_before / 1024.0);
  std::printf("10,000 seeks on CZAK:   %8.3f s (%d found)\n", seek_s, found);
  std::printf("10,000 appends, 5 tags: %8.3f s\n", append_s);
  std::filesystem::remove_all(dir);
  return 0;
}
