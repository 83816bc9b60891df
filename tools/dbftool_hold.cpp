// dbftool hold: keeps a table open exclusively for a while, as a workstation that has it in
// exclusive use does, so support (and the window tests) can see how the import waits for it.
#include <chrono>
#include <ostream>
#include <string>
#include <thread>

#include "platform/table/settings.h"
#include "tools/dbftool_commands.h"
#include "tools/dbftool_internal.h"

namespace dbftool {

int cmd_hold(const std::vector<std::string>& args, std::ostream& out) {
  if (args.size() != 3) throw UsageError("hold takes a table and a number of seconds");
  int seconds = 0;
  try {
    seconds = std::stoi(args[2]);
  } catch (const std::exception&) {
    throw UsageError("hold: '" + args[2] + "' is not a number of seconds");
  }
  if (seconds < 0 || seconds > 86400) throw UsageError("hold: seconds from 0 to 86400");
  xbase::TableOpenOptions o;
  o.share = xbase::ShareMode::kExclusive;
  o.read_only = true;
  o.codepage = xbase::table_settings().oem_codepage;
  auto table = xbase::DbfTable::open(xbase::file_system().resolve_case(args[1]), o);
  out << "holding " << args[1] << " exclusively for " << seconds << " s" << std::endl;
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  table->close();
  out << "released " << args[1] << std::endl;
  return 0;
}

}  // namespace dbftool
