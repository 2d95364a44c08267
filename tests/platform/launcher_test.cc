// Started programs see their arguments as given and no descriptor but 0-2,
// lead a session of their own on request, and are reaped without touching
// other children of the process; missing programs only report an error.
#include "platform/launcher.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"

extern char** environ;

namespace wayfetch::platform {
namespace {

using testing::read_bytes;
using testing::TempDir;
using testing::write_bytes;

class LauncherTest : public ::testing::Test {
 protected:
  // A script that reports its arguments, whether descriptor `probe` is open
  // in it, its process and session ids, and then ends.
  std::string reporting_script(int probe) {
    std::string path = dir_.file("report-tool");
    write_bytes(path,
                "#!/bin/sh\n"
                "out='" + dir_.file("out") + "'\n"
                "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > \"$out.tmp\"\n"
                "if [ -e /proc/$$/fd/" + std::to_string(probe) +
                    " ]; then echo inherited; else echo closed; fi >> \"$out.tmp\"\n"
                "set -- $(cat /proc/$$/stat)\n"
                "echo \"$1 $6\" >> \"$out.tmp\"\n"
                "mv \"$out.tmp\" \"$out\"\n");
    chmod(path.c_str(), 0755);
    return path;
  }

  // The script's report, waited for at most ten seconds.
  std::string report() {
    for (int i = 0; i < 1000 && read_bytes(dir_.file("out")).empty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return read_bytes(dir_.file("out"));
  }

  TempDir dir_;
};

TEST_F(LauncherTest, ChildSeesItsArgumentsAndOnlyStandardDescriptors) {
  // A descriptor opened without close-on-exec, as a careless library might.
  int leaky = open("/dev/null", O_RDONLY);
  ASSERT_GE(leaky, 3);
  const std::vector<std::string> arguments = {"plain", "two words", "; rm -rf /", "$HOME",
                                              "*", ""};
  for (bool new_session : {false, true}) {
    SCOPED_TRACE(new_session);
    std::remove(dir_.file("out").c_str());
    LaunchStatus status = launch(reporting_script(leaky), arguments, LaunchOptions{new_session});
    ASSERT_TRUE(status.ok()) << status.message;
    std::string pid = std::to_string(status.process_id);
    std::string session = new_session ? pid : std::to_string(getsid(0));
    EXPECT_EQ(report(), "[plain]\n[two words]\n[; rm -rf /]\n[$HOME]\n[*]\n[]\nclosed\n" + pid +
                            " " + session + "\n");
  }
  close(leaky);
}

TEST_F(LauncherTest, ChildrenAreReapedAndOtherChildrenAreLeftAlone) {
  // A child of the process that the launcher did not start: its exit status
  // must still be there for its owner.
  pid_t own = -1;
  const char* own_argv[] = {"/bin/sh", "-c", "exit 7", nullptr};
  ASSERT_EQ(posix_spawn(&own, "/bin/sh", nullptr, nullptr, const_cast<char**>(own_argv), environ),
            0);

  LaunchStatus status = launch("/bin/sh", {"-c", "exit 0"});
  ASSERT_TRUE(status.ok()) << status.message;
  ASSERT_TRUE(wait_for_children(std::chrono::seconds(10)));
  // Reaped: no zombie is left under that id.
  EXPECT_EQ(kill(status.process_id, 0), -1);
  EXPECT_EQ(errno, ESRCH);

  int own_status = 0;
  ASSERT_EQ(waitpid(own, &own_status, 0), own);
  EXPECT_TRUE(WIFEXITED(own_status));
  EXPECT_EQ(WEXITSTATUS(own_status), 7);
}

TEST_F(LauncherTest, ProgramsThatCannotStartOnlyReportIt) {
  std::string plain_file = dir_.file("not executable");
  write_bytes(plain_file, "#!/bin/sh\ntouch '" + dir_.file("ran") + "'\n");
  struct Case {
    std::string program;
    int error;
  };
  const Case cases[] = {
      {dir_.file("missing"), ENOENT},
      {"wayfetch-no-such-tool", ENOENT},
      {plain_file, EACCES},
      {"", EINVAL},
  };
  for (const Case& c : cases) {
    LaunchStatus status = launch(c.program, {"x"});
    EXPECT_EQ(status.error, c.error) << c.program;
    EXPECT_FALSE(status.message.empty());
  }
  EXPECT_EQ(open_with_desktop("--help").error, EINVAL);
  EXPECT_TRUE(wait_for_children(std::chrono::seconds(10)));
  EXPECT_TRUE(read_bytes(dir_.file("ran")).empty());
}

}  // namespace
}  // namespace wayfetch::platform
