#include "platform/table/settings.h"

#include "platform/file/file.h"
#include "platform/index/collation.h"

namespace xbase {

TableSettings& table_settings() {
  static TableSettings s;
  return s;
}

namespace {
bool g_net_err = false;
}

void apply_startup_table_settings() {
  TableSettings& s = table_settings();
  s.exclusive = false;
  s.deleted_hidden = true;
  s.driver = "DBFNTX";
  s.collation = &locale_collation();
  s.ansi = false;
  s.oem_codepage = system_oem_codepage();
  s.century = true;
  s.epoch = 1910;
  s.date_format = "DD.MM.YYYY";
}

bool net_err() { return g_net_err; }
void set_net_err(bool v) { g_net_err = v; }

std::string resolve_table_path(const std::string& name, const std::string& ext) {
  std::string p = name;
  while (!p.empty() && p.back() == ' ') p.pop_back();
  std::string base = path_basename(p);
  if (!ext.empty() && base.find('.') == std::string::npos) p += ext;
  if (!path_has_dir(p)) p = path_join(table_settings().default_folder, p);
  return file_system().resolve_case(p);
}

}  // namespace xbase
