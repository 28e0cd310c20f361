#include "ui/column_fit.h"

#include <QEvent>
#include <QHeaderView>
#include <QTreeView>
#include <algorithm>
#include <numeric>

namespace pelvaro {
namespace {

const char* const kByHandProperty = "pelvaroColumnsByHand";
// The room a cell keeps beside its text (the style's margins and a little air).
constexpr int kCellPadding = 12;

}  // namespace

bool ColumnsSizedByHand(const QTreeView* list) { return list->property(kByHandProperty).toBool(); }

void SetColumnsSizedByHand(QTreeView* list, bool byHand) { list->setProperty(kByHandProperty, byHand); }

std::vector<int> FitColumns(const std::vector<int>& shortest, const std::vector<int>& whole, int rest,
                            int available) {
  std::vector<int> widths = shortest;
  const int least = std::accumulate(shortest.begin(), shortest.end(), 0);
  int wanting = 0;
  for (std::size_t i = 0; i < widths.size(); ++i) wanting += std::max(0, whole[i] - shortest[i]);
  int spare = available - least;
  if (spare <= 0) return widths;
  // Every column moves toward its whole content by the same share of what it still wants.
  const double share = wanting > 0 ? std::min(1.0, static_cast<double>(spare) / wanting) : 1.0;
  for (std::size_t i = 0; i < widths.size(); ++i) {
    const int more = static_cast<int>(share * std::max(0, whole[i] - shortest[i]));
    widths[i] += more;
    spare -= more;
  }
  if (rest >= 0 && rest < static_cast<int>(widths.size()) && spare > 0) widths[rest] += spare;
  return widths;
}

ColumnFit::ColumnFit(QTreeView* list, std::vector<ColumnRoom> columns, int restColumn)
    : QObject(list),
      list_(list),
      viewport_(list->viewport()),
      columns_(std::move(columns)),
      rest_(restColumn) {
  viewport_->installEventFilter(this);
  connect(list_->header(), &QHeaderView::sectionResized, this, [this] {
    if (!fitting_) SetColumnsSizedByHand(list_, true);
  });
}

void ColumnFit::refit() {
  if (ColumnsSizedByHand(list_)) return;
  QHeaderView* header = list_->header();
  const QFontMetrics metrics = list_->fontMetrics();
  std::vector<int> shortest;
  std::vector<int> whole;
  for (int i = 0; i < static_cast<int>(columns_.size()) && i < header->count(); ++i) {
    const int title = header->sectionSizeHint(i) + 2;
    shortest.push_back(std::max(title, metrics.horizontalAdvance(columns_[i].shortest) + kCellPadding));
    whole.push_back(std::max(shortest.back(), metrics.horizontalAdvance(columns_[i].whole) + kCellPadding));
  }
  const std::vector<int> widths = FitColumns(shortest, whole, rest_, list_->viewport()->width());
  fitting_ = true;
  for (std::size_t i = 0; i < widths.size(); ++i) header->resizeSection(static_cast<int>(i), widths[i]);
  fitting_ = false;
}

bool ColumnFit::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize && watched == viewport_) refit();
  return QObject::eventFilter(watched, event);
}

}  // namespace pelvaro
