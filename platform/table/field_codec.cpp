#include "platform/table/field_codec.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace xbase {

namespace {

const double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                         1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

double pow10(int n) { return n >= 0 && n <= 22 ? kPow10[n] : std::pow(10.0, n); }

}  // namespace

std::optional<std::string> format_number(double value, int width, int decimals) {
  if (width <= 0) return std::nullopt;
  if (!std::isfinite(value)) return std::nullopt;
  double scale = pow10(decimals);
  // A nudge of a few ulps so that 2.675 (stored as 2.67499...) rounds the way it was typed.
  double scaled = value * scale;
  // Beyond 2^52 every double is a whole number already.
  double rounded = std::fabs(scaled) < 4.5e15
                       ? std::round(scaled + (scaled >= 0 ? 1 : -1) * std::fabs(scaled) * 4e-16)
                       : scaled;
  if (rounded == 0) rounded = 0;  // no "-0"
  if (std::fabs(rounded) < 9e15 && decimals <= 18) {
    // Exact in an integer: digits by hand, much cheaper than printf's float formatting.
    bool neg = rounded < 0;
    uint64_t v = static_cast<uint64_t>(neg ? -rounded : rounded);
    char digits[48];
    int n = 0;
    do {
      digits[n++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v != 0 || n <= decimals);
    int len = n + (decimals > 0 ? 1 : 0) + (neg ? 1 : 0);
    if (len > width) return std::nullopt;
    std::string out(static_cast<size_t>(width), ' ');
    size_t pos = static_cast<size_t>(width);
    for (int i = 0; i < n; ++i) {
      if (decimals > 0 && i == decimals) out[--pos] = '.';
      out[--pos] = digits[i];
    }
    if (neg) out[--pos] = '-';
    return out;
  }
  char buf[400];
  int n = std::snprintf(buf, sizeof buf, "%*.*f", width, decimals, rounded / scale);
  if (n < 0 || n > width) return std::nullopt;
  return std::string(buf, static_cast<size_t>(n));
}

double parse_number(std::string_view bytes) {
  // The common case, [blanks][-]digits[.digits][blanks], by hand: an exact integer divided by
  // an exact power of ten rounds just as strtod would.
  size_t i = 0, n = bytes.size();
  while (i < n && bytes[i] == ' ') ++i;
  if (i == n) return 0;
  bool neg = false;
  if (bytes[i] == '-') {
    neg = true;
    ++i;
  }
  uint64_t mant = 0;
  int digits = 0, frac = -1;
  size_t j = i;
  for (; j < n; ++j) {
    char c = bytes[j];
    if (c >= '0' && c <= '9') {
      mant = mant * 10 + static_cast<uint64_t>(c - '0');
      ++digits;
      if (frac >= 0) ++frac;
    } else if (c == '.' && frac < 0) {
      frac = 0;
    } else {
      break;
    }
  }
  size_t k = j;
  while (k < n && bytes[k] == ' ') ++k;
  if (k == n && digits > 0 && digits <= 15) {
    double v = static_cast<double>(mant);
    if (frac > 0) v /= kPow10[frac];
    return neg ? -v : v;
  }
  std::string s(bytes);
  i = s.find_first_not_of(' ');
  // Some writers use ',' as the decimal point.
  for (auto& c : s)
    if (c == ',') c = '.';
  char* end = nullptr;
  double v = std::strtod(s.c_str() + i, &end);
  return end == s.c_str() + i ? 0 : v;
}

bool parse_logical(std::string_view bytes) {
  if (bytes.empty()) return false;
  char c = bytes[0];
  return c == 'T' || c == 't' || c == 'Y' || c == 'y';
}

std::string fit_text(std::string_view bytes, int width) {
  std::string s(bytes.substr(0, static_cast<size_t>(width)));
  s.resize(static_cast<size_t>(width), ' ');
  return s;
}

bool append_text_field(const FieldInfo& f, const char* record, std::string& out) {
  switch (f.type) {
    case 'N':
    case 'F':
    case 'D':
    case 'L':
      return false;
    default:
      out.append(record + f.offset, static_cast<size_t>(f.length));
      return true;
  }
}

Value field_value(const FieldInfo& f, std::string_view bytes) {
  switch (f.type) {
    case 'N':
    case 'F':
      return Value::number(parse_number(bytes));
    case 'D':
      return Value::date(f.length == 8 ? Date::from_dtos(std::string(bytes)) : Date{});
    case 'L':
      return Value::logical(parse_logical(bytes));
    default:
      return Value::text(std::string(bytes));
  }
}

}  // namespace xbase
