// The GET requests a web connector has in progress.
//
// Every GET is registered here for its whole life, with a number handed out
// from a counter that starts at 0, its redirection count, its stop signal
// (raised by abort_all) and its watchdog (the deadline by which the whole
// request must be done; the transfer ends itself when it passes). While a
// step of the request talks to a server, the transfer it uses is attached,
// so that stop_all can wake it at once.
//
// Thread safety: the list and the counter change only under the list's
// critical section; any thread may add, remove and stop requests. An
// OpenRequest belongs to the thread running its GET and must be removed
// before it is destroyed.
#ifndef WAYFETCH_WEB_REQUEST_LIST_H
#define WAYFETCH_WEB_REQUEST_LIST_H

#include <chrono>
#include <cstdint>
#include <vector>

#include "core/sync.h"
#include "platform/clock.h"
#include "platform/http_transfer.h"

namespace wayfetch {

struct OpenRequest {
  int32_t number = -1;
  int32_t redirections = 0;
  platform::HttpStop stop;  // `requested` by abort_all; `deadline` is the watchdog
  platform::HttpTransfer* transfer = nullptr;  // attached while a step runs

  // Whether the watchdog has gone off.
  bool expired() const {
    return stop.deadline && platform::current_clock().steady_time() >= *stop.deadline;
  }
};

class RequestList {
 public:
  RequestList() { section_.init(); }
  RequestList(const RequestList&) = delete;
  RequestList& operator=(const RequestList&) = delete;

  // Registers the request and gives it the next number, which is returned.
  int32_t add(OpenRequest& request);
  // Unregisters it (detaching its transfer); nothing when not registered.
  void remove(OpenRequest& request);
  // Attaches the transfer a step uses (null detaches). A request that was
  // stopped before keeps its stop raised, so the transfer ends at once.
  void attach(OpenRequest& request, platform::HttpTransfer* transfer);
  // Raises the stop of every registered request and wakes its transfer.
  void stop_all();
  int32_t size();

 private:
  CriticalSection section_;
  std::vector<OpenRequest*> open_ WAYFETCH_GUARDED_BY(section_);
  int32_t counter_ WAYFETCH_GUARDED_BY(section_) = 0;
};

}  // namespace wayfetch

#endif
