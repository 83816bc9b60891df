// Cutting the order document: records by length, line ends between them, fields by position.
#include "import/order_document.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

std::vector<std::string> records_of(std::string_view doc) {
  import::RecordReader reader(doc);
  std::vector<std::string> out;
  std::string_view r;
  while (reader.next(&r)) out.emplace_back(r);
  return out;
}

std::string header(char fill) { return "c" + std::string(import::kHeaderLength - 1, fill); }
std::string item(char fill) { return "p" + std::string(import::kItemLength - 1, fill); }

TEST(OrderDocument, RecordsAreTakenByLengthWithAnyLineEndsBetween) {
  const std::vector<std::string> expected = {header('1'), item('2'), item('3'), header('4')};
  std::string direct;
  for (const auto& r : expected) direct += r;
  EXPECT_EQ(records_of(direct), expected);
  for (const char* sep : {"\r\n", "\n", "\r", "\r\n\r\n", "\n\r", "\r\r\n\n"}) {
    std::string doc;
    for (const auto& r : expected) doc += r + sep;
    EXPECT_EQ(records_of(doc), expected) << "separator " << testing::PrintToString(sep);
  }
  std::string mixed = expected[0] + "\r\n" + expected[1] + expected[2] + "\n\n\r" + expected[3];
  EXPECT_EQ(records_of(mixed), expected);
}

TEST(OrderDocument, LineEndsAfterTheLastRecordEndTheReading) {
  // Mend 3: the shop ends its lines with CR LF; nothing after the last one is a record.
  for (const char* tail : {"\r\n", "\r\n\r\n", "\n\n\n", "\r\r", "\r\n\r\n\r\n\r\n"}) {
    EXPECT_EQ(records_of(header('a') + "\r\n" + item('b') + tail),
              (std::vector<std::string>{header('a'), item('b')}))
        << testing::PrintToString(tail);
  }
  // One single character after the last record, alone or behind line ends, is not a record.
  EXPECT_EQ(records_of(header('a') + "x"), std::vector<std::string>{header('a')});
  EXPECT_EQ(records_of(header('a') + "\r\n\r\nx"), std::vector<std::string>{header('a')});
  // Two characters are a record (of unknown type here).
  EXPECT_EQ(records_of(header('a') + "\r\nxy"), (std::vector<std::string>{header('a'), "xy"}));
}

TEST(OrderDocument, ALineEndInsideARecordIsPartOfIt) {
  std::string h = header('h');
  h[100] = '\r';
  h[101] = '\n';
  EXPECT_EQ(records_of(h + "\r\n" + item('i')), (std::vector<std::string>{h, item('i')}));
  // A record cut short by the end of the document is taken short.
  EXPECT_EQ(records_of(header('h') + "\np12345"),
            (std::vector<std::string>{header('h'), "p12345"}));
}

TEST(OrderDocument, ADocumentOverSixtyFourKilobytesIsReadWhole) {
  // Mend 2: no 16-bit length, position or counter.
  std::string doc;
  size_t n = 0;
  while (doc.size() < 200000) {
    doc += (n % 3 == 0 ? header(static_cast<char>('A' + n % 26)) : item('x')) + "\r\n";
    ++n;
  }
  import::RecordReader reader(doc);
  std::string_view r;
  size_t count = 0, last_offset = 0;
  while (reader.next(&r)) {
    ++count;
    last_offset = reader.offset();
    ASSERT_TRUE(r[0] == 'c' || r[0] == 'p') << "record " << count;
  }
  EXPECT_EQ(count, n);
  EXPECT_GT(last_offset, 65536u * 2);
  EXPECT_EQ(last_offset + (n % 3 == 1 ? import::kHeaderLength : import::kItemLength) + 2,
            doc.size());
}

TEST(OrderDocument, FieldsLieAtTheirPositionsAndMayBeCutShort) {
  std::string rec = "c 0000000042";
  EXPECT_EQ(import::field_bytes(rec, 3, 10), "0000000042");
  EXPECT_EQ(import::field_bytes(rec, 10, 10), "042");
  EXPECT_EQ(import::field_bytes(rec, 13, 4), "");
  EXPECT_EQ(import::field_bytes(rec, 1, 1), "c");
}

TEST(OrderDocument, NumbersAreReadFromTheirLeadingText) {
  using import::document_number;
  EXPECT_EQ(document_number("   1234   "), 1234);
  EXPECT_EQ(document_number("          "), 0);
  EXPECT_EQ(document_number(""), 0);
  EXPECT_EQ(document_number("  12.50 Kč"), 12.5);
  EXPECT_EQ(document_number("-3.25"), -3.25);
  EXPECT_EQ(document_number("+7"), 7);
  EXPECT_EQ(document_number(".5"), 0.5);
  EXPECT_EQ(document_number("12,5"), 12.5) << "a decimal comma is taken as the point";
  EXPECT_EQ(document_number("1.2.3"), 1.2);
  EXPECT_EQ(document_number("abc12"), 0);
  EXPECT_EQ(document_number("- 5"), 0);
  EXPECT_FALSE(std::signbit(document_number("-")));
  EXPECT_EQ(document_number("0.1"), 0.1);
  EXPECT_EQ(document_number("21.0"), 21.0);
  EXPECT_EQ(document_number("  1234567890123  "), 1234567890123.0);
}

TEST(OrderDocument, DatesJoinYearMonthDayWhateverStandsBetween) {
  auto with_date = [](const std::string& text) {
    std::string h = "c 0000000001" + text;
    return import::document_date(h + std::string(40, ' '));
  };
  const xbase::Date expected = xbase::Date::from_ymd(2024, 3, 7);
  for (const char* text : {"2024-03-07", "2024/03/07", "2024.03.07", "2024 03x07"})
    EXPECT_EQ(with_date(text), expected) << text;
  EXPECT_TRUE(with_date("2024-3-7  ").empty()) << "one-digit month";
  EXPECT_TRUE(with_date("2023-02-29").empty());
  EXPECT_EQ(with_date("2024-02-29"), xbase::Date::from_ymd(2024, 2, 29));
  EXPECT_TRUE(with_date("          ").empty());
  EXPECT_TRUE(import::document_date("c 0000000001 2024-03").empty()) << "cut short";
}

TEST(OrderDocument, TextIsWindows1250AndCountersAreFiveWide) {
  EXPECT_EQ(import::document_text("\x8a\x9d\x61stn\xfd \x9e\x6c\x75\x9d\x6f\x75\xe8k\xfd  "),
            "Šťastný žluťoučký  ");
  EXPECT_EQ(import::counter_text(1), "    1");
  EXPECT_EQ(import::counter_text(65536), "65536");
  EXPECT_EQ(import::counter_text(123456), "123456") << "no wrap, no cut";
}

}  // namespace
