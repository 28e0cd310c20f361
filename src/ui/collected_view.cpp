#include "ui/collected_view.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include "ui/collected_models.h"
#include "ui/video_list_delegate.h"

namespace pelvaro {
namespace {

constexpr int kRowPadding = 6;

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// A read-only list of whole rows: fixed row heights keep ten thousand rows quick to show.
QTableView* MakeTable(QAbstractItemModel* model, QWidget* parent) {
  auto* table = new QTableView(parent);
  table->setModel(model);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setWordWrap(false);
  table->setAlternatingRowColors(true);
  table->verticalHeader()->hide();
  table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + kRowPadding);
  table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  table->horizontalHeader()->setHighlightSections(false);
  table->setItemDelegate(new VideoListDelegate({}, table));
  return table;
}

// Column widths from sample contents; the stretching column takes the rest.
void SizeColumns(QTableView* table, std::initializer_list<const char*> samples, int stretch) {
  const QFontMetrics metrics = table->fontMetrics();
  int column = 0;
  for (const char* sample : samples) {
    const int width = std::max(metrics.horizontalAdvance(U(sample)) + 16,
                               table->horizontalHeader()->sectionSizeHint(column) + 4);
    table->setColumnWidth(column++, width);
  }
  table->horizontalHeader()->setSectionResizeMode(stretch, QHeaderView::Stretch);
}

}  // namespace

CollectedView::CollectedView(QWidget* parent) : QWidget(parent) {
  videoModel_ = new CollectedVideoModel(this);
  failureModel_ = new FailedVideoModel(this);
  sorted_ = new QSortFilterProxyModel(this);
  sorted_->setSourceModel(videoModel_);
  sorted_->setSortRole(kSortRole);
  sorted_->setFilterKeyColumn(-1);
  sorted_->setFilterCaseSensitivity(Qt::CaseInsensitive);

  search_ = new QLineEdit(this);
  search_->setObjectName(QStringLiteral("collectedSearch"));
  search_->setPlaceholderText(U("搜索标题、类目或日期"));
  search_->setClearButtonEnabled(true);
  refresh_ = new QPushButton(U("刷新"), this);
  auto* open = new QPushButton(U("打开视频"), this);
  auto* folder = new QPushButton(U("打开所在文件夹"), this);
  export_ = new QPushButton(U("导出CSV…"), this);
  auto* top = new QHBoxLayout;
  top->addWidget(search_, 1);
  for (QPushButton* button : {refresh_, open, folder, export_}) top->addWidget(button);

  videos_ = MakeTable(sorted_, this);
  videos_->setObjectName(QStringLiteral("collectedVideos"));
  videos_->setSortingEnabled(true);
  SizeColumns(videos_,
              {"", "娱乐娱乐", "2026-12-09 15:10:08", "10:00:00", "1000.0 MB", "2026-12-09 15:10:08"},
              CollectedVideoModel::kTitle);
  videos_->sortByColumn(CollectedVideoModel::kTakenAt, Qt::DescendingOrder);
  summary_ = new QLabel(this);
  summary_->setTextFormat(Qt::PlainText);

  auto* failurePane = new QWidget(this);
  failureTitle_ = new QLabel(failurePane);
  failureTitle_->setTextFormat(Qt::PlainText);
  retry_ = new QPushButton(U("重新尝试失败的视频"), failurePane);
  retry_->setToolTip(U("忘记这些失败，下次采集时再下载它们"));
  failures_ = MakeTable(failureModel_, failurePane);
  failures_->setObjectName(QStringLiteral("collectedFailures"));
  SizeColumns(failures_, {"V_abcdefgh", "3（不再尝试）", "", "2026-12-09 15:10:08"},
              FailedVideoModel::kReason);
  auto* failureHead = new QHBoxLayout;
  failureHead->addWidget(failureTitle_, 1);
  failureHead->addWidget(retry_);
  auto* failureLayout = new QVBoxLayout(failurePane);
  failureLayout->setContentsMargins(0, 0, 0, 0);
  failureLayout->addLayout(failureHead);
  failureLayout->addWidget(failures_, 1);

  auto* videoPane = new QWidget(this);
  auto* videoLayout = new QVBoxLayout(videoPane);
  videoLayout->setContentsMargins(0, 0, 0, 0);
  videoLayout->addWidget(videos_, 1);
  videoLayout->addWidget(summary_);

  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(videoPane);
  split->addWidget(failurePane);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 1);
  split->setChildrenCollapsible(false);

  notice_ = new QLabel(this);
  notice_->setTextFormat(Qt::PlainText);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->addLayout(top);
  layout->addWidget(split, 1);
  layout->addWidget(notice_);

  connect(search_, &QLineEdit::textChanged, this, [this](const QString& text) {
    sorted_->setFilterFixedString(text);
    updateSummary();
  });
  auto fire = [](const std::function<void()>& hook) {
    if (hook) hook();
  };
  connect(refresh_, &QPushButton::clicked, this, [this, fire] { fire(events_.refresh); });
  connect(export_, &QPushButton::clicked, this, [this, fire] { fire(events_.exportCsv); });
  connect(retry_, &QPushButton::clicked, this, [this, fire] { fire(events_.retryFailed); });
  connect(open, &QPushButton::clicked, this, [this] { openSelected(); });
  connect(folder, &QPushButton::clicked, this, [this] { openSelectedFolder(); });
  connect(videos_, &QAbstractItemView::activated, this, [this] { openSelected(); });
  showFailures({});
  updateSummary();
}

CollectedView::~CollectedView() = default;

void CollectedView::showVideos(std::vector<CollectedVideoRow> rows) {
  videoModel_->setRows(std::move(rows));
  updateSummary();
}

void CollectedView::showFailures(std::vector<FailedVideoRow> rows) {
  const auto count = rows.size();
  failureModel_->setRows(std::move(rows));
  failureTitle_->setText(U("下载失败的视频：%1 个").arg(count));
  retry_->setEnabled(count > 0);
}

void CollectedView::showNotice(const QString& text) { notice_->setText(text); }

void CollectedView::setBusy(bool busy) {
  refresh_->setEnabled(!busy);
  export_->setEnabled(!busy);
  retry_->setEnabled(!busy && failureModel_->rowCount() > 0);
}

void CollectedView::updateSummary() {
  const int shown = sorted_->rowCount();
  const int all = videoModel_->rowCount();
  QString text = U("共 %1 个视频，合计 %2").arg(all).arg(SizeText(videoModel_->totalBytes()));
  if (shown != all) text += U("；显示 %1 个").arg(shown);
  summary_->setText(text);
}

QString CollectedView::selectedFile() const {
  const QModelIndexList rows = videos_->selectionModel()->selectedRows();
  if (rows.isEmpty()) return {};
  const QModelIndex source = sorted_->mapToSource(rows.first());
  return source.isValid() ? videoModel_->row(source.row()).path : QString();
}

void CollectedView::openSelected() { open(selectedFile(), false); }

void CollectedView::openSelectedFolder() { open(selectedFile(), true); }

void CollectedView::open(const QString& file, bool folder) {
  if (file.isEmpty()) {
    showNotice(U("请先在列表中选择一个视频。"));
    return;
  }
  const QFileInfo info(file);
  if (!info.exists()) {
    showNotice(U("视频文件已不在：%1").arg(file));
    return;
  }
  const QUrl url = QUrl::fromLocalFile(folder ? info.absolutePath() : info.absoluteFilePath());
  if (opener_) {
    opener_(url);
  } else {
    QDesktopServices::openUrl(url);
  }
}

}  // namespace pelvaro
