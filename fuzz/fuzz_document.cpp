// The shop's order document: records read, each field cut out and converted as the loading
// does, and put into work tables of the loading's layout in a scratch folder.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "import/order_document.h"
#include "platform/table/dbf_table.h"
#include "platform/table/field_codec.h"

namespace {

struct Tables {
  std::unique_ptr<xbase::DbfTable> headers, items;
  Tables() {
    xbase::TableOpenOptions o;
    o.share = xbase::ShareMode::kExclusive;
    headers = xbase::DbfTable::create(xbase::path_join(fuzz::scratch_dir(), "ESH_HLA.DBF"),
                                      {{"CZAK", 'N', 10, 0},
                                       {"DATO", 'D', 8, 0},
                                       {"JMENO", 'C', 20, 0},
                                       {"PRIJMENI", 'C', 30, 0},
                                       {"NAZD", 'C', 40, 0},
                                       {"ULD", 'C', 30, 0},
                                       {"PSC", 'C', 8, 0},
                                       {"MIST", 'C', 25, 0},
                                       {"NSTAT", 'C', 15, 0},
                                       {"ICO", 'N', 10, 0},
                                       {"REGC", 'C', 15, 0},
                                       {"TEL", 'C', 15, 0},
                                       {"EMAIL", 'C', 30, 0}},
                                      o);
    items = xbase::DbfTable::create(xbase::path_join(fuzz::scratch_dir(), "ESH_POL.DBF"),
                                    {{"CZAK", 'N', 10, 0},
                                     {"CIPO", 'C', 16, 0},
                                     {"NAZEV", 'C', 50, 0},
                                     {"VYROBCE", 'C', 30, 0},
                                     {"KUSY", 'N', 11, 3},
                                     {"CENB", 'N', 11, 2},
                                     {"CENS", 'N', 11, 2},
                                     {"SAZBA", 'N', 4, 1}},
                                    o);
  }
};

template <size_t N>
void put_fields(xbase::DbfTable& t, std::string_view record,
                const import::DocumentField (&fields)[N]) {
  for (const import::DocumentField& f : fields) {
    std::string_view bytes = import::field_bytes(record, f.position, f.length);
    if (bytes.size() > f.length) __builtin_trap();
    if (f.conversion == 'N') {
      const xbase::FieldInfo& info = t.field_info(t.field_index(f.target));
      auto text = xbase::format_number(import::document_number(bytes), info.length, info.decimals);
      if (text && text->size() != static_cast<size_t>(info.length)) __builtin_trap();
      t.put_raw(t.field_index(f.target), text ? *text : std::string(info.length, '*'));
    } else {
      t.put(f.target, xbase::Value::text(import::document_text(bytes)));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Tables tables;
  std::string_view doc(reinterpret_cast<const char*>(data), size);
  tables.headers->zap();
  tables.items->zap();
  import::RecordReader reader(doc);
  std::string_view record;
  size_t records = 0;
  while (reader.next(&record)) {
    if (record.empty() || ++records > size) __builtin_trap();  // a reader that never ends
    if (record[0] == 'c') {
      tables.headers->append_blank();
      put_fields(*tables.headers, record, import::kHeaderFields);
      tables.headers->put("DATO", xbase::Value::date(import::document_date(record)));
    } else if (record[0] == 'p') {
      tables.items->append_blank();
      put_fields(*tables.items, record, import::kItemFields);
    } else {
      (void)import::document_text(record.substr(0, 40));
      break;
    }
  }
  (void)import::counter_text(records);
  return 0;
}
