// Sorting of fixed-width keys laid end to end, as the bulk builds of the indexes and the
// benchmarks' limit use it.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace xbase {

// The positions of the keys of bytes (each width bytes) in the order of their unsigned
// bytes, equal keys by position. Radix passes over the first sixteen bytes (skipping the
// bytes every key shares), then a comparison sort within runs that agree there.
std::vector<uint32_t> byte_sorted(std::string_view bytes, size_t width);

}  // namespace xbase
