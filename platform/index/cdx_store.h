// The pages of one open CDX file, shared by all its tags: node cache, page allocation and
// the free list (head at offset 4), the index lock (1 byte at 0x7FFFFFFE) and the change
// counter (offset 8, BE) that tells a shared opener when another station changed the file.
#pragma once

#include <bitset>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/file/file.h"
#include "platform/index/cdx_node.h"

namespace xbase::cdx {

class Store {
 public:
  static constexpr size_t kMaxBlockPages = 128;  // pages of the largest block read at once
  Store(std::unique_ptr<File> file, std::string path, bool shared, bool read_only);
  ~Store();

  const std::string& path() const { return path_; }
  bool shared() const { return shared_; }
  bool read_only() const { return read_only_; }
  // Changes whenever the cache was dropped or a tree changed: cursors re-find their place.
  uint64_t generation() const { return generation_; }
  // Counts the times the cache was emptied (another station's change, or a rewrite).
  uint64_t reloads() const { return reloads_; }
  uint64_t end() const { return end_; }

  // Reads exactly n bytes or throws (corruption: the file is cut short at that page).
  void read_exact(uint64_t off, void* buf, size_t n);
  void write(uint64_t off, const void* buf, size_t n);
  void truncate(uint64_t size);
  // The whole file anew. Held exclusively, it is swapped in by rename (a crash leaves the old
  // file or the new one, whole); shared, it is written in place under the index lock.
  void write_whole(const std::vector<uint8_t>& image);
  void sync();
  // Throws unless off may be a tree page of this file.
  void check_page(uint32_t off, const char* what) const;

  // The node at off, read on first use. Interior and leaf pages of one tag share the shape.
  Node& load(uint32_t off, const KeyShape& shape);
  // A fresh dirty node on a page from the free list or the end of the file.
  Node& create(const KeyShape& shape, bool leaf);
  // Points the left link of the page at off to left; from is the page whose right
  // neighbour it is. A page not decoded yet is changed as the file holds it: a split must not
  // decode (and keep) a whole leaf to move one link.
  void set_left(uint32_t off, uint32_t left, uint32_t from, bool leaf, const KeyShape& shape);
  // Puts the page on the free list (written on the next flush).
  void release(uint32_t off);
  void touch(Node& n) {
    if (!n.dirty) dirty_pages_.push_back(n.offset);
    n.dirty = true;
    n.key_bytes = -1;
    dirty_ = true;
    ++generation_;
  }

  // Shared mode: every operation holds the index lock; exclusive mode: no-ops.
  void begin_read();
  void end_read();
  void begin_write();
  // Writes the changed pages and the free-list head with the counter advanced, then unlocks.
  void end_write();
  // Leaves a failed write: changed pages are dropped unwritten, the lock released.
  void abandon_write();

  // Exclusive mode: writes what changed (pages, then free list and counter); true if it did.
  bool flush();
  // The file was written anew as size bytes with this counter and no free pages.
  void rewritten(uint64_t size, uint32_t counter);
  // The file was just created empty: nothing to read.
  void created() {
    known_ = true;
    end_ = 0;
  }
  // Forgets every cached page and re-reads the file's size, free list and counter.
  void drop_cache();
  uint32_t counter() const { return counter_; }
  // Lets go of the file; any later use throws.
  void close() { file_.reset(); }
  bool is_open() const { return file_ != nullptr; }

 private:
  struct Cached {
    Node node;
    KeyShape shape;
  };
  void lock_index(bool exclusive);
  void unlock_index();
  void refresh_version();
  void check_open() const;
  // A tree page's bytes: from the pages read ahead, or read with the rest of its block.
  void read_page(uint32_t off, uint8_t* page);
  void write_changes();
  uint32_t pop_free();

  std::unique_ptr<File> file_;
  std::string path_;
  bool shared_;
  bool read_only_;
  std::unordered_map<uint32_t, Cached> cache_;  // references stay valid while others come
  std::map<uint32_t, uint32_t> freed_;          // freed pages not yet written -> next free page
  // Pages changed without being decoded (set_left), as they will be written.
  std::map<uint32_t, std::vector<uint8_t>> patched_;
  // Every page made dirty since the last write (some since freed or clean again): a commit
  // encodes what changed, not the whole cache.
  std::vector<uint32_t> dirty_pages_;
  // Blocks read for one of their pages, the others not decoded yet, as the file holds them:
  // one buffer per block (a buffer per page cost more in allocations than the reads saved),
  // and a bounded number of them, the oldest let go first.
  struct Ahead {
    uint64_t start = 0;  // file offset of bytes[0]
    std::vector<uint8_t> bytes;
    std::bitset<kMaxBlockPages> pages;  // bit k: the block's page k is here and still wanted
  };
  uint32_t block_ = 4096;  // the size blocks are read in now (by the file's size)
  const uint8_t* ahead_page(uint32_t off);
  void forget_ahead(uint32_t off);
  std::unordered_map<uint32_t, Ahead> ahead_;  // by block number
  std::deque<uint32_t> ahead_order_;           // block numbers, oldest first (some gone)
  uint32_t free_head_ = 0;
  uint32_t counter_ = 0;
  uint8_t version_[8] = {};  // bytes 4..11 as last seen
  bool known_ = false;       // version_ and end_ describe the file
  bool dirty_ = false;
  uint64_t end_ = 0;  // size of the file with the pages allocated so far
  uint64_t generation_ = 1;
  uint64_t reloads_ = 1;
  int lock_depth_ = 0;
  bool write_locked_ = false;
};

// What each store holds of blocks read for pages not decoded yet; a file no larger is read in
// 64 KB blocks. Tests lower it to reach the 4 KB blocks of large files with small ones.
size_t read_ahead_bytes();
void set_read_ahead_bytes(size_t bytes);

// Holds the store's read lock for one operation.
class ReadScope {
 public:
  explicit ReadScope(Store& s) : s_(s) { s_.begin_read(); }
  ~ReadScope() {
    try {
      s_.end_read();
    } catch (...) {
      // An unlock that fails leaves nothing to repair here; the next lock reports it.
    }
  }
  ReadScope(const ReadScope&) = delete;
  ReadScope& operator=(const ReadScope&) = delete;

 private:
  Store& s_;
};

// Holds the write lock; without commit() (an exception) the changes are dropped unwritten.
class WriteScope {
 public:
  explicit WriteScope(Store& s) : s_(s) { s_.begin_write(); }
  ~WriteScope() {
    if (!done_) s_.abandon_write();
  }
  void commit() {
    done_ = true;
    s_.end_write();
  }
  WriteScope(const WriteScope&) = delete;
  WriteScope& operator=(const WriteScope&) = delete;

 private:
  Store& s_;
  bool done_ = false;
};

}  // namespace xbase::cdx
