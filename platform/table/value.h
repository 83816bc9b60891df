// The values that fields and key expressions produce. Text stays in the table's code page
// (bytes) inside the table layer; only the public field accessors convert to UTF-8.
#pragma once

#include <cstdint>
#include <string>

namespace xbase {

// A date as a Julian day number (2000-01-01 = 2451545); 0 is the empty date.
struct Date {
  static constexpr int32_t kFirstJdn = 1721426;  // 0001-01-01, the first date a table holds
  static constexpr int32_t kLastJdn = 5373484;   // 9999-12-31, the last
  int32_t jdn = 0;
  bool empty() const { return jdn == 0; }
  static Date from_ymd(int y, int m, int d);
  // "YYYYMMDD"; empty or malformed text gives the empty date.
  static Date from_dtos(const std::string& s);
  void to_ymd(int& y, int& m, int& d) const;
  std::string dtos() const;  // "YYYYMMDD", or 8 blanks for the empty date
  bool operator==(const Date& o) const { return jdn == o.jdn; }
};

class Value {
 public:
  enum class Type { kNil, kChar, kNumber, kDate, kLogical };

  Value() = default;
  static Value text(std::string bytes) {
    Value v;
    v.type_ = Type::kChar;
    v.str_ = std::move(bytes);
    return v;
  }
  static Value number(double d) {
    Value v;
    v.type_ = Type::kNumber;
    v.num_ = d;
    return v;
  }
  static Value date(Date d) {
    Value v;
    v.type_ = Type::kDate;
    v.date_ = d;
    return v;
  }
  static Value logical(bool b) {
    Value v;
    v.type_ = Type::kLogical;
    v.log_ = b;
    return v;
  }

  Type type() const { return type_; }
  bool is_nil() const { return type_ == Type::kNil; }
  const std::string& str() const { return str_; }
  double num() const { return num_; }
  Date date_value() const { return date_; }
  bool log() const { return log_; }

 private:
  Type type_ = Type::kNil;
  std::string str_;
  double num_ = 0;
  Date date_;
  bool log_ = false;
};

}  // namespace xbase
