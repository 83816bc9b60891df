// bench_index: on a POZAD-like table of N lines made by the layer as an accounting folder has
// it (order numbers rising with the record number, a few lines per order), create the five POZAD
// CDX tags, rebuild them, seek existing order numbers on the CZAK tag, and append the lines of
// new orders with all five tags open. The physical limit of the rebuild is measured in the same
// run: one sequential read of the table in large reads plus a sort of the same key bytes.
//   bench_index [--records N] [--folder DIR]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "platform/index/key_sort.h"
#include "platform/index/order.h"
#include "platform/table/dbf_table.h"
#include "platform/table/settings.h"
#include "platform/table/work_areas.h"

using namespace xbase;
using Clock = std::chrono::steady_clock;

namespace {

// Wall and processor time of one step.
struct Span {
  Clock::time_point wall = Clock::now();
  std::clock_t cpu = std::clock();
  double wall_s() const { return std::chrono::duration<double>(Clock::now() - wall).count(); }
  double cpu_s() const { return static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC; }
};

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
  std::vector<const char*> fields;  // the key's bytes are these fields' bytes in turn
  bool number;                      // a numeric key: 8 bytes of a double, ordered as bytes
};
const Tag kTags[] = {
    {"IPOZZ.CDX", "CZAK", {"CZAK"}, true},
    {"IPOZF.CDX", "FIRM", {"FIRM"}, true},
    {"IPOZC.CDX", "CIPO", {"CIPO"}, false},
    {"IPOCF.CDX", "CIPO+STR(FIRM,5)+STR(ZN,1)+STR(STRM,3)", {"CIPO", "FIRM", "ZN", "STRM"}, false},
    {"IPOZR.CDX", "STR(CZAK,10)+STR(IDPROD,5)", {"CZAK", "IDPROD"}, false}};

constexpr double kFirstOrder = 2020000001;

// Appends the lines of orders numbered from first on; returns the next free number.
double fill(DbfTable& t, long lines, double first, std::mt19937& rng) {
  double czak = first;
  for (long i = 0; i < lines; ++czak) {
    const double firm = static_cast<double>(rng() % 20000);
    const long n = std::min<long>(lines - i, 1 + static_cast<long>(rng() % 7));
    for (long l = 0; l < n; ++l, ++i) {
      t.append_blank();
      t.put("CZAK", Value::number(czak));
      t.put("ZN", Value::number(static_cast<double>(i % 3)));
      t.put("CIPO", Value::text("ART-" + std::to_string(rng() % 60000)));
      t.put("FIRM", Value::number(firm));
      t.put("STRM", Value::number(static_cast<double>(rng() % 9)));
      t.put("IDPROD", Value::number(static_cast<double>(10 * (l + 1))));
      t.put("POCET", Value::number(1 + static_cast<double>(i % 7)));
    }
  }
  return czak;
}

// The physical limit of a rebuild: the table read once front to back in 1 MB reads, the key
// bytes of every tag taken from the records, and each tag's keys sorted as bytes (then by
// record number) on the machine's cores, as the rebuild sorts them.
size_t read_and_sort(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return 0;
  std::vector<unsigned char> head(32);
  if (std::fread(head.data(), 1, 32, f) != 32) return 0;
  const size_t header = head[8] | head[9] << 8, reclen = head[10] | head[11] << 8;
  head.resize(header);
  if (std::fread(head.data() + 32, 1, header - 32, f) != header - 32) return 0;
  struct Field {
    size_t off, len;
  };
  auto field = [&](const char* name) {
    size_t off = 1;
    for (size_t d = 32; d + 32 <= header && head[d] != 0x0D; d += 32) {
      if (std::strncmp(reinterpret_cast<const char*>(&head[d]), name, 11) == 0)
        return Field{off, head[d + 16]};
      off += head[d + 16];
    }
    return Field{0, 0};
  };
  struct Keys {
    std::vector<Field> fields;
    bool number = false;
    size_t width = 0;
    std::vector<unsigned char> bytes;
  };
  std::vector<Keys> keys;
  for (const Tag& t : kTags) {
    Keys k;
    for (const char* name : t.fields) k.fields.push_back(field(name));
    k.number = t.number;
    for (const Field& fd : k.fields) k.width += fd.len;
    if (k.number) k.width = 8;
    keys.push_back(std::move(k));
  }
  std::vector<unsigned char> buf(size_t{1} << 20);
  std::fseek(f, static_cast<long>(header), SEEK_SET);
  size_t have = 0, records = 0;
  for (size_t got; (got = std::fread(buf.data() + have, 1, buf.size() - have, f)) > 0;) {
    have += got;
    size_t at = 0;
    for (; at + reclen <= have; at += reclen, ++records) {
      const unsigned char* rec = buf.data() + at;
      for (Keys& k : keys) {
        if (k.number) {
          // A CDX number key: the double's bytes big-endian, sign bit flipped (all >= 0 here).
          char text[32] = {};
          std::memcpy(text, rec + k.fields[0].off, k.fields[0].len);
          double v = std::strtod(text, nullptr);
          uint64_t bits;
          std::memcpy(&bits, &v, 8);
          bits ^= uint64_t{1} << 63;
          for (int b = 7; b >= 0; --b)
            k.bytes.push_back(static_cast<unsigned char>(bits >> (8 * b)));
        } else {
          for (const Field& fd : k.fields)
            k.bytes.insert(k.bytes.end(), rec + fd.off, rec + fd.off + fd.len);
        }
      }
    }
    std::memmove(buf.data(), buf.data() + at, have - at);
    have -= at;
  }
  std::fclose(f);
  // The same byte sort the build uses: the limit is what reading and sorting cost, not a
  // slower sort.
  auto sort_one = [&](const Keys& k) {
    std::string_view bytes(reinterpret_cast<const char*>(k.bytes.data()), k.bytes.size());
    return xbase::byte_sorted(bytes, k.width).size();
  };
  std::atomic<size_t> next{0};
  auto sorter = [&] {
    for (size_t i; (i = next++) < keys.size();) sort_one(keys[i]);
  };
  std::vector<std::thread> pool;
  for (unsigned t = 1; t < std::max(1u, std::thread::hardware_concurrency()); ++t)
    pool.emplace_back(sorter);
  sorter();
  for (std::thread& t : pool) t.join();
  return records;
}

