// Name map in insertion order.
#include "core/StringMap.h"

std::string StringMap::Fold(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) {
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  }
  return folded;
}

void StringMap::Set(const std::string& name, void* value) {
  std::string key = Fold(name);
  auto found = index_.find(key);
  if (found != index_.end()) {
    entries_[found->second].value = value;
    return;
  }
  index_.emplace(std::move(key), entries_.size());
  entries_.push_back({name, value, false});
  ++live_;
}

void* StringMap::Get(const std::string& name) const {
  auto found = index_.find(Fold(name));
  return found == index_.end() ? nullptr : entries_[found->second].value;
}

bool StringMap::Contains(const std::string& name) const {
  return index_.count(Fold(name)) != 0;
}

bool StringMap::Remove(const std::string& name) {
  auto found = index_.find(Fold(name));
  if (found == index_.end()) return false;
  entries_[found->second].removed = true;
  entries_[found->second].value = nullptr;
  index_.erase(found);
  --live_;
  return true;
}

void StringMap::Clear() {
  entries_.clear();
  index_.clear();
  live_ = 0;
}

std::unique_ptr<StringMapIterator> StringMap::NewIterator() const {
  return std::make_unique<StringMapIterator>(*this);
}

bool StringMapIterator::NextValue(void** value, std::string* name) {
  while (position_ < map_.entries_.size()) {
    const StringMap::Entry& entry = map_.entries_[position_++];
    if (entry.removed) continue;
    if (value) *value = entry.value;
    if (name) *name = entry.name;
    return true;
  }
  return false;
}

#ifdef _WINDOWS_
#error "StringMap is portable: it must not include <windows.h>."
#endif
