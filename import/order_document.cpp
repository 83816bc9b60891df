// Cutting the shop's Windows-1250 order document into records and fields by byte position.
#include "import/order_document.h"

#include "platform/text/codepage.h"

namespace import {

bool RecordReader::next(std::string_view* record) {
  const size_t n = doc_.size();
  // The last single character of a document never starts a record, and line ends after the
  // last record end the reading rather than making an empty record of unknown type.
  if (pos_ + 1 >= n) return false;
  while (pos_ < n && (doc_[pos_] == '\r' || doc_[pos_] == '\n')) ++pos_;
  if (pos_ + 1 >= n) return false;
  const size_t length = doc_[pos_] == 'c' ? kHeaderLength : kItemLength;
  offset_ = pos_;
  *record = doc_.substr(pos_, length);
  pos_ += record->size();
  return true;
}

std::string_view RecordReader::rest() const {
  size_t i = pos_;
  while (i < doc_.size() && (doc_[i] == '\r' || doc_[i] == '\n')) ++i;
  return doc_.substr(i);
}

std::string_view field_bytes(std::string_view record, size_t position, size_t length) {
  if (position == 0 || position > record.size()) return {};
  return record.substr(position - 1, length);
}

double document_number(std::string_view bytes) {
  size_t i = 0, n = bytes.size();
  while (i < n && bytes[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (bytes[i] == '-' || bytes[i] == '+')) negative = bytes[i++] == '-';
  // Digits are gathered as an exact integer and scaled once, so that "12.30" is exactly the
  // double nearest to 12.3 and is stored as the table layer would store 12.3.
  double whole = 0;
  int decimals = -1;
  for (; i < n; ++i) {
    char c = bytes[i];
    if (c >= '0' && c <= '9') {
      whole = whole * 10 + (c - '0');
      if (decimals >= 0) ++decimals;
    } else if ((c == '.' || c == ',') && decimals < 0) {
      decimals = 0;
    } else {
      break;
    }
  }
  double scale = 1;
  for (int d = 0; d < decimals; ++d) scale *= 10;
  double v = whole / scale;
  return negative && v != 0 ? -v : v;
}

xbase::Date document_date(std::string_view header) {
  std::string ymd;
  ymd += field_bytes(header, 13, 4);
  ymd += field_bytes(header, 18, 2);
  ymd += field_bytes(header, 21, 2);
  if (ymd.size() != 8) return {};
  return xbase::Date::from_dtos(ymd);
}

std::string document_text(std::string_view bytes) {
  return xbase::CodePage::cp1250().to_utf8(bytes);
}

std::string counter_text(size_t n) {
  std::string digits = std::to_string(n);
  if (digits.size() < 5) digits.insert(0, 5 - digits.size(), ' ');
  return digits;
}

}  // namespace import
