// "wayfetch --extract": the worked example's template against the fixture
// site on the loopback server, item choices, failures and exit codes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/extract_command.h"
#include "app/quick_publish.h"
#include "tests/app/captured_run.h"
#include "tests/support/http_test_server.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

namespace fs = std::filesystem;
using testing::read_bytes;
using testing::TempDir;

const fs::path source = WAYFETCH_SOURCE_DIR;

class ExtractCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The command uses the system's proxy settings; none may catch the
    // loopback server.
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "all_proxy", "ALL_PROXY"}) {
      env_.set(name, nullptr);
    }
    server_ = std::make_unique<testing::HttpTestServer>([](const testing::TestRequest& request) {
      const fs::path file = source / "tests/extraction/site" / request.path().substr(1);
      std::error_code error;
      if (!fs::is_regular_file(file, error)) {
        return testing::TestResponse::status_only(404, "Not Found");
      }
      return testing::TestResponse::typed(
          request.path().ends_with(".xml") ? "text/xml" : "text/html", read_bytes(file.string()));
    });
    ASSERT_TRUE(server_->start());
  }

  // The example's template, pointed at the server, in the scratch folder.
  std::string harbour() {
    const std::string path = dir_.file("harbour.enews");
    const std::string example = (source / "examples/enews-rendering/harbour.enews").string();
    testing::write_bytes(
        path, testing::replace_all(read_bytes(example), "http://127.0.0.1:8317", server_->url("")));
    return path;
  }

  testing::CapturedRun extract(const std::string& path,
                               const std::optional<std::string>& items = {}) {
    return testing::capture_run(
        [&](std::FILE* out, std::FILE* err) { return run_extract(path, items, out, err); });
  }

  testing::ScopedEnv env_;
  TempDir dir_;
  std::unique_ptr<testing::HttpTestServer> server_;
};

TEST_F(ExtractCommandTest, ExtractsTheExampleAndReportsAsItGoes) {
  const testing::CapturedRun all = extract(harbour());
  EXPECT_EQ(all.code, exit_success) << all.err;
  EXPECT_EQ(all.out,
            dir_.file("harbour.data.xml") + " (282 bytes)\n" + dir_.file("harbour.data0.xml") +
                " (" + std::to_string(fs::file_size(dir_.file("harbour.data0.xml"))) + " bytes)\n");
  EXPECT_EQ(all.err,
            "wayfetch: template loaded, extraction started\n"
            "wayfetch: downloaded a file for the main document\n"
            "wayfetch: downloaded a file for item 0\n"
            "wayfetch: data files written\n"
            "wayfetch: extraction finished\n");

  // No item selected: the section is passed over without a word.
  fs::remove(dir_.file("harbour.data0.xml"));
  const testing::CapturedRun none = extract(harbour(), "");
  EXPECT_EQ(none.code, exit_success) << none.err;
  EXPECT_FALSE(fs::exists(dir_.file("harbour.data0.xml")));
  EXPECT_EQ(none.err.find("log"), std::string::npos) << none.err;
}

TEST_F(ExtractCommandTest, FailuresAndWrongCommandLines) {
  const std::string broken = dir_.file("broken.enews");
  testing::write_bytes(broken, "<e><n>kept</n><f action=\"follow\"/></e>");
  const testing::CapturedRun logged = extract(broken);
  EXPECT_EQ(logged.code, exit_failure);
  EXPECT_NE(logged.err.find("Error(extraction): URL parameter not found (and needed)\n"
                            "     line: 0000001 in file: " +
                            broken),
            std::string::npos)
      << logged.err;
  EXPECT_EQ(read_bytes(dir_.file("broken.data.xml")), "<e ><n >kept</n></e>");

  EXPECT_EQ(extract(dir_.file("missing.enews")).code, exit_failure);
  EXPECT_EQ(extract(dir_.file("page.html")).code, exit_usage);
  EXPECT_EQ(extract(harbour(), "1").code, exit_usage);
  EXPECT_EQ(extract(harbour(), "0,x").code, exit_usage);
  EXPECT_EQ(extract(harbour(), "0,").code, exit_usage);

  const std::string program = WAYFETCH_PROGRAM;
  EXPECT_EQ(std::system((program + " --extract >/dev/null 2>&1").c_str()) >> 8, exit_usage);
  EXPECT_EQ(std::system((program + " --extract a.enews --items >/dev/null 2>&1").c_str()) >> 8,
            exit_usage);
  std::FILE* help = ::popen((program + " --help").c_str(), "r");
  std::string text;
  char block[4096];
  for (std::size_t got; (got = std::fread(block, 1, sizeof block, help)) > 0;)
    text.append(block, got);
  ::pclose(help);
  EXPECT_NE(text.find("--extract TEMPLATE.enews [--items LIST]"), std::string::npos);
}

}  // namespace
}  // namespace wayfetch
