// Every index expression of the fixture folders, compiled against the tables' real field
// lists (from _records.txt) and evaluated on every record: the key type and length must be
// what the engine stored, and each record's key must be the key the engine put in the index.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/index/key_expr.h"
#include "platform/index/test_record.h"
#include "tests/support/test_util.h"

namespace xbase {
namespace {

using testing::FakeRecord;
using testing::fixture_cells;

struct Table {
  FakeRecord schema;
  std::vector<std::vector<std::string>> rows;  // cells: recno, flag, fields...
};

std::map<std::string, Table> read_tables(const std::string& folder) {
  std::istringstream in(testutil::read_text(testutil::fixture(folder) + "/_records.txt"));
  std::map<std::string, Table> out;
  Table* cur = nullptr;
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("## ", 0) == 0) {
      std::string name = line.substr(3, line.find(' ', 3) - 3);
      cur = &out[name];
      std::stringstream fields(testing::fixture_attr(line, "fields"));
      std::string f;
      while (std::getline(fields, f, ',')) {
        std::vector<std::string> p;
        std::stringstream parts(f);
        std::string x;
        while (std::getline(parts, x, ':')) p.push_back(x);
        cur->schema.add(p[0], p[1][0], std::stoi(p[2]), std::stoi(p[3]));
      }
    } else if (cur && !line.empty()) {
      cur->rows.push_back(fixture_cells(line));
    }
  }
  return out;
}

// Loads row into rec the way the table layer gives fields: text padded in CP852.
void load(FakeRecord& rec, const std::vector<std::string>& row) {
  rec.recno_ = static_cast<uint32_t>(std::stoul(row[0]));
  rec.deleted_ = row[1] == "*";
  for (int i = 0; i < rec.field_count(); ++i) {
    const FieldInfo& f = rec.field_info(i);
    const std::string& cell = row[static_cast<size_t>(i) + 2];
    switch (f.type) {
      case 'N':
      case 'F':
        rec.set(i, Value::number(cell.empty() ? 0 : std::stod(cell)));
        break;
      case 'D':
        rec.set(i, Value::date(Date::from_dtos(cell)));
        break;
      case 'L':
        rec.set(i, Value::logical(cell == "T"));
        break;
      case 'M':
        rec.set(i, Value::text(std::string(static_cast<size_t>(f.length), ' ')));
        break;
      default: {
        std::string bytes = CodePage::cp852().from_utf8(cell);
        bytes.resize(static_cast<size_t>(f.length), ' ');
        rec.set(i, Value::text(bytes));
      }
    }
  }
}

std::string stored_text(const Value& v, int keylen) {
  std::string s = v.str();
  s.resize(static_cast<size_t>(keylen), ' ');
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return CodePage::cp852().to_utf8(s);
}

void check_folder(const std::string& folder) {
  std::map<std::string, Table> tables = read_tables(folder);
  std::vector<testing::FixtureIndex> indexes = testing::read_fixture_indexes(folder);
  ASSERT_GE(indexes.size(), 20u) << folder;
  for (const testing::FixtureIndex& ix : indexes) {
    SCOPED_TRACE(folder + " " + ix.file + " " + ix.expr);
    ASSERT_TRUE(tables.count(ix.table));
    Table& t = tables[ix.table];
    auto e = KeyExpression::compile(ix.expr, t.schema);
    EXPECT_EQ(e->result_type(), ix.type);
    bool ntx = ix.file.size() > 4 && ix.file.substr(ix.file.size() - 4) == ".NTX";
    // CDX stores numbers and dates as 8-byte doubles: only text keys and NTX keys carry
    // the expression's width.
    if (ix.type == 'C' || ntx) {
      EXPECT_EQ(e->result_length(), ix.keylen);
    }
    ASSERT_EQ(ix.keys.size(), t.rows.size());
    std::map<uint32_t, std::string> by_recno;
    for (const auto& k : ix.keys) by_recno[k.second] = k.first;
    int wrong = 0;
    for (const auto& row : t.rows) {
      load(t.schema, row);
      Value v = e->evaluate(t.schema);
      auto it = by_recno.find(t.schema.recno());
      ASSERT_NE(it, by_recno.end()) << "record " << t.schema.recno();
      bool ok = false;
      std::string got;
      if (ix.type == 'C') {
        got = stored_text(v, ix.keylen);
        ok = got == it->second;
      } else if (ix.type == 'N') {
        got = std::to_string(v.num());
        ok = std::fabs(v.num() - std::stod(it->second)) < 1e-6;
      } else if (ix.type == 'D') {
        got = v.date_value().dtos();
        ok = got == it->second || (v.date_value().empty() && it->second.empty());
      }
      if (!ok && ++wrong <= 3)
        ADD_FAILURE() << "record " << t.schema.recno() << ": key \"" << got << "\", index has \""
                      << it->second << "\"";
    }
    EXPECT_EQ(wrong, 0);
  }
}

TEST(KeyExprFixture, MixedBinary) { check_folder("small-mixed-bin-s1"); }
TEST(KeyExprFixture, Incremental) { check_folder("small-incr-bin-s2"); }
TEST(KeyExprFixture, Czech852) { check_folder("small-mixed-cs852-s5"); }
TEST(KeyExprFixture, OtherLayouts) { check_folder("small-alt-bin-s12"); }

}  // namespace
}  // namespace xbase
