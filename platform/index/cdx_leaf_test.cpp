// CDX page codec: leaf bit packing and key compression, record-number growth, both prefix
// caps, interior entries, and the faults a damaged page must be refused for.
#include <gtest/gtest.h>

#include "platform/index/cdx_node.h"
#include "platform/table/table_error.h"

namespace xbase::cdx {
namespace {

Entry entry(const std::string& key, uint32_t recno, uint32_t child = 0) {
  return Entry{KeyBytes(key), recno, child};
}

std::vector<uint8_t> encoded(const Node& n, const KeyShape& s) {
  std::vector<uint8_t> page(kPageSize, 0xEE);
  EXPECT_TRUE(encode_node(n, s, page.data()));
  return page;
}

Node decoded(const std::vector<uint8_t>& page, const KeyShape& s) {
  Node n;
  decode_node(page.data(), 0x400, s, "T.CDX", &n);
  return n;
}

std::string bytes(const std::vector<uint8_t>& page, size_t from, size_t n) {
  return std::string(reinterpret_cast<const char*>(page.data() + from), n);
}

TEST(CdxLeaf, WorkedExampleBytes) {
  const KeyShape s{10, ' '};
  Node n;
  n.root = true;
  n.entries = {entry("ADAMS     ", 3), entry("ADAMSON   ", 1), entry("BAKER     ", 2)};
  auto page = encoded(n, s);
  EXPECT_EQ(get_le16(page.data()), 3);  // root + leaf
  EXPECT_EQ(get_le16(page.data() + 2), 3);
  EXPECT_EQ(get_le32(page.data() + 4), kNoPage);
  EXPECT_EQ(get_le32(page.data() + 8), kNoPage);
  EXPECT_EQ(get_le16(page.data() + 12), 467);
  EXPECT_EQ(get_le32(page.data() + 14), 0xFFFFu);
  EXPECT_EQ(bytes(page, 18, 6), std::string("\x0F\x0F\x10\x04\x04\x03", 6));
  EXPECT_EQ(bytes(page, 24, 9), std::string("\x03\x00\x50\x01\x00\x35\x02\x00\x50", 9));
  EXPECT_EQ(bytes(page, 500, 12), "BAKERONADAMS");
  for (size_t i = 33; i < 500; ++i) ASSERT_EQ(page[i], 0) << "gap byte " << i;

  Node back = decoded(page, s);
  ASSERT_EQ(back.entries.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(back.entries[i].key, n.entries[i].key);
    EXPECT_EQ(back.entries[i].recno, n.entries[i].recno);
  }
  EXPECT_TRUE(back.root);
  EXPECT_TRUE(back.leaf);
  EXPECT_EQ(back.stored_free, 467);
}

TEST(CdxLeaf, SharedPrefixMayReachIntoThePreviousPad) {
  const KeyShape s{4, ' '};
  Node n;
  n.entries = {entry("AB  ", 1), entry("AB C", 2)};
  auto page = encoded(n, s);
  // As the fixtures' engine writes: the prefix stops only at this key's own padding (dup 3).
  uint32_t second = page[27] | (page[28] << 8) | (page[29] << 16);
  EXPECT_EQ((second >> 18) & 0x7, 3u);  // L=4: 18 record bits, then 3 for dup
  EXPECT_EQ(bytes(page, 509, 3), "CAB");
  EXPECT_EQ(get_le16(page.data() + 12), 488 - 3 - 2 - 3 - 1);

  // The other writers' variant keeps out of the previous pad too (dup 2, two bytes stored).
  std::vector<uint8_t> other = page;
  other[27 + 2] = static_cast<uint8_t>(2 << 2);  // trail 0, dup 2 in the top byte
  other[508] = ' ';
  other[509] = 'C';
  put_le16(other.data() + 12, get_le16(page.data() + 12) - 1);
  Node back = decoded(other, s);
  ASSERT_EQ(back.entries.size(), 2u);
  EXPECT_EQ(back.entries[0].key, "AB  ");
  EXPECT_EQ(back.entries[1].key, "AB C");
  back = decoded(page, s);
  EXPECT_EQ(back.entries[1].key, "AB C");
  EXPECT_EQ(leaf_bytes(n.entries, 0, 2, s, 0, true), leaf_bytes(n.entries, 0, 2, s) + 1);
}

TEST(CdxLeaf, RecordNumbersWidenTheEntry) {
  const KeyShape s{10, ' '};
  EXPECT_EQ(leaf_bits(10, 65535).rec_bytes, 3);
  EXPECT_EQ(leaf_bits(10, 65536).rec_bytes, 4);
  EXPECT_EQ(leaf_bits(10, 65536).rec_bits, 24);
  EXPECT_EQ(leaf_bits(10, 0x1000000).rec_bytes, 5);
  EXPECT_EQ(leaf_bits(240, 255).rec_bytes, 3);
  EXPECT_EQ(leaf_bits(240, 256).rec_bytes, 4);
  EXPECT_EQ(leaf_bits(30, 1).dup_bits, 5);
  EXPECT_EQ(leaf_bits(100, 1).dup_bits, 7);

  for (uint32_t big : {70000u, 0x1234567u, 0xFFFFFFFFu}) {
    Node n;
    n.entries = {entry("A         ", 5), entry("AB        ", big), entry("B         ", 7)};
    auto page = encoded(n, s);
    LeafBits b = leaf_bits(10, big);
    EXPECT_EQ(page[20], b.rec_bits);
    EXPECT_EQ(page[23], b.rec_bytes);
    EXPECT_EQ(get_le32(page.data() + 14), b.rec_bits >= 32 ? 0xFFFFFFFFu : (1u << b.rec_bits) - 1);
    Node back = decoded(page, s);
    ASSERT_EQ(back.entries.size(), 3u);
    EXPECT_EQ(back.entries[1].recno, big);
    EXPECT_EQ(back.entries[1].key, "AB        ");
    EXPECT_EQ(back.entries[2].recno, 7u);
  }
}

TEST(CdxLeaf, CountsAgreeWithAByteByByteWalk) {
  // Every length and every place a difference or the pad can start, across word boundaries.
  for (size_t len : {1u, 7u, 8u, 9u, 16u, 25u, 40u}) {
    for (size_t at = 0; at <= len; ++at) {
      for (char pad : {' ', '\0'}) {
        std::string a(len, 'K'), b = a;
        for (size_t i = at; i < len; ++i) a[i] = pad;
        if (at < len) b[at] = 'Z';
        int trail = 0;
        while (trail < static_cast<int>(len) && a[len - 1 - trail] == pad) ++trail;
        EXPECT_EQ(trailing_count(a, pad), trail) << len << " " << at;
        EXPECT_EQ(dup_count(a, b, 0, 0), static_cast<int>(at)) << len << " " << at;
        EXPECT_EQ(dup_count(a, b, 0, 3),
                  static_cast<int>(std::min(at, len - std::min<size_t>(3, len))));
      }
    }
  }
}

TEST(CdxInterior, BigEndianRecordAndChild) {
  const KeyShape s{8, '\0'};
  Node n;
  n.leaf = false;
  n.root = true;
  n.left = 0x200;
  n.entries = {entry("ABCDEFGH", 0x9E, 0xA00), entry("IJKLMNOP", 0x10203, 0x1C00)};
  auto page = encoded(n, s);
  EXPECT_EQ(get_le16(page.data()), 1);
  EXPECT_EQ(get_le32(page.data() + 4), 0x200u);
  EXPECT_EQ(bytes(page, 12, 16), std::string("ABCDEFGH\0\0\0\x9E\0\0\x0A\0", 16));
  EXPECT_EQ(get_be32(page.data() + 28 + 8), 0x10203u);
  EXPECT_EQ(get_be32(page.data() + 28 + 12), 0x1C00u);
  Node back = decoded(page, s);
  EXPECT_FALSE(back.leaf);
  ASSERT_EQ(back.entries.size(), 2u);
  EXPECT_EQ(back.entries[1].child, 0x1C00u);
  EXPECT_EQ(back.entries[0].recno, 0x9Eu);
  EXPECT_EQ(interior_capacity(10), 27u);
  EXPECT_EQ(interior_capacity(8), 31u);
  EXPECT_EQ(interior_capacity(30), 13u);
}

void expect_refused(std::vector<uint8_t> page, const KeyShape& s, const std::string& part) {
  try {
    decoded(page, s);
    ADD_FAILURE() << "accepted a damaged page (" << part << ")";
  } catch (const TableError& e) {
    EXPECT_EQ(e.generic(), kErrCorruption);
    EXPECT_EQ(e.file(), "T.CDX");
    EXPECT_NE(e.message().find("page 0x400"), std::string::npos) << e.message();
    EXPECT_NE(e.message().find(part), std::string::npos) << e.message();
  }
}

TEST(CdxLeaf, DamagedPagesAreRefused) {
  const KeyShape s{10, ' '};
  Node n;
  n.entries = {entry("ADAMS     ", 3), entry("ADAMSON   ", 1), entry("BAKER     ", 2)};
  const auto good = encoded(n, s);

  auto p = good;
  p[0] = 7;
  expect_refused(p, s, "attributes");
  p = good;
  put_le16(p.data() + 2, 200);
  expect_refused(p, s, "more entries");
  p = good;
  p[23] = 0;
  expect_refused(p, s, "widths");
  p = good;
  p[26] = 0xFF;  // second entry: dup 15 + trail 15 > 10
  p[29] = 0xFF;
  expect_refused(p, s, "exceed key length");
  p = good;
  put_le16(p.data() + 2, 150);  // 150 entries of 3 bytes leave no room for their keys
  expect_refused(p, s, "overlap");

  Node inner;
  inner.leaf = false;
  inner.entries = {entry("ABCDEFGHIJ", 1, 0x600)};
  auto q = encoded(inner, s);
  put_le16(q.data() + 2, 28);
  expect_refused(q, s, "more entries");
}

// Keys past the inline bytes live on the heap; a key that held one keeps using it for
// shorter bytes, and moves hand it over: copies, moves and reuse must never mix two keys.
TEST(CdxKey, InlineAndHeapKeysCopyMoveAndReuse) {
  const std::string shortk(KeyBytes::kInline, 'a'), longk(KeyBytes::kInline + 9, 'b');
  KeyBytes k(longk);
  k.assign(shortk);
  EXPECT_EQ(k, shortk);
  KeyBytes c = k;
  k.assign(longk);
  EXPECT_EQ(c, shortk);
  EXPECT_EQ(k, longk);
  KeyBytes m = std::move(k);
  EXPECT_EQ(m, longk);
  m = KeyBytes(shortk);
  EXPECT_EQ(m, shortk);
  std::vector<Entry> v;
  for (int i = 0; i < 40; ++i)  // grows, moving inline and heap keys alike
    v.insert(v.begin(),
             entry(std::string(i % 2 ? longk : shortk).replace(0, 1, 1, char('A' + i)), 1));
  for (int i = 0; i < 40; ++i)
    EXPECT_EQ(v[39 - i].key, std::string(i % 2 ? longk : shortk).replace(0, 1, 1, char('A' + i)));
}

}  // namespace
}  // namespace xbase::cdx
