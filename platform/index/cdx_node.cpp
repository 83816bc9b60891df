// CDX tree pages <-> decoded nodes. Interior: 12-byte header, then key[L] + u32 BE record
// number + u32 BE child per entry. Leaf: 24-byte header (free bytes, masks, bit widths, entry
// size R), R-byte LE entries (record number low, dup count, trail count on top) from byte 24
// and the compressed key bytes growing backward from byte 511.
#include "platform/index/cdx_node.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

#include "platform/table/table_error.h"

namespace xbase::cdx {

std::string page_name(uint32_t page) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "page 0x%X", static_cast<unsigned>(page));
  return buf;
}

void fail_page(const std::string& file, uint32_t page, const std::string& what) {
  std::string msg = page == kNoPage ? what : page_name(page) + ": " + what;
  throw TableError(kErrCorruption, 0, file, "CDX " + msg);
}

void fail_order(const std::string& file, uint32_t page, const std::string& what) {
  throw KeyOrderError(kErrCorruption, 0, file, "CDX " + page_name(page) + ": " + what);
}

LeafBits leaf_bits(int key_length, uint32_t max_recno, int min_rec_bytes) {
  LeafBits b;
  int width = std::bit_width(static_cast<unsigned>(key_length));
  b.dup_bits = b.trail_bits = width;
  b.rec_bytes = width <= 8 ? 3 : (width <= 12 ? 4 : 5);
  b.rec_bytes = std::max(b.rec_bytes, min_rec_bytes);
  // Record numbers that outgrow the field widen the entry a byte at a time; they never
  // take more than 32 bits, the counts stay at the top of the entry.
  while (8 * b.rec_bytes - 2 * width < 32 &&
         max_recno > (1ull << (8 * b.rec_bytes - 2 * width)) - 1)
    ++b.rec_bytes;
  b.rec_bits = std::min(32, 8 * b.rec_bytes - 2 * width);
  return b;
}

