// Bulk build of a whole CDX file, laid out as Harbour lays out a new one:
//   0x000 directory header, 0x400 directory tree (tag names -> header offsets),
//   then the tag headers (1024 bytes each), then each tag's tree. Leaves are packed as full
//   as their 488 bytes allow, interior nodes up to capacity; a parent page is allocated when
//   its first child is full, right after that child's successor.
#include <algorithm>
#include <deque>

#include "platform/index/cdx_bag.h"
#include "platform/table/table_error.h"

namespace xbase::cdx {
namespace {

// Lays out one tree page by page, each page encoded into the image as soon as it is
// complete: only the page open on each level is held, never the whole tree.
class TreeWriter {
 public:
  TreeWriter(const KeyShape& shape, int rec_bytes, uint32_t first_page, std::vector<uint8_t>& image,
             const std::string& file)
      : shape_(shape), rec_bytes_(rec_bytes), next_(first_page), image_(image), file_(file) {}

  void add(std::string_view key, uint32_t recno) {
    int trail = trailing_count(key, shape_.pad);
    if (open_.empty()) open_.push_back(fresh(true));
    Node* leaf = &open_[0];
    int dup =
        leaf->entries.empty() ? 0 : dup_count(leaf->entries.back().key, key, prev_trail_, trail);
    size_t cost = static_cast<size_t>(rec_bytes_ + shape_.length - dup - trail);
    if (!leaf->entries.empty() && used_ + cost > static_cast<size_t>(kLeafSpace)) {
      Node next = fresh(true);
      link(*leaf, next);
      push(1, *leaf);
      emit(open_[0]);
      spare_ = std::move(open_[0].entries);
      open_[0] = std::move(next);
      leaf = &open_[0];
      used_ = 0;
      cost = static_cast<size_t>(rec_bytes_ + shape_.length - trail);
    }
    // The keys of the leaf put out last lend their strings: no allocation per key.
    if (spare_.size() > leaf->entries.size()) {
      Entry& e = spare_[leaf->entries.size()];
      e.key.assign(key);
      e.recno = recno;
      leaf->entries.push_back(std::move(e));
    } else {
      leaf->entries.push_back(Entry{KeyBytes(key), recno, 0});
    }
    used_ += cost;
    prev_trail_ = trail;
  }

  // Puts out the pages still open; returns the root's offset.
  uint32_t finish() {
    if (open_.empty()) open_.push_back(fresh(true));
    for (size_t level = 0; level + 1 < open_.size(); ++level) push(level + 1, open_[level]);
    open_.back().root = true;
    for (Node& n : open_) emit(n);
    return open_.back().offset;
  }

  uint32_t end() const { return next_; }  // first page after the tree

 private:
  Node fresh(bool leaf) {
    Node n;
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
    if (open_.size() <= level) open_.push_back(fresh(false));
    if (open_[level].entries.size() >= interior_capacity(shape_.length)) {
      Node next = fresh(false);
      link(open_[level], next);
      push(level + 1, open_[level]);
      emit(open_[level]);
      open_[level] = std::move(next);
    }
    open_[level].entries.push_back(std::move(e));
  }

  void emit(const Node& n) {
    if (image_.size() < n.offset + size_t{kPageSize}) image_.resize(n.offset + size_t{kPageSize});
    if (!encode_node(n, shape_, image_.data() + n.offset))
      fail_page(file_, n.offset, "built node does not fit in its page");
  }

