#include "web/web_connector.h"

#include <chrono>
#include <string>
#include <string_view>
#include <utility>

#include "core/ascii.h"
#include "core/error_sink.h"
#include "core/picture_names.h"
#include "core/text_scanner.h"
#include "web/target_file.h"
#include "xml/xml_parser.h"

namespace wayfetch {

// One call of get or post, across all its steps.
struct WebConnector::Exchange {
  File& target;
  String& final_address;
  ContentKind kind;
  // A GET's registered request; a POST's private one, never stopped.
  OpenRequest& request;
  bool registered;
  // The POST's body, for its first step only.
  const std::string* form_data;
  // Held across the steps, so that redirections reuse the connection.
  std::unique_ptr<platform::HttpTransfer> transfer;
  // Set once a step went to a web server: local files are off limits then.
  bool from_web = false;
};

// The answer of one step as the rules below read it.
struct WebConnector::Reply {
  bool has_header = true;  // false for a local file
  int32_t status = 0;
  bool has_content_type = false;
  std::string content_type;
  bool has_location = false;
  std::string location;
};

namespace {

// Pictures are never looked into for a refresh.
bool names_picture(std::string_view path) {
  std::size_t slash = path.find_last_of('/');
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  std::size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos) return false;
  return picture_extension_kind(name.substr(dot + 1)) != PictureEnding::none;
}

// The address of a refresh as a browser reads it: blanks around it and one
// pair of quotes around it ("0; url='next.html'") are not part of it.
String refresh_address(const String& found) {
  String text(found);
  if (text.encoding() == TextEncoding::Unicode) text.to_system_code_page();
  std::string_view bytes = text.window_bytes();
  while (!bytes.empty() && ascii::is_blank(bytes.front())) bytes.remove_prefix(1);
  while (!bytes.empty() && ascii::is_blank(bytes.back())) bytes.remove_suffix(1);
  if (bytes.size() >= 2 && (bytes.front() == '\'' || bytes.front() == '"') &&
      bytes.back() == bytes.front()) {
    bytes = bytes.substr(1, bytes.size() - 2);
  }
  String address;
  address.set_text(bytes, text.encoding(), text.code_page());
  return address;
}

// Parses the head of the page in `target` for a meta refresh.
bool find_refresh(File& target, String& address, int32_t& delay) {
  // A file that cannot be rewound cannot be looked into; the caller's own
  // rewind then fails the request.
  if (target.seek(0, File::Origin::start) != 0) return false;
  TextScanner page;
  if (!page.read_file(target, String())) return false;
  XmlParser parser;
  parser.set_mode(ParseMode::html_head);
  parser.parse(page);
  String found;
  if (!parser.find_refresh(found, delay)) return false;
  address = refresh_address(found);
  return true;
}

// The caller reads the file from its start; a file that cannot be put
// there is no answer (106).
int32_t rewound(File& target) {
  return target.seek(0, File::Origin::start) == 0 ? WebConnector::ok : WebConnector::unknown_error;
}

}  // namespace

WebConnector::WebConnector() : session_(agent_name) {}

WebConnector::~WebConnector() {
  abort_all();
  platform::PlainLock lock(calls_mutex_);
  while (calls_ != 0) calls_done_.wait(calls_mutex_);
}

void WebConnector::call_started() {
  platform::PlainLock lock(calls_mutex_);
  ++calls_;
}

void WebConnector::call_ended() {
  platform::PlainLock lock(calls_mutex_);
  if (--calls_ == 0) calls_done_.notify_all();
}

void WebConnector::set_timeouts(int32_t connect_ms, int32_t send_receive_ms, int32_t request_ms) {
  if (connect_ms > 0) connect_timeout_ms_.store(connect_ms);
  if (send_receive_ms > 0) io_timeout_ms_.store(send_receive_ms);
  request_timeout_ms_.store(request_ms > 0 ? request_ms : -1);
}

void WebConnector::set_proxy(ProxyMode mode, const String& server, const String& user_name,
                             const String& password) {
  platform::ProxySettings settings;
  switch (mode) {
    case ProxyMode::none:
      settings.mode = platform::ProxyMode::none;
      break;
    case ProxyMode::named:
      settings.mode = platform::ProxyMode::named;
      break;
    default:
      settings.mode = platform::ProxyMode::automatic;
      break;
  }
  // The transfer layer takes texts in the system code page.
  settings.server = server.to_utf8();
  settings.user = user_name.to_utf8();
  settings.password = password.to_utf8();
  platform::PlainLock lock(proxy_mutex_);
  proxy_ = std::move(settings);
}

