#include "hotsync/hotsync_session.h"

#include <cstring>
#include <memory>
#include <vector>

#include "conduit/sync_manager.h"
#include "core/thread.h"
#include "hotsync/conduit_library.h"
#include "hotsync/conduit_registry.h"
#include "hotsync/fixed_text.h"
#include "hotsync/handheld.h"
#include "hotsync/sync_service.h"
#include "platform/file_system.h"

namespace wayfetch::hotsync {
namespace {

// not_run: the conduit failed before OpenConduit could be called.
enum class Outcome { succeeded, failed, not_run, timed_out };

// What the conduit's thread works with; it outlives an abandoned thread.
struct ConduitRun {
  GetConduitVersionFunction version = nullptr;
  GetConduitInfoFunction info = nullptr;
  OpenConduitFunction open = nullptr;
  ConduitProperties properties{};
  HotSyncLog* log = nullptr;
  int32_t result = -1;
};

void report_progress(const SyncProgress* progress) {
  if (progress == nullptr || !platform::is_terminal(stderr)) return;
  std::string text =
      printable(std::string_view(progress->text, strnlen(progress->text, sizeof progress->text)));
  std::fprintf(stderr, "wayfetch-hotsync: %s (%u/%u)\n", text.c_str(), progress->done,
               progress->total);
}

// The conduit's thread: even asking its version and name runs here, under
// the time-out, since any call into the library may fail to return.
uint32_t conduit_thread(void* argument) {
  auto* run = static_cast<ConduitRun*>(argument);
  const ConduitProperties& p = run->properties;
  const uint32_t version = run->version();
  ConduitInfoRequest request{1, sizeof(ConduitInfoRequest), {}, p.sync_type, {}};
  std::memcpy(request.creator, p.creator, 4);
  std::memcpy(request.user_name, p.user_name, sizeof request.user_name);
  char name[64] = {};
  uint32_t name_size = sizeof name;
  if (run->info(conduit_info_name, &request, name, &name_size) != 0) name[0] = '\0';
  name[sizeof name - 1] = '\0';
  run->log->add("Conduit " + std::string(p.creator, 4) + " (\"" + name + "\", version " +
                std::to_string(version >> 8) + "." + std::to_string(version & 0xFF) +
                ", synchronisation type " + std::to_string(p.sync_type) + ")");
  run->result = run->open(&report_progress, &run->properties);
  return 0;
}

class Session {
 public:
  Session(const HotSyncOptions& options, HotSyncLog& log, SyncService& service)
      : options_(options), log_(log), service_(service) {}
  Outcome run(const Registration& registration);

 private:
  Outcome fail(const std::string& creator, const std::string& why) {
    log_.add("Conduit " + creator + ": " + why);
    return Outcome::not_run;
  }

