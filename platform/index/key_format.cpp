// Text forms of values for key expressions: dates after the layer's date format (DTOC/CTOD)
// and TRANSFORM() pictures.
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/index/key_expr.h"
#include "platform/index/key_expr_node.h"
#include "platform/table/settings.h"
#include "platform/text/codepage.h"

namespace xbase {
namespace {

struct DatePart {
  char letter;  // 'D', 'M', 'Y'
  size_t width;
};

char date_letter(char c) {
  char u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return (u == 'D' || u == 'M' || u == 'Y') ? u : 0;
}

// Splits the format into letter runs and the separators between them.
template <typename OnRun, typename OnOther>
void walk_format(const std::string& format, OnRun on_run, OnOther on_other) {
  for (size_t i = 0; i < format.size();) {
    char l = date_letter(format[i]);
    if (!l) {
      on_other(format[i++]);
      continue;
    }
    size_t j = i;
    while (j < format.size() && date_letter(format[j]) == l) ++j;
    on_run(DatePart{l, j - i});
    i = j;
  }
}

std::string padded(int v, size_t width) {
  std::string s = std::to_string(v);
  if (s.size() < width) s.insert(0, width - s.size(), '0');
  return s;
}

}  // namespace

std::string format_date(Date d, const std::string& format) {
  int y = 0, m = 0, day = 0;
  d.to_ymd(y, m, day);
  std::string out;
  walk_format(
      format,
      [&](const DatePart& p) {
        size_t width = p.letter == 'Y' && p.width > 4 ? 4 : p.width;
        if (y == 0) {  // the empty date, or none a table can hold
          out.append(width, ' ');
        } else if (p.letter == 'Y') {
          std::string ys = padded(y, 4);
          out += ys.substr(ys.size() - width);
        } else {
          out += padded(p.letter == 'M' ? m : day, width);
        }
      },
      [&](char c) { out.push_back(c); });
  return out;
}

Date parse_date(std::string_view text, const std::string& format, int epoch) {
  std::vector<DatePart> parts;
  walk_format(
      format, [&](const DatePart& p) { parts.push_back(p); }, [](char) {});
  std::vector<std::string> groups;
  for (size_t i = 0; i < text.size();) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
    groups.emplace_back(text.substr(i, j - i));
    i = j;
  }
  if (groups.empty()) return Date{};
  // Text without separators ("20240131" for "YYYYMMDD") is cut by the format's widths.
  if (groups.size() == 1 && parts.size() > 1) {
    std::string all = groups[0];
    groups.clear();
    size_t at = 0;
    for (const DatePart& p : parts) {
      if (at >= all.size()) break;
      groups.push_back(all.substr(at, p.width));
      at += p.width;
    }
  }
  if (groups.size() < parts.size() || parts.size() != 3) return Date{};
  int y = -1, m = -1, d = -1;
  size_t year_digits = 0;
  for (size_t k = 0; k < parts.size(); ++k) {
    if (groups[k].size() > 4) return Date{};
    int v = std::stoi(groups[k]);
    if (parts[k].letter == 'Y') {
      y = v;
      year_digits = groups[k].size();
    } else if (parts[k].letter == 'M') {
      m = v;
    } else {
      d = v;
    }
  }
  if (y < 0 || m < 0 || d < 0) return Date{};
  if (year_digits <= 2) {  // the century comes from the epoch: years epoch..epoch+99
    y += epoch - epoch % 100;
    if (y < epoch) y += 100;
  }
  return Date::from_ymd(y, m, d);
}

