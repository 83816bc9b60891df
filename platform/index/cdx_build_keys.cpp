#include "platform/index/cdx_build_keys.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>

#include "platform/index/collation.h"
#include "platform/index/key_sort.h"
#include "platform/table/table_error.h"

namespace xbase::cdx {
namespace {

std::atomic<size_t> g_run_keys{size_t{1} << 21};

// The bags gather on several threads, and the layers over the file seam (counting, fault
// injection) expect one caller at a time: scratch file calls take turns.
std::mutex g_scratch;

// Puts the tag's in-memory keys into tree order, dropping later equal keys of a unique tag.
// Binary rules named outright order as plain bytes do: no comparison per distinct key.
void sort_keys(const Tag& tag, TagKeys& k) {
  k.sort(
      tag.byte_order() || tag.collation() == &binary_collation(),
      [&](std::string_view a, std::string_view b) { return tag.compare_keys(a, b); }, tag.unique());
}

// Sized once for the keys the pass can still give, up to a run: growing by doubling would copy
// the keys again and again, and touch twice the memory.
void reserve(TagKeys& k, const RecordSource& rec) {
  const uint64_t left =
      rec.pass_records() >= rec.recno() ? rec.pass_records() - rec.recno() + 1 : 0;
  const size_t keys = static_cast<size_t>(
      std::min<uint64_t>({left, run_keys(), kRunBytes / std::max<size_t>(1, k.width) + 1}));
  k.bytes.reserve(keys * k.width);
  k.recnos.reserve(keys);
}

void put_le32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

uint32_t get_le32(const char* p) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(p[i]);
  return v;
}

std::string scratch_path() {
  static std::atomic<uint64_t> made{0};
  const auto now =
      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  std::error_code ec;
  std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
  if (ec) dir = ".";
  return (dir / ("importobj-" + std::to_string(now) + "-" + std::to_string(made++) + ".run"))
      .string();
}

}  // namespace

size_t run_keys() { return g_run_keys; }
void set_run_keys(size_t keys) { g_run_keys = std::max<size_t>(1, keys); }

uint64_t TagKeys::total() const {
  uint64_t n = order.size();
  for (const KeyRun& r : runs) n += r.count;
  return n;
}

RunFile::RunFile() : path_(scratch_path()) {
  std::lock_guard<std::mutex> turn(g_scratch);
  try {
    file_ = file_system().open(path_, {ShareMode::kExclusive, false, true, true});
  } catch (const FileError& e) {
    throw TableError(kErrCreate, 0, path_, std::string("index build scratch file: ") + e.what());
  }
}

RunFile::~RunFile() {
  std::lock_guard<std::mutex> turn(g_scratch);
  try {
    file_.reset();
    file_system().remove(path_);
  } catch (...) {
    // A scratch file left in the temporary folder harms nothing.
  }
}

KeyRun RunFile::append(const TagKeys& k) {
  KeyRun run{end_, k.order.size()};
  std::string buf;
  const size_t flush_at = size_t{1} << 20;
  auto flush = [&] {
    std::lock_guard<std::mutex> turn(g_scratch);
    try {
      file_->write_at(end_, buf.data(), buf.size());
    } catch (const FileError& e) {
      throw TableError(kErrWrite, 0, path_, std::string("index build scratch file: ") + e.what());
    }
    end_ += buf.size();
    buf.clear();
  };
  for (uint32_t at : k.order) {
    buf.append(k.key(at));
    put_le32(buf, k.recnos[at]);
    if (buf.size() >= flush_at) flush();
  }
  if (!buf.empty()) flush();
  return run;
}

