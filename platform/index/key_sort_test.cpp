// The bulk builds' sorts against a plain stable sort of the same keys.
#include "platform/index/key_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <random>
#include <string>

namespace xbase {
namespace {

std::vector<uint32_t> reference(const std::string& bytes, size_t width,
                                const std::function<int(std::string_view, std::string_view)>& cmp) {
  std::vector<uint32_t> order(bytes.size() / width);
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<uint32_t>(i);
  std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    return cmp(std::string_view(bytes).substr(a * width, width),
               std::string_view(bytes).substr(b * width, width)) < 0;
  });
  return order;
}

TEST(KeySort, ByteAndCollatedOrdersEqualAStableSort) {
  auto bytewise = [](std::string_view a, std::string_view b) { return a.compare(b); };
  // Letter case ignored: keys of different bytes that the order finds equal.
  auto caseless = [](std::string_view a, std::string_view b) {
    for (size_t i = 0; i < a.size(); ++i) {
      int d = std::tolower(static_cast<unsigned char>(a[i])) -
              std::tolower(static_cast<unsigned char>(b[i]));
      if (d != 0) return d;
    }
    return 0;
  };
  std::mt19937 rng(7);
  for (size_t width : {1u, 3u, 16u, 21u}) {
    SCOPED_TRACE(width);
    std::string bytes;
    for (int i = 0; i < 5000; ++i)
      for (size_t j = 0; j < width; ++j)  // few distinct values, and shared leading bytes
        bytes.push_back(j + 2 < width ? 'K' : "aAbB\xA0\x01"[rng() % 6]);
    EXPECT_EQ(byte_sorted(bytes, width), reference(bytes, width, bytewise));
    EXPECT_EQ(collated_sorted(bytes, width, caseless), reference(bytes, width, caseless));
  }
  // Keys whose byte order is already the order's, with and without keys it finds equal.
  for (const char* letters : {"0A1B", "Aa"}) {
    std::string bytes;
    for (int i = 0; i < 3000; ++i) bytes.push_back(letters[rng() % std::strlen(letters)]);
    EXPECT_EQ(collated_sorted(bytes, 3, caseless), reference(bytes, 3, caseless)) << letters;
  }
}

// Keys that differ in many places: a full first word, a second one, and bytes compared past
// both where keys agree on every packed place; then the same keys in order, and all but one.
TEST(KeySort, ManyVaryingPlacesAndKeysInOrder) {
  auto bytewise = [](std::string_view a, std::string_view b) { return a.compare(b); };
  std::mt19937 rng(11);
  std::vector<std::string> prefixes(64);
  for (std::string& p : prefixes)
    for (int j = 0; j < 30; ++j) p.push_back(static_cast<char>(rng()));
  for (size_t width : {8u, 9u, 40u}) {
    SCOPED_TRACE(width);
    std::string bytes;
    for (int i = 0; i < 5000; ++i) {
      std::string key = width > 30 ? prefixes[rng() % prefixes.size()] : std::string();
      while (key.size() < width) key.push_back(width > 30 ? "09 "[rng() % 3] : char(rng()));
      bytes += key;
    }
    const std::vector<uint32_t> want = reference(bytes, width, bytewise);
    EXPECT_EQ(byte_sorted(bytes, width), want);
    std::string sorted;
    for (uint32_t at : want) sorted += bytes.substr(size_t{at} * width, width);
    std::vector<uint32_t> same(want.size());
    for (size_t i = 0; i < same.size(); ++i) same[i] = static_cast<uint32_t>(i);
    EXPECT_EQ(byte_sorted(sorted, width), same);
    std::swap_ranges(sorted.begin(), sorted.begin() + static_cast<long>(width),
                     sorted.end() - static_cast<long>(width));
    EXPECT_EQ(byte_sorted(sorted, width), reference(sorted, width, bytewise));
  }
}

}  // namespace
}  // namespace xbase
