#include "platform/table/db_server.h"

#include <cctype>

#include "platform/table/settings.h"
#include "platform/table/table_error.h"
#include "platform/table/work_areas.h"

namespace xbase {

DbServer::DbServer(const std::string& file, bool shared, bool read_only,
                   const std::string& driver) {
  set_net_err(false);
  const TableSettings& s = table_settings();
  driver_ = driver.empty() ? s.driver : driver;
  for (auto& c : driver_) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  path_ = resolve_table_path(file, ".DBF");
  TableOpenOptions o;
  o.share = shared ? ShareMode::kShared : ShareMode::kExclusive;
  o.read_only = read_only;
  o.codepage = s.oem_codepage;
  o.locks = lock_scheme_for(driver_);
  std::unique_ptr<DbfTable> t;
  try {
    t = DbfTable::open(path_, o);
  } catch (const TableError& e) {
    if (e.sharing()) set_net_err(true);
    set_status(e.generic(), e.what());
    return;
  }
  WorkAreas& w = WorkAreas::instance();
  area_ = w.lowest_free();
  // Each server gets an alias of its own, unique among the open areas.
  std::string base = path_stem(path_);
  for (auto& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  alias_ = base;
  for (int n = 2; w.area_of(alias_) != 0; ++n) alias_ = base + "_" + std::to_string(n);
  w.attach(area_, std::move(t), alias_, driver_);
}

DbServer::~DbServer() {
  try {
    close();
  } catch (...) {
    // Errors of a close belong to an explicit close().
  }
}

void DbServer::set_status(int generic, const std::string& description) {
  status_.caption = std::to_string(generic);
  status_.description = description;
}

DbfTable* DbServer::table() const { return area_ ? WorkAreas::instance().table(area_) : nullptr; }

DbfTable& DbServer::need() const {
  DbfTable* t = table();
  if (!t) throw TableError(kErrNoTable, 0, path_, "the data server is not open");
  return *t;
}

Value DbServer::field_get(std::string_view name) const { return need().get(name); }
void DbServer::field_put(std::string_view name, const Value& v) { need().put(name, v); }
bool DbServer::seek(const Value& key, bool soft) { return need().seek(key, soft); }
void DbServer::skip(long n) { need().skip(n); }
void DbServer::go_top() { need().go_top(); }
void DbServer::go_bottom() { need().go_bottom(); }
void DbServer::go_to(uint32_t recno) { need().go_to(recno); }
bool DbServer::eof() const { return need().eof(); }
bool DbServer::bof() const { return need().bof(); }
bool DbServer::found() const { return need().found(); }
uint32_t DbServer::recno() const { return need().recno(); }
uint32_t DbServer::record_count() const { return need().record_count(); }
void DbServer::append() { need().append_blank(); }
void DbServer::commit() { need().commit(); }

void DbServer::close() {
  if (area_ == 0) return;
  int a = area_;
  area_ = 0;
  WorkAreas::instance().close(a);
}

void DbServer::order_list_clear() { need().clear_bags(); }

void DbServer::order_list_add(const std::string& index_file) {
  DbfTable& t = need();
  std::string p = index_file;
  if (!path_has_dir(p)) p = path_join(path_dirname(path_), p);
  if (path_basename(p).find('.') == std::string::npos) p += index_extension_for(driver_);
  t.add_bag(open_index_for(t, file_system().resolve_case(p), driver_));
}

bool DbServer::set_order(size_t number) { return need().set_order(number); }
bool DbServer::set_order(std::string_view tag) { return need().set_order(tag); }
size_t DbServer::order_count() const { return need().order_count(); }
void DbServer::reindex() { need().reindex(); }

}  // namespace xbase
