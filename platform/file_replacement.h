// FileReplacement: the one way the program saves a whole file safely.
//
// The new content is written to a new file beside the target
// (".NAME.XXXXXX" in the target's folder, platform::create_file_beside) and
// renamed over the target only when complete (platform::replace_file), so
// a full disk or an I/O error half-way leaves the old file whole. A target
// given as a symbolic link replaces the linked file. The new file has the
// old file's permission bits; a target that did not exist gets those of a
// freshly created file (0666 less the umask). Without commit() the new file
// is removed when the object goes. E-books and Palm databases are saved
// this way; configuration files will be too.
//
// One owner, one thread; distinct replacements may run on distinct threads.
#ifndef WAYFETCH_PLATFORM_FILE_REPLACEMENT_H
#define WAYFETCH_PLATFORM_FILE_REPLACEMENT_H

#include <string>

namespace wayfetch::platform {

class FileReplacement {
 public:
  // Creates the new file beside `target`; see ready().
  explicit FileReplacement(const std::string& target);
  // Removes the new file unless it was committed.
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // False when the new file could not be made (the folder takes no new
  // file, or the target names a folder); nothing else then works.
  bool ready() const { return !path_.empty(); }
  // The new file to write (empty when not ready).
  const std::string& path() const { return path_; }
  // The file that is replaced: the target with symbolic links resolved.
  const std::string& target() const { return target_; }

  // Puts the new file in the target's place. False when not ready or the
  // rename fails; the new file is then removed and the target untouched.
  bool commit();

 private:
  std::string target_;
  std::string path_;
  bool existed_ = false;
};

}  // namespace wayfetch::platform

#endif
