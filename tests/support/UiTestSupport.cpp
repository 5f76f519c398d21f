#include "UiTestSupport.h"

#include <QDir>
#include <QWidget>

#include "app/Application.h"

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

void SaveScreenshot(QWidget* widget, const QString& name) {
  const QString dir = QStringLiteral(VANTREL_SCREENSHOT_DIR);
  QDir().mkpath(dir);
  widget->grab().save(dir + u'/' + name + QStringLiteral(".png"));
}

void FormsTest::SetUp() {
  if (CreateFormsInSetUp()) CreateForms();
}

void FormsTest::TearDown() {
  DestroyForms();
}
