#include "tests/support/http_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>

namespace wayfetch::testing {
namespace {

bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool send_all(int socket, std::string_view data) {
  while (!data.empty()) {
    ssize_t sent = ::send(socket, data.data(), data.size(), MSG_NOSIGNAL);
    if (sent <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

// Requests larger than this are not served.
constexpr std::size_t max_request_bytes = 1 << 20;

}  // namespace

std::string TestRequest::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (same_name(key, name)) return value;
  }
  return "";
}

std::string TestRequest::path() const {
  return target.substr(0, target.find('?'));
}

HttpTestServer::HttpTestServer(Handler handler) : handler_(std::move(handler)) {}

HttpTestServer::~HttpTestServer() {
  stop();
}

bool HttpTestServer::start() {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t size = sizeof(address);
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      ::listen(listener_, 64) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    ::close(listener_);
    listener_ = -1;
    return false;
  }
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { accept_loop(); });
  return true;
}

void HttpTestServer::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    stopped_.notify_all();
  }
  // shutdown() wakes the blocked accept() and every blocked recv().
  if (listener_ >= 0) ::shutdown(listener_, SHUT_RDWR);
  if (acceptor_.joinable()) acceptor_.join();
  if (listener_ >= 0) ::close(listener_);
  listener_ = -1;
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int socket : sockets_) ::shutdown(socket, SHUT_RDWR);
    workers.swap(workers_);
  }
  for (std::thread& worker : workers) worker.join();
}

std::string HttpTestServer::url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::vector<TestRequest> HttpTestServer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

int HttpTestServer::hits(std::string_view path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(std::count_if(requests_.begin(), requests_.end(),
                                        [&](const TestRequest& r) { return r.path() == path; }));
}

int HttpTestServer::max_in_flight(std::string_view path_prefix) const {
  std::vector<std::pair<int64_t, int>> changes;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Span& span : spans_) {
      if (!span.path.starts_with(path_prefix)) continue;
      changes.emplace_back(span.begin, 1);
      changes.emplace_back(span.end, -1);
    }
  }
  // Event numbers are unique, so the order is the order things happened.
  std::sort(changes.begin(), changes.end());
  int now = 0;
  int most = 0;
  for (const auto& change : changes) {
    now += change.second;
    most = std::max(most, now);
  }
  return most;
}

void HttpTestServer::accept_loop() {
  for (;;) {
    int socket = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (socket < 0) {
      if (stopping_) return;
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) {
      ::close(socket);
      return;
    }
    ++connections_;
    sockets_.push_back(socket);
    workers_.emplace_back([this, socket] { serve(socket); });
  }
}

bool HttpTestServer::pause(int ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (ms > 0)
    stopped_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_.load(); });
  return !stopping_;
}

void HttpTestServer::serve(int socket) {
  std::string buffer;
  bool keep_alive = true;
  while (keep_alive && !stopping_) {
    std::size_t head_end;
    bool closed = false;
    while ((head_end = buffer.find("\r\n\r\n")) == std::string::npos) {
      char chunk[16384];
      ssize_t got = ::recv(socket, chunk, sizeof(chunk), 0);
      if (got <= 0 || buffer.size() > max_request_bytes) {
        closed = true;
        break;
      }
      buffer.append(chunk, static_cast<std::size_t>(got));
    }
    if (closed) break;

    TestRequest request;
    std::string_view head(buffer.data(), head_end);
    std::size_t line_end = head.find("\r\n");
    std::string_view request_line = head.substr(0, line_end);
    std::size_t first = request_line.find(' ');
    std::size_t second = request_line.find(' ', first + 1);
    if (first == std::string_view::npos || second == std::string_view::npos) break;
    request.method = std::string(request_line.substr(0, first));
    request.target = std::string(request_line.substr(first + 1, second - first - 1));
    std::string_view version = request_line.substr(second + 1);
    while (line_end != std::string_view::npos) {
      std::size_t start = line_end + 2;
      line_end = head.find("\r\n", start);
      std::string_view line = head.substr(
          start, line_end == std::string_view::npos ? std::string_view::npos : line_end - start);
      std::size_t colon = line.find(':');
      if (colon == std::string_view::npos) continue;
      request.headers.emplace_back(std::string(trim(line.substr(0, colon))),
                                   std::string(trim(line.substr(colon + 1))));
    }
    std::size_t length = 0;
    std::string declared = request.header("Content-Length");
    if (!declared.empty()) length = std::stoul(declared);
    buffer.erase(0, head_end + 4);
    while (buffer.size() < length && !closed) {
      char chunk[16384];
      ssize_t got = ::recv(socket, chunk, sizeof(chunk), 0);
      if (got <= 0)
        closed = true;
      else
        buffer.append(chunk, static_cast<std::size_t>(got));
    }
    if (closed) break;
    request.body = buffer.substr(0, length);
    buffer.erase(0, length);
    keep_alive = version == "HTTP/1.1" && !same_name(request.header("Connection"), "close");
    std::size_t span;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(request);
      span = spans_.size();
      spans_.push_back({request.path(), events_++});
    }
    TestResponse response = handler_(request);
    if (!pause(response.delay_ms)) break;
    if (!response.stall) {
      // Ended before its bytes go out: the client cannot have the answer
      // (and ask again) before the end is counted.
      std::lock_guard<std::mutex> lock(mutex_);
      spans_[span].end = events_++;
    }
    if (!answer(socket, response) || !response.send_length) break;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  sockets_.erase(std::find(sockets_.begin(), sockets_.end(), socket));
  ::close(socket);
}

bool HttpTestServer::answer(int socket, const TestResponse& response) {
  if (response.stall) {
    // Holds the connection until the client gives up or the server stops.
    while (!stopping_) {
      pollfd watch{socket, POLLIN, 0};
      if (::poll(&watch, 1, 20) > 0) {
        char byte;
        if (::recv(socket, &byte, 1, MSG_PEEK) <= 0) return false;
      }
    }
    return false;
  }
  if (!response.raw.empty()) {
    send_all(socket, response.raw);
    return false;
  }
  std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " + response.reason + "\r\n";
  if (response.endless_headers) {
    if (!send_all(socket, head)) return false;
    std::string filler(1000, 'x');
    for (int i = 0; !stopping_; ++i) {
      if (!send_all(socket, "X-Filler-" + std::to_string(i) + ": " + filler + "\r\n")) break;
    }
    return false;
  }
  for (const auto& [name, value] : response.headers) head += name + ": " + value + "\r\n";
  int64_t length = response.generated_length >= 0 ? response.generated_length
                                                  : static_cast<int64_t>(response.body.size());
  if (response.send_length) {
    head += "Content-Length: " + std::to_string(length) + "\r\n";
  } else {
    head += "Connection: close\r\n";
  }
  head += "\r\n";
  if (response.generated_length < 0) return send_all(socket, head + response.body);
  if (!send_all(socket, head)) return false;
  std::string piece(response.piece_size, 'x');
  if (response.cut_after >= 0) length = std::min(length, response.cut_after);
  for (int64_t sent = 0; sent < length;) {
    if (sent > 0 && !pause(response.piece_delay_ms)) return false;
    std::size_t size = static_cast<std::size_t>(std::min<int64_t>(length - sent, piece.size()));
    if (!send_all(socket, std::string_view(piece).substr(0, size))) return false;
    sent += static_cast<int64_t>(size);
  }
  return response.cut_after < 0;
}

}  // namespace wayfetch::testing
