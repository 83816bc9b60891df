// An index order (one NTX file, or one tag of a CDX file) and the index bag (file) holding
// it. The table owns its bags; it inserts the key of every appended record and moves the key
// of every record whose key fields it changed, when that record goes cold.
//
// Keys are handled in their stored form ("encoded"): character keys as code-page bytes padded
// with blanks to key_length(); numeric keys as NTX text or CDX sortable doubles; dates as
// DTOS text (NTX) or the CDX Julian-day double. encode() turns a value into that form.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file/file.h"
#include "platform/index/collation.h"
#include "platform/index/key_expr.h"
#include "platform/table/record_source.h"
#include "platform/table/table_error.h"

namespace xbase {

// How UPPER and LOWER of a key expression map letters: by the table's code page (every letter
// of it), or only the ASCII letters, as older runtimes do.
enum class CaseMapping { kCodePage, kAscii };

struct IndexKey {
  std::string key;  // stored form, exactly key_length() bytes
  uint32_t recno = 0;
  bool operator==(const IndexKey& o) const { return recno == o.recno && key == o.key; }
};

class Order {
 public:
  virtual ~Order() = default;

  virtual const std::string& tag_name() const = 0;  // upper case
  virtual const std::string& bag_path() const = 0;
  virtual const std::string& expression() const = 0;
  virtual const std::string& for_expression() const = 0;  // empty when there is none
  virtual char key_type() const = 0;                      // 'C', 'N', 'D', 'L'
  virtual int key_length() const = 0;
  virtual int key_decimals() const = 0;  // NTX numeric keys; 0 otherwise
  virtual bool unique() const = 0;
  virtual bool descending() const = 0;

  // A value of the key's type in this index's stored form (text padded or cut to length).
  virtual std::string encode(const Value& v) const = 0;
  // Back from the stored form: C as bytes with trailing blanks, N as number, D as date.
  virtual Value decode(std::string_view key) const = 0;
  // Three-way compare of two stored keys of this order, over the shorter length
  // (the collation for character keys, bytes otherwise); ignores the descending flag.
  virtual int compare_keys(std::string_view a, std::string_view b) const = 0;

  // The stored key of rec, or nothing when a FOR condition leaves the record out.
  std::optional<std::string> key_of(const RecordSource& rec) const;

  // The key rules this order is kept in: its owner's, as its stored keys show them
  // (collation_detect.h). The collation applies to character keys (nullptr: bytes).
  virtual const Collation* collation() const = 0;
  virtual void set_collation(const Collation* c) = 0;
  CaseMapping case_mapping() const { return case_mapping_; }
  void set_case_mapping(CaseMapping m) { case_mapping_ = m; }
  // Non-empty when the stored keys fit no rules the layer knows: nothing may be written.
  const std::string& refusal() const { return refusal_; }
  void set_refusal(std::string why) { refusal_ = std::move(why); }
  // The damage met while the rules were read from the stored keys: nothing may be written
  // either, and a write attempt rethrows it.
  const std::optional<TableError>& damage() const { return damage_; }
  void set_damage(std::optional<TableError> e) { damage_ = std::move(e); }

  // Cursor in logical order (descending tags run backwards). Each call positions the
  // order's cursor; false (and no change of *out) when there is no such entry.
  virtual bool first(IndexKey* out) = 0;
  virtual bool last(IndexKey* out) = 0;
  virtual bool next(IndexKey* out) = 0;
  virtual bool prev(IndexKey* out) = 0;
  // First entry in logical order whose key, compared over prefix.size() bytes, is not
  // before prefix. Equality of that prefix is what a seek tests.
  virtual bool seek(std::string_view prefix, IndexKey* out) = 0;
  // Positions the cursor on exactly this entry; false when the index lacks it.
  virtual bool find(const IndexKey& entry) = 0;

  // Keeping up. A unique order ignores a key that it holds already.
  virtual void insert(const IndexKey& entry) = 0;
  virtual bool remove(const IndexKey& entry) = 0;

  virtual uint64_t key_count() = 0;
  virtual int levels() = 0;
  // Walks the whole tree in logical order, checking its structure as it goes (page
  // pointers in range, no loops, keys in order, counts and links consistent). Throws
  // TableError naming the file, the page and the fault.
  virtual void verify(const std::function<void(const IndexKey&)>& visit) = 0;

