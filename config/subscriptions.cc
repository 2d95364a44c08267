// Adding subscriptions from description texts, and the time of the last
// download.
//
// The queue lock is held for the whole of add_queued, as it guards the
// adding as well as the queue: two threads never add at once, and a text
// queued meanwhile waits for the next call instead of being emptied away.
#include <algorithm>
#include <cstdio>
#include <random>
#include <utility>

#include "config/config_text.h"
#include "config/wayfetch_configuration.h"
#include "core/error_codes.h"
#include "platform/file_replacement.h"
#include "platform/file_system.h"
#include "platform/user_folders.h"

namespace wayfetch {
namespace {

// A name made from a title is tried with this many suffixes before the
// text fails: a loop that cannot end is no way to say "taken".
constexpr int32_t max_name_tries = 1000;

// Holds a semaphore of count 1 for one scope; `held` is false when it could
// not be taken (no semaphore).
class QueueLock {
 public:
  explicit QueueLock(Semaphore& lock) : lock_(lock), held_(lock.wait(-1)) {}
  ~QueueLock() {
    if (held_) lock_.release();
  }
  QueueLock(const QueueLock&) = delete;
  QueueLock& operator=(const QueueLock&) = delete;
  bool held() const { return held_; }

 private:
  Semaphore& lock_;
  bool held_;
};

// The bytes of a description file as a text, as String::read_file takes a
// file: a UTF-16 byte-order mark makes it UTF-16 (big-endian units turned
// around), anything else is single bytes whose code page the reader finds.
String text_of_file_bytes(std::string_view bytes) {
  String text;
  const bool little = bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
  const bool big = bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF';
  if (!little && !big) {
    text.set_text(bytes, TextEncoding::SingleByte, -1);
    return text;
  }
  std::string units(bytes.substr(2));
  if (big) {
    for (std::size_t i = 0; i + 1 < units.size(); i += 2) std::swap(units[i], units[i + 1]);
  }
  text.set_text(units, TextEncoding::Unicode, -1);
  return text;
}

// Writes `bytes` as the whole file at `path`, replacing it only when all of
// them were written.
bool write_whole_file(const std::string& path, std::string_view bytes) {
  platform::FileReplacement replacement(path);
  if (!replacement.ready()) return false;
  File file;
  if (!file.open(replacement.path(), File::write_new)) return false;
  const auto size = static_cast<int32_t>(bytes.size());
  const bool written = file.write(bytes.data(), size) == size && file.flush();
  file.close();
  return written && replacement.commit();
}

}  // namespace

void WayfetchConfiguration::queue_description(std::string_view bytes) {
  QueuedText queued;
  // A text too large to read is remembered as such, not kept: it fails in
  // its turn, so the caller learns which one it was.
  queued.too_large = static_cast<int64_t>(bytes.size()) > max_description_size;
  if (!queued.too_large) queued.bytes.assign(bytes);
  push_queued(std::move(queued));
}

void WayfetchConfiguration::push_queued(QueuedText queued) {
  QueueLock lock(queue_lock_);
  if (lock.held()) queue_.push_back(std::move(queued));
}

bool WayfetchConfiguration::queue_description_file(const String& path) {
  const std::string file_path = path.to_utf8();
  // A FIFO in the file's place must not block the thread.
  File file;
  if (!platform::is_regular_file(file_path) || !file.open(file_path, File::read_existing)) {
    return false;
  }
  // One byte past the limit tells a large file from one just within it.
  const int64_t size = file.size();
  if (size < 0) return false;
  std::string bytes(static_cast<std::size_t>(std::min(size, max_description_size + 1)), '\0');
  std::size_t length = 0;
  while (length < bytes.size()) {
    const int32_t got =
        file.read(bytes.data() + length, static_cast<int32_t>(bytes.size() - length));
    if (got < 0) return false;
    if (got == 0) break;
    length += static_cast<std::size_t>(got);
  }
  bytes.resize(length);
  queue_description(bytes);
  return true;
}

bool WayfetchConfiguration::has_queued() {
  QueueLock lock(queue_lock_);
  return lock.held() && !queue_.empty();
}

WayfetchConfiguration::AddResult WayfetchConfiguration::add_queued() {
  AddResult result;
  QueueLock lock(queue_lock_);
  if (!lock.held() || queue_.empty()) return result;
  // A data folder that cannot be made fails every text in its turn.
  platform::make_folders(data_folder().to_utf8());
  for (const QueuedText& queued : queue_) {
    AddedText outcome = add_one(queued);
    if (outcome.failure == AddFailure::none) {
      ++result.added;
    } else {
      result.ok = false;
    }
    result.texts.push_back(std::move(outcome));
  }
  queue_.clear();
  return result;
}

WayfetchConfiguration::AddedText WayfetchConfiguration::add_one(const QueuedText& queued) {
  AddedText outcome;
  if (queued.too_large) {
    outcome.failure = AddFailure::too_large;
    return outcome;
  }
  ENewsList list;
  if (!read_description(text_of_file_bytes(queued.bytes), list, nullptr)) {
    outcome.failure = AddFailure::unreadable;
    outcome.error = error;
    return outcome;
  }
  if (list.empty()) {
    outcome.failure = AddFailure::no_enews;
    return outcome;
  }
  // The eNews itself is looked for after the merge, not its name: an empty
  // name would find any nameless eNews already in the list.
  ENews* added = list.front().get();
  merge(std::move(list), true);
  int32_t position = -1;
  for (int32_t i = 0; i < count() && position < 0; ++i) {
    if (&at(i) == added) position = i;
  }
  if (position < 0) {
    outcome.failure = AddFailure::invalid_name;
    return outcome;
  }
  if (added->name().empty() && !make_name(*added)) {
    // Nameless, it could never get a folder: it leaves the list again.
    enews_.erase(enews_.begin() + position);
    outcome.failure = AddFailure::no_free_name;
    return outcome;
  }
  outcome.name = added->name();
  if (!added->create_folder() || !write_whole_file(added->enews_path().to_utf8(), queued.bytes)) {
    outcome.failure = AddFailure::not_written;
  }
  return outcome;
}

bool WayfetchConfiguration::make_name(ENews& enews) {
  const String made = name_from_title(enews.title);
  const std::string base = made.to_utf8();
  static thread_local std::minstd_rand random{std::random_device{}()};
  String name = made;
  for (int32_t tries = 0; tries < max_name_tries; ++tries) {
    const int32_t holder = find(name);
    if (holder < 0 || &at(holder) == &enews) {
      enews.set_name(name);
      return true;
    }
    char suffix[16];
    const int length =
        std::snprintf(suffix, sizeof suffix, "%x", static_cast<unsigned>(random() & 0x7FFF'FFFF));
    const std::size_t keep = max_made_name - static_cast<std::size_t>(length);
    name = config_text::utf8_text(base.substr(0, keep) + suffix);
  }
  return false;
}

Timestamp WayfetchConfiguration::last_download_time() const {
  Timestamp latest(Timestamp::unix_epoch);
  bool found = false;
  for (const auto& enews : enews_) {
    for (int32_t k = 0; k < enews->item_count(); ++k) {
      const std::optional<Timestamp> written = enews->item(k).data_time();
      if (written && (!found || *written > latest)) latest = *written;
      found = found || written.has_value();
    }
  }
  return latest;
}

}  // namespace wayfetch
