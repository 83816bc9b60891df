// For the NTX tests: a table held in memory (schema, records, a scan in record order) and
// the full walks of an order in both directions.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/index/order.h"
#include "platform/text/codepage.h"
#include "tests/support/test_util.h"

namespace ntxtest {

using namespace xbase;

class MemTable : public RecordSource, public RecordScanner {
 public:
  explicit MemTable(std::vector<FieldInfo> fields) : fields_(std::move(fields)) {
    int off = 0;
    for (auto& f : fields_) {
      f.offset = off;
      off += f.length;
    }
  }
  // One record; character values are code-page bytes, padded here to the field width.
  void add(std::vector<Value> values) {
    for (size_t i = 0; i < values.size(); ++i)
      if (values[i].type() == Value::Type::kChar) {
        std::string s = values[i].str();
        s.resize(fields_[i].length, ' ');
        values[i] = Value::text(s);
      }
    records_.push_back(std::move(values));
  }
  void go(uint32_t recno) { current_ = recno; }
  uint32_t size() const { return static_cast<uint32_t>(records_.size()); }

  int field_count() const override { return static_cast<int>(fields_.size()); }
  const FieldInfo& field_info(int index) const override { return fields_[index]; }
  int field_index(std::string_view name) const override {
    for (size_t i = 0; i < fields_.size(); ++i) {
      const std::string& n = fields_[i].name;
      if (n.size() != name.size()) continue;
      bool same = true;
      for (size_t j = 0; j < n.size() && same; ++j)
        same = std::toupper(static_cast<unsigned char>(n[j])) ==
               std::toupper(static_cast<unsigned char>(name[j]));
      if (same) return static_cast<int>(i);
    }
    return -1;
  }
  Value raw_value(int index) const override { return records_.at(current_ - 1).at(index); }
  uint32_t recno() const override { return current_; }
  bool deleted() const override { return false; }
  const CodePage& codepage() const override { return CodePage::cp852(); }

  const RecordSource& schema() const override { return *this; }
  void scan(const std::function<void(const RecordSource&)>& visit) override {
    uint32_t saved = current_;
    for (uint32_t r = 1; r <= size(); ++r) {
      current_ = r;
      visit(*this);
    }
    current_ = saved;
  }

 private:
  std::vector<FieldInfo> fields_;
  std::vector<std::vector<Value>> records_;
  uint32_t current_ = 1;
};

inline FieldInfo field(const char* name, char type, int length, int decimals = 0) {
  FieldInfo f;
  f.name = name;
  f.type = type;
  f.length = length;
  f.decimals = decimals;
  return f;
}

inline std::vector<IndexKey> walk_forward(Order& o) {
  std::vector<IndexKey> out;
  IndexKey e;
  for (bool ok = o.first(&e); ok; ok = o.next(&e)) {
    if (out.size() > 4000000) throw std::runtime_error("the walk does not end");
    out.push_back(e);
  }
  return out;
}

// In logical order again (walked from the last entry, then reversed).
inline std::vector<IndexKey> walk_backward(Order& o) {
  std::vector<IndexKey> out;
  IndexKey e;
  for (bool ok = o.last(&e); ok; ok = o.prev(&e)) {
    if (out.size() > 4000000) throw std::runtime_error("the walk does not end");
    out.push_back(e);
  }
  return {out.rbegin(), out.rend()};
}

inline bool perl_reader_available() {
  int status = 0;
  testutil::run_command("perl -MXBase::Index -e 1 2>/dev/null", &status);
  return status == 0;
}

// Keys of an NTX as the Perl XBase reader (libdbd-xbase-perl) lists them: "key<TAB>recno".
inline std::string perl_keys(const std::string& path, char type) {
  std::string cmd =
      "perl -MXBase::Index -e '$i = XBase::Index->new($ARGV[0], type => $ARGV[1]) "
      "or die XBase::Index->errstr; $i->prepare_select; "
      "while (my @d = $i->fetch) { print \"$d[0]\\t$d[1]\\n\" }' '" +
      path + "' " + (type == 'N' ? "N" : "C") + " 2>&1";
  int status = 0;
  std::string out = testutil::run_command(cmd, &status);
  EXPECT_EQ(status, 0) << out;
  return out;
}

// Our keys in the same form: stored character keys, numbers as Perl prints them.
inline std::string perl_style_listing(Order& o) {
  std::string out;
  for (const auto& e : walk_forward(o)) {
    if (o.key_type() == 'N') {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.*f", o.key_decimals(), o.decode(e.key).num());
      std::string s = buf;
      if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
      }
      out += s;
    } else {
      out += e.key;
    }
    out += "\t" + std::to_string(e.recno) + "\n";
  }
  return out;
}

}  // namespace ntxtest
