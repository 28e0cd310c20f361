#include "app/desktop/collected_source.h"

#include <QDir>
#include <QFileDialog>
#include <QMetaObject>
#include <QStandardPaths>
#include <vector>

#include "collector/catalogue.h"
#include "collector/catalogue_browse.h"
#include "collector/catalogue_csv.h"
#include "ui/collected_view.h"
#include "ui/dialogs.h"
#include "ui/qt_text.h"

namespace pelvaro {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

QString AskForCsvFile(QWidget* owner, const QString& suggested) {
  auto* dialog = new QFileDialog(DialogOwner(owner), U("导出CSV"), suggested, U("CSV 文件 (*.csv)"));
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setDefaultSuffix(QStringLiteral("csv"));
  if (!RunDialog(dialog)) return {};
  QString chosen;
  if (dialog->result() == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
    chosen = dialog->selectedFiles().constFirst();
  delete dialog;
  return chosen;
}

std::vector<CollectedVideoRow> VideoRows(const std::vector<CatalogueVideo>& videos) {
  std::vector<CollectedVideoRow> rows;
  rows.reserve(videos.size());
  for (const CatalogueVideo& v : videos) {
    rows.push_back({QString::fromStdString(v.title), QString::fromStdString(v.category),
                    QString::fromStdString(v.published), v.durationS, v.sizeBytes,
                    QString::fromStdString(v.takenAt), QString::fromStdString(v.path)});
  }
  return rows;
}

std::vector<FailedVideoRow> FailureRows(const std::vector<CatalogueFailure>& failures) {
  std::vector<FailedVideoRow> rows;
  rows.reserve(failures.size());
  for (const CatalogueFailure& f : failures) {
    rows.push_back({QString::fromStdString(f.docid), f.attempts, QString::fromStdString(f.reason),
                    QString::fromStdString(f.lastAt), f.attempts >= Catalogue::kGiveUpAttempts});
  }
  return rows;
}

}  // namespace

CollectedSource::CollectedSource(CollectedView& view, CatalogueBackend* catalogue)
    : view_(&view),
      catalogue_(catalogue),
      file_(dynamic_cast<Catalogue*>(catalogue)),
      savePrompt_(AskForCsvFile) {
  CollectedView::Events events;
  events.refresh = [this] { refresh(); };
  events.retryFailed = [this] { retryFailed(); };
  events.exportCsv = [this] { exportCsv(); };
  view.setEvents(std::move(events));
}

CollectedSource::~CollectedSource() {
  if (view_) view_->setEvents({});
  worker_.RequestStop();
  worker_.Join();
}

void CollectedSource::post(std::function<void(CollectedView&)> show) {
  CollectedView* view = view_.data();
  if (view == nullptr) return;
  // A turn that was stopped (the program is ending) shows nothing more.
  if (StopRequested()) return;
  QMetaObject::invokeMethod(
      view,
      [guard = QPointer<CollectedView>(view), show = std::move(show)] {
        if (guard) show(*guard);
      },
      Qt::QueuedConnection);
}

void CollectedSource::run(std::function<void()> job) {
  if (worker_.Running() || !view_) return;
  view_->setBusy(true);
  worker_.Start([this, job = std::move(job)] {
    job();
    post([](CollectedView& view) { view.setBusy(false); });
  });
}

void CollectedSource::read() {
  if (catalogue_ == nullptr || !catalogue_->usable()) {
    post([](CollectedView& view) { view.showNotice(U("视频目录无法使用，详情见日志。")); });
    return;
  }
  if (file_ == nullptr) {
    post([](CollectedView& view) {
      view.showNotice(U("共享视频目录的记录不在本页显示，请用 pelvaro-cli --stats 查看。"));
    });
    return;
  }
  if (!reader_) reader_ = std::make_unique<CatalogueReader>(*file_);
  std::vector<CatalogueVideo> videos;
  std::vector<CatalogueFailure> failures;
  const bool ok = ReadCatalogueVideos(*reader_, &videos) && ReadCatalogueFailures(*reader_, &failures);
  post([ok, rows = VideoRows(videos), failed = FailureRows(failures)](CollectedView& view) mutable {
    view.showVideos(std::move(rows));
    view.showFailures(std::move(failed));
    view.showNotice(ok ? QString() : U("视频目录读取失败，显示的可能不全。"));
  });
}

void CollectedSource::refresh() {
  if (view_ && !worker_.Running()) view_->showNotice(U("正在读取视频目录……"));
  run([this] { read(); });
}

void CollectedSource::retryFailed() {
  run([this] {
    const bool ok = catalogue_ != nullptr && catalogue_->clearFailures();
    read();
    post([ok](CollectedView& view) {
      view.showNotice(ok ? U("失败记录已清除：下次采集时会重新下载这些视频。")
                         : U("失败记录无法清除，详情见日志。"));
    });
  });
}

void CollectedSource::exportCsv() {
  if (!view_ || worker_.Running()) return;
  const QString suggested =
      QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)).filePath(U("已采集视频.csv"));
  const QString file = savePrompt_(view_->window(), suggested);
  if (file.isEmpty()) return;
  run([this, file] {
    const bool ok = file_ != nullptr && ExportCatalogueCsv(*file_, Utf8ToGbk(file.toStdString()));
    post([ok, file](CollectedView& view) {
      view.showNotice(ok ? U("已导出到：%1").arg(file) : U("无法导出到：%1").arg(file));
    });
  });
}

}  // namespace pelvaro
