// NTX (Clipper single-order index) bytes. All integers little-endian; pages of 1024 bytes;
// page references are byte offsets into the file.
//
// Header page (offset 0):
//   0 u16 signature (0x0006, 0x0007 with a FOR expression; 0x0003 = Summer '87)
//   2 u16 version, +1 on every header write      4 u32 root page    8 u32 free-list head
//  12 u16 item size = L + 8   14 u16 key length L   16 u16 decimals   18 u16 max keys M
//  20 u16 half page  22 [256] key expression   278 u8 unique   280 u8 descending
// 282 [256] FOR expression   538 [12] tag name   550 u8 custom flag   rest zero
//
// Tree page: u16 key count k, then M+1 u16 offsets of the logical items inside the page,
// then M+1 item slots of (u32 child page, u32 record number, L key bytes). Item k carries
// only the right-most child. Leaves have child 0 everywhere. A free page links the next free
// page through the child of its item 0.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace xbase::ntx {

constexpr uint32_t kPageSize = 1024;
constexpr int kMaxKeyLength = 256;
constexpr int kMaxExpression = 256;
constexpr int kMaxTagName = 10;
constexpr uint64_t kLockOffset = 1000000000ULL;
// Deeper than any tree of 2^32 records with two keys a page: a longer path is a loop.
constexpr int kMaxDepth = 40;

constexpr uint16_t kSigBase = 0x0006;
constexpr uint16_t kSigFor = 0x0001;
constexpr uint16_t kSigLargeFile = 0x0200;
constexpr uint16_t kSigCompound = 0x8000;
constexpr uint16_t kSigKnownBits = 0x87FF;

using PageBytes = std::array<uint8_t, kPageSize>;

inline uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

struct Header {
  uint16_t signature = kSigBase;
  uint16_t version = 0;
  uint32_t root = 0;
  uint32_t free_head = 0;
  uint16_t item_size = 0;
  uint16_t key_length = 0;
  uint16_t key_decimals = 0;
  uint16_t max_keys = 0;
  uint16_t half_page = 0;
  std::string key_expr;
  bool unique = false;
  bool descending = false;
  std::string for_expr;
  std::string tag;  // empty when the header holds no printable name
};

// Parses and validates a header page; returns the fault, empty when the page is sound.
std::string parse_header(const PageBytes& page, Header* out);
PageBytes format_header(const Header& h);
// The 12 bytes that change with the tree: signature, version, root, free-list head.
void format_head(const Header& h, uint8_t out[12]);
// Max keys a page holds for key length L, as the engines compute it for a new index.
int max_keys_for(int key_length);

// Numeric key text: STR(value, length, decimals) with leading blanks as '0' and, for a
// negative number, the sign as '0' and every digit d as the byte 0x2C - d.
std::string number_key(double value, int length, int decimals);
double key_number(std::string_view key);

}  // namespace xbase::ntx
