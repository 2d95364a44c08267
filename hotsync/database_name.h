// The file names of handheld databases in a handheld folder.
//
// A database is known by the name in its header (1 to 31 bytes, no zero
// byte). A database the host creates is stored in the file named by
// file_name_for_database: the name with unsafe bytes written as "%XX"
// (upper-case hex) and ".pdb" appended. Escaped are "%" itself, control
// bytes and DEL, bytes above 0x7E, "/", the characters FAT and other
// removable-storage file systems refuse (\ : * ? " < > |), a leading "." (so
// no name becomes hidden, "." or ".."), and a trailing "." or blank (which
// such file systems drop). The result is at most 97 bytes, never holds a
// "/", never starts with ".", and so always names a file inside the folder.
//
// The mapping is one to one: database_name_for_file accepts exactly the
// file names file_name_for_database produces and gives the name back.
// Thread-safe (pure functions).
#ifndef WAYFETCH_HOTSYNC_DATABASE_NAME_H
#define WAYFETCH_HOTSYNC_DATABASE_NAME_H

#include <optional>
#include <string>
#include <string_view>

namespace wayfetch::hotsync {

inline constexpr std::size_t max_database_name = 31;

// Whether `name` can name a database: 1 to 31 bytes, no zero byte.
bool is_database_name(std::string_view name);

// The file name for a database name; "" when it is no database name.
std::string file_name_for_database(std::string_view name);

// The database name a file name stands for; empty for any file name that
// file_name_for_database does not produce.
std::optional<std::string> database_name_for_file(std::string_view file_name);

}  // namespace wayfetch::hotsync

#endif
