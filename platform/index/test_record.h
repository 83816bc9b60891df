// For the key-expression tests: a record of a made-up table, its fields given as values.
#pragma once

#include <cctype>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/table/record_source.h"
#include "platform/text/codepage.h"
#include "tests/support/test_util.h"

namespace xbase::testing {

class FakeRecord : public RecordSource {
 public:
  void add(const std::string& name, char type, int len, int dec, Value v = Value()) {
    FieldInfo f;
    f.name = name;
    f.type = type;
    f.length = len;
    f.decimals = dec;
    fields_.push_back(f);
    values_.push_back(std::move(v));
  }
  void set(int index, Value v) { values_[static_cast<size_t>(index)] = std::move(v); }
  void set(std::string_view name, Value v) { set(field_index(name), std::move(v)); }

  int field_count() const override { return static_cast<int>(fields_.size()); }
  const FieldInfo& field_info(int i) const override { return fields_[static_cast<size_t>(i)]; }
  int field_index(std::string_view name) const override {
    for (size_t i = 0; i < fields_.size(); ++i) {
      const std::string& f = fields_[i].name;
      bool same = f.size() == name.size();
      for (size_t k = 0; same && k < f.size(); ++k)
        same = std::toupper(static_cast<unsigned char>(name[k])) == f[k];
      if (same) return static_cast<int>(i);
    }
    return -1;
  }
  Value raw_value(int i) const override { return values_[static_cast<size_t>(i)]; }
  uint32_t recno() const override { return recno_; }
  bool deleted() const override { return deleted_; }
  const CodePage& codepage() const override { return CodePage::cp852(); }

  uint32_t recno_ = 1;
  bool deleted_ = false;

 private:
  std::vector<FieldInfo> fields_;
  std::vector<Value> values_;
};

// The cells of a fixture _records.txt / _keys.txt line: split at each unescaped '|', then
// \\ \| \n \r \t \xHH unescaped (the text stays UTF-8).
inline std::vector<std::string> fixture_cells(const std::string& line) {
  std::vector<std::string> cells(1);
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '|') {
      cells.emplace_back();
    } else if (c == '\\' && i + 1 < line.size()) {
      char n = line[++i];
      if (n == 'x' && i + 2 < line.size()) {
        cells.back().push_back(static_cast<char>(std::stoi(line.substr(i + 1, 2), nullptr, 16)));
        i += 2;
      } else {
        cells.back().push_back(n == 'n' ? '\n' : n == 'r' ? '\r' : n == 't' ? '\t' : n);
      }
    } else {
      cells.back().push_back(c);
    }
  }
  return cells;
}

// One index of a fixture folder's _keys.txt, its keys in index order.
struct FixtureIndex {
  std::string table, file, expr;
  char type = 'C';
  int keylen = 0;
  std::vector<std::pair<std::string, uint32_t>> keys;  // UTF-8 key (trailing blanks cut), recno
};

// The value of " name=" in a "## " line; an expression runs up to " keys=".
inline std::string fixture_attr(const std::string& line, const std::string& name) {
  size_t at = line.find(" " + name + "=");
  if (at == std::string::npos) return std::string();
  at += name.size() + 2;
  size_t end = name == "expr" ? line.find(" keys=", at) : line.find(' ', at);
  return line.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

inline std::vector<FixtureIndex> read_fixture_indexes(const std::string& folder) {
  std::istringstream in(testutil::read_text(testutil::fixture(folder) + "/_keys.txt"));
  std::vector<FixtureIndex> out;
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("## ", 0) == 0) {
      FixtureIndex ix;
      ix.table = line.substr(3, line.find(' ', 3) - 3);
      size_t f = ix.table.size() + 4;
      ix.file = line.substr(f, line.find(':', f) - f);
      ix.expr = fixture_attr(line, "expr");
      ix.type = fixture_attr(line, "type")[0];
      ix.keylen = std::stoi(fixture_attr(line, "keylen"));
      out.push_back(ix);
    } else if (!out.empty() && !line.empty()) {
      std::vector<std::string> cells = fixture_cells(line);
      out.back().keys.emplace_back(cells[0], static_cast<uint32_t>(std::stoul(cells.back())));
    }
  }
  return out;
}

}  // namespace xbase::testing
