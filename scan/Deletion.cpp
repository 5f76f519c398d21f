#include "scan/Deletion.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "platform/TextCodec.h"
#include "scan/EventPacer.h"
#include "scan/RemovalWorker.h"
#include "scan/StatusTexts.h"

namespace {

// Removals handed to the worker at a time; the batch is cut short at the next event point.
constexpr qsizetype kBatch = 1024;
// While a removal takes long, the progress so far is shown at least this often.
constexpr std::chrono::milliseconds kWaitSlice(20);

}  // namespace

DeletionResult DeleteTickedEntries(TResultList& list, IDeletionView& view,
                                   const TLanguageFile& language,
                                   std::chrono::steady_clock::duration eventInterval,
                                   Removal removal) {
  DeletionResult result;
  // Used by the worker thread alone, and kept alive by its jobs.
  const auto remover = std::make_shared<TFileRemover>(removal);
  const auto wake = std::make_shared<TWakeUp>();
  TRemovalWorker worker(wake);
  TEventPacer pacer(eventInterval);
  list.CommitPending();
  qsizetype n = list.CheckedCount();
  double progress = 0;
  int shown = -1;
  // Rows deleted since the last event point; all lie above the cursor, so removing them late
  // moves nothing the loop still looks at.
  std::vector<qsizetype> gone;

  // Without an interval every deleted file is an event point of its own.
  const qsizetype batch = eventInterval > std::chrono::steady_clock::duration::zero() ? kBatch : 1;
  qsizetype cursor = list.Count() - 1;
  for (;;) {
    // The ticked entries from the cursor up, as the loop would take them one by one. Nothing
    // can tick or untick an entry until the next event point.
    std::vector<qsizetype> rows;
    std::vector<TRemovalWorker::Job> jobs;
    for (; cursor >= 0 && static_cast<qsizetype>(rows.size()) < batch; --cursor) {
      if (!list.Checked(cursor)) continue;
      rows.push_back(cursor);
      jobs.push_back(
          [remover, file = FoundFileOf(list.Entry(cursor))] { return remover->Remove(file); });
    }
    if (rows.empty()) break;
    worker.Start(std::move(jobs));

    size_t applied = 0;
    bool paused = false;  // the batch was cut short for an event point
    for (;;) {
      const bool over = worker.Over();
      for (const size_t done = worker.Done(); applied < done; ++applied) {
        const qsizetype row = rows[applied];
        if (!worker.Removed(applied)) {
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
      }
      if (over) break;
      if (!paused && pacer.Due()) {
        worker.Cut();
        paused = true;
      }
      // A removal is never abandoned: when the window cannot wait any more, the thread does.
      if (!view.WaitFor(*wake, kWaitSlice)) wake->WaitBlocking(kWaitSlice);
    }
    if (paused || pacer.Due()) {
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

void NameTickedPaths(const TResultList& list, const std::function<void(std::string_view)>& name) {
  std::string shown;
  for (qsizetype row = 0; row < list.Count(); ++row) {
    if (!list.Checked(row)) continue;
    const QByteArray& path = list.Entry(row).path;
    shown.clear();
    AppendDisplayPath(shown, path.constData(), static_cast<size_t>(path.size()));
    name(shown);
  }
}
