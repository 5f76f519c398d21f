#pragma once

#include <QWidget>

class QStackedWidget;

// The options window's page control: its tabs are flat buttons (raised under the pointer,
// pressed when chosen) in as many rows as their captions need, ragged right, above the pages,
// so that a long translated caption never hides a page behind scroll arrows. The tabs take the
// keyboard focus as a tab bar does (the arrow keys choose the page); Ctrl+Tab and
// Ctrl+Shift+Tab turn the pages from anywhere inside.
class TPageControl : public QWidget {
  Q_OBJECT

 public:
  explicit TPageControl(QWidget* parent = nullptr);

  int addTab(QWidget* page, const QString& text);
  int count() const;
  QString tabText(int index) const;
  void setTabText(int index, const QString& text);
  int currentIndex() const;
  void setCurrentIndex(int index);
  QWidget* widget(int index) const;
  // Where a tab is drawn, in the control's coordinates; empty for no tab.
  QRect tabRect(int index) const;
  int RowCount() const;

 signals:
  void currentChanged(int index);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  class Tabs;
  void Relayout();

  Tabs* tabs_;
  QStackedWidget* pages_;
};
