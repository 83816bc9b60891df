// NTX tree page bytes: u16 key count, M+1 u16 item offsets, M+1 slots of
// (u32 child, u32 record number, key). See ntx_format.h.
#include "platform/index/ntx_page.h"

#include <cstring>
#include <vector>

namespace xbase::ntx {

void init_page(PageBytes& p, const Geometry& g) {
  p.fill(0);
  for (int i = 0; i <= g.max_keys; ++i)
    put16(p.data() + 2 + 2 * i, static_cast<uint16_t>(g.slots_base() + i * g.item_size()));
}

void set_child(PageBytes& p, int i, uint32_t child) {
  put32(p.data() + get16(p.data() + 2 + 2 * i), child);
}

void set_entry(PageBytes& p, const Geometry& g, int i, uint32_t recno, std::string_view key) {
  uint8_t* item = p.data() + get16(p.data() + 2 + 2 * i);
  put32(item + 4, recno);
  size_t n = key.size() < static_cast<size_t>(g.key_length) ? key.size() : g.key_length;
  std::memcpy(item + 8, key.data(), n);
  std::memset(item + 8 + n, ' ', g.key_length - n);
}

namespace {

// The right-most item carries only a child; its record and key stay zero, as readers that
// take a non-zero record there for a key expect.
void clear_right(PageBytes& p, const Geometry& g) {
  uint8_t* item = p.data() + get16(p.data() + 2 + 2 * get16(p.data()));
  std::memset(item + 4, 0, 4 + g.key_length);
}

}  // namespace

void insert_item(PageBytes& p, const Geometry& g, int i, const Item& item) {
  uint8_t* table = p.data() + 2;
  int k = get16(p.data());
  // The free slot after the right-most child moves in front of the items from i on.
  uint16_t free_slot = get16(table + 2 * (k + 1));
  std::memmove(table + 2 * (i + 1), table + 2 * i, 2 * (k + 1 - i));
  put16(table + 2 * i, free_slot);
  put16(p.data(), static_cast<uint16_t>(k + 1));
  set_child(p, i, item.child);
  set_entry(p, g, i, item.recno, item.key);
  clear_right(p, g);
}

void remove_item(PageBytes& p, const Geometry& g, int i) {
  uint8_t* table = p.data() + 2;
  int k = get16(p.data());
  uint16_t freed = get16(table + 2 * i);
  std::memmove(table + 2 * i, table + 2 * (i + 1), 2 * (k - i));
  put16(table + 2 * k, freed);
  put16(p.data(), static_cast<uint16_t>(k - 1));
  clear_right(p, g);
}

Node load_node(const PageBytes& p, const Geometry& g) {
  PageView v(p, g);
  Node n;
  int k = v.count();
  n.items.reserve(k);
  for (int i = 0; i < k; ++i) n.items.push_back({v.child(i), v.recno(i), std::string(v.key(i))});
  n.right = v.child(k);
  return n;
}

void store_node(PageBytes& p, const Geometry& g, const Node& n) {
  init_page(p, g);
  int k = static_cast<int>(n.items.size());
  for (int i = 0; i < k; ++i) {
    set_child(p, i, n.items[i].child);
    set_entry(p, g, i, n.items[i].recno, n.items[i].key);
  }
  set_child(p, k, n.right);
  put16(p.data(), static_cast<uint16_t>(k));
}

std::string check_ref(uint32_t ref, uint64_t file_end) {
  if (ref % kPageSize != 0)
    return "page pointer " + std::to_string(ref) + " is not a multiple of 1024";
  if (ref < kPageSize) return "page pointer " + std::to_string(ref) + " points at the header";
  if (ref + uint64_t{kPageSize} > file_end)
    return "page pointer " + std::to_string(ref) + " is beyond the end of the file (" +
           std::to_string(file_end) + " bytes)";
  return {};
}

std::string check_page(PageBytes& p, const Geometry& g, uint64_t file_end) {
  int k = get16(p.data());
  if (k > g.max_keys)
    return "key count " + std::to_string(k) + " exceeds the maximum of " +
           std::to_string(g.max_keys);
  const int base = g.slots_base();
  const int size = g.item_size();
  std::vector<bool> used(g.max_keys + 1, false);
  auto slot_index = [&](int off) -> int {
    if (off < base || (off - base) % size != 0 || (off - base) / size > g.max_keys) return -1;
    return (off - base) / size;
  };
  for (int i = 0; i <= k; ++i) {
    int off = get16(p.data() + 2 + 2 * i);
    int s = slot_index(off);
    if (s < 0) return "item " + std::to_string(i) + " has a bad offset " + std::to_string(off);
    if (used[s]) return "item " + std::to_string(i) + " shares its slot with another item";
    used[s] = true;
  }
  // Entries past the right-most child only name free slots; make them a valid permutation.
  for (int i = k + 1; i <= g.max_keys; ++i) {
    int s = slot_index(get16(p.data() + 2 + 2 * i));
    if (s >= 0 && !used[s]) {
      used[s] = true;
      continue;
    }
    for (int j = 0; j <= g.max_keys; ++j) {
      if (!used[j]) {
        used[j] = true;
        put16(p.data() + 2 + 2 * i, static_cast<uint16_t>(base + j * size));
        break;
      }
    }
  }
  PageView v(p, g);
  bool leaf = v.child(0) == 0;
  for (int i = 0; i <= k; ++i) {
    uint32_t c = v.child(i);
    if ((c == 0) != leaf) return "page mixes leaf and branch items";
    if (c == 0) continue;
    std::string fault = check_ref(c, file_end);
    if (!fault.empty()) return "child of item " + std::to_string(i) + ": " + fault;
  }
  return {};
}

}  // namespace xbase::ntx
