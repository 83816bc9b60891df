// A CDX tag as an Order: key forms (character keys blank padded, numbers and Julian dates as
// big-endian doubles made sortable as unsigned bytes, logicals T/F), cursor movement over
// the leaf chain and seeks down the tree.
#include "platform/index/cdx_tag.h"

#include <algorithm>
#include <cmath>

#include "platform/table/table_error.h"
#include "platform/text/codepage.h"

namespace xbase::cdx {
namespace {

constexpr int kMaxDepth = 32;

std::string sortable_double(double d) {
  if (d == 0) d = 0.0;  // -0 sorts as +0
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  bits = (bits >> 63) ? ~bits : bits | (1ull << 63);
  std::string out(8, '\0');
  for (int i = 0; i < 8; ++i) out[i] = static_cast<char>(bits >> (56 - 8 * i));
  return out;
}

double double_of_sortable(std::string_view key) {
  uint64_t bits = 0;
  for (size_t i = 0; i < 8 && i < key.size(); ++i)
    bits |= static_cast<uint64_t>(static_cast<uint8_t>(key[i])) << (56 - 8 * i);
  bits = (bits >> 63) ? bits & ~(1ull << 63) : ~bits;
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

int bytes_compare(std::string_view a, std::string_view b) {
  int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
  if (c != 0) return c < 0 ? -1 : 1;
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

}  // namespace

Tag::Tag(Store& store, uint32_t header_offset, TagInfo info, const RecordSource& schema,
         const Collation* collation)
    : store_(store),
      header_offset_(header_offset),
      info_(std::move(info)),
      cp_(&schema.codepage()) {
  auto compile = [&](const std::string& text, const char* what) {
    try {
      return KeyExpression::compile(text, schema);
    } catch (const ExpressionError& e) {
      throw TableError(
          kErrOpen, 0, store_.path(),
          "CDX tag " + info_.name + ": cannot evaluate " + what + " '" + text + "': " + e.what());
    }
  };
  key_expr_ = compile(info_.expression, "key expression");
  if (!info_.for_expression.empty()) {
    for_expr_ = compile(info_.for_expression, "FOR expression");
    if (for_expr_->result_type() != 'L')
      throw TableError(kErrOpen, 0, store_.path(),
                       "CDX tag " + info_.name + ": FOR expression '" + info_.for_expression +
                           "' is not a logical");
  }
  type_ = key_expr_->result_type();
  int want = 0;
  switch (type_) {
    case 'C':
      if (key_expr_->result_length() > kMaxKeyLength)
        throw TableError(kErrOpen, 0, store_.path(),
                         "CDX tag " + info_.name + ": key expression '" + info_.expression +
                             "' gives keys of " + std::to_string(key_expr_->result_length()) +
                             " bytes; a CDX key holds at most 240");
      collation_ = collation;
      break;
    case 'N':
    case 'D':
      want = 8;
      break;
    case 'L':
      want = 1;
      break;
    default:
      throw TableError(kErrOpen, 0, store_.path(),
                       "CDX tag " + info_.name + ": key expression '" + info_.expression +
                           "' gives no indexable type");
  }
  if (want != 0 && info_.key_length != want)
    throw TableError(kErrCorruption, 0, store_.path(),
                     "CDX tag " + info_.name + ": key length " + std::to_string(info_.key_length) +
                         " does not fit the " + std::string(1, type_) + " key of '" +
                         info_.expression + "'");
  shape_.length = info_.key_length;
  shape_.pad = type_ == 'C' ? ' ' : '\0';
  header_seen_ = store_.reloads();
}

void Tag::relocate(uint32_t header_offset, uint32_t root) {
  header_offset_ = header_offset;
  info_.root = root;
  has_cur_ = false;
  header_seen_ = store_.reloads();
}

uint32_t Tag::root() {
  if (header_seen_ == store_.reloads()) return info_.root;
  // Trees keep their root page, but a station that rebuilt the file may have moved it.
  uint8_t hdr[16];
  store_.read_exact(header_offset_, hdr, sizeof hdr);
  if (get_le16(hdr + kHdrKeyLen) != info_.key_length || hdr[kHdrOptions] != info_.options)
    throw TableError(kErrCorruption, 0, store_.path(),
                     "CDX tag " + info_.name + " was replaced by another station; open it again");
  uint32_t root = get_le32(hdr + kHdrRoot);
  store_.check_page(root, ("root of tag " + info_.name).c_str());
  info_.root = root;
  header_seen_ = store_.reloads();
  return root;
}

std::string Tag::encode(const Value& v) const {
  auto mismatch = [&]() -> std::string {
    throw TableError(kErrDataType, 0, store_.path(),
                     "CDX tag " + info_.name + ": value of another type than its " +
                         std::string(1, type_) + " key");
  };
  switch (type_) {
    case 'C': {
      if (v.type() != Value::Type::kChar) return mismatch();
      std::string s = info_.ignore_case ? cp_->upper(v.str()) : v.str();
      s.resize(static_cast<size_t>(info_.key_length), ' ');
      return s;
    }
    case 'N':
      if (v.type() != Value::Type::kNumber) return mismatch();
      return sortable_double(v.num());
    case 'D':
      if (v.type() != Value::Type::kDate) return mismatch();
      return sortable_double(static_cast<double>(v.date_value().jdn));
    default:
      if (v.type() != Value::Type::kLogical) return mismatch();
      return v.log() ? "T" : "F";
  }
}

Value Tag::decode(std::string_view key) const {
  switch (type_) {
    case 'C':
      return Value::text(std::string(key));
    case 'N':
      return Value::number(double_of_sortable(key));
    case 'D': {
      // A day number no table date has (damage) decodes as the empty date.
      double jdn = double_of_sortable(key);
      Date d;
      if (jdn >= Date::kFirstJdn && jdn <= Date::kLastJdn)
        d.jdn = static_cast<int32_t>(std::llround(jdn));
      return Value::date(d);
    }
    default:
      return Value::logical(!key.empty() && key[0] == 'T');
  }
}

int Tag::compare_keys(std::string_view a, std::string_view b) const {
  size_t n = std::min(a.size(), b.size());
  a = a.substr(0, n);
  b = b.substr(0, n);
  if (collation_) {
    int c = collation_->compare(a, b, *cp_);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  return bytes_compare(a, b);
}

int Tag::compare(std::string_view key, uint32_t recno, const Entry& e) const {
  int c = compare_keys(key, e.key);
  if (c != 0) return c;
  return recno < e.recno ? -1 : (recno > e.recno ? 1 : 0);
}

int Tag::compare_prefix(std::string_view key, std::string_view prefix) const {
  if (prefix.size() <= key.size()) return compare_keys(key.substr(0, prefix.size()), prefix);
  // A longer seek key meets the key as if the key went on with pad bytes.
  std::string longer(key);
  longer.resize(prefix.size(), shape_.pad);
  return compare_keys(longer, prefix);
}

Tag::Path Tag::descend(const Pred& at_or_after) {
  Path path;
  path.reserve(8);  // one allocation for any tree this layer meets
  uint32_t page = root();
  for (int depth = 0;; ++depth) {
    if (depth > kMaxDepth ||
        std::any_of(path.begin(), path.end(), [&](const Step& s) { return s.page == page; }))
      fail_page(store_.path(), page, "tree of tag " + info_.name + " loops back on itself");
    Node& n = node(page);
    auto it = std::partition_point(n.entries.begin(), n.entries.end(),
                                   [&](const Entry& e) { return !at_or_after(e); });
    size_t idx = static_cast<size_t>(it - n.entries.begin());
    if (n.leaf) {
      path.push_back({page, idx});
      return path;
    }
    if (n.entries.empty()) fail_page(store_.path(), page, "interior node without entries");
    if (idx == n.entries.size()) --idx;
    path.push_back({page, idx});
    page = n.entries[idx].child;
  }
}

Node& Tag::sibling(const Node& from, bool right) {
  uint32_t page = right ? from.right : from.left;
  uint32_t self = from.offset;
  bool leaf = from.leaf;
  Node& s = node(page);
  if (s.leaf != leaf) fail_page(store_.path(), page, "sibling is on another tree level");
  if ((right ? s.left : s.right) != self)
    fail_page(store_.path(), page, "sibling links disagree with " + page_name(self));
  return s;
}

bool Tag::settle_forward(Step& pos, const Entry* before) {
  const uint32_t start = pos.page;
  uint64_t hops = 0;
  while (true) {
    Node& n = node(pos.page);
    if (pos.index < n.entries.size()) {
      if (before && !less(*before, n.entries[pos.index]))
        fail_order(store_.path(), pos.page,
                   pos.page == start ? "keys out of order in the leaf"
                                     : "keys out of order across leaves");
      return true;
    }
    if (n.right == kNoPage) return false;
    if (!n.entries.empty()) before = &n.entries.back();
    if (++hops > store_.end() / kPageSize)
      fail_page(store_.path(), pos.page, "leaf chain loops back on itself");
    Node& r = sibling(n, true);
    pos = {r.offset, 0};
  }
}

bool Tag::step_forward(Step& pos) {
  const Node& n = node(pos.page);
  const Entry* before = pos.index < n.entries.size() ? &n.entries[pos.index] : nullptr;
  ++pos.index;
  return settle_forward(pos, before);
}

bool Tag::step_back(Step& pos) {
  const Node& from = node(pos.page);
  const Entry* after = pos.index < from.entries.size() ? &from.entries[pos.index] : nullptr;
  uint64_t hops = 0;
  while (true) {
    if (pos.index > 0) {
      --pos.index;
      if (after && !less(node(pos.page).entries[pos.index], *after))
        fail_order(store_.path(), pos.page, "keys out of order going back");
      return true;
    }
    Node& n = node(pos.page);
    if (n.left == kNoPage) return false;
    if (++hops > store_.end() / kPageSize)
      fail_page(store_.path(), pos.page, "leaf chain loops back on itself");
    Node& l = sibling(n, false);
    pos = {l.offset, l.entries.size()};
  }
}

bool Tag::phys_first(Step& pos) {
  pos = descend([](const Entry&) { return true; }).back();
  return settle_forward(pos);
}

bool Tag::phys_last(Step& pos) {
  pos = descend([](const Entry&) { return false; }).back();
  return step_back(pos);
}

void Tag::set_cursor(const Step& pos, IndexKey* out) {
  const Entry& e = node(pos.page).entries[pos.index];
  cur_.key = e.key;
  cur_.recno = e.recno;
  has_cur_ = true;
  cur_pos_ = pos;
  cur_gen_ = store_.generation();
  if (out) *out = cur_;
}

bool Tag::cursor_pos(Step& pos, bool& exact) {
  if (!has_cur_) return false;
  if (cur_gen_ == store_.generation()) {
    pos = cur_pos_;
    exact = true;
    return true;
  }
  // The tree changed since: find the entry again, or the place it had.
  pos = descend([&](const Entry& e) { return compare(cur_.key, cur_.recno, e) <= 0; }).back();
  const Node& n = node(pos.page);
  exact = pos.index < n.entries.size() && n.entries[pos.index].recno == cur_.recno &&
          n.entries[pos.index].key == cur_.key;
  return true;
}

bool Tag::move(bool forward, IndexKey* out) {
  Step pos;
  bool exact = false;
  if (!cursor_pos(pos, exact)) return false;
  bool ok = forward ? (exact ? step_forward(pos) : settle_forward(pos)) : step_back(pos);
  if (!ok) return false;
  set_cursor(pos, out);
  return true;
}

bool Tag::first(IndexKey* out) {
  ReadScope lock(store_);
  Step pos;
  if (!(info_.descending ? phys_last(pos) : phys_first(pos))) return false;
  set_cursor(pos, out);
  return true;
}

bool Tag::last(IndexKey* out) {
  ReadScope lock(store_);
  Step pos;
  if (!(info_.descending ? phys_first(pos) : phys_last(pos))) return false;
  set_cursor(pos, out);
  return true;
}

bool Tag::next(IndexKey* out) {
  ReadScope lock(store_);
  return move(!info_.descending, out);
}

bool Tag::prev(IndexKey* out) {
  ReadScope lock(store_);
  return move(info_.descending, out);
}

bool Tag::seek(std::string_view prefix, IndexKey* out) {
  ReadScope lock(store_);
  Step pos;
  if (!info_.descending) {
    pos = descend([&](const Entry& e) { return compare_prefix(e.key, prefix) >= 0; }).back();
    if (!settle_forward(pos)) return false;
  } else {
    // Logically first of a descending tag: the last stored entry not after the prefix.
    pos = descend([&](const Entry& e) { return compare_prefix(e.key, prefix) > 0; }).back();
    if (!step_back(pos)) return false;
  }
  set_cursor(pos, out);
  return true;
}

bool Tag::find(const IndexKey& entry) {
  ReadScope lock(store_);
  Step pos =
      descend([&](const Entry& e) { return compare(entry.key, entry.recno, e) <= 0; }).back();
  if (!settle_forward(pos)) return false;
  const Entry& e = node(pos.page).entries[pos.index];
  if (e.recno != entry.recno || e.key != entry.key) return false;
  set_cursor(pos, nullptr);
  return true;
}

uint64_t Tag::key_count() {
  ReadScope lock(store_);
  Step pos = descend([](const Entry&) { return true; }).back();
  uint64_t count = 0, hops = 0;
  for (Node* n = &node(pos.page);; n = &sibling(*n, true)) {
    count += n->entries.size();
    if (n->right == kNoPage) return count;
    if (++hops > store_.end() / kPageSize)
      fail_page(store_.path(), n->offset, "leaf chain loops back on itself");
  }
}

int Tag::levels() {
  ReadScope lock(store_);
  uint32_t page = root();
  for (int depth = 1; depth <= kMaxDepth + 1; ++depth) {
    Node& n = node(page);
    if (n.leaf) return depth;
    if (n.entries.empty()) fail_page(store_.path(), page, "interior node without entries");
    page = n.entries.front().child;
  }
  fail_page(store_.path(), page, "tree of tag " + info_.name + " loops back on itself");
}

void Tag::insert(const IndexKey& entry) {
  if (entry.key.size() != static_cast<size_t>(info_.key_length))
    throw TableError(kErrDataWidth, 0, store_.path(),
                     "CDX tag " + info_.name + ": key of " + std::to_string(entry.key.size()) +
                         " bytes for a key length of " + std::to_string(info_.key_length));
  WriteScope lock(store_);
  insert_locked(Entry{KeyBytes(entry.key), entry.recno, 0});
  lock.commit();
}

bool Tag::remove(const IndexKey& entry) {
  if (entry.key.size() != static_cast<size_t>(info_.key_length)) return false;
  WriteScope lock(store_);
  bool removed = remove_locked(Entry{KeyBytes(entry.key), entry.recno, 0});
  lock.commit();
  return removed;
}

void Tag::verify(const std::function<void(const IndexKey&)>& visit) {
  ReadScope lock(store_);
  verify_locked(visit);
}

}  // namespace xbase::cdx
