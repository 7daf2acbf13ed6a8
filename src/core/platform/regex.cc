#include "core/platform/regex.h"

#include <re2/re2.h>

#include <stdexcept>

namespace qs {
namespace {

std::optional<std::vector<std::string>> match(const re2::RE2& re, std::string_view text, re2::RE2::Anchor anchor) {
  int groups = re.NumberOfCapturingGroups();
  std::vector<re2::StringPiece> pieces(static_cast<std::size_t>(groups) + 1);
  if (!re.Match(re2::StringPiece(text.data(), text.size()), 0, text.size(), anchor, pieces.data(),
                static_cast<int>(pieces.size())))
    return std::nullopt;
  std::vector<std::string> out;
  for (std::size_t i = 1; i < pieces.size(); ++i) out.emplace_back(pieces[i].data() ? std::string(pieces[i]) : "");
  return out;
}

}  // namespace

QSRegex::QSRegex(std::string_view pattern) : QSRegex(pattern, Options{}) {}

QSRegex::QSRegex(std::string_view pattern, Options options) {
  re2::RE2::Options o;
  o.set_case_sensitive(!options.caseInsensitive);
  o.set_log_errors(false);
  std::string full(pattern);
  if (options.multiLine) full = "(?m)" + full;
  re_ = std::make_unique<re2::RE2>(full, o);
  if (!re_->ok()) throw std::invalid_argument("bad regular expression " + full + ": " + re_->error());
}

QSRegex::~QSRegex() = default;
QSRegex::QSRegex(QSRegex&&) noexcept = default;

bool QSRegex::fullMatch(std::string_view text) const {
  return re2::RE2::FullMatch(re2::StringPiece(text.data(), text.size()), *re_);
}

bool QSRegex::contains(std::string_view text) const {
  return re2::RE2::PartialMatch(re2::StringPiece(text.data(), text.size()), *re_);
}

std::optional<std::vector<std::string>> QSRegex::firstMatch(std::string_view text) const {
  return match(*re_, text, re2::RE2::UNANCHORED);
}

std::optional<std::vector<std::string>> QSRegex::fullMatchGroups(std::string_view text) const {
  return match(*re_, text, re2::RE2::ANCHOR_BOTH);
}

std::optional<std::pair<std::size_t, std::size_t>> QSRegex::firstMatchRange(std::string_view text) const {
  re2::StringPiece whole;
  if (!re_->Match(re2::StringPiece(text.data(), text.size()), 0, text.size(), re2::RE2::UNANCHORED, &whole, 1))
    return std::nullopt;
  return std::make_pair(static_cast<std::size_t>(whole.data() - text.data()), whole.size());
}

}  // namespace qs
