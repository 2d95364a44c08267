#include "core/error_log.h"

#include <string>

#include "core/error_codes.h"
#include "core/message_table.h"
#include "core/string.h"
#include "platform/code_page.h"

namespace wayfetch {

namespace {
// The longest wait for the log's mutex before a record is dropped.
constexpr int32_t mutex_wait_ms = 100;
}  // namespace

// Builds one record in a fixed buffer of UTF-16LE bytes: writing a record
// allocates nothing. A record is at most a message, a second message, a line
// number and one slot text, well inside the buffer.
class ErrorLog::RecordBuilder {
 public:
  void text(std::string_view ascii) {
    for (char c : ascii) unit(static_cast<char16_t>(static_cast<unsigned char>(c)));
  }
  void entry(int32_t index) { text(messages::entry(index)); }
  void units(const char16_t* units) {
    for (; *units != 0; ++units) unit(*units);
  }
  // "line: " and the last seven decimal digits of `line`, with leading zeros.
  void line_number(int32_t line) {
    entry(messages::line_label);
    uint32_t value = static_cast<uint32_t>(line) % 10000000u;
    char digits[7];
    for (int i = 6; i >= 0; --i) {
      digits[i] = static_cast<char>('0' + value % 10);
      value /= 10;
    }
    for (char d : digits) entry(messages::digit_zero + (d - '0'));
  }
  const uint8_t* data() const { return bytes_.data(); }
  int32_t size() const { return size_; }

 private:
  void unit(char16_t u) {
    if (size_ + 2 > static_cast<int32_t>(bytes_.size())) return;
    bytes_[static_cast<std::size_t>(size_++)] = static_cast<uint8_t>(u & 0xFF);
    bytes_[static_cast<std::size_t>(size_++)] = static_cast<uint8_t>(u >> 8);
  }
  std::array<uint8_t, 2048> bytes_{};
  int32_t size_ = 0;
};

// What one record holds besides its location text: the entries written
// before the line break, and which location line follows it.
struct ErrorLog::Layout {
  int32_t prefix = -1;  // entry before the message ("Error(internet): "), -1 none
  int32_t message = 0;
  int32_t appended = -1;  // entry after a space (warning 35's internet error), -1 none
  int32_t indent = messages::error_indent;
  code_groups::Location location = code_groups::Location::none;
};

ErrorLog::ErrorLog(const String& path, bool unicode) : unicode_(unicode) {
  open_ = file_.open(path, File::write_new_shared);
  if (open_ && !mutex_.create()) {
    file_.close();
    open_ = false;
  }
  if (open_ && unicode_) {
    const uint8_t mark[2] = {0xFF, 0xFE};
    // A log without its mark is still a log; a failing disk shows in the
    // records that follow, which cannot be reported anywhere either.
    static_cast<void>(file_.write(mark, 2));
  }
}

void ErrorLog::reset() {
  if (!open_ || !mutex_.wait(-1)) return;
  MutexRelease release(mutex_);
  slot_states_.fill(0);
  int64_t keep = unicode_ ? 2 : 0;
  // Neither can fail on a file this log holds open for writing unless the
  // disk does; records then keep being appended where the position is.
  static_cast<void>(file_.truncate(keep));
  static_cast<void>(file_.seek(keep, File::Origin::start));
}

void ErrorLog::flush() {
  if (!open_ || !mutex_.wait(mutex_wait_ms)) return;
  MutexRelease release(mutex_);
  // A log that cannot be flushed has nowhere to report it.
  static_cast<void>(file_.flush());
}

bool ErrorLog::slot_in_use(int32_t slot) const {
  return slot >= 0 && slot < slot_count && slot_states_[static_cast<std::size_t>(slot)] != 0;
}

int32_t ErrorLog::register_context(const String& text, int32_t retention) {
  return register_context(text, retention, next_context_serial());
}

int32_t ErrorLog::register_context(const String& text, int32_t retention, uint64_t serial) {
  std::u16string units;
  std::string_view bytes = text.window_bytes();
  switch (text.encoding()) {
    case TextEncoding::Unicode:
      for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) |
                                              (static_cast<uint8_t>(bytes[i + 1]) << 8)));
      }
      break;
    case TextEncoding::Multibyte:
      if (text.code_page() == -1) return -1;
      [[fallthrough]];
    case TextEncoding::SingleByte: {
      int32_t code_page = text.code_page() == -1 ? platform::system_code_page : text.code_page();
      if (!platform::to_utf16(code_page, reinterpret_cast<const uint8_t*>(bytes.data()),
                              bytes.size(), units)) {
        return -1;
      }
      break;
    }
    default:
      return -1;
  }
  if (units.size() > static_cast<std::size_t>(slot_characters)) units.resize(slot_characters);

  if (!mutex_.wait(mutex_wait_ms)) return -1;
  MutexRelease release(mutex_);
  int32_t chosen = -1;
  for (int32_t wanted : {0, retention_transient, retention_keep}) {
    for (int32_t i = 0; i < slot_count && chosen < 0; ++i) {
      if (slot_states_[static_cast<std::size_t>(i)] == wanted) chosen = i;
    }
    if (chosen >= 0) break;
  }
  if (chosen < 0) chosen = 0;  // slots hold other retention values only
  auto index = static_cast<std::size_t>(chosen);
  auto& slot = slots_[index];
  slot.fill(0);
  units.copy(slot.data(), units.size());
  slot_states_[index] = retention;
  slot_serials_[index] = serial;
  return chosen;
}

