#include "app/quick_publish.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/ebook/book_file.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

using testing::read_bytes;
using testing::TempDir;
using testing::write_bytes;

const std::string example_page =
    std::string(WAYFETCH_SOURCE_DIR) + "/examples/quick-publish/harbour-walk.html";

// Runs a command line; returns its exit status and what it printed.
int run(const std::string& command, std::string& output) {
  output.clear();
  std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  char block[4096];
  for (std::size_t got; (got = std::fread(block, 1, sizeof block, pipe)) > 0;)
    output.append(block, got);
  const int status = ::pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// run_quick_publish with its output and messages caught.
struct Published {
  int code = -1;
  std::string out;
  std::string err;
};

Published quick_publish(const std::string& source, const std::string& target) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  Published result;
  result.code = run_quick_publish(source, target, out, err);
  for (auto [file, text] : {std::pair{out, &result.out}, std::pair{err, &result.err}}) {
    std::rewind(file);
    char block[4096];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;)
      text->append(block, got);
    std::fclose(file);
  }
  return result;
}

TEST(QuickPublishTest, TargetNames) {
  TempDir dir;
  const std::string folder = dir.path();
  struct Case {
    std::string source;
    std::string target;
    std::string book;
  };
  const Case cases[] = {
      {"/p/news.html", "", "/p/news.prc"},      {"/p/news.today.htm", "", "/p/news.today.prc"},
      {"/p.d/readme", "", "/p.d/readme.prc"},   {"/p/a.html", "/q/book.pdb", "/q/book.prc"},
      {"/p/a.html", "/q/book", "/q/book.prc"},  {"/p/a.html", "/q/.hidden", "/q/.hidden.prc"},
      {"/p/a.html", folder, folder + "/a.prc"}, {"/p/a.html", folder + "/", folder + "/a.prc"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(quick_publish_target(c.source, c.target), c.book) << c.source << " " << c.target;
  }
}

TEST(QuickPublishTest, PublishesAndReportsPathAndSize) {
  TempDir dir;
  const std::string book = dir.file("walk.prc");
  const Published result = quick_publish(example_page, dir.file("walk.pdb"));
  ASSERT_EQ(result.code, exit_success) << result.err;
  EXPECT_EQ(result.err, "");
  const auto size = std::filesystem::file_size(book);
  EXPECT_EQ(result.out, book + " (" + std::to_string(size) + " bytes)\n");

  const testing::BookFile read = testing::read_book(book);
  EXPECT_EQ(read.title, "harbour-walk");
  // The notice page is on, and both pictures are real bitmaps.
  EXPECT_NE(read.text.find("Copyright Information"), std::string::npos);
  ASSERT_EQ(read.record_count, 1 + read.text_records + 2);
  EXPECT_EQ(read.picture(1).substr(0, 2), "BM");
  EXPECT_EQ(read.picture(2).substr(0, 2), "BM");
  EXPECT_GT(read.picture(2).size(), read.picture(1).size());  // the photograph
}

TEST(QuickPublishTest, FailuresAreExplained) {
  TempDir dir;
  struct Case {
    std::string source;
    std::string message;
  };
  write_bytes(dir.file("notes.md"), "# notes");
  write_bytes(dir.file("frag.html"), "<p>no body</p>");
  write_bytes(dir.file("broken.gif"), "not a picture");
  write_bytes(dir.file("pictures.html"), "<body><img src=broken.gif>x</body>");
  const Case cases[] = {
      {dir.file("missing.html"),
       "wayfetch: the source file '" + dir.file("missing.html") + "' does not exist\n"},
      {dir.path(), "wayfetch: the source '" + dir.path() + "' is not a file\n"},
      {dir.file("notes.md"),
       "wayfetch: cannot publish '" + dir.file("notes.md") +
           "': only HTML (.htm, .html) and text (.txt) files can be published\n"},
      {dir.file("frag.html"),
       "wayfetch: publishing '" + dir.file("frag.html") + "' failed: The file " +
           dir.file("frag.html") +
           ", referenced in the Manifest is not a valid OEB Document : no tag <BODY> found\n"},
  };
  for (const Case& c : cases) {
    const Published result = quick_publish(c.source, "");
    EXPECT_EQ(result.code, exit_failure) << c.source;
    EXPECT_EQ(result.err, c.message);
    EXPECT_EQ(result.out, "");
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("frag.prc")));

  // A picture that cannot be decoded is a warning; the book is made.
  const Published warned = quick_publish(dir.file("pictures.html"), "");
  EXPECT_EQ(warned.code, exit_success);
  EXPECT_EQ(warned.err.rfind("wayfetch: warning: picture " + dir.file("broken.gif") + ": ", 0), 0u)
      << warned.err;
}

TEST(QuickPublishTest, CommandLine) {
  const std::string program = WAYFETCH_PROGRAM;
  std::string output;
  EXPECT_EQ(run(program + " --help", output), 0);
  EXPECT_NE(output.find("--publish SOURCE [TARGET]"), std::string::npos);
  EXPECT_EQ(run(program + " --publish", output), exit_usage);
  EXPECT_NE(output.find("--publish needs a SOURCE page"), std::string::npos);
  EXPECT_EQ(run(program + " --publish a b c", output), exit_usage);
  EXPECT_EQ(run(program + " --publish /nonexistent/page.html", output), exit_failure);

  // Not a terminal: no progress lines, only the result.
  TempDir dir;
  EXPECT_EQ(run(program + " --publish '" + example_page + "' '" + dir.path() + "'", output), 0);
  EXPECT_EQ(output.find("converting record"), std::string::npos);
  EXPECT_EQ(output.rfind(dir.file("harbour-walk.prc") + " (", 0), 0u) << output;
}

// libmobi's reader, when installed, must find the text, the links and the
// pictures of the example book.
TEST(QuickPublishTest, ExampleBookOpensInMobitool) {
  std::string output;
  if (run("command -v mobitool", output) != 0) GTEST_SKIP() << "mobitool is not installed";
  TempDir dir;
  ASSERT_EQ(quick_publish(example_page, dir.file("walk.prc")).code, exit_success);
  const std::string markup = dir.file("markup");
  std::filesystem::create_directory(markup);
  ASSERT_EQ(run("mobitool -s -o '" + markup + "' '" + dir.file("walk.prc") + "'", output), 0)
      << output;
  const std::string folder = markup + "/walk_markup";
  const std::string html = read_bytes(folder + "/part00000.html");
  EXPECT_NE(html.find("The walk starts at the fish market"), std::string::npos);
  EXPECT_NE(html.find("Back through the old town"), std::string::npos);
  // filepos links become links to anchors the reader places.
  EXPECT_NE(html.find("<a href=\"#start\" href=\"#0"), std::string::npos) << html.substr(0, 2000);
  EXPECT_NE(html.find("<a id=\"0"), std::string::npos);
  int bitmaps = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() == ".bmp") ++bitmaps;
  }
  EXPECT_EQ(bitmaps, 2);
}

}  // namespace
}  // namespace wayfetch
