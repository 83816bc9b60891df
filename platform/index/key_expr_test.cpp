#include "platform/index/key_expr.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "platform/table/settings.h"
#include "platform/text/codepage.h"

namespace xbase {
namespace {

// A record of a made-up table, its fields given as values.
class FakeRecord : public RecordSource {
 public:
  void add(const std::string& name, char type, int len, int dec, Value v) {
    FieldInfo f;
    f.name = name;
    f.type = type;
    f.length = len;
    f.decimals = dec;
    fields_.push_back(f);
    values_.push_back(std::move(v));
  }
  void set(const std::string& name, Value v) { values_[field_index(name)] = std::move(v); }
  int field_count() const override { return static_cast<int>(fields_.size()); }
  const FieldInfo& field_info(int i) const override { return fields_[i]; }
  int field_index(std::string_view name) const override {
    for (size_t i = 0; i < fields_.size(); ++i) {
      const std::string& f = fields_[i].name;
      if (f.size() != name.size()) continue;
      bool same = true;
      for (size_t k = 0; k < f.size(); ++k)
        same = same && std::toupper(static_cast<unsigned char>(name[k])) == f[k];
      if (same) return static_cast<int>(i);
    }
    return -1;
  }
  Value raw_value(int i) const override { return values_[i]; }
  uint32_t recno() const override { return recno_; }
  bool deleted() const override { return deleted_; }
  const CodePage& codepage() const override { return CodePage::cp852(); }

  uint32_t recno_ = 7;
  bool deleted_ = false;

 private:
  std::vector<FieldInfo> fields_;
  std::vector<Value> values_;
};

std::string pad(std::string s, size_t n) {
  s.resize(n, ' ');
  return s;
}

// The order table of the fixtures: ZAK with its key fields.
FakeRecord zak() {
  FakeRecord r;
  r.add("CZAK", 'N', 10, 0, Value::number(2023000042));
  r.add("NAZD", 'C', 40, 0, Value::text(pad("Novak a syn", 40)));
  r.add("DATO", 'D', 8, 0, Value::date(Date::from_ymd(2023, 4, 5)));
  r.add("FIRM", 'N', 5, 0, Value::number(-12));
  r.add("KURZ", 'N', 11, 3, Value::number(25.4375));
  r.add("JEDOK", 'L', 1, 0, Value::logical(true));
  return r;
}

TEST(KeyExprSmoke, FixtureKeys) {
  FakeRecord r = zak();
  auto e = KeyExpression::compile("DTOS(DATO)+STR(CZAK,10)", r);
  EXPECT_EQ(e->evaluate(r).str(), "202304052023000042");
  EXPECT_EQ(e->result_type(), 'C');
  EXPECT_EQ(e->result_length(), 18);
  auto u = KeyExpression::compile("upper(nazd)", r);
  EXPECT_EQ(u->evaluate(r).str(), pad("NOVAK A SYN", 40));
  auto s = KeyExpression::compile("STR(FIRM,5)+STR(CZAK,10)", r);
  EXPECT_EQ(s->evaluate(r).str(), "  -122023000042");
}

}  // namespace
}  // namespace xbase
