#pragma once
// Where the self-update puts the new version: always a file that did not exist before, directly
// in the run folder. The download runs into a working file beside it, which takes the final
// name only when every byte has arrived; neither name ever replaces anything.

#include "platform/path.h"
#include "platform/text.h"

namespace pelvaro {

// The manifest's file name as one name in the run folder, or empty when it is refused: an
// empty name, ".", "..", or anything holding "/" or "\" (it names another folder). Other
// unsafe characters become "_". A name without extension stays a file name.
Path UpdateFileName(const Text& manifestName);

// folder + "/" + name when nothing (file, folder, link) of that name exists there, else the
// first free of "stem (2).ext", "stem (3).ext", ...; empty when none up to 999 is free.
Path FreeFileIn(const Path& folder, const Path& name);

// A free name beside target for the transfer, with an extension so that the downloader takes
// it as a file: target + ".download", or target + ".N.download".
Path WorkingFileFor(const Path& target);

// Gives the finished working file its final name without replacing anything: target, or the
// next free name when target was taken meanwhile. Returns the final path; empty on failure.
Path MoveIntoPlace(const Path& working, const Path& target);

// Adds execute permission to the regular file at path (never through a link).
bool MakeExecutable(const Path& path);

}  // namespace pelvaro
