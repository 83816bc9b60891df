#include "platform/file/journal.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>

#include "platform/file/crc32c.h"

namespace xbase {

namespace {
int g_bypass = 0;

bool same_folder(std::string a, std::string b) {
  auto trim = [](std::string& s) {
    while (s.size() > 1 && (s.back() == '/' || s.back() == '\\')) s.pop_back();
  };
  trim(a);
  trim(b);
#ifdef _WIN32
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x == '/') x = '\\';
    if (y == '/') y = '\\';
    if (std::tolower(static_cast<unsigned char>(x)) != std::tolower(static_cast<unsigned char>(y)))
      return false;
  }
  return true;
#else
  return a == b;
#endif
}
}  // namespace

Journal::Bypass::Bypass() { ++g_bypass; }
Journal::Bypass::~Bypass() { --g_bypass; }

class OverlayFile;

struct JournalState {
  enum class Mode { kActive, kDiscard, kOff } mode = Mode::kActive;
  std::vector<OverlayFile*> files;
};

// A file of the journaled folder: its writes wait in ranges_ until the journal commits them.
class OverlayFile : public File {
 public:
  OverlayFile(std::unique_ptr<File> inner, std::string name, std::shared_ptr<JournalState> st)
      : inner_(std::move(inner)), name_(std::move(name)), st_(std::move(st)) {
    base_ = size_ = inner_->size();
    st_->files.push_back(this);
  }
  ~OverlayFile() override { std::erase(st_->files, this); }

  const std::string& path() const override { return inner_->path(); }
  uint64_t size() override { return st_->mode == Mode::kOff ? inner_->size() : size_; }

  size_t read_at(uint64_t off, void* buf, size_t n) override {
    if (st_->mode != Mode::kActive) return inner_->read_at(off, buf, n);
    if (off >= size_) return 0;
    size_t m = static_cast<size_t>(std::min<uint64_t>(n, size_ - off));
    auto* out = static_cast<char*>(buf);
    size_t got = off < base_ ? inner_->read_at(off, out, m) : 0;
    std::memset(out + got, 0, m - got);
    auto it = ranges_.upper_bound(off);
    if (it != ranges_.begin()) --it;
    for (; it != ranges_.end() && it->first < off + m; ++it) {
      uint64_t a = std::max(off, it->first), b = std::min(off + m, it->first + it->second.size());
      if (a < b) std::memcpy(out + (a - off), it->second.data() + (a - it->first), b - a);
    }
    return m;
  }

  void write_at(uint64_t off, const void* buf, size_t n) override {
    if (st_->mode == Mode::kOff) return inner_->write_at(off, buf, n);
    if (st_->mode == Mode::kDiscard || n == 0) return;
    const char* p = static_cast<const char*>(buf);
    uint64_t end = off + n;
    size_ = std::max(size_, end);
    auto next = ranges_.upper_bound(off);
    if (next != ranges_.begin()) {
      auto prev = std::prev(next);
      uint64_t prev_end = prev->first + prev->second.size();
      // The common case of a sequential writer: extend the range before.
      if (prev_end == off && (next == ranges_.end() || next->first > end)) {
        prev->second.append(p, n);
        return;
      }
      if (prev_end >= off) next = prev;
    }
    uint64_t start = std::min(off, next == ranges_.end() ? off : next->first);
    uint64_t stop = end;
    auto last = next;
    for (; last != ranges_.end() && last->first <= end; ++last)
      stop = std::max(stop, last->first + last->second.size());
    std::string merged(static_cast<size_t>(stop - start), '\0');
    for (auto it = next; it != last; ++it)
      std::memcpy(merged.data() + (it->first - start), it->second.data(), it->second.size());
    std::memcpy(merged.data() + (off - start), p, n);
    ranges_.erase(next, last);
    ranges_.emplace(start, std::move(merged));
  }

  void truncate(uint64_t size) override {
    if (st_->mode == Mode::kOff) return inner_->truncate(size);
    if (st_->mode == Mode::kDiscard) return;
    for (auto it = ranges_.lower_bound(size); it != ranges_.end();) it = ranges_.erase(it);
    if (!ranges_.empty()) {
      auto& [first, bytes] = *ranges_.rbegin();
      if (first + bytes.size() > size) bytes.resize(static_cast<size_t>(size - first));
    }
    size_ = size;
    resized_ = true;
  }

  void sync() override {
    if (st_->mode == Mode::kOff) inner_->sync();
  }
  bool lock(uint64_t off, uint64_t len, bool exclusive) override {
    return inner_->lock(off, len, exclusive);
  }
  void unlock(uint64_t off, uint64_t len) override { inner_->unlock(off, len); }

  bool changed() const { return !ranges_.empty() || size_ != base_ || resized_; }

  // The journal records of the pending change; returns how many.
  uint32_t describe(std::string& out) {
    uint32_t n = 0;
    std::string old;
    auto record = [&](uint64_t off, const std::string& bytes) {
      JournalRange r{name_, off, base_, size_, 0, {}};
      if (off < base_) {
        old.resize(static_cast<size_t>(std::min<uint64_t>(bytes.size(), base_ - off)));
        old.resize(inner_->read_at(off, old.data(), old.size()));
        r.old_crc = crc32c(old.data(), old.size());
      }
      r.bytes = bytes;
      append_range_record(out, r);
      ++n;
    };
    for (const auto& [off, bytes] : ranges_) record(off, bytes);
    if (n == 0) record(size_, {});  // a change of size alone
    return n;
  }

