// HTTP transfers on libcurl: one request and its answer, cancellable at once
// from another thread.
//
// An HttpSession is the shared part of one web connector: the agent name,
// a libcurl share object (name lookups and TLS sessions are cached across
// transfers) and a pool of idle HttpTransfers. A transfer is one libcurl
// easy handle driven by its own multi handle; it keeps its open connections
// when it goes back to the pool, so the next request to the same server
// reuses them. Connections themselves are never shared between threads.
//
// perform() runs one request on the calling thread. It hands the answer's
// status and body to an HttpBodySink, collects the headers the program
// reads (Content-Type, Location) and returns how the transfer ended. A
// transfer stops within milliseconds when its HttpStop is raised and wake()
// is called, or when the stop's deadline passes, even while the connection
// is stalled. TLS certificates are always verified against the system store.
//
// Thread safety: HttpSession::acquire/release and HttpTransfer::wake may be
// called from any thread; one transfer runs on one thread at a time. The
// session must outlive every transfer taken from it.
#ifndef WAYFETCH_PLATFORM_HTTP_TRANSFER_H
#define WAYFETCH_PLATFORM_HTTP_TRANSFER_H

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/thread_annotations.h"

namespace wayfetch::platform {

enum class ProxyMode : int32_t {
  none = 0,       // never a proxy, whatever the environment says
  automatic = 1,  // http_proxy, https_proxy, all_proxy and no_proxy from the environment
  named = 2,      // the given proxy server, with no bypass list
};

struct ProxySettings {
  ProxyMode mode = ProxyMode::automatic;
  std::string server;  // "host:port" or "scheme://host:port" (mode named)
  std::string user;    // sent to the proxy when not empty (any mode)
  std::string password;
};

struct HttpRequest {
  std::string url;  // absolute http or https address
  // A POST of this body as form data when set; otherwise a GET.
  const std::string* form_data = nullptr;
  // libcurl follows 301, 302, 303, 307 and 308 itself (up to 32 times,
  // http and https only); otherwise the answer is the first response.
  bool follow_redirects = false;
  ProxySettings proxy;
  int32_t connect_timeout_ms = 60000;
  // The transfer fails when nothing arrives for this long (whole seconds,
  // rounded up).
  int32_t idle_timeout_ms = 30000;
  // Most header bytes accepted per transfer; more ends it (header_too_large).
  std::size_t max_header_bytes = 256 * 1024;
  // Body bytes of answers the sink refuses that are read and dropped, so the
  // connection can be reused; a longer body ends the transfer (the answer
  // is complete all the same).
  std::size_t max_dropped_body_bytes = 64 * 1024;
};

// Receives the body of an answer.
class HttpBodySink {
 public:
  virtual ~HttpBodySink() = default;
  // Called once the final response's headers are complete. `declared_length`
  // is its Content-Length, -1 when not given. Returning false stops the
  // transfer (sink_refused). Return `keep_body` true to receive the body
  // through write(); otherwise it is read and dropped.
  virtual bool begin(int32_t status, int64_t declared_length, bool& keep_body) = 0;
  // One piece of the body; false stops the transfer (sink_refused).
  virtual bool write(const char* data, std::size_t size) = 0;
};

// Raised by another thread to end a transfer; the deadline (on the clock in
// use, platform/clock.h) ends it as well.
struct HttpStop {
  std::atomic<bool> requested{false};
  std::optional<std::chrono::steady_clock::time_point> deadline;

  // Whether the stop was raised or its deadline has passed.
  bool raised() const {
    return requested.load() || (deadline && current_clock().steady_time() >= *deadline);
  }
};

enum class HttpFailure : int32_t {
  none = 0,
  stopped,             // the HttpStop was raised or its deadline passed
  refused_address,     // libcurl refused the address or its scheme
  host_not_found,      // the server's name could not be resolved
  proxy_not_found,     // the proxy's name could not be resolved
  connect_failed,      // no connection (refused, unreachable, connect time-out)
  tls_failed,          // TLS handshake or certificate verification failed
  timed_out,           // nothing arrived within the idle time-out
  header_too_large,    // more than max_header_bytes of headers, or one line beyond libcurl's
  bad_answer,          // no usable status line (an HTTP/0.9 answer, an unknown version)
  sink_refused,        // the body sink returned false
  too_many_redirects,  // (follow_redirects only)
  transport,           // any other failure while sending or receiving
  out_of_memory,
};

struct HttpAnswer {
  HttpFailure failure = HttpFailure::none;
  // Set when the final response's headers were complete: the failure (if
  // any) happened while its body was read.
  bool headers_complete = false;
  int32_t status = 0;        // the final response's status; 0 when none arrived
  int32_t proxy_status = 0;  // the proxy's answer to a CONNECT, 0 when none
  bool has_content_type = false;
  std::string content_type;  // the header's value, blanks around it removed
  bool has_location = false;
  std::string location;
  std::string final_url;  // the last address requested (after libcurl's redirections)
  std::string message;    // libcurl's explanation of a failure, for logs and tests
};

class HttpSession;

class HttpTransfer {
 public:
  explicit HttpTransfer(HttpSession& session);
  ~HttpTransfer();
  HttpTransfer(const HttpTransfer&) = delete;
  HttpTransfer& operator=(const HttpTransfer&) = delete;

  // False when libcurl could not create its handles.
  bool valid() const;
  // Runs one request to its end. `stop` may be null (nothing but the
  // time-outs ends the transfer).
  HttpAnswer perform(const HttpRequest& request, HttpBodySink& sink, const HttpStop* stop);
  // Makes a perform() running on another thread look at its stop at once.
  void wake();

 private:
  struct Handles;
  HttpSession& session_;
  std::unique_ptr<Handles> handles_;
};

class HttpSession {
 public:
  explicit HttpSession(std::string agent);
  ~HttpSession();
  HttpSession(const HttpSession&) = delete;
  HttpSession& operator=(const HttpSession&) = delete;

  // False when libcurl could not be initialised.
  bool valid() const;
  const std::string& agent() const { return agent_; }

  // An idle transfer from the pool, or a new one; null when none can be made.
  std::unique_ptr<HttpTransfer> acquire();
  // Puts a transfer back into the pool, with its open connections.
  void release(std::unique_ptr<HttpTransfer> transfer);

 private:
  friend class HttpTransfer;
  struct Shared;

  std::string agent_;
  std::unique_ptr<Shared> shared_;
  PlainMutex pool_mutex_;
  std::vector<std::unique_ptr<HttpTransfer>> idle_ WAYFETCH_GUARDED_BY(pool_mutex_);
};

}  // namespace wayfetch::platform

#endif
