// What both index targets do with a fuzzed index file opened beside a good table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

struct IndexCase {
  const char* table;  // file name in the fixture folder
  bool cdx;
};

// input: one control byte (bit 2: shared open) and the index file. The table is copied into
// the scratch folder first, as every run appends to it.
void run_index_case(const IndexCase& c, const std::string& index_name, const uint8_t* data,
                    size_t size);

}  // namespace fuzz
