// Replaying a journal left by a crash. Every range is checked before a byte is written: where
// no later commit wrote over it, it must hold its new bytes (already in place) or the bytes it
// replaced, read through the commits before it (their in-place writes may have been lost with
// the power). Anything else means another program changed the file after the crash, and the
// whole journal is refused rather than written over that change.
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

// Bytes at offsets, later writes over earlier ones: the files as the commits before one left them.
class Overlay {
 public:
  void write(uint64_t off, const std::string& bytes) {
    if (bytes.empty()) return;
    uint64_t start = off, stop = off + bytes.size();
    auto it = spans_.upper_bound(off);
    if (it != spans_.begin()) {  // inside one span: in place
      auto& [first, span] = *std::prev(it);
      if (first + span.size() >= stop) {
        span.replace(static_cast<size_t>(off - first), bytes.size(), bytes);
        return;
      }
    }
    if (it != spans_.begin() && std::prev(it)->first + std::prev(it)->second.size() >= off) --it;
    auto last = it;
    for (; last != spans_.end() && last->first <= stop; ++last) {
      start = std::min(start, last->first);
      stop = std::max(stop, last->first + last->second.size());
    }
    std::string merged(static_cast<size_t>(stop - start), '\0');
    for (auto k = it; k != last; ++k)
      merged.replace(static_cast<size_t>(k->first - start), k->second.size(), k->second);
    merged.replace(static_cast<size_t>(off - start), bytes.size(), bytes);
    spans_.erase(it, last);
    spans_.emplace(start, std::move(merged));
  }
  // buf holds the bytes at off; those the overlay has are put over them.
  void over(uint64_t off, std::string& buf) const {
    uint64_t end = off + buf.size();
    auto it = spans_.upper_bound(off);
    if (it != spans_.begin()) --it;
    for (; it != spans_.end() && it->first < end; ++it) {
      uint64_t a = std::max(off, it->first), b = std::min(end, it->first + it->second.size());
      if (a < b)
        buf.replace(static_cast<size_t>(a - off), static_cast<size_t>(b - a), it->second,
                    static_cast<size_t>(a - it->first), static_cast<size_t>(b - a));
    }
  }

 private:
  std::map<uint64_t, std::string> spans_;
};

struct Target {
  std::unique_ptr<File> file;
  uint64_t size = 0;
  uint64_t final_size = 0;
  bool sized = false;  // final_size comes from the newest commit
  // Every size the journal's commits gave the file: after a power cut it may hold any of them
  // (the growth of several commits can be lost at once), never one outside them.
  uint64_t lowest = UINT64_MAX, highest = 0;
  Cover cover;
  Overlay before;  // what the commits so far wrote
  Overlay ok;      // per touched byte: 1 when its content is explained by the journal
  Cover seen;      // bytes touched by the commits so far
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

  // Every byte a commit touched must hold the new bytes of one of the commits that wrote it,
  // or lie where a range first touched the file and that range still finds the bytes it
  // replaced, read through the commits before it (their in-place writes may have been lost
  // with the power, all or some). Any other byte was changed by another program.
  auto old_length = [](const JournalRange& r) {
    return r.offset < r.size_before
               ? static_cast<size_t>(std::min<uint64_t>(r.bytes.size(), r.size_before - r.offset))
               : size_t{0};
  };
  auto current = [](Target& t, uint64_t off, size_t n) {
    std::string cur(n, '\0');
    cur.resize(t.file->read_at(off, cur.data(), n));
    return cur;
  };
  for (const JournalCommit& c : jc.commits)
    for (const JournalRange& r : c.ranges) {
      Target& t = targets[r.name];
      t.ok.write(r.offset, std::string(r.bytes.size(), '\0'));
      t.lowest = std::min({t.lowest, r.size_before, r.size_after});
      t.highest = std::max({t.highest, r.size_before, r.size_after});
    }
  for (const JournalCommit& c : jc.commits)
    for (const JournalRange& r : c.ranges) {
      Target& t = targets[r.name];
      std::string cur = current(t, r.offset, r.bytes.size());
      std::string flags(r.bytes.size(), '\0');
      t.ok.over(r.offset, flags);
      for (size_t k = 0; k < cur.size(); ++k)
        if (cur[k] == r.bytes[k]) flags[k] = '\1';
      t.ok.write(r.offset, flags);
    }
  for (const JournalCommit& c : jc.commits)
    for (const JournalRange& r : c.ranges) {
      Target& t = targets[r.name];
      std::string pre = current(t, r.offset, old_length(r));
      pre.resize(old_length(r), '\0');
      t.before.over(r.offset, pre);
      if (crc32c(pre.data(), pre.size()) == r.old_crc)
        for (auto [a, b] : t.seen.gaps(r.offset, r.offset + r.bytes.size()))
          t.ok.write(a, std::string(static_cast<size_t>(b - a), '\1'));
      t.before.write(r.offset, r.bytes);
      t.seen.add(r.offset, r.offset + r.bytes.size());
    }
  for (auto& [name, t] : targets)
    for (const JournalCommit& c : jc.commits)
      for (const JournalRange& r : c.ranges) {
        if (r.name != name) continue;
        std::string flags(r.bytes.size(), '\0');
        t.ok.over(r.offset, flags);
        size_t bad = flags.find('\0');
        if (bad != std::string::npos) changed(t.file->path(), r.offset + bad);
      }

  // Newest first: a range not covered by a later commit holds its final bytes.
  std::vector<bool> needed(jc.commits.size(), false);
  for (size_t ci = jc.commits.size(); ci-- > 0;) {
    const JournalCommit& c = jc.commits[ci];
    for (const JournalRange& r : c.ranges) {
      Target& t = targets[r.name];
      const std::string& fpath = t.file->path();
      if (!t.sized) {
        if (t.size < t.lowest || t.size > t.highest) changed(fpath, t.size);
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
