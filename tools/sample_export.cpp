// Writes the shop's order document: "c" header records of 280 and "p" item records of 145
// Windows-1250 bytes, every field blank-padded at its fixed position, CR LF between records.
// Reads DOOD.DBF, ZAK.DBF and ZAS.DBF of the sample folder (shared, read-only).
#include "tools/sample_export.h"

#include <cstdio>
#include <map>
#include <set>
#include <stdexcept>

#include "platform/file/file.h"
#include "platform/table/dbf_table.h"
#include "platform/text/codepage.h"

namespace sample {
namespace {

constexpr size_t kHeader = 280;
constexpr size_t kItem = 145;

// Bytes at a 1-based position, cut or blank-padded to length; text given as UTF-8.
void place(std::string& rec, size_t position, size_t length, const std::string& utf8) {
  std::string bytes = xbase::CodePage::cp1250().from_utf8(utf8);
  bytes.resize(length, ' ');
  rec.replace(position - 1, length, bytes);
}

std::string number(double v, int decimals) {
  char b[40];
  std::snprintf(b, sizeof b, "%.*f", decimals, v);
  return b;
}

std::string right(const std::string& s, size_t width) {
  return std::string(width > s.size() ? width - s.size() : 0, ' ') + s;
}

std::string trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string upper(const std::string& utf8) {
  const xbase::CodePage& cp = xbase::CodePage::cp852();
  return cp.upper(cp.from_utf8(utf8));
}

size_t chars(const std::string& utf8) {
  size_t n = 0;
  for (unsigned char c : utf8) n += (c & 0xC0) != 0x80;
  return n;
}

std::unique_ptr<xbase::DbfTable> open(const std::string& folder, const char* name) {
  xbase::TableOpenOptions o;
  o.read_only = true;
  return xbase::DbfTable::open(xbase::file_system().resolve_case(xbase::path_join(folder, name)),
                               o);
}

struct Partner {
  double firma;
  std::string name;
  double ico;
};

// What the plan needs to know of the folder.
struct Folder {
  std::vector<Partner> partners;
  std::map<std::string, int> names;  // upper-case name: how many partners have it
  std::map<double, int> icos;
  std::set<double> orders;
  std::vector<double> order_list;
  std::vector<std::string> cards;
  std::set<std::string> card_set;

  explicit Folder(const std::string& dir) {
    auto dood = open(dir, "DOOD.DBF");
    for (uint32_t r = 1; r <= dood->record_count(); ++r) {
      dood->go_to(r);
      Partner p{dood->get("FIRMA").num(), trimmed(dood->get_text("NAZD")), dood->get("ICO").num()};
      partners.push_back(p);
      ++names[upper(p.name)];
      ++icos[p.ico];
    }
    auto zak = open(dir, "ZAK.DBF");
    for (uint32_t r = 1; r <= zak->record_count(); ++r) {
      zak->go_to(r);
      orders.insert(zak->get("CZAK").num());
      order_list.push_back(zak->get("CZAK").num());
    }
    auto zas = open(dir, "ZAS.DBF");
    for (uint32_t r = 1; r <= zas->record_count(); ++r) {
      zas->go_to(r);
      cards.push_back(trimmed(zas->get_text("CIPO")));
      card_set.insert(cards.back());
    }
    if (partners.size() < 20 || cards.size() < 20 || order_list.empty())
      throw std::runtime_error(dir + ": too few partners, stock cards or orders for the sample");
  }
  bool name_free(const std::string& name) const { return !names.count(upper(name)); }
};

const char* const kGoods[] = {"Šroubovák křížový PH2",   "Kabel CYKY 3x2,5 (metr)",
                              "Řezný kotouč 125 mm",     "Žárovka LED 9 W teplá",
                              "Lepidlo na dlažbu 25 kg", "Barva fasádní bílá 10 l",
                              "Hmoždinka 8 mm (100 ks)", "Pilový list na dřevo"};
const char* const kPeople[][2] = {
    {"Jana", "Horáková"}, {"Petr", "Dvořák"},  {"Lukáš", "Němec"}, {"Zdeňka", "Procházková"},
    {"Oldřich", "Říha"},  {"Šárka", "Veselá"}, {"Čeněk", "Kučera"}};
const char* const kTowns[] = {"Brno", "Plzeň", "Olomouc", "České Budějovice", "Ústí nad Labem"};

class Planner {
 public:
  explicit Planner(const Folder& f) : f_(f) {}

