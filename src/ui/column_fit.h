#pragma once
// Sizes the columns of a list to its width until the user sizes one: every header stays whole,
// each column gets at least room for its shortest readable content and, as far as the width
// allows, for its whole usual content (the columns of the first tier before those of the next),
// and one column takes what is left. Once the user drags a column edge (or widths are set from
// the settings) the list keeps the widths it was given.

#include <QObject>
#include <QString>
#include <vector>

class QTreeView;

namespace pelvaro {

struct ColumnRoom {
  QString shortest;  // the least content the column must show uncut
  QString whole;     // the usual content when there is room for it
  int tier = 0;      // room goes to the columns of tier 0 first, then 1, ...
};

// Whether the list's widths were chosen by the user (dragged, or restored from the settings).
bool ColumnsSizedByHand(const QTreeView* list);
void SetColumnsSizedByHand(QTreeView* list, bool byHand);

// The widths for `available` pixels: `shortest` and `whole` are the columns' needs in pixels
// (a header counted in), `tiers` their order for the room above the shortest, `rest` the
// column that takes any width left over.
std::vector<int> FitColumns(const std::vector<int>& shortest, const std::vector<int>& whole,
                            const std::vector<int>& tiers, int rest, int available);

class ColumnFit : public QObject {
 public:
  ColumnFit(QTreeView* list, std::vector<ColumnRoom> columns, int restColumn);

  // Fits the columns to the list's current width, unless the user has sized them.
  void refit();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QTreeView* list_;
  QObject* viewport_;  // compared only: the filter may hear it while the list is being destroyed
  std::vector<ColumnRoom> columns_;
  int rest_;
  bool fitting_ = false;
};

}  // namespace pelvaro
