#include "platform/file/crc32c.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Crc32c, KnownValueAndAnySplitOfTheInput) {
  EXPECT_EQ(xbase::crc32c("123456789", 9), 0xE3069283u);
  EXPECT_EQ(xbase::crc32c("", 0), 0u);
  std::string s;
  for (int i = 0; i < 67; ++i) s.push_back(static_cast<char>(i * 37 + 11));
  const uint32_t whole = xbase::crc32c(s.data(), s.size());
  for (size_t cut = 0; cut <= s.size(); ++cut)
    EXPECT_EQ(xbase::crc32c(s.data() + cut, s.size() - cut, xbase::crc32c(s.data(), cut)), whole)
        << cut;
}

}  // namespace
