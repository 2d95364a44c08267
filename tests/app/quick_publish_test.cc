#include "app/quick_publish.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tests/ebook/book_file.h"
#include "tests/app/captured_run.h"
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
using Published = testing::CapturedRun;
Published quick_publish(const std::string& source, const std::string& target) {
  return testing::capture_run([&](std::FILE* out, std::FILE* err) {
    return run_quick_publish(source, target, out, err);
  });
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
  write_bytes(dir.file("pictures.html"),
              "<body><img src=broken.gif>x<img src='http://example.org/photo.jpg'>"
              "<img src=gone.png><img src=gone.png><img src=http://example.org/photo.jpg></body>");
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

  // Pictures left out or that cannot be decoded are warnings, once each;
  // the book is made.
  const Published warned = quick_publish(dir.file("pictures.html"), "");
  EXPECT_EQ(warned.code, exit_success);
  const std::string left_out =
      "wayfetch: warning: picture http://example.org/photo.jpg: a web address (pictures are not "
      "downloaded), left out of the book\n"
      "wayfetch: warning: picture " +
      dir.file("gone.png") + ": no such file, left out of the book\n";
  EXPECT_EQ(warned.err.substr(0, left_out.size()), left_out);
  EXPECT_EQ(warned.err.find("wayfetch: warning: picture " + dir.file("broken.gif") + ": "),
            left_out.size())
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

std::vector<std::string> names_in(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

// Stopped by SIGINT, SIGTERM or SIGHUP, the command removes its working folder and
// the hidden partial book, keeps the previous book and ends by the signal.
TEST(QuickPublishTest, SignalsLeaveNoWorkingFilesAndKeepTheOldBook) {
  TempDir site;
  std::string body;
  while (body.size() < 6'000'000) body += "<p>The walk starts at the <b>fish market</b> &amp; ";
  const std::string page = site.file("long.html");
  write_bytes(page, "<html><body>" + body + "</body></html>");

  for (const int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    TempDir work;
    TempDir shelf;
    const std::string book = shelf.file("long.prc");
    write_bytes(book, "yesterday's book");

    std::vector<std::string> environment = {"TMPDIR=" + work.path()};
    for (char** e = environ; *e != nullptr; ++e) {
      if (!std::string_view(*e).starts_with("TMPDIR=")) environment.emplace_back(*e);
    }
    std::vector<char*> envp;
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = WAYFETCH_PROGRAM;
    std::string publish = "--publish";
    std::string page_arg = page;
    std::string book_arg = book;
    char* argv[] = {program.data(), publish.data(), page_arg.data(), book_arg.data(), nullptr};

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      std::signal(SIGINT, SIG_DFL);
      std::signal(SIGTERM, SIG_DFL);
      std::signal(SIGHUP, SIG_DFL);
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      execve(argv[0], argv, envp.data());
      _exit(127);
    }
    // Signal once both the working folder and the partial book exist.
    bool both = false;
    int status = 0;
    for (int i = 0; i < 30000 && !both; ++i) {
      both = names_in(work.path()).size() == 1 && names_in(shelf.path()).size() == 2;
      if (!both) {
        ASSERT_EQ(waitpid(child, &status, WNOHANG), 0) << "the publish ended too soon";
        usleep(1000);
      }
    }
    ASSERT_TRUE(both);
    kill(child, signal_number);
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << status;
    EXPECT_TRUE(names_in(work.path()).empty());
    EXPECT_EQ(names_in(shelf.path()), std::vector<std::string>{"long.prc"});
    EXPECT_EQ(read_bytes(book), "yesterday's book");
  }
}

// A UTF-8 page read back by real readers: libmobi's and calibre's, each
// when installed, must show its characters (the book holds Windows-1252).
TEST(QuickPublishTest, Utf8PageReadsRightInReaders) {
  std::string output;
  const bool mobitool = run("command -v mobitool", output) == 0;
  const bool calibre = run("command -v ebook-convert", output) == 0;
  if (!mobitool && !calibre) GTEST_SKIP() << "neither mobitool nor ebook-convert is installed";
  TempDir dir;
  const std::string words =
      "Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln, voil\xC3\xA0 l\xE2\x80\x99\xC3\xA9t\xC3\xA9 "
      "\xE2\x80\x94 \xE2\x80\x9Equoted\xE2\x80\x9C \xE6\x97\xA5\xE6\x9C\xAC\xE3\x81\xAE"
      "\xE6\x98\x94\xE8\xA9\xB1";
  const std::string page = dir.file("m\xC3\xA4rchen.html");
  write_bytes(page, "<html><head><meta charset=\"utf-8\"></head><body><p>" + words +
                        "</p></body></html>");
  const std::string book = dir.file("m\xC3\xA4rchen.prc");
  ASSERT_EQ(quick_publish(page, "").code, exit_success);
  if (mobitool) {
    const std::string markup = dir.file("markup");
    std::filesystem::create_directory(markup);
    ASSERT_EQ(run("mobitool -s -o '" + markup + "' '" + book + "'", output), 0) << output;
    const std::string html = read_bytes(markup + "/m\xC3\xA4rchen_markup/part00000.html");
    // libmobi turns the Windows-1252 text into UTF-8 and keeps references.
    EXPECT_NE(html.find(words.substr(0, words.find("\xE6"))), std::string::npos) << html;
    EXPECT_NE(html.find("&#26085;&#26412;&#12398;&#26132;&#35441;"), std::string::npos);
  }
  if (calibre) {
    const std::string text = dir.file("book.txt");
    ASSERT_EQ(run("QT_QPA_PLATFORM=offscreen ebook-convert '" + book + "' '" + text + "'", output),
              0)
        << output;
    EXPECT_NE(read_bytes(text).find(words), std::string::npos) << read_bytes(text);
  }
}

}  // namespace
}  // namespace wayfetch
