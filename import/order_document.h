// The shop's order document: fixed-length records of single Windows-1250 bytes, "c" order
// headers of 280 and "p" order items of 145 characters, each field at a fixed position
// (counted from 1), with any mix of CR and LF between records and no other separator.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/table/value.h"

namespace import {

inline constexpr size_t kHeaderLength = 280;
inline constexpr size_t kItemLength = 145;

// One field of a record: where it lies and where it goes.
struct DocumentField {
  size_t position;  // from 1
  size_t length;
  const char* target;  // field of the work table
  char conversion;     // 'C' text, 'N' number
};

// Header fields in the order they are put (DATO is taken apart, see document_date).
inline constexpr DocumentField kHeaderFields[] = {
    {3, 10, "CZAK", 'N'},    {33, 20, "JMENO", 'C'}, {53, 30, "PRIJMENI", 'C'},
    {83, 30, "NAZD", 'C'},   {113, 30, "ULD", 'C'},  {143, 20, "MIST", 'C'},
    {163, 6, "PSC", 'C'},    {169, 3, "NSTAT", 'C'}, {172, 15, "TEL", 'C'},
    {187, 30, "EMAIL", 'C'}, {217, 20, "ICO", 'N'},  {237, 20, "REGC", 'C'},
};
inline constexpr DocumentField kItemFields[] = {
    {3, 10, "CZAK", 'N'},     {13, 16, "CIPO", 'C'},  {29, 50, "NAZEV", 'C'},
    {79, 30, "VYROBCE", 'C'}, {109, 13, "CENB", 'N'}, {122, 13, "CENS", 'N'},
    {135, 4, "SAZBA", 'N'},   {139, 6, "KUSY", 'N'},
};

// Walks the document record by record. Lengths and positions are size_t: a document of any
// size is read whole.
class RecordReader {
 public:
  explicit RecordReader(std::string_view document) : doc_(document) {}
  // The next record (its first byte is its type letter; shorter than its length when the
  // document ends sooner). False when the reading ends: nothing but line ends, or one single
  // character, is left.
  bool next(std::string_view* record);
  size_t offset() const { return offset_; }  // where the last record began, from 0
  // What the reading left unread after its last record, line ends skipped: nothing, or the
  // one character the document ends with.
  std::string_view rest() const;

 private:
  std::string_view doc_;
  size_t pos_ = 0;
  size_t offset_ = 0;
};

// The bytes of a field; shorter or empty where the record ends sooner.
std::string_view field_bytes(std::string_view record, size_t position, size_t length);
// Blanks cut at both ends, then an optional sign, digits and one decimal point (or comma);
// reading stops at the first other character; no leading number gives 0.
double document_number(std::string_view bytes);
// Positions 13-16, 18-19 and 21-22 joined as YYYYMMDD; the empty date when not valid.
xbase::Date document_date(std::string_view header);
// Windows-1250 bytes as UTF-8, nothing trimmed.
std::string document_text(std::string_view bytes);
// A counter as the window shows it: right-aligned in five characters, wider when needed.
std::string counter_text(size_t n);

}  // namespace import
