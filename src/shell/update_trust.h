#pragma once
// What the self-update trusts. A downloaded program file is kept only when its signature in
// minisign's format (fetched from the download address + ".minisig") verifies with a trusted
// key, its trusted comment names the offered version, and that version is newer than the
// running one. Until then the bytes stay under their working name and are never run.

#include <string>
#include <string_view>
#include <vector>

#include "platform/path.h"
#include "platform/text.h"
#include "toolkit/minisign.h"

namespace pelvaro {

// The vendor's key, built into the program, and the public key file PELVARO_UPDATE_KEY_FILE
// names, when it holds one (it adds trust, for tests and private mirrors; it replaces nothing).
std::vector<MinisignPublicKey> TrustedUpdateKeys();

// The trusted comment a release's signature carries: "pelvaro-collector " + version.
std::string UpdateSignatureComment(std::string_view version);

// Whether `offered` is newer than `current`, both dotted numbers ("4.7", "4.10.2") compared part
// by part as numbers, a missing part counting 0. Anything that is no dotted number (empty, a
// blank, a letter) is never newer.
bool IsNewerVersion(std::string_view offered, std::string_view current);

// Why the downloaded file at `path` (a program path) must not be kept, as a reason for the run
// log (GBK); empty when it may. `signature` is the signature file as fetched (empty when none
// came), `version` the manifest's "版本".
Text UpdateRefusal(const Path& path, std::string_view signature, const Text& version);

}  // namespace pelvaro
