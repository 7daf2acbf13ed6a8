#include "core/platform/utf8.h"
#include "core/protocol/json_tree.h"

#include "core/platform/encoding.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

#include <locale.h>

namespace qs {

namespace {

// How the parser treats each byte inside a string.
enum class StringByte : std::uint8_t { plain, end, control, nonASCII };

constexpr std::array<StringByte, 256> stringBytes = [] {
  std::array<StringByte, 256> kinds{};
  for (int b = 0; b < 256; ++b)
    kinds[b] = b == '"' || b == '\\' ? StringByte::end
               : b < 0x20            ? StringByte::control
               : b >= 0x80           ? StringByte::nonASCII
                                     : StringByte::plain;
  return kinds;
}();

}  // namespace

class QSJsonTreeParser {
public:
  // `wideNumbers`: whole numbers outside the signed 64-bit range, and numbers that underflow,
  // become floating values instead of giving up.
  QSJsonTreeParser(std::string_view text, QSJsonTree& tree, int maxDepth, bool wideNumbers)
      : text_(text), tree_(tree), maxDepth_(maxDepth), wideNumbers_(wideNumbers) {
    tree_.unescaped_.reserve(text.size());
  }

  bool parseDocument() {
    skipSpace();
    if (!value(0)) return false;
    skipSpace();
    return pos_ == text_.size();
  }

private:
  std::uint8_t peek() const { return pos_ < text_.size() ? static_cast<std::uint8_t>(text_[pos_]) : 0; }
  bool atEnd() const { return pos_ >= text_.size(); }

