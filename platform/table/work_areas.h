// Numbered work areas (from 1) with aliases, as the xBase runtime keeps them for the process.
// An open into the current area closes what the area held. A sharing refusal raises the
// network-error flag and fails the open quietly; every other failure throws TableError.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/table/dbf_table.h"

namespace xbase {

struct UseOptions {
  std::optional<bool> shared;  // nothing: the global exclusive default decides
  bool read_only = false;
  std::string driver;  // empty: the global default driver
};

class WorkAreas {
 public:
  static WorkAreas& instance();

  int current() const { return current_; }
  void select(int area);
  // "3" selects area 3, "0" the lowest free one, anything else an alias; false when no
  // area has that alias (the selection is unchanged).
  bool select(std::string_view number_or_alias);
  int select_free();  // makes the lowest free area current and returns it
  int lowest_free() const;

  // Opens name (resolved against the default folder, ".DBF" added) into the current area.
  // Returns false, with net_err() raised, when another process holds the table in a
  // conflicting mode.
  bool use(const std::string& name, const std::string& alias, const UseOptions& options = {});
  // Adds an index file (driver's extension added, resolved like tables) to the area's table.
  void order_list_add(int area, const std::string& index_name);

  DbfTable* table(int area);  // nullptr when free
  DbfTable* current_table() { return table(current_); }
  DbfTable* by_alias(std::string_view alias);
  int area_of(std::string_view alias) const;  // 0 when none
  std::string alias(int area) const;
  std::string driver(int area) const;

  // Takes an already open table into an area (a data server does so).
  void attach(int area, std::unique_ptr<DbfTable> table, const std::string& alias,
              const std::string& driver);
  void close(int area);
  void close_all();
  void commit_all();

 private:
  struct Area {
    std::unique_ptr<DbfTable> table;
    std::string alias;
    std::string driver;
  };
  std::map<int, Area> areas_;
  int current_ = 1;
};

// The lock scheme and index extension that go with a driver name ("DBFNTX", "DBFCDX").
LockScheme lock_scheme_for(const std::string& driver);
std::string index_extension_for(const std::string& driver);
// Opens an index file with the table's share mode and the global collation.
std::unique_ptr<IndexBag> open_index_for(DbfTable& table, const std::string& path,
                                         const std::string& driver);

}  // namespace xbase
