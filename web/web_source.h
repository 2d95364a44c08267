// WebSource: what the program fetches web addresses through.
//
// The extraction's downloads, the update job's template refreshes, the
// version check and the replicator's form posts ask a WebSource, never a
// connector by name, so that their tests can serve addresses from memory.
// WebConnector (web/web_connector.h) is the real source, on libcurl;
// tests/support/fake_web_source.h serves a table of addresses with
// programmed statuses.
//
// A call fetches one address, resolved against a base, into the caller's
// file and answers with a WebResult: status 0, or one of the internet codes
// 101-111 of core/error_codes.h (whose texts are the error table's), and the
// address last requested. Sources write nothing to the error log; callers
// report failures in their words (report_failed_request, web_connector.h).
//
// Thread safety: a source's operations may be called from any thread, also
// concurrently, until it is destroyed; abort_all ends the GETs of other
// threads. A source must not be destroyed while a call is in progress.
#ifndef WAYFETCH_WEB_WEB_SOURCE_H
#define WAYFETCH_WEB_WEB_SOURCE_H

#include <cstdint>

#include "core/error_codes.h"
#include "core/string.h"

namespace wayfetch {

class File;

// What the caller will do with a GET's file; it decides how an answer
// without a content type is read. The numbers are the extraction's task
// kinds.
enum class ContentKind : int32_t {
  download = 0,   // an ordinary download: an answer must name its type (else 105)
  page = 1,       // a page read as HTML ("follow"): a nameless type is HTML
  include = 2,    // an XML file taken into the data ("include")
  get = 3,        // a file saved as it is, a picture say ("get")
  site_page = 4,  // a page of a site the template walks
};

struct WebRequest {
  // The address `address` is resolved against (empty: none).
  String base;
  String address;
  // Receives the body; open for reading and writing, rewound to its start
  // on success. REQUIRES: not null, and used by no one else during the call.
  File* target = nullptr;
  ContentKind kind = ContentKind::download;  // GET only: a POST reads as a download
  // GET only: when > 0, replaces the source's time limit for the whole request.
  int32_t timeout_ms = -1;
  // POST only: sent as they are, as "application/x-www-form-urlencoded".
  String form_data;
};

struct WebResult {
  int32_t status = 0;  // 0, or an internet code 101-111
  // The address last requested (after redirections); empty when the
  // address did not resolve.
  String final_address;
  // A GET's number among the source's requests (from 0); -1 for a POST.
  int32_t request_number = -1;

  bool ok() const { return status == 0; }
};

class WebSource {
 public:
  virtual ~WebSource() = default;
  // Fetches request.address (resolved against request.base) into
  // request.target, following redirections.
  virtual WebResult get(const WebRequest& request) = 0;
  // Posts request.form_data to the address and reads the answer like a GET.
  // No time limit of the source and no abort_all ends it.
  virtual WebResult post(const WebRequest& request) = 0;
  // Disables the source for good: later GETs answer 110 at once, and those
  // in progress end now.
  virtual void abort_all() = 0;
};

}  // namespace wayfetch

#endif
