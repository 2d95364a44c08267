// File: the owner of one open file, with the program's one-byte open-mode
// code, optional deletion on close and temporary files.
//
// Open-mode codes in use: 0x09 read an existing file (loading texts), 0x16
// write, always create (XML files), 0x36 the same with read sharing (the error
// log), 0x97 read and write, always create, delete on close (temporary files).
// Sharing bits are accepted and not enforced (see docs/platform.md). Failures
// are return values: open returns false and leaves the File closed; read
// tells the end of the file (fewer bytes than asked, 0 at the end) from a
// failure (-1); write returns the bytes written, fewer on failure.
// Not thread-safe.
#ifndef WAYFETCH_CORE_FILE_H
#define WAYFETCH_CORE_FILE_H

#include <cstdint>
#include <string>
#include <string_view>

namespace wayfetch {

class String;

class File {
 public:
  enum class Origin { start, current, end };

  static constexpr uint8_t read_existing = 0x09;
  static constexpr uint8_t write_new = 0x16;
  static constexpr uint8_t write_new_shared = 0x36;
  static constexpr uint8_t temporary = 0x97;
  // The read-only attribute for a newly created file.
  static constexpr uint32_t read_only_attribute = 0x100;

  File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  ~File() { close(); }

  // Opens `path` (UTF-8, or a String in any encoding) with the open-mode code.
  // Returns false and stays closed on failure (also for invalid codes).
  bool open(const std::string& path, uint8_t code, uint32_t attributes = 0);
  bool open(const String& path, uint8_t code, uint32_t attributes = 0);
  bool open(const char* path, uint8_t code, uint32_t attributes = 0) {
    return open(std::string(path != nullptr ? path : ""), code, attributes);
  }
  // The same with a UTF-16 path (the wide-character open).
  bool open_wide(std::u16string_view path, uint8_t code, uint32_t attributes = 0);
  // Creates an empty file with a unique name "qzt..." in the temporary folder,
  // opened for reading and writing and deleted when closed.
  bool open_temporary();
  // Closes; deletes the file when it was opened with bit 7 of the code.
  void close();
  bool is_open() const { return handle_ >= 0; }

  // Bytes read: `count`, fewer only at the end of the file (0 there), or -1
  // when reading failed (an I/O error, a closed file, a file not opened for
  // reading). After a failure the position is unknown.
  int32_t read(void* buffer, int32_t count);
  // Bytes written; fewer than asked means failure (disk full, I/O error).
  int32_t write(const void* buffer, int32_t count);
  // The new position, or -1 on failure.
  int64_t seek(int64_t offset, Origin origin);
  // The size in bytes, or -1 when closed.
  int64_t size() const;
  bool flush();
  // Sets the end of the file at `n` bytes (the position moves to `n`).
  bool truncate(int64_t n);
  // Copies this whole file into `path` opened with `code` plus write access,
  // in chunks of 4000 bytes; true when everything was written.
  bool copy_to(const std::string& path, uint8_t code);
  bool copy_to(const String& path, uint8_t code);
  bool copy_to(const char* path, uint8_t code) {
    return copy_to(std::string(path != nullptr ? path : ""), code);
  }
  bool copy_to_wide(std::u16string_view path, uint8_t code);

  // The path remembered for deletion on close ("" otherwise).
  const std::string& name() const { return name_; }
  int handle() const { return handle_; }
  bool delete_on_close() const { return delete_on_close_; }

 private:
  int handle_ = -1;
  bool delete_on_close_ = false;
  std::string name_;
};

}  // namespace wayfetch

#endif
