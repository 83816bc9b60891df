// Key expressions from a damaged index header: widths, counts, nesting and dates that would
// allocate gigabytes, loop for ever or overflow are bounded (minimised fuzz inputs).
#include <gtest/gtest.h>

#include <string>

#include "platform/index/key_expr.h"
#include "platform/index/test_record.h"

namespace xbase {
namespace {

constexpr size_t kCap = 65536;

testing::FakeRecord table() {
  testing::FakeRecord r;
  r.add("CZAK", 'N', 10, 0, Value::number(42));
  r.add("NAZD", 'C', 40, 0, Value::text(std::string(40, 'x')));
  r.add("DATO", 'D', 8, 0, Value::date(Date::from_ymd(2023, 4, 5)));
  return r;
}

TEST(KeyExprBounds, HugeWidthsAndCountsStayWithinTheCap) {
  auto rec = table();
  for (const char* text :
       {"STR(CZAK,999999999)", "STR(ROUND(CZAK/7,2),100000000000000,2)+CHR(65)",
        "SPACE(1000000000)", "PADR(NAZD,999999999)", "PADL(CZAK,999999999,'*')",
        "REPLICATE(NAZD,1000000000)", "REPLICATE('',1000000000)",
        "REPLICATE(NAZD,60000)+REPLICATE(NAZD,60000)", "STR(CZAK,10,999999999)",
        "STR(ROUND(CZAK,999999999),12,2)", "SUBSTR(SPACE(99999999),2,999999999)"}) {
    SCOPED_TRACE(text);
    auto e = KeyExpression::compile(text, rec);
    EXPECT_GE(e->result_length(), 0);
    EXPECT_LE(e->result_length(), static_cast<int>(kCap) + 100);
    Value v = e->evaluate(rec);
    if (v.type() == Value::Type::kChar) {
      EXPECT_LE(v.str().size(), kCap);
    }
  }
  EXPECT_EQ(KeyExpression::compile("REPLICATE('ab',3)", rec)->evaluate(rec).str(), "ababab");
}

TEST(KeyExprBounds, DatesOutsideTheCalendarAreEmpty) {
  auto rec = table();
  for (const char* text :
       {"DTOS(DATO+1000000000000000)", "DTOS(DATO-99999999999999999999)", "DTOS(DATO+2147483647)",
        "DTOS(DATO-2000000)"})
    EXPECT_EQ(KeyExpression::compile(text, rec)->evaluate(rec).str(), "        ") << text;
  EXPECT_EQ(KeyExpression::compile("DTOS(DATO+1)", rec)->evaluate(rec).str(), "20230406");
  EXPECT_EQ(KeyExpression::compile("DATO-STOD('19000101')", rec)->evaluate(rec).num(), 45019);
  int y = -1, m = -1, d = -1;
  Date{2147483647}.to_ymd(y, m, d);
  EXPECT_EQ(y + m + d, 0);
  EXPECT_EQ(Date{2147483647}.dtos(), "        ");
  EXPECT_EQ(Date{1}.dtos(), "        ");
  Date::from_ymd(1, 1, 1).to_ymd(y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 10101);
  Date::from_ymd(9999, 12, 31).to_ymd(y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 99991231);
}

TEST(KeyExprBounds, DeepNestingIsRefused) {
  auto rec = table();
  for (const std::string& text :
       {std::string(5000, '(') + "1" + std::string(5000, ')'), std::string(5000, '-') + "1",
        std::string(3000, '!') + ".T.",
        "UPPER(" + std::string(100, '(') + "NAZD" + std::string(101, ')')}) {
    try {
      KeyExpression::compile(text, rec);
      ADD_FAILURE() << "compiled: " << text.substr(0, 20);
    } catch (const ExpressionError& e) {
      EXPECT_NE(std::string(e.what()).find("nested too deeply"), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(KeyExpression::compile(std::string(30, '(') + "CZAK" + std::string(30, ')'), rec)
                ->evaluate(rec)
                .num(),
            42);
}

}  // namespace
}  // namespace xbase
