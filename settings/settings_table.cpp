// Reads and writes record 1 of ESH_NAS.DBF (dBase III, no memo, no index) through OPDBF.
#include "settings/settings_table.h"

#include "data/program_state.h"
#include "data/shared_access.h"
#include "platform/file/file.h"
#include "platform/table/settings.h"
#include "platform/table/work_areas.h"
#include "platform/text/codepage.h"

namespace settings {
namespace {

constexpr std::uint8_t kProgramFolder = 2;

std::string text_of(xbase::DbServer& s, const char* field) {
  xbase::Value v = s.field_get(field);
  return v.type() == xbase::Value::Type::kChar ? v.str() : std::string();
}

}  // namespace

const std::vector<xbase::FieldSpec>& esh_nas_fields() {
  static const std::vector<xbase::FieldSpec> fields = {
      {"TYPF", 'N', 2, 0},   {"KAM", 'C', 128, 0}, {"ISERV", 'C', 128, 0}, {"PROX", 'C', 128, 0},
      {"IDIR", 'C', 128, 0}, {"LOG", 'C', 30, 0},  {"HES", 'C', 30, 0},    {"HLAV", 'C', 128, 0},
      {"POL", 'C', 128, 0},  {"JHTTP", 'L', 1, 0}, {"DATU", 'D', 8, 0},    {"TIMU", 'C', 10, 0},
      {"DATP", 'D', 8, 0},   {"TIMP", 'C', 10, 0}, {"NSES", 'C', 64, 0},   {"POZN1", 'C', 64, 0},
      {"POZN2", 'C', 64, 0}, {"NZAS", 'L', 1, 0},  {"NZNET", 'L', 1, 0},   {"POCDNU", 'N', 3, 0},
      {"DRUH", 'C', 5, 0},   {"STR", 'N', 3, 0},   {"KATZ", 'N', 1, 0},    {"IDSOUB", 'N', 9, 0},
      {"ZNA", 'N', 2, 0},    {"ZNB", 'L', 1, 0},   {"ZNC", 'C', 2, 0},
  };
  return fields;
}

std::string settings_path() {
  xbase::FileSystem& fs = xbase::file_system();
  return fs.resolve_case(data::program_folder() + "ESH_NAS.DBF");
}

std::string cut_text(const std::string& utf8, size_t n) {
  size_t i = 0;
  for (size_t count = 0; i < utf8.size() && count < n; ++count) xbase::next_utf8(utf8, i);
  std::string out = utf8.substr(0, i);
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::optional<Settings> load_settings() {
  if (!xbase::file_system().exists(settings_path())) return std::nullopt;
  auto server = data::OPDBF(kProgramFolder, "ESH_NAS", false, false);
  if (!server) return std::nullopt;
  Settings s;
  if (!server->eof()) {
    s.kam = cut_text(text_of(*server, "KAM"), 60);
    s.iserv = cut_text(text_of(*server, "ISERV"), 128);
    s.idir = cut_text(text_of(*server, "IDIR"), 60);
    s.log = cut_text(text_of(*server, "LOG"), 30);
    s.hes = cut_text(text_of(*server, "HES"), 30);
    s.nzas = server->field_get("NZAS").log();
    s.nznet = server->field_get("NZNET").log();
    s.znb = server->field_get("ZNB").log();
    s.pocdnu = server->field_get("POCDNU").num();
  }
  server->close();
  return s;
}

bool save_settings(const Settings& s) {
  if (!xbase::file_system().exists(settings_path())) {
    xbase::TableOpenOptions o;
    o.share = xbase::ShareMode::kExclusive;
    o.codepage = xbase::table_settings().oem_codepage;
    xbase::DbfTable::create(data::program_folder() + "ESH_NAS.DBF", esh_nas_fields(), o)->close();
    xbase::WorkAreas::instance().commit_all();
    xbase::WorkAreas::instance().close_all();
  }
  auto server = data::OPDBF(kProgramFolder, "ESH_NAS", false, false);
  if (!server) return false;
  // The record the open stands on; a table whose only record is deleted gets a new one.
  if (server->record_count() < 1 || server->eof()) server->append();
  using xbase::Value;
  server->field_put("KAM", Value::text(s.kam));
  server->field_put("ISERV", Value::text(s.iserv));
  server->field_put("IDIR", Value::text(s.idir));
  server->field_put("LOG", Value::text(s.log));
  server->field_put("HES", Value::text(s.hes));
  server->field_put("NZAS", Value::logical(s.nzas));
  server->field_put("NZNET", Value::logical(s.nznet));
  server->field_put("ZNB", Value::logical(s.znb));
  server->field_put("POCDNU", Value::number(s.pocdnu));
  server->commit();
  server->close();
  return true;
}

}  // namespace settings
