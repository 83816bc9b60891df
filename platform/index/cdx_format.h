// CDX (FoxPro compact compound index, as Harbour DBFCDX writes it): the byte layout.
//
// The file is an array of 512-byte pages; pointers are byte offsets (multiples of 512).
//   0      tag header of the directory: maps upper-cased tag names (key length 10) to the
//          offsets of the tags' own headers, stored in the "record number" of each key.
//          Also holds, for the whole file, the free-page list head (4, u32 LE) and the
//          change counter (8, u32 BE) that other stations compare to drop their caches.
// Tag header (1024 bytes; every tag and the directory have one):
//   0 u32 root page   4 u32 free list   8 u32 counter   12 u16 key length   14 u8 options
//   15 u8 signature (1)   16 u16 1024   18 u16 512   20 "RCHB" (directory only)
//   499 u8 ignore case   502 u16 descending   504/506 FOR offset/length   508/510 key
//   offset/length (lengths include the NUL)   512.. expression pool (key, NUL, FOR, NUL)
// Node header (LE): u16 attributes (1 root, 2 leaf), u16 key count, u32 left, u32 right
//   sibling (0xFFFFFFFF: none).
// Interior node from 12: entries of key[L], u32 BE record number, u32 BE child; each entry
//   repeats the last key of its child.
// Leaf from 12: u16 free bytes, u32 record mask, u8 dup mask, u8 trail mask, u8 record bits,
//   u8 dup bits, u8 trail bits, u8 entry bytes R; then R-byte LE entries from 24 (record
//   number in the low bits, dup count above it, trail count on top) and the key bytes
//   growing backward from 511: of each key only the bytes after the prefix shared with the
//   previous key (dup) and before its trailing pad bytes (trail) are stored.
// Free page: u32 LE offset of the next free page, then zeros.
#pragma once

#include <cstdint>
#include <cstring>

namespace xbase::cdx {

constexpr uint32_t kPageSize = 512;
constexpr uint32_t kHeaderSize = 1024;
constexpr int kMaxKeyLength = 240;
constexpr int kTagNameLength = 10;
constexpr uint32_t kNoPage = 0xFFFFFFFFu;
constexpr int kIntHeaderSize = 12;
constexpr int kLeafHeaderSize = 24;
constexpr int kLeafSpace = kPageSize - kLeafHeaderSize;  // 488
constexpr uint64_t kIndexLockPos = 0x7FFFFFFEull;
constexpr int kExprPoolSize = 512;

// Option bits (tag header offset 14).
constexpr uint8_t kOptUnique = 0x01;
constexpr uint8_t kOptFor = 0x08;
constexpr uint8_t kOptCompact = 0x20;
constexpr uint8_t kOptCompound = 0x40;
constexpr uint8_t kOptStructure = 0x80;

// Node attribute bits.
constexpr uint16_t kAttrRoot = 1;
constexpr uint16_t kAttrLeaf = 2;

// Tag header field offsets.
constexpr int kHdrRoot = 0;
constexpr int kHdrFree = 4;
constexpr int kHdrCounter = 8;
constexpr int kHdrKeyLen = 12;
constexpr int kHdrOptions = 14;
constexpr int kHdrSignature = 15;
constexpr int kHdrHeaderLen = 16;
constexpr int kHdrPageLen = 18;
constexpr int kHdrHarbourSig = 20;
constexpr int kHdrIgnoreCase = 499;
constexpr int kHdrDescending = 502;
constexpr int kHdrForPos = 504;
constexpr int kHdrForLen = 506;
constexpr int kHdrKeyPos = 508;
constexpr int kHdrKeyLen2 = 510;
constexpr int kHdrPool = 512;
constexpr uint32_t kHarbourSignature = 0x52434842u;  // "RCHB"

inline uint16_t get_le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t get_le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint32_t get_be32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
inline void put_le16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void put_le32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void put_be32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

}  // namespace xbase::cdx
