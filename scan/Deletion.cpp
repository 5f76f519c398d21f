#include "scan/Deletion.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/TextCodec.h"
#include "scan/EventPacer.h"
#include "scan/StatusTexts.h"

DeletionResult DeleteTickedEntries(TResultList& list, IDeletionView& view,
                                   const TLanguageFile& language,
                                   std::chrono::steady_clock::duration eventInterval,
                                   Removal removal) {
  DeletionResult result;
  TFileRemover remover(removal);
  TEventPacer pacer(eventInterval);
  list.CommitPending();
  qsizetype n = list.CheckedCount();
  double progress = 0;
  int shown = -1;
  // Rows deleted since the last event point; all lie above the cursor, so removing them late
  // moves nothing the loop still looks at.
  std::vector<qsizetype> gone;

  qsizetype cursor = list.Count() - 1;
  for (;;) {
    while (cursor >= 0 && !list.Checked(cursor)) --cursor;
    if (cursor < 0) break;
    const qsizetype row = cursor--;
    if (!remover.Remove(list.Entry(row))) {
      --n;
      list.MarkFailed(row, CannotDeleteSuffix(language));
      result.marked.append(list.Text(row));
      continue;
    }
    ++result.deleted;
    if (n > 0) progress = std::min(100.0, progress + 100.0 / static_cast<double>(n));
    const int position = static_cast<int>(std::nearbyint(progress));
    if (position != shown) {
      shown = position;
      view.SetProgress(position);
    }
    gone.push_back(row);
    if (pacer.Due()) {
      list.RemoveRows(std::move(gone));
      gone.clear();
      view.ProcessEvents();
      // Anything may have been ticked meanwhile: look again from the end of the list.
      cursor = list.Count() - 1;
    }
  }
  list.RemoveRows(std::move(gone));
  return result;
}

void NameTickedPaths(const TResultList& list, const std::function<void(const QString&)>& name) {
  for (qsizetype row = 0; row < list.Count(); ++row) {
    if (!list.Checked(row)) continue;
    const QByteArray& path = list.Entry(row).path;
    name(DisplayPath(path.constData(), static_cast<size_t>(path.size())));
  }
}
