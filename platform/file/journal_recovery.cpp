// Replaying a journal left by a crash. Every range is checked before a byte is written: it
// must hold its new bytes (already in place) or, where no later commit wrote over it, the
// bytes it replaced. Anything else means another program changed the file after the crash,
// and the whole journal is refused rather than written over that change.
#include <algorithm>
#include <map>

#include "platform/file/crc32c.h"
#include "platform/file/journal.h"

namespace xbase {
namespace {

// Byte intervals [first, second) already decided by a later commit.
class Cover {
 public:
  // The parts of [a, b) not covered.
  std::vector<std::pair<uint64_t, uint64_t>> gaps(uint64_t a, uint64_t b) const {
    std::vector<std::pair<uint64_t, uint64_t>> out;
    for (const auto& [s, e] : spans_) {
      if (e <= a || s >= b) continue;
      if (s > a) out.emplace_back(a, s);
      a = std::max(a, e);
    }
    if (a < b) out.emplace_back(a, b);
    return out;
  }
  void add(uint64_t a, uint64_t b) {
    if (a >= b) return;
    auto it = spans_.lower_bound(a);
    if (it != spans_.begin() && std::prev(it)->second >= a) --it;
    while (it != spans_.end() && it->first <= b) {
      a = std::min(a, it->first);
      b = std::max(b, it->second);
      it = spans_.erase(it);
    }
    spans_.emplace(a, b);
  }

 private:
  std::map<uint64_t, uint64_t> spans_;
};

struct Target {
  std::unique_ptr<File> file;
  uint64_t size = 0;
  uint64_t final_size = 0;
  bool sized = false;  // final_size comes from the newest commit
  Cover cover;
  std::vector<std::pair<uint64_t, std::string>> writes;
};

std::string read_all(File& f) {
  std::string bytes(static_cast<size_t>(f.size()), '\0');
  bytes.resize(f.read_at(0, bytes.data(), bytes.size()));
  return bytes;
}

[[noreturn]] void changed(const std::string& path, uint64_t off) {
  throw JournalRefused(path, path + ": changed by another program after the crash (offset " +
                                 std::to_string(off) + ")");
}

}  // namespace

JournalContents read_journal(const std::string& folder, FileSystem& fs) {
  std::string path = fs.resolve_case(path_join(folder, kJournalName));
  if (!fs.exists(path)) return {};
  OpenOptions o;
  o.read_only = true;
  return parse_journal(read_all(*fs.open(path, o)), path);
}

RecoveryReport recover_journal(const std::string& folder, FileSystem& fs) {
  RecoveryReport report;
  std::string path = fs.resolve_case(path_join(folder, kJournalName));
  if (!fs.exists(path)) return report;
  OpenOptions excl;
  excl.share = ShareMode::kExclusive;
  std::unique_ptr<File> journal = fs.open(path, excl);
  JournalContents jc = parse_journal(read_all(*journal), path);
  report.found = !jc.commits.empty();
  report.torn_tail = jc.torn_tail;

  std::map<std::string, Target> targets;
  for (const JournalCommit& c : jc.commits)
    for (const JournalRange& r : c.ranges) {
      if (r.name.empty() || path_has_dir(r.name) || r.name == "." || r.name == "..")
        throw JournalRefused(path, path + ": a file outside the data folder: " + r.name);
      Target& t = targets[r.name];
      if (!t.file) {
        t.file = fs.open(fs.resolve_case(path_join(folder, r.name)), excl);
        t.size = t.file->size();
      }
    }

  // Newest first: a range not covered by a later commit holds its final bytes.
  std::vector<bool> needed(jc.commits.size(), false);
  for (size_t ci = jc.commits.size(); ci-- > 0;) {
    const JournalCommit& c = jc.commits[ci];
    for (const JournalRange& r : c.ranges) {
      Target& t = targets[r.name];
      const std::string& fpath = t.file->path();
      if (!t.sized) {
        uint64_t lo = std::min(r.size_before, r.size_after);
        uint64_t hi = std::max(r.size_before, r.size_after);
        if (t.size < lo || t.size > hi) changed(fpath, t.size);
        t.final_size = r.size_after;
        t.sized = true;
      }
      const uint64_t end = r.offset + r.bytes.size();
      std::string cur(r.bytes.size(), '\0');
      cur.resize(t.file->read_at(r.offset, cur.data(), cur.size()));
      auto gaps = t.cover.gaps(r.offset, end);
      bool in_place = true;
      for (auto [a, b] : gaps)
        if (cur.size() < b - r.offset ||
            cur.compare(a - r.offset, b - a, r.bytes, a - r.offset, b - a) != 0)
          in_place = false;
      if (!in_place) {
        bool whole = gaps.size() == 1 && gaps[0].first == r.offset && gaps[0].second == end;
        size_t old_len =
            r.offset < r.size_before
                ? static_cast<size_t>(std::min<uint64_t>(r.bytes.size(), r.size_before - r.offset))
                : 0;
        if (!whole || cur.size() < old_len || crc32c(cur.data(), old_len) != r.old_crc)
          changed(fpath, r.offset);
        for (auto [a, b] : gaps)
          t.writes.emplace_back(a, r.bytes.substr(static_cast<size_t>(a - r.offset), b - a));
        needed[ci] = true;
      }
      t.cover.add(r.offset, end);
    }
  }

  // Every check passed: now write.
  for (auto& [name, t] : targets) {
    for (const auto& [off, bytes] : t.writes) t.file->write_at(off, bytes.data(), bytes.size());
    if (t.file->size() != t.final_size) t.file->truncate(t.final_size);
    t.file->sync();
  }
  for (size_t i = 0; i < jc.commits.size(); ++i) {
    report.labels.push_back(jc.commits[i].label);
    if (needed[i]) report.written.push_back(jc.commits[i].label);
  }
  journal->truncate(0);
  journal->sync();
  journal.reset();
  fs.remove(path);
  return report;
}

}  // namespace xbase
