#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <string_view>

#include "platform/WakeUp.h"

// What a check shows and asks while it walks: the find window implements it, and so do tests.
// The walkers compose every text; the view only puts it in place.
class IScanView {
 public:
  virtual ~IScanView() = default;

  // The StatusPanel caption: the directory being scanned, the temporary directories, the cache.
  virtual void SetStatusCaption(const QString& text) = 0;
  // Status panel 1 ("Files: 12") and panel 2 ("Total size: 3 Mb").
  virtual void SetFileCountText(const QString& text) = 0;
  virtual void SetTotalSizeText(const QString& text) = 0;
  // Handles pending window events: Stop, ticks, the window's buttons (possibly a deletion).
  virtual void ProcessEvents() = 0;
  // Waits until wake is raised (by a reader or the removal worker, or by Stop) or the timeout
  // has passed, handling window events meanwhile: the window stays live while a worker is in
  // the kernel. False when the program is ending and no more waiting can be done.
  virtual bool WaitFor(TWakeUp& wake, std::chrono::milliseconds timeout) = 0;
  // Whether Stop was pressed since the check began.
  virtual bool StopRequested() const = 0;
  // The warning box; returns when it is dismissed.
  virtual void ShowWarning(const QString& title, const QString& text) = 0;
  // The exception list was read anew from its file; entries sorted as the list box keeps them.
  virtual void ExceptionsLoaded(const QStringList& entries) = 0;
  // With --dry-run, the cache cleaning reports each file it would delete (the path as shown,
  // UTF-8).
  virtual void WouldDelete(std::string_view path) = 0;
};
