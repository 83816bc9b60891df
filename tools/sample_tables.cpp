// Writes a sample accounting folder through our own table layer: ZAK with five NTX files,
// DOOD, ZAS and POZAD with their CDX files, IDENT and POSCI, Czech sample data from a seed.
#include "tools/sample_tables.h"

#include <cstdio>
#include <filesystem>
#include <random>
#include <vector>

#include "platform/index/order.h"
#include "platform/table/dbf_table.h"
#include "platform/table/settings.h"

using namespace xbase;

namespace sample {
namespace {

const char* kFirst[] = {"Jan",   "Petr",  "Lenka", "Eva",    "Jiří",    "Božena", "Lukáš", "Šárka",
                        "Tomáš", "Žofie", "Radek", "Zdeňka", "Oldřich", "Věra",   "Čeněk"};
const char* kLast[] = {"Novák",   "Dvořák", "Černý", "Procházka", "Kučera",
                       "Veselý",  "Horák",  "Němec", "Pokorný",   "Říha",
                       "Šťastný", "Ševčík", "Žák",   "Čermák",    "Ďurica"};
const char* kTrade[] = {"Železářství", "Truhlářství",     "Zahradnictví", "Elektro",  "Stavebniny",
                        "Řeznictví",   "Úklidové služby", "Kovovýroba",   "Pekařství"};
const char* kForm[] = {"s.r.o.", "a.s.", "k.s.", "spol. s r.o.", ""};
const char* kTown[] = {"Praha", "Brno",  "Ostrava", "Plzeň",          "Olomouc",
                       "Zlín",  "Kolín", "Třinec",  "Hradec Králové", "České Budějovice"};
const char* kStreet[] = {"Dělnická",    "Říční",    "náměstí Míru",      "U Rybníka",
                         "Chelčického", "Ďáblická", "Třída Tomáše Bati", "Údolní"};
const char* kGoods[] = {"Šroubovák křížový", "Kabel CYKY 3x2,5",  "Řezný kotouč 125 mm",
                        "Drát vázací",       "Chránička ohebná",  "Hmoždinka 8 mm",
                        "Žárovka LED 9 W",   "Lepidlo na dlažbu", "Barva fasádní bílá",
                        "Pilový list"};
const char* kUnits[] = {"ks", "bal", "kg", "m", "pár"};

struct Gen {
  std::mt19937 rng;
  explicit Gen(unsigned seed) : rng(seed) {}
  int num(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
  template <size_t N>
  const char* pick(const char* (&a)[N]) {
    return a[num(0, static_cast<int>(N) - 1)];
  }
  std::string person() { return std::string(pick(kFirst)) + " " + pick(kLast); }
  std::string company() {
    std::string f = pick(kForm);
    return std::string(pick(kTrade)) + " " + pick(kLast) + (f.empty() ? "" : " " + f);
  }
  std::string street() { return std::string(pick(kStreet)) + " " + std::to_string(num(1, 2000)); }
  Date date(int y0, int y1) { return Date::from_ymd(num(y0, y1), num(1, 12), num(1, 28)); }
};

std::vector<FieldSpec> fields(std::initializer_list<FieldSpec> f) { return f; }

void put(DbfTable& t, const char* f, const std::string& v) { t.put(f, Value::text(v)); }
void put(DbfTable& t, const char* f, double v) { t.put(f, Value::number(v)); }
void put(DbfTable& t, const char* f, Date v) { t.put(f, Value::date(v)); }

void index_cdx(DbfTable& t, const std::string& dir, const char* file, const char* expr) {
  OrderDefinition d;
  d.tag = std::filesystem::path(file).stem().string();
  d.expression = expr;
  create_cdx(path_join(dir, file), {d}, t,
             {ShareMode::kExclusive, false, table_settings().collation})
      ->close();
}

void index_ntx(DbfTable& t, const std::string& dir, const char* file, const char* expr) {
  OrderDefinition d;
  d.expression = expr;
  create_ntx(path_join(dir, file), d, t, {ShareMode::kExclusive, false, table_settings().collation})
      ->close();
}

}  // namespace

SampleMade make_folder(const std::string& dir, const SampleSizes& sizes, unsigned seed) {
  std::filesystem::create_directories(dir);
  table_settings().default_folder = dir;
  Gen g(seed);
  const int orders = sizes.orders;
  const int partners = sizes.partners > 0 ? sizes.partners : orders * 5 / 6;
  const int cards = sizes.cards > 0 ? sizes.cards : orders;
  SampleMade made;

  {
    auto t = DbfTable::create(path_join(dir, "DOOD.DBF"),
                              fields({{"FIRMA", 'N', 5, 0},
                                      {"PLOD", 'D', 8, 0},
                                      {"NAZD", 'C', 40, 0},
                                      {"JMENO", 'C', 40, 0},
                                      {"ULD", 'C', 30, 0},
                                      {"MIST", 'C', 25, 0},
                                      {"PSC", 'C', 8, 0},
                                      {"NSTAT", 'C', 15, 0},
                                      {"TELE", 'C', 15, 0},
                                      {"ICO", 'N', 10, 0},
                                      {"REGC", 'C', 15, 0},
                                      {"EMAIL", 'C', 30, 0},
                                      {"FAX", 'C', 15, 0},
                                      {"SPLAT", 'N', 3, 0},
                                      {"SLEVA", 'N', 5, 2},
                                      {"POZN", 'C', 40, 0}}),
                              {});
    for (int i = 1; i <= partners; ++i) {
      t->append_blank();
      put(*t, "FIRMA", i);
      put(*t, "PLOD", g.date(2010, 2023));
      bool firm = g.num(0, 2) > 0;
      put(*t, "NAZD", firm ? g.company() : g.person());
      put(*t, "JMENO", g.person());
      put(*t, "ULD", g.street());
      put(*t, "MIST", g.pick(kTown));
      put(*t, "PSC", std::to_string(g.num(100, 799)) + " " + std::to_string(g.num(10, 99)));
      put(*t, "NSTAT", "Česká republika");
      int ico = firm ? g.num(10000000, 99999999) : 0;
      put(*t, "ICO", ico);
      if (ico) put(*t, "REGC", "CZ" + std::to_string(ico));
      put(*t, "SPLAT", g.num(7, 30));
    }
    index_cdx(*t, dir, "IICO.CDX", "ICO");
    index_cdx(*t, dir, "NAZO.CDX", "UPPER(NAZD)");
    index_cdx(*t, dir, "IFIRM.CDX", "FIRMA");
    t->close();
  }
  {
    auto t = DbfTable::create(
        path_join(dir, "ZAS.DBF"),
        fields({{"CIPO", 'C', 16, 0},  {"OZNM", 'C', 40, 0},  {"OBAL", 'C', 10, 0},
                {"JKPOV", 'C', 10, 0}, {"KUSYM", 'N', 11, 3}, {"JED", 'C', 5, 0},
                {"CENJM", 'N', 11, 2}, {"CENJP", 'N', 11, 2}, {"CENJPD", 'N', 11, 2},
                {"STRM", 'N', 3, 0},   {"DANO", 'N', 4, 1},   {"LIMIT", 'N', 11, 3},
                {"REZE", 'N', 11, 3},  {"ZN2", 'N', 1, 0},    {"CENPP", 'N', 11, 2},
                {"SKUP", 'C', 10, 0},  {"CARK", 'C', 13, 0},  {"PRAB1", 'N', 6, 2},
                {"PRAB2", 'N', 6, 2},  {"PRAB3", 'N', 6, 2},  {"FIRM", 'N', 5, 0},
                {"HMOT", 'N', 8, 3},   {"NAZD", 'C', 40, 0},  {"DATZM", 'D', 8, 0},
                {"AKTIV", 'L', 1, 0}}),
        {});
    for (int i = 1; i <= cards; ++i) {
      t->append_blank();
      char code[32];
      std::snprintf(code, sizeof code, "MAT-%06d", i * 10);
      made.cards.push_back(code);
      put(*t, "CIPO", code);
      put(*t, "OZNM", std::string(g.pick(kGoods)) + " " + std::to_string(g.num(1, 99)));
      put(*t, "JKPOV", std::to_string(g.num(1000, 9999)));
      put(*t, "KUSYM", g.num(0, 500000) / 1000.0);
      put(*t, "JED", g.pick(kUnits));
      double price = g.num(100, 500000) / 100.0;
      put(*t, "CENJM", price);
      put(*t, "CENJP", price * 1.2);
      put(*t, "CENJPD", price * 1.2 * 1.21);
      put(*t, "STRM", g.num(1, 9));
      put(*t, "DANO", 21);
      put(*t, "ZN2", g.num(0, 2));
      put(*t, "SKUP", g.num(0, 1) ? "ŽELEZO" : "BARVY");
      put(*t, "CARK", "859" + std::to_string(g.num(1000000, 9999999)) + "00");
      put(*t, "FIRM", g.num(1, partners));
      put(*t, "HMOT", g.num(0, 50000) / 1000.0);
      put(*t, "NAZD", g.company());
      put(*t, "DATZM", g.date(2018, 2024));
      t->put("AKTIV", Value::logical(true));
    }
    index_cdx(*t, dir, "Mater.cdx", "LOWER(OZNM)");
    index_cdx(*t, dir, "Iczas.cdx", "CIPO");
    index_cdx(*t, dir, "Iskp.cdx", "JKPOV");
    index_cdx(*t, dir, "Iean.cdx", "CARK");
    index_cdx(*t, dir, "Ipdod.cdx", "UPPER(NAZD)");
    index_cdx(*t, dir, "Idrzas.cdx", "STR(ZN2,1)+STR(STRM,3)+CIPO");
    index_cdx(*t, dir, "Smater.cdx", "LOWER(SKUP+OZNM)");
    t->close();
  }
  long line_count = 0;
  {
    auto zak =
        DbfTable::create(path_join(dir, "ZAK.DBF"),
                         fields({{"CZAK", 'N', 10, 0},  {"NAZ", 'C', 40, 0},  {"NAZD", 'C', 40, 0},
                                 {"NAZD2", 'C', 40, 0}, {"DATO", 'D', 8, 0},  {"PTER", 'D', 8, 0},
                                 {"ULD", 'C', 30, 0},   {"MIST", 'C', 25, 0}, {"PSC", 'C', 8, 0},
                                 {"NSTAT", 'C', 15, 0}, {"ICO", 'N', 10, 0},  {"REGC", 'C', 15, 0},
                                 {"TEL", 'C', 15, 0},   {"JEDOK", 'L', 1, 0}, {"FIRM", 'N', 5, 0},
                                 {"CAST", 'N', 12, 2},  {"POZN", 'C', 60, 0}, {"EMAIL", 'C', 30, 0},
                                 {"CZAKE", 'C', 15, 0}, {"STAV", 'C', 1, 0},  {"DOPR", 'C', 20, 0},
                                 {"UZIV", 'C', 10, 0}}),
                         {});
    auto pozad = DbfTable::create(
        path_join(dir, "POZAD.DBF"),
        fields({{"CZAK", 'N', 10, 0},  {"ZN", 'N', 1, 0},     {"CIPO", 'C', 16, 0},
                {"OZN", 'C', 40, 0},   {"POCET", 'N', 11, 3}, {"JEDC", 'N', 11, 2},
                {"SAZBA", 'N', 4, 1},  {"REZ", 'N', 11, 3},   {"DATP", 'D', 8, 0},
                {"FIRM", 'N', 5, 0},   {"ZNC", 'N', 1, 0},    {"CENCI", 'N', 11, 2},
                {"SPLM", 'N', 11, 3},  {"SPLN", 'D', 8, 0},   {"SKLADEM", 'N', 11, 3},
                {"JEDN", 'C', 5, 0},   {"STRM", 'N', 3, 0},   {"POCUZ", 'N', 11, 3},
                {"VYPDTZ", 'D', 8, 0}, {"VYPDTK", 'D', 8, 0}, {"KONUZ", 'N', 11, 3},
                {"TERUK", 'D', 8, 0},  {"IDPROD", 'N', 5, 0}, {"POZN", 'C', 30, 0}}),
        {});
    for (int i = 1; i <= orders; ++i) {
      zak->append_blank();
      double czak = 2023000000.0 + i;
      Date dato = g.date(2023, 2024);
      int firm = g.num(1, partners);
      put(*zak, "CZAK", czak);
      put(*zak, "NAZ", std::string(g.pick(kGoods)));
      put(*zak, "NAZD", g.company());
      put(*zak, "DATO", dato);
      put(*zak, "PTER", Date{dato.jdn + 14});
      put(*zak, "ULD", g.street());
      put(*zak, "MIST", g.pick(kTown));
      put(*zak, "NSTAT", "Česká republika");
      put(*zak, "FIRM", firm);
      put(*zak, "EMAIL", "objednavky@example.cz");
      put(*zak, "UZIV", "SKLAD");
      double total = 0;
      // Evenly spread lines draw no number, so the default folder stays as it always was.
      int lines = sizes.lines > 0
                      ? static_cast<int>(sizes.lines * i / orders - sizes.lines * (i - 1) / orders)
                      : g.num(1, 5);
      for (int l = 1; l <= lines; ++l) {
        pozad->append_blank();
        const std::string& code = made.cards[static_cast<size_t>(g.num(0, cards - 1))];
        double count = g.num(1, 20);
        double price = g.num(100, 50000) / 100.0;
        total += count * price;
        put(*pozad, "CZAK", czak);
        put(*pozad, "ZN", g.num(0, 2));
        put(*pozad, "CIPO", code);
        put(*pozad, "OZN", std::string(g.pick(kGoods)));
        put(*pozad, "POCET", count);
        put(*pozad, "JEDC", price);
        put(*pozad, "SAZBA", 21);
        put(*pozad, "DATP", dato);
        put(*pozad, "FIRM", firm);
        put(*pozad, "CENCI", count * price);
        put(*pozad, "JEDN", g.pick(kUnits));
        put(*pozad, "STRM", g.num(1, 9));
        put(*pozad, "IDPROD", l * 10);
        ++line_count;
      }
      put(*zak, "CAST", total);
    }
    index_ntx(*zak, dir, "CIZA.NTX", "CZAK");
    index_ntx(*zak, dir, "NZAK.NTX", "UPPER(NAZD)");
    index_ntx(*zak, dir, "TCIZA.NTX", "DTOS(DATO)+STR(CZAK,10)");
    index_ntx(*zak, dir, "INAZAK.NTX", "UPPER(NAZ)");
    index_ntx(*zak, dir, "ISPZZ.NTX", "STR(FIRM,5)+STR(CZAK,10)");
    index_cdx(*pozad, dir, "IPOZZ.CDX", "CZAK");
    index_cdx(*pozad, dir, "IPOZF.CDX", "FIRM");
    index_cdx(*pozad, dir, "IPOZC.CDX", "CIPO");
    index_cdx(*pozad, dir, "IPOCF.CDX", "CIPO+STR(FIRM,5)+STR(ZN,1)+STR(STRM,3)");
    index_cdx(*pozad, dir, "IPOZR.CDX", "STR(CZAK,10)+STR(IDPROD,5)");
    zak->close();
    pozad->close();
  }
  {
    auto t = DbfTable::create(path_join(dir, "IDENT.DBF"),
                              fields({{"PRAB1", 'N', 6, 2},
                                      {"PRAB2", 'N', 6, 2},
                                      {"PRAB3", 'N', 6, 2},
                                      {"NAZF", 'C', 40, 0},
                                      {"ICO", 'N', 10, 0},
                                      {"DIC", 'C', 15, 0},
                                      {"ULD", 'C', 30, 0},
                                      {"MIST", 'C', 25, 0},
                                      {"PSC", 'C', 8, 0},
                                      {"STRMD", 'N', 3, 0},
                                      {"DATUZ", 'D', 8, 0}}),
                              {});
    t->append_blank();
    put(*t, "PRAB1", 3.5);
    put(*t, "PRAB2", 7.25);
    put(*t, "PRAB3", 12);
    put(*t, "NAZF", "Železářství Kůň & syn, s.r.o.");
    put(*t, "ICO", 25123456);
    put(*t, "DIC", "CZ25123456");
    put(*t, "ULD", "Třída Tomáše Bati 1285");
    put(*t, "MIST", "Zlín");
    put(*t, "PSC", "760 01");
    put(*t, "STRMD", 1);
    put(*t, "DATUZ", Date::from_ymd(2024, 12, 31));
    t->close();
  }
  {
    auto t = DbfTable::create(path_join(dir, "POSCI.DBF"),
                              fields({{"PCDOOD", 'N', 9, 0},
                                      {"PCZAK", 'N', 10, 0},
                                      {"PCPOZ", 'N', 9, 0},
                                      {"PCFAK", 'N', 9, 0}}),
                              {});
    t->append_blank();
    put(*t, "PCDOOD", partners);
    put(*t, "PCZAK", 2023000000.0 + orders);
    put(*t, "PCPOZ", static_cast<double>(line_count));
    put(*t, "PCFAK", 100);
    t->close();
  }
  made.orders = orders;
  made.partners = partners;
  made.lines = line_count;
  return made;
}

}  // namespace sample
