// The functions of key expressions, with their argument checks and the width each gives
// an index key (a text function's width comes from the widths of its arguments, the way the
// engines size a key on a blank record).
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/index/key_expr.h"
#include "platform/index/key_expr_node.h"
#include "platform/table/settings.h"
#include "platform/text/codepage.h"

namespace xbase::expr {
namespace {

using Args = std::vector<NodePtr>;
using Vals = std::vector<Value>;

struct Fn {
  const char* name;
  // One letter per argument: C N D L, 'S' for C, N or D, '*' for any; optional ones after '|'.
  const char* signature;
  Shape (*shape)(const Args& a, const Context& ctx);
  Value (*eval)(const Vals& v, const Args& a, const RecordSource& rec);
};

int clamp_int(double v) {
  if (!(v > -1e9)) return -1000000000;
  if (v > 1e9) return 1000000000;
  return static_cast<int>(v);
}

int arg_int(const Vals& v, size_t i) { return clamp_int(v[i].num()); }
int probe_int(const Args& a, size_t i, const Context& ctx) {
  return clamp_int(probe_number(*a[i], ctx));
}
int non_negative(int n) { return n < 0 ? 0 : n; }
int decimals(int n) { return std::clamp(n, 0, kMaxDecimals); }

Shape text(long long len) { return Shape{'C', capped(len), 0}; }
Shape number(int len, int dec) { return Shape{'N', len, dec}; }
Shape computed(int dec) { return Shape{'N', dec > 0 ? 11 + dec : 10, dec}; }
Shape same_as_first(const Args& a, const Context&) { return a[0]->shape; }
Shape logical(const Args&, const Context&) { return Shape{'L', 1, 0}; }
Shape date(const Args&, const Context&) { return Shape{'D', 8, 0}; }
Shape integer10(const Args&, const Context&) { return computed(0); }
int integer_width(const Shape& s) { return s.decimals > 0 ? s.length - s.decimals - 1 : s.length; }

// --- numbers as text

struct StrForm {
  int width;
  int dec;
};

StrForm str_form(const Vals& v, const Args& a) {
  // Without a width the number keeps its own; a width without decimals means none.
  StrForm f{a[0]->shape.length, a[0]->shape.decimals};
  if (v.size() > 1) {
    f.width = capped(arg_int(v, 1));
    if (f.width < 1) f.width = 10;
    f.dec = v.size() > 2 ? decimals(arg_int(v, 2)) : 0;
  }
  return f;
}

Shape str_shape(const Args& a, const Context& ctx) {
  if (a.size() < 2) return text(a[0]->shape.length);
  int w = probe_int(a, 1, ctx);
  return text(w < 1 ? 10 : w);
}

Value str_eval(const Vals& v, const Args& a, const RecordSource&) {
  StrForm f = str_form(v, a);
  return Value::text(str_number(v[0].num(), f.width, f.dec));
}

Value strzero_eval(const Vals& v, const Args& a, const RecordSource&) {
  StrForm f = str_form(v, a);
  std::string s = str_number(v[0].num(), f.width, f.dec);
  if (!s.empty() && s[0] == '*') return Value::text(s);
  bool neg = s.find('-') != std::string::npos;
  for (auto& c : s)
    if (c == ' ' || c == '-') c = '0';
  if (neg) s[0] = '-';
  return Value::text(s);
}

Value val_eval(const Vals& v, const Args&, const RecordSource&) {
  const std::string& s = v[0].str();
  size_t i = s.find_first_not_of(' ');
  if (i == std::string::npos) return Value::number(0);
  size_t b = i;
  if (s[i] == '-' || s[i] == '+') ++i;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
  if (i < s.size() && s[i] == '.') ++i;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
  return Value::number(std::strtod(s.substr(b, i - b).c_str(), nullptr));
}

// --- text

std::string blanks_trimmed(const std::string& s, bool left, bool right) {
  size_t b = 0, e = s.size();
  if (left)
    while (b < e && s[b] == ' ') ++b;
  if (right)
    while (e > b && s[e - 1] == ' ') --e;
  return s.substr(b, e - b);
}

Value upper_eval(const Vals& v, const Args&, const RecordSource& rec) {
  return Value::text(rec.codepage().upper(v[0].str()));
}
Value lower_eval(const Vals& v, const Args&, const RecordSource& rec) {
  return Value::text(rec.codepage().lower(v[0].str()));
}
Value rtrim_eval(const Vals& v, const Args&, const RecordSource&) {
  return Value::text(blanks_trimmed(v[0].str(), false, true));
}
Value ltrim_eval(const Vals& v, const Args&, const RecordSource&) {
  return Value::text(blanks_trimmed(v[0].str(), true, false));
}
Value alltrim_eval(const Vals& v, const Args&, const RecordSource&) {
  return Value::text(blanks_trimmed(v[0].str(), true, true));
}

std::string substr(const std::string& s, int start, std::optional<int> count) {
  // A negative start counts from the end; 0 is the first character, like 1.
  long len = static_cast<long>(s.size());
  long pos = start < 0 ? std::max(0L, len + start) : std::max(0L, static_cast<long>(start) - 1);
  if (pos >= len) return std::string();
  long n = count ? std::min<long>(*count, len - pos) : len - pos;
  return n <= 0 ? std::string() : s.substr(static_cast<size_t>(pos), static_cast<size_t>(n));
}

Shape substr_shape(const Args& a, const Context& ctx) {
  std::optional<int> count;
  if (a.size() > 2) count = probe_int(a, 2, ctx);
  std::string blank(static_cast<size_t>(a[0]->shape.length), ' ');
  return text(static_cast<int>(substr(blank, probe_int(a, 1, ctx), count).size()));
}
Value substr_eval(const Vals& v, const Args&, const RecordSource&) {
  std::optional<int> count;
  if (v.size() > 2) count = arg_int(v, 2);
  return Value::text(substr(v[0].str(), arg_int(v, 1), count));
}

Shape left_shape(const Args& a, const Context& ctx) {
  return text(std::min(a[0]->shape.length, probe_int(a, 1, ctx)));
}
Value left_eval(const Vals& v, const Args&, const RecordSource&) {
  int n = non_negative(arg_int(v, 1));
  return Value::text(v[0].str().substr(0, static_cast<size_t>(n)));
}
Value right_eval(const Vals& v, const Args&, const RecordSource&) {
  const std::string& s = v[0].str();
  size_t n = std::min(s.size(), static_cast<size_t>(non_negative(arg_int(v, 1))));
  return Value::text(s.substr(s.size() - n));
}

// PADR/PADL/PADC take a number as STR() shows it without its leading blanks, and a date as
// DTOC() shows it.
std::string as_text(const Value& v, const Shape& s) {
  switch (v.type()) {
    case Value::Type::kNumber:
      return blanks_trimmed(str_number(v.num(), s.length, s.decimals), true, false);
    case Value::Type::kDate:
      return format_date(v.date_value(), table_settings().date_format);
    default:
      return v.str();
  }
}

Shape pad_shape(const Args& a, const Context& ctx) { return text(probe_int(a, 1, ctx)); }

Value pad(const Vals& v, const Args& a, char where) {
  std::string s = as_text(v[0], a[0]->shape);
  int n = capped(arg_int(v, 1));
  char fill = v.size() > 2 && !v[2].str().empty() ? v[2].str()[0] : ' ';
  size_t want = static_cast<size_t>(n);
  if (s.size() >= want) return Value::text(s.substr(0, want));
  size_t gap = want - s.size();
  size_t before = where == 'R' ? 0 : where == 'L' ? gap : gap / 2;
  return Value::text(std::string(before, fill) + s + std::string(gap - before, fill));
}
Value padr_eval(const Vals& v, const Args& a, const RecordSource&) { return pad(v, a, 'R'); }
Value padl_eval(const Vals& v, const Args& a, const RecordSource&) { return pad(v, a, 'L'); }
Value padc_eval(const Vals& v, const Args& a, const RecordSource&) { return pad(v, a, 'C'); }

Shape space_shape(const Args& a, const Context& ctx) { return text(probe_int(a, 0, ctx)); }
Value space_eval(const Vals& v, const Args&, const RecordSource&) {
  return Value::text(std::string(static_cast<size_t>(capped(arg_int(v, 0))), ' '));
}
Shape replicate_shape(const Args& a, const Context& ctx) {
  return text(static_cast<long long>(a[0]->shape.length) * non_negative(probe_int(a, 1, ctx)));
}
Value replicate_eval(const Vals& v, const Args&, const RecordSource&) {
  const std::string& s = v[0].str();
  std::string out;
  if (s.empty()) return Value::text(out);
  size_t want =
      static_cast<size_t>(capped(static_cast<long long>(s.size()) * non_negative(arg_int(v, 1))));
  while (out.size() < want) out += s;
  out.resize(want);
  return Value::text(out);
}

Value len_eval(const Vals& v, const Args&, const RecordSource&) {
  return Value::number(static_cast<double>(v[0].str().size()));
}
Shape chr_shape(const Args&, const Context&) { return text(1); }
Value chr_eval(const Vals& v, const Args&, const RecordSource&) {
  return Value::text(std::string(1, static_cast<char>(arg_int(v, 0) & 0xFF)));
}
Value asc_eval(const Vals& v, const Args&, const RecordSource&) {
  const std::string& s = v[0].str();
  return Value::number(s.empty() ? 0 : static_cast<unsigned char>(s[0]));
}

// --- numbers

Value abs_eval(const Vals& v, const Args&, const RecordSource&) {
  return Value::number(std::fabs(v[0].num()));
}
Shape int_shape(const Args& a, const Context&) { return number(integer_width(a[0]->shape), 0); }
Value int_eval(const Vals& v, const Args&, const RecordSource&) {
  return Value::number(std::trunc(v[0].num()));
}
Shape round_shape(const Args& a, const Context& ctx) {
  int d = decimals(probe_int(a, 1, ctx));
  int ip = integer_width(a[0]->shape);
  return number(d > 0 ? ip + d + 1 : ip, d);
}
Value round_eval(const Vals& v, const Args&, const RecordSource&) {
  return Value::number(round_half_away(v[0].num(), std::min(arg_int(v, 1), kMaxDecimals)));
}
Shape minmax_shape(const Args& a, const Context& ctx) {
  const Shape &x = a[0]->shape, &y = a[1]->shape;
  if (x.type != y.type || (x.type != 'N' && x.type != 'D'))
    ctx.fail("MAX/MIN take two numbers or two dates");
  return Shape{x.type, std::max(x.length, y.length), std::max(x.decimals, y.decimals)};
}
Value max_eval(const Vals& v, const Args& a, const RecordSource&) {
  if (a[0]->shape.type == 'D') return v[0].date_value().jdn >= v[1].date_value().jdn ? v[0] : v[1];
  return v[0].num() >= v[1].num() ? v[0] : v[1];
}
Value min_eval(const Vals& v, const Args& a, const RecordSource&) {
  if (a[0]->shape.type == 'D') return v[0].date_value().jdn <= v[1].date_value().jdn ? v[0] : v[1];
  return v[0].num() <= v[1].num() ? v[0] : v[1];
}

// --- dates

Shape dtos_shape(const Args&, const Context&) { return text(8); }
Value dtos_eval(const Vals& v, const Args&, const RecordSource&) {
  return Value::text(v[0].date_value().dtos());
}
Shape dtoc_shape(const Args&, const Context&) {
  return text(static_cast<int>(format_date(Date{}, table_settings().date_format).size()));
}
Value dtoc_eval(const Vals& v, const Args&, const RecordSource&) {
  return Value::text(format_date(v[0].date_value(), table_settings().date_format));
}
Value ctod_eval(const Vals& v, const Args&, const RecordSource&) {
  const TableSettings& s = table_settings();
  return Value::date(parse_date(v[0].str(), s.date_format, s.epoch));
}
Value stod_eval(const Vals& v, const Args&, const RecordSource&) {
  return Value::date(Date::from_dtos(v[0].str()));
}
int date_part(const Value& v, int which) {
  int y, m, d;
  v.date_value().to_ymd(y, m, d);
  return which == 0 ? y : which == 1 ? m : d;
}
Shape year_shape(const Args&, const Context&) { return number(5, 0); }
Shape month_shape(const Args&, const Context&) { return number(3, 0); }
Value year_eval(const Vals& v, const Args&, const RecordSource&) {
  return Value::number(date_part(v[0], 0));
}
Value month_eval(const Vals& v, const Args&, const RecordSource&) {
  return Value::number(date_part(v[0], 1));
}
Value day_eval(const Vals& v, const Args&, const RecordSource&) {
  return Value::number(date_part(v[0], 2));
}

// --- the rest

Shape iif_shape(const Args& a, const Context& ctx) {
  const Shape &x = a[1]->shape, &y = a[2]->shape;
  if (x.type != y.type) ctx.fail("IIF branches of different types");
  // The engines size the key by whichever branch the first record takes: the wider is safe.
  return Shape{x.type, std::max(x.length, y.length), std::max(x.decimals, y.decimals)};
}

Shape descend_shape(const Args& a, const Context&) {
  return a[0]->shape.type == 'D' ? computed(0) : a[0]->shape;
}
Value descend_eval(const Vals& v, const Args&, const RecordSource&) {
  switch (v[0].type()) {
    case Value::Type::kChar: {
      std::string s = v[0].str();
      for (auto& c : s) c = static_cast<char>((256 - static_cast<unsigned char>(c)) & 0xFF);
      return Value::text(s);
    }
    case Value::Type::kNumber:
      return Value::number(-v[0].num());
    case Value::Type::kDate:
      return Value::number(-static_cast<double>(v[0].date_value().jdn));
    case Value::Type::kLogical:
      return Value::logical(!v[0].log());
    default:
      return v[0];
  }
}

Value recno_eval(const Vals&, const Args&, const RecordSource& rec) {
  return Value::number(static_cast<double>(rec.recno()));
}
Value deleted_eval(const Vals&, const Args&, const RecordSource& rec) {
  return Value::logical(rec.deleted());
}
Value empty_eval(const Vals& v, const Args&, const RecordSource&) {
  switch (v[0].type()) {
    case Value::Type::kChar:
      return Value::logical(v[0].str().find_first_not_of(" \t\r\n") == std::string::npos);
    case Value::Type::kNumber:
      return Value::logical(v[0].num() == 0);
    case Value::Type::kDate:
      return Value::logical(v[0].date_value().empty());
    case Value::Type::kLogical:
      return Value::logical(!v[0].log());
    default:
      return Value::logical(true);
  }
}

Shape transform_shape(const Args& a, const Context& ctx) {
  Value v = probe_value(*a[0], ctx);
  return text(static_cast<int>(
      transform(v, a[0]->shape, probe_value(*a[1], ctx).str(), ctx.schema.codepage()).size()));
}
Value transform_eval(const Vals& v, const Args& a, const RecordSource& rec) {
  return Value::text(transform(v[0], a[0]->shape, v[1].str(), rec.codepage()));
}

const Fn kFunctions[] = {
    {"ABS", "N", same_as_first, abs_eval},
    {"ALLTRIM", "C", same_as_first, alltrim_eval},
    {"ASC", "C", integer10, asc_eval},
    {"CHR", "N", chr_shape, chr_eval},
    {"CTOD", "C", date, ctod_eval},
    {"DAY", "D", month_shape, day_eval},
    {"DELETED", "", logical, deleted_eval},
    {"DESCEND", "*", descend_shape, descend_eval},
    {"DTOC", "D", dtoc_shape, dtoc_eval},
    {"DTOS", "D", dtos_shape, dtos_eval},
    {"EMPTY", "*", logical, empty_eval},
    {"IF", "L**", iif_shape, nullptr},
    {"IIF", "L**", iif_shape, nullptr},
    {"INT", "N", int_shape, int_eval},
    {"LEFT", "CN", left_shape, left_eval},
    {"LEN", "C", integer10, len_eval},
    {"LOWER", "C", same_as_first, lower_eval},
    {"LTRIM", "C", same_as_first, ltrim_eval},
    {"MAX", "**", minmax_shape, max_eval},
    {"MIN", "**", minmax_shape, min_eval},
    {"MONTH", "D", month_shape, month_eval},
    {"PADC", "SN|C", pad_shape, padc_eval},
    {"PADL", "SN|C", pad_shape, padl_eval},
    {"PADR", "SN|C", pad_shape, padr_eval},
    {"RECNO", "", integer10, recno_eval},
    {"REPLICATE", "CN", replicate_shape, replicate_eval},
    {"RIGHT", "CN", left_shape, right_eval},
    {"ROUND", "NN", round_shape, round_eval},
    {"RTRIM", "C", same_as_first, rtrim_eval},
    {"SPACE", "N", space_shape, space_eval},
    {"STOD", "C", date, stod_eval},
    {"STR", "N|NN", str_shape, str_eval},
    {"STRZERO", "N|NN", str_shape, strzero_eval},
    {"SUBSTR", "CN|N", substr_shape, substr_eval},
    {"TRANSFORM", "*C", transform_shape, transform_eval},
    {"TRIM", "C", same_as_first, rtrim_eval},
    {"UPPER", "C", same_as_first, upper_eval},
    {"VAL", "C", [](const Args& a, const Context&) { return number(a[0]->shape.length, 0); },
     val_eval},
    {"YEAR", "D", year_shape, year_eval},
};

// The engines know a built-in function by its first four letters as well.
const Fn* find_function(const std::string& name) {
  for (const Fn& f : kFunctions)
    if (name == f.name) return &f;
  if (name.size() < 4) return nullptr;
  const Fn* hit = nullptr;
  for (const Fn& f : kFunctions) {
    if (std::strncmp(f.name, name.c_str(), name.size()) != 0) continue;
    if (hit) return nullptr;
    hit = &f;
  }
  return hit;
}

class Call : public Node {
 public:
  Call(const Fn& fn, Args args, std::optional<StrForm> str = std::nullopt)
      : fn_(fn), args_(std::move(args)), str_(str) {}
  // STR() of a fixed form, the usual part of a key, goes straight into the key text.
  bool append_text(const RecordSource& rec, std::string& out) const override {
    if (!str_) return Node::append_text(rec, out);
    append_str_number(args_[0]->eval(rec).num(), str_->width, str_->dec, out);
    return true;
  }
  Value eval(const RecordSource& rec) const override {
    if (!fn_.eval) {  // IIF: only the branch taken is evaluated
      bool c = args_[0]->eval(rec).log();
      return args_[c ? 1 : 2]->eval(rec);
    }
    Vals v;
    v.reserve(args_.size());
    for (const auto& a : args_) v.push_back(a->eval(rec));
    return fn_.eval(v, args_, rec);
  }
  bool constant() const override {
    if (std::strcmp(fn_.name, "RECNO") == 0 || std::strcmp(fn_.name, "DELETED") == 0) return false;
    return std::all_of(args_.begin(), args_.end(), [](const NodePtr& a) { return a->constant(); });
  }

