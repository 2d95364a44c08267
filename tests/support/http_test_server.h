// A small HTTP/1.1 server on a free port of 127.0.0.1 for tests and
// benchmarks: one thread accepts, one thread serves each connection
// (keep-alive), and a handler function chooses each answer.
//
// Answers can be delayed, sent slowly, stall, stream a generated body of any
// length or send headers that never end, so that time-outs, aborts and
// limits can be exercised. Every wait ends when the server stops; stop()
// (also run by the destructor) closes all connections and joins every
// thread. Requests are recorded for inspection. Thread-safe.
#ifndef WAYFETCH_TESTS_SUPPORT_HTTP_TEST_SERVER_H
#define WAYFETCH_TESTS_SUPPORT_HTTP_TEST_SERVER_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace wayfetch::testing {

struct TestRequest {
  std::string method;
  std::string target;  // as sent: "/path?q" or, to a proxy, "http://host/path"
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  // The first header of that name (any case), "" when absent.
  std::string header(std::string_view name) const;
  // The target without the query.
  std::string path() const;
};

struct TestResponse {
  int status = 200;
  std::string reason = "OK";
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  int delay_ms = 0;  // before anything is sent
  // A generated body of this many bytes instead of `body` (-1: none), sent
  // in pieces of `piece_size` with `piece_delay_ms` between them.
  int64_t generated_length = -1;
  std::size_t piece_size = 64 * 1024;
  int piece_delay_ms = 0;
  int64_t cut_after = -1;        // close the connection after this many body bytes
  bool send_length = true;       // false: the body ends when the connection closes
  bool endless_headers = false;  // header lines until the client gives up
  bool stall = false;            // read the request and never answer
  std::string raw;  // when set: sent as it stands instead of all the above, then closed

  static TestResponse html(std::string body) {
    TestResponse r;
    r.headers.emplace_back("Content-Type", "text/html");
    r.body = std::move(body);
    return r;
  }
  static TestResponse typed(std::string type, std::string body) {
    TestResponse r;
    r.headers.emplace_back("Content-Type", std::move(type));
    r.body = std::move(body);
    return r;
  }
  static TestResponse status_only(int status, std::string reason) {
    TestResponse r;
    r.status = status;
    r.reason = std::move(reason);
    r.headers.emplace_back("Content-Type", "text/html");
    r.body = "<html><body>" + r.reason + "</body></html>";
    return r;
  }
  static TestResponse redirect(int status, std::string location) {
    TestResponse r;
    r.status = status;
    r.reason = "Moved";
    r.headers.emplace_back("Location", std::move(location));
    r.headers.emplace_back("Content-Type", "text/html");
    r.body = "<html><body>moved</body></html>";
    return r;
  }
};

class HttpTestServer {
 public:
  using Handler = std::function<TestResponse(const TestRequest&)>;

  explicit HttpTestServer(Handler handler);
  ~HttpTestServer();
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  // Listens on a free port of 127.0.0.1; false when that failed.
  bool start();
  void stop();
  uint16_t port() const { return port_; }
  // "http://127.0.0.1:port" followed by `path`.
  std::string url(std::string_view path) const;

  // Requests received so far, in order of arrival.
  std::vector<TestRequest> requests() const;
  int hits(std::string_view path) const;
  // Connections accepted so far.
  int connections() const { return connections_.load(); }
  // The most requests whose path starts with `path_prefix` ("": any) that
  // were in flight at once, from the arrival of the request to the moment
  // its answer starts to go out (after its delay; a stalled one to the end).
  int max_in_flight(std::string_view path_prefix = "") const;

 private:
  void accept_loop();
  void serve(int socket);
  bool answer(int socket, const TestResponse& response);
  // Waits for `ms` or until the server stops; false when it stopped.
  bool pause(int ms);

  Handler handler_;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  std::thread acceptor_;
  mutable std::mutex mutex_;
  std::condition_variable stopped_;
  std::vector<std::thread> workers_;
  std::vector<int> sockets_;
  std::vector<TestRequest> requests_;
  // Per request: its path and the numbers of its arrival and of the end of
  // its answer in one sequence of such events (an answer never ended
  // counts as in flight to the end).
  struct Span {
    std::string path;
    int64_t begin = 0;
    int64_t end = INT64_MAX;
  };
  std::vector<Span> spans_;
  int64_t events_ = 0;
};

}  // namespace wayfetch::testing

#endif
