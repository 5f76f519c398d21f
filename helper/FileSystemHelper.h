#pragma once

// The file system helper: every system call on a drive's file system (listings, kinds, names,
// sizes, root tests, the cache cleaning, the Delete command's unlinks and trash moves, the
// total's measurements) is made here, in a process of its own, so that a call the kernel never
// lets go of (a dead network server, a FUSE server that ignores interrupts) holds up neither the
// window nor the program's end: the program kills the helper and leaves it to the kernel.
//
// Serves the program at the other end of the channel (helper/Channel.h) until the program
// closes its end, then returns; the descriptor is closed once nothing of the helper uses it.
// The dispatching thread never touches a drive, so it always answers at once: reading runs on
// the tree readers' threads (one pump a tree sends their listings), removals, measurements and
// questions run in order on one worker thread, whose results a flusher sends at least every few
// milliseconds while a removal blocks.
void ServeFileSystem(int channelFd);

// The process helper: the program started again with this switch, its channel at descriptor 3
// and nothing else of the program's. Runs the helper and ends the process.
inline constexpr char kHelperSwitch[] = "--file-system-helper";
[[noreturn]] void RunHelperProcess();
