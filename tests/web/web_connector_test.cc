// Answers, redirections, refreshes, proxies, posts and local files against a
// loopback server.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "core/error_log.h"
#include "tests/support/temp_dir.h"
#include "tests/web/connector_fixture.h"
#include "web/target_file.h"

namespace wayfetch::testing {
namespace {

const std::string page = "<html><head><title>t</title></head><body>hello</body></html>";

class WebConnectorTest : public ConnectorTest {
 protected:
  void SetUp() override {
    ConnectorTest::SetUp();
    route("/page.html", TestResponse::html(page));
    route("/plain.txt", TestResponse::typed("text/plain", "just text"));
    route("/picture.jpg", TestResponse::typed("image/jpeg", refresh_page("0; url=page.html")));
    // A parameter after the type makes it another type: the refresh stays.
    route("/charset.html",
          TestResponse::typed("text/html; charset=utf-8", refresh_page("0; url=page.html")));
    route("/TYPE.html", TestResponse::typed("TEXT/HTML", refresh_page("0; url=page.html")));
    TestResponse untyped;
    untyped.body = refresh_page("0; url=page.html");
    route("/untyped", untyped);
    route("/r301", TestResponse::redirect(301, "/r302"));
    route("/r302", TestResponse::redirect(302, "r303"));
    route("/r303", TestResponse::redirect(303, url("/page.html")));
    route("/dir/sub/rel", TestResponse::redirect(302, "../../page.html?x=1&amp;y=2"));
    TestResponse no_location = TestResponse::redirect(302, "");
    no_location.headers.erase(no_location.headers.begin());
    route("/no-location", no_location);
    route("/r307", TestResponse::redirect(307, "/page.html"));
    route("/refresh0", TestResponse::html(refresh_page("0; url=page.html")));
    route("/refresh9", TestResponse::html(refresh_page("9;URL=/page.html")));
    route("/refresh10", TestResponse::html(refresh_page("10; url=page.html")));
    route("/quoted", TestResponse::html(refresh_page("0; url='page.html'")));
    route("/loop", TestResponse::html(refresh_page("0")));
    route("/401", TestResponse::status_only(401, "Unauthorized"));
    route("/430", TestResponse::status_only(430, "Blocked"));
    route("/500", TestResponse::status_only(500, "Server Error"));
    TestResponse not_modified;
    not_modified.status = 304;
    not_modified.reason = "Not Modified";
    route("/304", not_modified);
    route("/to-file", TestResponse::redirect(302, "file:///etc/hostname"));
    route("/refresh-to-file", TestResponse::html(refresh_page("0; url=file:///etc/hostname")));
    TestResponse broken = TestResponse::typed("image/gif", "");
    broken.generated_length = 3000;
    broken.cut_after = 1000;
    route("/broken", broken);
    // Answers libcurl cannot read as HTTP/1.x, and a header line beyond its
    // per-line limit.
    TestResponse http09;
    http09.raw = "hello from 1991\n";
    route("/http09", http09);
    route("/bad-status", TestResponse::status_only(-5, "Odd"));
    TestResponse long_line = TestResponse::html(page);
    long_line.headers.emplace_back("X-Long", std::string(150000, 'a'));
    route("/long-header-line", long_line);
    route("/echo", [](const TestRequest& r) {
      return TestResponse::typed("text/plain", r.method + " " + r.body);
    });
    route("/post-moved", TestResponse::redirect(303, "/echo"));
  }
};

TEST_F(WebConnectorTest, AnswersGiveTheirStatusFileAndFinalAddress) {
  struct Case {
    const char* path;
    int32_t mode;
    int32_t status;
    std::optional<std::string> body;  // the whole file, read from where it was left
    const char* final_path;
  };
  const std::string refresh = refresh_page("0; url=page.html");
  const Case cases[] = {
      {"/page.html", 1, 0, page, "/page.html"},
      {"/plain.txt", 0, 0, "just text", "/plain.txt"},
      {"/picture.jpg", 2, 0, refresh, "/picture.jpg"},
      {"/charset.html", 1, 0, refresh, "/charset.html"},
      {"/TYPE.html", 1, 0, page, "/page.html"},
      // Without a type: mode 1 takes it for HTML, mode 0 refuses it, the
      // extraction's other modes keep it as it is.
      {"/untyped", 1, 0, page, "/page.html"},
      {"/untyped", 0, 105, std::nullopt, "/untyped"},
      {"/untyped", 3, 0, refresh, "/untyped"},
      {"/r301", 1, 0, page, "/page.html"},
      {"/dir/sub/rel", 1, 0, std::nullopt, "/page.html?x=1&y=2"},
      {"/no-location", 1, 105, std::nullopt, "/no-location"},
      {"/r307", 1, 106, std::nullopt, "/r307"},
      {"/refresh0", 1, 0, page, "/page.html"},
      {"/refresh9", 1, 0, page, "/page.html"},
      {"/refresh10", 1, 0, refresh_page("10; url=page.html"), "/refresh10"},
      {"/quoted", 1, 0, page, "/page.html"},
      {"/401", 1, 108, std::nullopt, "/401"},
      {"/missing", 1, 107, std::nullopt, "/missing"},
      {"/430", 1, 109, std::nullopt, "/430"},
      {"/500", 1, 106, std::nullopt, "/500"},
      {"/304", 1, 106, std::nullopt, "/304"},
      {"/broken", 2, 106, std::nullopt, "/broken"},  // the connection breaks while reading
      {"/http09", 1, 106, std::nullopt, "/http09"},
      {"/bad-status", 1, 106, std::nullopt, "/bad-status"},
      {"/long-header-line", 1, 105, std::nullopt, "/long-header-line"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " mode " + std::to_string(c.mode));
    // Leftovers of an earlier download never survive a new body.
    target_.truncate(0);
    target_.write("left over from before, longer than any body here........", 56);
    EXPECT_EQ(fetch(c.path, c.mode), c.status);
    if (c.body) {
      EXPECT_EQ(rest_of_target(), *c.body);
    }
    EXPECT_EQ(final_address(), url(c.final_path));
  }
  EXPECT_EQ(server_->hits("/r302"), 1);
  EXPECT_EQ(server_->hits("/r303"), 1);
}

TEST_F(WebConnectorTest, RequestsCarryTheAgentNameAndNumbers) {
  ASSERT_EQ(fetch("/page.html"), 0);
  int32_t first = number_;
  EXPECT_EQ(first, 0);  // a new connector counts from 0
  ASSERT_EQ(fetch("/page.html"), 0);
  EXPECT_EQ(number_, first + 1);
  EXPECT_EQ(connector_.open_requests(), 0);
  TestRequest request = server_->requests().back();
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.header("User-Agent"), "Lorvane Wayfetch");
  EXPECT_EQ(request.header("Accept"), "");
  // Both requests went over one connection.
  EXPECT_EQ(server_->connections(), 1);
}

TEST_F(WebConnectorTest, ServerCredentialsComeFromTheAddress) {
  route("/protected", [](const TestRequest& r) {
    // "u:p" in base 64.
    return r.header("Authorization") == "Basic dTpw"
               ? TestResponse::html(page)
               : TestResponse::status_only(401, "Unauthorized");
  });
  EXPECT_EQ(fetch("/protected"), 108);
  std::string with_user = url("/protected").insert(7, "u:p@");
  EXPECT_EQ(fetch_address(with_user), 0);
  EXPECT_EQ(rest_of_target(), page);
}

TEST_F(WebConnectorTest, RefreshLoopEndsAfter33StepsWithSuccess) {
  EXPECT_EQ(fetch("/loop"), 0);
  EXPECT_EQ(server_->hits("/loop"), 33);
  EXPECT_EQ(rest_of_target(), refresh_page("0"));
  EXPECT_EQ(final_address(), url("/loop"));
}

TEST_F(WebConnectorTest, RedirectionLoopEndsWithSuccessAndTheFileAsItStands) {
  // Redirections and refreshes share one count: after 32 followed, the 33rd
  // ends the request with what the file held, rewound.
  route("/bounce", TestResponse::redirect(302, "/bounce"));
  route("/half", TestResponse::html(refresh_page("0; url=/bounce")));
  target_.write("kept", 4);
  EXPECT_EQ(fetch("/bounce"), 0);
  EXPECT_EQ(server_->hits("/bounce"), 33);
  EXPECT_EQ(rest_of_target(), "kept");
  EXPECT_EQ(final_address(), url("/bounce"));

  EXPECT_EQ(fetch("/half"), 0);
  EXPECT_EQ(server_->hits("/half"), 1);
  EXPECT_EQ(server_->hits("/bounce"), 33 + 32);
  EXPECT_EQ(rest_of_target(), refresh_page("0; url=/bounce"));
}

TEST_F(WebConnectorTest, BadAddressesAndSchemes) {
  EXPECT_EQ(fetch_address("page.html"), 101);  // relative, without a base
  EXPECT_EQ(fetch_address("mailto:someone@example.com"), 102);
  EXPECT_EQ(fetch_address("ftp://127.0.0.1:1/x"), 102);
  // Nothing listens on the port the server had before it stopped.
  std::string gone = url("/page.html");
  server_->stop();
  EXPECT_EQ(fetch_address(gone), 106);
}

TEST_F(WebConnectorTest, UnknownHostIsServerNotFound) {
  // A label longer than 63 characters fails in the local resolver: nothing
  // is asked of a name server.
  std::string host(64, 'a');
  EXPECT_EQ(fetch_address("http://" + host + ".invalid/page.html"), 109);
}

TEST_F(WebConnectorTest, WebPagesCannotReachLocalFiles) {
  EXPECT_EQ(fetch("/to-file"), 106);
  EXPECT_EQ(fetch("/refresh-to-file"), 106);
  EXPECT_EQ(final_address(), "file:///etc/hostname");
}

TEST_F(WebConnectorTest, LocalFiles) {
  TempDir dir;
  write_bytes(dir.file("start.html"), refresh_page("0; url=next.html"));
  write_bytes(dir.file("next page.html"), "<p>next</p>");
  write_bytes(dir.file("next.html"), "<p>the next one</p>");
  std::string folder = "file://" + dir.path() + "/";

  // A picture is copied without looking into it; a page is read for a refresh.
  for (const char* name : {"photo.JPG", "photo.jpeg", "photo.gif", "photo.Png"}) {
    write_bytes(dir.file(name), refresh_page("0; url=next.html"));
    EXPECT_EQ(fetch_address(folder + name, 0), 0) << name;
    EXPECT_EQ(rest_of_target(), refresh_page("0; url=next.html")) << name;
  }
  // Any other extension is looked into, in every content mode.
  write_bytes(dir.file("photo.bmp"), refresh_page("0; url=next.html"));
  EXPECT_EQ(fetch_address(folder + "photo.bmp", 0), 0);
  EXPECT_EQ(rest_of_target(), "<p>the next one</p>");
  EXPECT_EQ(fetch_address(folder + "start.html"), 0);
  EXPECT_EQ(rest_of_target(), "<p>the next one</p>");
  EXPECT_EQ(final_address(), folder + "next.html");
  EXPECT_EQ(fetch_address(folder + "next%20page.html"), 0);
  EXPECT_EQ(rest_of_target(), "<p>next</p>");

  // What is not a regular file fails at once instead of blocking the read.
  ASSERT_EQ(mkfifo(dir.file("pipe.html").c_str(), 0600), 0);
  for (const std::string& other : {folder + "pipe.html", folder, std::string("file:///dev/zero")}) {
    EXPECT_EQ(fetch_address(other), 106) << other;
  }
  // A read in progress ends once its stop is raised (abort_all, the watchdog).
  platform::HttpStop stop;
  stop.requested = true;
  File copy;
  ASSERT_TRUE(copy.open_temporary());
  TargetFileSink sink(copy, 1 << 20);
  EXPECT_EQ(read_local_file(dir.file("next.html"), sink, &stop), LocalReadResult::stopped);
  EXPECT_EQ(fetch_address(folder + "absent.html"), 102);
  EXPECT_EQ(fetch_address(folder + "start.html%00.jpg"), 102);
  EXPECT_EQ(fetch_address("file://server/share/start.html"), 102);
  // A local page may lead to the web.
  write_bytes(dir.file("to-web.html"), refresh_page("0; url=" + url("/page.html")));
  EXPECT_EQ(fetch_address(folder + "to-web.html"), 0);
  EXPECT_EQ(rest_of_target(), page);
}

TEST_F(WebConnectorTest, PostSendsFormDataAndFollowsRedirections) {
  File target;
  ASSERT_TRUE(target.open_temporary());
  String final_address;
  auto post = [&](const char* base, const std::string& address, const char* form) {
    WebRequest request;
    request.base = String(base);
    request.address = String(address);
    request.form_data = String(form);
    request.target = &target;
    WebResult result = connector_.post(request);
    final_address = result.final_address;
    return result.status;
  };
  EXPECT_EQ(post("", url("/echo"), "a=1&b=%20"), 0);
  TestRequest request = server_->requests().back();
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.header("Content-type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(request.header("Expect"), "");
  std::string echoed(64, '\0');
  echoed.resize(static_cast<std::size_t>(target.read(echoed.data(), 64)));
  EXPECT_EQ(echoed, "POST a=1&b=%20");

  // The transfer follows the 303 itself, as a GET; abort_all does not touch
  // posts.
  connector_.abort_all();
  EXPECT_EQ(post(url("/").c_str(), "post-moved", "x=1"), 0);
  echoed.resize(64);
  echoed.resize(static_cast<std::size_t>(target.read(echoed.data(), 64)));
  EXPECT_EQ(echoed, "GET ");
  EXPECT_EQ(final_address.to_utf8(), url("/echo"));
  EXPECT_EQ(post("", url("/missing"), "x"), 107);
}

// The loopback server acts as the proxy: it answers requests for any host.
class ProxyTest : public WebConnectorTest {
 protected:
  void SetUp() override {
    WebConnectorTest::SetUp();
    proxy_ = std::make_unique<HttpTestServer>([](const TestRequest& r) {
      // "user:secret" in base 64.
      if (r.header("Proxy-Authorization") != "Basic dXNlcjpzZWNyZXQ=") {
        TestResponse refused = TestResponse::status_only(407, "Proxy Authentication Required");
        refused.headers.emplace_back("Proxy-Authenticate", "Basic realm=\"test\"");
        return refused;
      }
      return TestResponse::html("<p>via proxy " + r.target + "</p>");
    });
    ASSERT_TRUE(proxy_->start());
    proxy_address_ = "127.0.0.1:" + std::to_string(proxy_->port());
  }
  std::unique_ptr<HttpTestServer> proxy_;
  std::string proxy_address_;
};

TEST_F(ProxyTest, NamedProxyAsksForCredentials) {
  connector_.set_proxy(WebConnector::ProxyMode::named, String(proxy_address_), String(), String());
  // The host is never looked up: the proxy is asked for it.
  EXPECT_EQ(fetch_address("http://example.test/doc.html"), 103);
  // The settings store the mode as a number: 2 is the named server.
  connector_.set_proxy(2, String(proxy_address_), String("user"), String("secret"));
  EXPECT_EQ(fetch_address("http://example.test/doc.html"), 0);
  EXPECT_EQ(rest_of_target(), "<p>via proxy http://example.test/doc.html</p>");
  EXPECT_EQ(server_->requests().size(), 0u);
}

TEST_F(ProxyTest, AutomaticModeFollowsTheEnvironment) {
  const char* saved = std::getenv("http_proxy");
  std::string saved_value = saved != nullptr ? saved : "";
  const char* saved_no = std::getenv("no_proxy");
  std::string saved_no_value = saved_no != nullptr ? saved_no : "";
  setenv("http_proxy", ("http://" + proxy_address_).c_str(), 1);
  unsetenv("no_proxy");

  connector_.set_proxy(1, String(), String("user"), String("secret"));
  EXPECT_EQ(fetch("/page.html"), 0);
  EXPECT_EQ(rest_of_target(), "<p>via proxy " + url("/page.html") + "</p>");
  // Mode none ignores the environment; an unknown number means the system's settings.
  connector_.set_proxy(0, String(), String(), String());
  EXPECT_EQ(fetch("/page.html"), 0);
  EXPECT_EQ(rest_of_target(), page);
  connector_.set_proxy(7, String(), String("user"), String("secret"));
  EXPECT_EQ(fetch("/page.html"), 0);
  EXPECT_EQ(rest_of_target(), "<p>via proxy " + url("/page.html") + "</p>");

  if (saved != nullptr)
    setenv("http_proxy", saved_value.c_str(), 1);
  else
    unsetenv("http_proxy");
  if (saved_no != nullptr) setenv("no_proxy", saved_no_value.c_str(), 1);
}

TEST(WebConnectorReport, FailedRequestIsLoggedWithItsAddress) {
  TempDir dir;
  {
    ErrorLog log(String(dir.file("log").c_str()), true);
    ScopedErrorSink install(&log);
    ErrorState reporter;
    report_failed_request(reporter, String("http://example.test/x.html"), 109);
    EXPECT_EQ(reporter.warning, 35);
  }
  std::string expected = utf16le(
      "Warning(extraction): Failed HTTP request. Server not found.\r\n"
      "       URL: http://example.test/x.html\r\n");
  EXPECT_EQ(read_bytes(dir.file("log")), "\xFF\xFE" + expected);
}

}  // namespace
}  // namespace wayfetch::testing
