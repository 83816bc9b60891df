// dbftool recover: the journal a crashed import left in a data folder, replayed by hand (or
// thrown away after a refusal, once support has checked the folder); check reports it.
#include <ostream>

#include "platform/file/journal.h"
#include "tools/dbftool_commands.h"
#include "tools/dbftool_internal.h"

namespace dbftool {
namespace {

std::string labels(const std::vector<std::string>& list) {
  std::string s;
  for (const auto& l : list)
    if (!l.empty()) s += " " + l;
  return s;
}

}  // namespace

void recover_before_writing(const std::string& folder, std::ostream& out) {
  xbase::RecoveryReport r = xbase::recover_journal(folder.empty() ? "." : folder);
  if (r.found)
    out << "journal replayed: " << r.written.size()
        << " commit(s) written again:" << labels(r.written) << "\n";
}

int cmd_recover(const std::vector<std::string>& args, std::ostream& out) {
  if (args.size() < 2 || args.size() > 3 || (args.size() == 3 && args[2] != "--discard"))
    throw UsageError("recover takes a folder [--discard]");
  const std::string& folder = args[1];
  xbase::FileSystem& fs = xbase::file_system();
  std::string path = fs.resolve_case(xbase::path_join(folder, xbase::kJournalName));
  if (!fs.exists(path)) {
    out << "no journal waits in " << folder << "\n";
    return 0;
  }
  if (args.size() == 3) {
    if (!fs.remove(path)) throw std::runtime_error(path + ": cannot remove the journal");
    out << "journal discarded: " << path << "\n";
    return 0;
  }
  try {
    xbase::RecoveryReport r = xbase::recover_journal(folder);
    out << "journal replayed: " << r.labels.size() << " commit(s), " << r.written.size()
        << " written again:" << labels(r.written) << (r.torn_tail ? "; torn tail dropped" : "")
        << "\n";
    return 0;
  } catch (const xbase::JournalRefused& e) {
    out << "REFUSED " << e.what() << "\n";
    return 1;
  }
}

}  // namespace dbftool
