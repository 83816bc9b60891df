// Sorting of fixed-width keys laid end to end, as the bulk builds of the indexes and the
// benchmarks' limit use it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace xbase {

// The positions of the keys of bytes (each width bytes) in the order of their unsigned
// bytes, equal keys by position. The places where keys differ (places every key shares decide
// nothing) are packed as the ranks of their bytes into up to two words, sorted by radix passes,
// then the rest of the key compared within runs that agree there; keys already in order are
// only checked.
std::vector<uint32_t> byte_sorted(std::string_view bytes, size_t width);

// The same in the order of compare (three-way, a strict weak order), equal keys by position.
// The collation is asked about each distinct key, not about each key: the keys are grouped by
// their bytes first, the groups sorted and ranked, and the keys then sorted by rank.
std::vector<uint32_t> collated_sorted(
    std::string_view bytes, size_t width,
    const std::function<int(std::string_view, std::string_view)>& compare);

// The keys a bulk build gathers for one tree: fixed-width keys laid end to end in the order
// the table gave them, their record numbers beside them, then the order they go into the tree.
struct GatheredKeys {
  size_t width = 0;
  std::string bytes;
  std::vector<uint32_t> recnos;
  std::vector<uint32_t> order;  // positions into the above, filled by sort
  std::string_view key(uint32_t at) const { return {bytes.data() + size_t{at} * width, width}; }
  // Fills order: by bytes where bytewise, else by compare, equal keys in the order gathered;
  // unique keeps the first of keys compare finds equal.
  void sort(bool bytewise, const std::function<int(std::string_view, std::string_view)>& compare,
            bool unique);
};

}  // namespace xbase
