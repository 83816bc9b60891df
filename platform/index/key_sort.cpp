#include "platform/index/key_sort.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace xbase {
namespace {

constexpr size_t kHead = 16;

struct Item {
  uint64_t head[2];  // the first sixteen bytes, big-endian: compares as the bytes do
  uint32_t at;
};

inline unsigned digit(const Item& it, size_t j) {
  return static_cast<unsigned>(it.head[j / 8] >> (56 - 8 * (j % 8))) & 0xFFu;
}

}  // namespace

std::vector<uint32_t> byte_sorted(std::string_view bytes, size_t width) {
  const size_t n = width == 0 ? 0 : bytes.size() / width;
  const size_t head_len = std::min(kHead, width);
  std::vector<Item> items(n), spare(n);
  std::vector<std::array<uint32_t, 256>> counts(head_len, std::array<uint32_t, 256>{});
  for (size_t i = 0; i < n; ++i) {
    const auto* key = reinterpret_cast<const unsigned char*>(bytes.data() + i * width);
    Item& it = items[i];
    it.head[0] = it.head[1] = 0;
    for (size_t j = 0; j < head_len; ++j) {
      it.head[j / 8] |= static_cast<uint64_t>(key[j]) << (56 - 8 * (j % 8));
      ++counts[j][key[j]];
    }
    it.at = static_cast<uint32_t>(i);
  }
  // Least significant byte first; each pass is stable, so equal heads keep their positions.
  for (size_t j = head_len; j-- > 0;) {
    std::array<uint32_t, 256>& c = counts[j];
    if (std::any_of(c.begin(), c.end(), [&](uint32_t k) { return k == n; })) continue;
    uint32_t sum = 0;
    for (uint32_t& k : c) {
      uint32_t here = k;
      k = sum;
      sum += here;
    }
    for (const Item& it : items) spare[c[digit(it, j)]++] = it;
    items.swap(spare);
  }
  if (width > kHead) {
    auto tail_less = [&](const Item& a, const Item& b) {
      int c = std::memcmp(bytes.data() + size_t{a.at} * width + kHead,
                          bytes.data() + size_t{b.at} * width + kHead, width - kHead);
      return c != 0 ? c < 0 : a.at < b.at;
    };
    for (size_t i = 0; i < n;) {
      size_t e = i + 1;
      while (e < n && items[e].head[0] == items[i].head[0] && items[e].head[1] == items[i].head[1])
        ++e;
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
