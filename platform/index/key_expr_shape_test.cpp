// Key widths inferred from field widths, errors that name the expression, and date text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/index/key_expr.h"
#include "platform/index/test_record.h"

namespace xbase {
namespace {

using testing::FakeRecord;

FakeRecord schema() {
  FakeRecord r;
  r.add("CZAK", 'N', 10, 0);
  r.add("NAZD", 'C', 40, 0);
  r.add("DATO", 'D', 8, 0);
  r.add("FIRM", 'N', 5, 0);
  r.add("KURZ", 'N', 11, 3);
  r.add("JEDOK", 'L', 1, 0);
  r.add("SKUP", 'C', 10, 0);
  r.add("OZNM", 'C', 40, 0);
  r.add("CIPO", 'C', 16, 0);
  r.add("ZN2", 'N', 1, 0);
  r.add("STRM", 'N', 3, 0);
  r.add("CENA", 'F', 12, 2);
  r.add("POPIS", 'M', 10, 0);
  return r;
}

struct ShapeCase {
  const char* expr;
  char type;
  int length;
  int decimals;
};

TEST(KeyExprShape, FromFieldWidths) {
  const std::vector<ShapeCase> cases = {
      {"UPPER(NAZD)", 'C', 40, 0},
      {"DTOS(DATO)+STR(CZAK,10)", 'C', 18, 0},
      {"STR(ZN2,1)+STR(STRM,3)+CIPO", 'C', 20, 0},
      {"LOWER(SKUP+OZNM)", 'C', 50, 0},
      {"CZAK", 'N', 10, 0},
      {"KURZ", 'N', 11, 3},
      {"CENA", 'N', 12, 2},
      {"DATO", 'D', 8, 0},
      {"JEDOK", 'L', 1, 0},
      {"POPIS", 'C', 10, 0},
      {"TRIM(NAZD)", 'C', 40, 0},
      {"ALLTRIM(SKUP)+CIPO", 'C', 26, 0},
      {"SKUP-CIPO", 'C', 26, 0},
      {"SUBSTR(NAZD,3,5)", 'C', 5, 0},
      {"SUBSTR(NAZD,38)", 'C', 3, 0},
      {"SUBSTR(NAZD,-4)", 'C', 4, 0},
      {"SUBSTR(CIPO,1,LEN(SKUP))", 'C', 10, 0},
      {"LEFT(CIPO,4)", 'C', 4, 0},
      {"RIGHT(CIPO,20)", 'C', 16, 0},
      {"PADR(SKUP,15)", 'C', 15, 0},
      {"PADL(CZAK,12)", 'C', 12, 0},
      {"STR(CZAK)", 'C', 10, 0},
      {"STR(FIRM)", 'C', 5, 0},
      {"STR(KURZ,8,2)", 'C', 8, 0},
      {"STR(CZAK,5+5)", 'C', 10, 0},
      {"DTOC(DATO)", 'C', 10, 0},
      {"IIF(JEDOK,SKUP,CIPO)", 'C', 16, 0},
      {"DESCEND(NAZD)", 'C', 40, 0},
      {"DESCEND(KURZ)", 'N', 11, 3},
      {"DESCEND(DATO)", 'N', 10, 0},
      {"SPACE(4)+SKUP", 'C', 14, 0},
      {"REPLICATE(SKUP,2)", 'C', 20, 0},
      {"TRANSFORM(CIPO,'@!')", 'C', 16, 0},
      {"TRANSFORM(CZAK,'999 999')", 'C', 7, 0},
      {"VAL(SKUP)", 'N', 10, 0},
      {"CZAK+1", 'N', 10, 0},
      {"KURZ+FIRM", 'N', 14, 3},
      {"INT(KURZ)", 'N', 7, 0},
      {"ROUND(KURZ,1)", 'N', 9, 1},
      {"FIRM<0 .AND. JEDOK", 'L', 1, 0},
      {"RECNO()", 'N', 10, 0},
      {"DATO+1", 'D', 8, 0},
  };
  FakeRecord r = schema();
  for (const ShapeCase& c : cases) {
    auto e = KeyExpression::compile(c.expr, r);
    EXPECT_EQ(e->result_type(), c.type) << c.expr;
    EXPECT_EQ(e->result_length(), c.length) << c.expr;
    EXPECT_EQ(e->result_decimals(), c.decimals) << c.expr;
  }
}

TEST(KeyExprShape, TextIsTrimmedFromHeaderPadding) {
  FakeRecord r = schema();
  auto e = KeyExpression::compile(std::string_view("  UPPER(NAZD)\0\0\0junk", 21), r);
  EXPECT_EQ(e->text(), "UPPER(NAZD)");
  EXPECT_EQ(e->result_length(), 40);
}

struct ErrorCase {
  const char* expr;
  const char* says;
};

TEST(KeyExprErrors, NameTheExpression) {
  const std::vector<ErrorCase> cases = {
      {"NOSUCH", "unknown field NOSUCH"},
      {"UPPER(NAZD)+NOSUCH", "unknown field"},
      {"FOO(1)", "unknown function FOO"},
      {"STR()", "argument"},
      {"SUBSTR(NAZD)", "argument"},
      {"SPACE(1,2)", "argument"},
      {"UPPER(CZAK)", "type"},
      {"DTOS(NAZD)", "type"},
      {"NAZD+CZAK", "operand types"},
      {"DATO+DATO", "operand types"},
      {"CZAK .AND. JEDOK", "operand types"},
      {"NAZD = CZAK", "operand types"},
      {"-NAZD", "type"},
      {".NOT. CZAK", "type"},
      {"IIF(JEDOK,1,'a')", "different types"},
      {"IIF(CZAK,1,2)", "type"},
      {"CZAK CZAK", "after the end"},
      {"UPPER(NAZD", "expected"},
      {"UPPER(NAZD))", "after the end"},
      {"'abc", "unterminated"},
      {"   ", "empty"},
      {"DTOS(DATO)+", "unexpected end"},
      {"CZAK .XOR. 1", "unexpected"},
      {"1 @ 2", "unexpected character"},
      {"ZAK->", "field name"},
      {"(CZAK", "expected"},
      {"STR(CZAK,)", "unexpected"},
  };
  FakeRecord r = schema();
  for (const ErrorCase& c : cases) {
    try {
      KeyExpression::compile(c.expr, r);
      ADD_FAILURE() << c.expr << " compiled";
    } catch (const ExpressionError& e) {
      std::string what = e.what();
      std::string text = c.expr;
      while (!text.empty() && text.back() == ' ') text.pop_back();
      EXPECT_NE(what.find("\"" + text + "\""), std::string::npos) << what;
      EXPECT_NE(what.find(c.says), std::string::npos) << c.expr << ": " << what;
    }
  }
}

TEST(DateText, FormatAndParse) {
  Date d = Date::from_ymd(2024, 2, 29);
  EXPECT_EQ(format_date(d, "DD.MM.YYYY"), "29.02.2024");
  EXPECT_EQ(format_date(d, "MM/DD/YY"), "02/29/24");
  EXPECT_EQ(format_date(d, "yyyy-mm-dd"), "2024-02-29");
  EXPECT_EQ(format_date(d, "YYYYMMDD"), "20240229");
  EXPECT_EQ(format_date(Date{}, "DD.MM.YYYY"), "  .  .    ");
  EXPECT_EQ(format_date(Date::from_ymd(7, 1, 2), "DD.MM.YYYY"), "02.01.0007");

  EXPECT_EQ(parse_date("29.02.2024", "DD.MM.YYYY", 1910).jdn, d.jdn);
  EXPECT_EQ(parse_date("2024-02-29", "YYYY-MM-DD", 1910).jdn, d.jdn);
  EXPECT_EQ(parse_date("02/29/2024", "MM/DD/YYYY", 1910).jdn, d.jdn);
  EXPECT_EQ(parse_date("20240229", "YYYYMMDD", 1910).jdn, d.jdn);
  EXPECT_EQ(parse_date(" 29. 2.2024", "DD.MM.YYYY", 1910).jdn, d.jdn);
  EXPECT_TRUE(parse_date("  .  .    ", "DD.MM.YYYY", 1910).empty());
  EXPECT_TRUE(parse_date("", "DD.MM.YYYY", 1910).empty());
  EXPECT_TRUE(parse_date("32.01.2024", "DD.MM.YYYY", 1910).empty());
  EXPECT_TRUE(parse_date("29.02.2023", "DD.MM.YYYY", 1910).empty());
  EXPECT_TRUE(parse_date("12.2024", "DD.MM.YYYY", 1910).empty());
}

TEST(DateText, TwoDigitYearsFollowTheEpoch) {
  auto year = [](const char* text, int epoch) {
    int y, m, d;
    parse_date(text, "DD.MM.YY", epoch).to_ymd(y, m, d);
    return y;
  };
  EXPECT_EQ(year("01.01.50", 1950), 1950);
  EXPECT_EQ(year("01.01.49", 1950), 2049);
  EXPECT_EQ(year("01.01.10", 1910), 1910);
  EXPECT_EQ(year("01.01.09", 1910), 2009);
  EXPECT_EQ(year("01.01.99", 2000), 2099);
}

TEST(DateText, RoundTripsEveryDayOfSomeYears) {
  for (const char* fmt : {"DD.MM.YYYY", "MM/DD/YYYY", "YYYY-MM-DD", "YYYYMMDD"}) {
    for (int jdn = Date::from_ymd(1999, 12, 1).jdn; jdn < Date::from_ymd(2001, 3, 2).jdn; ++jdn) {
      Date d;
      d.jdn = jdn;
      ASSERT_EQ(parse_date(format_date(d, fmt), fmt, 1910).jdn, jdn) << fmt << " " << d.dtos();
    }
  }
}

}  // namespace
}  // namespace xbase
