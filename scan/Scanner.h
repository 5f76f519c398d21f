#pragma once

#include <sys/types.h>

#include <QString>
#include <QStringList>
#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Errors.h"
#include "platform/WakeUp.h"
#include "scan/EventPacer.h"
#include "scan/ExceptionsFile.h"
#include "scan/HelperClient.h"
#include "scan/MaskList.h"
#include "scan/RemoteTree.h"
#include "scan/RemovalWorker.h"
#include "scan/ResultList.h"
#include "scan/ScanView.h"

class TLanguageFile;

struct ScanSettings {
  // Deletes nothing: the cache cleaning reports what it would delete instead.
  bool dryRun = false;
  // How often, at most, the walk refreshes the display and handles window events. Zero does
  // both at every point where the walk may (tests use it to stop at an exact point).
  std::chrono::steady_clock::duration eventInterval = std::chrono::milliseconds(16);
  // The file system helper the check's reading and deletions run in; a new one when none.
  std::shared_ptr<THelperClient> helper = nullptr;
  // Whether the total is on display while the check runs. Without a display nothing shows it
  // before the check's end, so the walk takes no sizes: the end measures the findings, once, and
  // takes their identities for the Delete command.
  bool liveTotal = true;
};

// The walkers of one check. Each entry step walks one tree and appends findings to the result
// list, or, for the internet cache, deletes on the spot:
//   ScanDrive            every file whose name fits a mask and no exception; when asked, it also
//                        collects, in the same walk, every file below a directory named temp,
//                        tmp or temporary (any case), for ScanTempDirectories to append;
//   ScanTempDirectories  every file below such a directory (the collected ones, or a walk of its
//                        own when the drive's scan collected none);
//   CleanInternetCache   deletes every file below the folder except index.dat and desktop.ini;
//                        a folder that is "/", a home folder or holds one is refused like a
//                        missing one (the warning box).
// The reading (directories, kinds, masks, sizes) runs in the file system helper ahead of the walk
// (TRemoteTree), and so do the cache cleaning's deletions; this class, on the GUI thread, takes
// the listings in the walk's own order and does everything else: the appends, the exception
// reload at each directory, the stop tests, the texts, the warnings, every deletion decision.
// Whenever it must wait for the helper, it waits through the view with the window live; Stop
// during a wait abandons the reading.
//
// Stop is tested where the check has always tested it (at the start of each directory step,
// before each new finding of the masked scan, before each cache deletion). Event processing is
// paced by ScanSettings::eventInterval, the status texts by at least 50 ms (both at every point
// when the interval is zero); whenever a step ends, a warning
// box is shown, or a failure ends the check, the display shows the exact state: the caption of
// the last directory, the entry count, and the total size.
//
// Failures propagate: EFileError when the exception list file cannot be read at a directory,
// EMaskException when a mask or exception entry is invalid (at its first test), EVantrelError
// when the helper ended unexpectedly (what was found so far stays listed).
class TScanner {
 public:
  TScanner(TResultList& list, IScanView& view, const TLanguageFile& language,
           TExceptionsFile& exceptions, const QStringList& masks, ScanSettings settings = {});
  ~TScanner();

  // root: the drive's directory, without trailing "/" unless it is "/".
  void ScanDrive(const std::string& root, bool collectTemporary = false);
  void ScanTempDirectories(const std::string& root);
  void CleanInternetCache(const QString& folder);

  // Shows the total of the listed files' sizes as the walk measured them.
  void ShowTotalSize();
  // The end of the check: shows the total of the listed files as they are now, measured by the
  // helper unless nothing can have changed since it last was (after Stop the helper must answer
  // at once, or the total as last measured stays); nothing when no walker ran.
  void ShowCheckTotal();
  // Puts every pending text on display.
  void FlushDisplay();

 private:
  class Walk;
  class MaskedStep;
  class TemporaryStep;
  class CacheStep;
  struct TempEvent;
  enum class Caption { None, Directory, TempDirectories, Cleaning };

  // The found-file procedure; false when Stop ends the masked walk.
  bool AddFoundFile(const TListing::Entry& entry, const std::string& dirPath, bool testStop);
  // The same for a file collected earlier (no Stop test: a temporary folder's listing).
  void AddFoundEntry(ResultEntry entry);
  void Append(ResultEntry entry);
  ResultEntry MakeEntry(const TListing::Entry& entry, const std::string& dirPath) const;
  // Runs removals in the helper and waits for them with the window live; Stop cuts the batch
  // short.
  void RunRemovals(const std::vector<TRemovalWorker::CachedFile>& files);
  void ShowCaption(Caption caption, const std::string* directory = nullptr);
  // A point where the walk may refresh the display and let events through.
  void EventPoint();
  void Warn();
  void ReloadExceptions();
  void ShowMeasuredTotal();
  // The Stop test of the walk: Stop pressed, and not held back for what the reader had read.
  bool Stopped() const;
  // The next listing of the reader, waiting for it with the window live; nullptr when it is
  // abandoned: Stop came while waiting (or had come, and the reader did not answer at once), or
  // the program is ending.
  std::unique_ptr<TListing> Await(TRemoteTree& reader);
  std::unique_ptr<TRemoteTree> Read(const std::string& root, bool matchMasks,
                                    bool sizeTemporaryFiles, bool cacheFolder = false);
  [[noreturn]] void HelperEnded() const;
  void AppendCollected();

  TResultList& list_;
  IScanView& view_;
  const TLanguageFile& language_;
  TExceptionsFile& exceptions_;
  ScanSettings settings_;
  TEventPacer pacer_;
  TEventPacer displayPacer_;
  TMaskCache cache_;
  TMaskList exceptionMasks_;
  QStringList masks_;                          // the masks before the first invalid one
  std::optional<EMaskException> invalidMask_;  // the first invalid mask, if any
  std::shared_ptr<THelperClient> helper_;
  std::shared_ptr<TWakeUp> wake_;
  std::unique_ptr<TRemovalWorker> remover_;

  std::string root_;  // the current walk's root folder with a trailing "/"
  // Whether the list held a file below root_ when the walk began: only then can the walk meet a
  // listed path (one walk never meets a path twice), and only then are paths looked up.
  bool mayRepeat_ = true;
  // Stop came while the walk waited for its reader: the listings read before it are walked
  // as if it had not come yet, until the next wait finds no more.
  bool stopHeld_ = false;
  // The total was measured by the helper, and no entry nor file of the list changed since.
  bool totalFresh_ = false;
  // A walker ran in this check, so the total is on display (a check on no drive shows none).
  bool walked_ = false;

  // What ScanDrive collected for ScanTempDirectories.
  std::optional<std::string> collectedRoot_;
  bool collectedRootMissing_ = false;
  bool collectedRootEntered_ = false;
  std::deque<TempEvent> collected_;
  std::deque<ResultEntry> collectedFiles_;

  Caption caption_ = Caption::None;
  std::string captionDirectory_;
  bool captionDirty_ = false;
  bool countDirty_ = false;
  bool sizeDirty_ = false;

  std::string fullPath_;
  TMaskName name_;
};
