#include "platform/file/journal_format.h"

#include <cstring>
#include <optional>

#include "platform/file/crc32c.h"

namespace xbase {
namespace {

constexpr uint8_t kRange = 1;
constexpr uint8_t kMark = 2;
constexpr size_t kRecordHead = 9;                  // crc, length, type
constexpr size_t kRangeFixed = 2 + 8 + 8 + 8 + 4;  // before the name's bytes count them
constexpr size_t kMarkFixed = 8 + 4;
constexpr size_t kMaxLabel = 256;

void put(std::string& out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

uint64_t get(const std::string& in, size_t at, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(in[at + i]);
  return v;
}

void close_record(std::string& out, size_t start) {
  uint32_t len = static_cast<uint32_t>(out.size() - start - kRecordHead);
  for (int i = 0; i < 4; ++i) out[start + 4 + i] = static_cast<char>((len >> (8 * i)) & 0xFF);
  uint32_t crc = crc32c(out.data() + start + 4, out.size() - start - 4);
  for (int i = 0; i < 4; ++i) out[start + i] = static_cast<char>((crc >> (8 * i)) & 0xFF);
}

size_t open_record(std::string& out, uint8_t type) {
  size_t start = out.size();
  out.append(8, '\0');
  out.push_back(static_cast<char>(type));
  return start;
}

struct Record {
  uint8_t type;
  size_t body;  // offset of the body
  size_t length;
};

// The whole, checksummed record at pos, if there is one.
std::optional<Record> record_at(const std::string& in, size_t pos) {
  if (in.size() - pos < kRecordHead) return std::nullopt;
  size_t len = static_cast<size_t>(get(in, pos + 4, 4));
  if (len > in.size() - pos - kRecordHead) return std::nullopt;
  if (crc32c(in.data() + pos + 4, len + 5) != get(in, pos, 4)) return std::nullopt;
  return Record{static_cast<uint8_t>(in[pos + 8]), pos + kRecordHead, len};
}

// A valid commit mark anywhere after pos: the damage at pos lies in a committed part.
bool mark_follows(const std::string& in, size_t pos) {
  for (size_t p = pos + 1; p + kRecordHead <= in.size(); ++p) {
    if (static_cast<uint8_t>(in[p + 8]) != kMark) continue;
    size_t len = static_cast<size_t>(get(in, p + 4, 4));
    if (len < kMarkFixed || len > kMarkFixed + kMaxLabel) continue;
    if (record_at(in, p)) return true;
  }
  return false;
}

[[noreturn]] void refuse(const std::string& path, size_t pos, const std::string& what) {
  throw JournalRefused(path, path + ": " + what + " at offset " + std::to_string(pos));
}

}  // namespace

void append_range_record(std::string& out, const JournalRange& r) {
  size_t start = open_record(out, kRange);
  put(out, r.name.size(), 2);
  out += r.name;
  put(out, r.offset, 8);
  put(out, r.size_before, 8);
  put(out, r.size_after, 8);
  put(out, r.old_crc, 4);
  out += r.bytes;
  close_record(out, start);
}

void append_commit_mark(std::string& out, uint64_t first_record, uint32_t ranges,
                        const std::string& label) {
  size_t start = open_record(out, kMark);
  put(out, first_record, 8);
  put(out, ranges, 4);
  out += label.substr(0, kMaxLabel);
  close_record(out, start);
}

JournalContents parse_journal(const std::string& in, const std::string& path) {
  JournalContents out;
  if (in.empty()) return out;
  if (in.size() < kJournalHeaderSize ||
      std::memcmp(in.data(), kJournalMagic, kJournalHeaderSize) != 0) {
    // A header cut short is the first write of a journal that never held a commit.
    if (in.size() < kJournalHeaderSize && std::memcmp(in.data(), kJournalMagic, in.size()) == 0) {
      out.torn_tail = true;
      return out;
    }
    refuse(path, 0, "not a journal of this program");
  }
  size_t pos = kJournalHeaderSize, commit_start = pos;
  JournalCommit current;
  while (pos < in.size()) {
    std::optional<Record> rec = record_at(in, pos);
    if (!rec) {
      if (mark_follows(in, pos)) refuse(path, pos, "damaged journal record");
      out.torn_tail = true;
      return out;
    }
    const size_t b = rec->body;
    if (rec->type == kRange) {
      size_t name_len = rec->length >= kRangeFixed ? static_cast<size_t>(get(in, b, 2)) : 0;
      if (rec->length < kRangeFixed + name_len) refuse(path, pos, "journal range cut short");
      JournalRange r;
      r.name = in.substr(b + 2, name_len);
      size_t at = b + 2 + name_len;
      r.offset = get(in, at, 8);
      r.size_before = get(in, at + 8, 8);
      r.size_after = get(in, at + 16, 8);
      r.old_crc = static_cast<uint32_t>(get(in, at + 24, 4));
      r.bytes = in.substr(at + 28, rec->length - kRangeFixed - name_len);
      if (r.offset + r.bytes.size() > r.size_after)
        refuse(path, pos, "journal range past the file's size");
      current.ranges.push_back(std::move(r));
    } else if (rec->type == kMark && rec->length >= kMarkFixed) {
      if (get(in, b, 8) != commit_start || get(in, b + 8, 4) != current.ranges.size())
        refuse(path, pos, "commit mark does not match its records");
      current.label = in.substr(b + kMarkFixed, rec->length - kMarkFixed);
      out.commits.push_back(std::move(current));
      current = JournalCommit{};
      commit_start = b + rec->length;
    } else {
      refuse(path, pos, "unknown journal record");
    }
    pos = b + rec->length;
  }
  out.torn_tail = !current.ranges.empty();
  return out;
}

}  // namespace xbase
