// DbfTable navigation: natural order or the controlling order, the deleted filter, seek,
// and the order list.
#include <algorithm>
#include <cctype>

#include "platform/table/dbf_table.h"
#include "platform/table/settings.h"
#include "platform/table/table_error.h"
#include "platform/text/codepage.h"

namespace xbase {

bool DbfTable::record_visible() const {
  return !(table_settings().deleted_hidden && rec_[0] == '*');
}

void DbfTable::go_phantom() {
  recno_ = count_ + 1;
  std::fill(rec_.begin(), rec_.end(), ' ');
  eof_ = true;
  order_synced_ = false;
}

void DbfTable::go_to(uint32_t recno) {
  if (!file_) throw TableError(kErrNoTable, 0, path_, "goto: the table is closed");
  flush_record();
  found_ = false;
  bof_ = false;
  order_synced_ = false;
  if (recno == 0 || recno > record_count()) {
    go_phantom();
    return;
  }
  eof_ = false;
  read_record(recno);
}

// Moves off hidden (deleted) records in the given direction.
void DbfTable::settle(int direction) {
  while (!eof_ && !record_visible()) {
    step(direction);
    if (direction < 0 && bof_) break;
  }
}

// The first or last record of the view before the deleted filter; false, at the phantom
// record with bof raised, when the controlling order is empty.
bool DbfTable::to_end(bool top, const char* what) {
  if (!file_) throw TableError(kErrNoTable, 0, path_, std::string(what) + ": the table is closed");
  flush_record();
  found_ = false;
  bof_ = false;
  if (Order* o = controlling_order()) {
    IndexKey e;
    if (!(top ? o->first(&e) : o->last(&e))) {
      go_phantom();
      bof_ = true;
      return false;
    }
    go_to(e.recno);
    order_synced_ = true;
  } else {
    go_to(top ? 1 : record_count());
  }
  return true;
}

void DbfTable::step(int direction) {
  if (controlling_order())
    skip_ordered(direction);
  else
    skip_natural(direction);
}

void DbfTable::go_top() {
  if (!to_end(true, "go top")) return;
  settle(1);
  if (eof_) bof_ = true;
}

void DbfTable::go_bottom() {
  if (!to_end(false, "go bottom")) return;
  // Backwards over hidden records; none visible at all means an empty view.
  while (!eof_ && !record_visible()) {
    step(-1);
    if (bof_) {
      go_phantom();
      bof_ = true;
      return;
    }
  }
}

void DbfTable::skip_natural(long n) {
  uint32_t total = record_count();
  if (n > 0) {
    if (eof_) return;
    if (recno_ + static_cast<uint64_t>(n) > total) {
      go_phantom();
      return;
    }
    read_record(recno_ + static_cast<uint32_t>(n));
  } else if (n < 0) {
    uint32_t from = eof_ ? total + 1 : recno_;
    if (static_cast<uint64_t>(-n) >= from) {
      // Before the first record: stay on the first one, begin-of-file raised.
      if (total == 0) {
        go_phantom();
      } else {
        eof_ = false;
        read_record(1);
      }
      bof_ = true;
      return;
    }
    eof_ = false;
    read_record(from - static_cast<uint32_t>(-n));
  }
}

// Puts the controlling order's cursor on the current record; false when it is not there.
bool DbfTable::sync_order() {
  Order* o = controlling_order();
  if (order_synced_) return true;
  auto key = o->key_of(*this);
  if (!key || !o->find({*key, recno_})) return false;
  order_synced_ = true;
  return true;
}

void DbfTable::skip_ordered(long n) {
  Order* o = controlling_order();
  IndexKey e;
  if (eof_) {
    if (n >= 0) return;
    if (!o->last(&e)) {
      bof_ = true;
      return;
    }
    eof_ = false;
    read_record(e.recno);
    order_synced_ = true;
    ++n;
  } else if (!sync_order()) {
    throw TableError(kErrCorruption, 0, o->bag_path(),
                     "record " + std::to_string(recno_) + " has no key in order " + o->tag_name());
  }
  for (; n > 0; --n) {
    if (!o->next(&e)) {
      go_phantom();
      return;
    }
    read_record(e.recno);
  }
  for (; n < 0; ++n) {
    if (!o->prev(&e)) {
      // Stay on the first entry.
      if (o->first(&e)) read_record(e.recno);
      bof_ = true;
      return;
    }
    read_record(e.recno);
  }
  order_synced_ = true;
}

void DbfTable::skip(long n) {
  if (!file_) throw TableError(kErrNoTable, 0, path_, "skip: the table is closed");
  flush_record();
  found_ = false;
  bof_ = false;
  if (n == 0) {
    if (!eof_) read_record(recno_);
    return;
  }
  int dir = n > 0 ? 1 : -1;
  for (long done = 0; done < (n > 0 ? n : -n); ++done) {
    step(dir);
    if (eof_ || bof_) break;
    if (!record_visible()) {
      settle(dir);
      if (eof_ || bof_) break;
    }
  }
  if (bof_ && !eof_ && !record_visible()) {
    // Ran into the beginning among hidden records: the first visible one, bof kept.
    go_top();
    bof_ = true;
  }
}

bool DbfTable::seek(const Value& key, bool soft) {
  if (!file_) throw TableError(kErrNoTable, 0, path_, "seek: the table is closed");
  Order* o = controlling_order();
  if (!o) throw TableError(kErrNoTable, 0, path_, "seek without a controlling order");
  flush_record();
  bof_ = false;
  std::string prefix;
  bool impossible = false;
  if (o->key_type() == 'C') {
    if (key.type() != Value::Type::kChar)
      throw TableError(kErrDataType, 0, o->bag_path(),
                       "seek: order " + o->tag_name() + " has character keys");
    prefix = cp_->from_utf8(key.str());
    size_t len = static_cast<size_t>(o->key_length());
    if (prefix.size() > len) {
      // A longer key matches only when what lies beyond the key length is blank.
      impossible = prefix.find_first_not_of(' ', len) != std::string::npos;
      prefix.resize(len);
    }
  } else {
    prefix = o->encode(key);
  }
  IndexKey e;
  if (impossible || !o->seek(prefix, &e)) {
    found_ = false;
    go_phantom();
    return false;
  }
  auto matches = [&](const IndexKey& k) {
    return o->compare_keys(std::string_view(k.key).substr(0, prefix.size()), prefix) == 0;
  };
  read_record(e.recno);
  eof_ = false;
  order_synced_ = true;
  while (!record_visible()) {
    if (!o->next(&e)) {
      found_ = false;
      go_phantom();
      return false;
    }
    read_record(e.recno);
  }
  found_ = matches(e);
  if (!found_ && !soft) go_phantom();
  return found_;
}

void DbfTable::add_bag(std::unique_ptr<IndexBag> bag) {
  flush_record();
  adopt_key_rules(*bag);
  bags_.push_back(std::move(bag));
  verified_.clear();
  if (controlling_ == 0 && order_count() > 0) controlling_ = 1;
  order_synced_ = false;
}

void DbfTable::clear_bags() {
  commit();
  for (auto& b : bags_) b->close();
  bags_.clear();
  verified_.clear();
  controlling_ = 0;
  order_synced_ = false;
}

size_t DbfTable::order_count() const {
  size_t n = 0;
  for (const auto& b : bags_) n += b->order_count();
  return n;
}

Order* DbfTable::order(size_t number) {
  if (number == 0) return nullptr;
  for (auto& b : bags_) {
    if (number <= b->order_count()) return &b->order(number - 1);
    number -= b->order_count();
  }
  return nullptr;
}

Order* DbfTable::controlling_order() { return order(controlling_); }

bool DbfTable::set_order(size_t number) {
  if (number > order_count()) return false;
  flush_record();
  controlling_ = number;
  order_synced_ = false;
  return true;
}

bool DbfTable::set_order(std::string_view tag) {
  for (size_t i = 1; i <= order_count(); ++i) {
    const std::string& name = order(i)->tag_name();
    if (name.size() == tag.size() &&
        std::equal(name.begin(), name.end(), tag.begin(), [](char a, char b) {
          return std::toupper(static_cast<unsigned char>(a)) ==
                 std::toupper(static_cast<unsigned char>(b));
        }))
      return set_order(i);
  }
  return false;
}

void DbfTable::reindex() {
  check_writable("reindex");
  flush_record();
  flush_pending();
  rebuild_bags(bags(), *this);
  order_synced_ = false;
  go_top();
}

std::vector<IndexBag*> DbfTable::bags() {
  std::vector<IndexBag*> out;
  for (auto& b : bags_) out.push_back(b.get());
  return out;
}

}  // namespace xbase
