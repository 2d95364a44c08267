// The run: starting eNews in slots, admitting and taking back downloads,
// and moving each eNews on once nothing is pending for it.
#include "extraction/extractor.h"

#include <new>
#include <utility>

#include "core/error_codes.h"
#include "extraction/safe_name.h"
#include "extraction/task_results.h"
#include "web/web_connector.h"

namespace wayfetch {

using extraction::DownloadTask;

namespace {

// Rounds in a row in which no download came back although some are listed
// (none could be started, or the wait failed) before the run gives up on
// them: a retry helps when the system refused a thread for a moment.
constexpr int32_t stalls_allowed = 3;

}  // namespace

Extractor::Extractor(WebSource* source, ProgressCallback callback, void* user_value)
    : source_(source), callback_(callback), user_value_(user_value) {
  for (int32_t s = 0; s < slot_count; ++s) {
    slots_[static_cast<std::size_t>(s)].sink.owner = this;
    slots_[static_cast<std::size_t>(s)].sink.slot = s;
  }
}

// The ThreadManager's destructor joins the downloads still running; they
// touch nothing but their own task and the source.
Extractor::~Extractor() = default;

void Extractor::add(const String& radix, std::vector<bool> selection, int32_t identifier,
                    bool web_template) {
  jobs_.push_back(Job{radix, std::move(selection), identifier, web_template});
}

void Extractor::run() {
  for (int32_t s = 0; s < slot_count; ++s) start_next(s);
  int32_t stalls = 0;
  while (any_active()) {
    std::unique_ptr<Thread> finished = next_finished();
    const bool got_one = finished != nullptr;
    if (got_one) {
      stalls = 0;
      handle(std::move(finished));
    } else if (warning == warnings::nothing_to_wait_for) {
      // Expected whenever nothing runs: the slots below move on.
      warning = 0;
      if (live_tasks() > 0) ++stalls;
    } else {
      raise_error(errors::extract_wait_failed);
      ++stalls;
    }
    for (int32_t s = 0; s < slot_count; ++s) advance(s);
    // Nothing left that could ever come back, or nothing came back for
    // several rounds: an eNews still waiting would wait for ever.
    if (live_tasks() == 0 || stalls >= stalls_allowed) {
      stalls = 0;
      for (int32_t s = 0; s < slot_count; ++s) {
        if (slots_[static_cast<std::size_t>(s)].phase != Phase::idle) force_finish(s);
      }
    }
  }
}

void Extractor::start_next(int32_t s) {
  Slot& slot = slots_[static_cast<std::size_t>(s)];
  slot.phase = Phase::idle;
  while (next_job_ < static_cast<int32_t>(jobs_.size())) {
    const int32_t index = next_job_++;
    const Job& job = jobs_[static_cast<std::size_t>(index)];
    slot.engine = std::make_unique<ExtractionEngine>();
    slot.engine->set_limits(engine_limits_);
    slot.engine->set_sink(&slot.sink);
    slot.engine->set_selection(job.selection);
    slot.engine->set_web_template(job.web_template);
    slot.job = index;
    slot.downloads = 0;
    slot.limit_reported = false;
    slot.reads_web = job.web_template;
    slot.listed_pending = 0;
    if (!slot.engine->load_template(job.radix)) {
      // Nothing was built: the caller learns it through the main
      // document's section, and the slot takes the next eNews.
      progress(slot, ProgressEvent::section_problem, 0, nullptr);
      progress(slot, ProgressEvent::finished, -1, nullptr);
      slot.engine.reset();
      continue;
    }
    slot.phase = Phase::walking;
    progress(slot, ProgressEvent::started, -1, nullptr);
    slot.engine->run_main_walk();
    if (slot.engine->error != 0) raise_error(errors::extract_execution_errors);
    return;
  }
}

SinkAnswer Extractor::SlotSink::schedule(const DownloadRequest& request) {
  return owner->take_request(slot, request, false, std::string());
}

SinkAnswer Extractor::take_request(int32_t s, const DownloadRequest& request, bool listed,
                                   std::string listed_path) {
  if (source_ == nullptr) return SinkAnswer::no_connection;
  Slot& slot = slots_[static_cast<std::size_t>(s)];
  if (slot.downloads >= download_limit_) {
    // One record for the eNews: every later request would say the same.
    if (!slot.limit_reported) report_failed_request(*this, request.address, -1);
    slot.limit_reported = true;
    return SinkAnswer::refused;
  }
  std::unique_ptr<DownloadTask> task(new (std::nothrow) DownloadTask(source_, request, s));
  std::unique_ptr<Thread> thread;
  if (task != nullptr) {
    task->job = slot.job;
    task->listed = listed;
    task->listed_path = std::move(listed_path);
    thread.reset(new (std::nothrow) Thread(std::move(task)));
  }
  const int32_t before = task_count();
  if (thread != nullptr) ThreadManager::add(std::move(thread));
  if (task_count() == before) {
    raise_error(errors::extractor_allocation);
    return SinkAnswer::refused;
  }
  ++slot.downloads;
  if (listed) ++slot.listed_pending;
  return SinkAnswer::accepted;
}

DownloadTask* Extractor::download_at(int32_t i) const {
  Thread* thread = task(i);
  DownloadTask* download = thread != nullptr ? thread->task_as<DownloadTask>() : nullptr;
  if (download == nullptr || download->slot < 0 || download->slot >= slot_count) return nullptr;
  return download;
}

void Extractor::schedule() {
  std::array<int32_t, slot_count> busy{};
  const int32_t count = task_count();
  for (int32_t i = 0; i < count; ++i) {
    const int32_t state = task_state(i);
    if (state != task_admitted && state != task_running) continue;
    const DownloadTask* download = download_at(i);
    if (download == nullptr) {
      raise_error(errors::extract_reschedule_failed);
      return;
    }
    ++busy[static_cast<std::size_t>(download->slot)];
  }
  int32_t full = 0;
  for (int32_t used : busy) full += used >= downloads_per_slot ? 1 : 0;
  for (int32_t i = 0; i < count && full < slot_count; ++i) {
    if (task_state(i) != task_waiting) continue;
    const DownloadTask* download = download_at(i);
    if (download == nullptr) {
      raise_error(errors::extract_reschedule_failed);
      return;
    }
    int32_t& used = busy[static_cast<std::size_t>(download->slot)];
    if (used >= downloads_per_slot) continue;
    set_task_state(i, task_admitted);
    if (++used == downloads_per_slot) ++full;
  }
}

void Extractor::handle(std::unique_ptr<Thread> finished) {
  DownloadTask* task = finished->task_as<DownloadTask>();
  if (task == nullptr || task->slot < 0 || task->slot >= slot_count) {
    raise_error(errors::extractor_unknown);
    return;
  }
  Slot& slot = slots_[static_cast<std::size_t>(task->slot)];
  // A download of an eNews that was finished without it (error 85).
  if (slot.phase == Phase::idle || task->job != slot.job || slot.engine == nullptr) return;
  ExtractionEngine& engine = *slot.engine;
  if (task->status != 0) {
    // After a Stop every download fails the same way: the first one says so.
    const bool aborted = task->status == errors::internet_disabled;
    if (!aborted || !abort_reported_) {
      report_failed_request(*this, task->request.address, task->status);
    }
    abort_reported_ = abort_reported_ || aborted;
  } else {
    const String& fetched =
        task->final_address.empty() ? task->request.address : task->final_address;
    if (extraction::is_web_address(fetched)) slot.reads_web = true;
    if (task->listed || engine.task_live(task->request.ticket)) {
      progress(slot, ProgressEvent::downloaded, task->request.section, nullptr);
    }
    switch (task->request.kind) {
      case DownloadKind::follow:
      case DownloadKind::site_page:
        extraction::take_page(engine, *this, *task);
        break;
      case DownloadKind::include:
        extraction::take_include(engine, *this, *task);
        break;
      case DownloadKind::get:
        extraction::take_picture(engine, *this, *task);
        break;
    }
  }
  // Counted done once, whatever its kind and outcome.
  if (task->listed) {
    if (slot.listed_pending > 0) --slot.listed_pending;
  } else {
    engine.task_done(task->request.ticket);
  }
}

void Extractor::advance(int32_t s) {
  Slot& slot = slots_[static_cast<std::size_t>(s)];
  // An eNews that needs no download finishes here at once, and the next
  // one starts: the slot is left only with something to wait for.
  while (slot.phase != Phase::idle) {
    ExtractionEngine& engine = *slot.engine;
    const int32_t failures = engine.documents().write_failures();
    engine.write_ready_documents();
    for (int32_t k = failures; k < engine.documents().write_failures(); ++k) {
      raise_error(errors::extract_output_write_failed);
    }
    if (!engine.all_written() || engine.downloads_pending()) return;
    if (slot.phase == Phase::walking) {
      finish_documents(s);
      list_pictures(s);
      slot.phase = Phase::listed_pictures;
    }
    if (slot.listed_pending > 0) return;
    progress(slot, ProgressEvent::finished, -1, nullptr);
    release(s);
    start_next(s);
  }
}

void Extractor::force_finish(int32_t s) {
  Slot& slot = slots_[static_cast<std::size_t>(s)];
  raise_error(errors::extractor_unknown);
  slot.engine->abandon_pending();
  slot.listed_pending = 0;
  advance(s);
}

bool Extractor::any_active() const {
  for (const Slot& slot : slots_) {
    if (slot.phase != Phase::idle) return true;
  }
  return false;
}

int32_t Extractor::live_tasks() const {
  int32_t live = 0;
  for (int32_t i = 0; i < task_count(); ++i) {
    const int32_t state = task_state(i);
    if (state == task_waiting || state == task_admitted || state == task_running) ++live;
  }
  return live;
}

void Extractor::progress(const Slot& slot, ProgressEvent event, int32_t section,
                         PictureList* pictures) {
  if (callback_ == nullptr || slot.job < 0) return;
  callback_(user_value_, jobs_[static_cast<std::size_t>(slot.job)].identifier, event, section,
            pictures);
}

}  // namespace wayfetch
