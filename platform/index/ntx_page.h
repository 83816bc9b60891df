// One NTX tree page in memory (see ntx_format.h for its bytes): accessors through the
// offset table, in-place insertion and removal by rotating the offset table as the engines
// do, and a whole-page form (Node) for splits, merges and bulk builds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/index/ntx_format.h"

namespace xbase::ntx {

struct Geometry {
  int max_keys = 0;
  int key_length = 0;
  int item_size() const { return key_length + 8; }
  int slots_base() const { return (max_keys + 2) * 2; }
};

class PageView {
 public:
  PageView(const PageBytes& p, const Geometry& g) : p_(p.data()), g_(g) {}
  int count() const { return get16(p_); }
  int slot(int i) const { return get16(p_ + 2 + 2 * i); }
  uint32_t child(int i) const { return get32(p_ + slot(i)); }
  uint32_t recno(int i) const { return get32(p_ + slot(i) + 4); }
  std::string_view key(int i) const {
    return {reinterpret_cast<const char*>(p_ + slot(i) + 8), static_cast<size_t>(g_.key_length)};
  }
  bool leaf() const { return child(0) == 0; }

 private:
  const uint8_t* p_;
  const Geometry& g_;
};

struct Item {
  uint32_t child = 0;
  uint32_t recno = 0;
  std::string key;
};

// A page as a list: items in logical order, each with the child left of its key, and the
// right-most child.
struct Node {
  std::vector<Item> items;
  uint32_t right = 0;
};

// An empty page: no keys, slots in order, every child zero.
void init_page(PageBytes& p, const Geometry& g);
void set_child(PageBytes& p, int i, uint32_t child);
void set_entry(PageBytes& p, const Geometry& g, int i, uint32_t recno, std::string_view key);
// Inserts an item before logical item i (0..k); the page must hold fewer than M keys.
void insert_item(PageBytes& p, const Geometry& g, int i, const Item& item);
// Removes logical item i (< k) with the child left of its key.
void remove_item(PageBytes& p, const Geometry& g, int i);

Node load_node(const PageBytes& p, const Geometry& g);
// Lays the node out afresh (consecutive slots); it must hold at most M keys.
void store_node(PageBytes& p, const Geometry& g, const Node& n);

// Checks a page read from the file: key count, offset table, child pointers (multiples of
// the page size inside [1024, file_end)), all children zero or none. Repairs offset entries
// past the last item that do not name a free slot (they carry no data). Returns the fault,
// empty when the page is sound.
std::string check_page(PageBytes& p, const Geometry& g, uint64_t file_end);
// The fault of a page reference, empty when it names a whole page inside the file.
std::string check_ref(uint32_t ref, uint64_t file_end);

}  // namespace xbase::ntx
