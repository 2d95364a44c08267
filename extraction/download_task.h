// DownloadTask: one download of an extraction run, the work of one Thread.
//
// The Extractor (extraction/extractor.h) makes a task for every request an
// engine hands it and for every picture listed at the end of an eNews, and
// hands it to its ThreadManager; the task's run() fetches the address from
// the run's WebSource into a temporary file of its own. Everything else
// happens on the Extractor's thread once the task has finished.
//
// Ownership: the task owns its temporary file (deleted when the task goes,
// on every path); the source belongs to the run and outlives the task.
// Thread safety: the fields are set on the Extractor's thread before the
// task starts, belong to the task's thread while it runs, and are read back
// by the Extractor once its Thread has ended (Thread::task_as).
#ifndef WAYFETCH_EXTRACTION_DOWNLOAD_TASK_H
#define WAYFETCH_EXTRACTION_DOWNLOAD_TASK_H

#include <cstdint>
#include <string>

#include "core/file.h"
#include "core/string.h"
#include "core/thread.h"
#include "extraction/download_sink.h"
#include "web/web_source.h"

namespace wayfetch::extraction {

class DownloadTask : public Task {
 public:
  // `source` may be nullptr: the task then fails (unknown error, 106).
  DownloadTask(WebSource* source, const DownloadRequest& request, int32_t slot);

  // Fetches the address into `body`. Returns the status.
  uint32_t run() override;

  // ---- set before the start ----
  // What the engine asked for (for pictures listed at the end of an eNews:
  // kind get, ticket -1, the address and the section to count it in).
  DownloadRequest request;
  // The engine slot of the eNews (0-2) and the eNews's number in the run.
  int32_t slot = 0;
  int32_t job = -1;
  // A picture listed at the end of the eNews: not counted by the engine.
  bool listed = false;
  // Listed pictures: where in the eNews folder the file goes (relative).
  std::string listed_path;

  // ---- results, once the thread has ended ----
  // The body, read and written; rewound to its start on success.
  File body;
  // The address finally fetched (after redirections).
  String final_address;
  // 0, or the source's status (internet codes 101-111); 104 when no
  // temporary file could be made.
  int32_t status = -1;

 private:
  WebSource* source_;
  // A copy of the address shared with no other text, for the task's thread.
  String address_;
};

}  // namespace wayfetch::extraction

#endif
