// dbftool check: every table of an accounting folder with the index files the import opens for
// it, and any TABLE=INDEX pairs given. One line per table and per index, OK or BAD.
#include <map>
#include <set>

#include "platform/file/file.h"
#include "platform/file/journal.h"
#include "platform/table/settings.h"
#include "platform/table/table_error.h"
#include "platform/text/codepage.h"
#include "tools/dbftool_commands.h"
#include "tools/dbftool_index.h"
#include "tools/dbftool_internal.h"

namespace dbftool {
namespace {

struct Pair {
  std::string table;
  std::vector<std::string> indexes;
};

// Checks one index against its table; returns the BAD reason or "" and fills info.
std::string check_index(xbase::DbfTable& table, xbase::Order& o, std::string& info) {
  std::set<std::pair<std::string, uint32_t>> entries;
  std::string previous;
  bool first = true;
  uint32_t last_recno = 0;
  int dups_out_of_order = 0;
  uint64_t walked = 0;
  std::string fault;
  try {
    o.verify([&](const xbase::IndexKey& k) {
      ++walked;
      if (!first && fault.empty()) {
        int c = o.compare_keys(previous, k.key);
        if (o.descending()) c = -c;
        if (c > 0)
          fault = "keys out of order at record " + std::to_string(k.recno);
        else if (c == 0 && k.recno < last_recno)
          ++dups_out_of_order;
      }
      if (!entries.insert({k.key, k.recno}).second && fault.empty())
        fault = "record " + std::to_string(k.recno) + " has its key twice";
      previous = k.key;
      last_recno = k.recno;
      first = false;
    });
  } catch (const std::exception& e) {
    return e.what();
  }
  if (!fault.empty()) return fault;
  uint32_t records = table.record_count();
  uint64_t expected = 0;
  std::string mismatch;
  table.scan([&](const xbase::RecordSource& rec) {
    auto key = o.key_of(rec);
    if (!key) return;
    ++expected;
    if (mismatch.empty() && !entries.count({*key, rec.recno()}))
      mismatch = "record " + std::to_string(rec.recno()) + " has no key \"" +
                 key_text(o, *key, table.codepage()) + "\"";
  });
  if (!mismatch.empty()) return mismatch;
  if (!o.unique() && walked != expected)
    return "keys=" + std::to_string(walked) + " but " + std::to_string(expected) +
           " records are indexed (records=" + std::to_string(records) + ")";
  info = "keys=" + std::to_string(walked) + " levels=" + std::to_string(o.levels()) +
         " keylen=" + std::to_string(o.key_length()) + " type=" + std::string(1, o.key_type());
  if (dups_out_of_order) info += " dups-not-in-recno-order=" + std::to_string(dups_out_of_order);
  return "";
}

}  // namespace

int cmd_check(const std::vector<std::string>& args, std::ostream& out) {
  if (args.size() < 2) throw UsageError("check takes a folder");
  std::string folder = args[1];
  const xbase::Collation* collation = collation_option(args);
  std::vector<Pair> pairs;
  for (const auto& t : accounting_tables()) {
    Pair p{xbase::path_join(folder, t.table), {}};
    for (const char* i : t.indexes) p.indexes.push_back(xbase::path_join(folder, i));
    pairs.push_back(p);
  }
  for (size_t i = 2; i + 1 < args.size(); ++i) {
    if (args[i] != "--pair") continue;
    std::string list = args[++i];
    size_t start = 0;
    while (start <= list.size()) {
      size_t comma = list.find(',', start);
      std::string item =
          list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
      size_t eq = item.find('=');
      if (eq == std::string::npos) throw UsageError("--pair takes TABLE=INDEX,...");
      pairs.push_back({item.substr(0, eq), {item.substr(eq + 1)}});
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  }
  bool bad = false;
  try {
    xbase::JournalContents j = xbase::read_journal(folder);
    if (!j.commits.empty()) {
      out << "BAD " << xbase::kJournalName << " waits with " << j.commits.size()
          << " commit(s) of an interrupted import: run dbftool recover " << folder << "\n";
      bad = true;
    }
  } catch (const xbase::JournalRefused& e) {
    out << "BAD " << e.what() << "\n";
    bad = true;
  }
  for (const auto& p : pairs) {
    std::string table_path = xbase::file_system().resolve_case(p.table);
    std::string tname = xbase::path_basename(table_path);
    if (!xbase::file_system().exists(table_path)) {
      out << "BAD " << tname << " missing\n";
      bad = true;
      continue;
    }
    std::unique_ptr<xbase::DbfTable> table;
    try {
      table = open_for_reading(table_path);
    } catch (const std::exception& e) {
      out << "BAD " << tname << " " << e.what() << "\n";
      bad = true;
      continue;
    }
    uint32_t n = table->record_count();
    uint32_t deleted = 0;
    table->scan([&](const xbase::RecordSource& r) { deleted += r.deleted() ? 1 : 0; });
    if (auto m = table->header_count_mismatch()) {
      out << "BAD " << tname << " records=" << n << " but the header says " << *m << "\n";
      bad = true;
    } else {
      out << "OK " << tname << " records=" << n << " deleted=" << deleted << "\n";
    }
    for (const auto& ipath : p.indexes) {
      std::string real = xbase::file_system().resolve_case(ipath);
      std::string iname = xbase::path_basename(real);
      if (!xbase::file_system().exists(real)) {
        out << "BAD " << tname << " " << iname << " missing\n";
        bad = true;
        continue;
      }
      std::unique_ptr<xbase::IndexBag> bag;
      try {
        bag = open_index(real, *table, collation, true);
      } catch (const std::exception& e) {
        out << "BAD " << tname << " " << iname << " " << e.what() << "\n";
        bad = true;
        continue;
      }
      for (size_t i = 0; i < bag->order_count(); ++i) {
        xbase::Order& o = bag->order(i);
        std::string info;
        // The order is checked in the collation asked for, with the case mapping it shows.
        std::string rules = "rules=unknown";
        try {
          rules = found_rules(*table, o, collation, false);
        } catch (const xbase::TableError&) {
          // Damage: check_index names it.
        }
        std::string reason = check_index(*table, o, info);
        info += " " + rules;
        std::string label = tname + " " + iname + ":" + display_tag(o, real);
        if (reason.empty()) {
          out << "OK " << label << " " << info << "\n";
        } else {
          out << "BAD " << label << " " << reason << " " << rules << "\n";
          bad = true;
        }
      }
    }
  }
  return bad ? 1 : 0;
}

}  // namespace dbftool
