#include "config/connection_policy.h"

#include <utility>

#include "core/ascii.h"
#include "core/error_codes.h"
#include "core/string_table.h"
#include "platform/launcher.h"
#include "web/timestamp.h"

namespace wayfetch {
namespace {

Timestamp seconds_from_now(int64_t seconds) {
  return Timestamp(Timestamp::now().value() +
                   static_cast<uint64_t>(seconds) * Timestamp::units_per_second);
}

// Query values are the settings' own text; anything that could end the
// value or add a parameter ("&", "=", "#", blanks) is percent-encoded, and
// the plain codes in use ("de", "ebm") go out unchanged.
std::string query_value(std::string_view text) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (ascii::is_letter(byte) || ascii::is_digit(byte) || c == '-' || c == '.' || c == '_' ||
        c == '~') {
      out += c;
    } else {
      out += '%';
      out += hex[byte >> 4];
      out += hex[byte & 0x0F];
    }
  }
  return out;
}

// The offered address is opened only when it is a web page: a reply must not
// make the desktop open a local file or hand a "mailto:", "javascript:" or
// custom address to whatever handles it.
bool is_web_address(std::string_view address) {
  return ascii::starts_with_ignoring_case(address, "http://") ||
         ascii::starts_with_ignoring_case(address, "https://");
}

}  // namespace

ConnectionPolicy::ConnectionPolicy(WayfetchConfiguration& config, Prompts& prompts,
                                   const platform::NetworkState& network, SyncMode mode)
    : config_(config),
      prompts_(prompts),
      network_(network),
      mode_(mode),
      settings_(ConnectionSettings::read(config.settings_store())),
      make_connector_([] { return std::make_unique<WebConnector>(); }),
      open_address_([](const std::string& address) {
        // Nothing to do when no browser can be started: the person asked
        // to look, and the version stays offered on the server's page.
        (void)platform::open_with_desktop(address);
      }) {}

ConnectionPolicy::~ConnectionPolicy() = default;

bool ConnectionPolicy::live() const {
  return settings_.assume_online || network_.connection_state() != platform::NetworkState::offline;
}

bool ConnectionPolicy::dial() const {
  return settings_.assume_online || network_.dial();
}

bool ConnectionPolicy::skip_web() {
  if (mode_ == SyncMode::handheld) {
    YesNo& when = config_.settings().web_when_pda_sync;
    if (when == YesNo::unknown) {
      QuestionAnswer answer = prompts_.question(strings::web_at_handheld_sync);
      // The box decides only what is stored; a No skips this update's web
      // either way.
      if (answer.remember) when = answer.yes ? YesNo::yes : YesNo::no;
      if (!answer.yes) return true;
    } else if (when == YesNo::no) {
      return true;
    }
  }
  // The timer never dials: it goes online only over a connection that is
  // already there.
  if (mode_ == SyncMode::timer && !live()) return true;
  return !dial();
}

bool ConnectionPolicy::prepare(bool needs_web) {
  {
    platform::PlainLock hold(react_mutex_);
    server_not_found_reported_ = false;
  }
  connector_.reset();
  if (!needs_web || skip_web()) return true;
  std::unique_ptr<WebConnector> connector = make_connector_();
  if (connector == nullptr || !connector->is_open()) return false;
  if (!live()) return false;
  apply_proxy(*connector);
  connector->set_timeouts(connect_timeout_ms, send_receive_timeout_ms, request_timeout_ms);
  connector_ = std::move(connector);
  return true;
}

void ConnectionPolicy::close() {
  connector_.reset();
}

void ConnectionPolicy::apply_proxy(WebConnector& connector) {
  platform::PlainLock hold(react_mutex_);
  const ProxySettings& proxy = config_.settings().proxy;
  connector.set_proxy(static_cast<int32_t>(proxy.mode), proxy.name, proxy.user_name,
                      proxy.password);
}

bool ConnectionPolicy::react_to_web_error(WebConnector& connector, int32_t status,
                                          int32_t retry_indicator) {
  if (status == 0 || retry_indicator == 1) return false;
  platform::PlainLock hold(react_mutex_);
  if (status == errors::internet_request_refused || status == errors::internet_server_not_found) {
    if (!server_not_found_reported_) {
      server_not_found_reported_ = true;
      prompts_.message(strings::server_not_found, PromptIcon::stop);
    }
    return false;
  }
  if (status != errors::internet_proxy_credentials) return false;
  ProxySettings& proxy = config_.settings().proxy;
  ProxyCredentials credentials{proxy.user_name, proxy.password};
  if (!prompts_.credentials(credentials)) return false;
  // The password joins the proxy record in memory; the configuration's
  // writer never writes it.
  proxy.user_name = std::move(credentials.user_name);
  proxy.password = std::move(credentials.password);
  connector.set_proxy(static_cast<int32_t>(proxy.mode), proxy.name, proxy.user_name,
                      proxy.password);
  return true;
}

WebResult ConnectionPolicy::get(WebConnector& connector, const WebRequest& request) {
  for (;;) {
    WebResult result = connector.get(request);
    if (result.ok() || !react_to_web_error(connector, result.status)) return result;
  }
}

std::string ConnectionPolicy::version_query() {
  return settings_.update_check_address + "?lang=" + query_value(settings_.language_code) +
         "&device=" + query_value(config_.device_type().to_utf8()) + "&os=win&soft=wayfetch";
}

ConnectionPolicy::VersionCheck ConnectionPolicy::check_for_new_version() {
  // A stopped update makes no further request, and the check keeps its date.
  if (!connected() || !connector_->enabled()) return VersionCheck::not_connected;
  VersionRecord& known = config_.settings().version;
  if (known.next_test > Timestamp::now()) return VersionCheck::not_due;
  if (VersionNumber::of(known) < own_version) {
    known.major = own_version.major;
    known.minor = own_version.minor;
    known.rebuild = own_version.rebuild;
  }
  if (settings_.update_check_address.empty()) return VersionCheck::no_address;

  File reply;
  WebRequest request;
  request.address = String(version_query());
  request.target = &reply;
  if (!reply.open_temporary() || !connector_->get(request).ok()) {
    known.next_test = seconds_from_now(retry_check_seconds);
    return VersionCheck::download_failed;
  }
  // An unreadable reply (a login page of a hotel network answering 200 with
  // HTML) is asked again tomorrow, not at every update.
  VersionOffer offer;
  if (!offer.read(reply)) {
    known.next_test = seconds_from_now(retry_check_seconds);
    return VersionCheck::unreadable;
  }
  VersionCheck outcome = VersionCheck::current;
  if (VersionNumber::of(known) < offer.number) {
    offer_new_version(offer);
    outcome = VersionCheck::offered;
  }
  known.next_test = seconds_from_now(next_check_seconds);
  return outcome;
}

void ConnectionPolicy::offer_new_version(const VersionOffer& offer) {
  VersionRecord& known = config_.settings().version;
  switch (prompts_.new_version(offer.display())) {
    case NewVersionChoice::connect_and_check: {
      std::string address = offer.url.to_utf8();
      if (is_web_address(address)) open_address_(address);
      known.major = offer.number.major;
      known.minor = offer.number.minor;
      known.rebuild = offer.number.rebuild;
      known.text = offer.text;
      known.url = offer.url;
      break;
    }
    case NewVersionChoice::wait_for_next_version:
      known.major = offer.number.major;
      known.minor = offer.number.minor;
      known.rebuild = every_rebuild;
      break;
    case NewVersionChoice::remind_later:
      break;
  }
}

}  // namespace wayfetch
