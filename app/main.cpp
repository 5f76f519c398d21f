#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "app/Application.h"
#include "helper/FileSystemHelper.h"
#include "platform/StandardOutput.h"
#include "platform/WorkerThreads.h"
#include "scan/HelperClient.h"

namespace {

// The helper switch counts only with the channel in place; typed by hand it is refused.
bool IsHelperStart(int argc, char** argv) {
  struct stat st {};
  return argc == 2 && std::strcmp(argv[1], kHelperSwitch) == 0 && ::fstat(3, &st) == 0 &&
         S_ISSOCK(st.st_mode);
}

}  // namespace

int main(int argc, char** argv) {
  if (IsHelperStart(argc, argv)) RunHelperProcess();
  // Every call on a drive runs in a helper: this very program, started again.
  UseHelperProgram("/proc/self/exe");
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
