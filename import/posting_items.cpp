// The items of one order in the posting phase: each ESH_POL record checked against the stock
// cards of ZAS (a missing card created on request) and written as a POZAD line.
#include <algorithm>

#include "import/posting_checks.h"
#include "import/posting_steps.h"
#include "platform/table/work_areas.h"
#include "platform/text/codepage.h"

namespace import::posting {

using xbase::DbfTable;
using xbase::Value;

namespace {

// The first n characters (not bytes) of a UTF-8 text.
std::string first_chars(const std::string& utf8, size_t n) {
  size_t i = 0;
  for (size_t k = 0; k < n && i < utf8.size(); ++k) xbase::next_utf8(utf8, i);
  return utf8.substr(0, i);
}

}  // namespace

std::string Run::item_verdict(std::uint16_t line, const std::vector<std::string>& made, bool& card,
                              bool& new_card) {
  std::string cipo = pol_.field_get("CIPO").str();
  card = new_card = false;
  const DbfTable& zas = *zas_->table();
  const DbfTable& pozad = *pozad_->table();
  auto length = [&](const DbfTable& t) {
    return static_cast<int>(t.codepage().from_utf8(rtrim(cipo)).size());
  };
  std::string why;
  if (blank(cipo) && !opt_.nzas) {
    why = "Není číslo položky";
  } else if (length(zas) > text_width(zas, "CIPO")) {
    // A card with the cut number would never be found again by the whole one.
    why = rtrim(cipo) + " je delší, než pojme skl.karta";
  } else if (length(pozad) > text_width(pozad, "CIPO")) {
    why = rtrim(cipo) + " se nevejde do pole POZAD.CIPO";
  } else {
    card = zas_->seek(Value::text(cipo)) ||
           std::find(made.begin(), made.end(), rtrim(cipo)) != made.end();
    if (!card) {
      if (opt_.zalozkartu)
        card = new_card = true;
      else if (!opt_.nzas)
        why = cipo + " nemá skl.kartu";
    }
  }
  if (why.empty()) why = item_problem(line, new_card);
  // The line takes the found card's ZN2 (a new card's is blank).
  if (why.empty() && card && !new_card && zas_->found())
    why = overflow_text(pozad, "POZAD", "ZN", zas.get("ZN2").num());
  return why;
}

void Run::post_item(double czak, std::uint16_t& line, double& total) {
  std::string cipo = pol_.field_get("CIPO").str();
  bool card = false, new_card = false;
  std::string why = item_verdict(static_cast<std::uint16_t>(line + 10), {}, card, new_card);
  if (!why.empty()) {
    count(result_.bad_items, "FTKCHY");
    reject(czak, why);
    return;
  }
  if (new_card) {
    zas_->append();
    write_card();
    if (order_preview_) order_preview_->new_cards.push_back(rtrim(cipo));
  }
  count(result_.good_items, "FTKDOB");
  line = static_cast<std::uint16_t>(line + 10);
  pozad_->append();
  write_line(czak, line, card);
  if (order_preview_) ++order_preview_->lines;
  total += pozad_->field_get("JEDC").num() * pozad_->field_get("POCET").num();
}

void Run::write_card() {
  DbfTable& z = *zas_->table();
  put_value(z, "CIPO", pol_.field_get("CIPO"));
  z.put("OZNM", Value::text(first_chars(pol_.field_get("NAZEV").str(), 40)));
  put_value(z, "DANO", pol_.field_get("SAZBA"));
  put_value(z, "CENJP", pol_.field_get("CENB"));
  put_value(z, "CENJPD", pol_.field_get("CENS"));
  put_number(z, "PRAB1", prab_[0]);
  put_number(z, "PRAB2", prab_[1]);
  put_number(z, "PRAB3", prab_[2]);
}

void Run::write_line(double czak, std::uint16_t line, bool card) {
  DbfTable& p = *pozad_->table();
  put_number(p, "CZAK", czak);
  put_value(p, "CIPO", pol_.field_get("CIPO"));
  if (card) {
    put_value(p, "ZN", zas_->field_get("ZN2"));
    put_value(p, "JEDN", zas_->field_get("JED"));
  }
  // NZNET counts as it stands at this item.
  bool shop_name = win_.checked("NZNET") || !card;
  put_value(p, "OZN", shop_name ? pol_.field_get("NAZEV") : zas_->field_get("OZNM"));
  put_value(p, "POCET", pol_.field_get("KUSY"));
  put_value(p, "JEDC", pol_.field_get("CENB"));
  put_value(p, "SAZBA", pol_.field_get("SAZBA"));
  put_value(p, "FIRM", zak().get("FIRM"));
  put_value(p, "DATP", zak().get("PTER"));
  put_number(p, "ZNC", 1);
  put_number(p, "IDPROD", line);
}

}  // namespace import::posting
