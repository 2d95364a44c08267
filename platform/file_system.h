// Files on POSIX: the program's one-byte open-mode code mapped onto open(2),
// temporary files, and the few folder operations the core needs.
//
// Open-mode code: bits 0-1 access (0 none, 1 read, 2 write, 3 both); bits 2-4
// creation (4 create new, 8 open existing, 12 open always, 16 truncate
// existing, 20 create always; anything else is invalid); bits 5-6 sharing
// (recorded by callers, not enforced: Linux has no mandatory sharing modes);
// bit 7 delete on close (handled by the caller). Thread-safe.
#ifndef WAYFETCH_PLATFORM_FILE_SYSTEM_H
#define WAYFETCH_PLATFORM_FILE_SYSTEM_H

#include <cstdint>
#include <cstdio>
#include <string>

namespace wayfetch::platform {

// The open(2) flags for an open-mode code, or -1 when the creation bits are invalid.
int open_flags_for(uint8_t code);

// Opens `path` with the open-mode code; `read_only_attribute` makes a newly
// created file read-only (mode 0444 before the umask). Returns the descriptor or -1.
int open_with_code(const std::string& path, uint8_t code, bool read_only_attribute);

// The folder for temporary files: $TMPDIR when set and non-empty, else "/tmp".
std::string temporary_folder();

// Creates a new empty file with a unique name "<folder>/<prefix>XXXXXX",
// opened for reading and writing. Returns the descriptor (or -1) and the name.
int create_temporary_file(const std::string& prefix, std::string& path_out);

// Removes a file; returns whether it was removed.
bool remove_file(const std::string& path);

// Creates a new folder "<temporary folder>/<prefix>XXXXXX" that only the user
// may enter (mode 0700). Returns its path, or "" when it cannot be made.
std::string create_temporary_folder(const std::string& prefix);
// Removes a folder and everything in it (symbolic links inside are removed,
// never followed). Returns whether nothing is left.
bool remove_folder(const std::string& path);
// Whether `path` names a regular file (symbolic links followed). Readers check
// this before opening a file a page names, as opening a FIFO blocks.
bool is_regular_file(const std::string& path);
// Whether anything (a dangling symbolic link too) is at `path`.
bool path_exists(const std::string& path);
// The last-write time of the regular file at `path` (symbolic links
// followed), in 100 ns units since 1601-01-01 00:00:00 UTC; false when no
// regular file is there. Times before 1601 read as 0.
bool last_write_time(const std::string& path, uint64_t& file_time);
// Renames whatever is at `from` (a file, folder or link) to `to`, replacing
// a file there; false when it fails.
bool rename_path(const std::string& from, const std::string& to);
// Gives `path` the permission bits of a freshly created file: 0666 less the
// process's umask. False when the umask cannot be learnt or the change fails.
bool use_default_permissions(const std::string& path);
// Whether `stream` writes to a terminal (progress lines are for people).
bool is_terminal(std::FILE* stream);

// Safe replacement of a file: write a new file beside the old one, then
// replace the old one by renaming, so that a failure half-way (disk full, an
// I/O error) leaves the old file whole.
//
// The path with symbolic links resolved when it exists, else unchanged (so
// that a replacement goes to the linked file, not over the link).
std::string resolve_path(const std::string& path);
// Creates a new empty file "<folder of target>/.<name of target>.XXXXXX"
// with the permission bits of `target` (0600 when it does not exist).
// Returns its path, or "" when the folder does not allow it.
std::string create_file_beside(const std::string& target);
// Flushes `from` to the disk (fsync), renames it over `to` and syncs their
// folder, so that after a crash `to` holds either the old or the whole new
// content. False, with nothing renamed, when `from` cannot be synced or
// renamed.
bool replace_file(const std::string& from, const std::string& to);

}  // namespace wayfetch::platform

#endif
