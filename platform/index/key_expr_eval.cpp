// Evaluation of the key-expression tree: literals, fields, operators, and the number text
// that STR() and the NTX numeric keys are made of.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/index/key_expr_node.h"

namespace xbase::expr {
namespace {

// The record the engines see when they size an index: every field blank.
class BlankRecord : public RecordSource {
 public:
  explicit BlankRecord(const RecordSource& schema) : s_(schema) {}
  int field_count() const override { return s_.field_count(); }
  const FieldInfo& field_info(int index) const override { return s_.field_info(index); }
  int field_index(std::string_view name) const override { return s_.field_index(name); }
  Value raw_value(int index) const override {
    const FieldInfo& f = s_.field_info(index);
    Shape sh{f.type, f.length, f.decimals};
    if (f.type == 'F') sh.type = 'N';
    if (sh.type != 'N' && sh.type != 'D' && sh.type != 'L') sh.type = 'C';
    return coerce(Value(), sh);
  }
  uint32_t recno() const override { return 0; }
  bool deleted() const override { return false; }
  const CodePage& codepage() const override { return s_.codepage(); }

 private:
  const RecordSource& s_;
};

class Literal : public Node {
 public:
  explicit Literal(Value v) : v_(std::move(v)) {}
  Value eval(const RecordSource&) const override { return v_; }
  bool constant() const override { return true; }

 private:
  Value v_;
};

class Field : public Node {
 public:
  explicit Field(int index) : index_(index) {}
  Value eval(const RecordSource& rec) const override {
    return coerce(rec.raw_value(index_), shape);
  }
  bool append_text(const RecordSource& rec, std::string& out) const override {
    return (shape.type == 'C' && rec.append_raw_text(index_, out)) || Node::append_text(rec, out);
  }

 private:
  int index_;
};

class Unary : public Node {
 public:
  Unary(char op, NodePtr a) : op_(op), a_(std::move(a)) { shape = a_->shape; }
  Value eval(const RecordSource& rec) const override {
    Value v = a_->eval(rec);
    if (op_ == '!') return Value::logical(!v.log());
    return op_ == '-' ? Value::number(-v.num()) : v;
  }
  bool constant() const override { return a_->constant(); }

