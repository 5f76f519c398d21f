#pragma once

#include <QMargins>
#include <QRect>
#include <QString>
#include <functional>
#include <ostream>
#include <vector>

#include "TestEnv.h"
#include "platform/MessageBox.h"
#include "platform/ShellOpen.h"

class QAbstractItemView;
class QModelIndex;
class QWidget;

// Runs the window tests under the Qt platform already chosen (QT_QPA_PLATFORM): the
// application exists for the tests and is gone before this returns their status.
int RunWindowTests(int argc, char** argv);

// Records every message box instead of showing it. Optional: run a callback per box.
class MessageBoxRecorder {
 public:
  MessageBoxRecorder();
  ~MessageBoxRecorder();
  std::vector<MessageBoxCall> calls;

 private:
  MessageBoxHandler previous_;
};

// Records every shell open instead of performing it.
class ShellOpenRecorder {
 public:
  ShellOpenRecorder();
  ~ShellOpenRecorder();
  std::vector<ShellOpenCall> calls;

 private:
  ShellOpenHandler previous_;
};

// Saves a PNG of the widget as <screenshot dir>/<name>.png.
void SaveScreenshot(QWidget* widget, const QString& name);

// The windows centred on the screen at every showing, by name (the windows must exist).
struct NamedWindow {
  const char* name;
  QWidget* window;
};
std::vector<NamedWindow> CentredDialogs();

// Where the view's style draws the check box of the row at index.
QRect CheckBoxRect(const QAbstractItemView* view, const QModelIndex& index);

// Handles events until condition holds; false when it still does not after the time given.
bool WaitFor(const std::function<bool()>& condition, int milliseconds = 10000);

// Readable geometry in failure messages.
void PrintTo(const QRect& rect, std::ostream* os);
void PrintTo(const QSize& size, std::ostream* os);
void PrintTo(const QMargins& margins, std::ostream* os);

// A test with its own TestEnv, message boxes recorded, and the six windows created in order
// (CreateForms) in SetUp when CreateFormsInSetUp() is true; destroyed in TearDown.
#include <gtest/gtest.h>
class FormsTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  virtual bool CreateFormsInSetUp() const { return true; }

  TestEnv env;
  MessageBoxRecorder boxes;
  ShellOpenRecorder shell;
};
