#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QThread>
#include <QWidget>

#include "about/AboutBox.h"
#include "app/Application.h"
#include "app/Forms.h"
#include "settings/AddExceptionForm.h"
#include "settings/AddMaskForm.h"
#include "settings/OptionsForm.h"

MessageBoxRecorder::MessageBoxRecorder() {
  previous_ = SetMessageBoxHandler([this](const MessageBoxCall& call) { calls.push_back(call); });
}
MessageBoxRecorder::~MessageBoxRecorder() {
  SetMessageBoxHandler(previous_);
}

ShellOpenRecorder::ShellOpenRecorder() {
  previous_ = SetShellOpenHandler([this](const ShellOpenCall& call) { calls.push_back(call); });
}
ShellOpenRecorder::~ShellOpenRecorder() {
  SetShellOpenHandler(previous_);
}

int RunWindowTests(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vantrel"));
  return RUN_ALL_TESTS();
}

void SaveScreenshot(QWidget* widget, const QString& name) {
  const QString dir = QStringLiteral(VANTREL_SCREENSHOT_DIR);
  QDir().mkpath(dir);
  widget->grab().save(dir + u'/' + name + QStringLiteral(".png"));
}

std::vector<NamedWindow> CentredDialogs() {
  return {{"about", AboutBox},
          {"options", OptionsForm},
          {"add mask", AddMaskForm},
          {"add exception", AddExceptionForm}};
}

QRect CheckBoxRect(const QAbstractItemView* view, const QModelIndex& index) {
  QStyleOptionViewItem option;
  option.initFrom(view);
  option.rect = view->visualRect(index);
  option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
  option.text = index.data().toString();
  return view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view);
}

bool WaitFor(const std::function<bool()>& condition, int milliseconds) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > milliseconds) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}

void PrintTo(const QRect& rect, std::ostream* os) {
  *os << rect.width() << 'x' << rect.height() << " at (" << rect.x() << ", " << rect.y() << ')';
}

void PrintTo(const QSize& size, std::ostream* os) {
  *os << size.width() << 'x' << size.height();
}

void PrintTo(const QMargins& margins, std::ostream* os) {
  *os << "margins " << margins.left() << ' ' << margins.top() << ' ' << margins.right() << ' '
      << margins.bottom();
}

void FormsTest::SetUp() {
  if (CreateFormsInSetUp()) CreateForms();
}

void FormsTest::TearDown() {
  DestroyForms();
}
