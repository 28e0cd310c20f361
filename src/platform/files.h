#pragma once
// Files and folders addressed by Text (GBK) paths; on Linux the names are stored as UTF-8.
// Nothing throws: a failure gives false, an empty result or std::nullopt.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace pelvaro {

// The file-system form of a program path (UTF-8).
std::string NativePath(const Text& path);

// a + "/" + b, without doubling a separator.
Text JoinPath(const Text& folder, const Text& name);

bool FileExists(const Text& path);    // a regular file (or a link to one)
bool FolderExists(const Text& path);  // a directory
bool PathExists(const Text& path);    // anything at all

// Creates the folder with every missing parent; true when it exists afterwards.
bool CreateFolders(const Text& path);

// Names beginning with this are the program's own scratch files, never a docid's marker.
inline constexpr std::string_view kScratchPrefix = ".pelvaro-";

// Whether files can be made in the folder: it is created (with its parents) when missing, then
// a file is created in it (unnamed where the file system allows), flushed and removed again. 0,
// or the errno of the step that failed (a read-only or full file system, missing rights, no
// inodes left).
int FolderWriteError(const Text& path);

// Free bytes available to the user on the file system that holds path (or its nearest
// existing parent).
std::optional<std::uint64_t> FreeSpaceBytes(const Text& path);

// Names (not paths) of the regular files directly in folder whose names end with suffix
// (compared without regard to ASCII case).
std::vector<Text> ListFiles(const Text& folder, std::string_view suffix);

// Names of the folders directly in folder ("." and ".." left out).
std::vector<Text> ListFolders(const Text& folder);

// The size of a regular file in bytes.
std::optional<std::uint64_t> FileSizeBytes(const Text& path);
// When a file was last changed, in seconds since the epoch.
std::optional<std::int64_t> FileModifiedTime(const Text& path);
// The device and inode of whatever path names (links not followed): tells one file from
// another one put in its place.
std::optional<std::pair<std::uint64_t, std::uint64_t>> FileIdentity(const Text& path);

std::optional<std::string> ReadWholeFile(const Text& path);

// Writes the whole file through a temporary file in the same folder and a rename, so that a
// reader or a crash sees either the old or the new content, never a mixture.
bool WriteFileAtomically(const Text& path, std::string_view bytes);

bool CreateEmptyFile(const Text& path);  // an existing file is left as it is
bool RemoveFile(const Text& path);
// The errno of the last failed file operation of the calling thread (after a false above).
int LastFileError();
// Renames without ever replacing an existing target; false when the target exists.
bool RenameNoReplace(const Text& from, const Text& to);

}  // namespace pelvaro
