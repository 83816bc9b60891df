#include "data/shared_access.h"

#include <cctype>
#include <stdexcept>

#include "data/pozad.h"
#include "data/program_state.h"
#include "data/zas.h"
#include "platform/file/file.h"
#include "platform/table/settings.h"
#include "platform/table/table_error.h"
#include "platform/table/work_areas.h"

namespace data {
namespace {

std::string upper(std::string_view s) {
  std::string out(s);
  for (auto& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string exclusive_text(const std::string& what) {
  return "K souboru " + what +
         " má jiný uživatel exlusivni přístup\r"
         "nebo je v jiném okně exlusivně otevřen!\r"
         "Zkuste později.";
}

std::string missing_text(const std::string& path) {
  return "Soubor " + path +
         " nenalezen!\r"
         "Ověřte správnost přiřazení firemních dat\r"
         "nebo instalace dat program.syst.KTR!";
}

std::string failed_text(const std::string& path, const std::string& description) {
  return "Otevreni souboru " + path + " skoncilo chybou " + description;
}

// Only a refusal for a sharing conflict means that someone else holds the table; an open
// error of another kind (access denied, damage) is told with the layer's description, so
// that nobody is sent to wait for a user who does not exist.
bool refused_for_sharing(const xbase::DbServer& server) {
  return server.status().caption == std::to_string(xbase::kErrOpen) && xbase::net_err();
}

}  // namespace

std::unique_ptr<xbase::DbServer> OPDBF(std::uint8_t folder, const std::string& table, bool shared,
                                       bool read_only) {
  if (folder == 0) folder = 1;
  const std::string& dir = folder == 1 ? target_folder() : program_folder();
  std::string path = dir + table + ".DBF";
  xbase::FileSystem& fs = xbase::file_system();
  if (!fs.exists(fs.resolve_case(path))) {
    ui::boxes().warning_box(ui::Owner::kNone, kRefusedCaption, missing_text(path));
    return nullptr;
  }
  auto server = std::make_unique<xbase::DbServer>(path, shared, read_only);
  if (server->status().empty()) return server;
  std::string text = refused_for_sharing(*server) ? exclusive_text(path)
                                                  : failed_text(path, server->status().description);
  ui::boxes().warning_box(ui::Owner::kNone, kRefusedCaption, text);
  server->close();
  return nullptr;
}

namespace detail {

bool server_opened(xbase::DbServer& server, std::string_view class_name) {
  if (server.status().empty()) return true;
  std::string text = refused_for_sharing(server)
                         ? exclusive_text(upper(class_name))
                         : failed_text(server.path(), server.status().description);
  ui::boxes().warning_box(ui::main_owner(), kRefusedCaption, text);
  server.close();
  return false;
}

}  // namespace detail

std::unique_ptr<xbase::DbServer> OPSERVER(std::string_view class_name, bool shared,
                                          bool read_only) {
  std::string name = upper(class_name);
  if (name == Zas::kClassName) return OPSERVER<Zas>(shared, read_only);
  if (name == Pozad::kClassName) return OPSERVER<Pozad>(shared, read_only);
  throw std::invalid_argument("OPSERVER: no data-server class named " + std::string(class_name));
}

bool OPAREA(const std::string& table, bool shared, const std::string& alias) {
  xbase::UseOptions options;
  options.shared = shared;
  options.read_only = false;
  for (;;) {
    xbase::WorkAreas::instance().use(table, alias, options);
    if (!xbase::net_err()) return true;
    if (!OPAKOVAT(ui::main_owner())) return false;
  }
}

bool OPAKOVAT(ui::Owner owner) {
  ui::Reply reply = ui::boxes().retry_cancel_box(owner, kRefusedCaption,
                                                 "Data právě používá jiný uživatel\r"
                                                 "nebo jsou otevřena v jiném okně!\r"
                                                 "Opakovat?");
  return reply == ui::Reply::kRetry;
}

}  // namespace data