// Both counts run for every key of every leaf encoded, measured or split: eight bytes a step
// where the machine is little-endian (a key's later bytes are a word's higher ones).
namespace {

constexpr bool kWordSteps = std::endian::native == std::endian::little;

uint64_t word_at(const char* p) {
  uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

}  // namespace

int trailing_count(std::string_view key, char pad) {
  const size_t n = key.size();
  size_t t = 0;
  if constexpr (kWordSteps) {
    const uint64_t pads = 0x0101010101010101ull * static_cast<uint8_t>(pad);
    for (; t + 8 <= n; t += 8) {
      uint64_t differ = word_at(key.data() + n - t - 8) ^ pads;
      if (differ != 0) return static_cast<int>(t) + std::countl_zero(differ) / 8;
    }
  }
  while (t < n && key[n - 1 - t] == pad) ++t;
  return static_cast<int>(t);
}

int dup_count(std::string_view prev, std::string_view key, int trail_prev, int trail_key,
              bool cap_both_trails) {
  int limit = static_cast<int>(key.size()) -
              (cap_both_trails ? std::max(trail_prev, trail_key) : trail_key);
  int d = 0;
  if constexpr (kWordSteps) {
    for (; d + 8 <= limit; d += 8) {
      uint64_t differ = word_at(prev.data() + d) ^ word_at(key.data() + d);
      if (differ != 0) return d + std::countr_zero(differ) / 8;
    }
  }
  while (d < limit && prev[d] == key[d]) ++d;
  return d;
}

size_t leaf_bytes(const std::vector<Entry>& entries, size_t begin, size_t end,
                  const KeyShape& shape, int min_rec_bytes, bool cap_both_trails) {
  if (begin >= end) return 0;
  uint32_t max_recno = 0;
  size_t keys = 0;
  int prev_trail = 0;
  for (size_t i = begin; i < end; ++i) {
    std::string_view k = entries[i].key;
    max_recno = std::max(max_recno, entries[i].recno);
    int trail = trailing_count(k, shape.pad);
    int dup = i == begin ? 0 : dup_count(entries[i - 1].key, k, prev_trail, trail, cap_both_trails);
    keys += static_cast<size_t>(shape.length - dup - trail);
    prev_trail = trail;
  }
  LeafBits b = leaf_bits(shape.length, max_recno, min_rec_bytes);
  return keys + (end - begin) * static_cast<size_t>(b.rec_bytes);
}

int stored_key_bytes(const KeyBytes* prev, std::string_view key, const KeyShape& shape) {
  int trail = trailing_count(key, shape.pad);
  int dup = prev ? dup_count(*prev, key, 0, trail) : 0;
  return shape.length - dup - trail;
}

void count_leaf(Node& leaf, const KeyShape& shape) {
  int bytes = 0;
  uint32_t max_recno = 0;
  const KeyBytes* prev = nullptr;
  for (const Entry& e : leaf.entries) {
    bytes += stored_key_bytes(prev, e.key, shape);
    max_recno = std::max(max_recno, e.recno);
    prev = &e.key;
  }
  leaf.key_bytes = bytes;
  leaf.max_recno = max_recno;
}

bool node_fits(const Node& node, const KeyShape& shape) {
  if (node.leaf && node.key_bytes >= 0) {
    LeafBits b = leaf_bits(shape.length, node.max_recno, node.min_rec_bytes);
    return static_cast<size_t>(node.key_bytes) +
               node.entries.size() * static_cast<size_t>(b.rec_bytes) <=
           static_cast<size_t>(kLeafSpace);
  }
  if (node.leaf) return leaf_fits(node.entries, 0, node.entries.size(), shape, node.min_rec_bytes);
  return node.entries.size() <= interior_capacity(shape.length);
}

namespace {

uint16_t attributes(const Node& n) {
  return static_cast<uint16_t>((n.root ? kAttrRoot : 0) | (n.leaf ? kAttrLeaf : 0));
}

// False as soon as the keys and entries meet: the leaf does not fit.
bool encode_leaf(const Node& n, const KeyShape& shape, uint8_t* page) {
  const int len = shape.length;
  uint32_t max_recno = 0;
  for (const Entry& e : n.entries) max_recno = std::max(max_recno, e.recno);
  LeafBits b = leaf_bits(len, max_recno, n.min_rec_bytes);
  int area_end = kPageSize;
  int entry_pos = kLeafHeaderSize;
  int prev_trail = 0;
  for (size_t i = 0; i < n.entries.size(); ++i) {
    std::string_view k = n.entries[i].key;
    int trail = trailing_count(k, shape.pad);
    int dup = i == 0 ? 0 : dup_count(n.entries[i - 1].key, k, prev_trail, trail);
    int stored = len - dup - trail;
    if (area_end - stored < entry_pos + b.rec_bytes) return false;
    area_end -= stored;
    std::memcpy(page + area_end, k.data() + dup, static_cast<size_t>(stored));
    const int count_shift = 8 * b.rec_bytes - b.trail_bits - b.dup_bits;
    uint64_t v = n.entries[i].recno | (static_cast<uint64_t>(dup) << count_shift) |
                 (static_cast<uint64_t>(trail) << (count_shift + b.dup_bits));
    for (int j = 0; j < b.rec_bytes; ++j) page[entry_pos + j] = static_cast<uint8_t>(v >> (8 * j));
    entry_pos += b.rec_bytes;
    prev_trail = trail;
  }
  put_le16(page + 12, static_cast<uint16_t>(area_end - entry_pos));
  put_le32(page + 14, b.rec_bits >= 32 ? 0xFFFFFFFFu : (1u << b.rec_bits) - 1);
  page[18] = static_cast<uint8_t>((1u << b.dup_bits) - 1);
  page[19] = static_cast<uint8_t>((1u << b.trail_bits) - 1);
  page[20] = static_cast<uint8_t>(b.rec_bits);
  page[21] = static_cast<uint8_t>(b.dup_bits);
  page[22] = static_cast<uint8_t>(b.trail_bits);
  page[23] = static_cast<uint8_t>(b.rec_bytes);
  return true;
}

void decode_leaf(const uint8_t* page, uint32_t offset, const KeyShape& shape,
                 const std::string& file, size_t count, Node* out) {
  const int len = shape.length;
  int rec_bits = page[20], dup_bits = page[21], trail_bits = page[22], rec_bytes = page[23];
  if (rec_bytes < 1 || rec_bytes > 8 || rec_bits > 32 || dup_bits > 8 || trail_bits > 8 ||
      rec_bits + dup_bits + trail_bits > 8 * rec_bytes)
    fail_page(file, offset, "leaf entry widths are impossible");
  if (count * static_cast<size_t>(rec_bytes) > static_cast<size_t>(kLeafSpace))
    fail_page(file, offset, "leaf holds more entries than fit in a page");
  out->stored_free = get_le16(page + 12);
  out->min_rec_bytes = rec_bytes;
  const int entries_end = kLeafHeaderSize + static_cast<int>(count) * rec_bytes;
  const uint64_t rec_mask = (1ull << rec_bits) - 1;
  const int count_shift = 8 * rec_bytes - trail_bits - dup_bits;
  const uint64_t dup_mask = (1ull << dup_bits) - 1, trail_mask = (1ull << trail_bits) - 1;
  int area = kPageSize;
  if (len < 0 || len > kMaxKeyLength) fail_page(file, offset, "leaf key length is impossible");
  // Both counts are read from the top of the entry, as the writers place them; an 8-byte
  // entry without count bits has them at bit 64, past the entry: none.
  const uint64_t dup_take = count_shift >= 64 ? 0 : dup_mask;
  const uint64_t trail_take = count_shift + dup_bits >= 64 ? 0 : trail_mask;
  const int dup_shift = count_shift & 63, trail_shift = (count_shift + dup_bits) & 63;
  // A seek's first look at a leaf decodes all of it, so every entry costs a few fixed-size
  // copies and one string: the page sits in a buffer with slack after it, entries are read
  // eight bytes at a time and masked, and key bytes move in 16-byte pieces whose overshoot
  // lands in the slack of the key buffer.
  constexpr int kSlack = 16;
  alignas(8) uint8_t buf[kPageSize + kSlack] = {};
  std::memcpy(buf, page, kPageSize);
  char key[kMaxKeyLength + kSlack];
  char pads[kSlack];
  std::memset(pads, shape.pad, sizeof pads);
  const uint64_t entry_mask = rec_bytes >= 8 ? ~0ull : (1ull << (8 * rec_bytes)) - 1;
  // Room for one insert, so that the first one does not move every key; more would be held
  // by every leaf a seek reads (a quarter more room was a sixth of the memory of 10,000 seeks).
  out->entries.reserve(count + 1);
  const uint8_t* p = buf + kLeafHeaderSize;
  for (size_t i = 0; i < count; ++i, p += rec_bytes) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    v &= entry_mask;
    if constexpr (std::endian::native != std::endian::little) {
      v = 0;
      for (int j = 0; j < rec_bytes; ++j) v |= static_cast<uint64_t>(p[j]) << (8 * j);
    }
    int dup = i == 0 ? 0 : static_cast<int>((v >> dup_shift) & dup_take);
    int trail = static_cast<int>((v >> trail_shift) & trail_take);
    if (dup + trail > len) fail_page(file, offset, "leaf key compression counts exceed key length");
    int stored = len - dup - trail;
    area -= stored;
    if (area < entries_end) fail_page(file, offset, "leaf key bytes overlap its entries");
    for (int j = 0; j < stored; j += kSlack) std::memcpy(key + dup + j, buf + area + j, kSlack);
    for (int j = len - trail; j < len; j += kSlack) std::memcpy(key + j, pads, kSlack);
    Entry& e = out->entries.emplace_back();
    e.recno = static_cast<uint32_t>(v & rec_mask);
    e.key.assign(key, static_cast<size_t>(len));
  }
}

void encode_node_header(const Node& n, uint8_t* page) {
  std::memset(page, 0, kPageSize);
  put_le16(page, attributes(n));
  put_le16(page + 2, static_cast<uint16_t>(n.entries.size()));
  put_le32(page + 4, n.left);
  put_le32(page + 8, n.right);
}

}  // namespace

