// One open DBF table with its index bags: record buffer, navigation (natural or through the
// controlling order), field access, append, deletion flag, zap, commit.
//
// Record count policy: the count is derived from the file size as
// (size - header_length) / record_length, as the engines that share these files do; a header
// count that disagrees is reported by header_count_mismatch(), never rewritten silently.
// Append order (crash safety): record bytes and the end-of-file byte first, the header count
// second, index keys last (at commit/close in exclusive mode, at once in shared mode).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/file/file.h"
#include "platform/index/collation_detect.h"
#include "platform/index/order.h"
#include "platform/table/dbf_header.h"
#include "platform/table/record_source.h"
#include "platform/table/value.h"

namespace xbase {

class CodePage;

struct FieldSpec {
  std::string name;
  char type = 'C';
  int length = 0;
  int decimals = 0;
};

// Where record and append locks sit (byte offsets far beyond the data): Clipper's scheme for
// tables used with NTX indexes, FoxPro's for tables used with CDX indexes.
enum class LockScheme { kClipper, kVfp };

struct TableOpenOptions {
  ShareMode share = ShareMode::kShared;
  bool read_only = false;
  int codepage = 852;  // the code page of the table's text
  LockScheme locks = LockScheme::kClipper;
};

class DbfTable : public RecordSource, public RecordScanner {
 public:
  // Throws TableError: a sharing conflict has generic 21 and os code 32; a missing file
  // generic 21 and os code 2; damage generic 32 with what was wrong.
  static std::unique_ptr<DbfTable> open(const std::string& path, const TableOpenOptions& opts);
  // Creates (replacing) a dBase III table, opened exclusively.
  static std::unique_ptr<DbfTable> create(const std::string& path,
                                          const std::vector<FieldSpec>& fields,
                                          const TableOpenOptions& opts);
  ~DbfTable() override;

  const std::string& path() const { return path_; }
  const DbfHeader& header() const { return header_; }
  bool exclusive() const { return opts_.share == ShareMode::kExclusive; }
  bool read_only() const { return opts_.read_only; }
  // The record count stored in the header when it disagrees with the file size.
  std::optional<uint32_t> header_count_mismatch() const { return count_mismatch_; }

  // RecordSource
  int field_count() const override { return static_cast<int>(header_.fields.size()); }
  const FieldInfo& field_info(int index) const override { return header_.fields[index]; }
  int field_index(std::string_view name) const override;
  Value raw_value(int index) const override;
  bool append_raw_text(int index, std::string& out) const override;
  uint32_t recno() const override { return recno_; }
  bool deleted() const override;
  const CodePage& codepage() const override { return *cp_; }

  // RecordScanner (reads the file sequentially, once; does not move the record pointer).
  const RecordSource& schema() const override { return *this; }
  void scan(const std::function<void(const RecordSource&)>& visit) override;
  void scan_runs(
      const std::function<void(const std::vector<const RecordSource*>&)>& visit) override;

  // Navigation. Through the controlling order when one is set; deleted records are skipped
  // when the global deleted filter is on.
  uint32_t record_count();
  void go_top();
  void go_bottom();
  void skip(long n = 1);
  void go_to(uint32_t recno);  // physical record; past the end: the phantom record, eof
  bool eof() const { return eof_; }
  bool bof() const { return bof_; }
  // Seek in the controlling order (character keys: a shorter key matches a prefix, a longer
  // one only when its extra characters are blanks). Soft seek lands on the next key.
  bool seek(const Value& key, bool soft = false);
  bool found() const { return found_; }

  // Field access. Text in UTF-8, converted from/to the table's code page; a value is
  // converted and cut to the field's type and width. Unknown names throw TableError.
  Value get(std::string_view field) const;  // C as UTF-8 with blanks kept, N, D, L
  // Display text: C without trailing blanks, memo text, N as STR(), D as YYYYMMDD or "", L T/F.
  std::string get_text(std::string_view field) const;
  void put(std::string_view field, const Value& v);  // C text given as UTF-8
  void put_raw(int index, std::string_view bytes);   // bytes cut/padded to the width
  std::string raw_bytes(int index) const;            // the field's bytes as stored
  // The memo text of an M field (read from the FPT/DBT beside the table), code-page bytes.
  std::string memo(int index) const;

