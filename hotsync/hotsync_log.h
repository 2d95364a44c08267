// HotSyncLog: the lines of one HotSync's log, from the host and from the
// conduits (SyncAddLogEntry), printed when the HotSync ends.
//
// Lines are kept as given except that control bytes become "\xNN" (a
// conduit's text or a file name from the handheld folder never reaches a
// terminal as a control sequence) and each is cut to max_line bytes. After
// max_lines lines one last line says the log is full and further lines are
// dropped, so a runaway conduit cannot exhaust memory. Thread-safe.
#ifndef WAYFETCH_HOTSYNC_HOTSYNC_LOG_H
#define WAYFETCH_HOTSYNC_HOTSYNC_LOG_H

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace wayfetch::hotsync {

// `text` with control bytes written "\xNN" and cut to `limit` bytes.
std::string printable(std::string_view text, std::size_t limit = 1023);

class HotSyncLog {
 public:
  static constexpr std::size_t max_line = 1023;
  static constexpr std::size_t max_lines = 100000;

  void add(std::string_view line);
  std::vector<std::string> lines() const;
  // Writes every line, each followed by a line break.
  void print(std::FILE* out) const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace wayfetch::hotsync

#endif
