// Field values as the DBF stores them: N right-aligned ASCII with '.' and a leading '-',
// D as YYYYMMDD, L as T/F, C blank-padded.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/table/record_source.h"
#include "platform/table/value.h"

namespace xbase {

// Text of value in width characters with decimals places (STR(value, width, decimals)),
// rounded half away from zero; nothing when the number does not fit.
std::optional<std::string> format_number(double value, int width, int decimals);
// The number a stored N/F field holds: leading blanks skipped, blank reads as 0.
double parse_number(std::string_view bytes);
bool parse_logical(std::string_view bytes);  // T t Y y are true
// A field's stored bytes as the value a key expression sees (RecordSource::raw_value).
Value field_value(const FieldInfo& f, std::string_view bytes);
// Appends the field's bytes from record (which starts with the deletion flag) when field_value
// makes text of them; false for the other types.
bool append_text_field(const FieldInfo& f, const char* record, std::string& out);
// bytes cut or blank-padded to width.
std::string fit_text(std::string_view bytes, int width);

}  // namespace xbase