  // In place, after the journal holds the change.
  void apply() {
    for (const auto& [off, bytes] : ranges_) inner_->write_at(off, bytes.data(), bytes.size());
    if (resized_ || size_ < base_) inner_->truncate(size_);
    ranges_.clear();
    resized_ = false;
    base_ = size_;
  }
  void drop() {
    ranges_.clear();
    size_ = base_;
    resized_ = false;
  }
  void sync_inner() { inner_->sync(); }

 private:
  using Mode = JournalState::Mode;
  std::unique_ptr<File> inner_;
  std::string name_;
  std::shared_ptr<JournalState> st_;
  std::map<uint64_t, std::string> ranges_;
  uint64_t base_ = 0;  // the size in place
  uint64_t size_ = 0;  // the size as the writer sees it
  bool resized_ = false;
};

Journal::Journal(const std::string& folder, uint64_t checkpoint_bytes)
    : ForwardingFileSystem(file_system()),
      previous_(&inner_ == &native_file_system() ? nullptr : &inner_),
      folder_(folder),
      path_(path_join(folder, kJournalName)),
      checkpoint_bytes_(checkpoint_bytes),
      state_(std::make_shared<JournalState>()) {
  path_ = inner_.resolve_case(path_);
  OpenOptions o;
  o.share = ShareMode::kExclusive;
  o.create = true;
  file_ = inner_.open(path_, o);
  uint64_t n = file_->size();
  if (n > kJournalHeaderSize) {
    std::string bytes(static_cast<size_t>(n), '\0');
    bytes.resize(file_->read_at(0, bytes.data(), bytes.size()));
    if (!parse_journal(bytes, path_).commits.empty())
      throw JournalRefused(path_, path_ + ": a journal waits to be recovered");
  }
  empty_journal();
  set_file_system(this);
}

Journal::Journal(const std::string& folder, Preview)
    : ForwardingFileSystem(file_system()),
      previous_(&inner_ == &native_file_system() ? nullptr : &inner_),
      folder_(folder),
      path_(inner_.resolve_case(path_join(folder, kJournalName))),
      checkpoint_bytes_(0),
      state_(std::make_shared<JournalState>()),
      preview_(true) {
  set_file_system(this);
}

Journal::~Journal() {
  if (state_->mode == JournalState::Mode::kActive) {
    for (OverlayFile* f : state_->files) f->drop();
    state_->mode = JournalState::Mode::kDiscard;
  }
  set_file_system(previous_);
}

void Journal::empty_journal() {
  file_->truncate(0);
  file_->write_at(0, kJournalMagic, kJournalHeaderSize);
  file_->sync();
  size_ = kJournalHeaderSize;
}

bool Journal::journaled(const std::string& path, const OpenOptions& opts) const {
  return state_->mode == JournalState::Mode::kActive && g_bypass == 0 &&
         opts.share == ShareMode::kExclusive && !opts.read_only && !opts.create && !opts.truncate &&
         same_folder(path_dirname(path), folder_) && path != path_;
}

std::unique_ptr<File> Journal::open(const std::string& path, const OpenOptions& opts) {
  std::unique_ptr<File> f = inner_.open(path, opts);
  if (!journaled(path, opts)) return f;
  return std::make_unique<OverlayFile>(std::move(f), path_basename(path), state_);
}

void Journal::commit(const std::string& label) {
  durable_ = false;
  if (state_->mode != JournalState::Mode::kActive || preview_) return;
  try {
    std::string out;
    uint32_t ranges = 0;
    for (OverlayFile* f : state_->files)
      if (f->changed()) ranges += f->describe(out);
    if (ranges == 0) return;
    append_commit_mark(out, size_, ranges, label);
    file_->write_at(size_, out.data(), out.size());
    file_->sync();
    size_ += out.size();
    durable_ = true;
    for (OverlayFile* f : state_->files)
      if (f->changed()) f->apply();
  } catch (...) {
    // Once the mark is on disk a half-written commit is the journal's to finish: it stays.
    if (durable_) keep_ = true;
    abort();
    throw;
  }
  if (size_ > checkpoint_bytes_) checkpoint();
}

void Journal::abort() {
  if (state_->mode != JournalState::Mode::kActive) return;
  for (OverlayFile* f : state_->files) f->drop();
  state_->mode = JournalState::Mode::kDiscard;
  if (keep_ || preview_) return;
  // What was committed is in place: make it durable and spare the next start a recovery.
  try {
    for (OverlayFile* f : state_->files) f->sync_inner();
    empty_journal();
  } catch (...) {  // the journal stays; the next start replays it
  }
}

void Journal::checkpoint() {
  if (state_->mode != JournalState::Mode::kActive || preview_ || size_ == kJournalHeaderSize)
    return;
  try {
    for (OverlayFile* f : state_->files) f->sync_inner();
  } catch (...) {
    // A sync that failed may have lost what it was to keep, and a second one can report
    // success all the same: only the journal still holds those commits.
    keep_ = true;
    throw;
  }
  empty_journal();
}

void Journal::finish() {
  if (preview_) return abort();
  if (state_->mode == JournalState::Mode::kActive) {
    commit("");
    checkpoint();
    state_->mode = JournalState::Mode::kOff;
  }
  if (keep_ || size_ != kJournalHeaderSize) return;  // the next start replays it
  file_.reset();
  inner_.remove(path_);
}

}  // namespace xbase
