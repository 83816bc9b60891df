// One NTX file: the index bag and its single order. Navigation, seeks, keeping up and checks
// run on the B-tree of ntx_page.h through the page store; shared opens take the index lock
// around every operation.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/index/key_sort.h"
#include "platform/index/ntx_store.h"
#include "platform/index/order.h"

namespace xbase {
class CodePage;
}

namespace xbase::ntx {

class NtxIndex final : public IndexBag, public Order {
 public:
  static std::unique_ptr<NtxIndex> open(const std::string& path, const RecordSource& schema,
                                        const IndexOptions& options);
  static std::unique_ptr<NtxIndex> create(const std::string& path, const OrderDefinition& def,
                                          RecordScanner& table, const IndexOptions& options);
  ~NtxIndex() override;

  // IndexBag
  const std::string& path() const override { return path_; }
  size_t order_count() const override { return 1; }
  Order& order(size_t i) override;
  void flush() override;
  void close() override;
  std::unique_ptr<BagRebuild> begin_rebuild() override;

  // Order
  const std::string& tag_name() const override { return tag_; }
  const std::string& bag_path() const override { return path_; }
  const std::string& expression() const override { return key_text_; }
  const std::string& for_expression() const override { return for_text_; }
  char key_type() const override { return type_; }
  int key_length() const override { return geom().key_length; }
  int key_decimals() const override { return store_->header().key_decimals; }
  bool unique() const override { return store_->header().unique; }
  bool descending() const override { return store_->header().descending; }
  std::string encode(const Value& v) const override;
  Value decode(std::string_view key) const override;
  int compare_keys(std::string_view a, std::string_view b) const override;
  const Collation* collation() const override { return collation_; }
  void set_collation(const Collation* c) override { collation_ = c; }

  bool first(IndexKey* out) override;
  bool last(IndexKey* out) override;
  bool next(IndexKey* out) override;
  bool prev(IndexKey* out) override;
  bool seek(std::string_view prefix, IndexKey* out) override;
  bool find(const IndexKey& entry) override;
  void insert(const IndexKey& entry) override;
  bool remove(const IndexKey& entry) override;
  uint64_t key_count() override;
  int levels() override;
  void verify(const std::function<void(const IndexKey&)>& visit) override;

 private:
  NtxIndex() = default;
  // One step of the path from the root: the page and the item (or child) taken there.
  struct Step {
    uint32_t page;
    int idx;
  };
  using Path = std::vector<Step>;
  class Operation;

  const Geometry& geom() const { return store_->geometry(); }
  void compile(const RecordSource& schema);
  void adopt(std::unique_ptr<PageStore> store, const Header& h);
  // Tree order of two stored keys: the collation, reversed for a descending order.
  int tree_compare(std::string_view a, std::string_view b) const;
  [[noreturn]] void fail_loop(uint32_t page) const;
  void push(Path& path, uint32_t page, int idx) const;

  // Cursor moves on a path whose last step is an item; false at either end.
  bool descend_left(Path& path, uint32_t page);
  bool descend_right(Path& path, uint32_t page);
  bool settle_forward(Path& path);
  bool settle_backward(Path& path);
  bool step_forward(Path& path);
  bool step_backward(Path& path);
  // The first entry whose key over prefix.size() bytes is not before prefix.
  bool lower_bound(std::string_view prefix, Path& path);
  bool locate(const IndexKey& entry, Path& path);
  IndexKey entry_at(const Path& path);
  bool position(bool ok, const Path& path, IndexKey* out);
  // The cursor's path, rebuilt from its entry when the tree changed since it was taken.
  bool cursor_path(Path& path);
  // A walk in one direction enters every page once; pages shared by two parents (damage)
  // would make it go through them again, up to 2^depth times. walk_from() starts the record
  // of entered pages at path (unless the walk goes on in the same direction); Tracking makes
  // the descents of the steps check it. dir: +1 forwards, -1 backwards, 0 none.
  void walk_from(const Path& path, int dir, bool continuing);
  struct Tracking {
    NtxIndex& ix;
    explicit Tracking(NtxIndex& i) : ix(i) { ix.tracking_ = true; }
    ~Tracking() { ix.tracking_ = false; }
  };
  void enter(uint32_t page);
  // The step from the cursor's key to key went against the tree's order.
  void check_order(const Path& path, std::string_view key, int dir);

  void insert_entry(const IndexKey& entry);
  void split_insert(Path& path, Item item);
  bool remove_entry(const IndexKey& entry);
  void rebalance(Path& path);
  uint64_t walk(uint32_t page, int depth, int& leaf_depth, std::unordered_set<uint32_t>& seen,
                std::string* prev, bool check, const std::function<void(const IndexKey&)>* visit);

  // Bulk build: the keys of one pass laid end to end, sorted as bytes (or by rank where the
  // order is a collation's or descending), then into pages written in sequence, header last.
  friend class Rebuild;
  using BuildKeys = GatheredKeys;
  void sort_for_build(BuildKeys& keys) const;
  void write_built(BuildKeys keys);

  std::string path_;
  std::string tag_;
  std::string key_text_;
  std::string for_text_;
  char type_ = 'C';
  const Collation* collation_ = nullptr;
  const CodePage* cp_ = nullptr;
  std::unique_ptr<PageStore> store_;
  bool closed_ = false;
  // The cursor: its entry, and the path valid while the store's generation is unchanged.
  bool has_cursor_ = false;
  IndexKey cursor_;
  Path cursor_path_;
  uint64_t cursor_gen_ = 0;
  std::unordered_set<uint32_t> walked_;
  int walk_dir_ = 0;
  bool tracking_ = false;
};

// Brackets every operation: the index lock and a fresh header in shared mode, the journal of
// a change, and the write-back (shared) or the undo of a failed change.
class NtxIndex::Operation {
 public:
  Operation(NtxIndex& ix, bool write) : store_(*ix.store_), write_(write) {
    if (ix.closed_) throw TableError(kErrNoTable, 0, ix.path_, "index is closed");
    if (write && store_.read_only())
      throw TableError(kErrReadOnly, 0, ix.path_, "index opened read-only");
    if (store_.shared()) {
      store_.lock(write);
      try {
        store_.refresh();
      } catch (...) {
        store_.unlock();
        throw;
      }
    }
    if (write) store_.begin();
  }
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;
  void done() {
    if (write_) {
      if (store_.shared()) store_.write_out();
      store_.commit();
    }
    done_ = true;
  }
  ~Operation() {
    if (write_ && !done_) store_.rollback();
    if (store_.shared()) store_.unlock();
  }

 private:
  PageStore& store_;
  bool write_;
  bool done_ = false;
};

}  // namespace xbase::ntx
