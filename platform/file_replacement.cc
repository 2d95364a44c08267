#include "platform/file_replacement.h"

#include "platform/file_system.h"

namespace wayfetch::platform {

FileReplacement::FileReplacement(const std::string& target, NewFile new_file)
    : target_(resolve_path(target)), path_(create_file_beside(target_)), new_file_(new_file) {}

FileReplacement::~FileReplacement() {
  if (!path_.empty()) remove_file(path_);
}

bool FileReplacement::commit_to(const std::string& other) {
  if (path_.empty()) return false;
  // A new file whose umask cannot be learnt keeps the 0600 it was made
  // with: its owner can use it, which is all the program needs, so this is
  // no reason to fail the save.
  if (new_file_ == NewFile::usual && !is_regular_file(other)) {
    static_cast<void>(use_default_permissions(path_));
  }
  if (!replace_file(path_, other)) return false;  // the destructor removes the new file
  path_.clear();
  return true;
}

}  // namespace wayfetch::platform
