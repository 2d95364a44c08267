#include "extraction/download_task.h"

#include "core/error_codes.h"

namespace wayfetch::extraction {

DownloadTask::DownloadTask(WebSource* source, const DownloadRequest& request_in, int32_t slot_in)
    : request(request_in), slot(slot_in), source_(source) {
  // The request's texts may share a log context with texts the Extractor's
  // thread keeps using; the task's thread gets bytes of its own.
  address_.set_text(request.address.window_bytes(), request.address.encoding(),
                    request.address.code_page());
}

uint32_t DownloadTask::run() {
  if (source_ == nullptr) {
    status = errors::internet_unknown;
    return static_cast<uint32_t>(status);
  }
  // The file is made here, not when the task is made: a run may have
  // thousands of tasks waiting, and each file is a descriptor.
  if (!body.open_temporary()) {
    status = errors::internet_storage_failed;
    return static_cast<uint32_t>(status);
  }
  WebRequest get;
  get.address = address_;
  get.target = &body;
  get.kind = static_cast<ContentKind>(request.kind);
  WebResult result = source_->get(get);
  status = result.status;
  final_address = std::move(result.final_address);
  return static_cast<uint32_t>(status);
}

}  // namespace wayfetch::extraction
