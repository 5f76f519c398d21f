#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

// A helper process of the program's own and the program's end of its channel.
struct SpawnedHelper {
  pid_t pid = -1;
  int fd = -1;  // non-blocking, close-on-exec
};

// Starts program with the argument `argument` (posix_spawn: no bare fork of the running
// process), its end of a new socket pair at descriptor 3 and nothing else of this process's:
// standard input, output and error are /dev/null, every other descriptor (the display
// connection, the store's lock) is closed, signals are as at a fresh start. nullopt when it
// cannot be started.
std::optional<SpawnedHelper> SpawnHelperProcess(const std::string& program, const char* argument);

// Kills the helper (SIGKILL) and leaves it to the kernel: a thread of its own reaps it when it
// finally ends, which may be long after (a call that never returns holds it), so that no zombie
// is left while the program runs on. Never waits.
void KillAndReap(pid_t pid);
