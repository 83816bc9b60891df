// Index helpers shared by dbftool's keys, check and reindex commands.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/index/order.h"
#include "platform/table/dbf_table.h"

namespace dbftool {

// The index files the import opens for each table of an accounting folder, in order.
struct FolderTable {
  const char* table;
  std::vector<const char*> indexes;
};
const std::vector<FolderTable>& accounting_tables();

// The table an index file belongs to in an accounting folder (by file name), or "".
std::string table_for_index(const std::string& index_path);

// Opens an index file over table (by extension: .ntx or .cdx) read-only with the collation.
std::unique_ptr<xbase::IndexBag> open_index(const std::string& path, xbase::DbfTable& table,
                                            const xbase::Collation* collation, bool read_only);

// A stored key as the key dumps show it: text without trailing blanks (escaped), numbers,
// dates as YYYYMMDD.
std::string key_text(const xbase::Order& order, const std::string& key, const xbase::CodePage& cp);

// The tag as the dumps name it: in the letter case of the file name when they are the same.
std::string display_tag(const xbase::Order& order, const std::string& index_path);

// Finds the key rules the order's stored keys show (startup wins ties), puts the case mapping
// in force, and the collation too when with_collation; returns "rules=...".
std::string found_rules(xbase::DbfTable& table, xbase::Order& order,
                        const xbase::Collation* startup, bool with_collation);

// Parses "--collation NAME"; binary when absent.
const xbase::Collation* collation_option(const std::vector<std::string>& args);

}  // namespace dbftool
