#include "app/desktop/row_video.h"

#include <QFileInfo>

#include "collector/catalogue.h"
#include "collector/catalogue_browse.h"
#include "collector/collector_settings.h"
#include "collector/platform_api.h"
#include "collector/output_layout.h"
#include "collector/video_record.h"
#include "platform/files.h"
#include "platform/window_layout.h"
#include "ui/qt_text.h"

namespace pelvaro {

namespace mw = main_window;

MainWindow::RowVideo RowVideoOf(Form& form, RowHandle row, CatalogueBackend* catalogue) {
  MainWindow::RowVideo video;
  const Text docid = form.cell(mw::kVideoList, row, mw::kColDocid);
  if (docid.empty()) return video;
  video.link = QtFromGbk(ArticleLink(docid));
  std::string file;
  if (catalogue != nullptr && catalogue->usable()) {
    if (const auto row = catalogue->video(GbkToUtf8(docid))) file = row->path;
  } else {
    VideoRecord record;
    record.category = form.cell(mw::kVideoList, row, mw::kColCategory);
    record.title = form.cell(mw::kVideoList, row, mw::kColTitle);
    record.width = form.cell(mw::kVideoList, row, mw::kColWidth);
    record.height = form.cell(mw::kVideoList, row, mw::kColHeight);
    const CollectorSettings settings(form);
    const Text folder = TargetFolder(settings.outputFolder(), settings.noSubfolders(), record);
    file = NativePath(JoinPath(folder, VideoFileName(record.title)));
  }
  if (!file.empty() && QFileInfo(QString::fromStdString(file)).isFile())
    video.file = QString::fromStdString(file);
  return video;
}

}  // namespace pelvaro
