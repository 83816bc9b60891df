// Full structure check of a CDX tag: every page reached once, root flag only on the root,
// leaves all at one depth, sibling chains complete on every level, keys strictly ascending
// by (key, record number), each interior entry equal to its child's last entry, and each
// leaf's free-byte field matching its contents.
#include <set>

#include "platform/index/cdx_tag.h"

namespace xbase::cdx {
namespace {

struct Walk {
  std::set<uint32_t> seen;
  std::vector<uint32_t> last_on_level;  // the node met last on each level, for the links
  int leaf_depth = -1;
  std::vector<Entry> keys;  // every leaf entry in stored order
};

}  // namespace

void Tag::verify_locked(const std::function<void(const IndexKey&)>& visit) {
  const std::string& file = store_.path();
  Walk w;
  std::function<void(uint32_t, int, const Entry*)> check = [&](uint32_t page, int depth,
                                                               const Entry* bound) {
    if (depth > 32) fail_page(file, page, "tree of tag " + info_.name + " is too deep");
    if (!w.seen.insert(page).second) fail_page(file, page, "page is reached twice");
    Node& n = node(page);
    if (n.root != (depth == 0)) fail_page(file, page, "root flag on the wrong node");
    if (depth > 0 && n.entries.empty()) fail_page(file, page, "node below the root is empty");
    if (n.leaf) {
      if (w.leaf_depth < 0) w.leaf_depth = depth;
      if (w.leaf_depth != depth) fail_page(file, page, "leaves at different depths");
      const size_t count = n.entries.size();
      int used = static_cast<int>(leaf_bytes(n.entries, 0, count, shape_, n.min_rec_bytes));
      int used_capped =
          static_cast<int>(leaf_bytes(n.entries, 0, count, shape_, n.min_rec_bytes, true));
      if (n.key_bytes >= 0) {
        Node counted;
        counted.entries = n.entries;
        count_leaf(counted, shape_);
        if (counted.key_bytes != n.key_bytes || counted.max_recno != n.max_recno)
          fail_page(file, page, "leaf size carried by inserts disagrees with its keys");
      }
      if (!n.dirty && n.stored_free != kLeafSpace - used &&
          n.stored_free != kLeafSpace - used_capped)
        fail_page(file, page, "free byte count disagrees with the keys");
    } else if (w.leaf_depth >= 0 && depth >= w.leaf_depth) {
      fail_page(file, page, "interior node at leaf depth");
    }
    if (w.last_on_level.size() <= static_cast<size_t>(depth)) w.last_on_level.push_back(kNoPage);
    uint32_t before = w.last_on_level[depth];
    if (n.left != before) fail_page(file, page, "left sibling link is wrong");
    if (before != kNoPage && node(before).right != page)
      fail_page(file, before, "right sibling link is wrong");
    w.last_on_level[depth] = page;
    for (size_t i = 1; i < n.entries.size(); ++i)
      if (!less(n.entries[i - 1], n.entries[i])) fail_page(file, page, "keys out of order");
    if (bound && !n.entries.empty() &&
        (n.entries.back().key != bound->key || n.entries.back().recno != bound->recno))
      fail_page(file, page, "parent entry does not repeat the node's last key");
    if (n.leaf) {
      if (!w.keys.empty() && !n.entries.empty() && !less(w.keys.back(), n.entries.front()))
        fail_page(file, page, "keys out of order across leaves");
      w.keys.insert(w.keys.end(), n.entries.begin(), n.entries.end());
      return;
    }
    std::vector<Entry> entries = n.entries;  // the recursion may load pages
    for (const Entry& e : entries) check(e.child, depth + 1, &e);
  };
  check(root(), 0, nullptr);
  for (uint32_t page : w.last_on_level)
    if (node(page).right != kNoPage) fail_page(file, page, "last node of a level has a right link");
  IndexKey k;
  if (info_.descending) {
    for (auto it = w.keys.rbegin(); it != w.keys.rend(); ++it) {
      k.key = it->key;
      k.recno = it->recno;
      visit(k);
    }
  } else {
    for (const Entry& e : w.keys) {
      k.key = e.key;
      k.recno = e.recno;
      visit(k);
    }
  }
}

}  // namespace xbase::cdx
