// Step 8 of an update: the templates of the due eNews are refreshed from
// their addresses.
//
// A template is downloaded into a new file beside the working one and put in
// its place only when the download succeeded and, for the description
// (".enews"), when it reads as a description of this same eNews: a refresh
// that fails, or that a server answers with something else (an error page
// with status 200, another eNews's description), keeps the working template.
// The eNews's record is updated in place, so nothing that points at it is
// left dangling, and its due items are worked out again, as its items may
// have changed.
#include <memory>
#include <utility>

#include "config/update_run.h"
#include "extraction/safe_name.h"
#include "platform/file_system.h"

namespace wayfetch {
namespace {

// The open-mode code for reading and writing a file that exists.
constexpr uint8_t read_write_existing = 0x0B;

bool exists(const String& path) {
  const std::string file = path.to_utf8();
  return !file.empty() && platform::is_regular_file(file);
}

}  // namespace

void UpdateRun::refresh_templates() {
  if (!connected_) return;
  const Timestamp now = Timestamp::now();
  for (int32_t i = 0; i < config_.count(); ++i) {
    if (!enews_[static_cast<std::size_t>(i)].any_due) continue;
    ENews& enews = config_.at(i);
    enews.create_folder();
    if (!enews.xml_extraction.empty() &&
        refresh_file(enews.xml_extraction, enews.enews_path(), &enews)) {
      enews_[static_cast<std::size_t>(i)] = due_state(enews, now);
    }
    if (!enews.xsl_rendering.empty()) refresh_file(enews.xsl_rendering, enews.xsl_path(), nullptr);
    if (!exists(enews.enews_path()) || !exists(enews.xsl_path())) enews.failed = true;
  }
  observer_.list_changed();
}

bool UpdateRun::refresh_file(const String& address, const String& target, ENews* enews) {
  if (target.empty()) return false;
  platform::FileReplacement replacement(target.to_utf8());
  File file;
  if (!replacement.ready() || !file.open(replacement.path(), read_write_existing)) return false;
  WebRequest request;
  request.address = address;
  request.target = &file;
  request.kind = ContentKind::get;
  if (!policy_.get(request).ok()) {
    failed_addresses_.push_back(address);
    return false;
  }
  std::unique_ptr<ENews> fresh;
  if (enews != nullptr) {
    fresh = checked_description(file, address, *enews);
    if (!fresh) {
      failed_addresses_.push_back(address);
      return false;
    }
  }
  file.close();
  if (!replacement.commit()) return false;
  if (fresh) enews->update_from(*fresh);
  return true;
}

std::unique_ptr<ENews> UpdateRun::checked_description(File& file, const String& address,
                                                      const ENews& enews) {
  ENewsList read;
  if (!config_.read_description(file, address, read, nullptr) || read.empty() || !read.front()) {
    return nullptr;
  }
  std::unique_ptr<ENews> fresh = std::move(read.front());
  // A description names its eNews; one that names none fits only an eNews
  // whose name was made from its title when it was added.
  const bool same = fresh->name().empty() ? is_name_made_from(enews.name(), enews.title) ||
                                                is_name_made_from(enews.name(), fresh->title)
                                          : same_name(fresh->name(), enews.name());
  if (!same) return nullptr;
  // A description from the web must not send later downloads to local
  // files or other schemes.
  if (extraction::is_web_address(address)) {
    for (const String* named : {&fresh->xml_extraction, &fresh->xsl_rendering}) {
      if (!named->empty() && !extraction::is_web_address(*named)) return nullptr;
    }
  }
  return fresh;
}

}  // namespace wayfetch
