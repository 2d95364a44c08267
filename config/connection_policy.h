// ConnectionPolicy: whether one update goes online, the update's web
// connector, what happens when a request fails, and the weekly look for a
// newer program version.
//
// One policy serves one update (or one other piece of work that needs the
// web, such as converting an earlier installation) and owns that work's
// WebConnector from prepare() until close() or its destruction.
//
// Going online (prepare): the web is skipped when the update needs none;
// when a HotSync started it (SyncMode::handheld) and "web-when-pda-sync" is
// "no", or "unknown" and the person answers No to question 10131 (a ticked
// "Diese Frage nicht mehr stellen" stores "yes" or "no"); when the timer
// started it and no connection is live (the timer never dials); and when
// dialling finds no connection. Otherwise a connector is made with the
// configured proxy and the time-outs 120 s to connect, 60 s between bytes and
// 300 s for a whole request. prepare() is false only when the web was
// wanted and the connector could not be made or the connection went away.
// "Assume online" (config/connection_settings.h) makes every connection test
// answer live.
//
// Failed requests (react_to_web_error): 102 and 109 tell the person once per
// update that the server cannot be reached (message 10144, stop icon); 103,
// a proxy asking for credentials, opens the credentials dialog: OK keeps the
// user name and password in the configuration's proxy record (the password
// in memory only: config.xml never holds it), gives them to the connector
// and asks for the request to be repeated; Cancel lets the request fail.
// get() is a GET that repeats while the reaction asks for it. A proxy that
// keeps refusing is asked about at every failing request; prompts without a
// person (config/non_interactive_prompts.h) cancel, so nothing loops.
//
// The new-version check (check_for_new_version; docs/connection_policy.md)
// asks the configured address at most once a week, a day later after a
// failed or unreadable reply, and offers a newer version through the
// new-version dialog. It changes the configuration's version record; the
// configuration is saved by its owner.
//
// Thread safety: prepare, check_for_new_version and close run on the
// update's worker thread, which holds the list lock (the policy changes the
// configuration). react_to_web_error and get may be called from any thread
// while the policy lives; prompts are asked one at a time. connector() may be
// read by any thread between prepare and close (Stop aborts it).
#ifndef WAYFETCH_CONFIG_CONNECTION_POLICY_H
#define WAYFETCH_CONFIG_CONNECTION_POLICY_H

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "config/connection_settings.h"
#include "config/prompts.h"
#include "config/version_offer.h"
#include "config/wayfetch_configuration.h"
#include "platform/network_state.h"
#include "platform/thread_annotations.h"
#include "web/web_connector.h"

namespace wayfetch {

// Who started an update.
enum class SyncMode : int32_t {
  user = 0,      // Update now, Update all
  timer = 1,     // the 15-minute timer
  handheld = 2,  // a HotSync
};

class ConnectionPolicy {
 public:
  // The three time-outs of the update's connector, in milliseconds.
  static constexpr int32_t connect_timeout_ms = 120000;
  static constexpr int32_t send_receive_timeout_ms = 60000;
  static constexpr int32_t request_timeout_ms = 300000;
  // This program's version: a known version below it is raised to it.
  static constexpr VersionNumber own_version{3, 2, 3251};
  // "Auf die nächste Version warten" stores this rebuild number: no later
  // rebuild of the same major.minor is offered.
  static constexpr uint32_t every_rebuild = 4294967295u;
  // When to ask again after a failed or unreadable reply, and after an answer.
  static constexpr int64_t retry_check_seconds = 86400;
  static constexpr int64_t next_check_seconds = 604800;

  // What check_for_new_version did.
  enum class VersionCheck : int32_t {
    not_connected,    // nothing: the update is offline or was stopped
    not_due,          // nothing: next-test lies in the future
    no_address,       // nothing: no update-check address is set
    download_failed,  // next-test moved by a day
    unreadable,       // next-test moved by a day
    current,          // no newer version; next-test moved by a week
    offered,          // the dialog was shown; next-test moved by a week
  };

  using ConnectorFactory = std::function<std::unique_ptr<WebConnector>()>;
  // Opens an http or https address in the browser.
  using AddressOpener = std::function<void(const std::string& address)>;

  // `config`, `prompts` and `network` must outlive the policy. Reads the
  // connection settings from the configuration's settings store.
  ConnectionPolicy(WayfetchConfiguration& config, Prompts& prompts,
                   const platform::NetworkState& network, SyncMode mode = SyncMode::user);
  ~ConnectionPolicy();
  ConnectionPolicy(const ConnectionPolicy&) = delete;
  ConnectionPolicy& operator=(const ConnectionPolicy&) = delete;

  // Tests replace how connectors are made and how addresses are opened
  // (by default: a new WebConnector; the desktop's browser, platform/launcher.h).
  void set_connector_factory(ConnectorFactory factory) { make_connector_ = std::move(factory); }
  void set_address_opener(AddressOpener opener) { open_address_ = std::move(opener); }

  const ConnectionSettings& connection_settings() const { return settings_; }

  // Whether this update leaves the web alone (may ask question 10131).
  bool skip_web();
  // Makes the update's connector as described above. True when the update
  // may go on (with or without a connector).
  bool prepare(bool needs_web);
  bool connected() const { return connector_ != nullptr; }
  // The update's connector, nullptr when not connected.
  WebConnector* connector() const { return connector_.get(); }
  // Drops the connector (it aborts and waits for requests in progress).
  void close();

  // The reaction to a failed request of `connector` with `status` (an
  // internet code 101-111). Nothing happens for status 0 or when
  // `retry_indicator` is 1 (the caller repeats the request on its own).
  // True when the request should be repeated with the changed settings.
  bool react_to_web_error(WebConnector& connector, int32_t status, int32_t retry_indicator = 0);
  // A GET through `connector` that is repeated while react_to_web_error
  // asks for it; the last result.
  WebResult get(WebConnector& connector, const WebRequest& request);
  // The same through the update's connector. REQUIRES: connected().
  WebResult get(const WebRequest& request) { return get(*connector_, request); }

  VersionCheck check_for_new_version();

 private:
  // Whether a connection is live ("Assume online" says yes).
  bool live() const;
  bool dial() const;
  void apply_proxy(WebConnector& connector);
  // The address the version check requests.
  std::string version_query();
  // Shows the dialog for `offer` and applies the answer.
  void offer_new_version(const VersionOffer& offer);

  WayfetchConfiguration& config_;
  Prompts& prompts_;
  const platform::NetworkState& network_;
  const SyncMode mode_;
  const ConnectionSettings settings_;
  ConnectorFactory make_connector_;
  AddressOpener open_address_;
  std::unique_ptr<WebConnector> connector_;

  // Guards the reported flag and the proxy record while prompts are asked
  // from several threads; held while a prompt is open, so that they come one
  // at a time.
  platform::PlainMutex react_mutex_;
  bool server_not_found_reported_ WAYFETCH_GUARDED_BY(react_mutex_) = false;
};

}  // namespace wayfetch

#endif
