// A WebConnector against a loopback server whose routes a test fills in.
#ifndef WAYFETCH_TESTS_WEB_CONNECTOR_FIXTURE_H
#define WAYFETCH_TESTS_WEB_CONNECTOR_FIXTURE_H

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "core/file.h"
#include "core/string.h"
#include "tests/support/http_test_server.h"
#include "web/web_connector.h"

namespace wayfetch::testing {

// A GET of `address` into `target` as kind `kind` (the extraction's number).
inline WebRequest get_request(const std::string& address, File& target, int32_t kind,
                              int32_t timeout_ms = -1) {
  WebRequest request;
  request.address = String(address);
  request.target = &target;
  request.kind = static_cast<ContentKind>(kind);
  request.timeout_ms = timeout_ms;
  return request;
}

class ConnectorTest : public ::testing::Test {
 protected:
  static constexpr int32_t page_kind = static_cast<int32_t>(ContentKind::page);
  using Route = std::function<TestResponse(const TestRequest&)>;

  void SetUp() override {
    server_ = std::make_unique<HttpTestServer>([this](const TestRequest& r) { return serve(r); });
    ASSERT_TRUE(server_->start());
    // The environment's proxy settings must not reach the loopback server.
    connector_.set_proxy(WebConnector::ProxyMode::none, String(), String(), String());
    ASSERT_TRUE(target_.open_temporary());
  }
  void TearDown() override { server_->stop(); }

  void route(const std::string& path, Route handler) {
    std::lock_guard<std::mutex> lock(routes_mutex_);
    routes_[path] = std::move(handler);
  }
  void route(const std::string& path, TestResponse response) {
    route(path, [response](const TestRequest&) { return response; });
  }

  std::string url(std::string_view path) const { return server_->url(path); }

  int32_t fetch(std::string_view path, int32_t mode = page_kind, int32_t timeout_ms = -1) {
    return fetch_address(url(path), mode, timeout_ms);
  }
  int32_t fetch_address(const std::string& address, int32_t mode = page_kind,
                        int32_t timeout_ms = -1) {
    WebResult result = connector_.get(get_request(address, target_, mode, timeout_ms));
    final_ = result.final_address;
    number_ = result.request_number;
    return result.status;
  }

  // The target's bytes from where the connector left the position.
  std::string rest_of_target() {
    std::string bytes;
    char piece[4096];
    for (int32_t got; (got = target_.read(piece, sizeof(piece))) > 0;) bytes.append(piece, got);
    return bytes;
  }
  std::string whole_target() {
    target_.seek(0, File::Origin::start);
    return rest_of_target();
  }
  std::string final_address() const { return final_.to_utf8(); }

  std::unique_ptr<HttpTestServer> server_;
  WebConnector connector_;
  File target_;
  String final_;
  int32_t number_ = -1;

 private:
  TestResponse serve(const TestRequest& request) {
    Route handler;
    {
      std::lock_guard<std::mutex> lock(routes_mutex_);
      auto found = routes_.find(request.path());
      if (found == routes_.end()) return TestResponse::status_only(404, "Not Found");
      handler = found->second;
    }
    return handler(request);
  }

  std::mutex routes_mutex_;
  std::map<std::string, Route> routes_;
};

inline std::string refresh_page(std::string_view content) {
  return "<html><head><meta http-equiv=\"refresh\" content=\"" + std::string(content) +
         "\"></head><body>waiting</body></html>";
}

}  // namespace wayfetch::testing

#endif
