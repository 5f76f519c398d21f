#pragma once

#include <QStringList>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "helper/Listing.h"
#include "platform/WakeUp.h"
#include "scan/HelperClient.h"

// One tree as the helper reads it (helper/TreeReader.h: depth first, in the order the check
// enters the directories), taken listing by listing on the GUI thread.
//
// The listings arrive on the client's receiving thread; at most channel::kWindowListings or
// kWindowBytes of them (one larger listing still whole) are sent and not yet taken, and the
// check takes all that arrived at a time. The helper sends in batches, so `wake` is raised
// whenever a message arrives while the check waits, and when the helper is gone; the check also
// looks again at its own pace (it waits with a timeout).
class TRemoteTree {
 public:
  // Starts reading path. masks: the texts of the masks to test, in list order, all valid.
  TRemoteTree(std::shared_ptr<THelperClient> helper, const std::string& path,
              const QStringList& masks, const TReadOptions& options, std::shared_ptr<TWakeUp> wake);
  ~TRemoteTree();  // abandons the tree when it is still being read
  TRemoteTree(const TRemoteTree&) = delete;
  TRemoteTree& operator=(const TRemoteTree&) = delete;

  // The next listing; nullptr when none has arrived yet (wait for the wake-up and ask again)
  // or none will (Over).
  std::unique_ptr<TListing> Next();
  // A listing taken and done with: its room serves one that arrives later.
  void GiveBack(std::unique_ptr<TListing> listing);
  // Nothing more comes: the end was taken, the tree was abandoned, or the helper is gone.
  bool Over() const;
  // The helper ended unexpectedly before the tree's end.
  bool HelperFailed() const;
  // Reads nothing more, but still hands over what was read (then the end).
  void StopReading();
  // The helper is told to let the tree go, and is killed when it does not answer at once.
  void Abandon();

 private:
  struct State;

  std::shared_ptr<THelperClient> helper_;
  std::shared_ptr<State> state_;
  std::uint32_t id_ = 0;
  std::deque<std::unique_ptr<TListing>> taken_;
  std::vector<std::unique_ptr<TListing>> givenBack_;  // handed to the receiving thread at Next
  std::uint32_t unreportedListings_ = 0;              // taken, and not yet told to the helper
  std::uint64_t unreportedBytes_ = 0;
  bool stopSent_ = false;
  bool abandoned_ = false;
};
