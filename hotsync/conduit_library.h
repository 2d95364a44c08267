// ConduitLibrary: one conduit shared library loaded into the host.
//
// The library is loaded with RTLD_NOW (a missing symbol fails the load, not
// a later call), RTLD_LOCAL (its symbols do not serve other libraries) and
// RTLD_NODELETE: it stays mapped until the process ends, so a thread the
// conduit left behind never runs in unmapped code. The destructor releases
// the handle; the host destroys a ConduitLibrary only after the conduit's
// OpenConduit has returned, and never when it did not. Only absolute paths
// are loaded, so no library search path can put another file in its place.
// Not thread-safe.
#ifndef WAYFETCH_HOTSYNC_CONDUIT_LIBRARY_H
#define WAYFETCH_HOTSYNC_CONDUIT_LIBRARY_H

#include <memory>
#include <string>

namespace wayfetch::hotsync {

class ConduitLibrary {
 public:
  // The loaded library, or nullptr with `error` saying why.
  static std::unique_ptr<ConduitLibrary> load(const std::string& path, std::string& error);
  ConduitLibrary(const ConduitLibrary&) = delete;
  ConduitLibrary& operator=(const ConduitLibrary&) = delete;
  ~ConduitLibrary();

  // The exported function `name` as a `Function` pointer, or nullptr.
  template <typename Function>
  Function function(const char* name) const {
    return reinterpret_cast<Function>(symbol(name));
  }

 private:
  explicit ConduitLibrary(void* handle) : handle_(handle) {}
  void* symbol(const char* name) const;

  void* handle_;
};

}  // namespace wayfetch::hotsync

#endif
