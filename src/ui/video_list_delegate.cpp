#include "ui/video_list_delegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>
#include <algorithm>
#include <cmath>
#include <optional>

namespace pelvaro {
namespace {

constexpr int kBarMargin = 2;

std::optional<double> FractionOf(const QModelIndex& index) {
  const QVariant value = index.data(kCellFractionRole);
  if (!value.isValid()) return std::nullopt;
  const double fraction = value.toDouble();
  if (std::isnan(fraction)) return std::nullopt;
  return std::clamp(fraction, 0.0, 1.0);
}

}  // namespace

QString ProgressPercentText(double fraction) {
  if (std::isnan(fraction) || fraction <= 0) return QStringLiteral("0%");
  if (fraction >= 1) return QStringLiteral("100%");
  const int percent = std::min(99, static_cast<int>(std::lround(fraction * 100)));
  return QString::number(percent) + QLatin1Char('%');
}

VideoListDelegate::VideoListDelegate(QSet<int> middleElidedColumns, QObject* parent)
    : QStyledItemDelegate(parent), middleElided_(std::move(middleElidedColumns)) {}

void VideoListDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  if (middleElided_.contains(index.column())) option->textElideMode = Qt::ElideMiddle;
}

void VideoListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
  const std::optional<double> fraction = FractionOf(index);
  if (!fraction) {
    QStyledItemDelegate::paint(painter, option, index);
    return;
  }
  QStyleOptionViewItem item = option;
  initStyleOption(&item, index);
  item.text.clear();
  const QWidget* widget = option.widget;
  QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
  style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);

  // A bar of its own: a style's bar draws its text in two colours across the fill, which a
  // narrow cell cannot show legibly.
  const QRect frame = option.rect.adjusted(kBarMargin, kBarMargin + 1, -kBarMargin, -kBarMargin - 1);
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing);
  painter->setPen(QColor(0x7f, 0x9d, 0xb9));
  painter->setBrush(QColor(Qt::white));
  painter->drawRoundedRect(QRectF(frame).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
  QRectF done = QRectF(frame).adjusted(1, 1, -1, -1);
  done.setWidth(done.width() * *fraction);
  painter->setPen(Qt::NoPen);
  painter->setBrush(QColor(0x9c, 0xcb, 0xf2));
  painter->drawRect(done);
  painter->setPen(QColor(Qt::black));
  painter->setFont(option.font);
  painter->drawText(frame, Qt::AlignCenter, ProgressPercentText(*fraction));
  painter->restore();
}

QString VideoListDelegate::toolTipFor(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const QString text = index.data(Qt::DisplayRole).toString();
  if (text.isEmpty()) return {};
  bool cut = FractionOf(index).has_value();
  if (!cut) {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QWidget* widget = option.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    const QRect room = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
    // The style keeps a margin on each side of the text inside that rectangle.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    cut = item.fontMetrics.horizontalAdvance(text) > room.width() - 2 * margin;
  }
  // Rich text that quotes the cell: a tooltip would otherwise read markup in a server's text.
  return cut ? QStringLiteral("<qt>%1</qt>").arg(text.toHtmlEscaped()) : QString();
}

bool VideoListDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                  const QStyleOptionViewItem& option, const QModelIndex& index) {
  if (event == nullptr || view == nullptr || event->type() != QEvent::ToolTip) {
    return QStyledItemDelegate::helpEvent(event, view, option, index);
  }
  const QString tip = toolTipFor(option, index);
  if (tip.isEmpty()) {
    QToolTip::hideText();
  } else {
    QToolTip::showText(event->globalPos(), tip, view, view->visualRect(index));
  }
  return true;
}

}  // namespace pelvaro