void BuildKeys::gather(const std::vector<Tag*>& tags, const RecordSource& rec) {
  max_recno = std::max(max_recno, rec.recno());
  keys.resize(tags.size());
  for (size_t i = 0; i < tags.size(); ++i) {
    auto key = tags[i]->key_of(rec);
    if (!key) continue;
    TagKeys& k = keys[i];
    k.width = static_cast<size_t>(tags[i]->shape().length);
    if (key->size() != k.width)
      throw TableError(kErrDataWidth, 0, tags[i]->bag_path(),
                       "CDX tag " + tags[i]->tag_name() + ": a key of another length");
    if (k.recnos.capacity() == 0) reserve(k, rec);
    k.bytes += *key;
    k.recnos.push_back(rec.recno());
    if (k.recnos.size() >= run_keys() || k.bytes.size() >= kRunBytes) {
      sort_keys(*tags[i], k);
      if (!runs) runs = std::make_unique<RunFile>();
      k.runs.push_back(runs->append(k));
      k.bytes.clear();
      k.recnos.clear();
      k.order.clear();
    }
  }
}

void BuildKeys::sort(const std::vector<Tag*>& tags, size_t i) { sort_keys(*tags[i], keys[i]); }

// One sorted stream: the in-memory keys, or a run read back a megabyte at a time.
struct OrderedKeys::Source {
  const TagKeys* memory = nullptr;
  size_t at = 0;
  RunFile* file = nullptr;
  uint64_t offset = 0, left = 0;
  std::string buf;
  size_t buf_at = 0;
  std::string_view key;
  uint32_t recno = 0;

  bool advance(size_t width) {
    if (memory) {
      if (at >= memory->order.size()) return false;
      uint32_t pos = memory->order[at++];
      key = memory->key(pos);
      recno = memory->recnos[pos];
      return true;
    }
    const size_t entry = width + 4;
    if (buf_at >= buf.size()) {
      if (left == 0) return false;
      const uint64_t n = std::min<uint64_t>(left, std::max<size_t>(1, (size_t{1} << 20) / entry));
      buf.resize(static_cast<size_t>(n) * entry);
      size_t got = 0;
      std::lock_guard<std::mutex> turn(g_scratch);
      try {
        got = file->file().read_at(offset, buf.data(), buf.size());
      } catch (const FileError& e) {
        throw TableError(kErrRead, 0, file->file().path(), e.what());
      }
      if (got < buf.size())
        throw TableError(kErrRead, 0, file->file().path(), "index build scratch file cut short");
      offset += buf.size();
      left -= n;
      buf_at = 0;
    }
    key = std::string_view(buf.data() + buf_at, width);
    recno = get_le32(buf.data() + buf_at + width);
    buf_at += entry;
    return true;
  }
};

OrderedKeys::OrderedKeys(const Tag& tag, const TagKeys& keys, RunFile* runs)
    : tag_(tag), keys_(keys) {
  for (const KeyRun& r : keys.runs) {
    auto s = std::make_unique<Source>();
    s->file = runs;
    s->offset = r.offset;
    s->left = r.count;
    if (s->advance(keys.width)) sources_.push_back(std::move(s));
  }
  auto m = std::make_unique<Source>();
  m->memory = &keys;
  if (m->advance(keys.width)) sources_.push_back(std::move(m));
}

OrderedKeys::~OrderedKeys() = default;

bool OrderedKeys::next(std::string_view* key, uint32_t* recno) {
  for (;;) {
    if (sources_.empty()) return false;
    // Few runs: a scan finds the least. Equal keys come from the earliest run, which holds the
    // earlier records, so the tree keeps record order among them.
    size_t best = 0;
    for (size_t i = 1; i < sources_.size(); ++i)
      if (tag_.compare_keys(sources_[i]->key, sources_[best]->key) < 0) best = i;
    Source& s = *sources_[best];
    const bool repeat = tag_.unique() && any_ && tag_.compare_keys(s.key, last_) == 0;
    last_.assign(s.key);
    *recno = s.recno;
    any_ = true;
    if (!s.advance(keys_.width)) sources_.erase(sources_.begin() + static_cast<long>(best));
    if (repeat) continue;
    *key = last_;
    return true;
  }
}

}  // namespace xbase::cdx
