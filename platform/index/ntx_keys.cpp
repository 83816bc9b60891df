// NTX numeric key text: STR(value, L, dec) right-justified in L bytes, leading blanks as
// '0'; a negative number has its sign as '0' and each digit d as the byte 0x2C - d, so that
// negative keys sort below positive ones and larger magnitudes lower.
#include <charconv>
#include <cmath>
#include <string>

#include "platform/index/ntx_format.h"

namespace xbase::ntx {

std::string number_key(double value, int length, int decimals) {
  if (decimals < 0) decimals = 0;
  // STR rounds half away from zero; to_chars keeps the text free of the locale.
  double scale = std::pow(10.0, decimals);
  double rounded = std::round(value * scale) / scale;
  if (!std::isfinite(rounded)) return std::string(length, '*');
  if (rounded == 0) rounded = 0.0;  // no "-0"
  char buf[400];
  auto res = std::to_chars(buf, buf + sizeof buf, rounded, std::chars_format::fixed, decimals);
  std::string text =
      res.ec == std::errc() ? std::string(buf, res.ptr) : std::string(length + 1, '*');
  if (static_cast<int>(text.size()) > length) return std::string(length, '*');
  std::string key(length - text.size(), '0');
  key += text;
  if (rounded < 0) {
    for (char& c : key) {
      if (c == '-')
        c = ',';
      else if (c >= '0' && c <= '9')
        c = static_cast<char>(0x2C - (c - '0'));
    }
  }
  return key;
}

double key_number(std::string_view key) {
  std::string text(key);
  bool negative = !text.empty() && text[0] == ',';
  if (negative) {
    for (char& c : text)
      if (c >= 0x23 && c <= 0x2C) c = static_cast<char>('0' + (0x2C - c));
  }
  size_t b = 0;
  while (b < text.size() && text[b] == ' ') ++b;
  double v = 0;
  auto res = std::from_chars(text.data() + b, text.data() + text.size(), v);
  if (res.ec != std::errc()) return 0;
  return negative ? -v : v;
}

}  // namespace xbase::ntx
