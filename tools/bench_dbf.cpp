// bench_dbf: append N records to a POZAD-like table, scan it reading every field, and compare
// with one plain sequential read of the same file (the physical limit).
//   bench_dbf [--records N] [--folder DIR] [--shared]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file/file.h"
#include "platform/table/dbf_table.h"
#include "platform/table/settings.h"

using namespace xbase;
using Clock = std::chrono::steady_clock;

namespace {

double seconds_since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

// The order-line table's fields as the accounting folders carry them.
std::vector<FieldSpec> pozad_fields() {
  return {
      {"CZAK", 'N', 10, 0},  {"ZN", 'N', 1, 0},     {"CIPO", 'C', 16, 0},    {"OZN", 'C', 40, 0},
      {"POCET", 'N', 9, 2},  {"JEDC", 'N', 11, 2},  {"SAZBA", 'N', 4, 1},    {"REZ", 'N', 11, 3},
      {"DATP", 'D', 8, 0},   {"FIRM", 'N', 5, 0},   {"ZNC", 'N', 1, 0},      {"CENCI", 'N', 11, 2},
      {"SPLM", 'N', 11, 3},  {"SPLN", 'D', 8, 0},   {"SKLADEM", 'N', 11, 3}, {"JEDN", 'C', 3, 0},
      {"STRM", 'N', 3, 0},   {"POCUZ", 'N', 11, 3}, {"VYPDTZ", 'D', 8, 0},   {"VYPDTK", 'D', 8, 0},
      {"KONUZ", 'N', 11, 3}, {"TERUK", 'D', 8, 0},  {"IDPROD", 'N', 5, 0},   {"POZN", 'C', 30, 0}};
}

}  // namespace

int main(int argc, char** argv) {
  long records = 1000000;
  std::string folder = std::filesystem::temp_directory_path().string();
  bool shared = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--records" && i + 1 < argc)
      records = std::atol(argv[++i]);
    else if (a == "--folder" && i + 1 < argc)
      folder = argv[++i];
    else if (a == "--shared")
      shared = true;
    else {
      std::fprintf(stderr, "usage: bench_dbf [--records N] [--folder DIR] [--shared]\n");
      return 3;
    }
  }
  std::string path = path_join(folder, "BENCHPOZ.DBF");
  TableOpenOptions o;
  o.share = shared ? ShareMode::kShared : ShareMode::kExclusive;

  auto t0 = Clock::now();
  {
    auto t = DbfTable::create(path, pozad_fields(), o);
    if (shared) {
      t->close();
      t = DbfTable::open(path, o);
    }
    Date d = Date::from_ymd(2024, 1, 1);
    for (long i = 0; i < records; ++i) {
      t->append_blank();
      t->put("CZAK", Value::number(static_cast<double>(2024000000 + i / 5)));
      t->put("ZN", Value::number(static_cast<double>(i % 3)));
      t->put("CIPO", Value::text("ART-" + std::to_string(i % 50000)));
      t->put("OZN", Value::text("Položka číslo " + std::to_string(i)));
      t->put("POCET", Value::number(static_cast<double>(i % 17) + 0.5));
      t->put("JEDC", Value::number(static_cast<double>(i % 1000) * 1.25));
      t->put("SAZBA", Value::number(21));
      t->put("DATP", Value::date(Date{d.jdn + static_cast<int32_t>(i % 365)}));
      t->put("FIRM", Value::number(static_cast<double>(i % 20000)));
      t->put("IDPROD", Value::number(static_cast<double>(i % 10)));
    }
    t->close();
  }
  double append_s = seconds_since(t0);

  auto t1 = Clock::now();
  double checksum = 0;
  size_t text_bytes = 0;
  {
    auto t = DbfTable::open(path, o);
    int n = t->field_count();
    for (t->go_top(); !t->eof(); t->skip()) {
      for (int f = 0; f < n; ++f) {
        Value v = t->get(t->field_info(f).name);
        if (v.type() == Value::Type::kNumber)
          checksum += v.num();
        else if (v.type() == Value::Type::kChar)
          text_bytes += v.str().size();
        else if (v.type() == Value::Type::kDate)
          checksum += v.date_value().jdn;
      }
    }
  }
  double scan_s = seconds_since(t1);

  auto t2 = Clock::now();
  uint64_t raw = 0;
  {
    OpenOptions fo;
    fo.read_only = true;
    auto f = file_system().open(path, fo);
    std::vector<char> buf(1 << 20);
    uint64_t off = 0;
    for (;;) {
      size_t got = f->read_at(off, buf.data(), buf.size());
      if (got == 0) break;
      for (size_t i = 0; i < got; i += 4096) raw += static_cast<unsigned char>(buf[i]);
      off += got;
    }
  }
  double read_s = seconds_since(t2);
  uint64_t size = std::filesystem::file_size(path);

  std::printf("table: %s (%ld records, %.1f MB, %s)\n", path.c_str(), records, size / 1e6,
              shared ? "shared" : "exclusive");
  std::printf("append:          %8.3f s  (%.0f records/s)\n", append_s, records / append_s);
  std::printf("scan all fields: %8.3f s  (%.0f records/s)\n", scan_s, records / scan_s);
  std::printf("sequential read: %8.3f s  (physical limit)\n", read_s);
  std::printf("scan / read:     %8.1f x\n", scan_s / read_s);
  std::printf("(checksum %.0f, %zu text bytes, %llu)\n", checksum, text_bytes,
              static_cast<unsigned long long>(raw));
  std::filesystem::remove(path);
  return 0;
}
