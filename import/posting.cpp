// The posting phase: opens IDENT, DOOD and ZAK into work areas 5 and 3 and the Zas and Pozad
// data servers, then walks ESH_HLA in record order and writes each acceptable order into ZAK
// (with its partner found in or added to DOOD); the items are handled in posting_items.cpp.
#include "import/posting.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <utility>

#include "data/numbering.h"
#include "data/program_state.h"
#include "data/shared_access.h"
#include "import/posting_checks.h"
#include "import/posting_steps.h"
#include "platform/table/field_codec.h"
#include "platform/table/settings.h"
#include "platform/table/table_error.h"
#include "platform/table/work_areas.h"
#include "platform/text/codepage.h"

namespace import {

using xbase::DbfTable;
using xbase::Value;
using xbase::WorkAreas;

PostingClock PostingClock::now() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &t);
#else
  localtime_r(&t, &tm);
#endif
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
  return {xbase::Date::from_ymd(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday), buf};
}

namespace {

// Right-aligned in width; a wider number keeps all its digits, since asterisks would hide the
// order number the operator needs (shop order numbers commonly have 10 digits).
std::string fixed_width(double v, int width) {
  for (int w = width; w < 24; ++w)
    if (auto text = xbase::format_number(v, w, 0)) return *text;
  return std::string(static_cast<size_t>(width), '*');
}

std::string date_text(xbase::Date d) {
  if (d.empty()) return "  .  .    ";
  int y = 0, m = 0, day = 0;
  d.to_ymd(y, m, day);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", day % 100, m % 100, y % 10000);
  return buf;
}

// POCDNU's numeric value: its leading digits after blanks, as its "N", 2, 0 field reads it.
int days_of(const std::string& text) {
  size_t i = text.find_first_not_of(' ');
  int v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && v < 100; ++i)
    v = v * 10 + (text[i] - '0');
  return v;
}

}  // namespace

std::string count_text(unsigned n) { return fixed_width(n, 4); }
std::string order_text(double czak) { return fixed_width(czak, 8); }

PostingResult post_orders(ui::WindowInterface& window, xbase::DbServer& headers,
                          xbase::DbServer& items, const PostingClock& clock,
                          const std::vector<HeldOrder>& held_back, PostingMode mode) {
  posting::Run run(window, headers, items, clock, held_back, mode);
  return run.go();
}

std::string preview_text(const OrderPreview& p) {
  std::string order = order_text(p.czak);
  order.erase(0, order.find_first_not_of(' '));
  std::string text = "Objednávka " + order + ": odběratel ";
  switch (p.partner) {
    case OrderPreview::Partner::kByIco:
      text += std::to_string(p.firma) + " (nalezen podle IČO)";
      break;
    case OrderPreview::Partner::kByName:
      text += std::to_string(p.firma) + " (nalezen podle názvu)";
      break;
    case OrderPreview::Partner::kNew:
      text += "nový (číslo dostane při importu)";
      break;
  }
  text += ", položek " + std::to_string(p.lines);
  if (!p.new_cards.empty()) {
    text += ", nové karty:";
    for (const std::string& c : p.new_cards) text += " " + c;
  }
  return text;
}

