#pragma once
// Files and folders addressed by Path, byte for byte.
// Nothing throws: a failure gives false, an empty result or std::nullopt.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/path.h"

namespace pelvaro {

bool FileExists(const Path& path);    // a regular file (or a link to one)
bool FolderExists(const Path& path);  // a directory
bool PathExists(const Path& path);    // anything at all

// Creates the folder with every missing parent; true when it exists afterwards.
bool CreateFolders(const Path& path);

// Names beginning with this are the program's own scratch files, never a docid's marker.
inline constexpr std::string_view kScratchPrefix = ".pelvaro-";

// Whether files can be made in the folder: it is created (with its parents) when missing, then
// a file is created in it (unnamed where the file system allows), flushed and removed again. 0,
// or the errno of the step that failed (a read-only or full file system, missing rights, no
// inodes left).
int FolderWriteError(const Path& path);

// Free bytes available to the user on the file system that holds path (or its nearest
// existing parent).
std::optional<std::uint64_t> FreeSpaceBytes(const Path& path);

// Names (not paths) of the regular files directly in folder whose names end with suffix
// (compared without regard to ASCII case).
std::vector<Path> ListFiles(const Path& folder, std::string_view suffix);

// Names of the folders directly in folder ("." and ".." left out).
std::vector<Path> ListFolders(const Path& folder);

// The size of a regular file in bytes.
std::optional<std::uint64_t> FileSizeBytes(const Path& path);
// When a file was last changed, in seconds since the epoch.
std::optional<std::int64_t> FileModifiedTime(const Path& path);
// The device and inode of whatever path names (links not followed): tells one file from
// another one put in its place.
std::optional<std::pair<std::uint64_t, std::uint64_t>> FileIdentity(const Path& path);

std::optional<std::string> ReadWholeFile(const Path& path);

// Writes the whole file through a temporary file in the same folder and a rename, so that a
// reader or a crash sees either the old or the new content, never a mixture.
bool WriteFileAtomically(const Path& path, std::string_view bytes);

bool CreateEmptyFile(const Path& path);  // an existing file is left as it is
bool RemoveFile(const Path& path);
// The errno of the last failed file operation of the calling thread (after a false above).
int LastFileError();
// Renames without ever replacing an existing target; false when the target exists.
bool RenameNoReplace(const Path& from, const Path& to);

}  // namespace pelvaro