 private:
  const Fn& fn_;
  Args args_;
  std::optional<StrForm> str_;  // STR() whose width and decimals do not depend on the record
};

void check_arguments(const Fn& fn, const Args& args, const Context& ctx) {
  std::string sig = fn.signature;
  size_t bar = sig.find('|');
  size_t min = bar == std::string::npos ? sig.size() : bar;
  if (bar != std::string::npos) sig.erase(bar, 1);
  if (args.size() < min || args.size() > sig.size())
    ctx.fail(std::string(fn.name) + "() takes " +
             (min == sig.size() ? std::to_string(min)
                                : std::to_string(min) + " to " + std::to_string(sig.size())) +
             " argument(s), not " + std::to_string(args.size()));
  for (size_t i = 0; i < args.size(); ++i) {
    char want = sig[i], got = args[i]->shape.type;
    bool ok =
        want == '*' || want == got || (want == 'S' && (got == 'C' || got == 'N' || got == 'D'));
    if (!ok)
      ctx.fail(std::string("argument ") + std::to_string(i + 1) + " of " + fn.name +
               "() has type " + got + ", " +
               (want == 'S' ? std::string("C, N or D") : std::string(1, want)) + " expected");
  }
}

}  // namespace

NodePtr make_function(const std::string& name, std::vector<NodePtr> args, const Context& ctx) {
  const Fn* fn = find_function(name);
  if (!fn) ctx.fail("unknown function " + name + "()");
  check_arguments(*fn, args, ctx);
  Shape s = fn->shape(args, ctx);
  std::optional<StrForm> str;
  if (fn->eval == str_eval &&
      std::all_of(args.begin() + 1, args.end(), [](const NodePtr& a) { return a->constant(); })) {
    Vals form{Value::number(0)};
    for (size_t i = 1; i < args.size(); ++i) form.push_back(probe_value(*args[i], ctx));
    str = str_form(form, args);
  }
  auto n = std::make_unique<Call>(*fn, std::move(args), str);
  n->shape = s;
  return n;
}

}  // namespace xbase::expr
