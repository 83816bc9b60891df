#include "platform/table/work_areas.h"

#include <algorithm>
#include <cctype>

#include "platform/table/settings.h"
#include "platform/table/table_error.h"

namespace xbase {
namespace {

std::string upper(std::string_view s) {
  std::string out(s);
  for (auto& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool all_digits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

LockScheme lock_scheme_for(const std::string& driver) {
  return upper(driver) == "DBFCDX" ? LockScheme::kVfp : LockScheme::kClipper;
}

std::string index_extension_for(const std::string& driver) {
  return upper(driver) == "DBFCDX" ? ".cdx" : ".ntx";
}

std::unique_ptr<IndexBag> open_index_for(DbfTable& table, const std::string& path,
                                         const std::string& driver) {
  IndexOptions o;
  o.share = table.exclusive() ? ShareMode::kExclusive : ShareMode::kShared;
  o.read_only = table.read_only();
  o.collation = table_settings().collation;
  std::string ext = upper(path.substr(
      std::min(path.size(), path.rfind('.') == std::string::npos ? path.size() : path.rfind('.'))));
  bool cdx = ext == ".CDX" || (ext != ".NTX" && upper(driver) == "DBFCDX");
  return cdx ? open_cdx(path, table, o) : open_ntx(path, table, o);
}

WorkAreas& WorkAreas::instance() {
  static WorkAreas w;
  return w;
}

void WorkAreas::select(int area) {
  if (area < 1) area = lowest_free();
  current_ = area;
}

bool WorkAreas::select(std::string_view number_or_alias) {
  std::string s(number_or_alias);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  while (!s.empty() && s.front() == ' ') s.erase(s.begin());
  if (all_digits(s)) {
    select(std::stoi(s));
    return true;
  }
  int a = area_of(s);
  if (a == 0) return false;
  current_ = a;
  return true;
}

int WorkAreas::lowest_free() const {
  int a = 1;
  while (areas_.count(a)) ++a;
  return a;
}

int WorkAreas::select_free() {
  current_ = lowest_free();
  return current_;
}

bool WorkAreas::use(const std::string& name, const std::string& alias, const UseOptions& options) {
  set_net_err(false);
  close(current_);
  const TableSettings& s = table_settings();
  std::string driver = options.driver.empty() ? s.driver : options.driver;
  TableOpenOptions o;
  o.share = options.shared.value_or(!s.exclusive) ? ShareMode::kShared : ShareMode::kExclusive;
  o.read_only = options.read_only;
  o.codepage = s.oem_codepage;
  o.locks = lock_scheme_for(driver);
  std::string path = resolve_table_path(name, ".DBF");
  std::unique_ptr<DbfTable> t;
  try {
    t = DbfTable::open(path, o);
  } catch (const TableError& e) {
    if (e.sharing()) {
      set_net_err(true);
      return false;
    }
    throw;
  }
  std::string a = alias.empty() ? upper(path_stem(path)) : upper(alias);
  attach(current_, std::move(t), a, driver);
  return true;
}

void WorkAreas::order_list_add(int area, const std::string& index_name) {
  DbfTable* t = table(area);
  if (!t) throw TableError(kErrNoTable, 0, "", "work area " + std::to_string(area) + " is free");
  std::string drv = driver(area);
  std::string path = resolve_table_path(index_name, index_extension_for(drv));
  t->add_bag(open_index_for(*t, path, drv));
}

DbfTable* WorkAreas::table(int area) {
  auto it = areas_.find(area);
  return it == areas_.end() ? nullptr : it->second.table.get();
}

DbfTable* WorkAreas::by_alias(std::string_view alias) { return table(area_of(alias)); }

int WorkAreas::area_of(std::string_view alias) const {
  std::string a = upper(alias);
  for (const auto& [n, area] : areas_)
    if (area.alias == a) return n;
  return 0;
}

std::string WorkAreas::alias(int area) const {
  auto it = areas_.find(area);
  return it == areas_.end() ? "" : it->second.alias;
}

std::string WorkAreas::driver(int area) const {
  auto it = areas_.find(area);
  return it == areas_.end() ? "" : it->second.driver;
}

void WorkAreas::attach(int area, std::unique_ptr<DbfTable> table, const std::string& alias,
                       const std::string& driver) {
  close(area);
  if (area_of(alias) != 0)
    throw TableError(kErrOpen, 0, table->path(), "alias " + upper(alias) + " is already in use");
  areas_[area] = Area{std::move(table), upper(alias), upper(driver)};
}

void WorkAreas::close(int area) {
  auto it = areas_.find(area);
  if (it == areas_.end()) return;
  std::unique_ptr<DbfTable> t = std::move(it->second.table);
  areas_.erase(it);
  t->close();
}

void WorkAreas::close_all() {
  std::exception_ptr failure;
  while (!areas_.empty()) {
    try {
      close(areas_.begin()->first);
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
}

void WorkAreas::commit_all() {
  for (auto& [n, area] : areas_) area.table->commit();
}

}  // namespace xbase
