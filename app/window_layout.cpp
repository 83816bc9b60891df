#include "app/window_layout.h"

#include "platform/text/ascii.h"

namespace app {

using xbase::same_name;

const std::vector<ControlDef>& control_defs() {
  using K = ControlKind;
  static const std::vector<ControlDef> defs = {
      {100, "ENDDIALOG", K::kButton, true, nullptr, 0},
      {103, "WKAM", K::kMySLE, true,
       "Diska a složka, kde jsou data Kontor, do kterých se má import objednávek provést", 60},
      {104, "TLKAM", K::kButton, true, "Výběr složky, kde jsou sdílená data KTR", 0},
      {106, "IDIR", K::kMySLE, true, "FTP adresa serveru a složky, kam se má přenášet stav skladu",
       60},
      {108, "LOG", K::kMySLE, true, nullptr, 30},
      {110, "HES", K::kMySLE, true, nullptr, 30},
      {111, "SPUSTIT", K::kButton, true, "Zahájí čtení a kontrolu přenášených dat", 0},
      {114, "FTPOCP", K::kLabel, false, nullptr, 0},
      {115, "FTPRO", K::kLabel, false, nullptr, 0},
      {116, "FTPC", K::kLabel, false, nullptr, 0},
      {117, "FTPSTATUS", K::kLabel, false, nullptr, 0},
      {123, "FTPOCO", K::kLabel, false, nullptr, 0},
      {124, "FTPCHY", K::kLabel, false, nullptr, 0},
      {125, "FTPDOB", K::kLabel, false, nullptr, 0},
      {126, "FTKCHY", K::kLabel, false, nullptr, 0},
      {127, "FTKDOB", K::kLabel, false, nullptr, 0},
      {128, "LV", K::kListView, false, nullptr, 0},
      {132, "WISERV", K::kMySLE, true, "Jméno serveru, kam se připojení provádí", 128},
      {133, "ULOZIT", K::kButton, true, "Uloží veškerá nastavení", 0},
      {134, "NZAS", K::kCheckBox, true,
       "Položky objednávek nebudou kontrolovány, zda na ně existují skladové karty", 0},
      {135, "NZNET", K::kCheckBox, true,
       "Při zaškrtnutí bude přebírán do objednávky název položky z netu, jinak ze skl.karty ", 0},
      {137, "POCDNU", K::kEdit, true,
       "Požadovaný termín plnění bude vyšší data objednávky o zde zadaný počet dnů", 2},
      // Its description exists but its tooltip is off, so it is not listed.
      {138, "ZALOZKARTU", K::kCheckBox, true, nullptr, 0},
  };
  return defs;
}

const ControlDef* control_by_name(std::string_view name) {
  for (const ControlDef& d : control_defs())
    if (same_name(d.name, name)) return &d;
  return nullptr;
}

const ControlDef* control_by_id(int id) {
  for (const ControlDef& d : control_defs())
    if (d.id == id) return &d;
  return nullptr;
}

std::vector<std::string_view> tab_order() {
  std::vector<std::string_view> out;
  for (const ControlDef& d : control_defs())
    if (d.tab_stop) out.push_back(d.name);
  return out;
}

std::string_view tab_neighbour(std::string_view name, int step) {
  std::vector<std::string_view> order = tab_order();
  const int n = static_cast<int>(order.size());
  for (int i = 0; i < n; ++i)
    if (same_name(order[static_cast<size_t>(i)], name))
      return order[static_cast<size_t>(((i + step) % n + n) % n)];
  return {};
}

}  // namespace app
