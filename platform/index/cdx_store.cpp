// Page I/O of one CDX file: 512-byte tree pages, the free list (u32 LE head at offset 4, each
// free page holding the next one in its first 4 bytes), the change counter (u32 BE at offset
// 8) and the index lock byte at 0x7FFFFFFE.
#include "platform/index/cdx_store.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/file/replace_file.h"
#include "platform/table/table_error.h"

namespace xbase::cdx {
namespace {

constexpr int kLockTries = 300;
// A page is read with the others of its aligned block: a built tree keeps neighbouring
// leaves side by side, and a read costs about the same for 512 bytes or a few KB. A file no
// larger than what is held for it is read in 64 KB blocks, so that seeks spread over it read
// it once in a hundred-odd calls; a larger one in 4 KB blocks, which seeks spread over it
// mostly read for one page.
constexpr uint32_t kReadBlock = 4096;
constexpr uint32_t kWideBlock = 65536;
static_assert(kWideBlock / kPageSize == Store::kMaxBlockPages, "a held block marks each page");
// Bytes held for unread pages: enough for a walk over a large tag to find its neighbours
// still there, and a bound on what seeks spread over a huge one keep.
constexpr size_t kAheadBytes = size_t{8} << 20;
std::atomic<size_t> g_ahead_bytes{kAheadBytes};

[[noreturn]] void io_failed(const FileError& e, int generic) {
  throw TableError(generic, e.os_code(), e.path(), e.what());
}

}  // namespace

size_t read_ahead_bytes() { return g_ahead_bytes; }
void set_read_ahead_bytes(size_t bytes) { g_ahead_bytes = bytes; }

Store::Store(std::unique_ptr<File> file, std::string path, bool shared, bool read_only)
    : file_(std::move(file)), path_(std::move(path)), shared_(shared), read_only_(read_only) {}

Store::~Store() = default;

void Store::read_exact(uint64_t off, void* buf, size_t n) {
  size_t got = 0;
  try {
    got = file_->read_at(off, buf, n);
  } catch (const FileError& e) {
    io_failed(e, kErrRead);
  }
  if (got != n)
    fail_page(path_, static_cast<uint32_t>(off & ~uint64_t{kPageSize - 1}), "file is cut short");
}

void Store::write(uint64_t off, const void* buf, size_t n) {
  for (uint64_t p = off / kPageSize * kPageSize; p < off + n && !ahead_.empty(); p += kPageSize)
    forget_ahead(static_cast<uint32_t>(p));
  try {
    file_->write_at(off, buf, n);
  } catch (const FileError& e) {
    io_failed(e, kErrWrite);
  }
}

void Store::truncate(uint64_t size) {
  ahead_.clear();
  ahead_order_.clear();
  try {
    file_->truncate(size);
  } catch (const FileError& e) {
    io_failed(e, kErrWrite);
  }
}

void Store::write_whole(const std::vector<uint8_t>& image) {
  check_open();
  if (shared_) {
    write(0, image.data(), image.size());
    truncate(image.size());
    return;
  }
  try {
    replace_file(file_, path_, ShareMode::kExclusive, image);
  } catch (const FileError& e) {
    io_failed(e, kErrWrite);
  }
}

void Store::sync() {
  try {
    file_->sync();
  } catch (const FileError& e) {
    io_failed(e, kErrWrite);
  }
}

void Store::check_page(uint32_t off, const char* what) const {
  if (off % kPageSize != 0 || off < kPageSize || off + uint64_t{kPageSize} > end_)
    fail_page(path_, off, std::string(what) + " is not a page of the file");
}

Node& Store::load(uint32_t off, const KeyShape& shape) {
  auto it = cache_.find(off);
  if (it != cache_.end()) {
    if (it->second.shape.length != shape.length || it->second.shape.pad != shape.pad)
      fail_page(path_, off, "page is used by two tags of different keys");
    return it->second.node;
  }
  check_page(off, "tree pointer");
  if (freed_.count(off)) fail_page(path_, off, "tree points to a free page");
  auto patched = patched_.find(off);
  uint8_t page[kPageSize];
  if (patched == patched_.end())
    read_page(off, page);
  else
    std::memcpy(page, patched->second.data(), kPageSize);
  Cached c;
  c.shape = shape;
  decode_node(page, off, shape, path_, &c.node);
  Node& n = cache_.emplace(off, std::move(c)).first->second.node;
  if (patched != patched_.end()) {
    // Its change is still to be written, now from the node.
    patched_.erase(patched);
    n.dirty = true;
    dirty_pages_.push_back(off);
  }
  return n;
}

void Store::set_left(uint32_t off, uint32_t left, uint32_t from, bool leaf, const KeyShape& shape) {
  auto cached = cache_.find(off);
  if (cached != cache_.end()) {
    if (cached->second.shape.length != shape.length || cached->second.shape.pad != shape.pad)
      fail_page(path_, off, "page is used by two tags of different keys");
    cached->second.node.left = left;
    touch(cached->second.node);
    return;
  }
  check_page(off, "tree pointer");
  if (freed_.count(off)) fail_page(path_, off, "tree points to a free page");
  auto it = patched_.find(off);
  if (it == patched_.end()) {
    std::vector<uint8_t> page(kPageSize);
    read_page(off, page.data());
    // What decoding would have refused is refused here too, before anything changes.
    const uint16_t attr = get_le16(page.data());
    if (attr > (kAttrRoot | kAttrLeaf) || ((attr & kAttrLeaf) != 0) != leaf)
      fail_page(path_, off, "sibling is on another tree level");
    if (get_le32(page.data() + 4) != from)
      fail_page(path_, off, "sibling links disagree with " + page_name(from));
    it = patched_.emplace(off, std::move(page)).first;
  }
  put_le32(it->second.data() + 4, left);
  dirty_ = true;
  ++generation_;
}

const uint8_t* Store::ahead_page(uint32_t off) {
  auto it = ahead_.find(off / block_);
  if (it == ahead_.end()) return nullptr;
  const Ahead& a = it->second;
  if (!a.pages.test(off % block_ / kPageSize) || off < a.start ||
      off + kPageSize > a.start + a.bytes.size())
    return nullptr;
  return a.bytes.data() + (off - a.start);
}

void Store::forget_ahead(uint32_t off) {
  auto it = ahead_.find(off / block_);
  if (it == ahead_.end()) return;
  it->second.pages.reset(off % block_ / kPageSize);
  if (it->second.pages.none()) ahead_.erase(it);
}

void Store::read_page(uint32_t off, uint8_t* page) {
  if (const uint8_t* held = ahead_page(off)) {
    std::memcpy(page, held, kPageSize);
    forget_ahead(off);
    return;
  }
  const size_t held = g_ahead_bytes;
  const uint32_t block = end_ <= held ? kWideBlock : kReadBlock;
  if (block != block_) {  // blocks are found by number: none of the other size may stay
    ahead_.clear();
    ahead_order_.clear();
    block_ = block;
  }
  const uint64_t start = std::max<uint64_t>(kPageSize, uint64_t{off} / block * block);
  const uint64_t stop = std::min<uint64_t>(end_, (uint64_t{off} / block + 1) * block);
  if (stop <= start + kPageSize) {
    read_exact(off, page, kPageSize);
    return;
  }
  const uint32_t number = off / block;
  const size_t most = std::max<size_t>(1, held / block);
  Ahead a;
  if (ahead_.size() >= most) {
    // The oldest block gives its buffer to this one.
    while (!ahead_order_.empty()) {
      auto old = ahead_.find(ahead_order_.front());
      ahead_order_.pop_front();
      if (old == ahead_.end()) continue;
      a.bytes = std::move(old->second.bytes);
      ahead_.erase(old);
      break;
    }
  }
  ahead_.erase(number);
  a.start = start;
  a.bytes.resize(stop - start);
  size_t got = 0;
  try {
    got = file_->read_at(start, a.bytes.data(), a.bytes.size());
  } catch (const FileError& e) {
    io_failed(e, kErrRead);
  }
  if (got < off - start + kPageSize) fail_page(path_, off, "file is cut short");
  std::memcpy(page, a.bytes.data() + (off - start), kPageSize);
  a.bytes.resize(got);
  for (uint64_t p = start; p + kPageSize <= start + got; p += kPageSize) {
    const auto at = static_cast<uint32_t>(p);
    if (at == off || cache_.count(at) || freed_.count(at) || patched_.count(at)) continue;
    a.pages.set(at % block / kPageSize);
  }
  if (a.pages.none()) return;
  ahead_.emplace(number, std::move(a));
  ahead_order_.push_back(number);
  if (ahead_order_.size() > 2 * most) {
    // Numbers of blocks long gone pile up behind the live ones: keep only the live ones.
    std::deque<uint32_t> live;
    for (uint32_t n : ahead_order_)
      if (ahead_.count(n)) live.push_back(n);
    ahead_order_ = std::move(live);
  }
}

uint32_t Store::pop_free() {
  if (free_head_ == 0 || free_head_ == kNoPage) return 0;
  uint32_t page = free_head_;
  check_page(page, "free list");
  if (cache_.count(page) || patched_.count(page))
    fail_page(path_, page, "free list names a page in use");
  uint32_t next;
  auto it = freed_.find(page);
  if (it != freed_.end()) {
    next = it->second;
    freed_.erase(it);
  } else {
    // A free page holds the next one's offset and zeros; anything else is a page in use.
    uint8_t b[kPageSize];
    read_exact(page, b, kPageSize);
    for (uint32_t i = 4; i < kPageSize; ++i)
      if (b[i] != 0) fail_page(path_, page, "free list names a page in use");
    next = get_le32(b);
  }
  free_head_ = next;
  dirty_ = true;
  return page;
}

Node& Store::create(const KeyShape& shape, bool leaf) {
  uint32_t off = pop_free();
  if (off == 0) {
    off = static_cast<uint32_t>(end_);
    end_ += kPageSize;
  }
  forget_ahead(off);
  Cached c;
  c.shape = shape;
  c.node.offset = off;
  c.node.leaf = leaf;
  Node& n = cache_.insert_or_assign(off, std::move(c)).first->second.node;
  touch(n);
  return n;
}

void Store::release(uint32_t off) {
  cache_.erase(off);
  patched_.erase(off);
  forget_ahead(off);
  freed_[off] = free_head_;
  free_head_ = off;
  dirty_ = true;
  ++generation_;
}

void Store::lock_index(bool exclusive) {
  for (int attempt = 0; attempt < kLockTries; ++attempt) {
    bool got = false;
    try {
      got = file_->lock(kIndexLockPos, 1, exclusive);
    } catch (const FileError& e) {
      io_failed(e, kErrLock);
    }
    if (got) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  throw TableError(kErrLock, 0, path_, "CDX index lock is held by another station");
}

void Store::unlock_index() {
  try {
    file_->unlock(kIndexLockPos, 1);
  } catch (const FileError& e) {
    io_failed(e, kErrLock);
  }
}

void Store::check_open() const {
  if (!file_) throw TableError(kErrClose, 0, path_, "CDX index is closed");
}

void Store::refresh_version() {
  // A file being created is still empty: its version reads as zeros.
  uint8_t v[8] = {};
  try {
    file_->read_at(kHdrFree, v, sizeof v);
  } catch (const FileError& e) {
    io_failed(e, kErrRead);
  }
  if (known_ && std::memcmp(v, version_, sizeof v) == 0) return;
  cache_.clear();
  dirty_pages_.clear();
  ahead_.clear();
  ahead_order_.clear();
  freed_.clear();
  patched_.clear();
  std::memcpy(version_, v, sizeof v);
  free_head_ = get_le32(v);
  counter_ = get_be32(v + 4);
  uint64_t size = 0;
  try {
    size = file_->size();
  } catch (const FileError& e) {
    io_failed(e, kErrRead);
  }
  end_ = (size + kPageSize - 1) / kPageSize * kPageSize;
  known_ = true;
  dirty_ = false;
  ++generation_;
  ++reloads_;
}

void Store::begin_read() {
  check_open();
  if (shared_ && lock_depth_ > 0) {
    ++lock_depth_;
  } else if (shared_) {
    lock_index(false);
    lock_depth_ = 1;
    try {
      refresh_version();
    } catch (...) {
      lock_depth_ = 0;
      unlock_index();
      throw;
    }
  } else if (!known_) {
    refresh_version();
  }
}

void Store::end_read() {
  if (shared_ && lock_depth_ > 0 && --lock_depth_ == 0 && file_) unlock_index();
}

void Store::begin_write() {
  check_open();
  if (read_only_) throw TableError(kErrReadOnly, 0, path_, "CDX index is open read-only");
  if (!shared_) {
    if (!known_) refresh_version();
    return;
  }
  if (lock_depth_ != 0)
    throw TableError(kErrLock, 0, path_, "CDX write lock asked for inside a read lock");
  lock_index(true);
  lock_depth_ = 1;
  write_locked_ = true;
  try {
    refresh_version();
  } catch (...) {
    abandon_write();
    throw;
  }
}

void Store::end_write() {
  if (!shared_) return;
  try {
    if (dirty_) write_changes();
  } catch (...) {
    abandon_write();
    throw;
  }
  lock_depth_ = 0;
  write_locked_ = false;
  unlock_index();
}

void Store::abandon_write() {
  drop_cache();
  if (shared_ && write_locked_) {
    lock_depth_ = 0;
    write_locked_ = false;
    try {
      unlock_index();
    } catch (const TableError&) {
      // The write already failed; that error is the one to report.
    }
  }
}

void Store::write_changes() {
  // Every changed page is encoded (which may fail) before any is written, in file order into
  // buffers of 256 pages (no block the size of a whole commit); adjacent pages go out in one
  // call, as a network folder counts calls. A page is a node, a patched page or a freed one;
  // were it two, the later kind wins.
  enum Kind { kNode, kPatched, kFreed };
  std::vector<std::pair<uint32_t, Kind>> order;
  order.reserve(dirty_pages_.size() + patched_.size() + freed_.size());
  for (uint32_t off : dirty_pages_) {
    auto it = cache_.find(off);
    if (it != cache_.end() && it->second.node.dirty) order.emplace_back(off, kNode);
  }
  for (const auto& p : patched_) order.emplace_back(p.first, kPatched);
  for (const auto& f : freed_) order.emplace_back(f.first, kFreed);
  std::sort(order.begin(), order.end());
  std::vector<std::pair<uint32_t, Kind>> pages;
  for (size_t i = 0; i < order.size(); ++i)
    if (i + 1 == order.size() || order[i + 1].first != order[i].first) pages.push_back(order[i]);
  constexpr size_t kChunkPages = 256;
  std::vector<std::vector<uint8_t>> chunks((pages.size() + kChunkPages - 1) / kChunkPages);
  for (size_t c = 0; c < chunks.size(); ++c)
    chunks[c].assign(std::min(kChunkPages, pages.size() - c * kChunkPages) * kPageSize, 0);
  auto slot = [&](size_t i) {
    return chunks[i / kChunkPages].data() + i % kChunkPages * kPageSize;
  };
  for (size_t i = 0; i < pages.size(); ++i) {
    const uint32_t off = pages[i].first;
    uint8_t* buf = slot(i);
    if (pages[i].second == kNode) {
      Cached& c = cache_.find(off)->second;
      if (!encode_node(c.node, c.shape, buf))
        fail_page(path_, off, "node does not fit in its page");
      if (c.node.leaf) c.node.stored_free = get_le16(buf + 12);
    } else if (pages[i].second == kPatched) {
      std::memcpy(buf, patched_.find(off)->second.data(), kPageSize);
    } else {
      put_le32(buf, freed_.find(off)->second);
    }
  }
  for (size_t i = 0; i < pages.size();) {
    size_t j = i + 1;
    while (j < pages.size() && j % kChunkPages != 0 &&
           pages[j].first == pages[j - 1].first + kPageSize)
      ++j;
    write(pages[i].first, slot(i), (j - i) * kPageSize);
    i = j;
  }
  ++counter_;
  put_le32(version_, free_head_);
  put_be32(version_ + 4, counter_);
  write(kHdrFree, version_, sizeof version_);
  for (uint32_t off : dirty_pages_) {
    auto it = cache_.find(off);
    if (it != cache_.end()) it->second.node.dirty = false;
  }
  dirty_pages_.clear();
  freed_.clear();
  patched_.clear();
  dirty_ = false;
}

bool Store::flush() {
  if (shared_ || !dirty_ || !file_) return false;
  try {
    write_changes();
  } catch (...) {
    drop_cache();
    throw;
  }
  return true;
}

void Store::rewritten(uint64_t size, uint32_t counter) {
  drop_cache();
  free_head_ = 0;
  counter_ = counter;
  put_le32(version_, 0);
  put_be32(version_ + 4, counter);
  end_ = size;
  known_ = true;
}

void Store::drop_cache() {
  cache_.clear();
  dirty_pages_.clear();
  ahead_.clear();
  ahead_order_.clear();
  freed_.clear();
  patched_.clear();
  known_ = false;
  dirty_ = false;
  ++generation_;
}

}  // namespace xbase::cdx
