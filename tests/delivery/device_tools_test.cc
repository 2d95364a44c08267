// Finding the handheld tools in the settings and starting them: stand-in
// shell scripts write down the arguments they were given.
#include "delivery/device_tools.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>

#include "delivery/wayfetch_replicator.h"
#include "platform/launcher.h"
#include "platform/settings_store_fake.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

namespace names = device_tool_names;
using testing::read_bytes;

TEST(DeviceToolsTest, PathsComeFromTheSettings) {
  struct Value {
    std::string_view key, name, value;
  };
  struct Case {
    std::vector<Value> values;
    DeviceTools expected;
  } cases[] = {
      {{}, {"", "/inst/lorvepocsync", "/inst/lorvebmsync"}},
      {{{names::windows_ce_key, "", "/ce/wcesmgr"}, {names::windows_ce_fallback_key, "", "/s"}},
       {"/ce/wcesmgr", "/inst/lorvepocsync", "/inst/lorvebmsync"}},
      {{{names::windows_ce_fallback_key, "", "/ce/syncmgr"}},
       {"/ce/syncmgr", "/inst/lorvepocsync", "/inst/lorvebmsync"}},
      // The first key without a path hides the second.
      {{{names::windows_ce_key, "Other", "x"}, {names::windows_ce_fallback_key, "", "/s"}},
       {"", "/inst/lorvepocsync", "/inst/lorvebmsync"}},
      {{{names::program_key, names::epoc_tool, "/opt/epoc"},
        {names::program_key, names::ebookman_tool, ""}},
       {"", "/opt/epoc", ""}},
  };
  for (const Case& c : cases) {
    platform::SettingsData data;
    for (const Value& v : c.values) data.set(v.key, v.name, v.value);
    platform::MemorySettingsStore store(data);
    DeviceTools tools = find_device_tools(store, "/inst");
    EXPECT_EQ(
        std::tie(tools.windows_ce_manager, tools.epoc_tool, tools.ebookman_tool),
        std::tie(c.expected.windows_ce_manager, c.expected.epoc_tool, c.expected.ebookman_tool));
  }
}

TEST(DeviceToolsTest, ToolsGetTheirArgumentsAsAVector) {
  testing::TempDir dir;
  auto script = [&](const std::string& name) {
    std::string path = dir.file(name);
    testing::write_bytes(path, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n");
    chmod(path.c_str(), 0755);
    return path;
  };
  ReplicatorSetup setup;
  setup.tools = {script("wcesmgr"), script("lorvepocsync"), script("lorve bmsync")};
  setup.device_type = "ebm";
  WayfetchReplicator replicator(setup);
  EXPECT_TRUE(replicator.sync_windows_ce());
  EXPECT_TRUE(replicator.start_epoc_tool());
  EXPECT_TRUE(replicator.hand_over_ebook("/data/a b/-x;rm.prc"));
  ASSERT_TRUE(platform::wait_for_children(std::chrono::seconds(10)));
  EXPECT_EQ(read_bytes(dir.file("wcesmgr.args")), "/syncnow\n");
  EXPECT_EQ(read_bytes(dir.file("lorvepocsync.args")), "-connect\n");
  EXPECT_EQ(read_bytes(dir.file("lorve bmsync.args")), "-s\n/data/a b/-x;rm.prc\n");

  // Unset or missing tools, or another device type, do nothing.
  WayfetchReplicator none(ReplicatorSetup{"", "", "", {"", dir.file("missing"), ""}});
  EXPECT_FALSE(none.sync_windows_ce());
  EXPECT_FALSE(none.start_epoc_tool());
  EXPECT_FALSE(none.send_to_ebookman("/a.prc"));
  setup.device_type = "palm";
  std::filesystem::remove(dir.file("lorve bmsync.args"));
  EXPECT_FALSE(WayfetchReplicator(setup).hand_over_ebook("/a.prc"));
  EXPECT_FALSE(std::filesystem::exists(dir.file("lorve bmsync.args")));
}

}  // namespace
}  // namespace wayfetch
