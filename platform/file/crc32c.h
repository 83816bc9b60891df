// CRC-32C (Castagnoli, reflected polynomial 0x82F63B78), the checksum of the journal.
#pragma once

#include <cstddef>
#include <cstdint>

namespace xbase {

// Continues crc over n bytes; start with 0.
uint32_t crc32c(const void* data, size_t n, uint32_t crc = 0);

}  // namespace xbase
