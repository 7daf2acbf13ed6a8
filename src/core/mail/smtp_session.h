// One SMTP conversation of the mail catcher, as a state machine over received bytes. It has no
// socket: the server feeds it what a client sends and writes back the replies it produces.
//
// The catcher accepts everything: any sender, any recipient, any credentials, commands in any
// order. Lines end with CR LF. After an accepted DATA, the lines up to a line holding only "."
// are one message (kept with the CR LF of its last line); a "." line right after the DATA reply
// ends an empty one. A client that pipelines
// (several commands, or a message and the commands after it, in one write) is answered in one
// pass. Over-long command lines and messages are refused and skipped, and the session stays
// usable. AUTH PLAIN and AUTH LOGIN run their dialogue and succeed whatever is sent.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qs {

class QSSMTPSession {
public:
  // The greeting sent when a client connects.
  static constexpr std::string_view greeting = "220 Quayside ESMTP ready\r\n";
  static constexpr std::size_t maxLineBytes = 64 * 1024;
  static constexpr std::size_t maxMessageBytes = 50 * 1024 * 1024;
  // The answers to a completed message, once it has been kept or could not be.
  static constexpr std::string_view queuedReply = "250 2.0.0 Ok: queued\r\n";
  static constexpr std::string_view notStoredReply = "451 4.3.0 Message not stored; try again later\r\n";
  // The answer to a message refused while it came because the catcher holds too much unfinished mail.
  static constexpr std::string_view tooMuchPendingReply =
      "452 4.3.1 Too much unfinished mail at once; try again later\r\n";

  // A message the client completed: its data with the dot-stuffing undone, and the envelope
  // sender of the last MAIL FROM (or empty).
  struct Message {
    std::string envelopeFrom;
    std::string data;
  };

  // What one call to receive() produced.
  struct Output {
    std::string replies;             // to send, in order
    std::optional<Message> message;  // a message completed after those replies
    bool close = false;              // close the connection once the replies are sent
  };

  // Takes the next bytes from the client and handles the complete lines in them, up to and
  // including the end of a message. When a message came, the caller keeps it, sends its answer
  // (queuedReply or notStoredReply) after the replies, and calls receive() again with no bytes
  // to handle what the client sent after it. After a QUIT nothing more is handled.
  Output receive(std::string_view bytes);

  // How many received bytes wait for the rest of their line or message.
  std::size_t bufferedBytes() const { return buffer_.size(); }
  // Whether the client is between an accepted DATA and the end of its message.
  bool receivingMessage() const { return mode_ == Mode::data || mode_ == Mode::skippingData; }
  // Drops what has come of the message being received, and the rest of it as it comes; its end
  // is answered with `reply`. Nothing happens outside a message.
  void refuseMessage(std::string_view reply);

private:
  enum class Mode { command, data, skippingLine, skippingData };
  enum class AuthStep { none, plain, loginUser, loginPass };

  // Each returns false when it needs more bytes.
  bool takeCommandLine(Output& out);
  bool takeData(Output& out);
  bool skipLine(Output& out);
  bool skipData(Output& out);

  void handleLine(std::string line, Output& out);
  void handleCommand(const std::string& line, Output& out);
  void handleAuth(const std::string& upper, Output& out);
  void completeMessage(std::string_view data, Output& out);

  Mode mode_ = Mode::command;
  AuthStep authStep_ = AuthStep::none;
  std::string buffer_;
  std::size_t start_ = 0;         // bytes of buffer_ already consumed
  std::size_t searchedFrom_ = 0;  // where the search for the data terminator resumes
  bool atDataStart_ = false;      // nothing of the message has come yet
  std::string envelopeFrom_;
  std::string skipReply_;  // the answer to the end of a message being skipped
  bool quit_ = false;
};

// The address of a MAIL FROM line: between the first "<" and the first ">" after it, else the
// text after the first ":" trimmed, else empty.
std::string envelopeAddress(std::string_view line);

// Message data with SMTP dot-stuffing undone: every line (CR LF separated) starting with "."
// loses that first dot.
std::string unstuffDots(std::string_view data);

}  // namespace qs
