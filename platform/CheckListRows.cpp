#include "platform/CheckListRows.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHeaderView>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QTableView>
#include <algorithm>

namespace {

constexpr int kRowHeight = 13;

// The desktop style with its check box no larger than side pixels; the style draws the box
// scaled to the rectangle it is given, so it stays whole.
class CheckBoxFitStyle : public QProxyStyle {
 public:
  explicit CheckBoxFitStyle(int side)
      : QProxyStyle(QStyleFactory::create(QApplication::style()->name())), side_(side) {}

  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override {
    const int value = QProxyStyle::pixelMetric(metric, option, widget);
    if (metric == PM_IndicatorWidth || metric == PM_IndicatorHeight) return std::min(value, side_);
    return value;
  }

 private:
  int side_;
};

}  // namespace

int CheckListRowHeight(const QAbstractItemView* view) {
  return std::max(kRowHeight, view->fontMetrics().height());
}

void UseCheckListRows(QAbstractItemView* view) {
  const int height = CheckListRowHeight(view);
  // A pixel short of the row, so that the boxes of neighbouring rows do not merge.
  auto* style = new CheckBoxFitStyle(height - 1);
  style->setParent(view);
  view->setStyle(style);
  if (auto* table = qobject_cast<QTableView*>(view)) {
    // The header's own minimum (font and margins) would otherwise keep the rows taller.
    table->verticalHeader()->setMinimumSectionSize(height);
    table->verticalHeader()->setDefaultSectionSize(height);
  }
}
