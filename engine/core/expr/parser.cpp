// The parser of filter texts and default-value expressions: text to program (program.h).
//
// Grammar (keywords and names ignore case; texts are 8-bit, as the engine's names are):
//
//   expression := disjunct { OR disjunct }
//   disjunct   := negation { AND negation }
//   negation   := NOT negation | predicate
//   predicate  := sum [ ( "=" | "<>" | "!=" | "<" | ">" | "<=" | ">=" ) sum
//                     | IS [NOT] NULL
//                     | [NOT] LIKE sum [ESCAPE sum]
//                     | [NOT] IN "(" sum { "," sum } ")"
//                     | [NOT] BETWEEN sum AND sum ]
//   sum        := term { ( "+" | "-" ) term }
//   term       := unary { ( "*" | "/" ) unary }
//   unary      := ( "-" | "+" ) unary | primary
//   primary    := number | text | TRUE | FALSE | NULL | "(" expression ")"
//               | CURRENT_DATE | CURRENT_TIME | CURRENT_TIMESTAMP   (optionally with "()")
//               | SUBSTRING "(" sum ( FROM sum [FOR sum] | "," sum [ "," sum ] ) ")"
//               | name "(" [ sum { "," sum } ] ")"                 (UPPER, LOWER, TRIM)
//               | name | '"' name '"' | "[" name "]"              (a field)
//   number     := digits [ "." digits ] [ ( "e" | "E" ) [ "+" | "-" ] digits ]  | "." digits ...
//   text       := "'" { character | "''" } "'"
//
// A bare name that is a keyword or a function is never a field; quoting makes it one. A text
// compared with a date, time or number field is read as one: '2024-03-01' or the user's short
// date form. Recursion is bounded by kMaxDepth levels of nesting.
#include "engine/core/expr/parser.h"

#include <cctype>

#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/scope_guard.h"
#include "engine/foundation/types/strings.h"

namespace qdx::expr {
namespace {

enum class Tok : uint8_t { End, Number, Text, Name, QuotedName, Symbol };

struct Token {
  Tok Kind = Tok::End;
  std::string Text;  // a text's or quoted name's characters without quotes; a symbol
  int32_t Position = 0;
};

bool IsNameStart(unsigned char c) {
  return std::isalpha(c) || c == '_' || c >= 0x80;
}
bool IsNameChar(unsigned char c) {
  return IsNameStart(c) || std::isdigit(c);
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Splits the whole text into tokens before parsing, so that the parser can look two ahead.
class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  std::vector<Token> Tokens() {
    std::vector<Token> tokens;
    for (;;) {
      while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
      Token token;
      token.Position = static_cast<int32_t>(pos_ + 1);
      if (pos_ >= text_.size()) {
        tokens.push_back(token);
        return tokens;
      }
      const char c = text_[pos_];
      if (IsDigit(c) || (c == '.' && pos_ + 1 < text_.size() && IsDigit(text_[pos_ + 1]))) {
        token.Kind = Tok::Number;
        token.Text = ReadNumber();
      } else if (c == '\'') {
        token.Kind = Tok::Text;
        token.Text = ReadQuoted('\'', "a closing quote (') of the text");
      } else if (c == '"') {
        token.Kind = Tok::QuotedName;
        token.Text = ReadQuoted('"', "a closing quote (\") of the name");
      } else if (c == '[') {
        token.Kind = Tok::QuotedName;
        token.Text = ReadQuoted(']', "']' closing the name");
      } else if (IsNameStart(static_cast<unsigned char>(c))) {
        token.Kind = Tok::Name;
        const size_t start = pos_;
        while (pos_ < text_.size() && IsNameChar(static_cast<unsigned char>(text_[pos_]))) ++pos_;
        token.Text = text_.substr(start, pos_ - start);
      } else {
        token.Kind = Tok::Symbol;
        token.Text = ReadSymbol();
      }
      tokens.push_back(std::move(token));
    }
  }

 private:
  static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

  std::string ReadNumber() {
    const size_t start = pos_;
    auto digits = [&] {
      const size_t from = pos_;
      while (pos_ < text_.size() && IsDigit(text_[pos_])) ++pos_;
      return pos_ > from;
    };
    digits();
    if (pos_ < text_.size() && text_[pos_] == '.') {
      ++pos_;
      digits();
    }
    if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
      ++pos_;
      if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
      if (!digits()) {
        Raise(msg::kExprExpected,
              {static_cast<int32_t>(pos_ + 1), "digits of an exponent",
               pos_ < text_.size() ? Quoted(text_.substr(pos_, 1)) : std::string("end of text")});
      }
    }
    return std::string(text_.substr(start, pos_ - start));
  }

