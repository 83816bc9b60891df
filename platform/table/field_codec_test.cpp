// The hand-written number paths against the C library's, on many values.
#include "platform/table/field_codec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace {

using xbase::format_number;
using xbase::parse_number;

TEST(FieldCodec, NumbersFormatAsPrintfWouldAfterRoundingHalfAway) {
  std::mt19937_64 rng(42);
  std::uniform_int_distribution<int> dec(0, 4);
  std::uniform_real_distribution<double> val(-1e7, 1e7);
  for (int i = 0; i < 200000; ++i) {
    int d = dec(rng);
    double v = std::round(val(rng) * std::pow(10, d)) / std::pow(10, d);
    int width = 14;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%*.*f", width, d, v);
    auto got = format_number(v, width, d);
    ASSERT_TRUE(got.has_value()) << v;
    ASSERT_EQ(*got, std::string(buf)) << v << " dec " << d;
  }
}

TEST(FieldCodec, EdgesOfFormatting) {
  EXPECT_EQ(*format_number(2.675, 6, 2), "  2.68");
  EXPECT_EQ(*format_number(-2.675, 6, 2), " -2.68");
  EXPECT_EQ(*format_number(0.5, 3, 0), "  1");
  EXPECT_EQ(*format_number(-0.4, 3, 0), "  0");  // no "-0"
  EXPECT_EQ(*format_number(-0.004, 5, 2), " 0.00");
  EXPECT_EQ(*format_number(99999, 5, 0), "99999");
  EXPECT_FALSE(format_number(100000, 5, 0).has_value());
  EXPECT_FALSE(format_number(-9999, 4, 0).has_value());
  EXPECT_EQ(*format_number(-999, 4, 0), "-999");
  EXPECT_EQ(*format_number(1e17, 20, 0), "  100000000000000000");
  EXPECT_FALSE(format_number(NAN, 10, 0).has_value());
}

TEST(FieldCodec, StoredNumbersReadAsStrtodWould) {
  std::mt19937_64 rng(7);
  std::uniform_int_distribution<long long> mant(-99999999999LL, 99999999999LL);
  std::uniform_int_distribution<int> dec(0, 5);
  for (int i = 0; i < 200000; ++i) {
    char buf[64];
    long long m = mant(rng);
    int d = dec(rng);
    if (d == 0)
      std::snprintf(buf, sizeof buf, "%15lld", m);
    else
      std::snprintf(buf, sizeof buf, "%15.*f", d, static_cast<double>(m) / std::pow(10, d));
    ASSERT_EQ(parse_number(buf), std::strtod(buf, nullptr)) << buf;
  }
  EXPECT_EQ(parse_number("          "), 0);
  EXPECT_EQ(parse_number("  -12.50"), -12.5);
  EXPECT_EQ(parse_number("  12,50"), 12.5);  // a comma some writers use
  EXPECT_EQ(parse_number("**********"), 0);
  EXPECT_EQ(parse_number(" 1.5E+02"), 150);
}

}  // namespace
