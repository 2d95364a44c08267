// LogFile: the desktop handheld log as one merge or upload holds it open.
//
// The log is a Palm database opened in memory (mode 0); changes reach the
// disk only through write_back(), which replaces the file by renaming a
// complete new one over it, so a run that stops half-way leaves the earlier
// log whole. A LogFile that is neither written back nor removed discards its
// changes; a log it created is then removed again, so that no empty file is
// left that is not a database. Failures raise error 6 on the reporter with
// the log's path. Not thread-safe.
#ifndef WAYFETCH_DELIVERY_LOG_FILES_H
#define WAYFETCH_DELIVERY_LOG_FILES_H

#include <memory>
#include <string>

#include "core/error_state.h"
#include "core/palm_database.h"

namespace wayfetch {

class LogFile {
 public:
  LogFile() = default;
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;
  ~LogFile() { abandon(); }

  // Opens the log at `path` for reading and writing; when no file is there,
  // creates it (creator "LORV", type "LogF", database name `name`). False
  // with error 6 when a file is there that cannot be opened as a database
  // (it is left alone), or when it cannot be created.
  bool open_or_create(const std::string& path, const std::string& name, ErrorState& reporter);
  // Opens an existing log. False without an error when there is none; with
  // error 6 when it cannot be opened.
  bool open_existing(const std::string& path, ErrorState& reporter);
  // REQUIRES: open.
  PalmDatabase& database() { return *database_; }

  // Writes the log back and closes it; false with error 6 when it could not
  // be written (the file on disk is then as it was).
  bool write_back(ErrorState& reporter);
  // Closes without writing and deletes the file.
  void remove();
  // Closes without writing; a log created by this object is removed.
  void abandon();

 private:
  void report(ErrorState& reporter) const;

  std::string path_;
  std::unique_ptr<PalmDatabase> database_;
  bool created_ = false;
};

}  // namespace wayfetch

#endif
