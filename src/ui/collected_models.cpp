#include "ui/collected_models.h"

#include "platform/printable_text.h"

namespace pelvaro {
namespace {

constexpr double kBytesPerMb = 1048576.0;

// Stored texts come from the network: what would move the cursor or ring a bell shows as a blank.
QString Plain(const QString& text) {
  return QString::fromStdString(StripControls(text.toStdString(), Controls::Blanked));
}

QVariant Header(const char* const* titles, int count, int section, Qt::Orientation orientation, int role) {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= count) return {};
  return QString::fromUtf8(titles[section]);
}

}  // namespace

QString DurationText(qint64 seconds) {
  if (seconds < 0) seconds = 0;
  const qint64 hours = seconds / 3600;
  const qint64 minutes = seconds / 60 % 60;
  const qint64 rest = seconds % 60;
  if (hours > 0) {
    return QStringLiteral("%1:%2:%3")
        .arg(hours)
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(rest, 2, 10, QLatin1Char('0'));
  }
  return QStringLiteral("%1:%2").arg(minutes).arg(rest, 2, 10, QLatin1Char('0'));
}

QString SizeText(qint64 bytes) {
  return QString::number(static_cast<double>(bytes) / kBytesPerMb, 'f', 1) + " MB";
}

QString LocalTimeText(const QString& iso) {
  // "2026-12-09T15:10:08+08:00": the date, a blank for the T, the time without its offset.
  QString text = Plain(iso.left(19));
  if (text.size() > 10 && text[10] == QLatin1Char('T')) text[10] = QLatin1Char(' ');
  return text;
}

void CollectedVideoModel::setRows(std::vector<CollectedVideoRow> rows) {
  beginResetModel();
  rows_ = std::move(rows);
  totalBytes_ = 0;
  for (auto& row : rows_) {
    row.title = Plain(row.title);
    row.category = Plain(row.category);
    row.published = Plain(row.published);
    totalBytes_ += row.sizeBytes;
  }
  endResetModel();
}

int CollectedVideoModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int CollectedVideoModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumns;
}

QVariant CollectedVideoModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
  const CollectedVideoRow& r = rows_[static_cast<std::size_t>(index.row())];
  if (role == Qt::TextAlignmentRole) {
    const bool number = index.column() == kDuration || index.column() == kSize;
    return QVariant::fromValue(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
  }
  if (role != Qt::DisplayRole && role != kSortRole) return {};
  const bool sort = role == kSortRole;
  switch (index.column()) {
    case kTitle:
      return r.title;
    case kCategory:
      return r.category;
    case kPublished:
      return r.published;
    case kDuration:
      return sort ? QVariant(r.durationS) : QVariant(DurationText(r.durationS));
    case kSize:
      return sort ? QVariant(r.sizeBytes) : QVariant(SizeText(r.sizeBytes));
    case kTakenAt:
      return sort ? QVariant(r.takenAt) : QVariant(LocalTimeText(r.takenAt));
    default:
      return {};
  }
}

QVariant CollectedVideoModel::headerData(int section, Qt::Orientation orientation, int role) const {
  static const char* const kTitles[] = {"标题", "类目", "发布日期", "时长", "大小", "采集时间"};
  return Header(kTitles, kColumns, section, orientation, role);
}

void FailedVideoModel::setRows(std::vector<FailedVideoRow> rows) {
  beginResetModel();
  rows_ = std::move(rows);
  for (auto& row : rows_) {
    row.docid = Plain(row.docid);
    row.reason = Plain(row.reason);
  }
  endResetModel();
}

int FailedVideoModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int FailedVideoModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant FailedVideoModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
  const FailedVideoRow& r = rows_[static_cast<std::size_t>(index.row())];
  if (role != Qt::DisplayRole && role != kSortRole) return {};
  switch (index.column()) {
    case kDocid:
      return r.docid;
    case kAttempts:
      if (role == kSortRole) return r.attempts;
      return r.givenUp ? QString::fromUtf8("%1（不再尝试）").arg(r.attempts) : QString::number(r.attempts);
    case kReason:
      return r.reason;
    case kLastAt:
      return role == kSortRole ? QVariant(r.lastAt) : QVariant(LocalTimeText(r.lastAt));
    default:
      return {};
  }
}

QVariant FailedVideoModel::headerData(int section, Qt::Orientation orientation, int role) const {
  static const char* const kTitles[] = {"docid", "失败次数", "原因", "最后一次"};
  return Header(kTitles, kColumns, section, orientation, role);
}

}  // namespace pelvaro
