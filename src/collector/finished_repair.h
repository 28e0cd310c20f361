#pragma once
// What an earlier run finished but could not write down, finished at the start of a crawl:
// every claim record nobody holds is looked at (a complete file without its marker gets the
// marker, a marked one its catalogue row, a record whose file is gone is dropped), and every
// marker without a catalogue row gets one with what is known of it (the docid, and the file and
// its size where a record tells them).

namespace pelvaro {

class CatalogueBackend;

struct RepairCount {
  int markers = 0;  // markers written for complete files
  int rows = 0;     // catalogue rows added
};

// `catalogue` may be null (no rows then). A marker that cannot be written stops the repair
// there, leaving the records for later.
RepairCount RepairFinishedFiles(CatalogueBackend* catalogue);

}  // namespace pelvaro
