// The host is itself the stand-in for an operating-system service (the
// HotSync manager), so it loads conduits with the dynamic loader directly.
#include "hotsync/conduit_library.h"

#include <dlfcn.h>

namespace wayfetch::hotsync {

std::unique_ptr<ConduitLibrary> ConduitLibrary::load(const std::string& path, std::string& error) {
  if (path.empty() || path.front() != '/') {
    error = "the library path \"" + path + "\" is not absolute";
    return nullptr;
  }
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (handle == nullptr) {
    const char* why = ::dlerror();
    error = why != nullptr ? why : "the library cannot be loaded";
    return nullptr;
  }
  return std::unique_ptr<ConduitLibrary>(new ConduitLibrary(handle));
}

ConduitLibrary::~ConduitLibrary() {
  ::dlclose(handle_);
}

void* ConduitLibrary::symbol(const char* name) const {
  return ::dlsym(handle_, name);
}

}  // namespace wayfetch::hotsync
