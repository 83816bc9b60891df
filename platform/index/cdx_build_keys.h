// The keys of a CDX bulk build: gathered in one pass over the table, put in tree order, and
// handed to the page layout one by one. A tag's keys past a budget (run_keys keys or
// run_bytes bytes) go to disk in sorted runs that are merged on the way out, so that the
// keys held in memory stay bounded whatever the table's size (the laid-out files are still
// held whole until written).
//
// Run file (a scratch file of the temporary folder, one per bag, removed when the build
// ends): runs one after the other, each entry the key's width bytes then its record number,
// u32 little-endian; where each run starts and how many entries it has is held in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file/file.h"
#include "platform/index/cdx_tag.h"
#include "platform/index/key_sort.h"
#include "platform/table/record_source.h"

namespace xbase::cdx {

struct KeyRun {
  uint64_t offset = 0;
  uint64_t count = 0;
};

// One tag's keys: those in memory come after the runs already on disk.
struct TagKeys : GatheredKeys {
  std::vector<KeyRun> runs;  // earlier keys, each run sorted
  uint64_t total() const;    // keys in the tree (a unique tag's runs may still hold equal ones)
};

// The scratch file of one bag's runs; removed when dropped.
class RunFile {
 public:
  RunFile();
  ~RunFile();
  RunFile(const RunFile&) = delete;
  RunFile& operator=(const RunFile&) = delete;
  // Appends one sorted run of k's in-memory keys.
  KeyRun append(const TagKeys& k);
  File& file() { return *file_; }

 private:
  std::string path_;
  std::unique_ptr<File> file_;
  uint64_t end_ = 0;
};

// Every tag's keys of one pass over the table, then put in tree order.
struct BuildKeys {
  std::vector<TagKeys> keys;  // per tag
  uint32_t max_recno = 0;
  std::unique_ptr<RunFile> runs;  // made when the first run goes to disk
  void gather(const std::vector<Tag*>& tags, const RecordSource& rec);
  void sort(const std::vector<Tag*>& tags, size_t i);  // tag i alone
};

// Tag i's keys in tree order, from memory and the runs merged; a unique tag's later equal keys
// are left out.
class OrderedKeys {
 public:
  OrderedKeys(const Tag& tag, const TagKeys& keys, RunFile* runs);
  ~OrderedKeys();
  bool next(std::string_view* key, uint32_t* recno);

 private:
  struct Source;
  const Tag& tag_;
  const TagKeys& keys_;
  std::vector<std::unique_ptr<Source>> sources_;
  std::string last_;
  bool any_ = false;
};

// How many keys, and key bytes, of one tag are held in memory before they go to disk as a
// run. Tests lower the first to make runs of a small table.
size_t run_keys();
void set_run_keys(size_t keys);
constexpr size_t kRunBytes = size_t{48} << 20;

}  // namespace xbase::cdx
