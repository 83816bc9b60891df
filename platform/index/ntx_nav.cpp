// NTX navigation in tree order: a path of (page, index) steps from the root, where every
// step but the last names the child taken and the last names the current item.
#include <optional>

#include "platform/index/ntx_index.h"
#include "platform/table/table_error.h"

namespace xbase::ntx {

bool NtxIndex::settle_forward(Path& path) {
  // Leaving child c of a page, the next item is that page's item c.
  while (!path.empty()) {
    PageView v(store_->page(path.back().page), geom());
    if (path.back().idx < v.count()) return true;
    path.pop_back();
  }
  return false;
}

bool NtxIndex::settle_backward(Path& path) {
  // Leaving child c of a page backwards, the previous item is that page's item c - 1.
  while (!path.empty()) {
    if (path.back().idx >= 0) return true;
    path.pop_back();
    if (path.empty()) return false;
    --path.back().idx;
  }
  return false;
}

void NtxIndex::walk_from(const Path& path, int dir, bool continuing) {
  if (continuing && dir == walk_dir_) return;
  walked_.clear();
  for (const Step& s : path) walked_.insert(s.page);
  walk_dir_ = dir;
}

void NtxIndex::enter(uint32_t page) {
  if (tracking_ && !walked_.insert(page).second)
    store_->fail(page, "page reached twice in one walk: two branch pages share it");
}

void NtxIndex::check_order(const Path& path, std::string_view key, int dir) {
  int c = tree_compare(key, cursor_.key);
  if ((dir > 0 && c < 0) || (dir < 0 && c > 0))
    throw KeyOrderError(kErrCorruption, 0, store_->path(),
                        "page at " + std::to_string(path.back().page) + ": key " +
                            std::to_string(path.back().idx) + " is out of order");
}

bool NtxIndex::descend_left(Path& path, uint32_t page) {
  for (;;) {
    enter(page);
    PageView v(store_->page(page), geom());
    push(path, page, 0);
    if (v.leaf()) break;
    page = v.child(0);
  }
  return settle_forward(path);
}

bool NtxIndex::descend_right(Path& path, uint32_t page) {
  for (;;) {
    enter(page);
    PageView v(store_->page(page), geom());
    bool leaf = v.leaf();
    push(path, page, leaf ? v.count() - 1 : v.count());
    if (leaf) break;
    page = v.child(v.count());
  }
  return settle_backward(path);
}

bool NtxIndex::step_forward(Path& path) {
  Step& top = path.back();
  PageView v(store_->page(top.page), geom());
  ++top.idx;
  if (v.leaf()) return settle_forward(path);
  return descend_left(path, v.child(top.idx));
}

bool NtxIndex::step_backward(Path& path) {
  Step& top = path.back();
  PageView v(store_->page(top.page), geom());
  if (v.leaf()) {
    --top.idx;
    return settle_backward(path);
  }
  return descend_right(path, v.child(top.idx));
}

bool NtxIndex::lower_bound(std::string_view prefix, Path& path) {
  walk_dir_ = 0;  // whatever walk was on is over
  path.clear();
  uint32_t page = store_->header().root;
  for (;;) {
    PageView v(store_->page(page), geom());
    int lo = 0, hi = v.count();
    while (lo < hi) {
      int mid = (lo + hi) / 2;
      if (tree_compare(v.key(mid), prefix) < 0)
        lo = mid + 1;
      else
        hi = mid;
    }
    push(path, page, lo);
    if (v.leaf()) break;
    page = v.child(lo);
  }
  return settle_forward(path);
}

IndexKey NtxIndex::entry_at(const Path& path) {
  PageView v(store_->page(path.back().page), geom());
  return {std::string(v.key(path.back().idx)), v.recno(path.back().idx)};
}

bool NtxIndex::locate(const IndexKey& entry, Path& path) {
  // Equal keys keep their insertion order, so the record is searched among all of them.
  bool ok = lower_bound(entry.key, path);
  walk_from(path, 1, false);
  walk_dir_ = 0;  // the cursor's walks start afresh
  Tracking tracking(*this);
  for (; ok; ok = step_forward(path)) {
    PageView v(store_->page(path.back().page), geom());
    if (tree_compare(v.key(path.back().idx), entry.key) != 0) return false;
    if (v.recno(path.back().idx) == entry.recno) return true;
  }
  return false;
}

bool NtxIndex::position(bool ok, const Path& path, IndexKey* out) {
  if (!ok) return false;
  cursor_ = entry_at(path);
  cursor_path_ = path;
  cursor_gen_ = store_->generation();
  has_cursor_ = true;
  if (out) *out = cursor_;
  return true;
}

bool NtxIndex::cursor_path(Path& path) {
  if (cursor_gen_ == store_->generation()) {
    path = cursor_path_;
    return true;
  }
  walk_dir_ = 0;
  return locate(cursor_, path);
}

bool NtxIndex::first(IndexKey* out) {
  Operation op(*this, false);
  walk_dir_ = 0;
  Path path;
  return position(descend_left(path, store_->header().root), path, out);
}

bool NtxIndex::last(IndexKey* out) {
  Operation op(*this, false);
  walk_dir_ = 0;
  Path path;
  return position(descend_right(path, store_->header().root), path, out);
}

bool NtxIndex::next(IndexKey* out) {
  Operation op(*this, false);
  if (!has_cursor_) return false;
  Path path;
  bool ok;
  if (cursor_path(path)) {
    walk_from(path, 1, true);
    Tracking tracking(*this);
    ok = step_forward(path);
    if (ok) check_order(path, entry_at(path).key, 1);
    walk_dir_ = 1;
  } else {
    // A cursor entry that another writer removed continues at the first key not before it.
    ok = lower_bound(cursor_.key, path);
  }
  return position(ok, path, out);
}

bool NtxIndex::prev(IndexKey* out) {
  Operation op(*this, false);
  if (!has_cursor_) return false;
  Path path;
  bool ok;
  bool continuing = cursor_path(path);
  if (!continuing && !lower_bound(cursor_.key, path)) {
    ok = descend_right(path, store_->header().root);
  } else {
    walk_from(path, -1, continuing);
    Tracking tracking(*this);
    ok = step_backward(path);
    if (ok) check_order(path, entry_at(path).key, -1);
    walk_dir_ = -1;
  }
  return position(ok, path, out);
}

bool NtxIndex::seek(std::string_view prefix, IndexKey* out) {
  Operation op(*this, false);
  if (prefix.size() > static_cast<size_t>(key_length())) prefix = prefix.substr(0, key_length());
  Path path;
  return position(lower_bound(prefix, path), path, out);
}

bool NtxIndex::find(const IndexKey& entry) {
  Operation op(*this, false);
  Path path;
  return position(locate(entry, path), path, nullptr);
}

int NtxIndex::levels() {
  Operation op(*this, false);
  int n = 0;
  Path path;
  uint32_t page = store_->header().root;
  for (;;) {
    PageView v(store_->page(page), geom());
    push(path, page, 0);
    ++n;
    if (v.leaf()) return n;
    page = v.child(0);
  }
}

uint64_t NtxIndex::walk(uint32_t page, int depth, int& leaf_depth,
                        std::unordered_set<uint32_t>& seen, std::string* prev, bool check,
                        const std::function<void(const IndexKey&)>* visit) {
  if (depth >= kMaxDepth || !seen.insert(page).second) fail_loop(page);
  PageView v(store_->page(page), geom());
  const int k = v.count();
  const bool leaf = v.leaf();
  if (check && k == 0 && depth > 0) store_->fail(page, "empty page below the root");
  if (leaf) {
    if (leaf_depth < 0) leaf_depth = depth;
    if (check && leaf_depth != depth)
      store_->fail(page, "leaf on level " + std::to_string(depth + 1) + ", others on level " +
                             std::to_string(leaf_depth + 1));
  }
  uint64_t n = 0;
  for (int i = 0; i <= k; ++i) {
    if (!leaf) n += walk(v.child(i), depth + 1, leaf_depth, seen, prev, check, visit);
    if (i == k) break;
    std::string_view key = v.key(i);
    if (check && !prev->empty()) {
      int c = tree_compare(*prev, key);
      if (c > 0) store_->fail(page, "key " + std::to_string(i) + " is out of order");
      if (c == 0 && unique())
        store_->fail(page, "key " + std::to_string(i) + " repeats in a unique index");
    }
    if (check) prev->assign(key);
    if (visit) (*visit)({std::string(key), v.recno(i)});
    ++n;
  }
  return n;
}

uint64_t NtxIndex::key_count() {
  Operation op(*this, false);
  std::unordered_set<uint32_t> seen;
  int leaf_depth = -1;
  return walk(store_->header().root, 0, leaf_depth, seen, nullptr, false, nullptr);
}

void NtxIndex::verify(const std::function<void(const IndexKey&)>& visit) {
  Operation op(*this, false);
  std::unordered_set<uint32_t> seen;
  int leaf_depth = -1;
  std::string prev;
  walk(store_->header().root, 0, leaf_depth, seen, &prev, true, visit ? &visit : nullptr);
  // The free list: whole pages, none of them in the tree, no loop.
  uint32_t page = store_->header().free_head;
  while (page != 0) {
    if (seen.count(page)) store_->fail(page, "page is both free and in the tree");
    seen.insert(page);
    page = store_->free_next(page);
  }
}

}  // namespace xbase::ntx