  const HotSyncOptions& options_;
  HotSyncLog& log_;
  SyncService& service_;
};

Outcome Session::run(const Registration& registration) {
  const std::string& creator = registration.creator;
  if (registration.library.empty()) return fail(creator, "no library is registered");
  std::string error;
  std::unique_ptr<ConduitLibrary> library = ConduitLibrary::load(registration.library, error);
  if (!library) return fail(creator, "cannot load \"" + registration.library + "\": " + error);
  auto run = std::make_unique<ConduitRun>();
  run->version = library->function<GetConduitVersionFunction>("GetConduitVersion");
  run->info = library->function<GetConduitInfoFunction>("GetConduitInfo");
  run->open = library->function<OpenConduitFunction>("OpenConduit");
  for (auto [name, found] : {std::pair{"GetConduitVersion", run->version != nullptr},
                             std::pair{"GetConduitInfo", run->info != nullptr},
                             std::pair{"OpenConduit", run->open != nullptr}}) {
    if (!found) return fail(creator, "\"" + registration.library + "\" has no " + name);
  }
  run->log = &log_;
  ConduitProperties& p = run->properties;
  p.version = 1;
  p.size = sizeof(ConduitProperties);
  std::memcpy(p.creator, creator.data(), 4);
  p.sync_type = registration.next_sync_type;
  p.card = 0;
  p.user_id = options_.user.id;
  copy_text(p.user_name, options_.user.name);
  copy_whole_text(p.path, options_.user.folder);

  auto thread = std::make_unique<Thread>(&conduit_thread, run.get());
  service_.begin_conduit();
  if (thread->start()) {
    service_.end_conduit();
    return fail(creator, "no thread could be started for it");
  }
  if (!thread->wait(options_.timeout_seconds * 1000)) {
    // Its thread may still run library code, so neither the library nor
    // anything the thread uses may go away: they are left to the process's
    // end. What it had open is discarded now, under the service's lock.
    service_.cancel();
    log_.add("Conduit " + creator + " did not return within " +
             std::to_string(options_.timeout_seconds) + " seconds: the HotSync is abandoned");
    static_cast<void>(thread.release());
    static_cast<void>(run.release());
    static_cast<void>(library.release());
    return Outcome::timed_out;
  }
  thread->close();
  service_.end_conduit();
  log_.add("Conduit " + creator + " returned " + std::to_string(run->result));
  return run->result == 0 ? Outcome::succeeded : Outcome::failed;
}

// A one-time synchronisation type holds for one HotSync only.
void use_up_one_time_types(const std::string& path, const std::vector<std::string>& creators,
                           std::FILE* err) {
  ConduitRegistry registry(path);
  bool changed = false;
  if (!registry.load().is_ok()) return;
  for (const std::string& creator : creators) {
    Registration* r = registry.find(creator);
    if (r != nullptr && r->next_sync_type != r->sync_type) {
      r->next_sync_type = r->sync_type;
      changed = true;
    }
  }
  if (!changed) return;
  if (RegistryStatus saved = registry.save(); !saved.is_ok())
    std::fprintf(err, "wayfetch-hotsync: %s\n", saved.message.c_str());
}

}  // namespace

int run_hotsync(const HotSyncOptions& options, std::FILE* out, std::FILE* err) {
  ConduitRegistry registry(options.registry_path);
  if (RegistryStatus loaded = registry.load(); !loaded.is_ok()) {
    std::fprintf(err, "wayfetch-hotsync: %s\n", loaded.message.c_str());
    return exit_failed;
  }
  // Owned here, but given up (never destroyed) when a conduit is abandoned.
  auto log = std::make_unique<HotSyncLog>();
  auto handheld = std::make_unique<Handheld>(*log);
  log->add("HotSync started with the handheld folder \"" + options.handheld + "\"");
  if (!handheld->open(options.handheld)) {
    std::fprintf(err, "wayfetch-hotsync: %s is not a folder that can be read\n",
                 options.handheld.c_str());
    return exit_failed;
  }
  auto service = std::make_unique<SyncService>(*handheld, *log, options.clock_offset);
  SyncService::serve(service.get());
  Session session(options, *log, *service);
  const std::vector<Registration> order = registry.run_order();
  if (order.empty()) log->add("No conduit is registered");
  bool all_succeeded = true;
  std::vector<std::string> ran;
  for (const Registration& registration : order) {
    const Outcome outcome = session.run(registration);
    if (outcome == Outcome::timed_out) {
      log->print(out);
      static_cast<void>(service.release());
      static_cast<void>(handheld.release());
      static_cast<void>(log.release());
      return exit_timeout;
    }
    all_succeeded = all_succeeded && outcome == Outcome::succeeded;
    if (outcome != Outcome::not_run) ran.push_back(registration.creator);
  }
  SyncService::serve(nullptr);
  log->add(all_succeeded ? "HotSync finished" : "HotSync finished with errors");
  log->print(out);
  use_up_one_time_types(options.registry_path, ran, err);
  return all_succeeded ? exit_ok : exit_failed;
}

}  // namespace wayfetch::hotsync
