// The pages of one NTX file in memory: reads and checks them once, journals the changes of
// an operation so that a failed one leaves neither the cache nor the file changed, writes
// changed pages and then the header, and takes the index lock in shared mode.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/file/file.h"
#include "platform/index/ntx_format.h"
#include "platform/index/ntx_page.h"
#include "platform/table/table_error.h"

namespace xbase::ntx {

class PageStore {
 public:
  PageStore(std::unique_ptr<File> file, std::string path, bool shared, bool read_only);
  ~PageStore();

  // Adopts a parsed header; the file's size bounds every page reference from now on.
  void init(const Header& h);
  const std::string& path() const { return path_; }
  const Header& header() const { return header_; }
  const Geometry& geometry() const { return geom_; }
  bool shared() const { return shared_; }
  bool read_only() const { return read_only_; }
  File& file() { return *file_; }
  // Closes the file; the header stays readable.
  void release_file();

  // A checked tree page (from the cache, else read and checked once).
  const PageBytes& page(uint32_t off);
  // The page for changing it inside an operation (journalled, written on write_out()).
  PageBytes& page_mut(uint32_t off);
  // A fresh empty page: the head of the free list, else a new page at the end of the file.
  uint32_t alloc();
  // Puts a page that the tree no longer uses on the free list.
  void release(uint32_t off);
  // The page after off on the free list (0 at the end), checked.
  uint32_t free_next(uint32_t off);
  void set_root(uint32_t off);

  // An operation that changes pages: commit() keeps its changes, rollback() undoes them.
  void begin();
  void commit();
  void rollback();
  bool dirty() const { return dirty_; }
  // Changed pages in file order, then the 12 head bytes with the version advanced.
  void write_out();
  void sync();

  // Index lock (shared mode): retried for a while, then TableError with generic 41.
  void lock(bool exclusive);
  void unlock();
  // Re-reads the head of the header; forgets cached pages when another process changed it.
  void refresh();
  // Replaces the whole file: header page, then pages from offset 1024 in order.
  void replace(const Header& h, const std::vector<PageBytes>& pages);
  // Changes whenever cached pages may have changed: cursors built before must re-find.
  uint64_t generation() const { return generation_; }
  void touch() { ++generation_; }

  [[noreturn]] void fail(uint32_t page, const std::string& what,
                         int generic = kErrCorruption) const;

 private:
  struct Entry {
    PageBytes bytes;
    bool dirty = false;
  };
  struct Saved {
    uint32_t root, free_head;
    uint64_t file_end;
    bool dirty;
  };
  Entry& load(uint32_t off);
  void journal(uint32_t off);
  void drop_cache();
  size_t read(uint64_t off, void* buf, size_t n);

  std::unique_ptr<File> file_;
  std::string path_;
  bool shared_;
  bool read_only_;
  bool locked_ = false;
  Header header_;
  Geometry geom_;
  uint64_t file_end_ = 0;  // end of the pages, including ones not yet written
  std::unordered_map<uint32_t, Entry> cache_;
  // Every page made dirty since the last write (some clean again after a rollback): a flush
  // looks at these, not at the whole cache.
  std::vector<uint32_t> dirty_pages_;
  bool in_op_ = false;
  std::unordered_map<uint32_t, std::optional<Entry>> journal_;
  Saved saved_{};
  bool dirty_ = false;
  bool written_ = false;  // data handed to the OS since the last sync
  uint64_t generation_ = 0;
};

}  // namespace xbase::ntx