  PlannedItem good() {
    size_t n = next_++;
    PlannedItem i;
    i.cipo = f_.cards[(n * 37 + 5) % f_.cards.size()];
    i.name = kGoods[n % std::size(kGoods)];
    i.count = static_cast<double>(1 + n % 4);
    i.price = 10 + static_cast<double>((n * 389) % 2500) / 4;
    return i;
  }
  PlannedItem with(ItemPlan plan, const std::string& cipo, const std::string& name) {
    PlannedItem i = good();
    i.plan = plan;
    i.cipo = cipo;
    i.name = name;
    return i;
  }
  PlannedOrder order(double czak, OrderPlan plan) {
    if (f_.orders.count(czak) && plan != OrderPlan::kRegistered)
      throw std::runtime_error("sample export: order number " + number(czak, 0) + " is taken");
    PlannedOrder o;
    o.czak = czak;
    o.plan = plan;
    const auto& who = kPeople[static_cast<size_t>(czak) % std::size(kPeople)];
    o.first_name = who[0];
    o.surname = who[1];
    o.town = kTowns[static_cast<size_t>(czak) % std::size(kTowns)];
    return o;
  }
  // The next partner not used yet with an ICO nobody else has (by ICO), or with a name nobody
  // else has, short enough for the document's 30 characters (by name).
  const Partner& partner(bool by_ico) {
    for (size_t s = 0; s < f_.partners.size(); ++s) {
      const Partner& p = f_.partners[(s * 7 + 3) % f_.partners.size()];
      bool fits = by_ico ? p.ico > 0 && f_.icos.at(p.ico) == 1
                         : f_.names.at(upper(p.name)) == 1 && chars(p.name) <= 30 && p.ico > 0;
      if (fits && used_.insert(p.firma).second) return p;
    }
    throw std::runtime_error("sample export: the folder has too few suitable partners");
  }
  std::string missing_card(const std::string& code) const {
    if (f_.card_set.count(code))
      throw std::runtime_error("sample export: card " + code + " exists");
    return code;
  }

