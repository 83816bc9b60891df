// NTX page cache and write-back: tree pages of 1024 bytes at offsets from 1024, the 12 head
// bytes of the header (signature, version, root, free list) rewritten after the pages, the
// index lock byte at offset 1,000,000,000.
#include "platform/index/ntx_store.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/file/replace_file.h"

namespace xbase::ntx {
namespace {

constexpr int kLockAttempts = 300;

}  // namespace

PageStore::PageStore(std::unique_ptr<File> file, std::string path, bool shared, bool read_only)
    : file_(std::move(file)), path_(std::move(path)), shared_(shared), read_only_(read_only) {}

PageStore::~PageStore() {
  if (locked_) unlock();
}

void PageStore::release_file() {
  unlock();
  file_.reset();
  cache_.clear();
  dirty_pages_.clear();
  journal_.clear();
  dirty_ = false;
}

void PageStore::fail(uint32_t page, const std::string& what, int generic) const {
  std::string where = page == 0 ? "header" : "page at " + std::to_string(page);
  throw TableError(generic, 0, path_, where + ": " + what);
}

size_t PageStore::read(uint64_t off, void* buf, size_t n) {
  try {
    return file_->read_at(off, buf, n);
  } catch (const FileError& e) {
    throw TableError(kErrRead, e.os_code(), path_, e.what());
  }
}

void PageStore::init(const Header& h) {
  header_ = h;
  geom_.max_keys = h.max_keys;
  geom_.key_length = h.key_length;
  uint64_t size = file_->size();
  file_end_ = size - size % kPageSize;
  drop_cache();
}

void PageStore::drop_cache() {
  cache_.clear();
  dirty_pages_.clear();
  dirty_ = false;
  ++generation_;
}

PageStore::Entry& PageStore::load(uint32_t off) {
  auto it = cache_.find(off);
  if (it != cache_.end()) return it->second;
  std::string fault = check_ref(off, file_end_);
  if (!fault.empty()) fail(off, fault);
  Entry e;
  if (read(off, e.bytes.data(), kPageSize) != kPageSize) fail(off, "file ends inside the page");
  fault = check_page(e.bytes, geom_, file_end_);
  if (!fault.empty()) fail(off, fault);
  return cache_.emplace(off, e).first->second;
}

const PageBytes& PageStore::page(uint32_t off) { return load(off).bytes; }

void PageStore::journal(uint32_t off) {
  if (!in_op_) fail(off, "changed outside an operation", kErrWrite);
  if (journal_.count(off)) return;
  auto it = cache_.find(off);
  if (it == cache_.end())
    journal_.emplace(off, std::nullopt);
  else
    journal_.emplace(off, it->second);
}

PageBytes& PageStore::page_mut(uint32_t off) {
  Entry& e = load(off);
  journal(off);
  if (!e.dirty) dirty_pages_.push_back(off);
  e.dirty = true;
  dirty_ = true;
  return e.bytes;
}

uint32_t PageStore::free_next(uint32_t off) {
  std::string fault = check_ref(off, file_end_);
  if (!fault.empty()) fail(0, "free list: " + fault);
  PageBytes raw;
  auto it = cache_.find(off);
  if (it != cache_.end())
    raw = it->second.bytes;
  else if (read(off, raw.data(), kPageSize) != kPageSize)
    fail(off, "free page: file ends inside the page");
  // Only the link is trusted in a free page: other engines leave stale counts behind.
  int slot = get16(raw.data() + 2);
  if (slot < geom_.slots_base() || slot + geom_.item_size() > static_cast<int>(kPageSize))
    fail(off, "free page has a bad item offset " + std::to_string(slot));
  uint32_t next = get32(raw.data() + slot);
  if (next == off || (next != 0 && !check_ref(next, file_end_).empty()))
    fail(off, "free page links to a bad page " + std::to_string(next));
  return next;
}

uint32_t PageStore::alloc() {
  uint32_t off;
  if (header_.free_head != 0) {
    off = header_.free_head;
    uint32_t next = free_next(off);
    journal(off);
    header_.free_head = next;
  } else {
    off = static_cast<uint32_t>(file_end_);
    if (file_end_ + kPageSize > kLockOffset) fail(0, "index file full", kErrWrite);
    journal(off);
    file_end_ += kPageSize;
  }
  Entry& e = cache_[off];
  init_page(e.bytes, geom_);
  if (!e.dirty) dirty_pages_.push_back(off);
  e.dirty = true;
  dirty_ = true;
  return off;
}

void PageStore::release(uint32_t off) {
  PageBytes& p = page_mut(off);
  init_page(p, geom_);
  set_child(p, 0, header_.free_head);
  header_.free_head = off;
}

void PageStore::set_root(uint32_t off) {
  if (!in_op_) fail(0, "changed outside an operation", kErrWrite);
  header_.root = off;
  dirty_ = true;
}

void PageStore::begin() {
  journal_.clear();
  saved_ = {header_.root, header_.free_head, file_end_, dirty_};
  in_op_ = true;
}

void PageStore::commit() {
  if (!journal_.empty() || header_.root != saved_.root) ++generation_;
  journal_.clear();
  in_op_ = false;
}

void PageStore::rollback() {
  for (auto& [off, before] : journal_) {
    if (before)
      cache_[off] = *before;
    else
      cache_.erase(off);
  }
  journal_.clear();
  header_.root = saved_.root;
  header_.free_head = saved_.free_head;
  file_end_ = saved_.file_end;
  dirty_ = saved_.dirty;
  in_op_ = false;
  ++generation_;
  // A shared write that failed half-way may have reached the file: read it afresh.
  if (shared_) drop_cache();
}

void PageStore::write_out() {
  if (!dirty_) return;
  if (read_only_) fail(0, "index opened read-only", kErrReadOnly);
  std::vector<uint32_t> offs;
  for (uint32_t off : dirty_pages_) {
    auto it = cache_.find(off);
    if (it != cache_.end() && it->second.dirty) offs.push_back(off);
  }
  std::sort(offs.begin(), offs.end());
  offs.erase(std::unique(offs.begin(), offs.end()), offs.end());
  try {
    // Neighbouring pages go out in one call: fewer round trips on a network share.
    std::vector<uint8_t> run;
    size_t i = 0;
    while (i < offs.size()) {
      size_t j = i;
      run.clear();
      while (j < offs.size() && offs[j] == offs[i] + (j - i) * kPageSize && j - i < 64) {
        const PageBytes& b = cache_[offs[j]].bytes;
        run.insert(run.end(), b.begin(), b.end());
        ++j;
      }
      file_->write_at(offs[i], run.data(), run.size());
      i = j;
    }
    for (uint32_t off : offs) cache_[off].dirty = false;
    dirty_pages_.clear();
    Header h = header_;
    h.version = static_cast<uint16_t>(header_.version + 1);
    uint8_t head[12];
    format_head(h, head);
    file_->write_at(0, head, sizeof head);
    header_.version = h.version;
  } catch (const FileError& e) {
    // The pages stay dirty: a later flush tries again.
    throw TableError(kErrWrite, e.os_code(), path_, e.what());
  }
  dirty_ = false;
  written_ = true;
}

void PageStore::sync() {
  if (!written_) return;
  try {
    file_->sync();
  } catch (const FileError& e) {
    throw TableError(kErrWrite, e.os_code(), path_, e.what());
  }
  written_ = false;
}

void PageStore::lock(bool exclusive) {
  for (int attempt = 0;; ++attempt) {
    bool ok;
    try {
      ok = file_->lock(kLockOffset, 1, exclusive);
    } catch (const FileError& e) {
      throw TableError(kErrLock, e.os_code(), path_, e.what());
    }
    if (ok) break;
    if (attempt + 1 >= kLockAttempts)
      throw TableError(kErrLock, 33, path_, "index is locked by another process");
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  locked_ = true;
}

void PageStore::unlock() {
  if (!locked_ || !file_) return;
  locked_ = false;
  try {
    file_->unlock(kLockOffset, 1);
  } catch (const FileError&) {
    // The lock goes with the handle at the latest; nothing to undo here.
  }
}

void PageStore::refresh() {
  uint8_t head[12];
  if (read(0, head, sizeof head) != sizeof head) fail(0, "file ends inside the header");
  uint16_t version = get16(head + 2);
  uint32_t root = get32(head + 4);
  uint32_t free_head = get32(head + 8);
  if (version == header_.version && root == header_.root && free_head == header_.free_head) return;
  header_.version = version;
  header_.root = root;
  header_.free_head = free_head;
  uint64_t size = file_->size();
  file_end_ = size - size % kPageSize;
  drop_cache();
}

void PageStore::replace(const Header& h, const std::vector<PageBytes>& pages) {
  if (read_only_) fail(0, "index opened read-only", kErrReadOnly);
  try {
    if (!shared_) {
      // Held exclusively: the new file is swapped in whole, so a crash never leaves it torn.
      std::vector<uint8_t> image;
      image.reserve(kPageSize * (pages.size() + 1));
      PageBytes head = format_header(h);
      image.insert(image.end(), head.begin(), head.end());
      for (const PageBytes& p : pages) image.insert(image.end(), p.begin(), p.end());
      replace_file(file_, path_, ShareMode::kExclusive, image);
      written_ = false;  // the side file was synced before the swap
      init(h);
      for (size_t i = 0; i < pages.size(); ++i)
        cache_[static_cast<uint32_t>(kPageSize * (i + 1))] = Entry{pages[i], false};
      return;
    }
    const size_t chunk = 64;
    std::vector<uint8_t> run;
    for (size_t i = 0; i < pages.size(); i += chunk) {
      run.clear();
      for (size_t j = i; j < pages.size() && j < i + chunk; ++j)
        run.insert(run.end(), pages[j].begin(), pages[j].end());
      file_->write_at(kPageSize * (i + 1), run.data(), run.size());
    }
    uint64_t end = kPageSize * (pages.size() + 1);
    if (file_->size() > end) file_->truncate(end);
    PageBytes head = format_header(h);
    file_->write_at(0, head.data(), head.size());
  } catch (const FileError& e) {
    drop_cache();
    throw TableError(kErrWrite, e.os_code(), path_, e.what());
  }
  written_ = true;
  init(h);
  // Exclusive opens keep what they just wrote; shared ones must re-read under the lock.
  if (!shared_)
    for (size_t i = 0; i < pages.size(); ++i)
      cache_[static_cast<uint32_t>(kPageSize * (i + 1))] = Entry{pages[i], false};
}

}  // namespace xbase::ntx
