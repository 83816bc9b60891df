#include "app/startup.h"

#include <gtest/gtest.h>

#include <string>

TEST(Startup, LocaleDigitsTakeOneDigitAndOtherwiseTwo) {
  EXPECT_EQ(app::locale_digits("0"), 0);
  EXPECT_EQ(app::locale_digits("9"), 9);
  for (const char* odd : {"", " ", "12", "-1", "x", "3 ", "99999999999999999999"})
    EXPECT_EQ(app::locale_digits(odd), 2) << odd;
  EXPECT_EQ(app::locale_digits(std::string("4\0", 2)), 2);
}
