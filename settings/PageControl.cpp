#include "settings/PageControl.h"

#include <qdrawutil.h>

#include <QKeyEvent>
#include <QPainter>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <vector>

namespace {

// A tab's caption padding, its border and the room between tabs, in pixels.
constexpr int kPadX = 10;
constexpr int kPadY = 3;
constexpr int kBorder = 1;
constexpr int kGapX = 1;
constexpr int kGapY = 2;

}  // namespace

class TPageControl::Tabs : public QWidget {
 public:
  explicit Tabs(TPageControl* control) : QWidget(control), control_(control) {
    setFocusPolicy(Qt::TabFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover);
  }

  QStringList texts;
  std::vector<QRect> rects;
  int rows = 0;

  // Lays the tabs out for the given width, row after row; returns the height they take.
  int Lay(int width) {
    const QFontMetrics metrics = fontMetrics();
    const int height = metrics.height() + 2 * (kPadY + kBorder);
    rects.clear();
    rows = texts.isEmpty() ? 0 : 1;
    int x = 0;
    int y = kGapY;
    for (const QString& text : texts) {
      const int tabWidth =
          metrics.horizontalAdvance(QString(text).remove(QLatin1Char('&'))) + 2 * (kPadX + kBorder);
      // A tab that does not fit opens the next row, unless it begins a row of its own.
      if (x > 0 && x + kGapX + tabWidth > width) {
        x = 0;
        y += height + 2 * kGapY;
        ++rows;
      }
      rects.emplace_back(x + kGapX, y, tabWidth, height);
      x += tabWidth + 2 * kGapX;
    }
    return rows == 0 ? 0 : y + height + kGapY;
  }

  int At(const QPoint& point) const {
    for (size_t i = 0; i < rects.size(); ++i)
      if (rects[i].contains(point)) return static_cast<int>(i);
    return -1;
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const int current = control_->currentIndex();
    for (size_t i = 0; i < rects.size(); ++i) {
      const QRect& rect = rects[i];
      const bool chosen = static_cast<int>(i) == current;
      if (chosen) painter.fillRect(rect, palette().midlight());
      if (chosen || static_cast<int>(i) == hover_)
        qDrawShadeRect(&painter, rect, palette(), chosen, kBorder);
      painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                     QPalette::ButtonText));
      painter.drawText(rect, Qt::AlignCenter | Qt::TextShowMnemonic, texts[static_cast<int>(i)]);
      if (chosen && hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect.adjusted(2, 2, -2, -2);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
      }
    }
  }
  void mouseMoveEvent(QMouseEvent* event) override { Hover(At(event->position().toPoint())); }
  void leaveEvent(QEvent*) override { Hover(-1); }
  void mousePressEvent(QMouseEvent* event) override {
    const int index = At(event->position().toPoint());
    if (event->button() == Qt::LeftButton && index >= 0) control_->setCurrentIndex(index);
  }
  void keyPressEvent(QKeyEvent* event) override {
    const int current = control_->currentIndex();
    switch (event->key()) {
      case Qt::Key_Left:
      case Qt::Key_Up:
        if (current > 0) control_->setCurrentIndex(current - 1);
        break;
      case Qt::Key_Right:
      case Qt::Key_Down:
        if (current + 1 < control_->count()) control_->setCurrentIndex(current + 1);
        break;
      default:
        QWidget::keyPressEvent(event);
    }
  }

 private:
  void Hover(int index) {
    if (index == hover_) return;
    hover_ = index;
    update();
  }

  TPageControl* control_;
  int hover_ = -1;
};

TPageControl::TPageControl(QWidget* parent)
    : QWidget(parent), tabs_(new Tabs(this)), pages_(new QStackedWidget(this)) {
  setFocusPolicy(Qt::TabFocus);
  setFocusProxy(tabs_);
  connect(pages_, &QStackedWidget::currentChanged, this, [this](int index) {
    tabs_->update();
    emit currentChanged(index);
  });
}

int TPageControl::addTab(QWidget* page, const QString& text) {
  tabs_->texts.append(text);
  const int index = pages_->addWidget(page);
  Relayout();
  return index;
}

int TPageControl::count() const {
  return pages_->count();
}

QString TPageControl::tabText(int index) const {
  return tabs_->texts.value(index);
}

void TPageControl::setTabText(int index, const QString& text) {
  if (index < 0 || index >= tabs_->texts.size()) return;
  tabs_->texts[index] = text;
  Relayout();
}

int TPageControl::currentIndex() const {
  return pages_->currentIndex();
}

void TPageControl::setCurrentIndex(int index) {
  if (index >= 0 && index < count()) pages_->setCurrentIndex(index);
}

QWidget* TPageControl::widget(int index) const {
  return pages_->widget(index);
}

QRect TPageControl::tabRect(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= tabs_->rects.size()) return {};
  return tabs_->rects[static_cast<size_t>(index)].translated(tabs_->pos());
}

int TPageControl::RowCount() const {
  return tabs_->rows;
}

void TPageControl::Relayout() {
  const int height = tabs_->Lay(width());
  tabs_->setGeometry(0, 0, width(), height);
  pages_->setGeometry(0, height, width(), std::max(0, this->height() - height));
  tabs_->update();
}

void TPageControl::resizeEvent(QResizeEvent*) {
  Relayout();
}

void TPageControl::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) Relayout();
  QWidget::changeEvent(event);
}

void TPageControl::keyPressEvent(QKeyEvent* event) {
  const bool forward = event->key() == Qt::Key_Tab;
  if ((forward || event->key() == Qt::Key_Backtab) && (event->modifiers() & Qt::ControlModifier) &&
      count() > 1) {
    setCurrentIndex((currentIndex() + (forward ? 1 : count() - 1)) % count());
    return;
  }
  QWidget::keyPressEvent(event);
}
