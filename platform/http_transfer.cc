#include "platform/http_transfer.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "platform/clock.h"

namespace wayfetch::platform {
namespace {

// libcurl's global set-up is done once, before the first handle is made.
bool global_init() {
  static std::once_flag once;
  static bool ok = false;
  std::call_once(once, [] { ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
  return ok;
}

// The idle pool keeps at most this many transfers (and their connections).
constexpr std::size_t max_idle_transfers = 32;
// The longest single wait for socket activity before the stop and the
// deadline are looked at again; wake() and the deadline cut it short.
constexpr int max_poll_ms = 1000;

// Header names compare without case, as libcurl compares them.
bool is_header(std::string_view name, const char* wanted) {
  return curl_strequal(std::string(name).c_str(), wanted) != 0;
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                           text.back() == '\n')) {
    text.remove_suffix(1);
  }
  return text;
}

// "HTTP/1.1 302 Found" -> 302; 0 when there are no three digits after the
// first blank.
int32_t status_of_line(std::string_view line) {
  std::size_t blank = line.find(' ');
  if (blank == std::string_view::npos || line.size() < blank + 4) return 0;
  int32_t status = 0;
  for (std::size_t i = blank + 1; i < blank + 4; ++i) {
    if (line[i] < '0' || line[i] > '9') return 0;
    status = status * 10 + (line[i] - '0');
  }
  return status;
}

// What the callbacks of one perform() share.
struct TransferState {
  const HttpRequest* request = nullptr;
  HttpBodySink* sink = nullptr;
  HttpAnswer* answer = nullptr;
  CURL* easy = nullptr;
  int32_t response_status = 0;  // of the response whose headers are being read
  std::size_t header_bytes = 0;
  bool header_overflow = false;
  bool keep_body = false;
  bool sink_refused = false;
  std::size_t dropped = 0;
  bool drop_overflow = false;
};

std::size_t on_header(char* buffer, std::size_t size, std::size_t count, void* user) {
  auto& state = *static_cast<TransferState*>(user);
  std::size_t length = size * count;
  state.header_bytes += length;
  if (state.header_bytes > state.request->max_header_bytes) {
    state.header_overflow = true;
    return 0;
  }
  std::string_view line(buffer, length);
  HttpAnswer& answer = *state.answer;
  if (line.starts_with("HTTP/")) {
    // A new response (an interim 1xx one, or the next hop of a redirection)
    // replaces everything read before.
    state.response_status = status_of_line(line);
    answer.headers_complete = false;
    answer.status = 0;
    answer.has_content_type = false;
    answer.content_type.clear();
    answer.has_location = false;
    answer.location.clear();
    return length;
  }
  if (answer.headers_complete) return length;  // trailers of a chunked body
  std::string_view content = trim(line);
  if (content.empty()) {
    if (state.response_status >= 100 && state.response_status < 200) return length;
    answer.headers_complete = true;
    answer.status = state.response_status;
    curl_off_t declared = -1;
    if (curl_easy_getinfo(state.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &declared) != CURLE_OK) {
      declared = -1;
    }
    state.keep_body = false;
    state.dropped = 0;
    if (!state.sink->begin(answer.status, declared, state.keep_body)) {
      state.sink_refused = true;
      return 0;
    }
    return length;
  }
  std::size_t colon = content.find(':');
  if (colon == std::string_view::npos) return length;
  std::string_view name = trim(content.substr(0, colon));
  std::string_view value = trim(content.substr(colon + 1));
  // The first occurrence of a header counts, as when a single value is asked for.
  if (!answer.has_content_type && is_header(name, "Content-Type")) {
    answer.has_content_type = true;
    answer.content_type = std::string(value);
  } else if (!answer.has_location && is_header(name, "Location")) {
    answer.has_location = true;
    answer.location = std::string(value);
  }
  return length;
}

std::size_t on_body(char* buffer, std::size_t size, std::size_t count, void* user) {
  auto& state = *static_cast<TransferState*>(user);
  std::size_t length = size * count;
  if (state.keep_body) {
    if (!state.sink->write(buffer, length)) {
      state.sink_refused = true;
      return 0;
    }
    return length;
  }
  state.dropped += length;
  if (state.dropped > state.request->max_dropped_body_bytes) {
    state.drop_overflow = true;
    return 0;
  }
  return length;
}

HttpFailure failure_of(CURLcode code, const TransferState& state) {
  // Once the request is out, the server is to blame for what libcurl cannot
  // read: an answer without a usable status line (HTTP/0.9, a version or
  // code libcurl does not know) is no refused address, and a header line
  // too long for libcurl's own per-line limit (100 KB; it reports that as
  // running out of memory) is as much an over-long header as ours is.
  long sent = 0;
  const bool request_sent =
      curl_easy_getinfo(state.easy, CURLINFO_REQUEST_SIZE, &sent) == CURLE_OK && sent > 0;
  if (request_sent && !state.answer->headers_complete) {
    if (code == CURLE_UNSUPPORTED_PROTOCOL || code == CURLE_WEIRD_SERVER_REPLY) {
      return HttpFailure::bad_answer;
    }
    if (code == CURLE_OUT_OF_MEMORY) return HttpFailure::header_too_large;
#if LIBCURL_VERSION_NUM >= 0x080600
    if (code == CURLE_TOO_LARGE) return HttpFailure::header_too_large;
#endif
  }
  switch (code) {
    case CURLE_OK:
      return HttpFailure::none;
    case CURLE_WRITE_ERROR:
      if (state.header_overflow) return HttpFailure::header_too_large;
      if (state.sink_refused) return HttpFailure::sink_refused;
      // The rest of an unwanted body was not worth reading: the answer is complete.
      if (state.drop_overflow) return HttpFailure::none;
      return HttpFailure::transport;
    case CURLE_COULDNT_RESOLVE_HOST:
      return HttpFailure::host_not_found;
    case CURLE_COULDNT_RESOLVE_PROXY:
      return HttpFailure::proxy_not_found;
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
      return HttpFailure::refused_address;
    case CURLE_COULDNT_CONNECT:
      return HttpFailure::connect_failed;
    case CURLE_OPERATION_TIMEDOUT:
      return HttpFailure::timed_out;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
      return HttpFailure::tls_failed;
    case CURLE_TOO_MANY_REDIRECTS:
      return HttpFailure::too_many_redirects;
    case CURLE_OUT_OF_MEMORY:
      return HttpFailure::out_of_memory;
    default:
      return HttpFailure::transport;
  }
}

// Frees a header list when the transfer ends.
struct HeaderList {
  curl_slist* list = nullptr;
  ~HeaderList() { curl_slist_free_all(list); }
  bool add(const char* line) {
    curl_slist* grown = curl_slist_append(list, line);
    if (grown == nullptr) return false;
    list = grown;
    return true;
  }
};

}  // namespace

// ---- session ----

struct HttpSession::Shared {
  CURLSH* share = nullptr;
  std::array<std::mutex, CURL_LOCK_DATA_LAST> locks;