 private:
  char op_;
  NodePtr a_;
};

int text_compare(const std::string& a, const std::string& b, bool exact) {
  // Without exactness the left side counts only as far as the right one reaches
  // ("ABC" = "AB" holds); beyond the common part the longer side is read against blanks.
  size_t la = a.size();
  if (!exact && b.size() < la) la = b.size();
  size_t n = la < b.size() ? la : b.size();
  for (size_t i = 0; i < n; ++i) {
    auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (exact) return la == b.size() ? 0 : (la < b.size() ? -1 : 1);
  for (size_t i = n; i < b.size(); ++i) {
    auto y = static_cast<unsigned char>(b[i]);
    if (y != ' ') return y > ' ' ? -1 : 1;
  }
  return 0;
}

int value_compare(const Value& a, const Value& b, bool exact) {
  switch (a.type()) {
    case Value::Type::kChar:
      return text_compare(a.str(), b.str(), exact);
    case Value::Type::kNumber:
      return a.num() < b.num() ? -1 : a.num() > b.num() ? 1 : 0;
    case Value::Type::kDate:
      return a.date_value().jdn < b.date_value().jdn ? -1 : a.date_value().jdn > b.date_value().jdn;
    case Value::Type::kLogical:
      return static_cast<int>(a.log()) - static_cast<int>(b.log());
    default:
      return 0;
  }
}

Value date_plus(Date d, double days) {
  if (d.empty()) return Value::date(Date{});
  // The engines drop the fraction; what falls outside the calendar is the empty date.
  double jdn = static_cast<double>(d.jdn) + std::trunc(days);
  Date r;
  if (jdn >= Date::kFirstJdn && jdn <= Date::kLastJdn) r.jdn = static_cast<int32_t>(jdn);
  return Value::date(r);
}

// Text joined inside an expression stays within kMaxText.
Value joined(std::string s) {
  if (s.size() > static_cast<size_t>(kMaxText)) s.resize(static_cast<size_t>(kMaxText));
  return Value::text(std::move(s));
}

class Binary : public Node {
 public:
  Binary(std::string op, NodePtr a, NodePtr b)
      : op_(std::move(op)), a_(std::move(a)), b_(std::move(b)) {}

  bool append_text(const RecordSource& rec, std::string& out) const override {
    if (op_ != "+" || a_->shape.type != 'C') return Node::append_text(rec, out);
    // As eval joins them: a side that is not text adds nothing, and the whole stays within
    // kMaxText.
    const size_t start = out.size();
    a_->append_text(rec, out);
    b_->append_text(rec, out);
    if (out.size() - start > static_cast<size_t>(kMaxText)) out.resize(start + kMaxText);
    return true;
  }

  Value eval(const RecordSource& rec) const override {
    if (op_ == "AND") return Value::logical(a_->eval(rec).log() && b_->eval(rec).log());
    if (op_ == "OR") return Value::logical(a_->eval(rec).log() || b_->eval(rec).log());
    Value a = a_->eval(rec);
    Value b = b_->eval(rec);
    char ta = a_->shape.type, tb = b_->shape.type;
    switch (op_[0]) {
      case '+':
        if (ta == 'C') return joined(a.str() + b.str());
        if (ta == 'D') return date_plus(a.date_value(), b.num());
        if (tb == 'D') return date_plus(b.date_value(), a.num());
        return Value::number(a.num() + b.num());
      case '-':
        if (ta == 'C') {
          const std::string& s = a.str();
          size_t keep = s.find_last_not_of(' ');
          keep = keep == std::string::npos ? 0 : keep + 1;
          return joined(s.substr(0, keep) + b.str() + std::string(s.size() - keep, ' '));
        }
        if (ta == 'D' && tb == 'D')
          return Value::number(static_cast<double>(a.date_value().jdn) - b.date_value().jdn);
        if (ta == 'D') return date_plus(a.date_value(), -b.num());
        return Value::number(a.num() - b.num());
      case '*':
        return Value::number(a.num() * b.num());
      case '/':
        return Value::number(b.num() == 0 ? 0 : a.num() / b.num());
      case '%':
        return Value::number(b.num() == 0 ? 0 : std::fmod(a.num(), b.num()));
      case '^':
        return Value::number(std::pow(a.num(), b.num()));
      case '$':
        return Value::logical(b.str().find(a.str()) != std::string::npos);
      default:
        break;
    }
    int c = value_compare(a, b, op_ == "==");
    if (op_ == "=" || op_ == "==") return Value::logical(c == 0);
    if (op_ == "!=") return Value::logical(c != 0);
    if (op_ == "<") return Value::logical(c < 0);
    if (op_ == "<=") return Value::logical(c <= 0);
    if (op_ == ">") return Value::logical(c > 0);
    return Value::logical(c >= 0);
  }
  bool constant() const override { return a_->constant() && b_->constant(); }

 private:
  std::string op_;
  NodePtr a_, b_;
};

// Width of a computed number: ten places for the integer part, then the decimals.
Shape computed_number(int dec) { return Shape{'N', dec > 0 ? 11 + dec : 10, dec}; }

Shape binary_shape(const std::string& op, const Shape& a, const Shape& b, const Context& ctx) {
  auto bad = [&]() -> Shape {
    ctx.fail(std::string("wrong operand types for ") +
             (op == "AND"  ? ".AND."
              : op == "OR" ? ".OR."
                           : op) +
             " (" + a.type + " and " + b.type + ")");
  };
  if (op == "AND" || op == "OR") return a.type == 'L' && b.type == 'L' ? Shape{'L', 1, 0} : bad();
  if (op == "$") return a.type == 'C' && b.type == 'C' ? Shape{'L', 1, 0} : bad();
  bool nn = a.type == 'N' && b.type == 'N';
  switch (op[0]) {
    case '+':
      if (a.type == 'C' && b.type == 'C') return Shape{'C', capped(0LL + a.length + b.length), 0};
      if ((a.type == 'D' && b.type == 'N') || (a.type == 'N' && b.type == 'D'))
        return Shape{'D', 8, 0};
      return nn ? computed_number(std::max(a.decimals, b.decimals)) : bad();
    case '-':
      if (a.type == 'C' && b.type == 'C') return Shape{'C', capped(0LL + a.length + b.length), 0};
      if (a.type == 'D' && b.type == 'N') return Shape{'D', 8, 0};
      if (a.type == 'D' && b.type == 'D') return computed_number(0);
      return nn ? computed_number(std::max(a.decimals, b.decimals)) : bad();
    case '*':
      return nn ? computed_number(a.decimals + b.decimals) : bad();
    case '%':
      return nn ? computed_number(std::max(a.decimals, b.decimals)) : bad();
    case '/':
    case '^':
      return nn ? computed_number(2) : bad();  // the engines' default SET DECIMALS
    default:
      break;
  }
  return a.type == b.type ? Shape{'L', 1, 0} : bad();
}

}  // namespace

Value probe_value(const Node& n, const Context& ctx) {
  BlankRecord blank(ctx.schema);
  return n.eval(blank);
}

double probe_number(const Node& n, const Context& ctx) {
  Value v = probe_value(n, ctx);
  return v.type() == Value::Type::kNumber ? v.num() : 0;
}

Value coerce(const Value& v, const Shape& s) {
  switch (s.type) {
    case 'C':
      return v.type() == Value::Type::kChar ? v : Value::text(std::string(s.length, ' '));
    case 'N':
      return v.type() == Value::Type::kNumber ? v : Value::number(0);
    case 'D':
      return v.type() == Value::Type::kDate ? v : Value::date(Date{});
    case 'L':
      return v.type() == Value::Type::kLogical ? v : Value::logical(false);
    default:
      return v;
  }
}

NodePtr make_literal(Value v, Shape s) {
  auto n = std::make_unique<Literal>(std::move(v));
  n->shape = s;
  return n;
}

NodePtr make_field(int index, const FieldInfo& info) {
  auto n = std::make_unique<Field>(index);
  switch (info.type) {
    case 'N':
    case 'F':
      n->shape = Shape{'N', info.length, info.decimals};
      break;
    case 'D':
      n->shape = Shape{'D', 8, 0};
      break;
    case 'L':
      n->shape = Shape{'L', 1, 0};
      break;
    default:  // C, and the raw bytes of any other type
      n->shape = Shape{'C', info.length, 0};
  }
  return n;
}

NodePtr make_unary(char op, NodePtr a, const Context& ctx) {
  char t = a->shape.type;
  if (op == '!' && t != 'L') ctx.fail(std::string("wrong operand type for .NOT. (") + t + ")");
  if (op != '!' && t != 'N')
    ctx.fail(std::string("wrong operand type for unary ") + op + " (" + t + ")");
  return std::make_unique<Unary>(op, std::move(a));
}

NodePtr make_binary(const std::string& op, NodePtr a, NodePtr b, const Context& ctx) {
  Shape s = binary_shape(op, a->shape, b->shape, ctx);
  auto n = std::make_unique<Binary>(op, std::move(a), std::move(b));
  n->shape = s;
  return n;
}

std::string fixed_text(double v, int dec) {
  if (dec < 0) dec = 0;
  if (!std::isfinite(v)) return "*";
  bool neg = v < 0;
  if (v == std::floor(v) && std::fabs(v) < 1e15) {
    // Whole numbers (record numbers, codes, counts: most keys) need no rounding.
    auto n = static_cast<long long>(std::fabs(v));
    std::string t = std::to_string(n);
    if (dec > 0) t += "." + std::string(static_cast<size_t>(dec), '0');
    return (neg && n != 0 ? "-" : "") + t;
  }
  // Fifteen significant digits: what a double holds reliably, so 1.005 rounds up as written.
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", std::fabs(v));
  std::string digits;
  const char* p = buf;
  for (; *p && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') digits.push_back(*p);
  int exp10 = *p == 'e' ? std::atoi(p + 1) : 0;
  int ip = exp10 + 1;  // digits before the decimal point
  if (ip < 1) {
    digits.insert(0, static_cast<size_t>(1 - ip), '0');
    ip = 1;
  }
  size_t cut = static_cast<size_t>(ip + dec);
  if (digits.size() < cut + 1) digits.append(cut + 1 - digits.size(), '0');
  bool up = digits[cut] >= '5';
  digits.resize(cut);
  if (up) {
    size_t i = cut;
    while (i > 0) {
      --i;
      if (digits[i] == '9') {
        digits[i] = '0';
      } else {
        ++digits[i];
        break;
      }
      if (i == 0) {
        digits.insert(0, 1, '1');
        ++ip;
      }
    }
  }
  std::string int_part = digits.substr(0, static_cast<size_t>(ip));
  size_t nz = int_part.find_first_not_of('0');
  int_part = nz == std::string::npos ? "0" : int_part.substr(nz);
  std::string frac = digits.substr(static_cast<size_t>(ip));
  if (digits.find_first_not_of('0') == std::string::npos) neg = false;
  return (neg ? "-" : "") + int_part + (dec > 0 ? "." + frac : "");
}

double round_half_away(double v, int dec) {
  if (!std::isfinite(v)) return v;
  dec = std::max(dec, -308);  // beyond, 10^-dec is no longer a double
  if (dec >= 0) return std::strtod(fixed_text(v, dec).c_str(), nullptr);
  double p = std::pow(10.0, -dec);
  return std::strtod(fixed_text(v / p, 0).c_str(), nullptr) * p;
}

std::string str_number(double v, int width, int dec) {
  if (width < 1) return std::string();
  std::string t = fixed_text(v, dec);
  if (t == "*" || static_cast<int>(t.size()) > width) return std::string(width, '*');
  return std::string(width - t.size(), ' ') + t;
}

void append_str_number(double v, int width, int dec, std::string& out) {
  if (width < 1) return;
  const double mag = std::fabs(v);
  if (!(v == std::floor(v) && mag < 1e15)) {
    out += str_number(v, width, dec);
    return;
  }
  dec = std::max(dec, 0);
  char digits[24];
  char* const end = digits + sizeof digits;
  char* p = end;
  for (auto n = static_cast<unsigned long long>(mag); p == end || n != 0; n /= 10)
    *--p = static_cast<char>('0' + n % 10);
  const bool minus = v <= -1;  // a negative zero shows no sign
  const size_t len =
      static_cast<size_t>(end - p) + (minus ? 1 : 0) + (dec > 0 ? static_cast<size_t>(dec) + 1 : 0);
  if (len > static_cast<size_t>(width)) {
    out.append(static_cast<size_t>(width), '*');
    return;
  }
  out.append(static_cast<size_t>(width) - len, ' ');
  if (minus) out += '-';
  out.append(p, end);
  if (dec > 0) {
    out += '.';
    out.append(static_cast<size_t>(dec), '0');
  }
}

}  // namespace xbase::expr
