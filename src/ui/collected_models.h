#pragma once
// The table models of the page 已采集: the collected videos and the remembered failures, shown
// as plain text (control characters of stored texts become blanks). Each column sorts by its
// value, not by its text: durations and sizes as numbers, times as the stored ISO text.

#include <QAbstractTableModel>
#include <vector>

#include "ui/collected_view.h"

namespace pelvaro {

// The role whose value a column sorts by.
inline constexpr int kSortRole = Qt::UserRole + 2;

// "m:ss" or "h:mm:ss".
QString DurationText(qint64 seconds);
// Megabytes of 1048576 bytes with one decimal, "12.3 MB".
QString SizeText(qint64 bytes);
// An ISO 8601 time as "2026-12-09 15:10:08" (the offset left out).
QString LocalTimeText(const QString& iso);

class CollectedVideoModel : public QAbstractTableModel {
 public:
  enum Column { kTitle, kCategory, kPublished, kDuration, kSize, kTakenAt, kColumns };

  using QAbstractTableModel::QAbstractTableModel;
  void setRows(std::vector<CollectedVideoRow> rows);
  const CollectedVideoRow& row(int index) const { return rows_[static_cast<std::size_t>(index)]; }
  qint64 totalBytes() const { return totalBytes_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::vector<CollectedVideoRow> rows_;
  qint64 totalBytes_ = 0;
};

class FailedVideoModel : public QAbstractTableModel {
 public:
  enum Column { kDocid, kAttempts, kReason, kLastAt, kColumns };

  using QAbstractTableModel::QAbstractTableModel;
  void setRows(std::vector<FailedVideoRow> rows);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::vector<FailedVideoRow> rows_;
};

}  // namespace pelvaro
