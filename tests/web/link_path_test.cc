#include "web/link_path.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wayfetch {
namespace {

// The text after setting each of `texts` in turn on a cleared path.
std::string after(const std::vector<std::string_view>& texts, LinkPath* out = nullptr) {
  LinkPath path;
  for (std::string_view text : texts) path.set(text);
  if (out != nullptr) *out = path;
  return std::string(path.text().window_bytes());
}

TEST(LinkPathTest, FollowsLinksBetweenLocalFiles) {
  struct {
    std::vector<std::string_view> texts;
    const char* expected;
  } cases[] = {
      {{"/home/u/site/a.html"}, "/home/u/site/a.html"},
      {{"/home/u/site/a.html", "../img/b.html"}, "/home/u/img/b.html"},
      {{"/home/u/site/a.html", "./sub/./c.html"}, "/home/u/site/sub/c.html"},
      {{"/home/u/site/a.html", "/etc/x.html"}, "/etc/x.html"},
      {{"/a.html", "../../../b.html"}, "/b.html"},
      // Windows-style input is still read; a drive letter is not written.
      {{"C:\\d1\\d2\\a.html", "..\\d3\\b.html"}, "/d1/d3/b.html"},
      {{"\\\\server\\share\\a.html", "b.html"}, "//server/share/b.html"},
      {{"file:///home/u/a.html"}, "/home/u/a.html"},
      {{"file:///C:/dir/a.html", "b.html"}, "/dir/b.html"},
      {{"file://localhost/home/a.html"}, "/home/a.html"},
      {{"file:////server/share/a.html"}, "//server/share/a.html"},
      // A run of separators counts as one; a trailing one is no piece.
      {{"/home//u\\\\site/", "x.html"}, "/home/u/x.html"},
      // Escapes in file names become one blank each, even cut short.
      {{"/home/u/a.html", "my%20file%2"}, "/home/u/my file "},
      {{"/home/u/a.html", "x%"}, "/home/u/x "},
      // A text without any name.
      {{"/home/u/a.html", "///"}, "/error.xxx"},
      {{"/home/u/a.html", ""}, "/home/u/error.xxx"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(after(c.texts), c.expected) << c.texts.back();
  }
}

TEST(LinkPathTest, WebPaths) {
  LinkPath path;
  EXPECT_EQ(after({"HTTP://news.example/a/b/page.html#top"}, &path),
            "http://news.example/a/b/page.html");
  EXPECT_EQ(path.kind(), LinkPath::Kind::http);
  EXPECT_EQ(path.host(), "news.example");
  EXPECT_EQ(path.fragment(), "top");
  // A last piece without "." or "?" is a directory; "%" stays in web paths.
  EXPECT_EQ(after({"http://h/a/b"}, &path), "http://h/a/b");
  EXPECT_EQ(path.directory_count(), 2u);
  EXPECT_EQ(after({"http://h/cgi/run?x=%20"}), "http://h/cgi/run?x=%20");
  EXPECT_EQ(after({"http://h/a/b.html", "/c.html"}), "http://h/c.html");
  EXPECT_EQ(after({"http://h"}), "http://h");
  // Other schemes are no absolute texts here: their pieces become names.
  EXPECT_EQ(after({"https://h/x.html"}), "/https:/h/x.html");
}

TEST(LinkPathTest, FragmentsAndScriptLinks) {
  LinkPath path;
  path.set("/home/u/a.html#old");
  path.set("#new");
  EXPECT_EQ(std::string(path.text().window_bytes()), "/home/u/a.html");
  EXPECT_EQ(path.fragment(), "new");

  path.set("b.html#sec/2");
  EXPECT_EQ(path.file_name(), "b.html");
  EXPECT_EQ(path.fragment(), "sec/2");
  // A link without "#" does not keep the previous link's fragment.
  path.set("c.html");
  EXPECT_EQ(path.fragment(), "");

  // A "#" after a separator: the names before it are directories and there
  // is no file name (no "error.xxx" either).
  LinkPath web;
  web.set("http://h/a/b.html");
  web.set("sub/#part");
  EXPECT_EQ(std::string(web.text().window_bytes()), "http://h/a/sub");
  EXPECT_EQ(web.directory_count(), 2u);
  EXPECT_EQ(web.file_name(), "");
  EXPECT_EQ(web.fragment(), "part");
  web.set("/#top");
  EXPECT_EQ(std::string(web.text().window_bytes()), "http://h");
  EXPECT_EQ(web.fragment(), "top");

  LinkPath before = path;
  path.set("javascript:open('x.html')");
  path.set("JavaScript:void(0)");
  EXPECT_TRUE(path.same_as(before));
  EXPECT_EQ(path.file_name(), "c.html");
}

TEST(LinkPathTest, LimitsHold) {
  LinkPath path;
  std::string deep = "/";
  for (int i = 1; i <= 12; ++i) deep.append("d").append(std::to_string(i)).append("/");
  // Relative texts drop directories past the ninth.
  path.set(std::string(deep).append("f.html"));
  EXPECT_EQ(path.directory_count(), 9u);
  EXPECT_EQ(path.directory(8), "d9");
  // Absolute texts overwrite the ninth.
  path.set(std::string("http://h").append(deep).append("f.html"));
  EXPECT_EQ(path.directory_count(), 9u);
  EXPECT_EQ(path.directory(8), "d12");

  path.clear();
  std::string long_names = "/";
  long_names.append(300, 'd').append("/").append(600, 'f').append("#").append(600, 'g');
  path.set(long_names);
  EXPECT_EQ(path.directory(0).size(), LinkPath::max_directory);
  EXPECT_EQ(path.file_name().size(), LinkPath::max_file_name);
  EXPECT_EQ(path.fragment().size(), LinkPath::max_fragment);
  EXPECT_EQ(path.text().length(), static_cast<int32_t>(LinkPath::max_text));
}

TEST(LinkPathTest, SameAsComparesTexts) {
  LinkPath a;
  LinkPath b;
  a.set("/home/u/x.html#one");
  b.set("/home/u/sub/../x.html#two");
  EXPECT_TRUE(a.same_as(b));
  b.set("/home/u/X.html");
  EXPECT_FALSE(a.same_as(b));
}

}  // namespace
}  // namespace wayfetch
