#include "platform/table/value.h"

#include <cstdio>

namespace xbase {

// Gregorian calendar <-> Julian day number (Fliegel & Van Flandern).
Date Date::from_ymd(int y, int m, int d) {
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > 31) return Date{};
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (d > kDays[m - 1] || (m == 2 && d == 29 && !leap)) return Date{};
  int a = (14 - m) / 12;
  int yy = y + 4800 - a;
  int mm = m + 12 * a - 3;
  Date r;
  r.jdn = d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
  return r;
}

Date Date::from_dtos(const std::string& s) {
  if (s.size() < 8) return Date{};
  int v[8];
  for (int i = 0; i < 8; ++i) {
    if (s[i] < '0' || s[i] > '9') return Date{};
    v[i] = s[i] - '0';
  }
  int y = v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3];
  int m = v[4] * 10 + v[5];
  int d = v[6] * 10 + v[7];
  return from_ymd(y, m, d);
}

void Date::to_ymd(int& y, int& m, int& d) const {
  // Outside 0001-01-01..9999-12-31 (a damaged key or field) there is no date to show: as the
  // empty one.
  if (jdn < kFirstJdn || jdn > kLastJdn) {
    y = m = d = 0;
    return;
  }
  int64_t a = int64_t{jdn} + 32044;
  int64_t b = (4 * a + 3) / 146097;
  int64_t c = a - 146097 * b / 4;
  int64_t dd = (4 * c + 3) / 1461;
  int64_t e = c - 1461 * dd / 4;
  int64_t mm = (5 * e + 2) / 153;
  d = static_cast<int>(e - (153 * mm + 2) / 5 + 1);
  m = static_cast<int>(mm + 3 - 12 * (mm / 10));
  y = static_cast<int>(100 * b + dd - 4800 + mm / 10);
}

std::string Date::dtos() const {
  int y, m, d;
  to_ymd(y, m, d);
  if (y == 0) return std::string(8, ' ');
  // Within the calendar's range (to_ymd gives 0 otherwise), so every part has its width.
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", y % 10000, m % 100, d % 100);
  return buf;
}

}  // namespace xbase
