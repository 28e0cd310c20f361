#include "collector/catalogue_choice.h"

#include "collector/catalogue.h"
#include "collector/postgres_catalogue.h"

namespace pelvaro {

bool IsSharedCatalogueUri(std::string_view uri) {
  return uri.starts_with("postgresql://") || uri.starts_with("postgres://");
}

std::unique_ptr<CatalogueBackend> OpenCatalogue(const std::string& uri, CatalogueBackend::Notice notice) {
  if (uri.empty()) return std::make_unique<Catalogue>(CataloguePath(), std::move(notice));
  return std::make_unique<PostgresCatalogue>(uri, std::move(notice));
}

}  // namespace pelvaro
