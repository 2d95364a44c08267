#include "ebook/local_link.h"

#include <gtest/gtest.h>

namespace wayfetch {
namespace {

TEST(LocalLinkTest, ResolvesAgainstThePage) {
  struct Case {
    std::string_view href;
    std::string file;
    std::string fragment;
    bool local;
  };
  const std::string page = "/home/u/site/news/index.html";
  const Case cases[] = {
      {"", page, "", true},
      {"#top", page, "top", true},
      {"?page=2#c", page, "c", true},
      {"other.html", "/home/u/site/news/other.html", "", true},
      {"  other.html#a#b  ", "/home/u/site/news/other.html", "a#b", true},
      {"../img/./a.gif", "/home/u/site/img/a.gif", "", true},
      {"../../../../../x.html", "/x.html", "", true},
      {"pics\\sub\\b.jpg", "/home/u/site/news/pics/sub/b.jpg", "", true},
      {"my%20file.html", "/home/u/site/news/my file.html", "", true},
      {"caf%C3%A9.html", "/home/u/site/news/caf\xC3\xA9.html", "", true},
      {"100%.html", "/home/u/site/news/100%.html", "", true},
      {"page.html?x=1", "/home/u/site/news/page.html", "", true},
      {"/var/www/a.html#s", "/var/www/a.html", "s", true},
      {"file:///var/www/a.html", "/var/www/a.html", "", true},
      {"FILE://localhost/var/a.png", "/var/a.png", "", true},
      {"C:\\docs\\a.html", "/docs/a.html", "", true},
      {"http://example.com/a.html#x", "http://example.com/a.html", "x", false},
      {"//cdn.example.com/s.css", "//cdn.example.com/s.css", "", false},
      {"mailto:someone@example.com", "mailto:someone@example.com", "", false},
      {"javascript:void(0)", "javascript:void(0)", "", false},
      {"file://server/share/a.html", "file://server/share/a.html", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.href));
    const LinkTarget target = resolve_link(page, c.href);
    EXPECT_EQ(target.file, c.file);
    EXPECT_EQ(target.fragment, c.fragment);
    EXPECT_EQ(target.local, c.local);
  }
}

TEST(LocalLinkTest, PathsHaveNoDepthLimit) {
  std::string folder;
  for (int i = 0; i < 30; ++i) folder += "/d" + std::to_string(i);
  const LinkTarget target = resolve_link(folder + "/page.html", "pics/a.gif");
  EXPECT_EQ(target.file, folder + "/pics/a.gif");
}

TEST(LocalLinkTest, PathPieces) {
  EXPECT_EQ(folder_of("/a/b/c.html"), "/a/b");
  EXPECT_EQ(folder_of("/c.html"), "/");
  EXPECT_EQ(folder_of("c.html"), "");
  EXPECT_EQ(file_name_of("a/b\\c.gif"), "c.gif");
  EXPECT_EQ(file_name_of("dir/"), "");
  EXPECT_EQ(normal_path("//a/./b//../c"), "/a/c");
  EXPECT_EQ(normal_path("../a/../../b"), "../../b");
  EXPECT_EQ(normal_path("/.."), "/");
  EXPECT_EQ(join_path("", "a.html"), "a.html");
  EXPECT_EQ(join_path("/x/y", "/abs.html"), "/abs.html");
}

}  // namespace
}  // namespace wayfetch
