#include "scan/MaskList.h"

#include "platform/TextCodec.h"

const TMask& TMaskCache::Get(const QString& mask) {
  auto it = compiled_.find(mask);
  if (it == compiled_.end()) it = compiled_.insert(mask, std::make_shared<const TMask>(mask));
  return **it;
}

void TMaskList::SetEntries(const QStringList& entries) {
  slots_.clear();
  slots_.reserve(static_cast<size_t>(entries.size()));
  for (const QString& entry : entries) slots_.push_back(Slot{entry, nullptr});
}

std::u32string_view TMaskName::Characters() {
  if (!decoded_) {
    NameToCodePoints(bytes_, characters_);
    decoded_ = true;
  }
  return characters_;
}

bool TMaskList::Fits(size_t i, TMaskName& name) {
  Slot& slot = slots_[i];
  if (slot.compiled == nullptr) slot.compiled = &cache_.Get(slot.text);
  if (slot.compiled->MatchesBytesExactly()) return slot.compiled->MatchesBytes(name.Bytes());
  return slot.compiled->Matches(name.Characters());
}

bool TMaskList::AnyFits(TMaskName& name) {
  for (size_t i = 0; i < slots_.size(); ++i) {
    if (Fits(i, name)) return true;
  }
  return false;
}

void NameToCodePoints(std::string_view name, std::u32string& out) {
  out.clear();
  bool ascii = true;
  for (char c : name) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      ascii = false;
      break;
    }
  }
  if (ascii) {
    out.assign(name.begin(), name.end());
    return;
  }
  out = NameToText(name.data(), name.size()).toStdU32String();
}