void ErrorLog::release_context(int32_t slot, uint64_t serial) {
  if (slot < 0 || slot >= slot_count || !mutex_.wait(mutex_wait_ms)) return;
  MutexRelease release(mutex_);
  auto index = static_cast<std::size_t>(slot);
  if (slot_serials_[index] == serial) slot_states_[index] = 0;
}

void ErrorLog::write_error(int32_t code, int32_t a, int32_t b) {
  if (!code_groups::error_written(code)) return;
  Layout layout;
  if (code_groups::is_internet_error(code)) layout.prefix = messages::internet_prefix;
  layout.message = code;
  layout.indent = messages::error_indent;
  layout.location = code_groups::error_location(code);
  write_record(layout, a, b);
}

void ErrorLog::write_warning(int32_t code, int32_t a, int32_t b) {
  if (!code_groups::warning_written(code)) return;
  Layout layout;
  layout.message = messages::warning_base + code;
  if (code == warnings::failed_http_request && code_groups::is_internet_error(b)) {
    layout.appended = b;
  }
  layout.indent = messages::warning_indent;
  layout.location = code_groups::warning_location(code);
  write_record(layout, a, b);
}

void ErrorLog::write_record(const Layout& layout, int32_t a, int32_t b) {
  if (!open_ || !unicode_) return;
  RecordBuilder record;
  if (layout.prefix >= 0) record.entry(layout.prefix);
  record.entry(layout.message);
  if (layout.appended >= 0) {
    record.entry(messages::space);
    record.entry(layout.appended);
  }
  record.entry(messages::line_break);
  // Slots change only under the mutex, so the location part is read under it.
  if (!mutex_.wait(mutex_wait_ms)) return;
  MutexRelease release(mutex_);
  using Location = code_groups::Location;
  switch (layout.location) {
    case Location::line_and_file:
      if (a != -1) {
        record.entry(layout.indent);
        record.line_number(a);
      }
      if (slot_in_use(b)) {
        record.entry(messages::in_file);
        record.units(slots_[static_cast<std::size_t>(b)].data());
        record.entry(messages::line_break);
      } else if (a != -1) {
        record.entry(messages::line_break);
      }
      break;
    case Location::file:
    case Location::address:
      if (slot_in_use(a)) {
        record.entry(layout.indent);
        record.entry(layout.location == Location::file ? messages::in_file : messages::url_label);
        record.units(slots_[static_cast<std::size_t>(a)].data());
        record.entry(messages::line_break);
      }
      break;
    case Location::none:
      break;
  }
  // A record the disk refuses cannot be reported: the log is where reports go.
  static_cast<void>(file_.write(record.data(), record.size()));
}

}  // namespace wayfetch
