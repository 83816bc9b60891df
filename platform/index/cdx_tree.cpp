// Keeping a CDX tree up to date: insert and remove in (key, record number) order, splits of
// full nodes (the root keeps its page), merges of thin neighbours under one parent, and the
// parent entries that repeat each child's last entry.
#include <algorithm>
#include <iterator>

#include "platform/index/cdx_tag.h"

namespace xbase::cdx {
namespace {

void set_parent_entry(Entry& pe, const Node& child) {
  pe.key = child.entries.back().key;
  pe.recno = child.entries.back().recno;
  pe.child = child.offset;
}

}  // namespace

void Tag::insert_locked(const Entry& e) {
  if (unique()) {
    Step pos = descend([&](const Entry& x) { return compare_keys(x.key, e.key) >= 0; }).back();
    if (settle_forward(pos) && compare_keys(node(pos.page).entries[pos.index].key, e.key) == 0)
      return;
  }
  Path path = descend([&](const Entry& x) { return compare(e.key, e.recno, x) <= 0; });
  Node& leaf = node(path.back().page);
  size_t at = path.back().index;
  if (at < leaf.entries.size() && leaf.entries[at].recno == e.recno &&
      leaf.entries[at].key == e.key)
    return;
  // The leaf's size moves by the new key and by what its successor now shares.
  if (leaf.key_bytes < 0) count_leaf(leaf, shape_);
  int bytes = leaf.key_bytes;
  uint32_t max_recno = std::max(leaf.max_recno, e.recno);
  const KeyBytes* before = at > 0 ? &leaf.entries[at - 1].key : nullptr;
  bytes += stored_key_bytes(before, e.key, shape_);
  if (at < leaf.entries.size()) {
    const KeyBytes& after = leaf.entries[at].key;
    bytes += stored_key_bytes(&e.key, after, shape_) - stored_key_bytes(before, after, shape_);
  }
  leaf.entries.insert(leaf.entries.begin() + static_cast<std::ptrdiff_t>(at), e);
  leaf.min_rec_bytes = 0;
  store_.touch(leaf);
  leaf.key_bytes = bytes;
  leaf.max_recno = max_recno;
  repair(path, false);
}

bool Tag::remove_locked(const Entry& e) {
  Path path = descend([&](const Entry& x) { return compare(e.key, e.recno, x) <= 0; });
  Node& leaf = node(path.back().page);
  size_t at = path.back().index;
  if (at >= leaf.entries.size() || leaf.entries[at].recno != e.recno ||
      leaf.entries[at].key != e.key)
    return false;
  leaf.entries.erase(leaf.entries.begin() + static_cast<std::ptrdiff_t>(at));
  leaf.min_rec_bytes = 0;
  store_.touch(leaf);
  repair(path, true);
  return true;
}

void Tag::repair(Path& path, bool shrinking) {
  for (size_t level = path.size() - 1; level > 0; --level) {
    Node& n = node(path[level].page);
    Node& parent = node(path[level - 1].page);
    size_t pi = path[level - 1].index;
    if (pi >= parent.entries.size() || parent.entries[pi].child != n.offset)
      fail_page(store_.path(), parent.offset, "interior entry lost its child");
    if (!node_fits(n, shape_)) {
      split(path, level, parent);
    } else if (n.entries.empty()) {
      unlink_and_free(n);
      parent.entries.erase(parent.entries.begin() + static_cast<std::ptrdiff_t>(pi));
      store_.touch(parent);
    } else if (!(shrinking && try_merge(path, level))) {
      Entry& pe = parent.entries[pi];
      const Entry& last = n.entries.back();
      if (pe.recno != last.recno || pe.key != last.key) {
        set_parent_entry(pe, n);
        store_.touch(parent);
      }
    }
  }
  Node& root = node(this->root());
  while (!node_fits(root, shape_)) split_root(root);
  collapse_root();
}

std::vector<std::vector<Entry>> Tag::partition(Node& n, bool append) const {
  const size_t count = n.entries.size();
  std::vector<size_t> cuts;  // start of every piece after the first
  if (!n.leaf) {
    const size_t cap = interior_capacity(shape_.length);
    if (append && count <= 2 * cap) {
      cuts.push_back(cap);
    } else {
      size_t pieces = std::max<size_t>(2, (count + cap - 1) / cap);
      for (size_t k = 1; k < pieces; ++k) cuts.push_back(count * k / pieces);
    }
  } else {
    // Two pieces as even in bytes as possible (an append fills the left one instead). The
    // bytes of both sides of every cut come from one pass: the key bytes each entry stores
    // after its neighbour, and the largest record number on either side.
    std::vector<size_t> stored(count), alone(count), before(count + 1, 0);
    std::vector<uint32_t> max_left(count + 1, 0), max_right(count + 1, 0);
    int prev_trail = 0;
    for (size_t i = 0; i < count; ++i) {
      std::string_view k = n.entries[i].key;
      int trail = trailing_count(k, shape_.pad);
      int dup = i == 0 ? 0 : dup_count(n.entries[i - 1].key, k, prev_trail, trail);
      stored[i] = static_cast<size_t>(shape_.length - dup - trail);
      alone[i] = static_cast<size_t>(shape_.length - trail);
      before[i + 1] = before[i] + stored[i];
      max_left[i + 1] = std::max(max_left[i], n.entries[i].recno);
      prev_trail = trail;
    }
    for (size_t i = count; i-- > 0;) max_right[i] = std::max(max_right[i + 1], n.entries[i].recno);
    // The entry size changes only where a side's largest record number crosses a width:
    // each side remembers its last answer.
    struct EntryBytes {
      int key_length;
      uint32_t max = 0;
      size_t bytes = 0;
      size_t operator()(uint32_t max_recno) {
        if (bytes == 0 || max_recno != max) {
          max = max_recno;
          bytes = static_cast<size_t>(leaf_bits(key_length, max_recno).rec_bytes);
        }
        return bytes;
      }
    } left_bytes{shape_.length}, right_bytes{shape_.length};
    size_t best = 0, best_size = SIZE_MAX;
    for (size_t k = 1; k < count; ++k) {
      size_t left = k * left_bytes(max_left[k]) + before[k];
      size_t right =
          (count - k) * right_bytes(max_right[k]) + alone[k] + before[count] - before[k + 1];
      if (left > static_cast<size_t>(kLeafSpace)) break;
      if (right > static_cast<size_t>(kLeafSpace)) continue;
      size_t size = append ? kLeafSpace - left : std::max(left, right);
      if (size < best_size) best = k, best_size = size;
    }
    if (best) {
      cuts.push_back(best);
    } else {
      // Keys so long that two pieces cannot hold them: fill pieces one after the other.
      size_t start = 0;
      for (size_t k = 1; k < count; ++k)
        if (!leaf_fits(n.entries, start, k + 1, shape_)) cuts.push_back(start = k);
    }
  }
  std::vector<std::vector<Entry>> out;
  size_t start = 0;
  cuts.push_back(count);
  for (size_t cut : cuts) {
    out.emplace_back(
        std::make_move_iterator(n.entries.begin() + static_cast<std::ptrdiff_t>(start)),
        std::make_move_iterator(n.entries.begin() + static_cast<std::ptrdiff_t>(cut)));
    start = cut;
  }
  return out;
}

void Tag::split(Path& path, size_t level, Node& parent) {
  Node& n = node(path[level].page);
  bool append = n.right == kNoPage && path[level].index + 2 >= n.entries.size();
  std::vector<std::vector<Entry>> pieces = partition(n, append);
  size_t pi = path[level - 1].index;
  n.entries = std::move(pieces[0]);
  store_.touch(n);
  set_parent_entry(parent.entries[pi], n);
  Node* prev = &n;
  for (size_t k = 1; k < pieces.size(); ++k) {
    Node& m = store_.create(shape_, n.leaf);
    m.entries = std::move(pieces[k]);
    m.left = prev->offset;
    m.right = prev->right;
    if (prev->right != kNoPage)
      store_.set_left(prev->right, m.offset, prev->offset, n.leaf, shape_);
    prev->right = m.offset;
    store_.touch(*prev);
    Entry pe;
    set_parent_entry(pe, m);
    parent.entries.insert(parent.entries.begin() + static_cast<std::ptrdiff_t>(pi + k),
                          std::move(pe));
    prev = &m;
  }
  store_.touch(parent);
}

void Tag::split_root(Node& root) {
  // The root keeps its page: its entries move down into new nodes below it.
  std::vector<std::vector<Entry>> pieces = partition(root, false);
  std::vector<Entry> above;
  Node* prev = nullptr;
  for (auto& piece : pieces) {
    Node& m = store_.create(shape_, root.leaf);
    m.entries = std::move(piece);
    if (prev) {
      prev->right = m.offset;
      m.left = prev->offset;
    }
    Entry pe;
    set_parent_entry(pe, m);
    above.push_back(std::move(pe));
    prev = &m;
  }
  root.entries = std::move(above);
  root.leaf = false;
  root.min_rec_bytes = 0;
  store_.touch(root);
}

bool Tag::try_merge(Path& path, size_t level) {
  Node& n = node(path[level].page);
  Node& parent = node(path[level - 1].page);
  size_t pi = path[level - 1].index;
  bool thin = n.leaf ? leaf_bytes(n.entries, 0, n.entries.size(), shape_) < kLeafSpace / 2
                     : n.entries.size() < interior_capacity(shape_.length) / 2;
  if (!thin) return false;
  // Into the left neighbour, or take in the right one: whichever fits in one page.
  for (int side = 0; side < 2; ++side) {
    size_t li = side == 0 ? pi - 1 : pi;
    if ((side == 0 && pi == 0) || li + 1 >= parent.entries.size()) continue;
    Node& a = node(parent.entries[li].child);
    Node& b = node(parent.entries[li + 1].child);
    // Freeing b must not free a node still in use.
    if (a.offset == b.offset || a.offset == parent.offset || b.offset == parent.offset)
      fail_page(store_.path(), parent.offset, "two entries name the same child page");
    if (a.right != b.offset || b.left != a.offset || a.leaf != b.leaf)
      fail_page(store_.path(), a.offset, "sibling links disagree with the parent node");
    Node joined;
    joined.leaf = a.leaf;
    joined.entries = a.entries;
    joined.entries.insert(joined.entries.end(), b.entries.begin(), b.entries.end());
    if (!node_fits(joined, shape_)) continue;
    a.entries = std::move(joined.entries);
    a.min_rec_bytes = 0;
    store_.touch(a);
    unlink_and_free(b);
    parent.entries.erase(parent.entries.begin() + static_cast<std::ptrdiff_t>(li + 1));
    set_parent_entry(parent.entries[li], a);
    store_.touch(parent);
    return true;
  }
  return false;
}

void Tag::unlink_and_free(Node& n) {
  uint32_t self = n.offset, left = n.left, right = n.right;
  if (left != kNoPage) {
    Node& l = node(left);
    l.right = right;
    store_.touch(l);
  }
  if (right != kNoPage) {
    Node& r = node(right);
    r.left = left;
    store_.touch(r);
  }
  store_.release(self);
}

void Tag::collapse_root() {
  for (int guard = 0; guard <= 32; ++guard) {
    Node& root = node(this->root());
    if (root.leaf) return;
    if (root.entries.empty()) {
      root.leaf = true;
      store_.touch(root);
      return;
    }
    if (root.entries.size() > 1) return;
    // A root with one child takes the child's place, keeping the root's page.
    Node& child = node(root.entries[0].child);
    if (child.offset == root.offset)
      fail_page(store_.path(), root.offset, "root names itself as its child");
    if (child.left != kNoPage || child.right != kNoPage) return;
    root.entries = std::move(child.entries);
    root.leaf = child.leaf;
    root.min_rec_bytes = 0;
    store_.release(child.offset);
    store_.touch(root);
  }
}

}  // namespace xbase::cdx
