// Keeping an NTX tree up: insertion after the equal keys with page splits up to a new root,
// removal with the in-order predecessor replacing a branch key, then joining or evening out
// pages that fell below half, freed pages to the free list.
#include "platform/index/ntx_index.h"

namespace xbase::ntx {
namespace {

// A page's items, the separator from its parent and its right sibling's items as one run.
std::vector<Item> join(const Node& left, const Item& separator, const Node& right) {
  std::vector<Item> all = left.items;
  all.push_back({left.right, separator.recno, separator.key});
  all.insert(all.end(), right.items.begin(), right.items.end());
  return all;
}

}  // namespace

void NtxIndex::insert(const IndexKey& entry) {
  Operation op(*this, true);
  insert_entry(entry);
  op.done();
}

bool NtxIndex::remove(const IndexKey& entry) {
  Operation op(*this, true);
  bool removed = remove_entry(entry);
  op.done();
  return removed;
}

void NtxIndex::insert_entry(const IndexKey& entry) {
  std::string key = entry.key;
  key.resize(key_length(), ' ');
  Path path;
  if (unique() && lower_bound(key, path) && tree_compare(entry_at(path).key, key) == 0) return;
  path.clear();
  // After the last equal key: equal keys stay in the order they came.
  uint32_t page = store_->header().root;
  for (;;) {
    PageView v(store_->page(page), geom());
    int lo = 0, hi = v.count();
    while (lo < hi) {
      int mid = (lo + hi) / 2;
      if (tree_compare(v.key(mid), key) <= 0)
        lo = mid + 1;
      else
        hi = mid;
    }
    push(path, page, lo);
    if (v.leaf()) break;
    page = v.child(lo);
  }
  split_insert(path, Item{0, entry.recno, std::move(key)});
}

void NtxIndex::split_insert(Path& path, Item item) {
  const int m = geom().max_keys;
  for (;;) {
    Step at = path.back();
    path.pop_back();
    PageBytes& bytes = store_->page_mut(at.page);
    if (PageView(bytes, geom()).count() < m) {
      insert_item(bytes, geom(), at.idx, item);
      return;
    }
    Node full = load_node(bytes, geom());
    full.items.insert(full.items.begin() + at.idx, std::move(item));
    // The lower half moves to a new page, the next key goes up pointing at it, the page
    // keeps the upper half and its right-most child.
    const int lower = (m + 1) / 2;
    Node low, high;
    low.items.assign(full.items.begin(), full.items.begin() + lower);
    low.right = full.items[lower].child;
    high.items.assign(full.items.begin() + lower + 1, full.items.end());
    high.right = full.right;
    uint32_t fresh = store_->alloc();
    store_node(store_->page_mut(fresh), geom(), low);
    store_node(store_->page_mut(at.page), geom(), high);
    item = std::move(full.items[lower]);
    item.child = fresh;
    if (path.empty()) {
      Node root;
      root.items.push_back(std::move(item));
      root.right = at.page;
      uint32_t r = store_->alloc();
      store_node(store_->page_mut(r), geom(), root);
      store_->set_root(r);
      return;
    }
  }
}

bool NtxIndex::remove_entry(const IndexKey& entry) {
  IndexKey e = entry;
  e.key.resize(key_length(), ' ');
  Path path;
  if (!locate(e, path)) return false;
  const Step at = path.back();
  PageView v(store_->page(at.page), geom());
  if (!v.leaf()) {
    // The in-order predecessor (last key of the left subtree) takes the branch key's place.
    uint32_t page = v.child(at.idx);
    for (;;) {
      PageView c(store_->page(page), geom());
      if (c.leaf()) {
        if (c.count() == 0) store_->fail(page, "empty leaf below the root");
        push(path, page, c.count() - 1);
        break;
      }
      push(path, page, c.count());
      page = c.child(c.count());
    }
    IndexKey pred = entry_at(path);
    set_entry(store_->page_mut(at.page), geom(), at.idx, pred.recno, pred.key);
  }
  const Step leaf = path.back();
  remove_item(store_->page_mut(leaf.page), geom(), leaf.idx);
  rebalance(path);
  return true;
}

void NtxIndex::rebalance(Path& path) {
  const int m = geom().max_keys;
  const int half = m / 2;
  while (path.size() > 1) {
    const uint32_t page = path.back().page;
    path.pop_back();
    const Step parent = path.back();
    if (PageView(store_->page(page), geom()).count() >= half) return;
    PageView pv(store_->page(parent.page), geom());
    if (pv.count() == 0) return;  // no sibling to lean on
    // The sibling on the left when there is one; sep is the parent item between the two.
    const int sep = parent.idx > 0 ? parent.idx - 1 : 0;
    const uint32_t left = pv.child(sep);
    const uint32_t right = pv.child(sep + 1);
    Item separator{0, pv.recno(sep), std::string(pv.key(sep))};
    Node ln = load_node(store_->page(left), geom());
    Node rn = load_node(store_->page(right), geom());
    std::vector<Item> all = join(ln, separator, rn);
    const int total = static_cast<int>(all.size());
    if (total <= m) {
      // One page holds them all: the right page keeps them, the left one is freed and its
      // separator leaves the parent (whose item sep then points at the right page).
      Node merged;
      merged.items = std::move(all);
      merged.right = rn.right;
      store_node(store_->page_mut(right), geom(), merged);
      remove_item(store_->page_mut(parent.page), geom(), sep);
      store_->release(left);
      continue;
    }
    const int nl = (total - 1) / 2;
    Node l2, r2;
    l2.items.assign(all.begin(), all.begin() + nl);
    l2.right = all[nl].child;
    r2.items.assign(all.begin() + nl + 1, all.end());
    r2.right = rn.right;
    store_node(store_->page_mut(left), geom(), l2);
    store_node(store_->page_mut(right), geom(), r2);
    set_entry(store_->page_mut(parent.page), geom(), sep, all[nl].recno, all[nl].key);
    return;
  }
  // A branch root left without keys gives way to its only child.
  const uint32_t root = store_->header().root;
  PageView rv(store_->page(root), geom());
  if (rv.count() == 0 && !rv.leaf()) {
    store_->set_root(rv.child(0));
    store_->release(root);
  }
}

}  // namespace xbase::ntx