 private:
  const Folder& f_;
  size_t next_ = 0;
  std::set<double> used_;
};

PlannedOrder known(Planner& pl, double czak, bool by_ico) {
  PlannedOrder o = pl.order(czak, by_ico ? OrderPlan::kByIco : OrderPlan::kByName);
  const Partner& p = pl.partner(by_ico);
  o.firma = p.firma;
  o.company = p.name;
  // By name: the customer did not type the company number, so only the name can find it.
  o.ico = by_ico ? number(p.ico, 0) : "";
  return o;
}

}  // namespace

std::string header_record(const PlannedOrder& o, const std::string& day) {
  std::string r(kHeader, ' ');
  r[0] = 'c';
  place(r, 3, 10, right(number(o.czak, 0), 10));
  place(r, 13, 10, day);
  place(r, 33, 20, o.first_name);
  place(r, 53, 30, o.surname);
  place(r, 83, 30, o.company);
  place(r, 113, 30, "Nádražní " + std::to_string(static_cast<long>(o.czak) % 97 + 1));
  place(r, 143, 20, o.town);
  place(r, 163, 6, "602 00");
  place(r, 169, 3, "CZ");
  place(r, 172, 15, "+420 601 " + std::to_string(100000 + static_cast<long>(o.czak) % 900000));
  place(r, 187, 30,
        "objednavka" + std::to_string(static_cast<long>(o.czak) % 1000) + "@example.cz");
  place(r, 217, 20, o.ico);
  place(r, 237, 20, o.ico.empty() ? "" : "CZ" + o.ico);
  return r;
}

std::string item_record(double czak, const PlannedItem& i) {
  std::string r(kItem, ' ');
  r[0] = 'p';
  place(r, 3, 10, right(number(czak, 0), 10));
  place(r, 13, 16, i.cipo);
  place(r, 29, 50, i.name);
  place(r, 79, 30, "Kovo Zlín a.s.");
  place(r, 109, 13, right(number(i.price, 2), 13));
  place(r, 122, 13, right(number(i.price * 1.21, 2), 13));
  place(r, 135, 4, "21");
  place(r, 139, 6, right(number(i.count, 0), 6));
  return r;
}

std::string ShopExport::document() const {
  std::string d;
  for (const PlannedOrder& o : orders) {
    d += header_record(o, "2025-11-24") + "\r\n";
    for (const PlannedItem& i : o.items) d += item_record(o.czak, i) + "\r\n";
  }
  return d;
}

std::vector<ShopExport> plan_exports(const std::string& folder) {
  Folder f(folder);
  Planner pl(f);
  const std::string novinka = pl.missing_card("NOVINKA-2025");
  ShopExport first, second;
  double czak = 2025000101;
  // Ten orders of known companies, found by their ICO; some with several items.
  for (size_t k = 0; k < 10; ++k) {
    PlannedOrder o = known(pl, czak++, true);
    for (size_t n = 0; n <= k % 3; ++n) o.items.push_back(pl.good());
    first.orders.push_back(o);
  }
  // Two companies that gave no ICO: found by name.
  for (size_t k = 0; k < 2; ++k) {
    PlannedOrder o = known(pl, czak++, false);
    o.items.push_back(pl.good());
    o.items.push_back(pl.good());
    first.orders.push_back(o);
  }
  // A new company and a private customer nobody knows yet.
  PlannedOrder firm = pl.order(czak++, OrderPlan::kNewPartner);
  firm.company = "Zahradnictví U Lípy s.r.o.";
  firm.ico = "12345678";
  if (!f.name_free(firm.company) || f.icos.count(12345678))
    throw std::runtime_error("sample export: the new company exists already");
  firm.items = {pl.good(), pl.with(ItemPlan::kNoCard, novinka, "Zahradní hadice 25 m (novinka)")};
  first.orders.push_back(firm);
  PlannedOrder person = pl.order(czak++, OrderPlan::kNewPartner);
  person.surname = "Kovářová";
  person.first_name = "Alžběta";
  if (!f.name_free("Kovářová Alžběta"))
    throw std::runtime_error("sample export: the new customer exists already");
  person.items = {pl.good(), pl.with(ItemPlan::kNoNumber, "", "Dárkový poukaz"), pl.good()};
  first.orders.push_back(person);
  // Sent again by the shop although the accounting has it already.
  PlannedOrder again = pl.order(f.order_list[f.order_list.size() / 2], OrderPlan::kRegistered);
  again.company = "Stavebniny Říha";
  again.items = {pl.good()};
  first.orders.push_back(again);
  // A header whose items never came.
  PlannedOrder empty = pl.order(czak++, OrderPlan::kNoItems);
  first.orders.push_back(empty);

  // The next export, for a run that makes missing stock cards.
  czak = 2025000201;
  PlannedOrder made = known(pl, czak++, true);
  made.items = {pl.with(ItemPlan::kCardMade, novinka, "Zahradní hadice 25 m (novinka)"), pl.good()};
  second.orders.push_back(made);
  PlannedOrder made2 = pl.order(czak++, OrderPlan::kNewPartner);
  made2.surname = "Šimková";
  made2.first_name = "Dana";
  if (!f.name_free("Šimková Dana"))
    throw std::runtime_error("sample export: the new customer exists already");
  made2.items = {pl.with(ItemPlan::kCardMade, pl.missing_card("SEMENA-REDKEV"), "Semena ředkev"),
                 pl.with(ItemPlan::kNoNumber, "", "Balné")};
  second.orders.push_back(made2);
  for (size_t k = 0; k < 2; ++k) {
    PlannedOrder o = known(pl, czak++, k == 0);
    o.items = {pl.good(), pl.good()};
    second.orders.push_back(o);
  }
  return {first, second};
}

}  // namespace sample
