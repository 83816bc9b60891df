// Appends the records of the shop's document to ESH_HLA.DBF and ESH_POL.DBF and builds
// WIESPOL.NTX (key CZAK) over the items, all in the program folder.
#include "import/loading.h"

#include "data/program_state.h"
#include "data/shared_access.h"
#include "import/order_document.h"
#include "import/posting.h"
#include "import/posting_checks.h"
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

// A number too wide for its field is left blank: its order is held back with the reason
// (returned) rather than posted with the 0 that asterisks would read back as.
std::string put_number(xbase::DbfTable& t, const char* table, const char* field, double value) {
  int i = t.field_index(field);
  if (i < 0 || (t.field_info(i).type != 'N' && t.field_info(i).type != 'F')) {
    t.put(field, xbase::Value::number(value));  // names a missing field, converts for others
    return {};
  }
  const xbase::FieldInfo& f = t.field_info(i);
  auto text = xbase::format_number(value, f.length, f.decimals);
  if (!text) return posting::overflow_text(t, table, field, value);
  t.put_raw(i, *text);
  return {};
}

// Shorter than its length and not ended by a line end: the document stopped inside it.
bool cut_short(std::string_view record) {
  size_t length = record[0] == 'c' ? kHeaderLength : kItemLength;
  return record.size() < length && record.back() != '\r' && record.back() != '\n';
}

void hold(LoadResult& r, double czak, const std::string& why) {
  for (const HeldOrder& h : r.held_back)
    if (h.czak == czak) return;  // the first reason stands
  r.held_back.push_back({czak, why});
}

// The first number that did not fit, as the reason its order is held back; empty when all did.
template <size_t N>
std::string put_fields(xbase::DbfTable& t, const char* table, std::string_view record,
                       const DocumentField (&fields)[N], bool with_date) {
  std::string why;
  for (const DocumentField& f : fields) {
    std::string_view bytes = field_bytes(record, f.position, f.length);
    if (f.conversion == 'N') {
      std::string problem = put_number(t, table, f.target, document_number(bytes));
      if (why.empty()) why = problem;
    } else {
      t.put(f.target, xbase::Value::text(document_text(bytes)));
    }
    // DATO follows CZAK.
    if (with_date && f.position == 3) t.put("DATO", xbase::Value::date(document_date(record)));
  }
  return why;
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
  // Only the last record can be cut; a cut item's order would be posted without it and later
  // refused as already registered, so the order is held back whole.
  auto cut = [&](std::string_view rec) {
    // Its order number only when the record holds the whole field: part of it is another one.
    const bool known = rec.size() >= 12;
    const double czak = document_number(field_bytes(rec, 3, 10));
    r.cut_short = true;
    if (rec[0] == 'p') {
      if (known) hold(r, czak, "Objednávka nepřišla celá");
      hold(r, last_order, "Objednávka nepřišla celá");
    }
    window.add_row({known ? order_text(czak) : std::string(), "Věta je zkrácená koncem dokumentu"});
  };
  bool read_all = true;
  while (reader.next(&record)) {
    if ((record[0] == 'c' || record[0] == 'p') && cut_short(record)) {
      cut(record);
      read_all = false;
      break;
    }
    if (record[0] == 'c') {
      headers.append_blank();
      window.set_text("FTPOCO", counter_text(++r.header_count));
      std::string why = put_fields(headers, "ESH_HLA", record, kHeaderFields, true);
      last_order = headers.get("CZAK").num();
      if (!why.empty()) hold(r, last_order, why);
    } else if (record[0] == 'p') {
      items.append_blank();
      window.set_text("FTPOCP", counter_text(++r.item_count));
      std::string why = put_fields(items, "ESH_POL", record, kItemFields, false);
      if (!why.empty()) hold(r, items.get("CZAK").num(), why);
    } else {
      r.outcome = LoadOutcome::kUnknownRecord;
      window.warning_box(ui::Owner::kMain, data::kRefusedCaption,
                         "Neznámý typ věty!\n" + document_text(record.substr(0, 40)));
      read_all = false;
      break;
    }
    window.refresh();
  }
  // A document that stops right after a record's type letter ends the reading without a
  // record: it is cut all the same.
  if (std::string_view rest = reader.rest(); read_all && (rest == "c" || rest == "p")) cut(rest);
  index_items(*r.items);
  xbase::WorkAreas::instance().commit_all();
  return r;
}

}  // namespace import
