#pragma once
// What the actions on a row of the video list work with: the row's video file when it is
// complete on disk, and its article link.

#include "platform/form.h"
#include "ui/main_window.h"

namespace pelvaro {

class CatalogueBackend;

// The file comes from the catalogue's row of the row's docid, which is written only once the
// video is complete and marked. Without a usable catalogue it is the file the crawl writes for
// the row's cells under the current settings, when that file exists.
MainWindow::RowVideo RowVideoOf(Form& form, RowHandle row, CatalogueBackend* catalogue);

}  // namespace pelvaro
