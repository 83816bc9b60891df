#include "platform/index/order.h"

#include "platform/text/codepage.h"

namespace xbase {
namespace {

// The record as it is, but with the ASCII-only case mapping of its code page.
class AsciiCaseRecord : public RecordSource {
 public:
  explicit AsciiCaseRecord(const RecordSource& rec)
      : rec_(rec), cp_(CodePage::ascii_case(rec.codepage().number())) {}
  int field_count() const override { return rec_.field_count(); }
  const FieldInfo& field_info(int index) const override { return rec_.field_info(index); }
  int field_index(std::string_view name) const override { return rec_.field_index(name); }
  Value raw_value(int index) const override { return rec_.raw_value(index); }
  uint32_t recno() const override { return rec_.recno(); }
  bool deleted() const override { return rec_.deleted(); }
  const CodePage& codepage() const override { return cp_; }

 private:
  const RecordSource& rec_;
  const CodePage& cp_;
};

}  // namespace

std::optional<std::string> Order::key_of(const RecordSource& rec) const {
  std::optional<AsciiCaseRecord> ascii;
  if (case_mapping_ == CaseMapping::kAscii) ascii.emplace(rec);
  const RecordSource& r = ascii ? static_cast<const RecordSource&>(*ascii) : rec;
  if (for_expr_) {
    Value cond = for_expr_->evaluate(r);
    if (cond.type() == Value::Type::kLogical && !cond.log()) return std::nullopt;
  }
  return encode(key_expr_->evaluate(r));
}

}  // namespace xbase
