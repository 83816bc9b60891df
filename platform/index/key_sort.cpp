#include "platform/index/key_sort.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace xbase {
namespace {

using Counts = std::vector<std::array<uint32_t, 256>>;

// A place of the key where the keys differ, packed as the rank of its byte among the bytes
// found there: few bits for the digits and blanks most keys are made of.
struct Place {
  size_t at = 0;
  unsigned bits = 0;
  size_t word = 0;
  std::array<uint8_t, 256> rank{};
};

// The places packed into up to two words, most significant first (places every key shares
// decide nothing and are left out); where they run out, the rest of the key is compared.
struct Packing {
  std::vector<Place> places;
  unsigned used[2] = {0, 0};
  size_t words = 1;
  size_t rest = 0;  // the first place not packed; the width when every one is
};

Packing plan(const Counts& counts, size_t width) {
  Packing p;
  p.rest = width;
  for (size_t j = 0; j < width; ++j) {
    Place pl;
    unsigned distinct = 0;
    for (size_t b = 0; b < 256; ++b)
      if (counts[j][b] != 0) pl.rank[b] = static_cast<uint8_t>(distinct++);
    if (distinct < 2) continue;
    while ((1u << pl.bits) < distinct) ++pl.bits;
    pl.word = p.words - 1;
    if (p.used[pl.word] + pl.bits > 64) {
      if (p.words == 2) {
        p.rest = j;
        break;
      }
      pl.word = p.words++;
    }
    pl.at = j;
    p.used[pl.word] += pl.bits;
    p.places.push_back(pl);
  }
  return p;
}

template <size_t W>
struct Item {
  uint64_t head[W];
  uint32_t at;
};

constexpr unsigned kDigitBits = 11;
constexpr size_t kDigits = (64 + kDigitBits - 1) / kDigitBits;  // of one word
using Buckets = std::array<uint32_t, size_t{1} << kDigitBits>;

// Radix passes of kDigitBits over the packed words, least significant first (each pass is
// stable, so equal heads keep their positions), then the rest of the key compared within the
// runs that agree on every packed place.
template <size_t W>
std::vector<uint32_t> sorted_packed(std::string_view bytes, size_t width, const Packing& p) {
  const size_t n = bytes.size() / width;
  std::vector<Item<W>> items(n), spare(n);
  std::vector<Buckets> hist(W * kDigits, Buckets{});
  size_t digits[W];
  for (size_t w = 0; w < W; ++w) digits[w] = (p.used[w] + kDigitBits - 1) / kDigitBits;
  const uint64_t mask = (uint64_t{1} << kDigitBits) - 1;
  for (size_t i = 0; i < n; ++i) {
    const auto* key = reinterpret_cast<const unsigned char*>(bytes.data() + i * width);
    Item<W>& it = items[i];
    for (size_t w = 0; w < W; ++w) it.head[w] = 0;
    for (const Place& pl : p.places)
      it.head[pl.word] = it.head[pl.word] << pl.bits | pl.rank[key[pl.at]];
    for (size_t w = 0; w < W; ++w)
      for (size_t d = 0; d < digits[w]; ++d)
        ++hist[w * kDigits + d][it.head[w] >> (kDigitBits * d) & mask];
    it.at = static_cast<uint32_t>(i);
  }
  for (size_t w = W; w-- > 0;) {
    for (size_t d = 0; d < digits[w]; ++d) {
      Buckets& c = hist[w * kDigits + d];
      if (std::any_of(c.begin(), c.end(), [&](uint32_t k) { return k == n; })) continue;
      uint32_t sum = 0;
      for (uint32_t& k : c) {
        uint32_t here = k;
        k = sum;
        sum += here;
      }
      const unsigned shift = kDigitBits * static_cast<unsigned>(d);
      for (const Item<W>& it : items) spare[c[it.head[w] >> shift & mask]++] = it;
      items.swap(spare);
    }
  }
  spare = {};
  if (p.rest < width) {
    auto tail_less = [&](const Item<W>& a, const Item<W>& b) {
      int c = std::memcmp(bytes.data() + size_t{a.at} * width + p.rest,
                          bytes.data() + size_t{b.at} * width + p.rest, width - p.rest);
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

std::vector<uint32_t> in_place_order(size_t n) {
  std::vector<uint32_t> order(n);
  for (size_t k = 0; k < n; ++k) order[k] = static_cast<uint32_t>(k);
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
  const Packing p = plan(counts, width);
  return p.words == 1 ? sorted_packed<1>(bytes, width, p) : sorted_packed<2>(bytes, width, p);
}

std::vector<uint32_t> collated_sorted(
    std::string_view bytes, size_t width,
    const std::function<int(std::string_view, std::string_view)>& compare) {
  std::vector<uint32_t> by_bytes = byte_sorted(bytes, width);
  auto key = [&](uint32_t at) { return bytes.substr(size_t{at} * width, width); };
  // One key of each run of equal bytes, in byte order; group[i]: the run of by_bytes[i].
  std::vector<uint32_t> distinct, group(by_bytes.size());
  for (size_t i = 0; i < by_bytes.size(); ++i) {
    if (i == 0 || key(by_bytes[i]) != key(by_bytes[i - 1])) distinct.push_back(by_bytes[i]);
    group[i] = static_cast<uint32_t>(distinct.size() - 1);
  }
  // Keys the collation finds equal share a rank, so that they stay by position. Keys in byte
  // order are often in the collation's already (digits, codes in plain capitals): one pass
  // that finds them so ranks them without a sort, and when no two are equal to it the byte
  // order is the answer.
  std::vector<uint32_t> rank(distinct.size());
  bool in_order = true, shared = false;
  for (size_t d = 1; d < distinct.size() && in_order; ++d) {
    const int c = compare(key(distinct[d - 1]), key(distinct[d]));
    in_order = c <= 0;
    shared = shared || c == 0;
    rank[d] = rank[d - 1] + (c < 0 ? 1 : 0);
  }
  if (in_order && !shared) return by_bytes;
  if (!in_order) {
    std::vector<uint32_t> ranked = in_place_order(distinct.size());
    std::sort(ranked.begin(), ranked.end(), [&](uint32_t a, uint32_t b) {
      return compare(key(distinct[a]), key(distinct[b])) < 0;
    });
    for (size_t r = 0, value = 0; r < ranked.size(); ++r) {
      if (r > 0 && compare(key(distinct[ranked[r - 1]]), key(distinct[ranked[r]])) < 0) ++value;
      rank[ranked[r]] = static_cast<uint32_t>(value);
    }
  }
  std::string ranks(by_bytes.size() * 4, '\0');
  for (size_t i = 0; i < by_bytes.size(); ++i) {
    const uint32_t v = rank[group[i]];
    char* out = ranks.data() + size_t{by_bytes[i]} * 4;
    for (int b = 0; b < 4; ++b) out[b] = static_cast<char>((v >> (24 - 8 * b)) & 0xFF);
  }
  return byte_sorted(ranks, 4);
}

void GatheredKeys::sort(bool bytewise,
                        const std::function<int(std::string_view, std::string_view)>& compare,
                        bool unique) {
  order = bytewise ? byte_sorted(bytes, width) : collated_sorted(bytes, width, compare);
  if (unique) {
    auto same = [&](uint32_t a, uint32_t b) { return compare(key(a), key(b)) == 0; };
    order.erase(std::unique(order.begin(), order.end(), same), order.end());
  }
}

}  // namespace xbase
