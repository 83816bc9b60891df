// Bulk build of a whole CDX file, laid out as Harbour lays out a new one:
//   0x000 directory header, 0x400 directory tree (tag names -> header offsets),
//   then the tag headers (1024 bytes each), then each tag's tree. Leaves are packed as full
//   as their 488 bytes allow, interior nodes up to capacity; a parent page is allocated when
//   its first child is full, right after that child's successor.
#include <algorithm>
#include <cstring>
#include <deque>

#include "platform/index/cdx_bag.h"
#include "platform/table/table_error.h"

namespace xbase::cdx {
namespace {

struct Tree {
  std::deque<Node> nodes;  // deque: nodes keep their address while the tree grows
  uint32_t root = 0;
  uint32_t end = 0;  // first page after the tree
};

class TreeBuilder {
 public:
  TreeBuilder(const KeyShape& shape, int rec_bytes, uint32_t first_page, Tree& out)
      : shape_(shape), rec_bytes_(rec_bytes), next_(first_page), out_(out) {}

  void add(Entry&& e) {
    int trail = trailing_count(e.key, shape_.pad);
    if (open_.empty()) open_.push_back(&alloc(true));
    Node* leaf = open_[0];
    int dup =
        leaf->entries.empty() ? 0 : dup_count(leaf->entries.back().key, e.key, prev_trail_, trail);
    size_t cost = static_cast<size_t>(rec_bytes_ + shape_.length - dup - trail);
    if (!leaf->entries.empty() && used_ + cost > static_cast<size_t>(kLeafSpace)) {
      Node& next = alloc(true);
      link(*leaf, next);
      open_[0] = &next;
      push(1, *leaf);
      leaf = &next;
      used_ = 0;
      cost = static_cast<size_t>(rec_bytes_ + shape_.length - trail);
    }
    e.child = 0;
    leaf->entries.push_back(std::move(e));
    used_ += cost;
    prev_trail_ = trail;
  }

  void finish() {
    if (open_.empty()) open_.push_back(&alloc(true));
    for (size_t level = 0; level + 1 < open_.size(); ++level) push(level + 1, *open_[level]);
    Node* root = open_.back();
    root->root = true;
    out_.root = root->offset;
    out_.end = next_;
  }

 private:
  Node& alloc(bool leaf) {
    Node& n = out_.nodes.emplace_back();
    n.offset = next_;
    n.leaf = leaf;
    n.min_rec_bytes = leaf ? rec_bytes_ : 0;
    next_ += kPageSize;
    return n;
  }

  static void link(Node& a, Node& b) {
    a.right = b.offset;
    b.left = a.offset;
  }

  // Adds child's last entry to the node open on level.
  void push(size_t level, const Node& child) {
    Entry e{child.entries.back().key, child.entries.back().recno, child.offset};
    if (open_.size() <= level) open_.push_back(&alloc(false));
    Node* n = open_[level];
    if (n->entries.size() >= interior_capacity(shape_.length)) {
      Node& next = alloc(false);
      link(*n, next);
      open_[level] = &next;
      push(level + 1, *n);
      n = &next;
    }
    n->entries.push_back(std::move(e));
  }

  KeyShape shape_;
  int rec_bytes_;
  uint32_t next_;
  Tree& out_;
  std::vector<Node*> open_;  // the node being filled on each level, leaves first
  size_t used_ = 0;
  int prev_trail_ = 0;
};

// keys in tree order; they are moved into the leaves.
Tree build_tree(std::vector<Entry>& keys, const KeyShape& shape, uint32_t max_recno,
                uint32_t first_page) {
  Tree t;
  TreeBuilder b(shape, leaf_bits(shape.length, max_recno).rec_bytes, first_page, t);
  for (Entry& e : keys) b.add(std::move(e));
  b.finish();
  return t;
}

// Encodes the tree's pages into the image and hands its nodes over for the cache.
void put_tree(Tree& t, const KeyShape& shape, const std::string& file, std::vector<uint8_t>& image,
              std::vector<std::pair<Node, KeyShape>>& nodes) {
  for (Node& n : t.nodes) {
    if (!encode_node(n, shape, image.data() + n.offset))
      fail_page(file, n.offset, "built node does not fit in its page");
    if (n.leaf) n.stored_free = get_le16(image.data() + n.offset + 12);
    nodes.emplace_back(std::move(n), shape);
  }
}

// Tree order for keys of one length compared as unsigned bytes, then by record number: the
// first sixteen bytes, read as two big-endian numbers, settle most comparisons. Sorts indexes
// into v, not the keys themselves.
std::vector<uint32_t> byte_order(const std::vector<Entry>& v, size_t length) {
  struct Item {
    uint64_t head[2];
    uint32_t at;
  };
  const size_t head_len = std::min<size_t>(16, length);
  std::vector<Item> items(v.size());
  for (size_t i = 0; i < v.size(); ++i) {
    Item& it = items[i];
    it.head[0] = it.head[1] = 0;
    for (size_t j = 0; j < head_len; ++j)
      it.head[j / 8] |= static_cast<uint64_t>(static_cast<uint8_t>(v[i].key[j]))
                        << (56 - 8 * (j % 8));
    it.at = static_cast<uint32_t>(i);
  }
  std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
    if (a.head[0] != b.head[0]) return a.head[0] < b.head[0];
    if (a.head[1] != b.head[1]) return a.head[1] < b.head[1];
    const Entry& x = v[a.at];
    const Entry& y = v[b.at];
    if (length > head_len) {
      int c = std::memcmp(x.key.data() + head_len, y.key.data() + head_len, length - head_len);
      if (c != 0) return c < 0;
    }
    return x.recno < y.recno;
  });
  std::vector<uint32_t> order(items.size());
  for (size_t i = 0; i < items.size(); ++i) order[i] = items[i].at;
  return order;
}

