// A DBF file as found: opened, every record read, every field through every accessor, then
// walked forwards and backwards.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/table/dbf_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = xbase::path_join(fuzz::scratch_dir(), "FUZZ.DBF");
  fuzz::write_file(path, std::string_view(reinterpret_cast<const char*>(data), size));
  fuzz::expecting_errors([&] {
    xbase::TableOpenOptions o;
    o.share = xbase::ShareMode::kExclusive;
    o.read_only = true;
    auto t = xbase::DbfTable::open(path, o);
    uint32_t n = t->record_count();
    if (n > size) __builtin_trap();  // more records than the file has bytes
    for (uint32_t r = 1; r <= n; ++r) {
      t->go_to(r);
      (void)t->deleted();
      for (int i = 0; i < t->field_count(); ++i) {
        const xbase::FieldInfo& f = t->field_info(i);
        (void)t->raw_value(i);
        (void)t->raw_bytes(i);
        if (f.type == 'M') continue;  // its memo file is not there
        (void)t->get(f.name);
        (void)t->get_text(f.name);
      }
    }
    t->go_top();
    for (uint32_t steps = 0; !t->eof(); ++steps) {
      if (steps > n) __builtin_trap();
      t->skip(1);
    }
    t->go_bottom();
    for (uint32_t steps = 0; !t->bof(); ++steps) {
      if (steps > n) __builtin_trap();
      t->skip(-1);
    }
  });
  return 0;
}
