#pragma once

#include <memory>

#include "helper/SafeUnlink.h"

class TTrash;

// How the Delete command takes a file away: unlinked, or moved to the desktop's trash.
enum class Removal { Delete, Trash };

// The Delete command's per-file step. Either way the file is reached and checked as
// TSafeUnlink does (folders component by component without following links; the very file
// that was found), and the result means the same: true when no file of that name is left.
class TFileRemover {
 public:
  explicit TFileRemover(Removal removal);
  ~TFileRemover();
  TFileRemover(const TFileRemover&) = delete;
  TFileRemover& operator=(const TFileRemover&) = delete;

  bool Remove(const TFoundFile& entry);

 private:
  TSafeUnlink folders_;
  std::unique_ptr<TTrash> trash_;  // only when moving to the trash
};