// Puts one tag's keys into tree order, dropping later equal keys of a unique tag.
void sort_keys(const Tag& tag, std::vector<Entry>& v) {
  const size_t length = static_cast<size_t>(tag.shape().length);
  bool one_length =
      std::all_of(v.begin(), v.end(), [&](const Entry& e) { return e.key.size() == length; });
  if (tag.byte_order() && one_length && v.size() < 0xFFFFFFFFu) {
    std::vector<uint32_t> order = byte_order(v, length);
    std::vector<Entry> sorted;
    sorted.reserve(v.size());
    for (uint32_t i : order) sorted.push_back(std::move(v[i]));
    v = std::move(sorted);
  } else {
    std::stable_sort(v.begin(), v.end(),
                     [&](const Entry& a, const Entry& b) { return tag.less(a, b); });
  }
  if (tag.unique()) {
    auto same = [&](const Entry& a, const Entry& b) { return tag.compare_keys(a.key, b.key) == 0; };
    v.erase(std::unique(v.begin(), v.end(), same), v.end());
  }
}

}  // namespace

void BuildKeys::gather(const std::vector<Tag*>& tags, const RecordSource& rec) {
  max_recno = std::max(max_recno, rec.recno());
  for (size_t i = 0; i < tags.size(); ++i)
    if (auto k = tags[i]->key_of(rec)) keys[i].push_back(Entry{std::move(*k), rec.recno(), 0});
}

void BuildKeys::sort(const std::vector<Tag*>& tags, size_t i) { sort_keys(*tags[i], keys[i]); }

void build_file(Store& store, const std::vector<Tag*>& tags, RecordScanner& table,
                uint32_t counter) {
  BuildKeys k;
  k.keys.resize(tags.size());
  table.scan([&](const RecordSource& rec) { k.gather(tags, rec); });
  k.keys.resize(tags.size());
  for (size_t i = 0; i < tags.size(); ++i) k.sort(tags, i);
  write_file(store, tags, k, counter);
}

void write_file(Store& store, const std::vector<Tag*>& tags, BuildKeys& built, uint32_t counter) {
  std::vector<std::vector<Entry>>& keys = built.keys;
  keys.resize(tags.size());
  const uint32_t max_recno = built.max_recno;

  // The directory's record numbers are the header offsets, which follow the directory tree:
  // size the tree until the offsets it was built with hold.
  const KeyShape dir_shape{kTagNameLength, ' '};
  std::vector<size_t> by_name(tags.size());
  for (size_t i = 0; i < tags.size(); ++i) by_name[i] = i;
  std::sort(by_name.begin(), by_name.end(),
            [&](size_t a, size_t b) { return tags[a]->tag_name() < tags[b]->tag_name(); });
  Tree dir;
  uint32_t dir_pages = 1;
  for (int round = 0; round < 8; ++round) {
    std::vector<Entry> names;
    for (size_t i : by_name) {
      std::string key = tags[i]->tag_name();
      key.resize(kTagNameLength, ' ');
      names.push_back(
          Entry{key, kHeaderSize + dir_pages * kPageSize + uint32_t(i) * kHeaderSize, 0});
    }
    uint32_t max_off = names.empty() ? 0
                                     : kHeaderSize + dir_pages * kPageSize +
                                           uint32_t(tags.size() - 1) * kHeaderSize;
    dir = build_tree(names, dir_shape, max_off, kHeaderSize);
    uint32_t pages = static_cast<uint32_t>(dir.nodes.size());
    if (pages == dir_pages) break;
    dir_pages = pages;
  }
  const uint32_t headers_at = dir.end;
  uint32_t next = headers_at + static_cast<uint32_t>(tags.size()) * kHeaderSize;
  std::vector<Tree> trees;
  for (size_t i = 0; i < tags.size(); ++i) {
    trees.push_back(build_tree(keys[i], tags[i]->shape(), max_recno, next));
    next = trees.back().end;
  }

  std::vector<uint8_t> image(next, 0);
  std::vector<std::pair<Node, KeyShape>> nodes;
  write_directory_header(dir.root, 0, counter, image.data());
  put_tree(dir, dir_shape, store.path(), image, nodes);
  for (size_t i = 0; i < tags.size(); ++i) {
    uint32_t hdr = headers_at + static_cast<uint32_t>(i) * kHeaderSize;
    TagInfo info = tags[i]->info();
    info.root = trees[i].root;
    write_tag_header(info, image.data() + hdr);
    put_tree(trees[i], tags[i]->shape(), store.path(), image, nodes);
    tags[i]->relocate(hdr, trees[i].root);
  }
  store.drop_cache();
  store.write_whole(image);
  store.rewritten(image.size(), counter, std::move(nodes));
}

}  // namespace xbase::cdx
