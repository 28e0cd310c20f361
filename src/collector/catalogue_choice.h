#pragma once
// Which catalogue a run uses: the data folder's SQLite file, or, given a connection URI, the
// catalogue a fleet of collectors shares on a PostgreSQL server.

#include <memory>
#include <string>
#include <string_view>

#include "collector/catalogue_backend.h"

namespace pelvaro {

// Whether `uri` names a PostgreSQL server ("postgresql://…" or "postgres://…").
bool IsSharedCatalogueUri(std::string_view uri);

// The catalogue for `uri`: empty selects CataloguePath(). A server that cannot be reached now
// still gives a catalogue, one that keeps trying in the background.
std::unique_ptr<CatalogueBackend> OpenCatalogue(const std::string& uri, CatalogueBackend::Notice notice = {});

}  // namespace pelvaro
