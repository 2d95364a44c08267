// DownloadSink: where the extraction engine hands the downloads it needs.
//
// The engine never waits for the network. A follow, get, include or site
// page becomes a DownloadRequest handed to the sink, which fetches it on its
// own threads and brings the result back on the engine's thread: a followed
// page through ExtractionEngine::continue_follow, and every request, done or
// failed, through ExtractionEngine::task_done. A request carries what the
// engine needs to resume: the template node of the action, the data
// document record and node to write under, and the engine's ticket.
//
// Tickets, records and document nodes named by a request are never reused
// while it is pending. A request scheduled in an iteration pass that is
// later rolled back is detached (ExtractionEngine::task_live answers false):
// it is still counted done, but its result must be dropped.
#ifndef WAYFETCH_EXTRACTION_DOWNLOAD_SINK_H
#define WAYFETCH_EXTRACTION_DOWNLOAD_SINK_H

#include <cstdint>

#include "core/string.h"

namespace wayfetch {

// The numbers are the program's task kinds (and the web connector's content modes).
enum class DownloadKind : int32_t { follow = 1, include = 2, get = 3, site_page = 4 };

struct DownloadRequest {
  DownloadKind kind = DownloadKind::follow;
  // Absolute, without its "#" part.
  String address;
  // follow: the name after "#" (empty when none); the page is entered there.
  String anchor;
  // get: a safe file name in the eNews folder (extraction/safe_name.h), in
  // the encoding of the text it came from; empty when none was given.
  String file_name;
  // Site pages: the levels still to follow from this page.
  int32_t depth = 0;
  // The engine's number for the request, from 0, never reused.
  int32_t ticket = -1;
  // The template's action element that asked for it.
  int32_t action_node = -1;
  int32_t line = 0;
  // The data document record counting it pending, and its section number
  // for progress reports: 0 for the main document, k + 1 for section k.
  int32_t record = 0;
  int32_t section = 0;
  // The document node to resume at: for follow the last node copied, for
  // include its output element, for site pages the `page` element to fill.
  int32_t output_node = -1;
};

enum class SinkAnswer : int32_t {
  accepted,       // pending from now on; the engine expects task_done
  no_connection,  // no connection: the engine reports it and the action fails
  refused,        // refused for a reason the sink has reported; the action fails
};

class DownloadSink {
 public:
  virtual ~DownloadSink() = default;
  // Takes `request`. Called on the engine's thread, never re-entrantly.
  virtual SinkAnswer schedule(const DownloadRequest& request) = 0;
};

}  // namespace wayfetch

#endif
