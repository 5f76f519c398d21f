#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <memory>
#include <string_view>

#include "helper/FileRemover.h"
#include "platform/WakeUp.h"
#include "scan/HelperClient.h"
#include "scan/ResultList.h"

class TLanguageFile;

// What the Delete command shows while it runs.
class IDeletionView {
 public:
  virtual ~IDeletionView() = default;
  // The progress bar's position, 0 to 100, shown at once.
  virtual void SetProgress(int position) = 0;
  // Handles pending window events (the user may tick more entries meanwhile).
  virtual void ProcessEvents() = 0;
  // Waits until wake is raised or the timeout has passed while the removal worker is busy,
  // showing the progress so far and handling window events, but not the user's input: the
  // ticks stay as they are while a batch of removals runs. False when the program is ending.
  virtual bool WaitFor(TWakeUp& wake, std::chrono::milliseconds timeout) = 0;
};

struct DeletionResult {
  qsizetype deleted = 0;      // files deleted (entries removed)
  QStringList marked;         // the texts of the entries marked as not deletable, in marking order
  bool helperFailed = false;  // the helper ended unexpectedly: the rest was left, marked
};

// The deletion loop of the Delete command: takes the ticked entry with the highest position,
// again and again (so ticks added meanwhile are picked up), deletes its file safely
// (TSafeUnlink), removes the entry when the file is gone and otherwise unticks it and appends
// CannotDeleteSuffix (" (Cannot delete file)"). The bar advances by 100 / N per deleted file,
// N being the ticked count at the start less the failures so far (no step while N is 0, never
// past 100). Events are handled, and removed entries leave the views, at most once per
// eventInterval. The removals themselves run in the file system helper (helper, or a new one
// when none is given), in batches of the entries ticked between two event points, while this
// loop waits with the window live; a removal that blocks is waited for, and what it returns
// decides the entry's fate. When the program ends meanwhile, or the helper is gone, nothing more
// is done: every entry still ticked is marked as not deleted, never reported as deleted. With
// Removal::Trash each file is moved to the trash instead (TFileRemover), and one that cannot be
// is marked like one that cannot be deleted.
DeletionResult DeleteTickedEntries(
    TResultList& list, IDeletionView& view, const TLanguageFile& language,
    std::chrono::steady_clock::duration eventInterval = std::chrono::milliseconds(16),
    Removal removal = Removal::Delete, std::shared_ptr<THelperClient> helper = nullptr);

// With --dry-run the Delete command only names the files: each ticked entry's path as shown
// (UTF-8, escaped as DisplayPath escapes it), in list order, handed to name one at a time.
void NameTickedPaths(const TResultList& list, const std::function<void(std::string_view)>& name);
