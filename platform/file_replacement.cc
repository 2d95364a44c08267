#include "platform/file_replacement.h"

#include "platform/file_system.h"

namespace wayfetch::platform {

FileReplacement::FileReplacement(const std::string& target)
    : target_(resolve_path(target)),
      path_(create_file_beside(target_)),
      existed_(is_regular_file(target_)) {}

FileReplacement::~FileReplacement() {
  if (!path_.empty()) remove_file(path_);
}

bool FileReplacement::commit() {
  if (path_.empty()) return false;
  // A new file whose umask cannot be learnt keeps the 0600 it was made
  // with: its owner can use it, which is all the program needs, so this is
  // no reason to fail the save.
  if (!existed_) static_cast<void>(use_default_permissions(path_));
  if (!replace_file(path_, target_)) return false;  // the destructor removes the new file
  path_.clear();
  return true;
}

}  // namespace wayfetch::platform
