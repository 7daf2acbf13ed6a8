// A small HTTP/1.1 server on 127.0.0.1 for services this machine cannot have: a thread for each
// connection, one request each (after "100 Continue" when asked for), "Connection: close". A handler
// may hold its connection silent until the server is dropped, or send raw bytes that break off.
#pragma once

#include "core/platform/unique_fd.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
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
  bool neverAnswer = false;        // hold the connection open, silent, until the server stops
  std::optional<std::string> raw;  // sent as it is instead of a response made of the above

  static FakeResponse json(int status, std::string body) {
    return {status, std::move(body), {{"Content-Type", "application/json"}}};
  }
};

class FakeHTTPServer {
public:
  using Handler = std::function<FakeResponse(const FakeRequest&)>;

  // Listens on 127.0.0.1, at a port the system chose.
  explicit FakeHTTPServer(Handler handler)
      : handler_(std::move(handler)), listener_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_.get(), 64) != 0 ||
        ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
      throw std::runtime_error("can't listen on 127.0.0.1");
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
  }

  ~FakeHTTPServer() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    released_.notify_all();
    ::shutdown(listener_.get(), SHUT_RDWR);  // ends the acceptor's blocking accept
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
      int fd = ::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC);
      std::lock_guard lock(mutex_);
      if (stopping_) {
        if (fd >= 0) ::close(fd);
        return;
      }
      if (fd >= 0) connections_.emplace_back([this, fd] { serve(UniqueFd(fd)); });
    }
  }

  static bool readMore(int fd, std::string& buffer) {
    char chunk[65536];
    ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n > 0) buffer.append(chunk, static_cast<std::size_t>(n));
    return n > 0;
  }

  static void sendAll(int fd, const std::string& text) {
    for (std::size_t sent = 0; sent < text.size();) {
      ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return;
      sent += static_cast<std::size_t>(n);
    }
  }

  static FakeRequest parseHead(const std::string& head) {
    FakeRequest request;
    std::istringstream lines(head);
    std::string target, line;
    lines >> request.method >> target;
    auto question = target.find('?');
    request.path = target.substr(0, question);
    if (question != std::string::npos) request.query = target.substr(question + 1);
    std::getline(lines, line);  // the rest of the request line
    while (std::getline(lines, line)) {
      auto colon = line.find(':');
      if (colon == std::string::npos) continue;
      std::string name = line.substr(0, colon), value = line.substr(colon + 1);
      std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
      value.erase(0, value.find_first_not_of(' '));
      if (!value.empty() && value.back() == '\r') value.pop_back();
      request.headers[name] = value;
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
    request.body = buffer.substr(headEnd + 4);
    if (request.header("expect") == "100-continue") sendAll(fd, "HTTP/1.1 100 Continue\r\n\r\n");
    std::size_t length = request.headers.count("content-length") ? std::stoul(request.header("content-length")) : 0;
    while (request.body.size() < length)
      if (!readMore(fd, request.body)) return;
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
    sendAll(fd, response.raw.value_or(text + "\r\n" + response.body));
  }

  Handler handler_;
  UniqueFd listener_;
  int port_ = 0;
  std::thread acceptor_;
  std::vector<std::thread> connections_;  // guarded by mutex_: the acceptor adds, the destructor joins
  mutable std::mutex mutex_;
  std::condition_variable released_;
  bool stopping_ = false;
  std::vector<FakeRequest> requests_;
};

}  // namespace qs::testing
