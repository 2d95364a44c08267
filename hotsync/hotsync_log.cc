#include "hotsync/hotsync_log.h"

namespace wayfetch::hotsync {

std::string printable(std::string_view text, std::size_t limit) {
  std::string out;
  for (char c : text.substr(0, limit)) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      static constexpr char hex[] = "0123456789ABCDEF";
      out += "\\x";
      out += hex[byte >> 4];
      out += hex[byte & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

void HotSyncLog::add(std::string_view line) {
  std::lock_guard lock(mutex_);
  if (lines_.size() > max_lines) return;
  if (lines_.size() == max_lines) {
    lines_.emplace_back("The HotSync log is full; later lines are dropped");
    return;
  }
  lines_.push_back(printable(line, max_line));
}

std::vector<std::string> HotSyncLog::lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

void HotSyncLog::print(std::FILE* out) const {
  std::lock_guard lock(mutex_);
  for (const std::string& line : lines_) std::fprintf(out, "%s\n", line.c_str());
  std::fflush(out);
}

}  // namespace wayfetch::hotsync