  KeyShape shape_;
  int rec_bytes_;
  uint32_t next_;
  std::vector<uint8_t>& image_;
  const std::string& file_;
  std::deque<Node> open_;  // the node being filled on each level, leaves first
  std::vector<Entry> spare_;
  size_t used_ = 0;
  int prev_trail_ = 0;
};

}  // namespace

void build_file(Store& store, const std::vector<Tag*>& tags, RecordScanner& table,
                uint32_t counter) {
  BuildKeys k;
  k.keys.resize(tags.size());
  table.scan([&](const RecordSource& rec) { k.gather(tags, rec); });
  for (size_t i = 0; i < tags.size(); ++i) k.sort(tags, i);
  write_file(store, tags, k, counter);
}

void write_file(Store& store, const std::vector<Tag*>& tags, BuildKeys& built, uint32_t counter) {
  put_file(store, tags, lay_out_file(store.path(), tags, built, counter));
}

BuiltFile lay_out_file(const std::string& file, const std::vector<Tag*>& tags,
                       const BuildKeys& built, uint32_t counter) {
  // The directory's record numbers are the header offsets, which follow the directory tree:
  // size the tree until the offsets it was built with hold.
  const KeyShape dir_shape{kTagNameLength, ' '};
  std::vector<size_t> by_name(tags.size());
  for (size_t i = 0; i < tags.size(); ++i) by_name[i] = i;
  std::sort(by_name.begin(), by_name.end(),
            [&](size_t a, size_t b) { return tags[a]->tag_name() < tags[b]->tag_name(); });
  BuiltFile out;
  std::vector<uint8_t>& image = out.image;
  uint32_t dir_root = 0, headers_at = 0;
  uint32_t dir_pages = 1;
  for (int round = 0; round < 8; ++round) {
    image.assign(kHeaderSize, 0);
    const uint32_t first_header = kHeaderSize + dir_pages * kPageSize;
    uint32_t max_off =
        tags.empty() ? 0 : first_header + static_cast<uint32_t>(tags.size() - 1) * kHeaderSize;
    TreeWriter dir(dir_shape, leaf_bits(dir_shape.length, max_off).rec_bytes, kHeaderSize, image,
                   file);
    for (size_t i : by_name) {
      std::string key = tags[i]->tag_name();
      key.resize(kTagNameLength, ' ');
      dir.add(key, first_header + static_cast<uint32_t>(i) * kHeaderSize);
    }
    dir_root = dir.finish();
    headers_at = dir.end();
    uint32_t pages = (headers_at - kHeaderSize) / kPageSize;
    if (pages == dir_pages) break;
    dir_pages = pages;
  }
  uint32_t next = headers_at + static_cast<uint32_t>(tags.size()) * kHeaderSize;
  image.resize(next, 0);
  write_directory_header(dir_root, 0, counter, image.data());
  for (size_t i = 0; i < tags.size(); ++i) {
    const KeyShape& shape = tags[i]->shape();
    TreeWriter tree(shape, leaf_bits(shape.length, built.max_recno).rec_bytes, next, image, file);
    if (i < built.keys.size()) {
      const TagKeys& k = built.keys[i];
      if (k.runs.empty()) {
        // The keys are read in tree order, scattered over the gathered bytes: asking for a
        // key some steps ahead hides most of the wait for memory.
        constexpr size_t kAhead = 16;
        const size_t n = k.order.size();
        for (size_t j = 0; j < n; ++j) {
          if (j + kAhead < n) {
            const uint32_t ahead = k.order[j + kAhead];
            __builtin_prefetch(k.bytes.data() + size_t{ahead} * k.width);
            __builtin_prefetch(k.recnos.data() + ahead);
          }
          const uint32_t at = k.order[j];
          tree.add(k.key(at), k.recnos[at]);
        }
      } else {
        OrderedKeys merged(*tags[i], k, built.runs.get());
        std::string_view key;
        uint32_t recno = 0;
        while (merged.next(&key, &recno)) tree.add(key, recno);
      }
    }
    uint32_t root = tree.finish();
    next = tree.end();
    uint32_t hdr = headers_at + static_cast<uint32_t>(i) * kHeaderSize;
    TagInfo info = tags[i]->info();
    info.root = root;
    write_tag_header(info, image.data() + hdr);
    out.tags.emplace_back(hdr, root);
  }
  // The image waits for its turn to be written beside the other bags' images: without the
  // slack of its growth.
  image.shrink_to_fit();
  out.counter = counter;
  return out;
}

void put_file(Store& store, const std::vector<Tag*>& tags, const BuiltFile& built) {
  store.drop_cache();
  store.write_whole(built.image);
  store.rewritten(built.image.size(), built.counter);
  // Only now: until the new file is in place the tags must keep pointing into the old one.
  for (size_t i = 0; i < tags.size(); ++i)
    tags[i]->relocate(built.tags[i].first, built.tags[i].second);
}

}  // namespace xbase::cdx
