#include "platform/index/key_expr.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/index/key_expr_node.h"
#include "platform/index/test_record.h"
#include "platform/table/settings.h"
#include "platform/text/codepage.h"

namespace xbase {
namespace {

using testing::FakeRecord;

std::string b852(const std::string& utf8) { return CodePage::cp852().from_utf8(utf8); }
std::string pad(const std::string& utf8, size_t n) {
  std::string s = b852(utf8);
  s.resize(n, ' ');
  return s;
}

Value T(const std::string& utf8) { return Value::text(b852(utf8)); }
Value N(double d) { return Value::number(d); }
Value L(bool b) { return Value::logical(b); }

// A table with the key fields of the fixtures' orders and stock cards.
FakeRecord table() {
  FakeRecord r;
  r.add("CZAK", 'N', 10, 0, N(2023000042));
  r.add("NAZD", 'C', 40, 0, Value::text(pad("Novák a syn", 40)));
  r.add("DATO", 'D', 8, 0, Value::date(Date::from_ymd(2023, 4, 5)));
  r.add("PTER", 'D', 8, 0, Value::date(Date{}));
  r.add("FIRM", 'N', 5, 0, N(-12));
  r.add("KURZ", 'N', 11, 3, N(25.4375));
  r.add("JEDOK", 'L', 1, 0, L(true));
  r.add("SKUP", 'C', 10, 0, Value::text(pad("barvy", 10)));
  r.add("OZNM", 'C', 40, 0, Value::text(pad("Štětec plochý", 40)));
  r.add("CIPO", 'C', 16, 0, Value::text(pad("AB-123", 16)));
  r.add("ZN2", 'N', 1, 0, N(3));
  r.add("STRM", 'N', 3, 0, N(7));
  r.add("VETA", 'C', 30, 0, Value::text(pad("příliš žluťoučký kůň úpěl", 30)));
  r.add("JMENO", 'C', 20, 0, Value::text(pad("ĎÁBELSKÉ ÓDY", 20)));
  r.add("CIZI", 'C', 9, 0, Value::text(pad("äëöü ÄËÖÜ", 9)));
  r.recno_ = 7;
  return r;
}

std::string describe(const Value& v) {
  switch (v.type()) {
    case Value::Type::kChar:
      return "C\"" + CodePage::cp852().to_utf8(v.str()) + "\"";
    case Value::Type::kNumber:
      return "N" + std::to_string(v.num());
    case Value::Type::kDate:
      return "D" + v.date_value().dtos();
    case Value::Type::kLogical:
      return v.log() ? "L.T." : "L.F.";
    default:
      return "NIL";
  }
}

bool same(const Value& a, const Value& b) {
  if (a.type() != b.type()) return false;
  switch (a.type()) {
    case Value::Type::kChar:
      return a.str() == b.str();
    case Value::Type::kNumber:
      return std::fabs(a.num() - b.num()) < 1e-9;
    case Value::Type::kDate:
      return a.date_value() == b.date_value();
    case Value::Type::kLogical:
      return a.log() == b.log();
    default:
      return true;
  }
}

struct Case {
  const char* expr;
  Value want;
};

void run(const std::vector<Case>& cases) {
  FakeRecord r = table();
  for (const Case& c : cases) {
    std::string text = b852(c.expr);  // literals are code-page bytes, as in an index header
    Value got;
    try {
      got = KeyExpression::compile(text, r)->evaluate(r);
    } catch (const std::exception& e) {
      ADD_FAILURE() << c.expr << " threw " << e.what();
      continue;
    }
    EXPECT_TRUE(same(got, c.want))
        << c.expr << " gave " << describe(got) << ", wanted " << describe(c.want);
  }
}

TEST(KeyExprEval, FieldsAndAliases) {
  run({{"CZAK", N(2023000042)},
       {"czak", N(2023000042)},
       {"ZAK->CZAK", N(2023000042)},
       {"field->Nazd", Value::text(pad("Novák a syn", 40))},
       {"JEDOK", L(true)},
       {"DTOS(DATO)", T("20230405")}});
}

TEST(KeyExprEval, FixtureKeyForms) {
  run({{"UPPER(NAZD)", Value::text(pad("NOVÁK A SYN", 40))},
       {"DTOS(DATO)+STR(CZAK,10)", T("202304052023000042")},
       {"STR(FIRM,5)+STR(CZAK,10)", T("  -122023000042")},
       {"STR(ZN2,1)+STR(STRM,3)+CIPO", Value::text("3  7" + pad("AB-123", 16))},
       {"LOWER(SKUP+OZNM)", Value::text(pad("barvy", 10) + pad("štětec plochý", 40))},
       {"CIPO+STR(FIRM,5)+STR(ZN2,1)+STR(STRM,3)", Value::text(pad("AB-123", 16) + "  -123  7")}});
}

TEST(KeyExprEval, CzechCaseInCodePage852) {
  run({{"UPPER(VETA)", Value::text(pad("PŘÍLIŠ ŽLUŤOUČKÝ KŮŇ ÚPĚL", 30))},
       {"LOWER(JMENO)", Value::text(pad("ďábelské ódy", 20))},
       {"UPPER(CIZI)", T("ÄËÖÜ ÄËÖÜ")},
       {"LOWER(CIZI)", T("äëöü äëöü")},
       {"UPPER('čď-ňť')", T("ČĎ-ŇŤ")},
       {"LOWER(UPPER(VETA))", Value::text(pad("příliš žluťoučký kůň úpěl", 30))}});
}

TEST(KeyExprEval, TextPlusAndMinus) {
  run({{"'AB  '+'CD'", T("AB  CD")},
       {"'AB  '-'CD  '", T("ABCD    ")},
       {"'AB'-'CD'", T("ABCD")},
       {"'  '-'X'", T("X  ")},
       {"SKUP-'/'", T("barvy/     ")},
       {"TRIM(SKUP)+'/'", T("barvy/")},
       {"'A '-'B '-'C'", T("ABC  ")}});
}

TEST(KeyExprEval, StrRoundsAndOverflows) {
  run({{"STR(2.5,3)", T("  3")},
       {"STR(-2.5,3)", T(" -3")},
       {"STR(1.005,6,2)", T("  1.01")},
       {"STR(2.675,5,2)", T(" 2.68")},
       {"STR(-0.4,3)", T("  0")},
       {"STR(123456,5)", T("*****")},
       {"STR(99.95,4,1)", T("****")},
       {"STR(5,3,1)", T("5.0")},
       {"STR(-5,3,1)", T("***")},
       {"STR(3.14159,8,3)", T("   3.142")},
       {"STR(-1234.5,8,1)", T(" -1234.5")},
       {"STR(7)", T("         7")},
       {"STR(CZAK)", T("2023000042")},
       {"STR(CZAK,12)", T("  2023000042")},
       {"STR(CZAK,5)", T("*****")},
       {"STR(FIRM)", T("  -12")},
       {"STR(KURZ)", T("     25.438")},
       {"STR(KURZ,6,1)", T("  25.4")},
       {"STR(KURZ,6)", T("    25")},
       {"STRZERO(-5,4)", T("-005")},
       {"STRZERO(42,5)", T("00042")},
       {"STRZERO(FIRM,6)", T("-00012")}});
}

// Keys append STR() without making its string: the same text as STR() itself gives, for
// negatives, a negative zero, decimals, widths too narrow and numbers past the whole path.
TEST(KeyExprEval, StrAppendedAsItIsEvaluated) {
  for (double v : {0.0, -0.0, 7.0, -7.0, 2023000042.0, -99999.0, 1e15 - 1, 1e15, -2.5, 0.5, 1e300})
    for (int width : {0, 1, 3, 5, 10, 20})
      for (int dec : {0, 1, 3}) {
        std::string got = "x";
        expr::append_str_number(v, width, dec, got);
        EXPECT_EQ(got, "x" + expr::str_number(v, width, dec)) << v << " " << width << " " << dec;
      }
  FakeRecord r = table();
  for (const char* e :
       {"STR(FIRM,5)+STR(CZAK,10)", "CIPO+STR(FIRM,4,1)+STR(ZN2)", "STR(KURZ,9,2)"}) {
    auto k = KeyExpression::compile(e, r);
    std::string text;
    ASSERT_TRUE(k->append_text(r, text)) << e;
    EXPECT_EQ(text, k->evaluate(r).str()) << e;
  }
}

TEST(KeyExprEval, Val) {
  run({{"VAL('  12.5abc')", N(12.5)},
       {"VAL('-3')", N(-3)},
       {"VAL('abc')", N(0)},
       {"VAL('')", N(0)},
       {"VAL(STR(FIRM))", N(-12)},
       {"VAL(STR(KURZ))", N(25.438)}});
}

TEST(KeyExprEval, DatesAndTheirText) {
  run({{"DTOS(PTER)", T("        ")},
       {"DTOC(DATO)", T("05.04.2023")},
       {"DTOC(PTER)", T("  .  .    ")},
       {"DTOS(DATO+30)", T("20230505")},
       {"DTOS(1+DATO)", T("20230406")},
       {"DTOS(DATO-5)", T("20230331")},
       {"DATO-CTOD('01.01.2023')", N(94)},
       {"DTOS(PTER+1)", T("        ")},
       {"DTOS(CTOD('29.02.2024'))", T("20240229")},
       {"EMPTY(CTOD('31.02.2023'))", L(true)},
       {"EMPTY(CTOD(''))", L(true)},
       {"DTOS(CTOD('1.2.24'))", T("19240201")},
       {"DTOS(CTOD('05.04.09'))", T("20090405")},
       {"DTOS(STOD('20240229'))", T("20240229")},
       {"EMPTY(STOD('20230229'))", L(true)},
       {"YEAR(DATO)", N(2023)},
       {"MONTH(DATO)", N(4)},
       {"DAY(DATO)", N(5)},
       {"YEAR(PTER)", N(0)},
       {"DATO > PTER", L(true)},
       {"DATO = STOD('20230405')", L(true)},
       {"DTOS(MAX(DATO,PTER))", T("20230405")},
       {"DTOS(MIN(DATO,DATO+1))", T("20230405")}});
}

TEST(KeyExprEval, Substrings) {
  run({{"SUBSTR('ABCDEF',2,3)", T("BCD")},
       {"SUBSTR('ABCDEF',-2)", T("EF")},
       {"SUBSTR('ABCDEF',0,2)", T("AB")},
       {"SUBSTR('ABCDEF',-10,2)", T("AB")},
       {"SUBSTR('ABC',5)", T("")},
       {"SUBSTR('ABC',2,-1)", T("")},
       {"SUBS('ABCDEF',2,2)", T("BC")},
       {"LEFT('ABC',5)", T("ABC")},
       {"LEFT('ABC',-1)", T("")},
       {"RIGHT('ABCDE',2)", T("DE")},
       {"RIGHT('AB',-1)", T("")},
       {"RIGHT(TRIM(CIPO),3)", T("123")}});
}

TEST(KeyExprEval, PaddingAndTrimming) {
  run({{"PADR('AB',4)", T("AB  ")},
       {"PADL('AB',4,'*')", T("**AB")},
       {"PADC('AB',5)", T(" AB  ")},
       {"PADC('AB',6,'-')", T("--AB--")},
       {"PADR('ABCDEF',3)", T("ABC")},
       {"PADL(FIRM,5)", T("  -12")},
       {"PADR(DATO,12)", T("05.04.2023  ")},
       {"TRIM('  A  ')", T("  A")},
       {"RTRIM('  A  ')", T("  A")},
       {"LTRIM('  A  ')", T("A  ")},
       {"ALLTRIM('  A  ')", T("A")},
       {"ALLT(SKUP)", T("barvy")},
       {"SPACE(3)", T("   ")},
       {"SPACE(-1)", T("")},
       {"REPLICATE('ab',3)", T("ababab")},
       {"REPL('ab',0)", T("")}});
}

TEST(KeyExprEval, NumbersAndOperators) {
  run({{"2+3*4", N(14)},
       {"(2+3)*4", N(20)},
       {"10-2-3", N(5)},
       {"-2^2", N(4)},
       {"2**3**2", N(512)},
       {"7%3", N(1)},
       {"10/4", N(2.5)},
       {"-CZAK", N(-2023000042)},
       {"- -3", N(3)},
       {"KURZ*2", N(50.875)},
       {"ABS(FIRM)", N(12)},
       {"INT(-3.7)", N(-3)},
       {"INT(KURZ)", N(25)},
       {"ROUND(2.345,2)", N(2.35)},
       {"ROUND(-2.5,0)", N(-3)},
       {"ROUND(1250,-2)", N(1300)},
       {"MAX(1,2)", N(2)},
       {"MIN(FIRM,0)", N(-12)},
       {"LEN(SKUP)", N(10)},
       {"LEN(TRIM(SKUP))", N(5)},
       {"CHR(65)+CHR(322)", T("AB")},
       {"ASC('A')", N(65)},
       {"ASC('')", N(0)}});
}

TEST(KeyExprEval, LogicAndComparisons) {
  run({{"'ABC' = 'AB'", L(true)},
       {"'AB' = 'ABC'", L(false)},
       {"'ABC' == 'AB'", L(false)},
       {"'AB' == 'AB'", L(true)},
       {"'AB  ' = 'AB'", L(true)},
       {"'A' < 'B'", L(true)},
       {"'B' <= 'A'", L(false)},
       {"'B' $ 'ABC'", L(true)},
       {"'X' $ 'ABC'", L(false)},
       {"1 != 2", L(true)},
       {"1 # 2", L(true)},
       {"1 <> 1", L(false)},
       {"!(1=2)", L(true)},
       {"CZAK > 5 .AND. FIRM < 0", L(true)},
       {".F. .OR. FIRM >= -12", L(true)},
       {"JEDOK .AND. !JEDOK", L(false)},
       {".not. .t. .or. .y.", L(true)},
       {".T. > .F.", L(true)},
       {"EMPTY('  ')", L(true)},
       {"EMPTY(SKUP)", L(false)},
       {"EMPTY(0)", L(true)},
       {"EMPTY(PTER)", L(true)},
       {"EMPTY(.F.)", L(true)}});
}

TEST(KeyExprEval, ConditionalsAndNesting) {
  run({{"IIF(FIRM<0,'neg','pos')", T("neg")},
       {"IF(JEDOK, STR(CZAK,10), SPACE(10))", T("2023000042")},
       {"IIF(.F., 1, 2)", N(2)},
       {"UPPER(LEFT(TRIM(SKUP)+'-'+SUBSTR(CIPO,4),8))", T("BARVY-12")},
       {"STR(VAL(SUBSTR(DTOS(DATO),5,2))+1,2)", T(" 5")},
       {"TRANSFORM(SKUP,'@!')", Value::text(pad("BARVY", 10))},
       {"TRANSFORM(1234.5,'9,999.99')", T("1,234.50")},
       {"TRANSFORM(5,'9,999')", T("    5")},
       {"TRANSFORM('12345','@R 99-999')", T("12-345")},
       {"TRAN(VETA,'!!!')", T("PŘÍ")}});
}

TEST(KeyExprEval, DescendReversesTheOrder) {
  run({{"DESCEND('AB')", Value::text("\xBF\xBE")},
       {"DESCEND(CHR(0)+'A')", Value::text(std::string("\0\xBF", 2))},
       {"DESCEND(CHR(1))", Value::text("\xFF")},
       {"DESCEND(FIRM)", N(12)},
       {"DESCEND(DATO)", N(-2460040)},
       {"DESCEND(.T.)", L(false)}});
  FakeRecord r = table();
  auto d = KeyExpression::compile("DESCEND(SKUP)", r);
  std::vector<std::string> words = {"abc", "abd", "b", "zz"};
  for (size_t i = 0; i + 1 < words.size(); ++i) {
    r.set("SKUP", Value::text(pad(words[i], 10)));
    std::string a = d->evaluate(r).str();
    r.set("SKUP", Value::text(pad(words[i + 1], 10)));
    std::string b = d->evaluate(r).str();
    EXPECT_GT(a, b) << words[i] << " then " << words[i + 1];
  }
}

TEST(KeyExprEval, RecordNumberAndDeletion) {
  FakeRecord r = table();
  auto rec = KeyExpression::compile("RECNO()", r);
  auto live = KeyExpression::compile(".NOT. DELETED() .AND. RECNO() > 5", r);
  EXPECT_EQ(rec->evaluate(r).num(), 7);
  EXPECT_TRUE(live->evaluate(r).log());
  r.deleted_ = true;
  EXPECT_FALSE(live->evaluate(r).log());
  r.deleted_ = false;
  r.recno_ = 3;
  EXPECT_FALSE(live->evaluate(r).log());
  EXPECT_EQ(rec->evaluate(r).num(), 3);
  EXPECT_TRUE(KeyExpression::compile("DELE()", r)->evaluate(r).type() == Value::Type::kLogical);
}

TEST(KeyExprEval, FollowsTheRecordItIsGiven) {
  FakeRecord r = table();
  auto e = KeyExpression::compile("DTOS(DATO)+STR(CZAK,10)", r);
  r.set("CZAK", N(-1));
  r.set("DATO", Value::date(Date{}));
  EXPECT_EQ(e->evaluate(r).str(), "                -1");
  // A field that comes back as nothing counts as blank, never as a crash.
  r.set("CZAK", Value());
  EXPECT_EQ(e->evaluate(r).str(), "                 0");
}

TEST(KeyExprEval, DateFormatFollowsTheSettings) {
  FakeRecord r = table();
  TableSettings& s = table_settings();
  std::string saved = s.date_format;
  s.date_format = "MM/DD/YY";
  auto e = KeyExpression::compile("DTOC(DATO)", r);
  EXPECT_EQ(e->evaluate(r).str(), "04/05/23");
  EXPECT_EQ(e->result_length(), 8);
  EXPECT_EQ(KeyExpression::compile("DTOS(CTOD('12/31/99'))", r)->evaluate(r).str(), "19991231");
  s.date_format = "YYYY-MM-DD";
  EXPECT_EQ(e->evaluate(r).str(), "2023-04-05");
  EXPECT_EQ(KeyExpression::compile("DTOC(PTER)", r)->evaluate(r).str(), "    -  -  ");
  s.date_format = saved;
}

}  // namespace
}  // namespace xbase
