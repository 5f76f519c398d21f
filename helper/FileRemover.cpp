#include "helper/FileRemover.h"

#include "helper/Trash.h"

TFileRemover::TFileRemover(Removal removal)
    : trash_(removal == Removal::Trash ? std::make_unique<TTrash>() : nullptr) {}

TFileRemover::~TFileRemover() = default;

bool TFileRemover::Remove(const TFoundFile& entry) {
  if (!trash_) return folders_.Delete(entry);
  return folders_.Remove(
      entry, [this](int folderFd, const char* name) { return trash_->Move(folderFd, name); });
}
