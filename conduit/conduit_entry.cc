// The five entry points a HotSync host calls: the only symbols the library
// exports (conduit/exports.map). Everything else the library holds (its copy
// of the core, the pipe protocol and the platform layer) stays inside it, so
// it never binds to a host's own copies of the same code.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "conduit/conduit_strings.h"
#include "conduit/hotsync_log_sink.h"
#include "conduit/sync_manager.h"
#include "conduit/sync_manager_calls.h"
#include "conduit/synchronisation.h"

#define WAYFETCH_CONDUIT_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using namespace wayfetch;

// Results of GetConduitInfo and CfgConduit.
enum : int32_t {
  info_unknown_kind = 4208,
  info_bad_size = 4211,
  info_no_request = 4212,
  info_bad_request = 4213,
  info_copy_failed = 4214,
  info_no_size = 4215,
  info_no_output = 4209,
  cfg_no_size = 4216,
  cfg_bad_kind = 4217,
  cfg_bad_size = 4218,
  cfg_bad_version = 4219,
};

constexpr uint32_t conduit_version = 0x100;
constexpr uint32_t default_action = 0x10000000;
constexpr uint32_t library_version = 0;
constexpr uint32_t configuration_size = 352;

// Copies the conduit's name into `out`, cut to `size` bytes with the
// terminating zero; false when not even that fits.
bool copy_name(char* out, int64_t size) {
  if (out == nullptr || size < 1) return false;
  const std::string_view name = conduit_strings::text(conduit_strings::conduit_name);
  const std::size_t length = std::min<std::size_t>(name.size(), static_cast<std::size_t>(size - 1));
  std::memcpy(out, name.data(), length);
  out[length] = '\0';
  return true;
}

}  // namespace

WAYFETCH_CONDUIT_EXPORT int32_t GetConduitName(char* buffer, int32_t size) {
  return copy_name(buffer, size) ? 0 : -1;
}

WAYFETCH_CONDUIT_EXPORT uint32_t GetConduitVersion() {
  return conduit_version;
}

WAYFETCH_CONDUIT_EXPORT int32_t GetConduitInfo(int32_t kind, const void* request, void* out,
                                               uint32_t* out_size) {
  if (out == nullptr) return info_no_output;
  if (out_size == nullptr) return info_no_size;
  switch (kind) {
    case conduit_info_name: {
      if (request == nullptr) return info_no_request;
      // Only the version and size are read: they say whether the rest is there.
      uint32_t head[2];
      std::memcpy(head, request, sizeof head);
      if (head[0] != 1 || head[1] != sizeof(ConduitInfoRequest)) return info_bad_request;
      return copy_name(static_cast<char*>(out), *out_size) ? 0 : info_copy_failed;
    }
    case conduit_info_default_action:
    case conduit_info_library_version: {
      if (*out_size != sizeof(uint32_t)) return info_bad_size;
      const uint32_t value = kind == conduit_info_default_action ? default_action : library_version;
      std::memcpy(out, &value, sizeof value);
      return 0;
    }
    default:
      return info_unknown_kind;
  }
}

WAYFETCH_CONDUIT_EXPORT int32_t OpenConduit(SyncProgressCallback progress,
                                            ConduitProperties* properties) {
  if (progress == nullptr || properties == nullptr) return -1;
  if (properties->sync_type == sync_type_nothing) return 0;
  SyncManagerCalls sync;
  if (!sync.resolve()) return -1;
  HotSyncLogSink log(sync);
  // The scope ends, and the sink goes, only after the synchronisation has
  // closed its connection and joined its worker.
  ScopedErrorSink scope(&log);
  auto synchronisation =
      std::unique_ptr<Synchronisation>(new (std::nothrow) Synchronisation(sync, log, progress));
  if (!synchronisation) return -1;
  return synchronisation->run();
}

WAYFETCH_CONDUIT_EXPORT int32_t CfgConduit(int32_t kind, SyncConfiguration* info,
                                           uint32_t* info_size) {
  if (info == nullptr) return info_no_request;
  if (info_size == nullptr) return cfg_no_size;
  if (*info_size != configuration_size) return cfg_bad_size;
  if (kind != 0) return cfg_bad_kind;
  if (info->version != 1) return cfg_bad_version;
  // The form's title is the conduit's name.
  ConduitInfoRequest request{};
  request.version = 1;
  request.size = sizeof request;
  std::memcpy(request.creator, info->creator, sizeof request.creator);
  request.sync_type = info->temporary_type;
  std::memcpy(request.user_name, info->user_name, sizeof request.user_name);
  char title[256];
  uint32_t title_size = sizeof title;
  if (int32_t result = GetConduitInfo(conduit_info_name, &request, title, &title_size);
      result != 0) {
    return result;
  }
  // The host's --configure is the form on this system: it chose the new
  // synchronisation type and preference and fills them in; nothing to show.
  return 0;
}
