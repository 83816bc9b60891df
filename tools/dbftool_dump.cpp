// dbftool dump and info.
#include <cstdio>

#include "platform/table/dbf_table.h"
#include "platform/table/settings.h"
#include "platform/text/codepage.h"
#include "tools/dbftool_commands.h"
#include "tools/dbftool_internal.h"

namespace dbftool {

std::string escape(const std::string& s) {
  std::string out;
  size_t end = s.find_last_not_of(' ');
  end = end == std::string::npos ? 0 : end + 1;
  for (size_t i = 0; i < end; ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '|':
        out += "\\|";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\x%02X", c);
          out += buf;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  return out;
}

int cmd_dump(const std::string& path, std::ostream& out) {
  auto t = open_for_reading(path);
  const auto& fields = t->header().fields;
  out << "## " << xbase::path_basename(t->path()) << " records=" << t->record_count() << " fields=";
  for (size_t i = 0; i < fields.size(); ++i) {
    const auto& f = fields[i];
    out << (i ? "," : "") << f.name << ":" << f.type << ":" << f.length << ":" << f.decimals;
  }
  out << "\n";
  uint32_t n = t->record_count();
  for (uint32_t r = 1; r <= n; ++r) {
    t->go_to(r);
    out << r << "|" << (t->deleted() ? "*" : " ");
    for (const auto& f : fields) out << "|" << escape(t->get_text(f.name));
    out << "\n";
  }
  return 0;
}

int cmd_info(const std::string& path, std::ostream& out) {
  auto t = open_for_reading(path);
  const auto& h = t->header();
  char buf[160];
  std::snprintf(buf, sizeof buf, "version: 0x%02X\n", h.version);
  out << "table: " << path << "\n" << buf;
  out << "last update: " << h.year << "-" << h.month << "-" << h.day << "\n";
  out << "records: " << t->record_count() << "\n";
  if (auto m = t->header_count_mismatch())
    out << "WARNING: the header says " << *m << " records, the file size says " << t->record_count()
        << "\n";
  out << "header length: " << h.header_length << "\n";
  out << "record length: " << h.record_length << "\n";
  std::snprintf(buf, sizeof buf, "table flags: 0x%02X\nlanguage driver: 0x%02X\n", h.table_flags,
                h.language_driver);
  out << buf;
  out << "code page (text read as): " << t->codepage().number() << "\n";
  out << "fields: " << h.fields.size() << "\n";
  for (const auto& f : h.fields)
    out << "  " << f.name << " " << f.type << " " << f.length << " " << f.decimals << " @"
        << f.offset << "\n";
  out << "header bytes:";
  for (size_t i = 0; i < 32 && i < h.raw.size(); ++i) {
    std::snprintf(buf, sizeof buf, " %02X", h.raw[i]);
    out << buf;
  }
  out << "\n";
  return 0;
}

}  // namespace dbftool