bool encode_node(const Node& n, const KeyShape& shape, uint8_t* page) {
  if (n.leaf) {
    // A leaf is measured while it is encoded, into a page of its own until it fits.
    uint8_t leaf[kPageSize];
    encode_node_header(n, leaf);
    if (!encode_leaf(n, shape, leaf)) return false;
    std::memcpy(page, leaf, kPageSize);
    return true;
  }
  if (!node_fits(n, shape)) return false;
  encode_node_header(n, page);
  uint8_t* p = page + kIntHeaderSize;
  for (const Entry& e : n.entries) {
    std::memcpy(p, e.key.data(), static_cast<size_t>(shape.length));
    put_be32(p + shape.length, e.recno);
    put_be32(p + shape.length + 4, e.child);
    p += shape.length + 8;
  }
  return true;
}

void decode_node(const uint8_t* page, uint32_t offset, const KeyShape& shape,
                 const std::string& file, Node* out) {
  uint16_t attr = get_le16(page);
  if (attr > (kAttrRoot | kAttrLeaf)) fail_page(file, offset, "not a tree page (attributes)");
  size_t count = get_le16(page + 2);
  out->offset = offset;
  out->root = (attr & kAttrRoot) != 0;
  out->leaf = (attr & kAttrLeaf) != 0;
  out->left = get_le32(page + 4);
  out->right = get_le32(page + 8);
  out->dirty = false;
  out->key_bytes = -1;
  out->min_rec_bytes = 0;
  out->stored_free = -1;
  out->entries.clear();
  if (out->leaf) {
    decode_leaf(page, offset, shape, file, count, out);
    return;
  }
  if (count > interior_capacity(shape.length))
    fail_page(file, offset, "interior node holds more entries than fit in a page");
  out->entries.resize(count);
  const uint8_t* p = page + kIntHeaderSize;
  for (size_t i = 0; i < count; ++i) {
    Entry& e = out->entries[i];
    e.key.assign(reinterpret_cast<const char*>(p), static_cast<size_t>(shape.length));
    e.recno = get_be32(p + shape.length);
    e.child = get_be32(p + shape.length + 4);
    p += shape.length + 8;
  }
}

}  // namespace xbase::cdx
