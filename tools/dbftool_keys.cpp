// dbftool keys and reindex, and the index helpers they share with check.
#include <cctype>
#include <cmath>
#include <cstdio>

#include "platform/file/file.h"
#include "platform/index/collation.h"
#include "platform/index/collation_detect.h"
#include "platform/table/settings.h"
#include "platform/text/codepage.h"
#include "tools/dbftool_commands.h"
#include "tools/dbftool_index.h"
#include "tools/dbftool_internal.h"

namespace dbftool {
namespace {

std::string upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string option(const std::vector<std::string>& args, const std::string& name) {
  for (size_t i = 0; i + 1 < args.size(); ++i)
    if (args[i] == name) return args[i + 1];
  return "";
}

}  // namespace

const std::vector<FolderTable>& accounting_tables() {
  static const std::vector<FolderTable> t = {
      {"ZAK.DBF", {"CIZA.NTX", "NZAK.NTX", "TCIZA.NTX", "INAZAK.NTX", "ISPZZ.NTX"}},
      {"DOOD.DBF", {"IICO.CDX", "NAZO.CDX", "IFIRM.CDX"}},
      {"ZAS.DBF",
       {"Mater.cdx", "Iczas.cdx", "Iskp.cdx", "Iean.cdx", "Ipdod.cdx", "Idrzas.cdx", "Smater.cdx"}},
      {"POZAD.DBF", {"IPOZZ.CDX", "IPOZF.CDX", "IPOZC.CDX", "IPOCF.CDX", "IPOZR.CDX"}},
      {"IDENT.DBF", {}},
      {"POSCI.DBF", {}},
  };
  return t;
}

std::string table_for_index(const std::string& index_path) {
  std::string name = upper(xbase::path_basename(index_path));
  for (const auto& t : accounting_tables())
    for (const char* i : t.indexes)
      if (upper(i) == name) return xbase::path_join(xbase::path_dirname(index_path), t.table);
  return "";
}

std::unique_ptr<xbase::IndexBag> open_index(const std::string& path, xbase::DbfTable& table,
                                            const xbase::Collation* collation, bool read_only) {
  xbase::IndexOptions o;
  o.share = table.exclusive() ? xbase::ShareMode::kExclusive : xbase::ShareMode::kShared;
  o.read_only = read_only;
  o.collation = collation;
  std::string ext =
      upper(path.substr(path.rfind('.') == std::string::npos ? path.size() : path.rfind('.')));
  if (ext == ".CDX") return xbase::open_cdx(path, table, o);
  if (ext == ".NTX") return xbase::open_ntx(path, table, o);
  throw UsageError("an index file ends in .ntx or .cdx: " + path);
}

std::string found_rules(xbase::DbfTable& table, xbase::Order& order,
                        const xbase::Collation* startup, bool with_collation) {
  xbase::KeyRules r = xbase::find_key_rules(order, startup, table.codepage(), table.record_count(),
                                            table.record_reader());
  if (r.fits) {
    order.set_case_mapping(r.case_mapping);
    if (with_collation) order.set_collation(r.collation);
  }
  return "rules=" + xbase::key_rules_text(r);
}

std::string key_text(const xbase::Order& order, const std::string& key, const xbase::CodePage& cp) {
  xbase::Value v = order.decode(key);
  switch (v.type()) {
    case xbase::Value::Type::kNumber: {
      char buf[64];
      double n = v.num();
      if (n == std::floor(n) && std::fabs(n) < 1e15)
        std::snprintf(buf, sizeof buf, "%.0f", n);
      else
        std::snprintf(buf, sizeof buf, "%.15g", n);
      return buf;
    }
    case xbase::Value::Type::kDate:
      return v.date_value().empty() ? "" : v.date_value().dtos();
    case xbase::Value::Type::kLogical:
      return v.log() ? "T" : "F";
    default:
      return escape(cp.to_utf8(v.str()));
  }
}

std::string display_tag(const xbase::Order& order, const std::string& index_path) {
  std::string stem = xbase::path_stem(index_path);
  return upper(stem) == upper(order.tag_name()) ? stem : order.tag_name();
}

const xbase::Collation* collation_option(const std::vector<std::string>& args) {
  std::string name = option(args, "--collation");
  if (name.empty()) return &xbase::binary_collation();
  const xbase::Collation* c = xbase::collation_by_name(name);
  if (!c)
    throw UsageError("unknown collation '" + name +
                     "' (binary, czech, czech-chars, windows, windows-chars)");
  return c;
}

int cmd_keys(const std::vector<std::string>& args, std::ostream& out) {
  if (args.size() < 2) throw UsageError("keys takes an index file");
  std::string index_path = xbase::file_system().resolve_case(args[1]);
  std::string table_path = option(args, "--table");
  if (table_path.empty()) table_path = table_for_index(index_path);
  if (table_path.empty()) throw UsageError("name the index's table with --table TABLE.DBF");
  auto table = open_for_reading(table_path);
  auto bag = open_index(index_path, *table, collation_option(args), true);
  std::string tag = option(args, "--tag");
  for (size_t i = 0; i < bag->order_count(); ++i) {
    xbase::Order& o = bag->order(i);
    if (!tag.empty() && upper(tag) != upper(o.tag_name())) continue;
    std::string rules =
        found_rules(*table, o, collation_option(args), option(args, "--collation").empty());
    std::vector<xbase::IndexKey> keys;
    o.verify([&](const xbase::IndexKey& k) { keys.push_back(k); });
    out << "## " << xbase::path_basename(table->path()) << " " << xbase::path_basename(index_path)
        << ":" << display_tag(o, index_path) << " expr=" << o.expression()
        << " keys=" << keys.size() << " type=" << o.key_type() << " keylen=" << o.key_length()
        << " " << rules << "\n";
    for (const auto& k : keys)
      out << key_text(o, k.key, table->codepage()) << "|" << k.recno << "\n";
  }
  return 0;
}

int cmd_reindex(const std::vector<std::string>& args, std::ostream& out) {
  if (args.size() < 3) throw UsageError("reindex takes a table and its index files");
  // Rebuilt in the rules asked for, or else in the ones its stored keys show: never in ours.
  const xbase::Collation* asked =
      option(args, "--collation").empty() ? nullptr : collation_option(args);
  std::string cases = option(args, "--case");
  if (!cases.empty() && cases != "codepage" && cases != "ascii")
    throw UsageError("--case takes codepage or ascii");
  xbase::TableOpenOptions o;
  o.share = xbase::ShareMode::kExclusive;
  o.codepage = xbase::table_settings().oem_codepage;
  recover_before_writing(xbase::path_dirname(args[1]), out);
  auto table = xbase::DbfTable::open(xbase::file_system().resolve_case(args[1]), o);
  // Keys that fit several orders keep the station's, as the import keeps them.
  const xbase::Collation* startup = asked ? asked : &xbase::locale_collation();
  for (size_t i = 2; i < args.size(); ++i) {
    if (args[i].rfind("--", 0) == 0) {
      ++i;
      continue;
    }
    table->add_bag(open_index(xbase::file_system().resolve_case(args[i]), *table, startup, false));
  }
  std::vector<std::string> rebuilt;
  for (xbase::IndexBag* bag : table->bags())
    for (size_t k = 0; k < bag->order_count(); ++k) {
      xbase::Order& order = bag->order(k);
      std::string name = xbase::path_basename(bag->path()) + ":" + display_tag(order, bag->path());
      bool unknown = order.damage() || !order.refusal().empty();
      if (unknown && (!asked || cases.empty()))
        throw UsageError(name + ": its keys show no rules to rebuild it in (" +
                         (order.damage() ? std::string(order.damage()->what()) : order.refusal()) +
                         "); name them with --collation NAME --case codepage|ascii");
      if (asked) order.set_collation(asked);
      if (!cases.empty())
        order.set_case_mapping(cases == "ascii" ? xbase::CaseMapping::kAscii
                                                : xbase::CaseMapping::kCodePage);
      order.set_refusal({});
      order.set_damage(std::nullopt);
      xbase::KeyRules r;
      r.collation = order.collation();
      r.case_mapping = order.case_mapping();
      rebuilt.push_back(name + " rules=" + xbase::key_rules_text(r));
    }
  table->reindex();
  table->close();
  out << "reindexed " << rebuilt.size() << " order(s) of " << args[1] << "\n";
  for (const auto& line : rebuilt) out << "  " << line << "\n";
  return 0;
}

}  // namespace dbftool
