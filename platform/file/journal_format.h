// The bytes of the redo journal IMPORTOBJ.JNL, kept in the data folder beside the tables.
// All integers are little-endian.
//
//   header   8 bytes "IOJRNL01"
//   record   u32 CRC-32C of everything after it in the record (length, type, body)
//            u32 length of the body
//            u8  type
//            body
//   type 1, a changed byte range of one file:
//            u16 name length, name (relative to the data folder, as opened)
//            u64 offset, u64 file size before the commit, u64 file size after the commit
//            u32 CRC-32C of the bytes the range replaces (those below the size before)
//            the new bytes (the rest of the body; none for a change of size alone)
//   type 2, the commit mark closing the ranges before it:
//            u64 offset of the commit's first record, u32 count of its ranges
//            the commit's label (the rest of the body: the order number)
//
// A commit counts only with its mark. Bytes after the last mark that do not make a whole
// commit are a torn tail (the writer died before the journal was synced) and are dropped; a
// damaged record followed by a valid mark lies in a committed part and refuses the journal.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace xbase {

inline constexpr char kJournalMagic[] = "IOJRNL01";
inline constexpr size_t kJournalHeaderSize = 8;

struct JournalRange {
  std::string name;
  uint64_t offset = 0;
  uint64_t size_before = 0;
  uint64_t size_after = 0;
  uint32_t old_crc = 0;
  std::string bytes;
};

struct JournalCommit {
  std::vector<JournalRange> ranges;
  std::string label;
};

struct JournalContents {
  std::vector<JournalCommit> commits;
  bool torn_tail = false;  // bytes after the last whole commit were dropped
};

// A journal that must not be replayed, or a file that no longer matches it; nothing written.
class JournalRefused : public std::runtime_error {
 public:
  JournalRefused(std::string file, const std::string& what)
      : std::runtime_error(what), file_(std::move(file)) {}
  const std::string& file() const { return file_; }  // the journal or the changed table

 private:
  std::string file_;
};

void append_range_record(std::string& out, const JournalRange& r);
void append_commit_mark(std::string& out, uint64_t first_record, uint32_t ranges,
                        const std::string& label);
// bytes: the whole journal file. Throws JournalRefused (naming path) for damage before a mark.
JournalContents parse_journal(const std::string& bytes, const std::string& path);

}  // namespace xbase
