#include "platform/table/settings.h"
#include "tools/dbftool_commands.h"
#include "tools/dbftool_internal.h"

namespace dbftool {

std::unique_ptr<xbase::DbfTable> open_for_reading(const std::string& path) {
  xbase::TableOpenOptions o;
  o.share = xbase::ShareMode::kShared;
  o.read_only = true;
  o.codepage = xbase::table_settings().oem_codepage;
  // Support looks at every record, deleted ones too.
  xbase::table_settings().deleted_hidden = false;
  return xbase::DbfTable::open(xbase::file_system().resolve_case(path), o);
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& /*err*/) {
  const std::string& cmd = args[0];
  if (cmd == "dump" || cmd == "info") {
    if (args.size() != 2) throw UsageError(cmd + " takes one table");
    return cmd == "dump" ? cmd_dump(args[1], out) : cmd_info(args[1], out);
  }
  if (cmd == "keys") return cmd_keys(args, out);
  if (cmd == "check") return cmd_check(args, out);
  if (cmd == "reindex") return cmd_reindex(args, out);
  if (cmd == "recover") return cmd_recover(args, out);
  if (cmd == "hold") return cmd_hold(args, out);
  throw UsageError("unknown command '" + cmd + "'");
}

}  // namespace dbftool
