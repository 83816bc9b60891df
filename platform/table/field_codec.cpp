#include "platform/table/field_codec.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace xbase {

std::optional<std::string> format_number(double value, int width, int decimals) {
  if (width <= 0) return std::nullopt;
  if (!std::isfinite(value)) return std::nullopt;
  double scale = std::pow(10.0, decimals);
  // A nudge of a few ulps so that 2.675 (stored as 2.67499...) rounds the way it was typed.
  double scaled = value * scale;
  double rounded = std::round(scaled + (scaled >= 0 ? 1 : -1) * std::fabs(scaled) * 4e-16);
  if (rounded == 0) rounded = 0;  // no "-0"
  char buf[400];
  int n = std::snprintf(buf, sizeof buf, "%*.*f", width, decimals, rounded / scale);
  if (n < 0 || n > width) return std::nullopt;
  return std::string(buf, static_cast<size_t>(n));
}

double parse_number(std::string_view bytes) {
  std::string s(bytes);
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  if (i == s.size()) return 0;
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

}  // namespace xbase
