// A small HTTP/1.1 server on 127.0.0.1 for tests that talk to services this machine cannot
// have. One thread accepts; each connection gets a thread, reads one request (answering
// "Expect: 100-continue"), asks the handler and answers with "Connection: close". A handler
// may hold a connection unanswered until the server is dropped, to stand for a service that
// never answers.
#pragma once

#include "core/platform/unique_fd.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace qs::testing {

struct FakeRequest {
  std::string method, path, query;             // "/api/v1/sites", "cursor=3"
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
  std::string header(const std::string& name) const {
    auto it = headers.find(name);
    return it == headers.end() ? "" : it->second;
  }
};

struct FakeResponse {
  int status = 200;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
  bool neverAnswer = false;  // hold the connection open, silent, until the server stops

  static FakeResponse json(int status, std::string body) {
    return {status, std::move(body), {{"Content-Type", "application/json"}}};
  }
};

class FakeHTTPServer {
public:
  using Handler = std::function<FakeResponse(const FakeRequest&)>;

  explicit FakeHTTPServer(Handler handler) : handler_(std::move(handler)) {
    listener_ = UniqueFd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_.get(), 64) != 0 ||
        ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
      throw std::runtime_error("the fake HTTP server could not listen");
    port_ = ntohs(address.sin_port);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe2");
    wakeRead_ = UniqueFd(fds[0]);
    wakeWrite_ = UniqueFd(fds[1]);
    acceptor_ = std::thread([this] { acceptLoop(); });
  }

  ~FakeHTTPServer() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    released_.notify_all();
    char byte = 0;
    (void)::write(wakeWrite_.get(), &byte, 1);
    acceptor_.join();
    for (auto& connection : connections_) connection.join();
  }

  int port() const { return port_; }
  std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

  // Every request received so far, in order.
  std::vector<FakeRequest> requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }

private:
  void acceptLoop() {
    for (;;) {
      pollfd entries[2] = {{listener_.get(), POLLIN, 0}, {wakeRead_.get(), POLLIN, 0}};
      if (::poll(entries, 2, -1) < 0) continue;
      if (entries[1].revents) return;
      int fd = ::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      connections_.emplace_back([this, fd] { serve(UniqueFd(fd)); });
    }
  }

  static bool readMore(int fd, std::string& buffer) {
    char chunk[65536];
    ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    buffer.append(chunk, static_cast<std::size_t>(n));
    return true;
  }

  static void sendAll(int fd, const std::string& text) {
    std::size_t sent = 0;
    while (sent < text.size()) {
      ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return;
      sent += static_cast<std::size_t>(n);
    }
  }

  static FakeRequest parseHead(const std::string& head) {
    FakeRequest request;
    std::size_t lineEnd = head.find("\r\n");
    std::string first = head.substr(0, lineEnd);
    auto space1 = first.find(' '), space2 = first.rfind(' ');
    request.method = first.substr(0, space1);
    std::string target = first.substr(space1 + 1, space2 - space1 - 1);
    auto question = target.find('?');
    request.path = target.substr(0, question);
    if (question != std::string::npos) request.query = target.substr(question + 1);
    for (std::size_t at = lineEnd + 2; at < head.size();) {
      std::size_t end = head.find("\r\n", at);
      if (end == std::string::npos) end = head.size();
      std::string line = head.substr(at, end - at);
      auto colon = line.find(':');
      if (colon != std::string::npos) {
        std::string name = line.substr(0, colon), value = line.substr(colon + 1);
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        value.erase(0, value.find_first_not_of(' '));
        request.headers[name] = value;
      }
      at = end + 2;
    }
    return request;
  }

  void serve(UniqueFd connection) {
    int fd = connection.get();
    std::string buffer;
    std::size_t headEnd;
    while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos)
      if (!readMore(fd, buffer)) return;
    FakeRequest request = parseHead(buffer.substr(0, headEnd));
    std::string body = buffer.substr(headEnd + 4);
    if (request.header("expect") == "100-continue") sendAll(fd, "HTTP/1.1 100 Continue\r\n\r\n");
    std::size_t length = request.headers.count("content-length") ? std::stoul(request.header("content-length")) : 0;
    while (body.size() < length)
      if (!readMore(fd, body)) return;
    request.body = std::move(body);
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    FakeResponse response = handler_(request);
    if (response.neverAnswer) {
      std::unique_lock lock(mutex_);
      released_.wait(lock, [this] { return stopping_; });
      return;
    }
    std::string text = "HTTP/1.1 " + std::to_string(response.status) + " Fake\r\nContent-Length: " +
                       std::to_string(response.body.size()) + "\r\nConnection: close\r\n";
    for (const auto& [name, value] : response.headers) text += name + ": " + value + "\r\n";
    sendAll(fd, text + "\r\n" + response.body);
  }

  Handler handler_;
  UniqueFd listener_, wakeRead_, wakeWrite_;
  int port_ = 0;
  std::thread acceptor_;
  std::vector<std::thread> connections_;  // touched by the acceptor thread, then by the destructor
  mutable std::mutex mutex_;
  std::condition_variable released_;
  bool stopping_ = false;
  std::vector<FakeRequest> requests_;
};

}  // namespace qs::testing
