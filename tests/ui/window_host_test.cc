// The window host runs the real program with the window, in a process of
// its own (a process has one QApplication): the program is made with the
// window as its front end and initialised before the loop, an exit request
// from another thread ends the loop, and the program is stopped (saving the
// configuration) before run() returns.
#include <gtest/gtest.h>

#include <QTimer>

#include <filesystem>
#include <memory>
#include <thread>

#include "config/settings_names.h"
#include "platform/settings_store_fake.h"
#include "program/wayfetch_program.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"
#include "ui/main_window.h"
#include "ui/qt_window_host.h"

namespace wayfetch {
namespace {

TEST(QtWindowHostTest, RunsTheProgramWithTheWindowUntilExitIsAsked) {
  testing::TempDir dir;
  testing::ScopedEnv env;
  const std::string runtime = dir.file("run");
  std::filesystem::create_directories(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  env.set("XDG_RUNTIME_DIR", runtime.c_str());
  env.set("QT_QPA_PLATFORM", "offscreen");
  testing::XdgFolders folders(dir.file("home"));
  platform::MemorySettingsStore store;
  const std::string installation = dir.file("installation");
  ASSERT_TRUE(
      store
          .write_value(settings_names::program_key, settings_names::installation_path, installation)
          .ok());

  QtWindowHost host;
  EXPECT_TRUE(host.available());
  bool window_was_attached = false;
  QtWindowHost with_setup(nullptr, [&](MainWindow& window, ApplicationCore&) {
    window_was_attached = window.windowTitle() == "Lorvane Wayfetch";
    // Asked from another thread once the loop runs, as a later start would.
    QTimer::singleShot(0, &window,
                       [&window] { std::thread([&window] { window.exit_requested(); }).join(); });
  });
  char name[] = "wayfetch";
  char* argv[] = {name, nullptr};
  const int code = with_setup.run(1, argv, true, [&](ProgramFrontEnd& front_end) {
    return std::make_unique<WayfetchProgram>(store, front_end);
  });
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(window_was_attached);
  // Initialised (the installation's data folder made) and stopped (saved).
  EXPECT_TRUE(std::filesystem::is_directory(installation + "/data"));
  EXPECT_TRUE(std::filesystem::is_regular_file(installation + "/config.xml"));
}

}  // namespace
}  // namespace wayfetch