  // The characters after the opening quote up to `close`; a doubled `close` stands for itself.
  std::string ReadQuoted(char close, const char* expected) {
    const size_t start = pos_++;
    std::string value;
    for (;;) {
      if (pos_ >= text_.size()) {
        Raise(msg::kExprExpected,
              {static_cast<int32_t>(pos_ + 1),
               std::string(expected) + " begun at position " + std::to_string(start + 1),
               "end of text"});
      }
      const char c = text_[pos_++];
      if (c == close) {
        if (pos_ < text_.size() && text_[pos_] == close) {
          value.push_back(close);
          ++pos_;
          continue;
        }
        return value;
      }
      value.push_back(c);
    }
  }

  std::string ReadSymbol() {
    static constexpr std::string_view kTwo[] = {"<>", "<=", ">=", "!="};
    for (std::string_view symbol : kTwo) {
      if (text_.substr(pos_, 2) == symbol) {
        pos_ += 2;
        return std::string(symbol);
      }
    }
    return std::string(1, text_[pos_++]);
  }

  static std::string Quoted(std::string_view s) { return "'" + std::string(s) + "'"; }

  std::string_view text_;
  size_t pos_ = 0;
};

class Parser {
 public:
  Parser(std::string_view text, TQDXExprBuilder& builder)
      : tokens_(Lexer(text).Tokens()), builder_(builder) {}

  int32_t Whole() {
    const int32_t node = Expression();
    if (Peek().Kind != Tok::End) Fail("an operator or the end of the text");
    return node;
  }

 private:
  // One level deeper into the text, kept within kMaxDepth however it nests; the guard returned
  // steps back out.
  auto Nest() {
    if (depth_ >= kMaxDepth) Raise(msg::kExprTooDeep, {Peek().Position, kMaxDepth});
    ++depth_;
    return ScopeExit([this] { --depth_; });
  }

  const Token& Peek(size_t ahead = 0) const {
    return tokens_[std::min(next_ + ahead, tokens_.size() - 1)];
  }
  const Token& Take() {
    const Token& token = Peek();
    if (next_ < tokens_.size() - 1) ++next_;
    return token;
  }
  bool IsKeyword(const Token& token, std::string_view keyword) const {
    return token.Kind == Tok::Name && token.Text.size() == keyword.size() &&
           AnsiUpperCase(token.Text) == keyword;
  }
  bool IsSymbol(const Token& token, std::string_view symbol) const {
    return token.Kind == Tok::Symbol && token.Text == symbol;
  }
  bool TakeKeyword(std::string_view keyword) {
    if (!IsKeyword(Peek(), keyword)) return false;
    Take();
    return true;
  }
  bool TakeSymbol(std::string_view symbol) {
    if (!IsSymbol(Peek(), symbol)) return false;
    Take();
    return true;
  }
  void ExpectKeyword(std::string_view keyword) {
    if (!TakeKeyword(keyword)) Fail(std::string(keyword));
  }
  void ExpectSymbol(std::string_view symbol) {
    if (!TakeSymbol(symbol)) Fail("'" + std::string(symbol) + "'");
  }

  [[noreturn]] void Fail(const std::string& expected) const {
    const Token& token = Peek();
    std::string found;
    switch (token.Kind) {
      case Tok::End:
        found = "end of text";
        break;
      case Tok::Number:
        found = "number " + token.Text;
        break;
      case Tok::Text:
        found = "text '" + token.Text + "'";
        break;
      case Tok::QuotedName:
        found = "name \"" + token.Text + "\"";
        break;
      default:
        found = "'" + token.Text + "'";
        break;
    }
    Raise(msg::kExprExpected, {token.Position, expected, found});
  }

  int32_t Expression() {
    const auto nesting = Nest();
    const int32_t position = Peek().Position;
    std::vector<int32_t> operands{Disjunct()};
    while (TakeKeyword("OR")) operands.push_back(Disjunct());
    return operands.size() == 1 ? operands[0] : builder_.Logic(Op::Or, operands, position);
  }

  int32_t Disjunct() {
    const int32_t position = Peek().Position;
    std::vector<int32_t> operands{Negation()};
    while (TakeKeyword("AND")) operands.push_back(Negation());
    return operands.size() == 1 ? operands[0] : builder_.Logic(Op::And, operands, position);
  }

  int32_t Negation() {
    const int32_t position = Peek().Position;
    if (!TakeKeyword("NOT")) return Predicate();
    const auto nesting = Nest();
    return builder_.Not(Negation(), position);
  }

