// One CDX file as an IndexBag: its directory of tags, opened from disk or created by a bulk
// build (cdx_build.cpp) that writes the whole file in sequence.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/index/cdx_build_keys.h"
#include "platform/index/cdx_store.h"
#include "platform/index/cdx_tag.h"
#include "platform/index/order.h"

namespace xbase::cdx {

class Bag : public IndexBag {
 public:
  Bag(std::string path, std::unique_ptr<Store> store, const Collation* collation);
  ~Bag() override;

  // Reads the directory and every tag header (throws TableError naming the file).
  void load(const RecordSource& schema);

  const std::string& path() const override { return path_; }
  size_t order_count() const override { return tags_.size(); }
  Order& order(size_t i) override { return *tags_.at(i); }
  void flush() override;
  void close() override;
  std::unique_ptr<BagRebuild> begin_rebuild() override;
  // Writes the whole file from the table under the write lock; a fresh file starts its
  // change counter at 0, a rebuilt one advances it.
  void build(RecordScanner& table, bool fresh);

  Store& store() { return *store_; }
  const Collation* collation() const { return collation_; }
  std::vector<std::unique_ptr<Tag>>& tags() { return tags_; }

 private:
  std::string path_;
  std::unique_ptr<Store> store_;
  const Collation* collation_;
  std::vector<std::unique_ptr<Tag>> tags_;
  bool closed_ = false;
};

// Writes the whole file anew: directory header and tree, the tag headers one after the
// other, then each tag's tree with leaves packed full; the table is read once. counter goes
// to the change counter at offset 8. Must be called with the write lock (WriteScope) held.
void build_file(Store& store, const std::vector<Tag*>& tags, RecordScanner& table,
                uint32_t counter);
// The writing half of build_file, from keys already gathered and sorted.
void write_file(Store& store, const std::vector<Tag*>& tags, BuildKeys& built, uint32_t counter);

// write_file in two steps: the new file laid out in memory (touching neither the file nor the
// tags), then put in place.
struct BuiltFile {
  std::vector<uint8_t> image;
  std::vector<std::pair<uint32_t, uint32_t>> tags;  // each tag's header offset and root
  uint32_t counter = 0;
};
BuiltFile lay_out_file(const std::string& file, const std::vector<Tag*>& tags,
                       const BuildKeys& built, uint32_t counter);
void put_file(Store& store, const std::vector<Tag*>& tags, const BuiltFile& built);

}  // namespace xbase::cdx
