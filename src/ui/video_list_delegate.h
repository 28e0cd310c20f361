#pragma once
// Draws the cells of the program's lists: a progress cell as a bar with its rounded
// percentage (from the fraction the cell was given with its text, never from the text), the
// addresses of some columns cut in the middle rather than at their end, and the whole text of a
// cell that does not fit as its tooltip, always as plain text.

#include <QSet>
#include <QStyledItemDelegate>

namespace pelvaro {

// The item data role that holds a progress cell's fraction done (a double from 0 to 1).
inline constexpr int kCellFractionRole = Qt::UserRole + 1;

// The percentage a bar shows for a fraction: rounded to the nearest whole percent, but "100%"
// only for a download that is done, never for one just short of it.
QString ProgressPercentText(double fraction);

class VideoListDelegate : public QStyledItemDelegate {
 public:
  explicit VideoListDelegate(QSet<int> middleElidedColumns, QObject* parent = nullptr);

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                 const QModelIndex& index) override;

  // The tooltip of a cell as shown in `option`'s rectangle: its whole text when the cell cuts
  // it (or shows it as a bar), as rich text that only quotes it; empty when the text fits.
  QString toolTipFor(const QStyleOptionViewItem& option, const QModelIndex& index) const;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

 private:
  QSet<int> middleElided_;
};

}  // namespace pelvaro
