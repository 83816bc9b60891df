// CDX tree pages in decoded form, and their conversion from and to the 512 bytes on disk
// (layout in cdx_format.h): interior entries with big-endian numbers, leaves with bit-packed
// record numbers and prefix/trailing-pad compressed keys.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/index/cdx_format.h"
#include "platform/index/cdx_key.h"

namespace xbase::cdx {

struct Entry {
  KeyBytes key;  // the full key, exactly KeyShape::length bytes
  uint32_t recno = 0;
  uint32_t child = 0;  // interior nodes: the page this entry leads to
};

// How one tag's keys look in its pages.
struct KeyShape {
  int length = 0;
  char pad = ' ';  // blank for character keys, NUL for the others
};

struct Node {
  uint32_t offset = 0;
  bool leaf = true;
  bool root = false;
  uint32_t left = kNoPage;
  uint32_t right = kNoPage;
  std::vector<Entry> entries;
  int stored_free = -1;  // a leaf's free-byte field as read (checked by verify)
  // Least entry size R: a bulk build sizes record numbers once for the whole table, and a
  // page read keeps the size it was written with until its keys change.
  int min_rec_bytes = 0;
  bool dirty = false;
  // Leaves: the key bytes the entries store and their largest record number, carried along
  // by inserts so that the fit check after each one need not walk the leaf; -1 when not
  // known. Store::touch forgets them: every other change of the entries goes through it.
  int key_bytes = -1;
  uint32_t max_recno = 0;
};

struct LeafBits {
  int rec_bytes = 3;  // R: bytes of one entry
  int rec_bits = 16;
  int dup_bits = 4;
  int trail_bits = 4;
};

// The widths a leaf uses for keys of this length and record numbers up to max_recno.
LeafBits leaf_bits(int key_length, uint32_t max_recno, int min_rec_bytes = 0);
int trailing_count(std::string_view key, char pad);
// Length of the prefix shared with the previous key, kept out of this key's trailing pad:
// what the engine that made the fixtures writes, in bulk builds and updates alike (it may
// reach into the previous key's pad). cap_both_trails: also kept out of the previous key's
// pad, the other variant that readers meet.
int dup_count(std::string_view prev, std::string_view key, int trail_prev, int trail_key,
              bool cap_both_trails = false);
// Key bytes key stores after prev (nullptr: the first key of its leaf).
int stored_key_bytes(const KeyBytes* prev, std::string_view key, const KeyShape& shape);
// Fills a leaf's key_bytes and max_recno from its entries.
void count_leaf(Node& leaf, const KeyShape& shape);
// Bytes entries [begin, end) take in the 488-byte area of one leaf.
size_t leaf_bytes(const std::vector<Entry>& entries, size_t begin, size_t end,
                  const KeyShape& shape, int min_rec_bytes = 0, bool cap_both_trails = false);
inline bool leaf_fits(const std::vector<Entry>& entries, size_t begin, size_t end,
                      const KeyShape& shape, int min_rec_bytes = 0) {
  return leaf_bytes(entries, begin, end, shape, min_rec_bytes) <= static_cast<size_t>(kLeafSpace);
}
inline size_t interior_capacity(int key_length) {
  return (kPageSize - kIntHeaderSize) / static_cast<size_t>(key_length + 8);
}
// Whether a node's entries fit in one page.
bool node_fits(const Node& node, const KeyShape& shape);

// Throws TableError (corruption) for a fault at a page (kNoPage: not tied to one page).
[[noreturn]] void fail_page(const std::string& file, uint32_t page, const std::string& what);
// The same for keys a walk meets out of order (KeyOrderError).
[[noreturn]] void fail_order(const std::string& file, uint32_t page, const std::string& what);
std::string page_name(uint32_t page);  // "page 0x1A00"

// Writes the node into a 512-byte page; false (page untouched) when it does not fit.
bool encode_node(const Node& node, const KeyShape& shape, uint8_t* page);
// Reads a page; throws TableError (corruption) naming file and page on any inconsistency.
void decode_node(const uint8_t* page, uint32_t offset, const KeyShape& shape,
                 const std::string& file, Node* out);

}  // namespace xbase::cdx
