// DbfTable: opening, creating, reading and writing records, append, commit, close.
// Navigation and seek live in dbf_navigation.cpp, field conversion in dbf_fields.cpp.
#include "platform/table/dbf_table.h"

#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>

#include "platform/table/settings.h"
#include "platform/table/table_error.h"
#include "platform/text/codepage.h"

namespace xbase {
namespace {

// A read that follows the last record reads ahead; any other reads one small block, since a
// seek that read 64 KB for each record it lands on spent its time copying them (and 4 KB
// reads cost about 15% more than 1 KB ones here: the copy grows, not the call).
constexpr size_t kReadAhead = 64 * 1024;
constexpr size_t kReadBlock = 1024;
constexpr size_t kWriteBehind = 256 * 1024;

void today(int& y, int& m, int& d) {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &t);
#else
  localtime_r(&t, &tm);
#endif
  y = tm.tm_year + 1900;
  m = tm.tm_mon + 1;
  d = tm.tm_mday;
}

TableError open_error(const FileError& e, const std::string& path) {
  return TableError(kErrOpen, e.os_code(), path, e.what());
}

}  // namespace

DbfTable::~DbfTable() {
  try {
    close();
  } catch (...) {
    // A destructor must not throw; close() explicitly to see errors.
  }
}

std::unique_ptr<DbfTable> DbfTable::open(const std::string& path, const TableOpenOptions& opts) {
  std::unique_ptr<DbfTable> t(new DbfTable());
  t->path_ = path;
  t->opts_ = opts;
  OpenOptions fo;
  fo.share = opts.share;
  fo.read_only = opts.read_only;
  try {
    t->file_ = file_system().open(path, fo);
  } catch (const FileError& e) {
    throw open_error(e, path);
  }
  uint64_t size = t->file_->size();
  std::vector<uint8_t> head(32);
  size_t got = t->file_->read_at(0, head.data(), 32);
  head.resize(got);
  if (got == 32) {
    uint16_t hl = dbf_header_length(head.data());
    if (hl > 32 && hl <= size) {
      head.resize(hl);
      got = t->file_->read_at(0, head.data(), hl);
      head.resize(got);
    }
  }
  t->header_ = parse_dbf_header(head, size, path);
  t->cp_ = &CodePage::get(opts.codepage);
  t->count_ = t->count_from_size();
  if (t->header_.record_count != t->count_) t->count_mismatch_ = t->header_.record_count;
  t->rec_.assign(t->header_.record_length, ' ');
  t->recno_ = t->count_ + 1;
  t->go_top();
  return t;
}

std::unique_ptr<DbfTable> DbfTable::create(const std::string& path,
                                           const std::vector<FieldSpec>& fields,
                                           const TableOpenOptions& opts) {
  std::vector<FieldInfo> infos;
  for (const auto& f : fields) {
    FieldInfo i;
    i.name = f.name;
    i.type = f.type;
    i.length = f.length;
    i.decimals = f.decimals;
    infos.push_back(i);
  }
  DbfHeader h = make_dbf_header(infos, path);
  std::unique_ptr<File> file;
  try {
    OpenOptions fo;
    fo.share = ShareMode::kExclusive;
    fo.create = true;
    fo.truncate = true;
    file = file_system().open(path, fo);
  } catch (const FileError& e) {
    throw TableError(kErrCreate, e.os_code(), path, e.what());
  }
  int y, m, d;
  today(y, m, d);
  auto bytes = serialize_dbf_header(h, 0, y, m, d);
  bytes.push_back(0x1A);
  file->write_at(0, bytes.data(), bytes.size());
  file->sync();
  file.reset();
  TableOpenOptions o = opts;
  o.share = ShareMode::kExclusive;
  return open(path, o);
}

int DbfTable::field_index(std::string_view name) const {
  // Field names are ASCII and stored upper case.
  auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
  for (size_t i = 0; i < header_.fields.size(); ++i) {
    const std::string& n = header_.fields[i].name;
    if (n.size() != name.size() || n[0] != up(name[0])) continue;
    size_t k = 1;
    while (k < n.size() && n[k] == up(name[k])) ++k;
    if (k == n.size()) return static_cast<int>(i);
  }
  return -1;
}

bool DbfTable::deleted() const { return !eof_ && rec_[0] == '*'; }

uint32_t DbfTable::count_from_size() {
  uint64_t size = file_->size();
  if (size <= header_.header_length) return 0;
  return static_cast<uint32_t>((size - header_.header_length) / header_.record_length);
}

uint32_t DbfTable::record_count() {
  // Another station may have appended meanwhile.
  if (!exclusive()) {
    uint32_t n = count_from_size();
    if (n > count_) count_ = n;
  }
  return count_;
}

uint64_t DbfTable::record_offset(uint32_t recno) const {
  return header_.header_length + static_cast<uint64_t>(recno - 1) * header_.record_length;
}