  static void lock(CURL*, curl_lock_data data, curl_lock_access, void* user) {
    static_cast<Shared*>(user)->locks[static_cast<std::size_t>(data)].lock();
  }
  static void unlock(CURL*, curl_lock_data data, void* user) {
    static_cast<Shared*>(user)->locks[static_cast<std::size_t>(data)].unlock();
  }
};

HttpSession::HttpSession(std::string agent) : agent_(std::move(agent)) {
  if (!global_init()) return;
  auto shared = std::make_unique<Shared>();
  shared->share = curl_share_init();
  if (shared->share == nullptr) return;
  // Name lookups and TLS sessions are shared between transfers; connections
  // are not (libcurl does not support sharing them between threads).
  curl_share_setopt(shared->share, CURLSHOPT_LOCKFUNC, &Shared::lock);
  curl_share_setopt(shared->share, CURLSHOPT_UNLOCKFUNC, &Shared::unlock);
  curl_share_setopt(shared->share, CURLSHOPT_USERDATA, shared.get());
  curl_share_setopt(shared->share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
  curl_share_setopt(shared->share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
  shared_ = std::move(shared);
}

HttpSession::~HttpSession() {
  // Every transfer must be gone before the share object is.
  idle_.clear();
  if (shared_ && shared_->share != nullptr) curl_share_cleanup(shared_->share);
}

bool HttpSession::valid() const {
  return shared_ != nullptr;
}

std::unique_ptr<HttpTransfer> HttpSession::acquire() {
  if (!valid()) return nullptr;
  {
    PlainLock lock(pool_mutex_);
    if (!idle_.empty()) {
      std::unique_ptr<HttpTransfer> transfer = std::move(idle_.back());
      idle_.pop_back();
      return transfer;
    }
  }
  auto transfer = std::make_unique<HttpTransfer>(*this);
  if (!transfer->valid()) return nullptr;
  return transfer;
}

void HttpSession::release(std::unique_ptr<HttpTransfer> transfer) {
  if (!transfer) return;
  PlainLock lock(pool_mutex_);
  if (idle_.size() < max_idle_transfers) idle_.push_back(std::move(transfer));
}

// ---- transfer ----

struct HttpTransfer::Handles {
  CURL* easy = nullptr;
  CURLM* multi = nullptr;
  std::array<char, CURL_ERROR_SIZE> error{};

  ~Handles() {
    if (multi != nullptr) curl_multi_cleanup(multi);
    if (easy != nullptr) curl_easy_cleanup(easy);
  }
};

HttpTransfer::HttpTransfer(HttpSession& session) : session_(session) {
  auto handles = std::make_unique<Handles>();
  handles->easy = curl_easy_init();
  handles->multi = curl_multi_init();
  if (handles->easy != nullptr && handles->multi != nullptr) handles_ = std::move(handles);
}

HttpTransfer::~HttpTransfer() = default;

bool HttpTransfer::valid() const {
  return handles_ != nullptr;
}

void HttpTransfer::wake() {
  if (handles_) curl_multi_wakeup(handles_->multi);
}

HttpAnswer HttpTransfer::perform(const HttpRequest& request, HttpBodySink& sink,
                                 const HttpStop* stop) {
  HttpAnswer answer;
  if (!handles_ || !session_.valid()) {
    answer.failure = HttpFailure::out_of_memory;
    return answer;
  }
  CURL* easy = handles_->easy;
  CURLM* multi = handles_->multi;
  // A reset keeps the handle's connections and caches, and forgets every
  // option of the previous request.
  curl_easy_reset(easy);
  handles_->error[0] = '\0';

  TransferState state;
  state.request = &request;
  state.sink = &sink;
  state.answer = &answer;
  state.easy = easy;

  HeaderList headers;
  bool ok = headers.add("Accept:");  // no accepted types are announced
  if (request.form_data != nullptr) {
    ok = ok && headers.add("Content-type: application/x-www-form-urlencoded") &&
         headers.add("Expect:");  // send the body at once, without a 100-continue round
  }
  if (!ok) {
    answer.failure = HttpFailure::out_of_memory;
    return answer;
  }

  curl_easy_setopt(easy, CURLOPT_SHARE, session_.shared_->share);
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, handles_->error.data());
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_USERAGENT, session_.agent().c_str());
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.list);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &on_header);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &state);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &on_body);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &state);
  if (request.follow_redirects) {
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 32L);
  }
  if (request.form_data != nullptr) {
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                     static_cast<curl_off_t>(request.form_data->size()));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.form_data->data());
  }
  if (request.connect_timeout_ms > 0) {
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(request.connect_timeout_ms));
  }
  if (request.idle_timeout_ms > 0) {
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME,
                     static_cast<long>((request.idle_timeout_ms + 999) / 1000));
  }
  switch (request.proxy.mode) {
    case ProxyMode::none:
      // An empty proxy also overrides the environment's settings.
      curl_easy_setopt(easy, CURLOPT_PROXY, "");
      break;
    case ProxyMode::automatic:
      break;  // libcurl reads http_proxy, https_proxy, all_proxy and no_proxy itself
    case ProxyMode::named:
      curl_easy_setopt(easy, CURLOPT_PROXY, request.proxy.server.c_str());
      curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
      break;
  }
  if (!request.proxy.user.empty()) {
    curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, request.proxy.user.c_str());
    curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, request.proxy.password.c_str());
  }

  if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
    answer.failure = HttpFailure::out_of_memory;
    return answer;
  }
  bool stopped = false;
  bool broken = false;
  for (;;) {
    // What has arrived is taken in before the stop is looked at: an answer
    // that is complete counts, however late the stop came.
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) {
      broken = true;
      break;
    }
    if (running == 0) break;
    if (stop != nullptr && stop->requested.load(std::memory_order_acquire)) {
      stopped = true;
      break;
    }
    int wait_ms = max_poll_ms;
    if (stop != nullptr && stop->deadline) {
      auto left = std::chrono::ceil<std::chrono::milliseconds>(*stop->deadline -
                                                               current_clock().steady_time());
      if (left.count() <= 0) {
        stopped = true;
        break;
      }
      wait_ms = static_cast<int>(std::min<int64_t>(wait_ms, left.count()));
    }
    if (curl_multi_poll(multi, nullptr, 0, wait_ms, nullptr) != CURLM_OK) {
      broken = true;
      break;
    }
  }

  CURLcode result = CURLE_OK;
  bool done = false;
  int queued = 0;
  while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
    if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
      result = message->data.result;
      done = true;
    }
  }
  // Removing an unfinished transfer closes its connection; a finished one
  // keeps it for the next request.
  curl_multi_remove_handle(multi, easy);

  if (done) {
    answer.failure = failure_of(result, state);
    if (answer.failure != HttpFailure::none) {
      answer.message =
          handles_->error[0] != '\0' ? handles_->error.data() : curl_easy_strerror(result);
    }
  } else if (stopped) {
    answer.failure = HttpFailure::stopped;
    answer.message = "stopped";
  } else {
    answer.failure = broken ? HttpFailure::transport : HttpFailure::out_of_memory;
    answer.message = "libcurl's multi interface failed";
  }
  long connect_code = 0;
  if (curl_easy_getinfo(easy, CURLINFO_HTTP_CONNECTCODE, &connect_code) == CURLE_OK) {
    answer.proxy_status = static_cast<int32_t>(connect_code);
  }
  char* final_url = nullptr;
  if (curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &final_url) == CURLE_OK &&
      final_url != nullptr) {
    answer.final_url = final_url;
  } else {
    answer.final_url = request.url;
  }
  // The header list dies with this call; the next perform() resets the
  // handle before anything reads it again.
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, nullptr);
  return answer;
}

}  // namespace wayfetch::platform
