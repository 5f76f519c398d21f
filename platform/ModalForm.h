#pragma once

#include <QDialog>

#include "platform/FramePlacement.h"
#include "platform/MaximizeRefusal.h"

class QFont;

// The classic dialog font: MS Sans Serif where installed, otherwise the desktop's sans serif.
QFont ClassicFont(int pointSize);

// Base of the program's modal windows: fixed-size dialog frame with system menu and close box,
// the classic font, the frame centred on the screen at each showing, FormActivate once per
// showing (queued from the show, so it runs inside the window's own modal loop before the user
// can act, and never again when the focus merely comes back from a box or another dialog), and
// Esc that closes nothing.
class TModalForm : public QDialog {
 public:
  explicit TModalForm(QWidget* parent = nullptr);

  virtual void FormActivate() = 0;

 protected:
  // Places the window as it is shown; by default its frame is centred on the screen.
  virtual void PlaceOnShow();

  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

  FramePlacement placement_{this};

 private:
  bool refusesMaximize_ = false;
};
