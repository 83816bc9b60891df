#include "app/hlavni_sdi.h"

#include <cmath>
#include <exception>

#include "app/run_log.h"
#include "app/work_tables.h"
#include "data/error_report.h"
#include "data/program_state.h"
#include "data/shared_access.h"
#include "platform/file/file.h"
#include "platform/table/dbf_table.h"
#include "platform/table/settings.h"
#include "platform/table/work_areas.h"
#include "platform/text/ascii.h"
#include "settings/settings_table.h"

namespace app {

using xbase::same_name;
namespace {

std::string rtrim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

void commit_and_close_all() {
  xbase::WorkAreas::instance().commit_all();
  xbase::WorkAreas::instance().close_all();
}

void create_work_table(const std::string& path, const std::vector<xbase::FieldSpec>& fields) {
  xbase::TableOpenOptions o;
  o.share = xbase::ShareMode::kExclusive;
  o.codepage = xbase::table_settings().oem_codepage;
  xbase::DbfTable::create(path, fields, o)->close();
  commit_and_close_all();
}

}  // namespace

double ZAP_ZNAK::value_of(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  double v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) v = v * 10 + (text[i] - '0');
  return v;
}

std::string ZAP_ZNAK::text_of(double value) {
  return std::to_string(static_cast<long long>(std::llround(value < 0 ? 0 : value)));
}

void HlavniSDI::ApplyTemplate(ui::Controls& c) {
  for (const char* edit : {"WKAM", "IDIR", "LOG", "HES", "WISERV", "POCDNU", "FTPC", "FTPSTATUS"})
    c.set_text(edit, "");
  for (const char* box : {"NZAS", "NZNET", "ZALOZKARTU"}) c.set_checked(box, false);
  for (const char* counter : {"FTPOCO", "FTPOCP", "FTPCHY", "FTPDOB", "FTKCHY", "FTKDOB"})
    c.set_text(counter, "0");
  c.set_text("FTPRO", "Probíhá:");
  c.set_visible("FTPRO", false);
  c.set_text("ENDDIALOG", "Konec");
  c.set_text("TLKAM", "Procházet");
  c.set_text("SPUSTIT", "Spustit import");
  c.set_text("ULOZIT", "Uložit nastavení");
}

void HlavniSDI::Init() {
  win_.set_text_limit("WKAM", 60);
  win_.set_text_limit("IDIR", 60);
  win_.set_text_limit("LOG", 30);
  win_.set_text_limit("HES", 30);
  win_.set_text_limit("WISERV", 128);
  win_.set_text_limit("POCDNU", ZAP_ZNAK::kLength);
}

void HlavniSDI::PostInit() {
  // The days field takes ZAP_ZNAK's width; PocetDnu() reads its value as a number of that type.
  win_.set_text_limit("POCDNU", ZAP_ZNAK::kLength);
  NacteniNastaveni();
  win_.add_column("CFA", "Č.objednávky", 9);
  win_.add_column("CHYBA", "Popis chyby", 16);
  ui::set_main_window(&win_);
  // The window and the console both log their runs, unless someone watches them already.
  if (!run_observer_) run_observer_ = RunLog();
}

void HlavniSDI::TLKAM() {
  std::string folder = win_.choose_folder(ui::Owner::kMain, "Pro zálohu dat");
  if (folder.empty()) return;
  win_.set_text("WKAM", folder);
  KontrolaKam();
}

bool HlavniSDI::KontrolaKam() {
  std::string folder = rtrim(win_.text("WKAM"));
  // An empty field names the root, as a lone backslash does on Windows.
  folder = folder.empty() ? std::string(1, data::path_separator()) : data::with_separator(folder);
  data::set_target_folder(folder);
  xbase::FileSystem& fs = xbase::file_system();
  for (const char* table : kKontorTables) {
    if (!fs.exists(fs.resolve_case(folder + table))) {
      win_.warning_box(ui::Owner::kMain, data::kRefusedCaption,
                       "Na zadané cestě kam, nejsou\rsdílená data Kontor!");
      return false;
    }
  }
  return true;
}

void HlavniSDI::VytvoreniDB() {
  xbase::FileSystem& fs = xbase::file_system();
  const std::string& dir = data::program_folder();
  std::string hla = fs.resolve_case(dir + "ESH_HLA.DBF");
  if (fs.exists(hla)) {
    fs.remove(hla);  // a file held by another program stays and is used as it is
    commit_and_close_all();
  }
  if (!fs.exists(hla)) create_work_table(dir + "ESH_HLA.DBF", esh_hla_fields());
  if (!fs.exists(fs.resolve_case(dir + "ESH_POL.DBF")))
    create_work_table(dir + "ESH_POL.DBF", esh_pol_fields());
}

void HlavniSDI::NacteniNastaveni() {
  auto s = settings::load_settings();
  if (!s) return;
  win_.set_text("WKAM", s->kam);
  win_.set_text("WISERV", s->iserv);
  win_.set_text("IDIR", s->idir);
  win_.set_text("LOG", s->log);
  win_.set_text("HES", s->hes);
  win_.set_checked("NZAS", s->nzas);
  win_.set_checked("NZNET", s->nznet);
  win_.set_checked("ZALOZKARTU", s->znb);
  win_.set_text("POCDNU", ZAP_ZNAK::text_of(s->pocdnu));
}

void HlavniSDI::Ulozit() {
  settings::Settings s;
  s.kam = win_.text("WKAM");
  s.iserv = win_.text("WISERV");
  s.idir = win_.text("IDIR");
  s.log = win_.text("LOG");
  s.hes = win_.text("HES");
  s.nzas = win_.checked("NZAS");
  s.nznet = win_.checked("NZNET");
  s.znb = win_.checked("ZALOZKARTU");
  s.pocdnu = PocetDnu();
  settings::save_settings(s);
}

double HlavniSDI::PocetDnu() const { return ZAP_ZNAK::value_of(win_.text("POCDNU")); }

bool HlavniSDI::Guarded(const std::function<void()>& operation) {
  try {
    operation();
    return true;
  } catch (const std::exception& e) {
    data::report_error(e);
    return false;
  }
}

bool HlavniSDI::Click(std::string_view button) {
  if (same_name(button, "ENDDIALOG")) {
    EndDialog();
  } else if (same_name(button, "TLKAM")) {
    Guarded([this] { TLKAM(); });
  } else if (same_name(button, "SPUSTIT")) {
    Guarded([this] { Spustit(); });
  } else if (same_name(button, "ULOZIT")) {
    Guarded([this] { Ulozit(); });
  } else {
    return false;
  }
  return true;
}

}  // namespace app