struct Step {
  double wall = 0, cpu = 0;
  explicit Step(const Span& s) : wall(s.wall_s()), cpu(s.cpu_s()) {}
  Step() = default;
};

void print(const char* what, const Step& s, const char* note = "") {
  std::printf("%-26s %8.3f s (processor %7.3f s)%s\n", what, s.wall, s.cpu, note);
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
  std::mt19937 rng(5);
  double next_order = kFirstOrder;
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
    next_order = fill(*t, records, kFirstOrder, rng);
    t->close();
  }
  IndexOptions io{ShareMode::kExclusive, false, nullptr};

  // Create the five tags, one file each, as the accounting folder has them.
  long rss_before = peak_rss_kb();
  Span s0;
  {
    auto t = DbfTable::open(path, ex);
    for (const Tag& tag : kTags) {
      OrderDefinition d;
      d.tag = std::filesystem::path(tag.file).stem().string();
      d.expression = tag.expr;
      create_cdx(path_join(dir, tag.file), {d}, *t, io)->close();
    }
  }
  Step create(s0);
  long rss_create = peak_rss_kb();

  Span s1;
  {
    auto t = DbfTable::open(path, ex);
    for (const Tag& tag : kTags) t->add_bag(open_cdx(path_join(dir, tag.file), *t, io));
    t->reindex();
    t->close();
  }
  Step reindex(s1);
  long rss_after = peak_rss_kb();

  Span s2;
  size_t read = read_and_sort(path);
  Step limit(s2);

  // Existing order numbers, each of them in the table.
  std::vector<double> wanted;
  std::mt19937 pick(9);
  const auto orders = static_cast<uint32_t>(next_order - kFirstOrder);
  for (int i = 0; i < 10000; ++i) wanted.push_back(kFirstOrder + pick() % orders);
  int found = 0;
  Step seek, seek_again;
  {
    auto t = DbfTable::open(path, ex);
    t->add_bag(open_cdx(path_join(dir, "IPOZZ.CDX"), *t, io));
    Span s3;
    for (double v : wanted) found += t->seek(Value::number(v)) ? 1 : 0;
    seek = Step(s3);
    // The same seeks again, every page they need already held: what the first reads cost.
    Span s3b;
    for (double v : wanted) t->seek(Value::number(v));
    seek_again = Step(s3b);
  }

  Step append;
  {
    auto t = DbfTable::open(path, ex);
    for (const Tag& tag : kTags) t->add_bag(open_cdx(path_join(dir, tag.file), *t, io));
    Span s4;
    fill(*t, 10000, next_order, rng);
    t->close();
    append = Step(s4);
  }

  std::printf("table: %ld lines of %u orders, five CDX tags (%s)\n", records, orders, dir.c_str());
  print("create 5 tags:", create);
  print("rebuild 5 tags:", reindex);
  char note[80];
  std::snprintf(note, sizeof note, " (%zu records read)", read);
  print("limit (read + sort):", limit, note);
  std::printf("%-26s %8.2f x\n", "rebuild / limit:", reindex.wall / limit.wall);
  std::printf(
      "peak memory:               %8.1f MB (%.1f MB before the index work, %.1f MB after "
      "the create)\n",
      rss_after / 1024.0, rss_before / 1024.0, rss_create / 1024.0);
  std::snprintf(note, sizeof note, " (%d of 10,000 found)", found);
  print("10,000 seeks on CZAK:", seek, note);
  print("the same seeks again:", seek_again);
  print("10,000 appends, 5 tags:", append);
  std::filesystem::remove_all(dir);
  return 0;
}
