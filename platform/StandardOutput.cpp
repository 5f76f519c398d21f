#include "platform/StandardOutput.h"

#include <cstdio>

namespace {

constexpr size_t kBlock = 64 * 1024;

std::string& Pending() {
  static std::string pending;
  return pending;
}

}  // namespace

void WriteOutputLine(std::string_view line) {
  std::string& pending = Pending();
  pending.append(line);
  pending.push_back('\n');
  if (pending.size() >= kBlock) FlushOutput();
}

void WriteOutputLine(const QString& line) {
  const QByteArray bytes = line.toUtf8();
  WriteOutputLine(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

void FlushOutput() {
  std::string& pending = Pending();
  if (!pending.empty()) std::fwrite(pending.data(), 1, pending.size(), stdout);
  pending.clear();
  std::fflush(stdout);
}
