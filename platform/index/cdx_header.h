// CDX tag headers (1024 bytes: root, key length, options, descending flag, expression pool)
// in decoded form, and the directory tag that maps tag names to header offsets.
#pragma once

#include <cstdint>
#include <string>

#include "platform/index/cdx_format.h"

namespace xbase::cdx {

struct TagInfo {
  std::string name;  // upper case, no padding
  std::string expression;
  std::string for_expression;
  uint32_t root = 0;
  int key_length = 0;
  uint8_t options = kOptCompact | kOptCompound;
  bool ignore_case = false;
  bool descending = false;
  bool unique() const { return (options & kOptUnique) != 0; }
};

// Reads a tag header; throws TableError (corruption) naming file and header offset.
TagInfo parse_tag_header(const uint8_t* hdr, uint32_t offset, const std::string& file);
// Writes a tag header as Harbour does. The directory's header (at file offset 0) also
// carries the free list, the counter and the "RCHB" signature.
void write_tag_header(const TagInfo& info, uint8_t* hdr);
void write_directory_header(uint32_t root, uint32_t free_head, uint32_t counter, uint8_t* hdr);
// Tag name as the directory stores it: upper case, cut to 10.
std::string directory_name(const std::string& name);

}  // namespace xbase::cdx
