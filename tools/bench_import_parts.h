// Pieces of bench_import: a file system that counts the calls the table layer makes through
// the FileSystem seam, and an order document in the shop's record format for a sample folder.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/file/file.h"

namespace bench_import {

struct IoCounts {
  uint64_t reads = 0, writes = 0, flushes = 0, opens = 0;
  uint64_t bytes_written = 0;
  IoCounts operator-(const IoCounts& o) const {
    return {reads - o.reads, writes - o.writes, flushes - o.flushes, opens - o.opens,
            bytes_written - o.bytes_written};
  }
};

// Counts in all and by the file's kind (its extension in upper case: "DBF", "NTX", "CDX").
struct IoTally {
  IoCounts all;
  std::map<std::string, IoCounts> by_kind;
  bool syncs = true;  // whether syncs reach the disk
  IoTally operator-(const IoTally& o) const;
};

// Passes every call to inner and counts opens, reads, writes and syncs (flushes). With syncs
// off, a sync is counted but not passed on: the run's time without waiting for the disk, the
// benchmark's measure of how near the posting is to what the processor alone allows.
class CountingFileSystem : public xbase::ForwardingFileSystem {
 public:
  explicit CountingFileSystem(xbase::FileSystem& inner)
      : ForwardingFileSystem(inner), counts_(std::make_shared<IoTally>()) {}
  std::unique_ptr<xbase::File> open(const std::string& path,
                                    const xbase::OpenOptions& opts) override;
  IoTally counts() const { return *counts_; }
  void set_syncs(bool on) { counts_->syncs = on; }

 private:
  std::shared_ptr<IoTally> counts_;  // shared with the open files, which may outlive a phase
};

// What the document asks of the folder: partners to find by ICO and by name, cards to use.
struct Partner {
  double ico = 0;    // > 0: found by ICO
  std::string name;  // UTF-8, at most 30 characters: the document's NAZD carries it whole
};

struct DocumentMix {
  int by_ico = 0, by_name = 0, new_partners = 0;
};

// The partners of DOOD.DBF in dir that the document can name: those with an ICO, and those
// without one whose name fits the document (at most max_each of each).
void existing_partners(const std::string& dir, size_t max_each, std::vector<Partner>* by_ico,
                       std::vector<Partner>* by_name);

// orders order headers, each followed by its items, CR LF between records, Windows-1250.
// Order numbers start at first_czak; partners are taken in turn by ICO, by name, and new;
// each item names an existing card.
std::string make_document(int orders, int items, double first_czak,
                          const std::vector<Partner>& by_ico, const std::vector<Partner>& by_name,
                          const std::vector<std::string>& cards, unsigned seed, DocumentMix* mix);

}  // namespace bench_import
