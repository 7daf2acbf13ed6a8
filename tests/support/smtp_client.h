// A blocking SMTP client for tests: writes what it is given and reads the catcher's replies.
#pragma once

#include <asio/connect.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/read.hpp>
#include <asio/write.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace qs::testing {

class SMTPTestClient {
public:
  explicit SMTPTestClient(std::uint16_t port) : socket_(io_) {
    socket_.connect({asio::ip::address_v4::loopback(), port});
  }

  void send(const std::string& bytes) { asio::write(socket_, asio::buffer(bytes)); }

  // One reply, multi-line replies whole: up to the line "NNN text" (a space after the code); what
  // came before the server closed the connection, if it did.
  std::string readReply() {
    std::string got, line;
    char c;
    asio::error_code error;
    while (asio::read(socket_, asio::buffer(&c, 1), error) == 1) {
      got += c;
      line += c;
      if (!line.ends_with("\r\n")) continue;
      if (line.size() >= 4 && line[3] == ' ') return got;
      line.clear();
    }
    return got;
  }
  // Everything until the server closes the connection.
  std::string readToEnd() {
    std::string got;
    char buffer[4096];
    asio::error_code error;
    for (;;) {
      std::size_t n = socket_.read_some(asio::buffer(buffer), error);
      if (error) return got;
      got.append(buffer, n);
    }
  }

  // The usual conversation for one message, QUIT included, one command at a time; the reply to
  // the data.
  std::string sendMessage(const std::string& from, const std::string& data) {
    std::vector<std::string> commands{"EHLO test\r\n", "MAIL FROM:<" + from + ">\r\n",
                                      "RCPT TO:<to@example.com>\r\n", "DATA\r\n", data + ".\r\n", "QUIT\r\n"};
    std::vector<std::string> replies{readReply()};  // the greeting
    for (const auto& command : commands) {
      send(command);
      replies.push_back(readReply());
    }
    return replies[5];
  }

private:
  asio::io_context io_;
  asio::ip::tcp::socket socket_;
};

}  // namespace qs::testing
