#include "program/installation_entries.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "config/settings_names.h"
#include "hotsync/conduit_registry.h"
#include "platform/settings_store_fake.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

using testing::read_bytes;
using testing::write_bytes;

namespace names = settings_names;

class InstallationEntriesTest : public ::testing::Test {
 protected:
  InstallationEntriesTest() {
    places_.program = dir_.file("bin dir/way$fetch");
    places_.data_home = dir_.file("data");
    places_.icon = dir_.file("icon.svg");
    places_.conduit_library = dir_.file("libLorvPalmSync.so");
    places_.conduit_registry = dir_.file("conduits");
    write_bytes(places_.icon, "<svg xmlns=\"http://www.w3.org/2000/svg\"/>\n");
  }

  std::string value(std::string_view name) {
    std::string out;
    (void)settings_.read_value(names::program_key, name, out);
    return out;
  }
  std::string desktop_file() const {
    return places_.data_home + "/applications/lorvane-wayfetch.desktop";
  }

  testing::TempDir dir_;
  InstallationPlaces places_;
  platform::MemorySettingsStore settings_;
};

TEST_F(InstallationEntriesTest, WritesEveryEntryOnceAndOnlyChangesWhatChanged) {
  InstallationReport first = register_installation(settings_, places_);
  EXPECT_TRUE(first.program_values && first.mime_package && first.desktop_entry && first.icon &&
              first.conduit);
  EXPECT_EQ(value(names::program_file), places_.program);
  EXPECT_EQ(value(names::installation_path), places_.data_home + "/lorvane-wayfetch");
  const std::string mime = read_bytes(places_.data_home + "/mime/packages/lorvane-wayfetch.xml");
  EXPECT_NE(mime.find("type=\"application/x-lorvane-subscription\""), std::string::npos);
  EXPECT_NE(mime.find("<glob pattern=\"*.enews\"/>"), std::string::npos);
  EXPECT_NE(mime.find("<comment>E-News Signatur</comment>"), std::string::npos);
  EXPECT_NE(read_bytes(desktop_file())
                .find("Exec=\"" + dir_.path() +
                      "/bin dir/way\\\\$fetch\" "
                      "-enews %f\n"),
            std::string::npos);
  EXPECT_EQ(read_bytes(places_.data_home + "/icons/hicolor/scalable/apps/lorvane-wayfetch.svg"),
            read_bytes(places_.icon));
  hotsync::ConduitRegistry registry(places_.conduit_registry);
  ASSERT_TRUE(registry.load().is_ok());
  const hotsync::Registration* conduit = registry.find("LORV");
  ASSERT_NE(conduit, nullptr);
  EXPECT_EQ(conduit->library, places_.conduit_library);
  EXPECT_EQ(conduit->title, "Lorvane");
  EXPECT_EQ(conduit->priority, 2);
  EXPECT_EQ(conduit->conduit_type, 1);

  // A later start from elsewhere, with the user's own conduit priority:
  // nothing is rewritten, the installation stays where it is.
  hotsync::Registration changed = *conduit;
  changed.priority = 7;
  ASSERT_TRUE(registry.update(changed).is_ok() && registry.save().is_ok());
  InstallationPlaces moved = places_;
  moved.program = dir_.file("elsewhere/wayfetch");
  const InstallationReport second = register_installation(settings_, moved);
  EXPECT_FALSE(second.program_values || second.mime_package || second.icon || second.conduit);
  EXPECT_TRUE(second.desktop_entry);  // its Exec names the program that runs now
  EXPECT_EQ(value(names::program_file), places_.program);
  hotsync::ConduitRegistry again(places_.conduit_registry);
  ASSERT_TRUE(again.load().is_ok());
  EXPECT_EQ(again.find("LORV")->priority, 7);
  const InstallationReport third = register_installation(settings_, moved);
  EXPECT_FALSE(third.desktop_entry);
}

TEST_F(InstallationEntriesTest, EachStepStandsAlone) {
  // A stored installation folder stays (the user's data is there), and a
  // registry file that cannot be read is never overwritten.
  ASSERT_TRUE(settings_.write_value(names::program_key, names::installation_path, "/kept").ok());
  write_bytes(places_.conduit_registry, "this is not a registration file\n");
  places_.icon = dir_.file("missing.svg");
  const InstallationReport report = register_installation(settings_, places_);
  EXPECT_TRUE(report.program_values && report.mime_package && report.desktop_entry);
  EXPECT_FALSE(report.icon || report.conduit);
  EXPECT_EQ(value(names::installation_path), "/kept");
  EXPECT_EQ(read_bytes(places_.conduit_registry), "this is not a registration file\n");
}

TEST(DesktopExecTest, QuotesByTheDesktopEntryRules) {
  const std::pair<std::string, std::string> cases[] = {
      {"/usr/bin/wayfetch", "\"/usr/bin/wayfetch\" -enews %f"},
      {"/a b/c\"d", "\"/a b/c\\\\\"d\" -enews %f"},
      {"/x`y\\z", "\"/x\\\\`y\\\\\\\\z\" -enews %f"},
      {"/100%", "\"/100%%\" -enews %f"},
      {"/new\nline", ""},
  };
  for (const auto& [program, exec] : cases) EXPECT_EQ(desktop_exec_line(program), exec) << program;
}

TEST_F(InstallationEntriesTest, FreedesktopToolsAcceptTheEntriesWhenPresent) {
  (void)register_installation(settings_, places_);
  if (std::system("command -v desktop-file-validate >/dev/null 2>&1") == 0) {
    const std::string command = "desktop-file-validate '" + desktop_file() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }
  if (std::system("command -v update-mime-database >/dev/null 2>&1") == 0) {
    // The database is rebuilt by a detached process: bounded wait for it.
    const std::string globs = places_.data_home + "/mime/globs2";
    bool found = false;
    for (int i = 0; i < 250 && !found; ++i) {
      found =
          read_bytes(globs).find("application/x-lorvane-subscription:*.enews") != std::string::npos;
      if (!found) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(found);
  }
}

}  // namespace
}  // namespace wayfetch
