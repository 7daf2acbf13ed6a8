#include "core/mail/smtp_session.h"

#include "core/platform/text.h"
#include "core/platform/utf8.h"

#include <algorithm>
#include <cctype>

namespace qs {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kDataEnd = "\r\n.\r\n";
constexpr std::string_view kEmptyData = ".\r\n";

constexpr std::string_view kEHLOReply =
    "250-Quayside\r\n250-PIPELINING\r\n250-8BITMIME\r\n250-SMTPUTF8\r\n250 AUTH PLAIN LOGIN\r\n";
constexpr std::string_view kOk = "250 2.0.0 Ok\r\n";
constexpr std::string_view kAuthenticated = "235 2.7.0 Authentication successful\r\n";
constexpr std::string_view kLineTooLong = "500 5.5.2 Line too long\r\n";
constexpr std::string_view kMessageTooLarge = "552 5.3.4 Message size exceeds fixed limit\r\n";

}  // namespace

QSSMTPSession::Output QSSMTPSession::receive(std::string_view bytes) {
  Output out;
  if (quit_) return out;
  buffer_.append(bytes);
  for (bool progress = true; progress && !quit_ && !out.message;) {
    switch (mode_) {
      case Mode::command: progress = takeCommandLine(out); break;
      case Mode::data: progress = takeData(out); break;
      case Mode::skippingLine: progress = skipLine(out); break;
      case Mode::skippingData: progress = skipData(out); break;
    }
  }
  // Drop what has been handled; the searches resume relative to what is left.
  buffer_.erase(0, start_);
  searchedFrom_ = searchedFrom_ > start_ ? searchedFrom_ - start_ : 0;
  start_ = 0;
  return out;
}

bool QSSMTPSession::takeCommandLine(Output& out) {
  std::size_t end = buffer_.find(kLineEnd, start_);
  if (end == std::string::npos) {
    if (buffer_.size() - start_ <= maxLineBytes) return false;
    out.replies += kLineTooLong;
    mode_ = Mode::skippingLine;
    return true;
  }
  std::string line = buffer_.substr(start_, end - start_);
  start_ = end + kLineEnd.size();
  if (line.size() > maxLineBytes) {
    out.replies += kLineTooLong;
    return true;
  }
  handleLine(std::move(line), out);
  return true;
}

bool QSSMTPSession::skipLine(Output&) {
  std::size_t end = buffer_.find(kLineEnd, start_);
  if (end == std::string::npos) {
    // Keep the last byte: it may be the CR of a CR LF split between two reads.
    if (buffer_.size() > start_ + 1) start_ = buffer_.size() - 1;
    return false;
  }
  start_ = end + kLineEnd.size();
  mode_ = Mode::command;
  return true;
}

bool QSSMTPSession::takeData(Output& out) {
  std::string_view rest = std::string_view(buffer_).substr(start_);
  if (atDataStart_) {
    if (rest.size() < kEmptyData.size() && kEmptyData.starts_with(rest)) return false;
    atDataStart_ = false;
    if (rest.starts_with(kEmptyData)) {
      start_ += kEmptyData.size();
      mode_ = Mode::command;
      completeMessage({}, out);
      return true;
    }
  }
  std::size_t end = buffer_.find(kDataEnd, std::max(start_, searchedFrom_));
  if (end == std::string::npos) {
    searchedFrom_ = buffer_.size() >= kDataEnd.size() ? buffer_.size() - (kDataEnd.size() - 1) : 0;
    if (buffer_.size() - start_ <= maxMessageBytes) return false;
    mode_ = Mode::skippingData;
    skipReply_ = kMessageTooLarge;
    return true;
  }
  // The CR LF before the "." ends the message's last line: it is part of the message.
  std::string_view data = std::string_view(buffer_).substr(start_, end + kLineEnd.size() - start_);
  start_ = end + kDataEnd.size();
  mode_ = Mode::command;
  if (data.size() > maxMessageBytes)
    out.replies += kMessageTooLarge;
  else
    completeMessage(data, out);
  return true;
}

bool QSSMTPSession::skipData(Output& out) {
  std::size_t end = buffer_.find(kDataEnd, start_);
  if (end == std::string::npos) {
    // Keep what could be the start of a terminator split between two reads.
    if (buffer_.size() > start_ + kDataEnd.size() - 1) start_ = buffer_.size() - (kDataEnd.size() - 1);
    return false;
  }
  start_ = end + kDataEnd.size();
  mode_ = Mode::command;
  out.replies += skipReply_;
  return true;
}

