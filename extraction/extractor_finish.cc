// The end of an eNews: the section warnings once its documents are all
// written, the pictures its rendering lists, and freeing its slot.
#include <string>

#include "core/error_codes.h"
#include "extraction/extractor.h"
#include "extraction/safe_name.h"

namespace wayfetch {

using extraction::DataDocuments;

void Extractor::finish_documents(int32_t s) {
  Slot& slot = slots_[static_cast<std::size_t>(s)];
  ExtractionEngine& engine = *slot.engine;
  DataDocuments& documents = engine.documents();
  const int32_t context = engine.template_nodes().context();
  for (int32_t id = 0; id < documents.record_count(); ++id) {
    DataDocuments::Record& record = documents.record(id);
    if (record.discarded || !record.reached || record.has_content || record.warned_empty) continue;
    record.warned_empty = true;
    raise_warning(warnings::empty_section, record.line, context);
    progress(slot, ProgressEvent::section_problem, record.section, nullptr);
  }
  const std::vector<bool>& selection = jobs_[static_cast<std::size_t>(slot.job)].selection;
  for (std::size_t k = 0; k < selection.size(); ++k) {
    if (!selection[k]) continue;
    const int32_t id = documents.record_of_section(static_cast<int32_t>(k));
    if (id >= 0 && documents.record(id).built) continue;
    raise_warning(warnings::section_not_executed, id >= 0 ? documents.record(id).line : -1,
                  context);
    progress(slot, ProgressEvent::section_problem, static_cast<int32_t>(k) + 1, nullptr);
  }
}

void Extractor::list_pictures(int32_t s) {
  Slot& slot = slots_[static_cast<std::size_t>(s)];
  const Job& job = jobs_[static_cast<std::size_t>(slot.job)];
  PictureList pictures;
  progress(slot, ProgressEvent::data_written, -1, &pictures);
  const String enews_name = extraction::last_component(job.radix);
  const int32_t context = slot.engine->template_nodes().context();
  for (const PictureListEntry& picture : pictures) {
    const int32_t item = picture.section;
    const bool selected = item >= 0 && static_cast<std::size_t>(item) < job.selection.size() &&
                          job.selection[static_cast<std::size_t>(item)];
    if (item != -1 && !selected) continue;
    // The data came from the web: its pictures may not name local files.
    if (slot.reads_web && !extraction::is_web_address(picture.address)) {
      raise_error(errors::extract_bad_address, -1, context);
      continue;
    }
    DownloadRequest request;
    request.kind = DownloadKind::get;
    request.address = picture.address;
    request.section = item + 1;
    const SinkAnswer answer =
        take_request(s, request, true,
                     extraction::local_picture_path(picture.written, picture.address, enews_name));
    if (answer == SinkAnswer::no_connection) raise_error(errors::extract_no_connection);
  }
}

void Extractor::release(int32_t s) {
  Slot& slot = slots_[static_cast<std::size_t>(s)];
  slot.phase = Phase::idle;
  slot.engine.reset();
}

}  // namespace wayfetch
