// Extractor: one extraction run over several eNews, with their downloads in
// parallel.
//
// The caller (the update job, `wayfetch --extract`) adds the eNews to
// extract, each by its radix (folder and name, no extension), its item
// selection flags and an identifier of its own, then calls run(), which
// returns once every eNews has finished. Up to three eNews run at once, one
// per engine slot, in the order added; each slot's ExtractionEngine walks
// its template and hands every download it needs to the Extractor, which
// runs it as a DownloadTask on a thread of its ThreadManager: at most three
// downloads per eNews admitted or running, so nine in all, in the order
// asked for. All template work, parsing and writing happen on the thread
// that called run(): a finished download continues its template there, and
// each data document is written as soon as no download is pending for it.
//
// Progress reaches the ProgressCallback, always on run()'s thread, in this
// order per eNews: 2 (the template is loaded and its walk starts, section
// -1), 3 for each download that succeeded and is about to be used (section
// 0 for the main document, k+1 for item k), 4 for each section problem
// (warnings 27 and 28; section k+1 for item k, and section 0 when the main
// document was reached but got no content: never take 0 for an item), 1
// once all data files are written (`pictures` is an empty list the callee
// may fill with (address, item) pairs, item -1 for the eNews's own, and with
// the picture's `src` as the rendered page writes it; each of item -1 or a
// selected item is then fetched into the eNews folder under the name the
// page will look for, and reported by 3 again), and 0 when the eNews is
// completely finished and its slot is free. An eNews whose template does
// not load gets 4 with section 0 and then 0 (no 2, no 1).
//
// Bounds: at most max_downloads downloads per eNews per run (the rest are
// refused like a failed request, one warning 35 naming the first refused
// address; the eNews finishes with what it has). A page or document from
// http or https cannot make the run read local files (the engine's rule,
// and event-1 pictures of an eNews that read the web must be http or
// https, else error 68). run() never waits without something running:
// when nothing runs or waits but an eNews still counts downloads pending,
// it is finished with error 85 and its documents are written as they stand.
//
// Stop: the run's WebSource abort_all() (from any thread) makes the
// downloads in progress and every later one fail at once; run() then
// finishes every eNews with what it has and returns. Only the first
// aborted download (status 110) is logged.
//
// Errors (this ErrorState, logged): 73 a data document not written (after
// the engine's 70), 74 a picture not saved, 75 a failed wait for the
// downloads, 76 a task in the list that is not one of this run's, 78 no
// memory for a task, 80 (recorded only) the engine held an error after a
// walk, 81, 82, 83, 84 (extraction/task_results.h), 85 an inconsistency;
// warnings 27, 28 (with the template line of the section and the template),
// 35 (the address after "URL: ", the status's text), 36, 37. The engines
// report their own codes.
//
// Ownership: the source (may be nullptr: every download is then refused,
// errors 77 and 58 from the engine, 77 alone for a picture listed at event
// 1) and the callback's user value belong to the caller and
// must outlive run(). The Extractor owns its engines and tasks; its
// destructor waits for the downloads still running. Not thread-safe: one
// thread adds, runs and destroys it.
#ifndef WAYFETCH_EXTRACTION_EXTRACTOR_H
#define WAYFETCH_EXTRACTION_EXTRACTOR_H

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/string.h"
#include "core/thread_manager.h"
#include "extraction/download_sink.h"
#include "extraction/download_task.h"
#include "extraction/extraction_engine.h"
#include "rendering/picture_list.h"
#include "web/web_source.h"

namespace wayfetch {

// The events of a run (the numbers are what the update job switches on).
enum class ProgressEvent : int32_t {
  finished = 0,         // the eNews is completely finished; its slot is free
  data_written = 1,     // every data file is written; pictures may be listed
  started = 2,          // the template is loaded and its walk starts
  downloaded = 3,       // a download succeeded and is about to be used
  section_problem = 4,  // a section is empty or was not built
};

// Called on run()'s thread. `pictures` is non-null for event 1 only.
using ProgressCallback = void (*)(void* user_value, int32_t identifier, ProgressEvent event,
                                  int32_t section, PictureList* pictures);

class Extractor : public ThreadManager {
 public:
  static constexpr int32_t slot_count = 3;
  static constexpr int32_t downloads_per_slot = 3;
  // Downloads one eNews may make in one run.
  static constexpr int32_t max_downloads = 2000;

  // `source` may be nullptr (no connection); `callback` may be nullptr.
  Extractor(WebSource* source, ProgressCallback callback, void* user_value);
  ~Extractor() override;
  Extractor(const Extractor&) = delete;
  Extractor& operator=(const Extractor&) = delete;

  // Appends an eNews: radix + ".enews" is its template, section k is built
  // when selection[k] is set. `web_template`: the template was refreshed
  // from an http or https address, so it counts as a web page.
  void add(const String& radix, std::vector<bool> selection, int32_t identifier,
           bool web_template = false);
  // Extracts every eNews added; returns when all have finished.
  void run();
  // Admission: each waiting task whose eNews has fewer than three
  // downloads admitted or running is admitted, in the order added.
  void schedule() override;

  // Budgets of every engine, and the download limit per eNews (tests).
  void set_engine_limits(const ExtractionEngine::Limits& limits) { engine_limits_ = limits; }
  void set_download_limit(int32_t limit) { download_limit_ = limit; }

 private:
  struct Job {
    String radix;
    std::vector<bool> selection;
    int32_t identifier = 0;
    bool web_template = false;
  };
  // Where an eNews in a slot stands.
  enum class Phase { idle, walking, listed_pictures };
  // Hands an engine's requests to the Extractor with its slot number.
  class SlotSink : public DownloadSink {
   public:
    SinkAnswer schedule(const DownloadRequest& request) override;
    Extractor* owner = nullptr;
    int32_t slot = 0;
  };
  struct Slot {
    std::unique_ptr<ExtractionEngine> engine;
    SlotSink sink;
    int32_t job = -1;
    Phase phase = Phase::idle;  // idle: finished, the slot is free
    int32_t downloads = 0;      // asked for in this run (the download limit)
    bool limit_reported = false;
    bool reads_web = false;  // a page or document came from http/https
    int32_t listed_pending = 0;
  };

  // ---- the run (extractor.cc) ----
  void start_next(int32_t slot);
  SinkAnswer take_request(int32_t slot, const DownloadRequest& request, bool listed,
                          std::string listed_path);
  // The task a Thread of the list runs, when it is one of this run's.
  extraction::DownloadTask* download_at(int32_t i) const;
  void handle(std::unique_ptr<Thread> finished);
  void advance(int32_t slot);
  void force_finish(int32_t slot);
  bool any_active() const;
  int32_t live_tasks() const;
  void progress(const Slot& slot, ProgressEvent event, int32_t section, PictureList* pictures);

  // ---- the end of an eNews (extractor_finish.cc) ----
  void finish_documents(int32_t slot);
  void list_pictures(int32_t slot);
  void release(int32_t slot);

  WebSource* source_;
  ProgressCallback callback_;
  void* user_value_;
  ExtractionEngine::Limits engine_limits_;
  int32_t download_limit_ = max_downloads;
  std::vector<Job> jobs_;
  int32_t next_job_ = 0;
  std::array<Slot, slot_count> slots_;
  bool abort_reported_ = false;
};

}  // namespace wayfetch

#endif
