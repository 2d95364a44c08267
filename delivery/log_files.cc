#include "delivery/log_files.h"

#include "core/error_sink.h"
#include "core/file.h"
#include "core/string.h"
#include "delivery/handheld_log.h"
#include "platform/file_system.h"

namespace wayfetch {
namespace {

// Open-mode codes (core/file.h): read and write an existing file; create a
// new one, failing when one appeared meanwhile (PalmDatabase::create adds
// read and write access).
constexpr uint8_t open_existing_read_write = 0x0B;
constexpr uint8_t create_new = 0x04;

}  // namespace

bool LogFile::open_or_create(const std::string& path, const std::string& name,
                             ErrorState& reporter) {
  if (platform::path_exists(path)) return open_existing(path, reporter);
  path_ = path;
  database_ = PalmDatabase::create(path, create_new, handheld_log::creator, handheld_log::type,
                                   PalmDatabase::mode_memory);
  if (database_ == nullptr) {
    report(reporter);
    return false;
  }
  created_ = true;
  database_->silent = true;  // failures are reported once, with the path
  database_->set_name(name);
  return true;
}

bool LogFile::open_existing(const std::string& path, ErrorState& reporter) {
  path_ = path;
  if (!platform::path_exists(path)) return false;
  // A file that is there but no database is left alone: it may be a log
  // this program cannot read, and overwriting it would lose its counts.
  database_ = PalmDatabase::open(path, open_existing_read_write, PalmDatabase::mode_memory);
  if (database_ == nullptr) {
    report(reporter);
    return false;
  }
  database_->silent = true;
  return true;
}

bool LogFile::write_back(ErrorState& reporter) {
  if (database_ == nullptr) return false;
  bool written = database_->close();
  database_.reset();
  if (!written) {
    if (created_) static_cast<void>(platform::remove_file(path_));
    report(reporter);
  }
  created_ = false;
  return written;
}

void LogFile::remove() {
  if (database_ == nullptr) return;
  database_->discard();
  database_.reset();
  static_cast<void>(platform::remove_file(path_));
  created_ = false;
}

void LogFile::abandon() {
  if (database_ == nullptr) return;
  database_->discard();
  database_.reset();
  if (created_) static_cast<void>(platform::remove_file(path_));
  created_ = false;
}

void LogFile::report(ErrorState& reporter) const {
  ContextLease file = ContextLease::register_text(String(path_), ErrorSink::retention_transient);
  reporter.raise_error(errors::file_access, file.slot());
}

}  // namespace wayfetch