void QSSMTPSession::refuseMessage(std::string_view reply) {
  if (mode_ != Mode::data) return;
  mode_ = Mode::skippingData;
  skipReply_ = reply;
  atDataStart_ = false;
  // Keep what could be the start of a terminator split between two reads.
  if (buffer_.size() > kDataEnd.size() - 1) buffer_.erase(0, buffer_.size() - (kDataEnd.size() - 1));
  searchedFrom_ = 0;
}

void QSSMTPSession::handleLine(std::string line, Output& out) {
  // The AUTH dialogue comes first: its lines are credentials, never commands. They are not
  // decoded, kept or checked.
  switch (authStep_) {
    case AuthStep::plain:
    case AuthStep::loginPass:
      authStep_ = AuthStep::none;
      out.replies += kAuthenticated;
      return;
    case AuthStep::loginUser:
      authStep_ = AuthStep::loginPass;
      out.replies += "334 UGFzc3dvcmQ6\r\n";
      return;
    case AuthStep::none:
      break;
  }
  handleCommand(replacingInvalidUTF8(line), out);
}

void QSSMTPSession::handleCommand(const std::string& line, Output& out) {
  std::string upper = asciiUppercased(line);
  auto is = [&](std::string_view prefix) { return upper.starts_with(prefix); };
  if (is("EHLO")) {
    out.replies += kEHLOReply;
  } else if (is("HELO")) {
    out.replies += "250 Quayside\r\n";
  } else if (is("MAIL FROM")) {
    envelopeFrom_ = envelopeAddress(line);
    out.replies += "250 2.1.0 Ok\r\n";
  } else if (is("RCPT TO")) {
    out.replies += "250 2.1.5 Ok\r\n";
  } else if (is("DATA")) {
    mode_ = Mode::data;
    atDataStart_ = true;
    searchedFrom_ = start_;
    out.replies += "354 End data with <CR><LF>.<CR><LF>\r\n";
  } else if (is("AUTH")) {
    handleAuth(upper, out);
  } else if (is("RSET")) {
    envelopeFrom_.clear();
    mode_ = Mode::command;
    out.replies += kOk;
  } else if (is("QUIT")) {
    out.replies += "221 2.0.0 Bye\r\n";
    out.close = true;
    quit_ = true;
  } else if (is("STARTTLS")) {
    out.replies += "502 5.5.1 STARTTLS not supported\r\n";
  } else {
    out.replies += kOk;  // NOOP and everything unknown
  }
}

void QSSMTPSession::handleAuth(const std::string& upper, Output& out) {
  if (upper.starts_with("AUTH LOGIN")) {
    authStep_ = AuthStep::loginUser;
    out.replies += "334 VXNlcm5hbWU6\r\n";
  } else if (upper.starts_with("AUTH PLAIN") && trimmed(std::string_view(upper).substr(10), kBlanks).empty()) {
    authStep_ = AuthStep::plain;
    out.replies += "334 \r\n";
  } else {
    out.replies += kAuthenticated;  // inline PLAIN credentials or any other mechanism
  }
}

void QSSMTPSession::completeMessage(std::string_view data, Output& out) {
  out.message = Message{envelopeFrom_, unstuffDots(data)};
}

std::string envelopeAddress(std::string_view line) {
  auto open = line.find('<');
  if (open != std::string_view::npos) {
    auto close = line.find('>', open + 1);
    if (close != std::string_view::npos) return std::string(line.substr(open + 1, close - open - 1));
  }
  auto colon = line.find(':');
  if (colon != std::string_view::npos) return std::string(trimmed(line.substr(colon + 1), kBlanks));
  return {};
}

std::string unstuffDots(std::string_view data) {
  std::string out;
  out.reserve(data.size());
  std::size_t start = 0;
  for (;;) {
    std::size_t end = data.find(kLineEnd, start);
    std::string_view line = data.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (line.starts_with('.')) line.remove_prefix(1);
    out.append(line);
    if (end == std::string_view::npos) break;
    out.append(kLineEnd);
    start = end + kLineEnd.size();
  }
  return out;
}

}  // namespace qs