  void skipSpace() {
    while (!atEnd() && (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n' || text_[pos_] == '\r'))
      ++pos_;
  }

  bool consume(char expected) {
    if (atEnd() || text_[pos_] != expected) return false;
    ++pos_;
    return true;
  }

  std::uint32_t push(QSJsonNode::Kind kind) {
    tree_.nodes_.push_back({});
    tree_.nodes_.back().kind = kind;
    return static_cast<std::uint32_t>(tree_.nodes_.size() - 1);
  }

  void close(std::uint32_t index) { tree_.nodes_[index].end = static_cast<std::uint32_t>(tree_.nodes_.size()); }

  bool value(int depth) {
    if (atEnd()) return false;
    switch (text_[pos_]) {
      case '{': return object(depth + 1);
      case '[': return array(depth + 1);
      case '"': return stringNode();
      case 't': return literal("true", QSJsonNode::Kind::boolean, true);
      case 'f': return literal("false", QSJsonNode::Kind::boolean, false);
      case 'n': return literal("null", QSJsonNode::Kind::null, false);
      default: return number();
    }
  }

  // An object or array: `item` reads one member or element; `closing` ends the list.
  template <class Item>
  bool container(int depth, QSJsonNode::Kind kind, char closing, Item item) {
    if (depth > maxDepth_) return false;
    ++pos_;
    std::uint32_t index = push(kind);
    std::uint32_t count = 0;
    skipSpace();
    if (!consume(closing)) {
      do {
        skipSpace();
        if (!item()) return false;
        ++count;
        skipSpace();
      } while (consume(','));
      if (!consume(closing)) return false;
    }
    tree_.nodes_[index].count = count;
    close(index);
    return true;
  }

  bool object(int depth) {
    return container(depth, QSJsonNode::Kind::object, '}', [&] {
      if (peek() != '"' || !stringNode()) return false;
      skipSpace();
      if (!consume(':')) return false;
      skipSpace();
      return value(depth);
    });
  }

  bool array(int depth) {
    return container(depth, QSJsonNode::Kind::array, ']', [&] { return value(depth); });
  }

  bool stringNode() {
    std::string_view text;
    if (!string(text)) return false;
    std::uint32_t index = push(QSJsonNode::Kind::string);
    tree_.nodes_[index].text = text;
    close(index);
    return true;
  }

  bool literal(std::string_view word, QSJsonNode::Kind kind, bool boolean) {
    if (text_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    std::uint32_t index = push(kind);
    tree_.nodes_[index].boolean = boolean;
    close(index);
    return true;
  }

  bool digits() {
    std::size_t from = pos_;
    while (!atEnd() && text_[pos_] >= '0' && text_[pos_] <= '9') ++pos_;
    return pos_ > from;
  }

  // -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
  bool number() {
    std::size_t start = pos_;
    consume('-');
    if (consume('0')) {
    } else if (peek() >= '1' && peek() <= '9') {
      digits();
    } else {
      return false;
    }
    bool whole = true;
    if (consume('.')) {
      whole = false;
      if (!digits()) return false;
    }
    if (peek() == 'e' || peek() == 'E') {
      ++pos_;
      whole = false;
      if (peek() == '+' || peek() == '-') ++pos_;
      if (!digits()) return false;
    }
    const char* first = text_.data() + start;
    const char* last = text_.data() + pos_;
    std::uint32_t index = push(whole ? QSJsonNode::Kind::integer : QSJsonNode::Kind::number);
    QSJsonNode& node = tree_.nodes_[index];
    // Out of range gives up unless numbers are wide: the DOM keeps such numbers as unsigned or
    // floating values.
    auto [end, error] = whole ? std::from_chars(first, last, node.integer) : std::from_chars(first, last, node.number);
    if (error == std::errc::result_out_of_range && wideNumbers_) {
      node.kind = QSJsonNode::Kind::number;
      node.integer = 0;
      return wideNumber(first, last, node) && (close(index), true);
    }
    if (error != std::errc() || end != last) return false;
    close(index);
    return true;
  }

  // A number the quick conversion left out of range, read as the DOM parser reads it (strtod,
  // whose underflow gives zero or a tiny value); one that overflows is refused, as by the DOM.
  static bool wideNumber(const char* first, const char* last, QSJsonNode& node) {
    auto [end, error] = std::from_chars(first, last, node.number);
    if (error == std::errc() && end == last) return true;
    static const locale_t plainC = ::newlocale(LC_ALL_MASK, "C", locale_t{});
    std::string digits(first, last);
    char* stop = nullptr;
    node.number = ::strtod_l(digits.c_str(), &stop, plainC);
    return stop == digits.c_str() + digits.size() && std::isfinite(node.number);
  }

  bool hexQuad(std::uint32_t& out) {
    if (text_.size() - pos_ < 4) return false;
    out = 0;
    for (int i = 0; i < 4; ++i) {
      int digit = hexDigitValue(text_[pos_ + i]);
      if (digit < 0) return false;
      out = out * 16 + static_cast<std::uint32_t>(digit);
    }
    pos_ += 4;
    return true;
  }

  // After "\u": one code point, a surrogate pair taken together.
  bool codePoint(std::uint32_t& out) {
    if (!hexQuad(out)) return false;
    if (out >= 0xDC00 && out <= 0xDFFF) return false;
    if (out >= 0xD800 && out <= 0xDBFF) {
      std::uint32_t low;
      if (!consume('\\') || !consume('u') || !hexQuad(low) || low < 0xDC00 || low > 0xDFFF) return false;
      out = 0x10000 + ((out - 0xD800) << 10) + (low - 0xDC00);
    }
    return true;
  }

  void appendUTF8(std::uint32_t cp) {
    auto& out = tree_.unescaped_;
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }

  // Bytes up to the next quote, backslash or end, checked: no control characters, valid UTF-8.
  bool plainRun(std::string_view& run) {
    std::size_t from = pos_;
    bool ascii = true;
    for (; !atEnd(); ++pos_) {
      StringByte kind = stringBytes[static_cast<std::uint8_t>(text_[pos_])];
      if (kind == StringByte::plain) continue;
      if (kind == StringByte::end) break;
      if (kind == StringByte::control) return false;
      ascii = false;
    }
    run = text_.substr(from, pos_ - from);
    // An escape is ASCII, so a well-formed multi-byte character never straddles one.
    return ascii || isValidUTF8(run);
  }

  bool string(std::string_view& out) {
    ++pos_;
    std::string_view run;
    if (!plainRun(run)) return false;
    if (consume('"')) {
      out = run;
      return true;
    }
    // Escapes: the value is assembled in the tree's own buffer, which never needs to grow
    // because an escape is never shorter than what it stands for.
    auto& buffer = tree_.unescaped_;
    std::size_t begin = buffer.size();
    buffer.insert(buffer.end(), run.begin(), run.end());
    while (consume('\\')) {
      if (atEnd()) return false;
      char c = text_[pos_++];
      switch (c) {
        case '"': buffer.push_back('"'); break;
        case '\\': buffer.push_back('\\'); break;
        case '/': buffer.push_back('/'); break;
        case 'b': buffer.push_back('\b'); break;
        case 'f': buffer.push_back('\f'); break;
        case 'n': buffer.push_back('\n'); break;
        case 'r': buffer.push_back('\r'); break;
        case 't': buffer.push_back('\t'); break;
        case 'u': {
          std::uint32_t cp;
          if (!codePoint(cp)) return false;
          appendUTF8(cp);
          break;
        }
        default: return false;
      }
      if (!plainRun(run)) return false;
      buffer.insert(buffer.end(), run.begin(), run.end());
    }
    if (!consume('"')) return false;
    out = std::string_view(buffer.data() + begin, buffer.size() - begin);
    return true;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  QSJsonTree& tree_;
  int maxDepth_;
  bool wideNumbers_;
};

namespace {

// The deepest nesting the framing accepts.
constexpr int frameDepth = 128;

}  // namespace

std::optional<QSJsonTree> QSJsonTree::parse(std::string_view text) {
  return parse(text, frameDepth, false, text.size() / 8 + 4);
}

std::optional<QSJsonTree> QSJsonTree::parseDocument(std::string_view text, int maxDepth) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  if (const void* nul = text.empty() ? nullptr : std::memchr(text.data(), '\0', text.size()))
    text = text.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - text.data()));
  // Documents are denser in values than frames; growing the list would copy all of it.
  return parse(text, maxDepth, true, text.size() / 4 + 4);
}

std::optional<QSJsonTree> QSJsonTree::parse(std::string_view text, int maxDepth, bool wideNumbers,
                                            std::size_t expectedNodes) {
  QSJsonTree tree;
  tree.nodes_.reserve(expectedNodes);
  QSJsonTreeParser parser(text, tree, maxDepth, wideNumbers);
  const char* unescapedBase = tree.unescaped_.data();
  if (!parser.parseDocument()) return std::nullopt;
  // Growing the buffer would have left earlier views dangling; it cannot happen, but make sure.
  if (tree.unescaped_.data() != unescapedBase) return std::nullopt;
  return tree;
}

json QSJsonTree::dom(std::uint32_t index) const {
  const QSJsonNode& node = nodes_[index];
  switch (node.kind) {
    case QSJsonNode::Kind::null: return nullptr;
    case QSJsonNode::Kind::boolean: return node.boolean;
    // The DOM parser keeps non-negative whole numbers as unsigned.
    case QSJsonNode::Kind::integer:
      return node.integer >= 0 ? json(static_cast<std::uint64_t>(node.integer)) : json(node.integer);
    case QSJsonNode::Kind::number: return node.number;
    case QSJsonNode::Kind::string: return std::string(node.text);
    case QSJsonNode::Kind::array: {
      json out = json::array();
      for (std::uint32_t i = index + 1; i < node.end; i = nodes_[i].end) out.push_back(dom(i));
      return out;
    }
    case QSJsonNode::Kind::object: {
      json out = json::object();
      // A repeated key keeps its last value, as in the DOM parser.
      for (std::uint32_t i = index + 1; i < node.end; i = nodes_[i + 1].end)
        out[std::string(nodes_[i].text)] = dom(i + 1);
      return out;
    }
  }
  return nullptr;
}

}  // namespace qs
