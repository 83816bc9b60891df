#include "import/posting_checks.h"

#include <cstdio>
#include <initializer_list>
#include <utility>
#include <vector>

#include "data/numbering.h"
#include "data/shared_access.h"
#include "import/posting_steps.h"
#include "platform/table/field_codec.h"
#include "platform/table/table_error.h"

namespace import::posting {

namespace {

using xbase::DbfTable;

// A field the posting uses and the kind of value it stores or reads there.
struct Use {
  const char* field;
  char kind;  // 'C' text, 'N' number, 'D' date, 'L' logical
};

bool holds(const xbase::FieldInfo& f, char kind) {
  switch (kind) {
    case 'N':
      return f.type == 'N' || f.type == 'F';
    case 'D':
      return f.type == 'D' && f.length == 8;
    default:
      return f.type == kind;
  }
}

const char* kind_text(char kind) {
  switch (kind) {
    case 'N':
      return "číselné";
    case 'D':
      return "datum";
    case 'L':
      return "logické";
    default:
      return "znakové";
  }
}

std::string layout_text(const DbfTable& t, const char* table, std::initializer_list<Use> uses) {
  for (const Use& u : uses) {
    int i = t.field_index(u.field);
    if (i < 0) return std::string("V tabulce ") + table + " chybí pole " + u.field + ".";
    if (!holds(t.field_info(i), u.kind))
      return std::string("Pole ") + u.field + " v tabulce " + table + " musí být " +
             kind_text(u.kind) + ".";
  }
  return {};
}

// A number as the reason shows it: no trailing zeros after the point.
std::string number_text(double v) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.3f", v);
  std::string s = buf;
  s.erase(s.find_last_not_of('0') + 1);
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s;
}

}  // namespace

std::string zak_layout_problem(const DbfTable& t) {
  return layout_text(t, "ZAK",
                     {{"CZAK", 'N'},
                      {"NAZ", 'C'},
                      {"NAZD", 'C'},
                      {"NAZD2", 'C'},
                      {"DATO", 'D'},
                      {"PTER", 'D'},
                      {"ULD", 'C'},
                      {"MIST", 'C'},
                      {"PSC", 'C'},
                      {"NSTAT", 'C'},
                      {"ICO", 'N'},
                      {"REGC", 'C'},
                      {"TEL", 'C'},
                      {"JEDOK", 'L'},
                      {"FIRM", 'N'},
                      {"CAST", 'N'}});
}

std::string dood_layout_problem(const DbfTable& t) {
  return layout_text(t, "DOOD",
                     {{"FIRMA", 'N'},
                      {"PLOD", 'D'},
                      {"NAZD", 'C'},
                      {"JMENO", 'C'},
                      {"ULD", 'C'},
                      {"MIST", 'C'},
                      {"PSC", 'C'},
                      {"NSTAT", 'C'},
                      {"TELE", 'C'},
                      {"ICO", 'N'},
                      {"REGC", 'C'},
                      {"EMAIL", 'C'}});
}

std::string pozad_layout_problem(const DbfTable& t) {
  return layout_text(t, "POZAD",
                     {{"CZAK", 'N'},
                      {"CIPO", 'C'},
                      {"ZN", 'N'},
                      {"JEDN", 'C'},
                      {"OZN", 'C'},
                      {"POCET", 'N'},
                      {"JEDC", 'N'},
                      {"SAZBA", 'N'},
                      {"FIRM", 'N'},
                      {"DATP", 'D'},
                      {"ZNC", 'N'},
                      {"IDPROD", 'N'}});
}

std::string zas_layout_problem(const DbfTable& t) {
  return layout_text(t, "ZAS",
                     {{"CIPO", 'C'},
                      {"OZNM", 'C'},
                      {"ZN2", 'N'},
                      {"JED", 'C'},
                      {"DANO", 'N'},
                      {"CENJP", 'N'},
                      {"CENJPD", 'N'},
                      {"PRAB1", 'N'},
                      {"PRAB2", 'N'},
                      {"PRAB3", 'N'}});
}

std::string ident_layout_problem(const DbfTable& t) {
  return layout_text(t, "IDENT", {{"PRAB1", 'N'}, {"PRAB2", 'N'}, {"PRAB3", 'N'}});
}

