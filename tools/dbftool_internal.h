#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/file/file.h"
#include "platform/table/dbf_table.h"

namespace dbftool {

// Opens shared and read-only, so that support can look at a folder in use.
std::unique_ptr<xbase::DbfTable> open_for_reading(const std::string& path);

int cmd_dump(const std::string& path, std::ostream& out);
int cmd_info(const std::string& path, std::ostream& out);
int cmd_keys(const std::vector<std::string>& args, std::ostream& out);
int cmd_check(const std::vector<std::string>& args, std::ostream& out);
int cmd_reindex(const std::vector<std::string>& args, std::ostream& out);
int cmd_recover(const std::vector<std::string>& args, std::ostream& out);
// A journal left in folder is replayed before a command writes there (throws when refused).
void recover_before_writing(const std::string& folder, std::ostream& out);
int cmd_hold(const std::vector<std::string>& args, std::ostream& out);

}  // namespace dbftool