namespace posting {

void put_number(DbfTable& t, std::string_view field, double value) {
  int i = t.field_index(field);
  if (i < 0 || (t.field_info(i).type != 'N' && t.field_info(i).type != 'F')) {
    t.put(field, Value::number(value));  // names a missing field, converts for other types
    return;
  }
  const xbase::FieldInfo& f = t.field_info(i);
  auto text = xbase::format_number(value, f.length, f.decimals);
  // Asterisks would read back as 0: the order fails whole instead.
  if (!text) {
    std::string table = t.path().substr(t.path().find_last_of("/\\") + 1);
    table = table.substr(0, table.find('.'));
    throw xbase::TableError(xbase::kErrDataWidth, 0, t.path(),
                            overflow_text(t, table, field, value));
  }
  t.put_raw(i, *text);
}

void put_value(DbfTable& t, std::string_view field, const Value& v) {
  if (v.type() == Value::Type::kNumber)
    put_number(t, field, v.num());
  else
    t.put(field, v);
}

std::string rtrim(std::string s) {
  s.erase(s.find_last_not_of(' ') + 1);
  return s;
}

bool blank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

DbfTable& Run::zak() const {
  DbfTable* t = WorkAreas::instance().by_alias("S3");
  if (!t) throw xbase::TableError(xbase::kErrNoTable, 0, "ZAK.DBF", "alias S3 is not open");
  return *t;
}

DbfTable& Run::dood() const {
  DbfTable* t = WorkAreas::instance().by_alias("S5");
  if (!t) throw xbase::TableError(xbase::kErrNoTable, 0, "DOOD.DBF", "alias S5 is not open");
  return *t;
}

void Run::count(std::uint16_t& n, const char* control) {
  ++n;
  win_.set_text(control, count_text(n));
}

void Run::reject(double czak, const std::string& why) { win_.add_row({order_text(czak), why}); }

bool Run::open_tables() {
  xbase::TableSettings& s = xbase::table_settings();
  s.default_folder = data::target_folder();
  WorkAreas& w = WorkAreas::instance();
  w.select(5);
  std::string refusal;
  if (data::OPAREA("IDENT", true, "S5")) {
    DbfTable& ident = *w.table(5);
    refusal = ident_layout_problem(ident);
    if (refusal.empty()) {
      prab_[0] = ident.get("PRAB1").num();
      prab_[1] = ident.get("PRAB2").num();
      prab_[2] = ident.get("PRAB3").num();
    }
    w.close(5);
  }
  bool ok = true;
  s.driver = "DBFCDX";
  w.select(5);
  if (data::OPAREA("DOOD", false, "S5")) {
    w.table(5)->clear_bags();
    for (const char* bag : {"IICO", "NAZO", "IFIRM"}) w.order_list_add(5, bag);
    w.table(5)->set_order(1);
  } else {
    ok = false;
  }
  s.driver = "DBFNTX";
  w.select(3);
  if (data::OPAREA("ZAK", false, "S3")) {
    w.table(3)->clear_bags();
    for (const char* bag : {"CIZA", "NZAK", "TCIZA", "INAZAK", "ISPZZ"}) w.order_list_add(3, bag);
    w.table(3)->set_order(1);
  } else {
    ok = false;
  }
  zas_ = data::OPSERVER<data::Zas>(false, false);
  if (!zas_) ok = false;
  pozad_ = data::OPSERVER<data::Pozad>(false, false);
  if (!ok || !pozad_) return false;
  // Every layout before the first order: a field missing or of another type would otherwise
  // stop the run half way through an order.
  for (auto problem : {zak_layout_problem(zak()), dood_layout_problem(dood()),
                       pozad_layout_problem(*pozad_->table()), zas_layout_problem(*zas_->table())})
    if (refusal.empty()) refusal = problem;
  // The cards are sought by item number, in Iczas by name: a number sought in another order
  // finds nothing and each item would get a duplicate card.
  if (refusal.empty() && !zas_->set_order("Iczas"))
    refusal = "Chybí index Iczas.cdx skladových karet (ZAS), import nelze spustit.";
  if (refusal.empty()) return true;
  win_.warning_box(ui::Owner::kMain, data::kRefusedCaption, refusal);
  return false;
}

PostingResult Run::go() {
  win_.set_text("FTPC", "Kontrola a zápis dobrých");
  win_.refresh();
  opt_.nzas = win_.checked("NZAS");
  opt_.zalozkartu = win_.checked("ZALOZKARTU");
  opt_.days = days_of(win_.text("POCDNU"));
  // Before the tables open: only files opened under the journal have their writes held.
  journal_ =
      preview_ ? std::make_unique<xbase::Journal>(data::target_folder(), xbase::Journal::Preview{})
               : std::make_unique<xbase::Journal>(data::target_folder());
  try {
    if (!open_tables()) {
      journal_->finish();
      result_.outcome = PostOutcome::kNotOpened;
      return result_;
    }
    post_all();
    if (preview_) {
      journal_->finish();  // everything dropped
      return result_;
    }
    // The rebuild starts from a checkpoint: the index it replaces is whole on disk.
    journal_->checkpoint();
    pozad_->set_order(1);
    pozad_->reindex();
    WorkAreas::instance().commit_all();
    journal_->finish();
  } catch (...) {
    journal_->abort();
    throw;
  }
  return result_;
}

void Run::post_all() {
  // An index whose keys fit no rules the layer knows stops the run before its first order.
  for (DbfTable* t : {&zak(), &dood(), zas_->table(), pozad_->table()}) t->refuse_unfit_orders();
  hla_.commit();
  pol_.commit();
  pol_.set_order(1);
  hla_.go_top();
  while (!hla_.eof()) {
    double czak = hla_.field_get("CZAK").num();
    std::string error;
    auto held = std::find_if(held_back_.begin(), held_back_.end(),
                             [czak](const HeldOrder& h) { return h.czak == czak; });
    if (held != held_back_.end())
      error = held->why;
    else if (zak().seek(Value::number(czak)))
      error = "Je již evidována";
    else if (!pol_.seek(Value::number(czak)))
      error = "Nemá položky";
    else if (!post_committed(czak, error)) {
      result_.outcome = PostOutcome::kStopped;
      break;
    }
    if (!error.empty()) {
      count(result_.bad_orders, "FTPCHY");
      reject(czak, error);
    }
    win_.refresh();
    hla_.skip();
  }
}

namespace {

std::string not_written_text(const std::string& order) {
  return "\rObjednávka " + order + " nebyla zapsána.";
}

}  // namespace

bool Run::post_committed(double czak, std::string& rejected) {
  std::string order = rtrim(order_text(czak));
  order.erase(0, order.find_first_not_of(' '));
  bool committing = false;
  try {
    if (!post_order(czak, rejected)) return false;
    if (!rejected.empty()) return true;  // refused before its first write
    WorkAreas::instance().commit_all();
    committing = true;
    journal_->commit(order);
    return true;
  } catch (const std::exception& e) {
    journal_->abort();
    // An error after the commit mark leaves the order whole: the next start writes it.
    if (committing && journal_->last_commit_durable()) throw;
    if (auto* t = dynamic_cast<const xbase::TableError*>(&e))
      throw xbase::TableError(t->generic(), t->os_code(), t->file(),
                              t->message() + not_written_text(order));
    throw std::runtime_error(e.what() + not_written_text(order));
  }
}

namespace {

// ZAK NAZD and NAZD2 of an order: the company with the person second, or the person alone.
std::pair<std::string, std::string> order_names(const DbfTable& h) {
  std::string nazd = h.get("NAZD").str();
  std::string person = rtrim(h.get("PRIJMENI").str()) + " " + h.get("JMENO").str();
  if (blank(nazd)) return {person, std::string()};
  return {nazd, person};
}

}  // namespace

bool Run::post_order(double czak, std::string& rejected) {
  // The checks, the partner and a new partner's number come before anything of the order is
  // written: a rejection or a cancelled wait for POSCI then leaves neither an order without its
  // partner nor a partner without a number.
  rejected = order_overflow(czak);
  if (!rejected.empty()) return true;
  OrderPreview::Partner how = OrderPreview::Partner::kNew;
  const bool found = find_partner(&how);
  std::int64_t firma = 0;
  if (!found) {
    rejected = overflow_text(dood(), "DOOD", "ICO", hla_.field_get("ICO").num());
    if (!rejected.empty()) return true;
    // A preview takes no number: the counter is shared with the other workstations.
    if (!preview_) {
      firma = new_partner_number();
      if (firma == 0) return false;
    }
  }
  const double firm = found ? dood().get("FIRMA").num() : static_cast<double>(firma);
  rejected = overflow_text(zak(), "ZAK", "FIRM", firm);
  if (rejected.empty()) rejected = overflow_text(*pozad_->table(), "POZAD", "FIRM", firm);
  if (!rejected.empty()) return true;
  if (preview_) {
    // A partner found without a number is one this preview added for an earlier order.
    if (found && firm == 0) how = OrderPreview::Partner::kNew;
    result_.previews.push_back({czak, how, static_cast<std::int64_t>(firm), 0, {}});
    order_preview_ = &result_.previews.back();
  }
  WorkAreas::instance().select(3);
  zak().append_blank();
  count(result_.good_orders, "FTPDOB");
  write_order(czak);
  if (!found) add_partner(firma);
  put_value(zak(), "FIRM", dood().get("FIRMA"));
  std::uint16_t line = 0;
  double total = 0;
  while (!pol_.eof() && pol_.field_get("CZAK").num() == czak) {
    post_item(czak, line, total);
    pol_.skip();
  }
  // Inside the order's commit: a committed order always has its total.
  put_number(zak(), "CAST", total);
  return true;
}

void Run::write_order(double czak) {
  DbfTable& z = zak();
  const DbfTable& h = *hla_.table();
  put_number(z, "CZAK", czak);
  z.put("NAZ", Value::text("Z Bazaro " + date_text(clock_.today) + " " + clock_.time));
  auto [nazd, nazd2] = order_names(h);
  z.put("NAZD", Value::text(nazd));
  z.put("NAZD2", Value::text(nazd2));
  z.put("DATO", h.get("DATO"));
  xbase::Date dato = z.get("DATO").date_value();
  // An empty date stays empty: days added to it would make a date out of nothing.
  if (!dato.empty()) dato.jdn += opt_.days;
  z.put("PTER", Value::date(dato));
  for (const char* f : {"ULD", "MIST", "PSC", "NSTAT", "ICO", "REGC", "TEL"})
    put_value(z, f, h.get(f));
  z.put("JEDOK", Value::logical(true));
}

bool Run::find_partner(OrderPreview::Partner* how) {
  double ico = hla_.field_get("ICO").num();
  WorkAreas::instance().select(5);
  DbfTable& d = dood();
  if (ico > 0) {
    d.set_order(1);
    *how = OrderPreview::Partner::kByIco;
    if (d.seek(Value::number(ico))) return true;
  }
  *how = OrderPreview::Partner::kByName;
  // The name as ZAK NAZD will store it: in ZAK's code page, cut or padded to its width.
  const DbfTable& z = zak();
  int i = z.field_index("NAZD");
  if (i < 0) {
    (void)z.get("NAZD");  // throws, naming the missing field
    return false;
  }
  const xbase::CodePage& cp = z.codepage();
  // A new partner stores it in DOOD NAZD: cut to the narrower width, the same customer is found
  // again next time.
  int width = z.field_info(i).length;
  if (int dood_width = text_width(d, "NAZD"); dood_width > 0 && dood_width < width)
    width = dood_width;
  std::string stored = xbase::fit_text(cp.from_utf8(order_names(*hla_.table()).first), width);
  d.set_order(2);
  // The name index's own UPPER: older runtimes map only the ASCII letters.
  const xbase::Order* by_name = d.controlling_order();
  const xbase::CodePage& upper_cp = by_name && by_name->case_mapping() == xbase::CaseMapping::kAscii
                                        ? xbase::CodePage::ascii_case(cp.number())
                                        : cp;
  if (d.seek(Value::text(cp.to_utf8(upper_cp.upper(stored))))) return true;
  *how = OrderPreview::Partner::kNew;
  return false;
}

void Run::add_partner(std::int64_t firma) {
  const DbfTable& z = zak();
  WorkAreas::instance().select(5);
  DbfTable& d = dood();
  d.append_blank();
  put_number(d, "FIRMA", static_cast<double>(firma));
  d.put("PLOD", Value::date(clock_.today));
  d.put("NAZD", z.get("NAZD"));
  d.put("JMENO", z.get("NAZD2"));
  for (const char* f : {"ULD", "MIST", "PSC", "NSTAT"}) put_value(d, f, z.get(f));
  put_value(d, "TELE", z.get("TEL"));
  put_value(d, "ICO", z.get("ICO"));
  put_value(d, "REGC", z.get("REGC"));
  put_value(d, "EMAIL", hla_.field_get("EMAIL"));
}

}  // namespace posting
}  // namespace import
