// The files of an eNews and the due rule of its items.
#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "config/config_text.h"
#include "config/enews.h"
#include "core/ascii.h"
#include "platform/file_system.h"
#include "platform/user_folders.h"

namespace wayfetch {
namespace {

using config_text::utf8_text;

// Whether `time` is before `now`; a time past the last representable one
// (nullopt) never is.
bool before(const std::optional<Timestamp>& time, Timestamp now) {
  return time.has_value() && *time < now;
}

}  // namespace

// ---- ENews ----

const std::string& ENews::radix_path() const {
  if (!radix_made_) {
    radix_.clear();
    // The name is checked here, where paths are made, whatever set it: a
    // name from a file, a merge or a caller never reaches outside D/n.
    if (!data_folder_.empty() && is_safe_folder_name(name_)) {
      const std::string name = name_.to_utf8();
      radix_ = data_folder_;
      if (radix_.back() != '/') radix_ += '/';
      radix_ += name + "/" + name;
    }
    radix_made_ = true;
  }
  return radix_;
}

String ENews::path_with(const char* suffix) const {
  const std::string& radix = radix_path();
  return radix.empty() ? String() : utf8_text(radix + suffix);
}

String ENews::folder() const {
  const std::string& radix = radix_path();
  // The radix is the folder, "/" and the name again.
  return radix.empty() ? String() : utf8_text(radix.substr(0, radix.rfind('/')));
}

String ENews::radix() const {
  return path_with("");
}

String ENews::enews_path() const {
  return path_with(".enews");
}

String ENews::xsl_path() const {
  return path_with(".xsl");
}

String ENews::html_path() const {
  return path_with(".html");
}

String ENews::prc_path() const {
  return path_with(".prc");
}

bool ENews::create_folder() const {
  const std::string path = folder().to_utf8();
  return !path.empty() && platform::make_folders(path);
}

bool ENews::delete_folder() const {
  // D/n with a safe name is never D itself nor outside it; remove_folder
  // removes links inside (and D/n itself when it is a link) without
  // following them.
  const std::string path = folder().to_utf8();
  return !path.empty() && platform::remove_folder(path);
}

bool ENews::delete_downloads() const {
  const std::string path = folder().to_utf8();
  if (path.empty()) return false;
  const std::string name = name_.to_utf8();
  std::error_code error;
  std::vector<std::filesystem::path> doomed;
  for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
    const std::string file = entry.path().filename().string();
    if (file != name + ".enews" && file != name + ".xsl") doomed.push_back(entry.path());
  }
  if (error) return false;
  bool all = true;
  for (const std::filesystem::path& entry : doomed) {
    // symlink_status: a link is removed as a file, whatever it points to.
    const bool folder =
        std::filesystem::is_directory(std::filesystem::symlink_status(entry, error));
    all = (folder ? platform::remove_folder(entry.string())
                  : platform::remove_file(entry.string())) &&
          all;
  }
  return all;
}

// ---- ENewsItem ----

std::string ENewsItem::data_file() const {
  if (owner_ == nullptr) return std::string();
  const std::string& radix = owner_->radix_path();
  if (radix.empty()) return std::string();
  return radix + ".data" + std::to_string(index_) + ".xml";
}

String ENewsItem::data_path() const {
  const std::string path = data_file();
  return path.empty() ? String() : utf8_text(path);
}

std::optional<Timestamp> ENewsItem::data_time() const {
  uint64_t written = 0;
  if (!platform::last_write_time(data_file(), written)) return std::nullopt;
  return Timestamp(written);
}

bool ENewsItem::is_due(Timestamp now) const {
  if (!selected_) return false;
  const bool validity_usable = parsed_validity_.usable();
  const bool schedule_usable = schedule_.usable();
  if (!validity_usable && !schedule_usable) return true;
  // One stat answers both whether the data file exists and its time.
  const std::optional<Timestamp> written = data_time();
  if (!written) return true;
  const bool expired = !validity_usable || before(parsed_validity_.expiry(*written), now);
  const bool next_passed = !schedule_usable || before(schedule_.next_after(*written), now);
  return expired && next_passed;
}

// ---- names ----

String name_from_title(const String& title) {
  std::string name;
  for (char c : title.to_utf8()) {
    if (name.size() == max_made_name) break;
    const auto byte = static_cast<unsigned char>(c);
    const bool kept = ascii::is_letter(byte) || ascii::is_digit(byte) || c == '_' || c == '-';
    name.push_back(kept ? c : '_');
  }
  if (name.empty()) name = "enews";
  return utf8_text(name);
}

bool is_name_made_from(const String& name, const String& title) {
  const std::string base = name_from_title(title).to_utf8();
  const std::string text = name.to_utf8();
  if (text == base) return true;
  // The suffix is up to eight lowercase hexadecimal digits after the base,
  // cut so that the whole stays within max_made_name bytes.
  for (std::size_t digits = 1; digits <= 8 && digits < text.size(); ++digits) {
    const std::size_t cut = text.size() - digits;
    bool hex = true;
    for (std::size_t at = cut; at < text.size() && hex; ++at) {
      const char c = text[at];
      hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
    }
    if (!hex) break;
    if (text.compare(0, cut, base, 0, max_made_name - digits) == 0 &&
        cut == std::min(base.size(), max_made_name - digits)) {
      return true;
    }
  }
  return false;
}

}  // namespace wayfetch
