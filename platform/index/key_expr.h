// xBase key expressions: parsed once, evaluated per record. Text values stay in the table's
// code page; UPPER/LOWER map that page's letters (Czech ones included).
//
// Supported: field names (optionally with an alias prefix "A->F"), string, number and
// logical literals, + and - on text (- moves the trailing blanks of the left operand to
// the end) and numbers, * /, comparisons, .AND. .OR. .NOT., parentheses and the functions
// STR, UPPER, LOWER, DTOS, DTOC, SUBSTR, LEFT, RIGHT, TRIM, RTRIM, LTRIM, ALLTRIM, PADR,
// PADL, PADC, VAL, IIF/IF, DESCEND, RECNO, DELETED, CTOD, STOD, SPACE, REPLICATE, LEN, ABS,
// INT, ROUND, MAX, MIN, CHR, ASC, TRANSFORM (basic), EMPTY, YEAR, MONTH, DAY.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/table/record_source.h"
#include "platform/table/value.h"

namespace xbase {

// Thrown for an expression that cannot be parsed or bound to the table's fields.
class ExpressionError : public std::runtime_error {
 public:
  explicit ExpressionError(const std::string& what) : std::runtime_error(what) {}
};

class KeyExpression {
 public:
  // Binds field names to schema's fields; throws ExpressionError naming the expression.
  static std::unique_ptr<KeyExpression> compile(std::string_view text, const RecordSource& schema);
  virtual ~KeyExpression() = default;
  virtual const std::string& text() const = 0;
  // The type the expression yields ('C', 'N', 'D', 'L') and, for text, its length, as
  // computed from the field widths (what an index created over it stores as key length).
  virtual char result_type() const = 0;
  virtual int result_length() const = 0;
  // For numeric results: the decimals (from STR(...,n,d) or the field), for the NTX key form.
  virtual int result_decimals() const = 0;
  virtual Value evaluate(const RecordSource& record) const = 0;
  // Appends the text evaluate gives; false (nothing appended) when the value is not text.
  virtual bool append_text(const RecordSource& record, std::string& out) const = 0;
};

// Date formatting used by DTOC/CTOD: the table layer's global date format.
std::string format_date(Date d, const std::string& format);  // e.g. "DD.MM.YYYY"
Date parse_date(std::string_view text, const std::string& format, int epoch);

}  // namespace xbase