void WebConnector::set_proxy(int32_t mode, const String& server, const String& user_name,
                             const String& password) {
  ProxyMode chosen = ProxyMode::automatic;
  if (mode == static_cast<int32_t>(ProxyMode::none)) chosen = ProxyMode::none;
  if (mode == static_cast<int32_t>(ProxyMode::named)) chosen = ProxyMode::named;
  set_proxy(chosen, server, user_name, password);
}

platform::HttpRequest WebConnector::request_for(const String& absolute) const {
  platform::HttpRequest request;
  request.url = std::string(absolute.window_bytes());
  request.connect_timeout_ms = connect_timeout_ms_.load();
  request.idle_timeout_ms = io_timeout_ms_.load();
  platform::PlainLock lock(proxy_mutex_);
  request.proxy = proxy_;
  return request;
}

WebResult WebConnector::get(const WebRequest& request) {
  call_started();
  WebResult result;
  OpenRequest open;
  int32_t limit = request.timeout_ms > 0 ? request.timeout_ms : request_timeout_ms_.load();
  if (limit > 0) {
    open.stop.deadline = platform::current_clock().steady_time() + std::chrono::milliseconds(limit);
  }
  result.request_number = requests_.add(open);
  Exchange exchange{*request.target, result.final_address, request.kind, open, true, nullptr,
                    nullptr};
  result.status = run(exchange, request.base, request.address);
  requests_.remove(open);
  session_.release(std::move(exchange.transfer));
  call_ended();
  return result;
}

WebResult WebConnector::post(const WebRequest& request) {
  call_started();
  WebResult result;
  OpenRequest open;  // never registered: no watchdog, and abort_all passes it by
  std::string body(request.form_data.window_bytes());
  Exchange exchange{
      *request.target, result.final_address, ContentKind::download, open, false, &body, nullptr};
  result.status = run(exchange, request.base, request.address);
  session_.release(std::move(exchange.transfer));
  call_ended();
  return result;
}

void WebConnector::abort_all() {
  enabled_.store(false, std::memory_order_release);
  requests_.stop_all();
}

// The steps of one call: each resolves the next address, fetches it and
// reads the answer, which either ends the call or names the next address.
// A loop, not recursion: a chain of redirections is at most 33 steps long.
int32_t WebConnector::run(Exchange& exchange, String base, String address) {
  OpenRequest& request = exchange.request;
  for (;;) {
    bool posting = exchange.form_data != nullptr;
    if (!posting && request.redirections > max_redirections) {
      return rewound(exchange.target);
    }
    String absolute;
    if (!resolve(base, address, absolute)) return invalid_url;
    exchange.final_address = absolute;
    if (!posting) {
      if (!enabled()) return disabled;
      // The watchdog went off between two steps: the next one is not begun.
      if (request.expired()) return timed_out;
    }
    UrlParts parts;
    if (!split(absolute, parts)) return request_refused;

    Reply reply;
    int32_t status = ok;
    if (parts.scheme == UrlScheme::file && !posting) {
      // A page from the web must not make the program read local files.
      if (exchange.from_web) return unknown_error;
      status = fetch_local(parts, exchange, reply);
    } else if (parts.scheme == UrlScheme::http || parts.scheme == UrlScheme::https) {
      exchange.from_web = true;
      status = fetch_http(exchange, absolute, reply);
      exchange.form_data = nullptr;  // what follows a POST are GETs
    } else {
      return request_refused;
    }
    if (status != ok) return status;

    switch (reply.status) {
      case 200: {
        bool look_for_refresh = true;
        if (!reply.has_header) {
          if (names_picture(parts.path.window_bytes())) look_for_refresh = false;
        } else if (reply.has_content_type) {
          look_for_refresh = ascii::equals_ignoring_case(reply.content_type, "text/html");
        } else if (exchange.kind == ContentKind::download) {
          return invalid_header;
        } else {
          look_for_refresh = exchange.kind == ContentKind::page;
        }
        String next;
        int32_t delay = 0;
        if (look_for_refresh && find_refresh(exchange.target, next, delay) &&
            delay < max_refresh_delay) {
          ++request.redirections;
          base = absolute;
          address = next;
          continue;
        }
        return rewound(exchange.target);
      }
      case 301:
      case 302:
      case 303: {
        if (!reply.has_location) return invalid_header;
        ++request.redirections;
        String location(reply.location);
        location.set_encoding(TextEncoding::SingleByte, absolute.code_page());
        base = absolute;
        address = location;
        continue;
      }
      case 401:
        return server_credentials;
      case 404:
        return file_not_found;
      case 407:
        return proxy_credentials;
      case 430:
        return server_not_found;
      default:
        return unknown_error;
    }
  }
}

