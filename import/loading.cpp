// Appends the records of the shop's document to ESH_HLA.DBF and ESH_POL.DBF and builds
// WIESPOL.NTX (key CZAK) over the items, all in the program folder.
#include "import/loading.h"

#include "data/program_state.h"
#include "data/shared_access.h"
#include "import/order_document.h"
#include "import/posting.h"
#include "platform/index/order.h"
#include "platform/table/dbf_table.h"
#include "platform/table/field_codec.h"
#include "platform/table/settings.h"
#include "platform/table/work_areas.h"

namespace import {
namespace {

std::unique_ptr<xbase::DbServer> open_emptied(const char* table) {
  auto server = data::OPDBF(2, table, false, false);
  if (server) {
    server->table()->zap();
    server->commit();
  }
  return server;
}

// A number too wide for its field is stored as the xBase engines store it: the field filled
// with asterisks (read back as 0), so one odd order does not stop the whole run.
void put_number(xbase::DbfTable& t, const char* field, double value) {
  int i = t.field_index(field);
  if (i < 0) {
    t.put(field, xbase::Value::number(value));  // names the missing field
    return;
  }
  const xbase::FieldInfo& f = t.field_info(i);
  if (f.type != 'N' && f.type != 'F') {
    t.put(field, xbase::Value::number(value));
    return;
  }
  auto text = xbase::format_number(value, f.length, f.decimals);
  if (text)
    t.put_raw(i, *text);
  else
    t.put_raw(i, std::string(static_cast<size_t>(f.length), '*'));
}

// Shorter than its length and not ended by a line end: the document stopped inside it.
bool cut_short(std::string_view record) {
  size_t length = record[0] == 'c' ? kHeaderLength : kItemLength;
  return record.size() < length && record.back() != '\r' && record.back() != '\n';
}

template <size_t N>
void put_fields(xbase::DbfTable& t, std::string_view record, const DocumentField (&fields)[N],
                bool with_date) {
  for (const DocumentField& f : fields) {
    std::string_view bytes = field_bytes(record, f.position, f.length);
    if (f.conversion == 'N')
      put_number(t, f.target, document_number(bytes));
    else
      t.put(f.target, xbase::Value::text(document_text(bytes)));
    // DATO follows CZAK.
    if (with_date && f.position == 3) t.put("DATO", xbase::Value::date(document_date(record)));
  }
}

void index_items(xbase::DbServer& items) {
  xbase::DbfTable& t = *items.table();
  t.commit();
  xbase::OrderDefinition def;
  def.expression = "CZAK";
  xbase::IndexOptions options;
  options.share = xbase::ShareMode::kExclusive;
  options.collation = xbase::table_settings().collation;
  std::string path = data::program_folder() + "WIESPOL.NTX";
  auto bag = xbase::create_ntx(xbase::file_system().resolve_case(path), def, t, options);
  t.clear_bags();
  t.add_bag(std::move(bag));
  t.set_order(1);
  t.go_top();
}

}  // namespace

LoadResult load_document(ui::WindowInterface& window, std::string_view document,
                         const std::function<void()>& prepare_tables) {
  LoadResult r;
  window.set_text("FTPC", "Připojení 1. kontrolní čtení");
  window.refresh();
  prepare_tables();
  r.headers = open_emptied("ESH_HLA");
  if (r.headers) r.items = open_emptied("ESH_POL");
  if (!r.headers || !r.items) {
    r.outcome = LoadOutcome::kNoWorkTable;
    return r;
  }
  xbase::DbfTable& headers = *r.headers->table();
  xbase::DbfTable& items = *r.items->table();
  RecordReader reader(document);
  std::string_view record;
  double last_order = 0;
  while (reader.next(&record)) {
    if ((record[0] == 'c' || record[0] == 'p') && cut_short(record)) {
      // Only the last record can be cut; a cut item's order would be posted without it and
      // later refused as already registered, so the order is held back whole.
      double czak = document_number(field_bytes(record, 3, 10));
      r.cut_short = true;
      if (record[0] == 'p') r.held_back = {czak, last_order};
      window.add_row({order_text(czak), "Věta je zkrácená koncem dokumentu"});
      break;
    }
    if (record[0] == 'c') {
      headers.append_blank();
      window.set_text("FTPOCO", counter_text(++r.header_count));
      put_fields(headers, record, kHeaderFields, true);
      last_order = headers.get("CZAK").num();
    } else if (record[0] == 'p') {
      items.append_blank();
      window.set_text("FTPOCP", counter_text(++r.item_count));
      put_fields(items, record, kItemFields, false);
    } else {
      r.outcome = LoadOutcome::kUnknownRecord;
      window.warning_box(ui::Owner::kMain, data::kRefusedCaption,
                         "Neznámý typ věty!\n" + document_text(record.substr(0, 40)));
      break;
    }
    window.refresh();
  }
  index_items(*r.items);
  xbase::WorkAreas::instance().commit_all();
  return r;
}

}  // namespace import
