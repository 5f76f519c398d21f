#include <unistd.h>

#include <cstdio>

#include "app/Application.h"
#include "platform/StandardOutput.h"
#include "platform/WorkerThreads.h"

int main(int argc, char** argv) {
  const int status = RunProgram(argc, argv);
  FlushOutput();
  // A worker still in the kernel (a dead network server) must not keep the program, nor meet
  // the libraries torn down under it: everything is written out, and the process ends at once.
  if (RunningWorkerThreads() > 0) {
    std::fflush(nullptr);
    ::_exit(status);
  }
  return status;
}
