#include "platform/ModalForm.h"

#include <QFont>
#include <QKeyEvent>
#include <QShowEvent>
#include <QTimer>

#include "platform/MessageBox.h"
#include "platform/ShownRepaint.h"

QFont ClassicFont(int pointSize) {
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPointSize(pointSize);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

TModalForm::TModalForm(QWidget* parent) : QDialog(parent) {
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFont(ClassicFont(8));
}

void TModalForm::PlaceOnShow() {
  placement_.Place([this](const QMargins& margins) { CentreFrameOnScreen(this, margins); });
}

void TModalForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  PlaceOnShow();
  RepaintOnceShown(this);
  if (!refusesMaximize_) {
    refusesMaximize_ = true;
    RefuseMaximize(this);
  }
  QTimer::singleShot(0, this, [this] { RunGuarded([this] { FormActivate(); }); });
}

void TModalForm::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Cancel)) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}
