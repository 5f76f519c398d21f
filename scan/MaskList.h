#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "scan/Mask.h"

// Each distinct mask text compiled once per check. A mask is compiled when it is first tested,
// so an invalid one still fails (EMaskException) at the moment its first test comes.
class TMaskCache {
 public:
  const TMask& Get(const QString& mask);

 private:
  QHash<QString, std::shared_ptr<const TMask>> compiled_;
};

// A file name as the masks see it: its bytes, decoded to characters (UTF-8, invalid bytes as
// U+FFFD) only when a mask needs them.
class TMaskName {
 public:
  void Set(std::string_view bytes) {
    bytes_ = bytes;
    decoded_ = false;
  }
  std::string_view Bytes() const { return bytes_; }
  std::u32string_view Characters();

 private:
  std::string_view bytes_;
  std::u32string characters_;
  bool decoded_ = false;
};

// A list of masks in list order (the mask list or the exception list), tested against bare
// file names through a cache.
class TMaskList {
 public:
  explicit TMaskList(TMaskCache& cache) : cache_(cache) {}

  void SetEntries(const QStringList& entries);
  size_t Size() const { return slots_.size(); }

  // Whether mask i fits the name. Throws EMaskException when mask i is invalid.
  bool Fits(size_t i, TMaskName& name);
  // Tests the masks in list order until one fits.
  bool AnyFits(TMaskName& name);

 private:
  struct Slot {
    QString text;
    const TMask* compiled = nullptr;
  };
  TMaskCache& cache_;
  std::vector<Slot> slots_;
};

// A name's characters for matching: UTF-8 decoded, invalid bytes as U+FFFD.
void NameToCodePoints(std::string_view name, std::u32string& out);