  void append_blank();  // a blank record at the end; it becomes current
  void set_deleted(bool deleted);
  void zap();     // exclusive only
  void commit();  // the current record, the header, the indexes; then to the disk
  void close();

  // Index bags of this table. The first bag's first order is order 1.
  void add_bag(std::unique_ptr<IndexBag> bag);
  void clear_bags();
  size_t order_count() const;
  Order* order(size_t number);  // 1-based; nullptr if out of range
  // 0 = natural order. Returns false when no such order exists (the setting is unchanged).
  bool set_order(size_t number);
  bool set_order(std::string_view tag);
  size_t order_number() const { return controlling_; }
  Order* controlling_order();
  void reindex();
  std::vector<IndexBag*> bags();
  // Reads a record by number for its visitor without moving off the current one.
  RecordReader record_reader();
  // Throws TableError (in Czech) when an index of the table fits no key rules the layer knows.
  void refuse_unfit_orders() const;

 private:
  DbfTable() = default;
  uint64_t record_offset(uint32_t recno) const;
  void read_record(uint32_t recno);
  void write_record(uint32_t recno, const char* bytes);
  void flush_pending();
  size_t pending_count() const;
  void flush_record();  // "go cold": write the changed record, then move its keys
  void mark_hot();      // before the first change of the current record
  void go_phantom();
  bool record_visible() const;
  bool to_end(bool top, const char* what);
  void step(int direction);  // one record on, through the controlling order if there is one
  void skip_natural(long n);
  void skip_ordered(long n);
  bool sync_order();
  void settle(int direction);
  void write_header();
  uint32_t count_from_size();
  void check_writable(const char* what) const;
  uint64_t append_lock_offset() const;
  uint64_t record_lock_offset(uint32_t recno) const;
  bool lock_with_retry(uint64_t off, uint64_t len);
  std::vector<std::optional<std::string>> current_keys() const;
  // Key rules of existing indexes (dbf_key_rules.cpp): found when a bag is added, checked
  // before a record's keys go in (record_reader too).
  void adopt_key_rules(IndexBag& bag);
  void check_key_inserts(const std::vector<std::optional<std::string>>& now);

  std::string path_;
  TableOpenOptions opts_;
  std::unique_ptr<File> file_;
  DbfHeader header_;
  const CodePage* cp_ = nullptr;
  std::optional<uint32_t> count_mismatch_;
  uint32_t count_ = 0;
  uint32_t recno_ = 0;
  std::vector<char> rec_;
  bool eof_ = true, bof_ = true, found_ = false;
  bool dirty_ = false;     // record buffer differs from the file
  bool appended_ = false;  // current record was appended and has no keys yet
  bool header_dirty_ = false;
  bool unsynced_ = false;      // written since the last sync
  bool eof_written_ = true;    // the end-of-file mark follows the last record
  bool order_synced_ = false;  // the controlling order's cursor is on the current record
  uint32_t locked_recno_ = 0;  // shared mode: the record lock we hold
  std::vector<char> pending_;  // exclusive mode: appended records not yet written
  uint32_t pending_first_ = 0xFFFFFFFF;
  std::vector<char> cache_;  // exclusive mode: read-ahead of the data area
  uint64_t cache_off_ = 0;
  std::vector<std::optional<std::string>> old_keys_;  // keys before the first change
  // Exclusive mode: per order, the neighbours whose stored keys the key rules verified.
  std::vector<std::unordered_map<uint32_t, std::string>> verified_;
  std::vector<std::unique_ptr<IndexBag>> bags_;
  size_t controlling_ = 0;
  mutable std::unique_ptr<File> memo_file_;
  mutable bool memo_tried_ = false;
};

}  // namespace xbase
