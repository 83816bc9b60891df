#include "platform/index/order.h"

namespace xbase {

std::optional<std::string> Order::key_of(const RecordSource& rec) const {
  if (for_expr_) {
    Value cond = for_expr_->evaluate(rec);
    if (cond.type() == Value::Type::kLogical && !cond.log()) return std::nullopt;
  }
  return encode(key_expr_->evaluate(rec));
}

}  // namespace xbase
