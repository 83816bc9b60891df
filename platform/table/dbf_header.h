// DBF header and field descriptors (all integers little-endian):
//
//   0   u8   version (0x03 dBase III, 0x83 with DBT memo, 0xF5 FoxPro with FPT, 0x30/0x31/0x32
//            Visual FoxPro, 0x07/0x87 ANSI DBFNTX, ...)
//   1   u8×3 last update: year (1900-based, or 2-digit for FoxPro), month, day
//   4   u32  record count (the file size is trusted over it, see DbfTable)
//   8   u16  header length: offset of record 1
//   10  u16  record length, deletion flag included
//   28  u8   table flags (bit0 structural index, bit1 VFP memo)
//   29  u8   language driver / code page mark
//   32  32×n field descriptors: name[11] NUL padded, type, 4 bytes (VFP: offset), length,
//            decimals (Clipper C fields: high byte of the length), VFP flags, ...
//   then 0x0D, and for VFP 263 bytes of backlink.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/table/record_source.h"

namespace xbase {

struct DbfHeader {
  uint8_t version = 0x03;
  int year = 0, month = 0, day = 0;  // last update
  uint32_t record_count = 0;
  uint16_t header_length = 0;
  uint16_t record_length = 0;  // as stored
  uint8_t table_flags = 0;
  uint8_t language_driver = 0;
  std::vector<FieldInfo> fields;
  std::vector<uint8_t> raw;  // the whole header as read, rewritten with count/date patched

  bool is_vfp() const { return version == 0x30 || version == 0x31 || version == 0x32; }
  int computed_record_length() const;  // 1 + sum of field lengths
};

// Parses a header; throws TableError (corruption, naming path) on any inconsistency.
// file_size is the size of the file, to tell a header cut short.
DbfHeader parse_dbf_header(const std::vector<uint8_t>& bytes, uint64_t file_size,
                           const std::string& path);
// Bytes needed to read the whole header, from the first 32 bytes (the header length field).
uint16_t dbf_header_length(const uint8_t* first32);

// A new plain dBase III header (0x03) for the given fields (names upper-cased, offsets set).
DbfHeader make_dbf_header(const std::vector<FieldInfo>& fields, const std::string& path);
// The header bytes with the record count and today's update date patched in.
std::vector<uint8_t> serialize_dbf_header(const DbfHeader& h, uint32_t record_count, int y, int m,
                                          int d);

}  // namespace xbase
