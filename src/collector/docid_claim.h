#pragma once
// Which copy of the program takes a docid. Before a video's file is created its docid is claimed
// through a claim file in the data folder (data/claims/, never the history folder, which holds
// markers only); the claim's lock goes with its process, so two copies on one output folder never
// take one video twice and a killed run's claims are free at once. Once the file is complete the
// claim records the file and its size, before the rename; the record stays until the marker and
// the catalogue row are written, so a run cut off in between, or one whose marker could not be
// written, leaves what the next run needs to finish the job without downloading again.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/claim_file.h"
#include "platform/path.h"
#include "platform/text.h"

namespace pelvaro {

// A complete file the program finished: the record of its claim.
struct FinishedFile {
  Text docid;
  Path path;
  std::uint64_t size = 0;
};

// The data folder + "/data/claims".
Path ClaimFolder();
Path ClaimPath(const Text& docid);

// The claim of a docid, or null: another copy holds it (`outcome` HeldElsewhere), or it cannot
// be made (Failed: the crawl then goes on unclaimed, as a single copy would).
std::shared_ptr<ClaimFile> ClaimDocid(const Text& docid, ClaimFile::Outcome* outcome = nullptr);
// Whether another copy holds the docid's claim now.
bool DocidClaimedElsewhere(const Text& docid);

std::string FinishedRecord(const FinishedFile& file);
// The record read back; nullopt for an empty or foreign one.
std::optional<FinishedFile> ParseFinishedRecord(std::string_view record);

}  // namespace pelvaro
