#include "platform/HomeFolder.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

std::string FromEnvironment() {
  const char* home = std::getenv("HOME");
  return home != nullptr ? std::string(home) : std::string();
}

std::string FromPasswordDatabase() {
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  if (size <= 0) size = 16384;
  std::vector<char> buffer(static_cast<size_t>(size));
  for (;;) {
    passwd entry{};
    passwd* found = nullptr;
    const int error = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found);
    if (error == ERANGE && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (error != 0 || found == nullptr || found->pw_dir == nullptr) return std::string();
    return std::string(found->pw_dir);
  }
}

}  // namespace

std::vector<std::string> HomeFolders() {
  std::vector<std::string> homes;
  for (std::string home : {FromEnvironment(), FromPasswordDatabase()}) {
    if (!home.empty() && std::find(homes.begin(), homes.end(), home) == homes.end())
      homes.push_back(std::move(home));
  }
  return homes;
}

std::string HomeFolder() {
  std::string home = FromEnvironment();
  return home.empty() ? FromPasswordDatabase() : home;
}

void FillMissingHome() {
  if (!FromEnvironment().empty()) return;
  const std::string home = FromPasswordDatabase();
  if (!home.empty()) ::setenv("HOME", home.c_str(), 1);
}
