#include "platform/index/key_sort.h"

#include <algorithm>
#include <array>
#include <cstring>

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

}  // namespace xbase
