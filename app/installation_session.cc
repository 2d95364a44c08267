#include "app/installation_session.h"

#include <iostream>

#include "app/quick_publish.h"
#include "config/non_interactive_prompts.h"
#include "core/string_table.h"
#include "platform/user_folders.h"

namespace wayfetch {

void print_message(std::FILE* err, int32_t id) {
  const std::string_view text = strings::text(id);
  std::fprintf(err, "wayfetch: %.*s\n", static_cast<int>(text.size()), text.data());
}

int InstallationSession::open() {
  // The first command on a fresh account stores where the installation is.
  (void)config_.register_program();
  const std::string folder = config_.installation_path().to_utf8();
  if (folder.empty() || !platform::make_folders(folder)) {
    std::fputs("wayfetch: the installation folder cannot be found or made\n", err_);
    return exit_not_run;
  }
  const std::string lock_path = folder + "/.lock";
  switch (lock_.try_lock(lock_path)) {
    case platform::FileLock::Result::locked:
      break;
    case platform::FileLock::Result::busy:
      std::fputs("wayfetch: another wayfetch is running\n", err_);
      return exit_not_run;
    case platform::FileLock::Result::failed:
      std::fprintf(err_, "wayfetch: cannot lock %s: %s\n", lock_path.c_str(),
                   lock_.error_text().c_str());
      return exit_not_run;
  }
  // Nobody is there to answer the offer to convert an earlier
  // installation: it is declined and offered again next time.
  std::cerr.flush();
  NonInteractivePrompts prompts(std::cerr);
  const WayfetchConfiguration::Startup startup =
      config_.start_up([&prompts](int32_t id) { return prompts.question(id).yes; });
  if (!startup.ok) {
    std::fprintf(err_, "wayfetch: the configuration in %s cannot be read\n",
                 config_.config_path().to_utf8().c_str());
    return exit_not_run;
  }
  if (startup.message == strings::invalid_configuration) {
    print_message(err_, strings::invalid_configuration);
    std::fprintf(err_, "wayfetch: %s is not valid; nothing was run or saved\n",
                 config_.config_path().to_utf8().c_str());
    return exit_not_run;
  }
  if (startup.message == strings::configuration_not_saved) {
    print_message(err_, strings::configuration_not_saved);
    return exit_failure;
  }
  return exit_success;
}

int InstallationSession::save() {
  if (config_.save_at_exit() == 0) return exit_success;
  print_message(err_, strings::configuration_not_saved);
  return exit_failure;
}

}  // namespace wayfetch
