// Inside the key-expression compiler: the tree of nodes that the parser builds and the
// evaluator walks. Every node knows its static shape (type, width, decimals) so that an
// index created over an expression gets the key length the engines give it.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/table/record_source.h"
#include "platform/table/value.h"

namespace xbase {
class CodePage;
}

namespace xbase::expr {

// 'C', 'N', 'D', 'L'; length is the text width or the numeric width (decimals included).
struct Shape {
  char type = 'C';
  int length = 0;
  int decimals = 0;
};

// No text inside an expression grows past this, whatever widths and counts a damaged index
// header asks for (a key itself is at most 256 bytes); decimals stay below kMaxDecimals.
inline constexpr int kMaxText = 65536;
inline constexpr int kMaxDecimals = 64;
// n cut into 0..kMaxText.
inline int capped(long long n) { return n < 0 ? 0 : n > kMaxText ? kMaxText : static_cast<int>(n); }

class Node {
 public:
  virtual ~Node() = default;
  virtual Value eval(const RecordSource& rec) const = 0;
  // Appends the text eval gives, making as few strings on the way as it can; false (nothing
  // appended) when the value is not text.
  virtual bool append_text(const RecordSource& rec, std::string& out) const {
    Value v = eval(rec);
    if (v.type() != Value::Type::kChar) return false;
    out += v.str();
    return true;
  }
  // True when the value does not depend on the record (literals and what is built from them).
  virtual bool constant() const { return false; }
  Shape shape;
};
using NodePtr = std::unique_ptr<Node>;

// What a node builder needs to report an error: the whole expression text.
struct Context {
  std::string_view text;
  const RecordSource& schema;
  [[noreturn]] void fail(const std::string& what) const;
};

// The value of a numeric argument that sizes a result (a width, a count), as the engines see
// it when they create an index: evaluated on a blank record of the schema.
double probe_number(const Node& n, const Context& ctx);
Value probe_value(const Node& n, const Context& ctx);

NodePtr make_literal(Value v, Shape s);
NodePtr make_field(int index, const FieldInfo& info);
NodePtr make_unary(char op, NodePtr a, const Context& ctx);  // '-', '+', '!'
// op: + - * / % ^ and the comparisons "=", "==", "!=", "<", "<=", ">", ">=", "$", and "AND"/"OR".
NodePtr make_binary(const std::string& op, NodePtr a, NodePtr b, const Context& ctx);
// Throws through ctx for an unknown function or wrong arguments.
NodePtr make_function(const std::string& name, std::vector<NodePtr> args, const Context& ctx);

// Number text as STR(v, width, dec) gives it: right-aligned, rounded half away from zero,
// asterisks when it does not fit.
std::string str_number(double v, int width, int dec);
// The same appended to out, whole numbers without a string made on the way.
void append_str_number(double v, int width, int dec, std::string& out);
// v rounded half away from zero to dec decimals, as decimal text ("-12.35"), no sign for zero.
std::string fixed_text(double v, int dec);
double round_half_away(double v, int dec);

// TRANSFORM(v, picture) for a value of shape s: "@" functions ! R Z B, then a template.
std::string transform(const Value& v, const Shape& s, const std::string& picture,
                      const CodePage& cp);

// A value of the wanted type when a record gives something else (a nil, a damaged field).
Value coerce(const Value& v, const Shape& s);

}  // namespace xbase::expr
