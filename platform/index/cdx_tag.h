// One tag of a CDX file as an Order: key encoding, navigation, seek and upkeep of its B+ tree
// (keys live in the leaves ordered by key and record number; each interior entry repeats
// the last entry of its child; descending tags are stored ascending).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/index/cdx_header.h"
#include "platform/index/cdx_store.h"
#include "platform/index/order.h"

namespace xbase::cdx {

class Tag : public Order {
 public:
  // Compiles the tag's expressions against schema and checks the key length against the
  // key type; throws TableError naming file, tag and expression.
  Tag(Store& store, uint32_t header_offset, TagInfo info, const RecordSource& schema,
      const Collation* collation);

  const std::string& tag_name() const override { return info_.name; }
  const std::string& bag_path() const override { return store_.path(); }
  const std::string& expression() const override { return info_.expression; }
  const std::string& for_expression() const override { return info_.for_expression; }
  char key_type() const override { return type_; }
  int key_length() const override { return info_.key_length; }
  int key_decimals() const override { return 0; }
  bool unique() const override { return info_.unique(); }
  bool descending() const override { return info_.descending; }

  std::string encode(const Value& v) const override;
  Value decode(std::string_view key) const override;
  int compare_keys(std::string_view a, std::string_view b) const override;
  const Collation* collation() const override { return collation_; }
  void set_collation(const Collation* c) override {
    if (type_ == 'C') collation_ = c;
  }

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

  const TagInfo& info() const { return info_; }
  uint32_t header_offset() const { return header_offset_; }
  void relocate(uint32_t header_offset, uint32_t root);
  const KeyShape& shape() const { return shape_; }
  // Tree order: key by this tag's comparison, then record number.
  int compare(std::string_view key, uint32_t recno, const Entry& e) const;
  bool less(const Entry& a, const Entry& b) const { return compare(a.key, a.recno, b) < 0; }
  // Keys compare as unsigned bytes (no collation).
  bool byte_order() const { return collation_ == nullptr; }
  // Forgets the cursor (the tree was rebuilt).
  void reset_cursor() { has_cur_ = false; }

 private:
  struct Step {
    uint32_t page;
    size_t index;
  };
  using Path = std::vector<Step>;
  // True from the target on. A reference to the caller's lambda: a descent asks it a few
  // dozen times, and a std::function around it cost more than the comparisons themselves.
  class Pred {
   public:
    template <class F>
    Pred(const F& f)  // NOLINT(google-explicit-constructor): lambdas pass as they are
        : obj_(&f),
          call_([](const void* o, const Entry& e) { return (*static_cast<const F*>(o))(e); }) {}
    bool operator()(const Entry& e) const { return call_(obj_, e); }

   private:
    const void* obj_;
    bool (*call_)(const void*, const Entry&);
  };

  // Root to leaf; in each node the first entry at or after the target (interior nodes: the
  // last one when all are before it). The leaf index may equal its size.
  Path descend(const Pred& at_or_after);
  Node& node(uint32_t page) { return store_.load(page, shape_); }
  // The root page; after another station changed the file, re-read from the tag header.
  uint32_t root();
  // Moves a leaf position onto an entry: forward over ends of leaves / back before it.
  // Every step checks that the entry it reaches comes after the one it left (in the leaf and
  // across leaves), so that no damage can make a walk go round.
  bool settle_forward(Step& pos, const Entry* before = nullptr);
  bool step_forward(Step& pos);
  bool step_back(Step& pos);
  bool phys_first(Step& pos);
  bool phys_last(Step& pos);
  Node& sibling(const Node& from, bool right);
  void set_cursor(const Step& pos, IndexKey* out);
  bool cursor_pos(Step& pos, bool& exact);
  bool move(bool forward, IndexKey* out);
  int compare_prefix(std::string_view key, std::string_view prefix) const;

  // Tree upkeep (cdx_tree.cpp).
  void insert_locked(const Entry& e);
  bool remove_locked(const Entry& e);
  void repair(Path& path, bool shrinking);
  void split_root(Node& root);
  void split(Path& path, size_t level, Node& parent);
  bool try_merge(Path& path, size_t level);
  void unlink_and_free(Node& n);
  void collapse_root();
  // The pieces a split leaves, the node's entries moved into them.
  std::vector<std::vector<Entry>> partition(Node& n, bool append) const;

  // Structure check (cdx_verify.cpp).
  void verify_locked(const std::function<void(const IndexKey&)>& visit);

  Store& store_;
  uint32_t header_offset_;
  TagInfo info_;
  KeyShape shape_;
  char type_ = 'C';
  const Collation* collation_ = nullptr;  // character keys; nullptr: bytes
  const CodePage* cp_ = nullptr;
  IndexKey cur_;
  bool has_cur_ = false;
  Step cur_pos_{0, 0};
  uint64_t cur_gen_ = 0;
  uint64_t header_seen_ = 0;  // Store::reloads() when the header was last read
};

}  // namespace xbase::cdx
