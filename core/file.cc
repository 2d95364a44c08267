#include "core/file.h"

#include <unistd.h>

#include <array>
#include <cerrno>

#include "core/string.h"
#include "platform/code_page.h"
#include "platform/file_system.h"

namespace wayfetch {

File::File(File&& other) noexcept
    : handle_(other.handle_),
      delete_on_close_(other.delete_on_close_),
      name_(std::move(other.name_)) {
  other.handle_ = -1;
  other.delete_on_close_ = false;
  other.name_.clear();
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = other.handle_;
    delete_on_close_ = other.delete_on_close_;
    name_ = std::move(other.name_);
    other.handle_ = -1;
    other.delete_on_close_ = false;
    other.name_.clear();
  }
  return *this;
}

bool File::open(const std::string& path, uint8_t code, uint32_t attributes) {
  close();
  int fd = platform::open_with_code(path, code, (attributes & read_only_attribute) != 0);
  if (fd < 0) return false;
  handle_ = fd;
  if ((code & 0x80) != 0) {
    delete_on_close_ = true;
    name_ = path;
  }
  return true;
}

bool File::open(const String& path, uint8_t code, uint32_t attributes) {
  return open(path.to_utf8(), code, attributes);
}

namespace {
// Paths are UTF-8 on Linux; a UTF-16 path is converted first.
std::string narrow_path(std::u16string_view path) {
  std::string narrow;
  platform::from_utf16(platform::system_code_page, path.data(), path.size(), narrow);
  return narrow;
}
}  // namespace

bool File::open_wide(std::u16string_view path, uint8_t code, uint32_t attributes) {
  return open(narrow_path(path), code, attributes);
}

bool File::open_temporary() {
  close();
  std::string path;
  int fd = platform::create_temporary_file("qzt", path);
  if (fd < 0) return false;
  handle_ = fd;
  delete_on_close_ = true;
  name_ = path;
  return true;
}

void File::close() {
  if (handle_ >= 0) {
    ::close(handle_);
    if (delete_on_close_) platform::remove_file(name_);
  }
  handle_ = -1;
  delete_on_close_ = false;
  name_.clear();
}

int32_t File::read(void* buffer, int32_t count) {
  if (count <= 0) return 0;
  if (handle_ < 0 || buffer == nullptr) return -1;
  auto* out = static_cast<char*>(buffer);
  int32_t done = 0;
  while (done < count) {
    ssize_t n = ::read(handle_, out + done, static_cast<std::size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    // Bytes read before an error are no use to a caller that wanted them
    // all: a page or record cut short must never pass for a whole one.
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<int32_t>(n);
  }
  return done;
}

int32_t File::write(const void* buffer, int32_t count) {
  if (handle_ < 0 || buffer == nullptr || count <= 0) return 0;
  const auto* in = static_cast<const char*>(buffer);
  int32_t done = 0;
  while (done < count) {
    ssize_t n = ::write(handle_, in + done, static_cast<std::size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<int32_t>(n);
  }
  return done;
}

int64_t File::seek(int64_t offset, Origin origin) {
  if (handle_ < 0) return -1;
  int whence = origin == Origin::start ? SEEK_SET : origin == Origin::current ? SEEK_CUR : SEEK_END;
  off_t result = ::lseek(handle_, static_cast<off_t>(offset), whence);
  return result < 0 ? -1 : static_cast<int64_t>(result);
}

int64_t File::size() const {
  if (handle_ < 0) return -1;
  off_t here = ::lseek(handle_, 0, SEEK_CUR);
  off_t end = ::lseek(handle_, 0, SEEK_END);
  if (here >= 0) ::lseek(handle_, here, SEEK_SET);
  return end < 0 ? -1 : static_cast<int64_t>(end);
}

bool File::flush() {
  return handle_ >= 0 && ::fsync(handle_) == 0;
}

bool File::truncate(int64_t n) {
  if (handle_ < 0 || n < 0) return false;
  if (::lseek(handle_, static_cast<off_t>(n), SEEK_SET) < 0) return false;
  return ::ftruncate(handle_, static_cast<off_t>(n)) == 0;
}

bool File::copy_to(const std::string& path, uint8_t code) {
  if (handle_ < 0) return false;
  File target;
  if (!target.open(path, static_cast<uint8_t>(code | 0x02))) return false;
  if (seek(0, Origin::start) != 0) return false;
  std::array<char, 4000> chunk{};
  while (true) {
    int32_t got = read(chunk.data(), static_cast<int32_t>(chunk.size()));
    if (got < 0) return false;
    int32_t put = got > 0 ? target.write(chunk.data(), got) : 0;
    if (put < got) return false;
    if (got < static_cast<int32_t>(chunk.size())) return true;
  }
}

bool File::copy_to(const String& path, uint8_t code) {
  return copy_to(path.to_utf8(), code);
}

bool File::copy_to_wide(std::u16string_view path, uint8_t code) {
  return copy_to(narrow_path(path), code);
}

}  // namespace wayfetch
