#pragma once

#include <QString>
#include <functional>

// Every message box of the program goes through ShowMessageBox, so that tests can record the
// boxes and a run without a display can print them instead of waiting for a person.
enum class MessageIcon { Warning, Critical };

struct MessageBoxCall {
  QString title;
  QString text;
  MessageIcon icon;
  // The windows stay usable while the box waits (the check's warning): otherwise the box is
  // modal.
  bool windowsStayUsable = false;
};

using MessageBoxHandler = std::function<void(const MessageBoxCall&)>;

// Shows a box with a single OK button and no owner window; returns when it is dismissed.
void ShowMessageBox(const QString& title, const QString& text, MessageIcon icon,
                    bool windowsStayUsable = false);

// Replaces the handler; returns the previous one. The initial handler writes "Title: text" to
// standard error and returns at once (the behaviour without a display).
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// The application's error box: ErrorBoxText(message), title "Vantrel", critical icon.
void ShowErrorBox(const QString& message);

// Runs a handler that the event loop calls; a program failure it raises ends that handler and
// is shown in the error box. Returns false when a failure was caught.
bool RunGuarded(const std::function<void()>& handler);
