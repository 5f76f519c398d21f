#pragma once

#include <sys/types.h>

#include <QString>
#include <QStringList>
#include <chrono>
#include <string>
#include <string_view>
#include <unordered_set>

#include "scan/DirectoryWalk.h"
#include "scan/EventPacer.h"
#include "scan/ExceptionsFile.h"
#include "scan/MaskList.h"
#include "scan/ResultList.h"
#include "scan/ScanView.h"

class TLanguageFile;

struct ScanSettings {
  // Deletes nothing: the cache cleaning reports what it would delete instead.
  bool dryRun = false;
  // How often, at most, the walk refreshes the display and handles window events. Zero does
  // both at every point where the walk may (tests use it to stop at an exact point).
  std::chrono::steady_clock::duration eventInterval = std::chrono::milliseconds(16);
};

// The walkers of one check. Each entry step walks one tree and appends findings to the result
// list, or, for the internet cache, deletes on the spot:
//   ScanDrive            every file whose name fits a mask and no exception;
//   ScanTempDirectories  every file below a directory named temp, tmp or temporary (any case);
//   CleanInternetCache   deletes every file below the folder except index.dat and desktop.ini;
//                        a folder that is "/", a home folder or holds one is refused like a
//                        missing one (the warning box).
// Stop is tested where the check has always tested it (at the start of each directory step,
// before each new finding of the masked scan, before each cache deletion). Status texts and
// event processing are paced by ScanSettings::eventInterval; whenever a step ends, a warning
// box is shown, or a failure ends the check, the display shows the exact state: the caption of
// the last directory, the entry count, and the total size measured afresh.
//
// Failures propagate: EFileError when the exception list file cannot be read at a directory,
// EMaskException when a mask or exception entry is invalid (at its first test).
class TScanner {
 public:
  TScanner(TResultList& list, IScanView& view, const TLanguageFile& language,
           TExceptionsFile& exceptions, const QStringList& masks, ScanSettings settings = {});

  // root: the drive's directory, without trailing "/" unless it is "/".
  void ScanDrive(const std::string& root);
  void ScanTempDirectories(const std::string& root);
  void CleanInternetCache(const QString& folder);

  // Measures the listed files afresh and shows the total.
  void ShowTotalSize();
  // Puts every pending text on display.
  void FlushDisplay();

 private:
  class ScanDirectoryStep;
  class SearchTempDirectoriesStep;
  class ListTempFilesStep;
  class CleanCacheDirectoryStep;
  enum class Caption { None, Directory, TempDirectories, Cleaning };

  // The found-file procedure; false when Stop ends the masked walk.
  bool AddFoundFile(int dirFd, std::string_view name, const std::string& dirPath, bool testStop);
  void ListTempDirectory(int parentFd, std::string_view name, std::string path);
  void ShowCaption(Caption caption, const std::string* directory = nullptr);
  // A point where the walk may refresh the display and let events through.
  void EventPoint();
  void Warn();
  bool ExceptionsFit(TMaskName& name);
  void ReloadExceptions();

  TResultList& list_;
  IScanView& view_;
  const TLanguageFile& language_;
  TExceptionsFile& exceptions_;
  ScanSettings settings_;
  TEventPacer pacer_;
  TMaskCache cache_;
  TMaskList masks_;
  TMaskList exceptionMasks_;

  DirectoryWalk walk_;      // the drive or cache folder being walked
  DirectoryWalk listWalk_;  // a temporary directory being listed inside the search
  std::string root_;        // the current walk's drive directory with a trailing "/"
  dev_t device_ = 0;
  std::unordered_set<std::string> mountPoints_;

  Caption caption_ = Caption::None;
  std::string captionDirectory_;
  bool captionDirty_ = false;
  bool countDirty_ = false;
  bool sizeDirty_ = false;

  std::string fullPath_;
  TMaskName name_;
};
