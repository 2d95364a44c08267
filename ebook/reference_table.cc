#include "ebook/reference_table.h"

#include <cstdio>
#include <unordered_map>

#include "core/ascii.h"
#include "ebook/intermediate_file.h"

namespace wayfetch {
namespace {

std::string cut(std::string_view text, std::size_t limit) {
  return std::string(text.substr(0, limit));
}

// File and name in one key that ignores case; a zero byte cannot occur in a
// path, so no two pairs share a key.
std::string key_of(std::string_view file, std::string_view name) {
  std::string key = ascii::upper(file);
  key += '\0';
  key += ascii::upper(name);
  return key;
}

}  // namespace

bool ReferenceTable::add_link(std::string_view file, std::string_view fragment, int64_t position) {
  if (links_full()) return false;
  links_.push_back({cut(file, max_file), cut(fragment, max_name), position, -1});
  return true;
}

bool ReferenceTable::add_anchor(std::string_view file, std::string_view name, int64_t position) {
  if (anchors_full()) return false;
  anchors_.push_back({cut(file, max_file), cut(name, max_name), position});
  return true;
}

int32_t ReferenceTable::add_picture(std::string_view path, int32_t name_length, int64_t position) {
  if (pictures_full()) return -1;
  PictureSlot slot{cut(path, max_file), -1, false, name_length, position};
  for (const PictureSlot& earlier : pictures_) {
    if (earlier.path == slot.path) {
      slot.k = earlier.k;
      break;
    }
  }
  if (slot.k < 0) {
    slot.k = ++distinct_pictures_;
    slot.first = true;
  }
  pictures_.push_back(std::move(slot));
  if (pictures_.back().first && new_picture_) new_picture_(pictures_.back().path);
  return pictures_.back().k;
}

void ReferenceTable::leave_out_picture(std::string_view name, LeftOutPicture::Reason reason) {
  if (static_cast<int32_t>(left_out_.size()) >= max_pictures) return;
  for (const LeftOutPicture& known : left_out_) {
    if (known.name == name) return;
  }
  left_out_.push_back({std::string(name.substr(0, max_file)), reason});
}

void ReferenceTable::resolve_links() {
  // Later anchors overwrite earlier ones: the last registered wins.
  std::unordered_map<std::string, int32_t> by_key;
  by_key.reserve(anchors_.size());
  for (std::size_t i = 0; i < anchors_.size(); ++i) {
    by_key[key_of(anchors_[i].file, anchors_[i].name)] = static_cast<int32_t>(i);
  }
  for (LinkRecord& link : links_) {
    const auto found = by_key.find(key_of(link.file, link.fragment));
    link.anchor = found == by_key.end() ? -1 : found->second;
  }
}

bool ReferenceTable::patch(IntermediateFile& file) const {
  char digits[32];
  for (const LinkRecord& link : links_) {
    if (link.anchor < 0) continue;
    const int64_t target = anchors_[static_cast<std::size_t>(link.anchor)].position;
    std::snprintf(digits, sizeof digits, "%010lld", static_cast<long long>(target));
    if (!file.patch(link.position, std::string_view(digits, link_placeholder.size()))) return false;
  }
  for (const PictureSlot& slot : pictures_) {
    if (slot.k < 0) continue;
    // "\"NAME\" recindex=\"XXXXX\">" becomes "\"BMP\" recindex=\"0000k\">"
    // and blanks: the same length, as the name is at least three bytes.
    std::snprintf(digits, sizeof digits, "%05d", static_cast<int>(slot.k));
    std::string text = "\"BMP\" recindex=\"";
    text += digits;
    text += "\">";
    text.append(static_cast<std::size_t>(slot.name_length > 3 ? slot.name_length - 3 : 0), ' ');
    if (!file.patch(slot.position, text)) return false;
  }
  return true;
}

}  // namespace wayfetch
