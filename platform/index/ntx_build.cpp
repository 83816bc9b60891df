// NTX bulk build: every key of the table sorted in memory as fixed-width bytes, leaves filled with
// exactly M keys, the key after a full page pushed to the level above, the right-most page of each
// level evened out with its left neighbour, pages written in sequence from offset 1024 and
// the header page last.
#include "platform/index/collation.h"
#include "platform/index/key_sort.h"
#include "platform/index/ntx_index.h"

namespace xbase::ntx {

void NtxIndex::sort_for_build(BuildKeys& keys) const {
  // Equal keys stay in record order, the order a record-by-record build gives them.
  keys.sort(
      !store_->header().descending &&
          (type_ != 'C' || !collation_ || collation_ == &binary_collation()),
      [&](std::string_view a, std::string_view b) { return tree_compare(a, b); }, unique());
}

void NtxIndex::write_built(BuildKeys keys) {
  const int m = geom().max_keys;
  std::vector<Node> done;     // finished pages; done[i] goes to offset 1024 * (i + 1)
  std::vector<Node> open(1);  // the page being filled on each level, leaves first
  auto finish = [&](Node& n) {
    done.push_back(std::move(n));
    n = Node{};
    return static_cast<uint32_t>(kPageSize * done.size());
  };
  for (uint32_t at : keys.order) {
    Item item{0, keys.recnos[at], std::string(keys.key(at))};
    for (size_t level = 0;; ++level) {
      if (level == open.size()) open.emplace_back();
      Node& n = open[level];
      if (static_cast<int>(n.items.size()) < m) {
        n.items.push_back(std::move(item));
        break;
      }
      // A full page ends here: what lies below the new key becomes its right-most child.
      n.right = item.child;
      item.child = finish(n);
    }
  }
  keys = BuildKeys{};
  uint32_t below = 0;
  for (Node& n : open) {
    n.right = below;
    below = finish(n);
  }
  const uint32_t root = below;

  // Only the right-most page of a level can be short; its left neighbour is full.
  auto node = [&](uint32_t off) -> Node& { return done[off / kPageSize - 1]; };
  for (uint32_t p = root; node(p).right != 0;) {
    Node& parent = node(p);
    Node& last = node(parent.right);
    if (static_cast<int>(last.items.size()) < m / 2 && !parent.items.empty()) {
      Item& sep = parent.items.back();
      Node& left = node(sep.child);
      std::vector<Item> all = left.items;
      all.push_back({left.right, sep.recno, sep.key});
      all.insert(all.end(), std::make_move_iterator(last.items.begin()),
                 std::make_move_iterator(last.items.end()));
      const size_t nl = (all.size() - 1) / 2;
      left.items.assign(all.begin(), all.begin() + nl);
      left.right = all[nl].child;
      last.items.assign(all.begin() + nl + 1, all.end());
      sep.recno = all[nl].recno;
      sep.key = all[nl].key;
    }
    p = parent.right;
  }

  std::vector<PageBytes> pages(done.size());
  for (size_t i = 0; i < done.size(); ++i) store_node(pages[i], geom(), done[i]);
  done.clear();
  Header h = store_->header();
  h.version = static_cast<uint16_t>(h.version + 1);
  h.root = root;
  h.free_head = 0;
  store_->replace(h, pages);
}

}  // namespace xbase::ntx
