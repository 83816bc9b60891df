// The table's side of keeping every index in its owner's key rules: the records the rules are
// judged on, read without disturbing the current record.
#include "platform/index/collation_detect.h"
#include "platform/table/dbf_table.h"
#include "platform/table/table_error.h"

namespace xbase {

RecordReader DbfTable::record_reader() {
  return [this](uint32_t recno, const std::function<void(const RecordSource&)>& visit) {
    if (recno == 0 || (recno > count_ && (exclusive() || recno > count_from_size()))) return false;
    std::vector<char> saved = rec_;
    uint32_t saved_recno = recno_;
    try {
      read_record(recno);
      visit(*this);
    } catch (...) {
      rec_ = std::move(saved);
      recno_ = saved_recno;
      throw;
    }
    rec_ = std::move(saved);
    recno_ = saved_recno;
    return true;
  };
}

void DbfTable::adopt_key_rules(IndexBag& bag) {
  RecordReader read = record_reader();
  for (size_t i = 0; i < bag.order_count(); ++i) {
    Order& o = bag.order(i);
    const Collation* startup = o.collation();
    try {
      apply_key_rules(o, find_key_rules(o, startup, *cp_, count_, read), startup);
    } catch (const TableError& e) {
      // Damage met on the way: the index keeps the rules it was opened with for reading, and
      // a write rethrows the damage rather than passing it for another language setting.
      o.set_damage(e);
    }
  }
}

void DbfTable::refuse_unfit_orders() const {
  for (const auto& bag : bags_)
    for (size_t i = 0; i < bag->order_count(); ++i) refuse_if_unfit(bag->order(i));
}

void DbfTable::check_key_inserts(const std::vector<std::optional<std::string>>& now) {
  RecordReader read = record_reader();
  // Held exclusively, a record changes only through this table, and a change of its key moves
  // its index entry: a neighbour's stored key, once verified, stays its evaluated key.
  if (exclusive()) verified_.resize(now.size());
  size_t k = 0;
  for (const auto& bag : bags_) {
    for (size_t i = 0; i < bag->order_count(); ++i, ++k) {
      bool inserts = now[k] && (appended_ || (k < old_keys_.size() && old_keys_[k] != now[k]));
      if (inserts)
        check_insert(bag->order(i), *now[k], *cp_, read, exclusive() ? &verified_[k] : nullptr);
    }
  }
}

}  // namespace xbase