namespace expr {
namespace {

bool digit_slot(char c) { return c == '9' || c == '#' || c == '*' || c == '$'; }

std::string transform_number(double v, const std::string& tpl, bool zero_blank, bool left) {
  size_t dot = tpl.find('.');
  int int_slots = 0, dec_slots = 0;
  for (size_t i = 0; i < tpl.size(); ++i) {
    if (!digit_slot(tpl[i])) continue;
    if (dot != std::string::npos && i > dot)
      ++dec_slots;
    else
      ++int_slots;
  }
  if (zero_blank && v == 0) return std::string(tpl.size(), ' ');
  std::string t = fixed_text(v, dec_slots);
  bool neg = !t.empty() && t[0] == '-';
  if (neg) t.erase(0, 1);
  size_t tdot = t.find('.');
  std::string ip = t.substr(0, tdot);
  std::string fp = tdot == std::string::npos ? std::string() : t.substr(tdot + 1);
  if (ip == "0" && dec_slots > 0) ip.clear();  // "  .50" as the engines show it
  if (static_cast<int>(ip.size() + (neg ? 1 : 0)) > int_slots) return std::string(tpl.size(), '*');
  std::string out(tpl.size(), ' ');
  // Integer part from the right of the decimal point leftwards.
  size_t end = dot == std::string::npos ? tpl.size() : dot;
  int k = static_cast<int>(ip.size()) - 1;
  bool sign_done = !neg;
  for (size_t i = end; i-- > 0;) {
    char c = tpl[i];
    if (digit_slot(c)) {
      if (k >= 0) {
        out[i] = ip[static_cast<size_t>(k--)];
      } else if (!sign_done) {
        out[i] = '-';
        sign_done = true;
      } else {
        out[i] = (c == '*' || c == '$') ? c : ' ';
      }
    } else if (c == ',') {
      out[i] = k >= 0 ? ',' : ' ';
    } else {
      out[i] = c;
    }
  }
  if (dot != std::string::npos) {
    out[dot] = '.';
    size_t f = 0;
    for (size_t i = dot + 1; i < tpl.size(); ++i)
      out[i] = digit_slot(tpl[i]) ? (f < fp.size() ? fp[f++] : '0') : tpl[i];
  }
  if (left) {
    size_t b = out.find_first_not_of(' ');
    out = b == std::string::npos ? out : out.substr(b) + std::string(b, ' ');
  }
  return out;
}

std::string transform_text(const std::string& s, const std::string& tpl, bool insert,
                           const CodePage& cp) {
  std::string out;
  size_t k = 0;
  for (char c : tpl) {
    switch (c) {
      case '!':
      case 'X':
      case 'A':
      case 'N':
      case '9':
      case '#':
      case 'L':
      case 'Y': {
        char ch = k < s.size() ? s[k] : ' ';
        ++k;
        out.push_back(c == '!' ? static_cast<char>(cp.upper(static_cast<unsigned char>(ch))) : ch);
        break;
      }
      default:
        out.push_back(c);
        if (!insert) ++k;  // without @R a literal takes the place of a character
    }
  }
  return out;
}

}  // namespace

std::string transform(const Value& v, const Shape& s, const std::string& picture,
                      const CodePage& cp) {
  std::string funcs, tpl = picture;
  if (!picture.empty() && picture[0] == '@') {
    size_t sp = picture.find(' ');
    funcs = picture.substr(1, sp == std::string::npos ? std::string::npos : sp - 1);
    tpl = sp == std::string::npos ? std::string() : picture.substr(sp + 1);
  }
  for (auto& c : funcs) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  bool up = funcs.find('!') != std::string::npos;
  bool insert = funcs.find('R') != std::string::npos;
  bool zero_blank = funcs.find('Z') != std::string::npos;
  bool left = funcs.find('B') != std::string::npos;
  switch (v.type()) {
    case Value::Type::kNumber: {
      if (tpl.empty()) {
        std::string t = str_number(v.num(), s.length, s.decimals);
        if (zero_blank && v.num() == 0) return std::string(t.size(), ' ');
        if (!left) return t;
        size_t b = t.find_first_not_of(' ');
        return b == std::string::npos ? t : t.substr(b) + std::string(b, ' ');
      }
      return transform_number(v.num(), tpl, zero_blank, left);
    }
    case Value::Type::kDate:
      return format_date(v.date_value(), table_settings().date_format);
    case Value::Type::kLogical:
      return tpl.find('Y') != std::string::npos || tpl.find('y') != std::string::npos
                 ? std::string(v.log() ? "Y" : "N")
                 : std::string(v.log() ? "T" : "F");
    default: {
      std::string t = tpl.empty() ? v.str() : transform_text(v.str(), tpl, insert, cp);
      return up ? cp.upper(t) : t;
    }
  }
}

}  // namespace expr
}  // namespace xbase
