// WebConnector: the program's only door to the web, the real WebSource
// (web/web_source.h).
//
// A connector fetches one address per call into the caller's target file
// and is shared by every thread of an update run (downloads, template
// refreshes, the version check) or owned by one checking operation. A GET
// follows redirections itself: 301, 302 and 303 answers by their Location
// header, and HTML pages by a meta refresh of less than 10 seconds, up to 32
// times (then it ends with success and the file as it stands). "file:"
// addresses are read from the local disk (regular files only: a folder,
// FIFO or device gives 106 at once, as reading it could block); a web page
// can never redirect to one. A POST sends form data and lets the transfer layer follow redirections.
//
// Results are status codes (0 = success), whose messages are the error
// table's entries of the same numbers:
//   101 the address does not resolve       102 it cannot be requested (scheme,
//       ("Invalid URL syntax.")                local file missing...)
//   103 proxy asks for credentials (407)   104 the body could not be stored
//   105 answer without a needed header     106 any other failure
//   107 404                                108 401
//   109 430, or the server's name does     110 the connector was aborted
//       not resolve                        111 time-out or abort while reading
// The connector writes nothing to the error log; callers report a failed
// request in their words (report_failed_request below for the common one).
//
// Bodies above max_body_bytes are refused (104) instead of filling the disk;
// answers whose headers pass 256 KB, or with one header line beyond the
// transfer library's 100 KB, give 105; an answer without a usable status
// line (HTTP/0.9, an unknown version or code) gives 106. Certificates of https servers
// are always verified against the system's store.
//
// Thread safety: every operation may be called from any thread at any time,
// also concurrently; abort_all ends the GETs of other threads within
// milliseconds. The connector must not be destroyed while another thread
// still calls it; the destructor aborts and waits for calls in progress.
#ifndef WAYFETCH_WEB_WEB_CONNECTOR_H
#define WAYFETCH_WEB_WEB_CONNECTOR_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "core/error_state.h"
#include "core/file.h"
#include "core/string.h"
#include "platform/http_transfer.h"
#include "platform/thread_annotations.h"
#include "web/request_list.h"
#include "web/url.h"
#include "web/web_source.h"

namespace wayfetch {

class WebConnector : public WebSource {
 public:
  static constexpr const char* agent_name = "Lorvane Wayfetch";
  static constexpr int64_t max_body_bytes = int64_t{64} << 20;
  static constexpr int32_t max_redirections = 32;
  // A meta refresh with a shorter delay (seconds) is followed.
  static constexpr int32_t max_refresh_delay = 10;

  // Status codes: the internet entries of the error table (core/error_codes.h).
  static constexpr int32_t ok = 0;
  static constexpr int32_t invalid_url = errors::internet_invalid_url;
  static constexpr int32_t request_refused = errors::internet_request_refused;
  static constexpr int32_t proxy_credentials = errors::internet_proxy_credentials;
  static constexpr int32_t storage_failed = errors::internet_storage_failed;
  static constexpr int32_t invalid_header = errors::internet_invalid_header;
  static constexpr int32_t unknown_error = errors::internet_unknown;
  static constexpr int32_t file_not_found = errors::internet_file_not_found;
  static constexpr int32_t server_credentials = errors::internet_server_credentials;
  static constexpr int32_t server_not_found = errors::internet_server_not_found;
  static constexpr int32_t disabled = errors::internet_disabled;
  static constexpr int32_t timed_out = errors::internet_timed_out;

  enum class ProxyMode : int32_t { none = 0, automatic = 1, named = 2 };

  // Enabled, with the system's proxy settings and no request time-out.
  WebConnector();
  ~WebConnector() override;
  WebConnector(const WebConnector&) = delete;
  WebConnector& operator=(const WebConnector&) = delete;

  // False when the transfer layer could not be set up; every request then
  // fails with 106.
  bool is_open() const { return session_.valid(); }

  // Milliseconds to connect, to wait for the next bytes when sending or
  // receiving (counted in whole seconds, rounded up), and for a whole GET
  // including its redirections (-1: no limit). Values of 0 or below leave
  // the first two at their defaults (60 s and 30 s).
  void set_timeouts(int32_t connect_ms, int32_t send_receive_ms, int32_t request_ms);
  // none: never a proxy; automatic: the system's settings (on Linux the
  // http_proxy, https_proxy and no_proxy environment variables); named: the
  // proxy `server` ("host:port"). The user name and password are offered to
  // the proxy in every mode when not empty. Requests that start later use
  // the new settings.
  void set_proxy(ProxyMode mode, const String& server, const String& user_name,
                 const String& password);
  // The same with the mode as the settings store it: 0 none, 1 the system's
  // settings, 2 the named server; any other number means the system's.
  void set_proxy(int32_t mode, const String& server, const String& user_name,
                 const String& password);

  // ---- WebSource ----
  // A GET by the rules above; request.timeout_ms > 0 replaces the request
  // time-out for this call.
  WebResult get(const WebRequest& request) override;
  // Posts the form data and reads the answer like a GET of a download. Not
  // registered among the open requests: neither the request time-out nor
  // abort_all ends it, only the connect and send/receive time-outs.
  WebResult post(const WebRequest& request) override;
  // Disables the connector for good: every later GET returns 110 at once,
  // and the GETs in progress end now (111 while reading a body, else the
  // code of the step that was interrupted).
  void abort_all() override;
  bool enabled() const { return enabled_.load(std::memory_order_acquire); }
  // GETs in progress.
  int32_t open_requests() { return requests_.size(); }

 private:
  struct Exchange;
  struct Reply;

  int32_t run(Exchange& exchange, String base, String address);
  // Updates `absolute` when the transfer layer followed redirections.
  int32_t fetch_http(Exchange& exchange, String& absolute, Reply& reply);
  int32_t fetch_local(const UrlParts& parts, Exchange& exchange, Reply& reply);
  platform::HttpRequest request_for(const String& absolute) const;
  void call_started();
  void call_ended();

  platform::HttpSession session_;
  std::atomic<bool> enabled_{true};
  std::atomic<int32_t> connect_timeout_ms_{60000};
  std::atomic<int32_t> io_timeout_ms_{30000};
  std::atomic<int32_t> request_timeout_ms_{-1};
  mutable platform::PlainMutex proxy_mutex_;
  platform::ProxySettings proxy_ WAYFETCH_GUARDED_BY(proxy_mutex_);
  RequestList requests_;
  // Calls in progress, for the destructor.
  platform::PlainMutex calls_mutex_;
  std::condition_variable_any calls_done_;
  int32_t calls_ WAYFETCH_GUARDED_BY(calls_mutex_) = 0;
};

// Logs "Warning(extraction): Failed HTTP request." with the status's message
// and `address` (registered as a transient context slot) on `reporter`.
void report_failed_request(ErrorState& reporter, const String& address, int32_t status);

}  // namespace wayfetch

#endif
