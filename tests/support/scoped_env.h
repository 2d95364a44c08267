// Environment values set for one test and restored when it ends, and the
// user's XDG folders pointed into a test's temporary folder, so that no test
// touches the real ~/.config or ~/.local/share.
#ifndef WAYFETCH_TESTS_SUPPORT_SCOPED_ENV_H
#define WAYFETCH_TESTS_SUPPORT_SCOPED_ENV_H

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace wayfetch::testing {

class ScopedEnv {
 public:
  ScopedEnv() = default;
  ~ScopedEnv() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) {
        setenv(it->first.c_str(), it->second->c_str(), 1);
      } else {
        unsetenv(it->first.c_str());
      }
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

  // Sets `name` (nullptr unsets it) until this object ends.
  void set(const std::string& name, const char* value) {
    const char* old = std::getenv(name.c_str());
    saved_.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
    if (value != nullptr) {
      setenv(name.c_str(), value, 1);
    } else {
      unsetenv(name.c_str());
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// XDG_CONFIG_HOME = <folder>/config, XDG_DATA_HOME = <folder>/data.
class XdgFolders {
 public:
  explicit XdgFolders(const std::string& folder)
      : config_(folder + "/config"), data_(folder + "/data") {
    env_.set("XDG_CONFIG_HOME", config_.c_str());
    env_.set("XDG_DATA_HOME", data_.c_str());
  }
  const std::string& config() const { return config_; }
  const std::string& data() const { return data_; }

 private:
  std::string config_;
  std::string data_;
  ScopedEnv env_;
};

}  // namespace wayfetch::testing

#endif
