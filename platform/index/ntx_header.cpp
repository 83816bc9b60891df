// NTX header page (offset 0, 1024 bytes): signature, version, root, free list, key geometry,
// key and FOR expressions, flags and tag name. See ntx_format.h for the offsets.
#include <cstring>

#include "platform/index/ntx_format.h"

namespace xbase::ntx {
namespace {

std::string read_text(const uint8_t* p, size_t max) {
  size_t n = 0;
  while (n < max && p[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(p), n);
}

void write_text(uint8_t* p, size_t max, const std::string& s) {
  std::memcpy(p, s.data(), s.size() < max ? s.size() : max);
}

bool printable_name(const std::string& s) {
  if (s.empty()) return false;
  for (unsigned char c : s)
    if (c <= ' ' || c >= 0x7F) return false;
  return true;
}

std::string trim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  size_t b = 0;
  while (b < s.size() && s[b] == ' ') ++b;
  return s.substr(b);
}

}  // namespace

int max_keys_for(int key_length) {
  int m = static_cast<int>((kPageSize - 2) / (key_length + 10)) - 1;
  if (m > 2 && m % 2 != 0) --m;
  return m;
}

std::string parse_header(const PageBytes& page, Header* out) {
  const uint8_t* p = page.data();
  Header h;
  h.signature = get16(p);
  h.version = get16(p + 2);
  h.root = get32(p + 4);
  h.free_head = get32(p + 8);
  h.item_size = get16(p + 12);
  h.key_length = get16(p + 14);
  h.key_decimals = get16(p + 16);
  h.max_keys = get16(p + 18);
  h.half_page = get16(p + 20);

  const uint16_t sig = h.signature;
  if (sig != 3 && ((sig & ~kSigKnownBits) != 0 || (sig & kSigBase) != kSigBase))
    return "not an NTX index (signature " + std::to_string(sig) + ")";
  if (sig & kSigCompound) return "compound NTX (CTX) files are not supported";
  if (sig & kSigLargeFile) return "large-file NTX (page numbers) is not supported";

  if (h.key_length < 1 || h.key_length > kMaxKeyLength)
    return "key length " + std::to_string(h.key_length) + " out of range";
  if (h.item_size != h.key_length + 8)
    return "item size " + std::to_string(h.item_size) + " does not match key length " +
           std::to_string(h.key_length);
  const int m = h.max_keys;
  if (m < 2 || (m + 2) * 2 + (m + 1) * h.item_size > static_cast<int>(kPageSize))
    return "max keys " + std::to_string(m) + " does not fit a page with key length " +
           std::to_string(h.key_length);

  if (p[22] <= ' ' || p[22] >= 0x7F) return "key expression missing";
  h.key_expr = trim(read_text(p + 22, kMaxExpression));
  h.unique = p[278] != 0;
  h.descending = sig != 3 && p[280] != 0;
  if (sig != 3 && (sig & kSigFor)) h.for_expr = trim(read_text(p + 282, kMaxExpression));
  std::string tag = read_text(p + 538, kMaxTagName + 1);
  if (sig != 3 && printable_name(tag)) h.tag = tag;
  *out = std::move(h);
  return {};
}

void format_head(const Header& h, uint8_t out[12]) {
  put16(out, h.signature);
  put16(out + 2, h.version);
  put32(out + 4, h.root);
  put32(out + 8, h.free_head);
}

PageBytes format_header(const Header& h) {
  PageBytes page{};
  uint8_t* p = page.data();
  format_head(h, p);
  put16(p + 12, h.item_size);
  put16(p + 14, h.key_length);
  put16(p + 16, h.key_decimals);
  put16(p + 18, h.max_keys);
  put16(p + 20, h.half_page);
  write_text(p + 22, kMaxExpression - 1, h.key_expr);
  p[278] = h.unique ? 1 : 0;
  p[280] = h.descending ? 1 : 0;
  write_text(p + 282, kMaxExpression - 1, h.for_expr);
  write_text(p + 538, kMaxTagName, h.tag);
  return page;
}

}  // namespace xbase::ntx
