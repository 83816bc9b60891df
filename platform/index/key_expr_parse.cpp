// Parsing of xBase key expressions (index keys and FOR conditions as the engines store them in
// NTX and CDX headers) into a tree of nodes bound to the table's fields.
#include <cctype>
#include <cstdlib>

#include "platform/index/key_expr.h"
#include "platform/index/key_expr_node.h"

namespace xbase {
namespace expr {

void Context::fail(const std::string& what) const {
  throw ExpressionError("key expression \"" + std::string(text) + "\": " + what);
}

namespace {

enum class Tok { kEnd, kIdent, kNumber, kString, kLogical, kOp, kLParen, kRParen, kComma, kArrow };

struct Token {
  Tok kind = Tok::kEnd;
  std::string text;  // identifiers upper-cased; operators in canonical spelling
  size_t pos = 0;
};

std::string upper_ascii(std::string_view s) {
  std::string out(s);
  for (auto& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool ident_start(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool ident_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool digit(char c) { return c >= '0' && c <= '9'; }

class Lexer {
 public:
  explicit Lexer(const Context& ctx) : ctx_(ctx), s_(ctx.text) {}

  std::vector<Token> run() {
    std::vector<Token> out;
    for (;;) {
      while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
      Token t;
      t.pos = i_;
      if (i_ >= s_.size()) {
        out.push_back(t);
        return out;
      }
      char c = s_[i_];
      if (ident_start(c)) {
        size_t b = i_;
        while (i_ < s_.size() && ident_char(s_[i_])) ++i_;
        t.kind = Tok::kIdent;
        t.text = upper_ascii(s_.substr(b, i_ - b));
      } else if (digit(c) || (c == '.' && i_ + 1 < s_.size() && digit(s_[i_ + 1]))) {
        size_t b = i_;
        while (i_ < s_.size() && digit(s_[i_])) ++i_;
        if (i_ < s_.size() && s_[i_] == '.' && i_ + 1 < s_.size() && digit(s_[i_ + 1])) {
          ++i_;
          while (i_ < s_.size() && digit(s_[i_])) ++i_;
        }
        t.kind = Tok::kNumber;
        t.text = std::string(s_.substr(b, i_ - b));
      } else if (c == '"' || c == '\'' || c == '[') {
        char close = c == '[' ? ']' : c;
        size_t end = s_.find(close, i_ + 1);
        if (end == std::string_view::npos) fail_at(i_, "unterminated string");
        t.kind = Tok::kString;
        t.text = std::string(s_.substr(i_ + 1, end - i_ - 1));
        i_ = end + 1;
      } else if (c == '.') {
        dot_word(t);
      } else {
        punct(t);
      }
      out.push_back(std::move(t));
    }
  }

  [[noreturn]] void fail_at(size_t pos, const std::string& what) const {
    ctx_.fail(what + " at column " + std::to_string(pos + 1));
  }

 private:
  void dot_word(Token& t) {
    size_t end = s_.find('.', i_ + 1);
    std::string w = end == std::string_view::npos ? std::string()
                                                  : upper_ascii(s_.substr(i_ + 1, end - i_ - 1));
    if (w == "AND" || w == "OR") {
      t.kind = Tok::kOp;
      t.text = w;
    } else if (w == "NOT") {
      t.kind = Tok::kOp;
      t.text = "!";
    } else if (w == "T" || w == "Y" || w == "F" || w == "N") {
      t.kind = Tok::kLogical;
      t.text.assign(1, (w == "T" || w == "Y") ? 'T' : 'F');
    } else {
      fail_at(i_, "unexpected '.'");
    }
    i_ = end + 1;
  }

  void punct(Token& t) {
    auto next = [&](char c) { return i_ + 1 < s_.size() && s_[i_ + 1] == c; };
    char c = s_[i_];
    t.kind = Tok::kOp;
    t.text = std::string(1, c);
    size_t len = 1;
    switch (c) {
      case '(':
        t.kind = Tok::kLParen;
        break;
      case ')':
        t.kind = Tok::kRParen;
        break;
      case ',':
        t.kind = Tok::kComma;
        break;
      case '-':
        if (next('>')) {
          t.kind = Tok::kArrow;
          t.text = "->";
          len = 2;
        }
        break;
      case '*':
        if (next('*')) {
          t.text = "^";
          len = 2;
        } else {
          t.text = "*";
        }
        break;
      case '+':
      case '/':
      case '%':
      case '^':
      case '$':
      case '#':
        t.text = c == '#' ? "!=" : std::string(1, c);
        break;
      case '=':
        t.text = next('=') ? "==" : "=";
        len = t.text.size();
        break;
      case '!':
        t.text = next('=') ? "!=" : "!";
        len = t.text.size();
        break;
      case '<':
        if (next('>')) {
          t.text = "!=";
          len = 2;
        } else {
          t.text = next('=') ? "<=" : "<";
          len = t.text.size();
        }
        break;
      case '>':
        t.text = next('=') ? ">=" : ">";
        len = t.text.size();
        break;
      default:
        fail_at(i_, std::string("unexpected character '") + c + "'");
    }
    i_ += len;
  }

  const Context& ctx_;
  std::string_view s_;
  size_t i_ = 0;
};

// Precedence, loosest first: .OR., .AND., .NOT., comparisons, + -, * / %, ** ^, unary - +.
class Parser {
 public:
  Parser(const Context& ctx, Lexer& lexer, std::vector<Token> toks)
      : ctx_(ctx), lexer_(lexer), toks_(std::move(toks)) {}

  NodePtr whole() {
    NodePtr n = parse_or();
    if (peek().kind != Tok::kEnd) lexer_.fail_at(peek().pos, "unexpected text after the end");
    return n;
  }

 private:
  const Token& peek() const { return toks_[k_]; }
  Token take() { return toks_[k_++]; }
  bool is_op(const char* op) const { return peek().kind == Tok::kOp && peek().text == op; }

  // Every nesting (parentheses, arguments, .NOT., unary signs, powers) counts, so that a
  // damaged header cannot run the parser's recursion out of stack.
  struct Nested {
    Parser& p;
    explicit Nested(Parser& parser) : p(parser) {
      if (++p.depth_ > kMaxNesting) p.ctx_.fail("nested too deeply");
    }
    ~Nested() { --p.depth_; }
  };
  static constexpr int kMaxNesting = 64;

  NodePtr parse_or() {
    Nested guard(*this);
    NodePtr a = parse_and();
    while (is_op("OR")) {
      take();
      a = make_binary("OR", std::move(a), parse_and(), ctx_);
    }
    return a;
  }

  NodePtr parse_and() {
    NodePtr a = parse_not();
    while (is_op("AND")) {
      take();
      a = make_binary("AND", std::move(a), parse_not(), ctx_);
    }
    return a;
  }

  NodePtr parse_not() {
    if (is_op("!")) {
      Nested guard(*this);
      take();
      return make_unary('!', parse_not(), ctx_);
    }
    return parse_relation();
  }

  NodePtr parse_relation() {
    NodePtr a = parse_sum();
    for (;;) {
      const Token& t = peek();
      if (t.kind != Tok::kOp) return a;
      const std::string& op = t.text;
      if (op != "=" && op != "==" && op != "!=" && op != "<" && op != "<=" && op != ">" &&
          op != ">=" && op != "$")
        return a;
      std::string o = take().text;
      a = make_binary(o, std::move(a), parse_sum(), ctx_);
    }
  }

  NodePtr parse_sum() {
    NodePtr a = parse_product();
    while (is_op("+") || is_op("-")) {
      std::string o = take().text;
      a = make_binary(o, std::move(a), parse_product(), ctx_);
    }
    return a;
  }

  NodePtr parse_product() {
    NodePtr a = parse_power();
    while (is_op("*") || is_op("/") || is_op("%")) {
      std::string o = take().text;
      a = make_binary(o, std::move(a), parse_power(), ctx_);
    }
    return a;
  }

  NodePtr parse_power() {
    NodePtr a = parse_unary();
    if (is_op("^")) {
      Nested guard(*this);
      take();
      return make_binary("^", std::move(a), parse_power(), ctx_);
    }
    return a;
  }

  NodePtr parse_unary() {
    if (is_op("-") || is_op("+")) {
      Nested guard(*this);
      char op = take().text[0];
      return make_unary(op, parse_unary(), ctx_);
    }
    return parse_primary();
  }

  NodePtr parse_primary() {
    Token t = take();
    switch (t.kind) {
      case Tok::kNumber:
        return number_literal(t.text);
      case Tok::kString:
        return make_literal(Value::text(t.text), Shape{'C', static_cast<int>(t.text.size()), 0});
      case Tok::kLogical:
        return make_literal(Value::logical(t.text == "T"), Shape{'L', 1, 0});
      case Tok::kLParen: {
        NodePtr n = parse_or();
        expect(Tok::kRParen, "')'");
        return n;
      }
      case Tok::kIdent:
        return identifier(t);
      case Tok::kEnd:
        lexer_.fail_at(t.pos, "unexpected end");
      default:
        lexer_.fail_at(t.pos, "unexpected '" + t.text + "'");
    }
  }

  NodePtr identifier(const Token& t) {
    if (peek().kind == Tok::kLParen) {
      take();
      std::vector<NodePtr> args;
      if (peek().kind != Tok::kRParen) {
        args.push_back(parse_or());
        while (peek().kind == Tok::kComma) {
          take();
          args.push_back(parse_or());
        }
      }
      expect(Tok::kRParen, "')' after the arguments of " + t.text);
      return make_function(t.text, std::move(args), ctx_);
    }
    Token name = t;
    if (peek().kind == Tok::kArrow) {  // the alias is the table itself
      take();
      name = take();
      if (name.kind != Tok::kIdent) lexer_.fail_at(name.pos, "field name expected after '->'");
    }
    int idx = ctx_.schema.field_index(name.text);
    // Clipper knows field names by their first ten characters.
    if (idx < 0 && name.text.size() > 10) idx = ctx_.schema.field_index(name.text.substr(0, 10));
    if (idx < 0) ctx_.fail("unknown field " + name.text);
    return make_field(idx, ctx_.schema.field_info(idx));
  }

  NodePtr number_literal(const std::string& s) {
    size_t dot = s.find('.');
    int dec = dot == std::string::npos ? 0 : static_cast<int>(s.size() - dot - 1);
    // Like a computed number: ten places for the integer part.
    Shape sh{'N', dec > 0 ? 11 + dec : 10, dec};
    return make_literal(Value::number(std::strtod(s.c_str(), nullptr)), sh);
  }

  void expect(Tok kind, const std::string& what) {
    if (peek().kind != kind) lexer_.fail_at(peek().pos, what + " expected");
    take();
  }

  const Context& ctx_;
  Lexer& lexer_;
  std::vector<Token> toks_;
  size_t k_ = 0;
  int depth_ = 0;
};

class Compiled : public KeyExpression {
 public:
  Compiled(std::string text, NodePtr root) : text_(std::move(text)), root_(std::move(root)) {}
  const std::string& text() const override { return text_; }
  char result_type() const override { return root_->shape.type; }
  int result_length() const override { return root_->shape.length; }
  int result_decimals() const override {
    return root_->shape.type == 'N' ? root_->shape.decimals : 0;
  }
  Value evaluate(const RecordSource& record) const override { return root_->eval(record); }
  bool append_text(const RecordSource& record, std::string& out) const override {
    return root_->append_text(record, out);
  }

 private:
  std::string text_;
  NodePtr root_;
};

}  // namespace
}  // namespace expr

std::unique_ptr<KeyExpression> KeyExpression::compile(std::string_view text,
                                                      const RecordSource& schema) {
  // Engines store the expression with the NUL padding of its header field; blanks around it
  // are not part of it.
  std::string t(text.substr(0, text.find('\0')));
  while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back()))) t.pop_back();
  size_t lead = t.find_first_not_of(" \t\r\n");
  t = lead == std::string::npos ? std::string() : t.substr(lead);
  expr::Context ctx{t, schema};
  if (t.empty()) ctx.fail("empty expression");
  expr::Lexer lexer(ctx);
  expr::Parser parser(ctx, lexer, lexer.run());
  expr::NodePtr root = parser.whole();
  return std::make_unique<expr::Compiled>(t, std::move(root));
}

}  // namespace xbase
