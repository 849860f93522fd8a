// A map from names (ASCII case ignored) to borrowed values, walked in
// insertion order. The map owns neither its values nor what they point to.
#pragma once
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class StringMapIterator;

class StringMap {
 public:
  // Sets the value of a name; a name already present keeps its place.
  void Set(const std::string& name, void* value);
  void* Get(const std::string& name) const;  // nil when absent
  bool Contains(const std::string& name) const;
  bool Remove(const std::string& name);
  size_t Count() const { return live_; }
  void Clear();
  // An iterator over the entries in insertion order; the caller owns it.
  // Entries removed while it walks are skipped.
  std::unique_ptr<StringMapIterator> NewIterator() const;

 private:
  friend class StringMapIterator;
  struct Entry {
    std::string name;
    void* value;
    bool removed;
  };
  static std::string Fold(const std::string& name);
  std::vector<Entry> entries_;
  std::unordered_map<std::string, size_t> index_;
  size_t live_ = 0;
};

class StringMapIterator {
 public:
  explicit StringMapIterator(const StringMap& map) : map_(map) {}
  // The next entry's value (and name); false at the end.
  bool NextValue(void** value, std::string* name = nullptr);

 private:
  const StringMap& map_;
  size_t position_ = 0;
};
