// FileReplacement: the one way the program saves a whole file safely.
//
// The new content is written to a new file beside the target
// (".NAME.XXXXXX" in the target's folder, platform::create_file_beside) and
// renamed over the target only when complete (platform::replace_file, which
// flushes it to the disk first), so a full disk, an I/O error or a power
// loss half-way leaves the old file whole. A target given as a symbolic link
// replaces the linked file. The new file has the old file's permission bits;
// one that replaces nothing gets those of a freshly created file (0666 less
// the umask) or, when asked for, stays private to the user (0600). Without a
// commit the new file is removed when the object goes. E-books, Palm
// databases, the simulated handheld's databases and the HotSync host's
// registrations are saved this way.
//
// One owner, one thread; distinct replacements may run on distinct threads.
#ifndef WAYFETCH_PLATFORM_FILE_REPLACEMENT_H
#define WAYFETCH_PLATFORM_FILE_REPLACEMENT_H

#include <string>

namespace wayfetch::platform {

class FileReplacement {
 public:
  // The permission bits of a new file that replaces no file.
  enum class NewFile { usual, private_to_user };

  // Creates the new file beside `target`; see ready().
  explicit FileReplacement(const std::string& target, NewFile new_file = NewFile::usual);
  // Removes the new file unless it was committed.
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // False when the new file could not be made (the folder takes no new
  // file, or the target names a folder); nothing else then works.
  bool ready() const { return !path_.empty(); }
  // The new file to write (empty when not ready or once committed).
  const std::string& path() const { return path_; }
  // The file that is replaced: the target with symbolic links resolved.
  const std::string& target() const { return target_; }

  // Puts the new file in the target's place. False when not ready or the
  // rename fails; the new file is then removed and the target untouched.
  bool commit() { return commit_to(target_); }
  // The same in the place of `other`, a file in the same folder named only
  // once the content is written (taken as given: no links resolved).
  bool commit_to(const std::string& other);

 private:
  std::string target_;
  std::string path_;
  NewFile new_file_;
};

}  // namespace wayfetch::platform

#endif