void DbfTable::read_record(uint32_t recno) {
  const size_t rl = header_.record_length;
  if (recno >= pending_first_ && recno < pending_first_ + pending_count()) {
    std::memcpy(rec_.data(), &pending_[(recno - pending_first_) * rl], rl);
    recno_ = recno;
    return;
  }
  uint64_t off = record_offset(recno);
  if (exclusive()) {
    if (off < cache_off_ || off + rl > cache_off_ + cache_.size()) {
      const bool sequential = recno == recno_ + 1;
      cache_.resize(std::max(sequential ? kReadAhead : kReadBlock, rl));
      size_t got = file_->read_at(off, cache_.data(), cache_.size());
      cache_.resize(got);
      cache_off_ = off;
    }
    if (off + rl > cache_off_ + cache_.size())
      throw TableError(kErrRead, 0, path_, "record " + std::to_string(recno) + " cut short");
    std::memcpy(rec_.data(), &cache_[off - cache_off_], rl);
  } else {
    if (file_->read_at(off, rec_.data(), rl) != rl)
      throw TableError(kErrRead, 0, path_, "record " + std::to_string(recno) + " cut short");
  }
  recno_ = recno;
}

void DbfTable::write_record(uint32_t recno, const char* bytes) {
  const size_t rl = header_.record_length;
  if (recno >= pending_first_ && recno < pending_first_ + pending_count()) {
    std::memcpy(&pending_[(recno - pending_first_) * rl], bytes, rl);
    return;
  }
  uint64_t off = record_offset(recno);
  file_->write_at(off, bytes, rl);
  unsynced_ = true;
  if (!cache_.empty() && off >= cache_off_ && off + rl <= cache_off_ + cache_.size())
    std::memcpy(&cache_[off - cache_off_], bytes, rl);
}

void DbfTable::flush_pending() {
  if (pending_.empty()) return;
  // Records and the end-of-file mark in one write; the header count follows at commit.
  pending_.push_back(0x1A);
  file_->write_at(record_offset(pending_first_), pending_.data(), pending_.size());
  unsynced_ = true;
  pending_.clear();
  pending_first_ = 0xFFFFFFFF;
  eof_written_ = true;
  cache_.clear();
}

size_t DbfTable::pending_count() const { return pending_.size() / header_.record_length; }

void DbfTable::check_writable(const char* what) const {
  if (!file_) throw TableError(kErrNoTable, 0, path_, std::string(what) + ": the table is closed");
  if (opts_.read_only)
    throw TableError(kErrReadOnly, 0, path_, std::string(what) + ": the table is open read-only");
}

uint64_t DbfTable::append_lock_offset() const {
  return opts_.locks == LockScheme::kVfp ? 0x40000000ULL : 1000000000ULL;
}

uint64_t DbfTable::record_lock_offset(uint32_t recno) const {
  return opts_.locks == LockScheme::kVfp ? 0x40000000ULL + record_offset(recno)
                                         : 1000000000ULL + recno;
}

