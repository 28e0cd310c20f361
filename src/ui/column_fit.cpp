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
constexpr int kCellPadding = 8;

}  // namespace

bool ColumnsSizedByHand(const QTreeView* list) { return list->property(kByHandProperty).toBool(); }

void SetColumnsSizedByHand(QTreeView* list, bool byHand) { list->setProperty(kByHandProperty, byHand); }

std::vector<int> FitColumns(const std::vector<int>& shortest, const std::vector<int>& whole,
                            const std::vector<int>& tiers, int rest, int available) {
  std::vector<int> widths = shortest;
  int spare = available - std::accumulate(shortest.begin(), shortest.end(), 0);
  if (spare <= 0) return widths;
  const int lastTier = tiers.empty() ? 0 : *std::max_element(tiers.begin(), tiers.end());
  for (int tier = 0; tier <= lastTier && spare > 0; ++tier) {
    int wanting = 0;
    for (std::size_t i = 0; i < widths.size(); ++i) {
      if (tiers[i] == tier) wanting += std::max(0, whole[i] - widths[i]);
    }
    if (wanting == 0) continue;
    // The columns of a tier move toward their whole content by the same share of what they want.
    const double share = std::min(1.0, static_cast<double>(spare) / wanting);
    int given = 0;
    for (std::size_t i = 0; i < widths.size(); ++i) {
      if (tiers[i] != tier) continue;
      const int more = static_cast<int>(share * std::max(0, whole[i] - widths[i]));
      widths[i] += more;
      given += more;
    }
    spare -= given;
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
  std::vector<int> tiers;
  for (int i = 0; i < static_cast<int>(columns_.size()) && i < header->count(); ++i) {
    const int title = header->sectionSizeHint(i);
    shortest.push_back(std::max(title, metrics.horizontalAdvance(columns_[i].shortest) + kCellPadding));
    whole.push_back(std::max(shortest.back(), metrics.horizontalAdvance(columns_[i].whole) + kCellPadding));
    tiers.push_back(columns_[i].tier);
  }
  const std::vector<int> widths = FitColumns(shortest, whole, tiers, rest_, list_->viewport()->width());
  fitting_ = true;
  for (std::size_t i = 0; i < widths.size(); ++i) header->resizeSection(static_cast<int>(i), widths[i]);
  fitting_ = false;
}

bool ColumnFit::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize && watched == viewport_) refit();
  return QObject::eventFilter(watched, event);
}

}  // namespace pelvaro
