#include "app/cli_options.h"

#include <cstdlib>

namespace app {
namespace {

// The edit fields' limits: a value the window would not let the operator type is refused.
constexpr size_t kDataLimit = 60;
constexpr size_t kUrlLimit = 128;
constexpr size_t kDaysLimit = 2;

size_t characters(const std::string& utf8) {
  size_t n = 0;
  for (unsigned char c : utf8) n += (c & 0xC0) != 0x80;
  return n;
}

bool all_digits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

CliParse fail(std::string why) {
  CliParse p;
  p.error = std::move(why);
  return p;
}

struct Flag {
  const char* name;
  std::optional<bool> CliOptions::*member;
};
constexpr Flag kFlags[] = {
    {"nzas", &CliOptions::nzas},
    {"nznet", &CliOptions::nznet},
    {"zalozkartu", &CliOptions::zalozkartu},
};

}  // namespace

CliParse parse_cli(const std::vector<std::string>& args) {
  CliParse p;
  CliOptions& o = p.options;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i], value;
    bool inline_value = false;
    if (name.rfind("--", 0) != 0) return fail("Neznámý argument: " + name);
    if (size_t eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      inline_value = true;
    }
    name = name.substr(2);
    auto take = [&]() -> bool {
      if (inline_value) return true;
      if (i + 1 >= args.size()) return false;
      value = args[++i];
      return true;
    };
    bool flag_done = false;
    for (const Flag& f : kFlags) {
      if (name == f.name || name == std::string("no-") + f.name) {
        if (inline_value) return fail("Volba --" + name + " nemá hodnotu.");
        o.*f.member = name == f.name;
        flag_done = true;
      }
    }
    if (flag_done) continue;
    if (name == "save" || name == "help" || name == "preview") {
      if (inline_value) return fail("Volba --" + name + " nemá hodnotu.");
      (name == "save" ? o.save : name == "help" ? o.help : o.preview) = true;
      continue;
    }
    if (name != "data" && name != "url" && name != "days" && name != "program-folder" &&
        name != "retry" && name != "retry-wait")
      return fail("Neznámá volba: --" + name);
    if (!take()) return fail("Volba --" + name + " potřebuje hodnotu.");
    if (name == "data") {
      if (characters(value) > kDataLimit) return fail("Cesta na data Kontor má nejvýše 60 znaků.");
      o.data = value;
    } else if (name == "url") {
      if (characters(value) > kUrlLimit) return fail("URL adresa má nejvýše 128 znaků.");
      o.url = value;
    } else if (name == "days") {
      if (!all_digits(value) || value.size() > kDaysLimit)
        return fail("Počet dnů je celé číslo 0 až 99.");
      o.days = value;
    } else if (name == "program-folder") {
      if (value.empty()) return fail("Volba --program-folder potřebuje složku.");
      o.program_folder = value;
    } else if (name == "retry") {
      if (!all_digits(value) || value.size() > 6)
        return fail("Počet opakování je celé číslo 0 až 999999.");
      o.retries = std::atoi(value.c_str());
    } else {
      char* end = nullptr;
      double s = std::strtod(value.c_str(), &end);
      if (value.empty() || *end != '\0' || !(s >= 0) || s > 86400)
        return fail("Pauza před opakováním je počet sekund 0 až 86400.");
      o.retry_wait = s;
    }
  }
  p.ok = true;
  return p;
}

void apply_options(const CliOptions& o, ui::Controls& c) {
  if (o.data) c.set_text("WKAM", *o.data);
  if (o.url) c.set_text("WISERV", *o.url);
  if (o.nzas) c.set_checked("NZAS", *o.nzas);
  if (o.nznet) c.set_checked("NZNET", *o.nznet);
  if (o.zalozkartu) c.set_checked("ZALOZKARTU", *o.zalozkartu);
  if (o.days) c.set_text("POCDNU", *o.days);
}

const std::string& cli_usage() {
  static const std::string text =
      "Použití: importobj-cli [volby]\n"
      "Spustí import objednávek jako tlačítko \"Spustit import\". Ovládací prvky se naplní\n"
      "z uloženého nastavení (ESH_NAS.DBF ve složce programu); volby je přepíší:\n"
      "  --data SLOŽKA           cesta na data Kontor (nejvýše 60 znaků)\n"
      "  --url ADRESA            URL adresa e-shopu (nejvýše 128 znaků)\n"
      "  --nzas | --no-nzas      nekontrolovat položky na skladové karty\n"
      "  --nznet | --no-nznet    přebírat název položky z netu\n"
      "  --zalozkartu | --no-zalozkartu\n"
      "                          chybějící skladovou kartu založit z údajů e-shopu\n"
      "  --days N                počet dnů na splnění objednávky (0 až 99)\n"
      "  --save                  před importem uložit nastavení\n"
      "  --preview               zkušební import: vše zkontroluje a vypíše, co by zapsal,\n"
      "                          ale nic nezapíše a e-shopu nic nepotvrdí\n"
      "  --program-folder SLOŽKA složka programu (jinak složka, kde leží program)\n"
      "  --retry N               bez terminálu odpovědět \"Opakovat\" nejvýše N-krát\n"
      "  --retry-wait SEKUNDY    pauza před každým opakováním\n"
      "  --help                  tento text\n"
      "Bez terminálu a bez --retry se na dotaz \"Opakovat?\" odpoví Storno.\n"
      "Návratový kód: 0 import bez chybných záznamů, 1 import s chybnými záznamy,\n"
      "2 import zastaven (odmítnutí, žádný dokument, chybná struktura, neznámý typ věty,\n"
      "tabulku nelze otevřít, opakování zrušeno), 3 chybné použití,\n"
      "4 import proběhl, ale e-shop potvrzení nepřijal (dávku pošle znovu).\n";
  return text;
}

}  // namespace app
