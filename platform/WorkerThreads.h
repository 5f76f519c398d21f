#pragma once

#include <functional>

// The program's worker threads (readers, the removal worker) run detached: one stuck in the
// kernel must delay neither a later check nor the program's exit. They are counted, so that the
// program, when it ends while one still runs, leaves at once instead of tearing down the
// libraries that thread may still be inside.
void StartWorkerThread(std::function<void()> body);
int RunningWorkerThreads();