bool DbfTable::lock_with_retry(uint64_t off, uint64_t len) {
  for (int attempt = 0; attempt < 2000; ++attempt) {
    if (file_->lock(off, len, true)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

void DbfTable::append_blank() {
  check_writable("append");
  flush_record();
  refuse_unfit_orders();  // not even a blank record for a table whose index cannot take keys
  const size_t rl = header_.record_length;
  std::string blank(rl, ' ');
  if (exclusive()) {
    if (pending_.empty()) pending_first_ = count_ + 1;
    pending_.insert(pending_.end(), blank.begin(), blank.end());
    ++count_;
    header_dirty_ = true;
    eof_written_ = false;
    std::memcpy(rec_.data(), blank.data(), rl);
    recno_ = count_;
    if (pending_.size() >= kWriteBehind) flush_pending();
  } else {
    if (!lock_with_retry(append_lock_offset(), 1))
      throw TableError(kErrAppendLock, 33, path_, "append: the table's header is locked elsewhere");
    try {
      count_ = count_from_size();
      uint32_t recno = count_ + 1;
      // Record and end-of-file mark first, the header count after: a crash in between
      // leaves a table whose size already tells the truth.
      std::string bytes = blank;
      bytes.push_back(0x1A);
      file_->write_at(record_offset(recno), bytes.data(), bytes.size());
      unsynced_ = true;
      count_ = recno;
      write_header();
      if (locked_recno_) file_->unlock(record_lock_offset(locked_recno_), 1);
      locked_recno_ = file_->lock(record_lock_offset(recno), 1, true) ? recno : 0;
    } catch (...) {
      file_->unlock(append_lock_offset(), 1);
      throw;
    }
    file_->unlock(append_lock_offset(), 1);
    std::memcpy(rec_.data(), blank.data(), rl);
    recno_ = count_;
  }
  eof_ = bof_ = false;
  found_ = false;
  appended_ = true;
  dirty_ = false;
  order_synced_ = false;
}

void DbfTable::write_header() {
  int y, m, d;
  today(y, m, d);
  auto bytes = serialize_dbf_header(header_, count_, y, m, d);
  file_->write_at(0, bytes.data(), bytes.size());
  unsynced_ = true;
  header_.raw = bytes;
  header_.record_count = count_;
  count_mismatch_.reset();
  header_dirty_ = false;
}

void DbfTable::mark_hot() {
  if (dirty_) return;
  check_writable("write");
  if (!appended_) {
    old_keys_ = current_keys();
    if (!exclusive() && locked_recno_ != recno_) {
      if (!lock_with_retry(record_lock_offset(recno_), 1))
        throw TableError(kErrLock, 33, path_,
                         "record " + std::to_string(recno_) + " is locked by another user");
      if (locked_recno_) file_->unlock(record_lock_offset(locked_recno_), 1);
      locked_recno_ = recno_;
    }
  }
  dirty_ = true;
}

std::vector<std::optional<std::string>> DbfTable::current_keys() const {
  std::vector<std::optional<std::string>> keys;
  for (const auto& bag : bags_)
    for (size_t i = 0; i < bag->order_count(); ++i) keys.push_back(bag->order(i).key_of(*this));
  return keys;
}

void DbfTable::flush_record() {
  if (!file_ || eof_) return;
  if (!dirty_ && !appended_) return;
  std::vector<std::optional<std::string>> now = current_keys();
  // Every index must take its new keys in its own rules before anything is written.
  check_key_inserts(now);
  // Data first, keys after: an index never points at a record that is not there.
  if (dirty_) write_record(recno_, rec_.data());
  size_t k = 0;
  for (const auto& bag : bags_) {
    for (size_t i = 0; i < bag->order_count(); ++i, ++k) {
      Order& o = bag->order(i);
      const bool moved = !appended_ && k < old_keys_.size() && old_keys_[k] != now[k];
      if (appended_) {
        if (now[k]) o.insert({*now[k], recno_});
      } else if (moved) {
        if (old_keys_[k]) o.remove({*old_keys_[k], recno_});
        if (now[k]) o.insert({*now[k], recno_});
      }
      // The key just evaluated is this record's: as a later insert's neighbour it needs no
      // reading to be verified.
      if ((appended_ || moved) && k < verified_.size()) {
        if (now[k])
          verified_[k][recno_] = *now[k];
        else
          verified_[k].erase(recno_);
      }
    }
  }
  if (!bags_.empty()) order_synced_ = false;
  dirty_ = false;
  appended_ = false;
  old_keys_.clear();
  if (!exclusive() && locked_recno_) {
    file_->unlock(record_lock_offset(locked_recno_), 1);
    locked_recno_ = 0;
  }
}

void DbfTable::set_deleted(bool deleted) {
  if (eof_) return;
  mark_hot();
  rec_[0] = deleted ? '*' : ' ';
}

void DbfTable::zap() {
  check_writable("zap");
  if (!exclusive()) throw TableError(kErrOpen, 0, path_, "zap needs the table open exclusively");
  dirty_ = appended_ = false;
  pending_.clear();
  pending_first_ = 0xFFFFFFFF;
  cache_.clear();
  verified_.clear();
  count_ = 0;
  write_header();
  uint8_t eof = 0x1A;
  file_->write_at(header_.header_length, &eof, 1);
  unsynced_ = true;
  file_->truncate(header_.header_length + 1);
  eof_written_ = true;
  rebuild_bags(bags(), *this);
  go_top();
}

void DbfTable::commit() {
  if (!file_) return;
  flush_record();
  if (opts_.read_only) return;
  flush_pending();
  if (header_dirty_) write_header();
  // The records reach the disk before the index pages that name them; a table nothing was
  // written to costs no sync.
  if (unsynced_) file_->sync();
  unsynced_ = false;
  for (auto& bag : bags_) bag->flush();
}

void DbfTable::close() {
  if (!file_) return;
  std::exception_ptr failure;
  try {
    commit();
    if (!opts_.read_only && exclusive() && !eof_written_) {
      // End-of-file mark right after the last record, nothing after it.
      uint8_t eof = 0x1A;
      file_->write_at(record_offset(count_ + 1), &eof, 1);
      file_->truncate(record_offset(count_ + 1) + 1);
      file_->sync();
    }
  } catch (...) {
    failure = std::current_exception();
  }
  for (auto& bag : bags_) {
    try {
      bag->close();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  bags_.clear();
  verified_.clear();
  if (locked_recno_) file_->unlock(record_lock_offset(locked_recno_), 1);
  locked_recno_ = 0;
  file_.reset();
  memo_file_.reset();
  eof_ = bof_ = true;
  if (failure) std::rethrow_exception(failure);
}

}  // namespace xbase