int32_t WebConnector::fetch_http(Exchange& exchange, String& absolute, Reply& reply) {
  if (!exchange.transfer) {
    exchange.transfer = session_.acquire();
    if (!exchange.transfer) return unknown_error;
  }
  platform::HttpRequest request = request_for(absolute);
  request.form_data = exchange.form_data;
  request.follow_redirects = exchange.form_data != nullptr;
  TargetFileSink sink(exchange.target, max_body_bytes);

  if (exchange.registered) requests_.attach(exchange.request, exchange.transfer.get());
  platform::HttpAnswer answer = exchange.transfer->perform(request, sink, &exchange.request.stop);
  if (exchange.registered) requests_.attach(exchange.request, nullptr);

  if (request.follow_redirects && !answer.final_url.empty()) {
    // The address that answered is the base of what follows.
    String final_url(answer.final_url);
    final_url.set_encoding(TextEncoding::SingleByte, absolute.code_page());
    absolute = final_url;
    exchange.final_address = final_url;
  }
  using platform::HttpFailure;
  if (answer.headers_complete) {
    // Only a 200 answer's body is read; a failure while dropping another
    // answer's body does not change what that answer says.
    if (answer.status == 200 && answer.failure != HttpFailure::none) {
      switch (answer.failure) {
        case HttpFailure::sink_refused:
          return storage_failed;
        case HttpFailure::stopped:
          return timed_out;
        default:
          return unknown_error;
      }
    }
    reply.status = answer.status;
    reply.has_content_type = answer.has_content_type;
    reply.content_type = std::move(answer.content_type);
    reply.has_location = answer.has_location;
    reply.location = std::move(answer.location);
    return ok;
  }
  if (answer.proxy_status == 407) return proxy_credentials;
  switch (answer.failure) {
    case HttpFailure::host_not_found:
    case HttpFailure::proxy_not_found:
      return server_not_found;
    case HttpFailure::refused_address:
      return request_refused;
    case HttpFailure::header_too_large:
      return invalid_header;
    case HttpFailure::sink_refused:
      return storage_failed;
    default:
      // Connecting or sending failed, was interrupted, or no answer came.
      return unknown_error;
  }
}

int32_t WebConnector::fetch_local(const UrlParts& parts, Exchange& exchange, Reply& reply) {
  // Files of other machines ("file://server/share/x") are not reachable here.
  if (!parts.host.empty()) return request_refused;
  std::string path;
  if (!local_path_of(parts.path.window_bytes(), path)) return request_refused;
  TargetFileSink sink(exchange.target, max_body_bytes);
  switch (read_local_file(path, sink, &exchange.request.stop)) {
    case LocalReadResult::cannot_open:
      return request_refused;
    case LocalReadResult::not_regular:
      return unknown_error;
    case LocalReadResult::stopped:
      return timed_out;
    case LocalReadResult::write_failed:
      return storage_failed;
    case LocalReadResult::read_failed:
      return unknown_error;
    case LocalReadResult::ok:
      break;
  }
  reply.has_header = false;
  reply.status = 200;
  return ok;
}

void report_failed_request(ErrorState& reporter, const String& address, int32_t status) {
  // The address is needed for this one record only: its slot goes back to
  // the sink as soon as the record is written.
  ContextLease url = ContextLease::register_text(address, ErrorSink::retention_transient);
  reporter.raise_warning(warnings::failed_http_request, url.slot(), status);
}

}  // namespace wayfetch
