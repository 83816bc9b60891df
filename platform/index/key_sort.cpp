#include "platform/index/key_sort.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace xbase {
namespace {

using Counts = std::vector<std::array<uint32_t, 256>>;

// The bytes of the key that decide its place, packed big-endian into words that compare as the
// bytes do: a position every key shares decides nothing and is left out. One word holds the
// keys that differ in up to eight places (numbers, dates, most codes), and moves a third less.
template <size_t W>
struct Item {
  uint64_t head[W];
  uint32_t at;
};

template <size_t W>
inline unsigned digit(const Item<W>& it, size_t j) {
  return static_cast<unsigned>(it.head[j / 8] >> (56 - 8 * (j % 8))) & 0xFFu;
}

std::vector<uint32_t> in_place_order(size_t n) {
  std::vector<uint32_t> order(n);
  for (size_t k = 0; k < n; ++k) order[k] = static_cast<uint32_t>(k);
  return order;
}

// Radix passes over the packed places (the first 8 * W of varying, ascending), least
// significant first, then a comparison of the bytes from the next varying place on within the
// runs that agree on all of them.
template <size_t W>
std::vector<uint32_t> sorted_by_places(std::string_view bytes, size_t width,
                                       const std::vector<size_t>& varying, Counts& counts) {
  const size_t n = bytes.size() / width;
  const size_t packed = std::min(8 * W, varying.size());
  std::vector<Item<W>> items(n), spare(n);
  for (size_t i = 0; i < n; ++i) {
    const auto* key = reinterpret_cast<const unsigned char*>(bytes.data() + i * width);
    Item<W>& it = items[i];
    for (size_t w = 0; w < W; ++w) it.head[w] = 0;
    for (size_t j = 0; j < packed; ++j)
      it.head[j / 8] |= static_cast<uint64_t>(key[varying[j]]) << (56 - 8 * (j % 8));
    it.at = static_cast<uint32_t>(i);
  }
  // Each pass is stable, so equal heads keep their positions.
  for (size_t j = packed; j-- > 0;) {
    std::array<uint32_t, 256>& c = counts[varying[j]];
    uint32_t sum = 0;
    for (uint32_t& k : c) {
      uint32_t here = k;
      k = sum;
      sum += here;
    }
    for (const Item<W>& it : items) spare[c[digit(it, j)]++] = it;
    items.swap(spare);
  }
  spare = {};
  if (packed < varying.size()) {
    const size_t from = varying[packed];
    auto tail_less = [&](const Item<W>& a, const Item<W>& b) {
      int c = std::memcmp(bytes.data() + size_t{a.at} * width + from,
                          bytes.data() + size_t{b.at} * width + from, width - from);
      return c != 0 ? c < 0 : a.at < b.at;
    };
    auto same_head = [](const Item<W>& a, const Item<W>& b) {
      return std::equal(a.head, a.head + W, b.head);
    };
    for (size_t i = 0; i < n;) {
      size_t e = i + 1;
      while (e < n && same_head(items[e], items[i])) ++e;
      if (e - i > 1)
        std::sort(items.begin() + static_cast<long>(i), items.begin() + static_cast<long>(e),
                  tail_less);
      i = e;
    }
  }
  std::vector<uint32_t> order(n);
  for (size_t i = 0; i < n; ++i) order[i] = items[i].at;
  return order;
}

}  // namespace

std::vector<uint32_t> byte_sorted(std::string_view bytes, size_t width) {
  const size_t n = width == 0 ? 0 : bytes.size() / width;
  // Keys that come in order already (a number rising with the record, as order lines are
  // added) need no sort: the check costs a comparison a key, and one out of order ends it.
  size_t i = 1;
  while (i < n && std::memcmp(bytes.data() + (i - 1) * width, bytes.data() + i * width, width) <= 0)
    ++i;
  if (i >= n) return in_place_order(n);
  Counts counts(width, std::array<uint32_t, 256>{});
  for (size_t k = 0; k < n; ++k) {
    const auto* key = reinterpret_cast<const unsigned char*>(bytes.data() + k * width);
    for (size_t j = 0; j < width; ++j) ++counts[j][key[j]];
  }
  std::vector<size_t> varying;
  for (size_t j = 0; j < width; ++j)
    if (std::none_of(counts[j].begin(), counts[j].end(), [&](uint32_t c) { return c == n; }))
      varying.push_back(j);
  return varying.size() <= 8 ? sorted_by_places<1>(bytes, width, varying, counts)
                             : sorted_by_places<2>(bytes, width, varying, counts);
}

std::vector<uint32_t> collated_sorted(
    std::string_view bytes, size_t width,
    const std::function<int(std::string_view, std::string_view)>& compare) {
  const std::vector<uint32_t> by_bytes = byte_sorted(bytes, width);
  auto key = [&](uint32_t at) { return bytes.substr(size_t{at} * width, width); };
  // One key of each run of equal bytes, in byte order; group[i]: the run of by_bytes[i].
  std::vector<uint32_t> distinct, group(by_bytes.size());
  for (size_t i = 0; i < by_bytes.size(); ++i) {
    if (i == 0 || key(by_bytes[i]) != key(by_bytes[i - 1])) distinct.push_back(by_bytes[i]);
    group[i] = static_cast<uint32_t>(distinct.size() - 1);
  }
  std::vector<uint32_t> ranked(distinct.size());
  for (size_t d = 0; d < ranked.size(); ++d) ranked[d] = static_cast<uint32_t>(d);
  std::sort(ranked.begin(), ranked.end(), [&](uint32_t a, uint32_t b) {
    return compare(key(distinct[a]), key(distinct[b])) < 0;
  });
  // Keys the collation finds equal share a rank, so that they stay by position.
  std::vector<uint32_t> rank(distinct.size());
  for (size_t r = 0, value = 0; r < ranked.size(); ++r) {
    if (r > 0 && compare(key(distinct[ranked[r - 1]]), key(distinct[ranked[r]])) < 0) ++value;
    rank[ranked[r]] = static_cast<uint32_t>(value);
  }
  std::string ranks(by_bytes.size() * 4, '\0');
  for (size_t i = 0; i < by_bytes.size(); ++i) {
    const uint32_t v = rank[group[i]];
    char* out = ranks.data() + size_t{by_bytes[i]} * 4;
    for (int b = 0; b < 4; ++b) out[b] = static_cast<char>((v >> (24 - 8 * b)) & 0xFF);
  }
  return byte_sorted(ranks, 4);
}

}  // namespace xbase
