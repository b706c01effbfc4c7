// Path helpers of the engine and the programs, and the one place where a
// member's stored name is turned into a path on disk.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

// Cuts a path at its last backslash: C:\a\x.zip -> C:\a, C:\x.zip -> C:\.
void stripFileName(char* path);
// Creates the missing folders of path up to its last backslash. A failure is
// shown ("Could not create directory", captioned with the folder) and gives 1.
int createDirPath(const char* path);
// Deletes every file below folder, read-only ones too, and keeps the
// folders. A file that stays is shown ("Could not remove file") and the
// sweep goes on.
void deleteFilesBelow(const char* folder);
// Removes the folders below folder, deepest first, then folder itself;
// folders that are not empty stay.
void removeEmptyFolders(const char* folder);
// Size and last-write DOS time (local) of a file; the
// outputs stay untouched when the file cannot be opened.
void getFileDosTime(const char* path, std::uint32_t* size, std::uint16_t* date, std::uint16_t* time);
// The file's last-write time in seconds since 1970-01-01 UTC; false when it cannot be opened.
bool getFileUnixTime(const char* path, std::int64_t* seconds);

// The target path of a member below destination (which ends with a
// backslash): the stored name with '/' turned into '\', whole or only its
// last part. Returns 0, or the warning that says why the name is refused:
// ZWARN_UNSAFE when it would leave the destination (an absolute name, a
// drive or stream colon, a ".." part), ZWARN_DEVICE when a part is a Windows
// device name, ZWARN_BAD_NAME for characters Windows cannot store,
// ZWARN_TOO_LONG when the path would not fit in 260 bytes. The rules are the
// same on every host, as the engine's paths are DOS paths everywhere.
int memberTargetPath(const std::string& destination, const std::string& stored_name,
                     bool use_folder_names, char (&target)[platform::kMaxPath]);

// The longest link target restored; a longer one is no path a system resolves.
constexpr std::size_t kMaxLinkTarget = 4095;
// Whether a symbolic link at link_path (its path below the destination,
// parts separated by backslashes) holding target may be made: the target is
// relative, at most kMaxLinkTarget bytes without a NUL, and resolved
// lexically against the link's own folder it stays inside the destination.
// ".." may only lead the target: after a named part it would be resolved
// against whatever that part is on disk, perhaps another link, not lexically.
bool linkTargetStaysInside(const std::string& link_path, const std::string& target);
