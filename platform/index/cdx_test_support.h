// For the CDX tests: a table held in memory (fields, rows of values) that index builds scan
// and key expressions read, and helpers to list an order's entries.
#pragma once

#include <cctype>
#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/index/order.h"
#include "platform/table/record_source.h"
#include "platform/text/codepage.h"

namespace xbase {
// gtest shows entries as hex key and record number.
inline void PrintTo(const IndexKey& k, std::ostream* os) {
  static const char* digits = "0123456789ABCDEF";
  for (unsigned char c : k.key) *os << digits[c >> 4] << digits[c & 15];
  *os << "|" << k.recno;
}
}  // namespace xbase

namespace xbase::cdxtest {

class MemTable : public RecordSource, public RecordScanner {
 public:
  void add_field(const std::string& name, char type, int length, int decimals = 0) {
    FieldInfo f;
    f.name = name;
    f.type = type;
    f.length = length;
    f.decimals = decimals;
    f.offset = fields_.empty() ? 0 : fields_.back().offset + fields_.back().length;
    fields_.push_back(f);
  }
  // Text values are code-page bytes; they are padded or cut to the field width.
  uint32_t append(std::vector<Value> row) {
    rows_.push_back(std::move(row));
    for (size_t i = 0; i < fields_.size(); ++i) fit(rows_.back()[i], fields_[i]);
    return static_cast<uint32_t>(rows_.size());
  }
  void set(uint32_t recno, int field, Value v) {
    fit(v, fields_[static_cast<size_t>(field)]);
    rows_[recno - 1][static_cast<size_t>(field)] = std::move(v);
  }
  void go(uint32_t recno) { recno_ = recno; }
  uint32_t count() const { return static_cast<uint32_t>(rows_.size()); }

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
  Value raw_value(int i) const override {
    if (recno_ < 1 || recno_ > rows_.size()) return blank(fields_[static_cast<size_t>(i)]);
    return rows_[recno_ - 1][static_cast<size_t>(i)];
  }
  uint32_t recno() const override { return recno_; }
  bool deleted() const override { return false; }
  const CodePage& codepage() const override { return CodePage::cp852(); }

  const RecordSource& schema() const override { return *this; }
  void scan(const std::function<void(const RecordSource&)>& visit) override {
    uint32_t keep = recno_;
    for (uint32_t r = 1; r <= rows_.size(); ++r) {
      recno_ = r;
      visit(*this);
    }
    recno_ = keep;
  }

 private:
  static Value blank(const FieldInfo& f) {
    switch (f.type) {
      case 'N':
        return Value::number(0);
      case 'D':
        return Value::date(Date{});
      case 'L':
        return Value::logical(false);
      default:
        return Value::text(std::string(static_cast<size_t>(f.length), ' '));
    }
  }
  static void fit(Value& v, const FieldInfo& f) {
    if (v.type() == Value::Type::kChar) {
      std::string s = v.str();
      s.resize(static_cast<size_t>(f.length), ' ');
      v = Value::text(s);
    }
  }

  std::vector<FieldInfo> fields_;
  std::vector<std::vector<Value>> rows_;
  uint32_t recno_ = 0;
};

// Every entry of an order walking forward (first/next) or backward (last/prev). A walk that
// does not end (a loop the layer failed to refuse) fails the test instead of hanging it.
inline std::vector<IndexKey> walk(Order& o, bool forward = true) {
  std::vector<IndexKey> out;
  IndexKey k;
  bool ok = forward ? o.first(&k) : o.last(&k);
  while (ok) {
    if (out.size() > 4000000) throw std::runtime_error("the walk does not end");
    out.push_back(k);
    ok = forward ? o.next(&k) : o.prev(&k);
  }
  return out;
}

}  // namespace xbase::cdxtest