 protected:
  // Set by the bag that opened or created the order.
  std::unique_ptr<KeyExpression> key_expr_;
  std::unique_ptr<KeyExpression> for_expr_;

 private:
  CaseMapping case_mapping_ = CaseMapping::kCodePage;
  std::string refusal_;
  std::optional<TableError> damage_;
};

// Gives a bulk build every record of the table, read once in record order.
class RecordScanner {
 public:
  virtual ~RecordScanner() = default;
  virtual const RecordSource& schema() const = 0;
  virtual void scan(const std::function<void(const RecordSource&)>& visit) = 0;
  // The same pass a run of records at a time: the records of one run stay readable side by
  // side until visit returns, so that several threads can read them. By default runs of one.
  virtual void scan_runs(
      const std::function<void(const std::vector<const RecordSource*>&)>& visit) {
    std::vector<const RecordSource*> one(1);
    scan([&](const RecordSource& rec) {
      one[0] = &rec;
      visit(one);
    });
  }
};

struct IndexOptions {
  ShareMode share = ShareMode::kShared;
  bool read_only = false;
  const Collation* collation = nullptr;  // nullptr: binary order
};

struct OrderDefinition {
  std::string tag;         // CDX tag / NTX tag name; empty: the file's base name
  std::string expression;  // key expression
  std::string for_expression;
  bool unique = false;
  bool descending = false;
};

// A bag's rebuild in steps, so that the bags of one table share a single pass over it and
// work side by side: gather() sees every record of that pass, in record order (the bags of a
// table gather on several threads at once, each from the same records); sort(i) puts the keys
// of order i in tree order, touching nothing but them (the orders of all bags are sorted on
// several threads at once); prepare() lays out the new file in memory (bags side by side);
// write() puts the file in place.
class BagRebuild {
 public:
  virtual ~BagRebuild() = default;
  virtual void gather(const RecordSource& rec) = 0;
  virtual size_t orders() const = 0;
  virtual void sort(size_t order) = 0;
  virtual void prepare() {}
  virtual void write() = 0;
};

// One index file. In exclusive mode pages are cached and written on flush/close; in shared
// mode every operation takes the file's index lock and re-reads what another process changed.
class IndexBag {
 public:
  virtual ~IndexBag() = default;
  virtual const std::string& path() const = 0;
  virtual size_t order_count() const = 0;
  virtual Order& order(size_t i) = 0;
  // Writes changed pages, then the header(s) with the version counter advanced.
  virtual void flush() = 0;
  virtual void close() = 0;
  // Rebuilds every order of the bag from the table (bulk: read once, sort, write pages in
  // sequence), keeping each order's definition.
  void rebuild(RecordScanner& table);
  // Takes the bag's write lock (shared mode) and starts a rebuild; dropped unwritten, it
  // leaves the file as it was.
  virtual std::unique_ptr<BagRebuild> begin_rebuild() = 0;
};

// Rebuilds several bags of one table with one pass over it; the sorts run on up to as many
// threads as the machine has cores, the files are written one after the other.
void rebuild_bags(const std::vector<IndexBag*>& bags, RecordScanner& table);

// Open an existing file (throws TableError; a sharing conflict has generic 21, os code 32).
// Every key and FOR expression is compiled against schema: an expression the layer cannot
// evaluate fails the open with an error naming the file and the expression.
std::unique_ptr<IndexBag> open_ntx(const std::string& path, const RecordSource& schema,
                                   const IndexOptions& options);
std::unique_ptr<IndexBag> open_cdx(const std::string& path, const RecordSource& schema,
                                   const IndexOptions& options);
// Create (replacing any file of that name) with the given orders, built over table.
// NTX takes exactly one order.
std::unique_ptr<IndexBag> create_ntx(const std::string& path, const OrderDefinition& order,
                                     RecordScanner& table, const IndexOptions& options);
std::unique_ptr<IndexBag> create_cdx(const std::string& path,
                                     const std::vector<OrderDefinition>& orders,
                                     RecordScanner& table, const IndexOptions& options);

}  // namespace xbase