std::string overflow_text(const DbfTable& t, std::string_view table, std::string_view field,
                          double value) {
  int i = t.field_index(field);
  if (i < 0) return {};  // the layout check has already named a missing field
  const xbase::FieldInfo& f = t.field_info(i);
  if (xbase::format_number(value, f.length, f.decimals)) return {};
  return "Hodnota " + number_text(value) + " se nevejde do pole " + std::string(table) + "." +
         std::string(field);
}

double as_stored(const DbfTable& t, std::string_view field, double value) {
  int i = t.field_index(field);
  if (i < 0) return value;
  auto text = xbase::format_number(value, t.field_info(i).length, t.field_info(i).decimals);
  return text ? xbase::parse_number(*text) : value;
}

int text_width(const DbfTable& t, std::string_view field) {
  int i = t.field_index(field);
  return i < 0 ? 0 : t.field_info(i).length;
}

std::string Run::order_overflow(double czak) {
  const DbfTable& pozad = *pozad_->table();
  std::string why = overflow_text(zak(), "ZAK", "CZAK", czak);
  if (why.empty()) why = overflow_text(pozad, "POZAD", "CZAK", czak);
  if (why.empty()) why = overflow_text(zak(), "ZAK", "ICO", hla_.field_get("ICO").num());
  if (!why.empty()) return why;
  // CAST, written last, is the sum of the lines written: only the items that will be, with
  // their values as POZAD stores them.
  const uint32_t first = pol_.recno();
  double total = 0;
  std::uint16_t line = 0;
  std::vector<std::string> made;
  for (; !pol_.eof() && pol_.field_get("CZAK").num() == czak; pol_.skip()) {
    bool card = false, new_card = false;
    if (!item_verdict(static_cast<std::uint16_t>(line + 10), made, card, new_card).empty())
      continue;
    if (new_card) made.push_back(rtrim(pol_.field_get("CIPO").str()));
    line = static_cast<std::uint16_t>(line + 10);
    total += as_stored(pozad, "JEDC", pol_.field_get("CENB").num()) *
             as_stored(pozad, "POCET", pol_.field_get("KUSY").num());
  }
  pol_.go_to(first);
  return overflow_text(zak(), "ZAK", "CAST", total);
}

std::int64_t Run::new_partner_number() {
  for (;;) {
    std::int64_t n = data::NOVECISLO("PCDOOD");
    if (n == 0) return 0;
    DbfTable& d = dood();
    if (!overflow_text(d, "DOOD", "FIRMA", static_cast<double>(n)).empty()) {
      win_.warning_box(ui::Owner::kMain, data::kRefusedCaption,
                       "Počítadlo partnerů PCDOOD v POSCI je za tím, co pojme pole FIRMA "
                       "tabulky DOOD. Import byl zastaven.");
      return 0;
    }
    // A counter behind DOOD (a restored backup) would hand out numbers partners already have.
    if (!d.set_order("IFIRM"))
      throw xbase::TableError(xbase::kErrNoTable, 0, d.path(), "the order IFIRM is not open");
    if (!d.seek(xbase::Value::number(static_cast<double>(n)))) return n;
  }
}

std::string Run::item_problem(std::uint16_t line, bool new_card) {
  const DbfTable& p = *pozad_->table();
  const double kusy = pol_.field_get("KUSY").num(), cenb = pol_.field_get("CENB").num();
  const double sazba = pol_.field_get("SAZBA").num();
  std::string why = overflow_text(p, "POZAD", "POCET", kusy);
  if (why.empty()) why = overflow_text(p, "POZAD", "JEDC", cenb);
  if (why.empty()) why = overflow_text(p, "POZAD", "SAZBA", sazba);
  if (why.empty()) why = overflow_text(p, "POZAD", "IDPROD", line);
  if (!new_card || !why.empty()) return why;
  const DbfTable& z = *zas_->table();
  const std::pair<const char*, double> card[] = {
      {"DANO", sazba},     {"CENJP", cenb},     {"CENJPD", pol_.field_get("CENS").num()},
      {"PRAB1", prab_[0]}, {"PRAB2", prab_[1]}, {"PRAB3", prab_[2]}};
  for (const auto& [field, value] : card)
    if (why.empty()) why = overflow_text(z, "ZAS", field, value);
  return why;
}

}  // namespace import::posting
