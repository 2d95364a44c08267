// An https server whose certificate no authority signed is refused: the
// connector never switches certificate checks off. The server is the
// openssl tool's test server on a loopback port, with a certificate made
// for the test; the test is skipped where the tool is missing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "core/file.h"
#include "core/sync.h"
#include "tests/support/temp_dir.h"
#include "web/web_connector.h"

extern char** environ;

namespace wayfetch::testing {
namespace {

pid_t spawn(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

bool run(const std::vector<std::string>& arguments) {
  pid_t pid = spawn(arguments);
  int status = 0;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

// A loopback port that was free a moment ago.
int free_port() {
  int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof(address);
  int port = -1;
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(s);
  return port;
}

bool accepts(int port) {
  int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  ::close(s);
  return ok;
}

TEST(WebConnectorTls, UntrustedCertificateIsRefused) {
  TempDir dir;
  std::string key = dir.file("key.pem");
  std::string certificate = dir.file("certificate.pem");
  if (!run({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
            "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1", "-addext",
            "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", certificate})) {
    GTEST_SKIP() << "the openssl tool is not available";
  }
  int port = free_port();
  ASSERT_GT(port, 0);
  pid_t server = spawn({"openssl", "s_server", "-accept", "127.0.0.1:" + std::to_string(port),
                        "-cert", certificate, "-key", key, "-www", "-quiet"});
  ASSERT_GT(server, 0);
  auto start = std::chrono::steady_clock::now();
  while (!accepts(port) && std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
    sleep(20);
  }

  WebConnector connector;
  connector.set_proxy(WebConnector::ProxyMode::none, String(), String(), String());
  File target;
  ASSERT_TRUE(target.open_temporary());
  WebRequest request;
  request.address = String("https://127.0.0.1:" + std::to_string(port) + "/");
  request.target = &target;
  request.kind = ContentKind::page;
  request.timeout_ms = 10000;
  int32_t status = connector.get(request).status;
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
  EXPECT_EQ(status, 106);
  EXPECT_EQ(target.size(), 0);
}

}  // namespace
}  // namespace wayfetch::testing
