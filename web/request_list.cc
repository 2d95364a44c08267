#include "web/request_list.h"

#include <algorithm>

namespace wayfetch {

int32_t RequestList::add(OpenRequest& request) {
  CriticalSection::Guard guard(section_);
  request.number = counter_++;
  open_.push_back(&request);
  return request.number;
}

void RequestList::remove(OpenRequest& request) {
  CriticalSection::Guard guard(section_);
  request.transfer = nullptr;
  auto found = std::find(open_.begin(), open_.end(), &request);
  if (found != open_.end()) open_.erase(found);
}

void RequestList::attach(OpenRequest& request, platform::HttpTransfer* transfer) {
  CriticalSection::Guard guard(section_);
  request.transfer = transfer;
}

void RequestList::stop_all() {
  CriticalSection::Guard guard(section_);
  for (OpenRequest* request : open_) {
    request->stop.requested.store(true, std::memory_order_release);
    // The transfer stays attached while the section is held, so it cannot
    // go back to the pool (and to another request) under our hands.
    if (request->transfer != nullptr) request->transfer->wake();
  }
}

int32_t RequestList::size() {
  CriticalSection::Guard guard(section_);
  return static_cast<int32_t>(open_.size());
}

}  // namespace wayfetch