  int32_t Predicate() {
    const int32_t left = Sum();
    const Token& token = Peek();
    const int32_t position = token.Position;
    static constexpr std::pair<std::string_view, Comparison> kComparisons[] = {
        {"=", kEq}, {"<>", kNe}, {"!=", kNe}, {"<", kLt}, {">", kGt}, {"<=", kLe}, {">=", kGe}};
    for (const auto& [symbol, cmp] : kComparisons) {
      if (IsSymbol(token, symbol)) {
        Take();
        return builder_.Compare(cmp, left, Sum(), position);
      }
    }
    if (TakeKeyword("IS")) {
      const bool negated = TakeKeyword("NOT");
      ExpectKeyword("NULL");
      return builder_.IsNull(left, negated, position);
    }
    bool negated = false;
    if (IsKeyword(token, "NOT") &&
        (IsKeyword(Peek(1), "LIKE") || IsKeyword(Peek(1), "IN") || IsKeyword(Peek(1), "BETWEEN"))) {
      Take();
      negated = true;
    }
    if (TakeKeyword("LIKE")) {
      const int32_t pattern = Sum();
      const int32_t escape = TakeKeyword("ESCAPE") ? Sum() : -1;
      return builder_.Like(left, pattern, escape, negated, position);
    }
    if (TakeKeyword("IN")) {
      ExpectSymbol("(");
      std::vector<int32_t> list{Sum()};
      while (TakeSymbol(",")) list.push_back(Sum());
      ExpectSymbol(")");
      return builder_.In(left, list, negated, position);
    }
    if (TakeKeyword("BETWEEN")) {
      const int32_t low = Sum();
      ExpectKeyword("AND");
      return builder_.Between(left, low, Sum(), negated, position);
    }
    return left;
  }

  int32_t Sum() {
    int32_t left = Term();
    for (;;) {
      const int32_t position = Peek().Position;
      if (TakeSymbol("+")) {
        left = builder_.Arithmetic(Op::Add, left, Term(), position);
      } else if (TakeSymbol("-")) {
        left = builder_.Arithmetic(Op::Subtract, left, Term(), position);
      } else {
        return left;
      }
    }
  }

  int32_t Term() {
    int32_t left = Unary();
    for (;;) {
      const int32_t position = Peek().Position;
      if (TakeSymbol("*")) {
        left = builder_.Arithmetic(Op::Multiply, left, Unary(), position);
      } else if (TakeSymbol("/")) {
        left = builder_.Arithmetic(Op::Divide, left, Unary(), position);
      } else {
        return left;
      }
    }
  }

  int32_t Unary() {
    const int32_t position = Peek().Position;
    if (IsSymbol(Peek(), "-") && Peek(1).Kind == Tok::Number) {
      Take();
      return builder_.Number("-" + Take().Text, position);  // a negative constant, not a negation
    }
    if (TakeSymbol("-")) {
      const auto nesting = Nest();
      return builder_.Negate(Unary(), position);
    }
    if (TakeSymbol("+")) {
      const auto nesting = Nest();
      return builder_.Arithmetic(Op::Add, builder_.Number("0", position), Unary(), position);
    }
    return Primary();
  }

  int32_t Primary() {
    const Token& token = Peek();
    const int32_t position = token.Position;
    switch (token.Kind) {
      case Tok::Number:
        return builder_.Number(Take().Text, position);
      case Tok::Text:
        return builder_.Text(Take().Text, position);
      case Tok::QuotedName:
        return builder_.Field(Take().Text, position);
      case Tok::Name:
        return Named();
      default:
        break;
    }
    if (TakeSymbol("(")) {
      const int32_t inner = Expression();
      ExpectSymbol(")");
      return inner;
    }
    Fail("an operand");
  }

  int32_t Named() {
    const Token& token = Peek();
    const int32_t position = token.Position;
    const std::string upper = AnsiUpperCase(token.Text);
    if (upper == "TRUE" || upper == "FALSE") {
      Take();
      return builder_.Logical(upper == "TRUE", position);
    }
    if (upper == "NULL") {
      Take();
      return builder_.Null(position);
    }
    static constexpr std::string_view kReserved[] = {"AND", "OR",      "NOT", "LIKE", "ESCAPE",
                                                     "IS",  "BETWEEN", "IN",  "FROM", "FOR"};
    for (std::string_view reserved : kReserved) {
      if (upper == reserved) Fail("an operand");
    }
    const std::string name = Take().Text;
    if (upper == "CURRENT_DATE" || upper == "CURRENT_TIME" || upper == "CURRENT_TIMESTAMP") {
      if (IsSymbol(Peek(), "(") && IsSymbol(Peek(1), ")")) {
        Take();
        Take();
      }
      return builder_.Function(name, {}, position);
    }
    if (!TakeSymbol("(")) return builder_.Field(name, position);
    const auto nesting = Nest();
    std::vector<int32_t> args;
    if (!IsSymbol(Peek(), ")")) {
      args.push_back(Sum());
      if (upper == "SUBSTRING" && TakeKeyword("FROM")) {
        args.push_back(Sum());
        if (TakeKeyword("FOR")) args.push_back(Sum());
      } else {
        while (TakeSymbol(",")) args.push_back(Sum());
      }
    }
    ExpectSymbol(")");
    return builder_.Function(name, std::move(args), position);
  }

  std::vector<Token> tokens_;
  size_t next_ = 0;
  int32_t depth_ = 0;
  TQDXExprBuilder& builder_;
};

}  // namespace

int32_t ParseExpression(std::string_view text, TQDXExprBuilder& builder) {
  return Parser(text, builder).Whole();
}

}  // namespace qdx::expr
