// Virtual-volume containers for tests: a builder of hand-made containers
// (any version, any block, any field), a checker that reads container bytes
// on its own, without the run-time's reader, and tells what it finds, and
// the generator of damaged copies.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

// Builds "VFSv", the version and the metadata block (file 1 at 8, length
// 40: the next free id and a map length of 0), then the blocks added, one
// after another. Numbers are laid out as a container of that version holds
// them (doubles little-endian in version 1; item values little-endian before
// version 3).
class ContainerBuilder {
 public:
  explicit ContainerBuilder(uint32_t version = 3, uint32_t nextFileId = 2);

  // Appends a block; its data is padded with zeros (or cut) to length - 32.
  // Gives its offset.
  uint32_t AddBlock(uint32_t fileId, uint32_t sequence, double length, double next,
                    const std::string& data = "");
  // The offset the next block will have.
  uint32_t End() const { return uint32_t(bytes_.size()); }
  // Overwrites bytes at an offset (the container grows when needed).
  void Patch(uint32_t offset, const std::string& bytes);
  void SetNextFileId(uint32_t id);

  // The bytes of an item: the 256-byte header, then the data.
  std::string Item(double dataLength, uint32_t type, uint32_t parent, const std::string& name,
                   const std::string& data = "") const;
  // A folder's data: the count, then the ids.
  std::string FolderData(const std::vector<uint32_t>& ids, uint32_t count) const;
  std::string Value32(uint32_t value) const;
  std::string ItemDouble(double value) const;
  std::string HeaderDouble(double value) const;
  const std::string& Bytes() const { return bytes_; }

 private:
  uint32_t version_;
  std::string bytes_;
};

// What the checker found in container bytes. Damage: a header that does not
// pass before the last whole block, a block claimed twice, a broken chain,
// a folder naming a missing item, an item whose fields cannot be right.
// Leaks (allowed after a cut): owned blocks or items nothing reaches.
struct ContainerReport {
  std::vector<std::string> damage;
  int leakedBlocks = 0;
  int leakedItems = 0;
  uint32_t version = 0;
  uint32_t blockCount = 0;
  uint32_t tornTail = 0;  // bytes after the last whole block
  // The stored map: its length, and whether it lists exactly the blocks.
  uint32_t storedMapLength = 0;
  bool storedMapMatches = false;
  // Reached items by path from the root ("a/b"): files with their data,
  // folders with their children's names in stored order.
  std::map<std::string, std::string> files;
  std::map<std::string, std::vector<std::string>> folders;
  std::map<std::string, uint32_t> types;
  bool Clean() const { return damage.empty(); }
};

ContainerReport CheckContainer(const std::string& bytes);
// The damage as one line for a test's message.
std::string DamageText(const ContainerReport& report);

// A damaged copy of a container, the same for the same seed and index:
// flipped bytes, a cut, or one of the values a careless reader trusts (block
// lengths 0, NaN and 1e300, next offsets to the block itself, round a cycle
// or past the end, a map count whose size wraps, child ids 0 and 1, a
// parent cycle, a name without its zero, item lengths and folder counts
// beyond anything stored). Ten kinds, chosen by index % 10.
std::string MutateContainer(const std::string& base, uint32_t version, uint32_t seed, int index);
