#include "scan/Deletion.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>
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
                                   Removal removal, std::shared_ptr<THelperClient> helper) {
  DeletionResult result;
  if (!helper) helper = THelperClient::Start();
  const auto wake = std::make_shared<TWakeUp>();
  TRemovalWorker worker(helper, wake);
  TEventPacer pacer(eventInterval);
  list.CommitPending();
  qsizetype n = list.CheckedCount();
  double progress = 0;
  int shown = -1;
  bool newCommand = true;
  bool ending = false;  // the program is on its way out: no new batch starts
  // Rows deleted since the last event point; all lie above the cursor, so removing them late
  // moves nothing the loop still looks at.
  std::vector<qsizetype> gone;
  const auto markFailed = [&](qsizetype row) {
    --n;
    list.MarkFailed(row, CannotDeleteSuffix(language));
    result.marked.append(list.Text(row));
  };

  // Without an interval every deleted file is an event point of its own.
  const qsizetype batch = eventInterval > std::chrono::steady_clock::duration::zero() ? kBatch : 1;
  qsizetype cursor = list.Count() - 1;
  for (;;) {
    // The ticked entries from the cursor up, as the loop would take them one by one. Nothing
    // can tick or untick an entry until the next event point.
    std::vector<qsizetype> rows;
    std::vector<TFoundFile> files;
    for (; cursor >= 0 && static_cast<qsizetype>(rows.size()) < batch; --cursor) {
      if (!list.Checked(cursor)) continue;
      rows.push_back(cursor);
      files.push_back(FoundFileOf(list.Entry(cursor)));
    }
    if (rows.empty()) break;
    worker.Start(files, removal, std::exchange(newCommand, false));

    size_t applied = 0;
    bool paused = false;  // the batch was cut short for an event point
    for (;;) {
      const bool over = worker.Over();
      for (const size_t done = worker.Done(); applied < done; ++applied) {
        const qsizetype row = rows[applied];
        if (!worker.Removed(applied)) {
          markFailed(row);
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
      if (!view.WaitFor(*wake, kWaitSlice)) {
        // The program's end waits for no helper: one that does not end the batch at once is
        // killed, and what it did not report done is not done.
        if (!ending) worker.CutNow();
        ending = true;
        wake->WaitBlocking(kWaitSlice);
      }
    }
    if (worker.HelperGone() || ending) {
      // Nothing more is done: every entry still ticked stays, marked as not deleted (one the
      // helper was busy with when it went may be gone: it is never tried again unasked).
      for (; applied < rows.size(); ++applied) markFailed(rows[applied]);
      for (qsizetype row = cursor; row >= 0; --row)
        if (list.Checked(row)) markFailed(row);
      result.helperFailed = worker.HelperFailed();
      break;
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
    const StoredPath& path = list.Entry(row).path;
    shown.clear();
    AppendDisplayPath(shown, path.constData(), static_cast<size_t>(path.size()));
    name(shown);
  }
}
