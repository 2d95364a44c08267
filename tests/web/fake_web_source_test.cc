// The web-source fake answers as the connector would, so the engines'
// tests can rely on it.
#include "tests/support/fake_web_source.h"

#include <gtest/gtest.h>

#include <string>

#include "core/file.h"
#include "tests/support/temp_dir.h"

namespace wayfetch::testing {
namespace {

TEST(FakeWebSourceTest, ServesItsTableByResolvedAddress) {
  TempDir dir;
  write_bytes(dir.file("logo.gif"), "GIF89a");
  FakeWebSource web;
  web.serve_text("http://news.test/index.html", "<p>news</p>");
  web.serve_file("http://news.test/img/logo.gif", dir.file("logo.gif"));
  web.serve_status("http://news.test/secret.html", errors::internet_server_credentials);
  web.serve("http://news.test/moved", {0, "here", "", "http://news.test/new"});
  File target;
  ASSERT_TRUE(target.open_temporary());
  struct Case {
    const char* address;
    int32_t status;
    const char* body;
    const char* final_address;
  };
  const Case cases[] = {
      {"index.html#top", 0, "<p>news</p>", "http://news.test/index.html"},
      {"img/logo.gif", 0, "GIF89a", "http://news.test/img/logo.gif"},
      {"secret.html", 108, "", "http://news.test/secret.html"},
      {"moved", 0, "here", "http://news.test/new"},
      {"missing.html", 107, "", "http://news.test/missing.html"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    WebRequest request;
    request.base = String("http://news.test/a/../");
    request.address = String(c.address);
    request.target = &target;
    WebResult result = web.get(request);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.final_address.to_utf8(), c.final_address);
    std::string body(static_cast<std::size_t>(target.size()), '\0');
    target.read(body.data(), static_cast<int32_t>(body.size()));
    EXPECT_EQ(body, c.body);
  }
  EXPECT_EQ(web.hits("http://news.test/index.html"), 1);

  WebRequest post;
  post.address = String("http://news.test/index.html");
  post.form_data = String("q=1");
  post.target = &target;
  web.abort_all();
  EXPECT_EQ(web.post(post).status, 0);  // posts go on, as the connector's do
  EXPECT_EQ(web.get(post).status, errors::internet_disabled);
  EXPECT_EQ(web.requests().back(), "POST http://news.test/index.html q=1");
  EXPECT_EQ(web.requests().size(), 6u);
}

}  // namespace
}  // namespace wayfetch::testing
