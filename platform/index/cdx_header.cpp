// CDX tag header bytes (1024, LE except the counter): 0 root, 4 free list, 8 counter (BE),
// 12 key length, 14 options, 15 signature, 16/18 header and page length, 20 "RCHB", 499
// ignore case, 502 descending, 504/506 FOR offset/length, 508/510 key offset/length, and
// from 512 the expression pool: key expression, NUL, FOR expression, NUL.
#include "platform/index/cdx_header.h"

#include <cstring>

#include "platform/index/cdx_node.h"
#include "platform/table/table_error.h"

namespace xbase::cdx {
namespace {

[[noreturn]] void bad_header(const std::string& file, uint32_t offset, const std::string& what) {
  fail_page(file, kNoPage, "tag header at " + page_name(offset).substr(5) + ": " + what);
}

// The text of a pool slot up to its NUL; the slot must lie inside the pool.
std::string pool_text(const uint8_t* pool, int pos, int len, const std::string& file,
                      uint32_t offset, const char* what) {
  if (pos < 0 || len < 0 || pos + len > kExprPoolSize)
    bad_header(file, offset, std::string(what) + " lies outside the expression pool");
  const char* p = reinterpret_cast<const char*>(pool + pos);
  size_t n = 0;
  while (n < static_cast<size_t>(len) && p[n] != '\0') ++n;
  return std::string(p, n);
}

}  // namespace

TagInfo parse_tag_header(const uint8_t* hdr, uint32_t offset, const std::string& file) {
  TagInfo t;
  t.root = get_le32(hdr + kHdrRoot);
  t.key_length = get_le16(hdr + kHdrKeyLen);
  t.options = hdr[kHdrOptions];
  if (t.key_length < 1 || t.key_length > kMaxKeyLength)
    bad_header(file, offset, "key length " + std::to_string(t.key_length) + " is impossible");
  if (!(t.options & kOptCompact)) bad_header(file, offset, "not a compact index tag");
  if (hdr[kHdrSignature] & 0x20)
    throw TableError(kErrOpen, 0, file, "CDX large-file variant (block numbers) is not supported");
  t.ignore_case = hdr[kHdrIgnoreCase] != 0;
  t.descending = get_le16(hdr + kHdrDescending) != 0;
  int key_pos = get_le16(hdr + kHdrKeyPos), key_len = get_le16(hdr + kHdrKeyLen2);
  int for_pos = get_le16(hdr + kHdrForPos), for_len = get_le16(hdr + kHdrForLen);
  const uint8_t* pool = hdr + kHdrPool;
  t.expression = pool_text(pool, key_pos, key_len, file, offset, "key expression");
  // Writers that leave the FOR position at 0 put the FOR right after the key.
  if (for_pos == 0) for_pos = key_pos + key_len;
  if (for_len > 0)
    t.for_expression = pool_text(pool, for_pos, for_len, file, offset, "FOR expression");
  return t;
}

void write_tag_header(const TagInfo& info, uint8_t* hdr) {
  std::memset(hdr, 0, kHeaderSize);
  put_le32(hdr + kHdrRoot, info.root);
  put_le16(hdr + kHdrKeyLen, static_cast<uint16_t>(info.key_length));
  hdr[kHdrOptions] = info.options;
  hdr[kHdrSignature] = 0x01;
  put_le16(hdr + kHdrHeaderLen, kHeaderSize);
  put_le16(hdr + kHdrPageLen, kPageSize);
  hdr[kHdrIgnoreCase] = info.ignore_case ? 1 : 0;
  put_le16(hdr + kHdrDescending, info.descending ? 1 : 0);
  const size_t key_len = info.expression.size() + 1;
  const size_t for_len = info.for_expression.size() + 1;
  put_le16(hdr + kHdrKeyPos, 0);
  put_le16(hdr + kHdrKeyLen2, static_cast<uint16_t>(key_len));
  put_le16(hdr + kHdrForPos, static_cast<uint16_t>(key_len));
  put_le16(hdr + kHdrForLen, static_cast<uint16_t>(for_len));
  std::memcpy(hdr + kHdrPool, info.expression.data(), info.expression.size());
  std::memcpy(hdr + kHdrPool + key_len, info.for_expression.data(), info.for_expression.size());
}

void write_directory_header(uint32_t root, uint32_t free_head, uint32_t counter, uint8_t* hdr) {
  TagInfo dir;
  dir.root = root;
  dir.key_length = kTagNameLength;
  dir.options = kOptCompact | kOptCompound | kOptStructure;
  write_tag_header(dir, hdr);
  put_le32(hdr + kHdrFree, free_head);
  put_be32(hdr + kHdrCounter, counter);
  put_be32(hdr + kHdrHarbourSig, kHarbourSignature);
}

std::string directory_name(const std::string& name) {
  std::string n = name.substr(0, kTagNameLength);
  for (char& c : n)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return n;
}

}  // namespace xbase::cdx
