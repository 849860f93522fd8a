// The container builder and the independent checker.
#include "testsupport/VirtualVolumeFixtures.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <iterator>
#include <random>
#include <tuple>

namespace {

constexpr uint32_t kFold = 0x666F6C64;

uint32_t Big32(const std::string& bytes, size_t at) {
  return uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16 |
         uint32_t(uint8_t(bytes[at + 2])) << 8 | uint8_t(bytes[at + 3]);
}

uint32_t Little32(const std::string& bytes, size_t at) {
  return uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8 |
         uint32_t(uint8_t(bytes[at + 2])) << 16 | uint32_t(uint8_t(bytes[at + 3])) << 24;
}

std::string Big32Bytes(uint32_t value) {
  return {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
}

std::string DoubleBytes(double value, bool bigEndian) {
  uint64_t bits;
  std::memcpy(&bits, &value, 8);
  std::string out(8, '\0');
  for (int i = 0; i < 8; ++i) out[size_t(i)] = char(bits >> (bigEndian ? 56 - 8 * i : 8 * i));
  return out;
}

double ReadDouble(const std::string& bytes, size_t at, bool bigEndian) {
  uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) {
    bits |= uint64_t(uint8_t(bytes[at + size_t(i)])) << (bigEndian ? 56 - 8 * i : 8 * i);
  }
  double value;
  std::memcpy(&value, &bits, 8);
  return value;
}

bool Whole(double value, double limit) {
  return std::isfinite(value) && value >= 0 && value <= limit && value == std::floor(value);
}

struct Block {
  uint32_t offset, fileId, sequence, length, next;
};

// The whole blocks from offset 8 on, one after another; *end receives where
// the first that does not pass begins.
std::vector<Block> WholeBlocks(const std::string& bytes, bool headerBig, size_t* end) {
  std::vector<Block> blocks;
  size_t at = 8;
  while (at + 32 < bytes.size() && bytes.compare(at, 4, "BlkS") == 0) {
    const double length = ReadDouble(bytes, at + 12, headerBig);
    const double next = ReadDouble(bytes, at + 20, headerBig);
    if (!Whole(length, double(bytes.size() - at)) || length <= 32 || !Whole(next, 2147483647.0) ||
        bytes.compare(at + size_t(length) - 4, 4, "BlkE") != 0) {
      break;
    }
    blocks.push_back({uint32_t(at), Big32(bytes, at + 4), Big32(bytes, at + 8), uint32_t(length),
                      uint32_t(next)});
    at += size_t(length);
  }
  *end = at;
  return blocks;
}

}  // namespace

// ---- Builder ----------------------------------------------------------------------------

ContainerBuilder::ContainerBuilder(uint32_t version, uint32_t nextFileId) : version_(version) {
  bytes_ = "VFSv" + Big32Bytes(version);
  AddBlock(1, 0, 40, 0, Big32Bytes(nextFileId) + Big32Bytes(0));
}

uint32_t ContainerBuilder::AddBlock(uint32_t fileId, uint32_t sequence, double length, double next,
                                    const std::string& data) {
  const uint32_t offset = End();
  const uint32_t size = Whole(length, 1 << 24) && length > 32 ? uint32_t(length) : 64;
  std::string block = "BlkS" + Big32Bytes(fileId) + Big32Bytes(sequence) +
                      HeaderDouble(length) + HeaderDouble(next);
  std::string body = data.substr(0, size - 32);
  body.resize(size - 32, '\0');
  bytes_ += block + body + "BlkE";
  return offset;
}

void ContainerBuilder::Patch(uint32_t offset, const std::string& bytes) {
  if (bytes_.size() < offset + bytes.size()) bytes_.resize(offset + bytes.size(), '\0');
  bytes_.replace(offset, bytes.size(), bytes);
}

void ContainerBuilder::SetNextFileId(uint32_t id) { Patch(36, Big32Bytes(id)); }

std::string ContainerBuilder::Value32(uint32_t value) const {
  if (version_ >= 3) return Big32Bytes(value);
  return {char(value), char(value >> 8), char(value >> 16), char(value >> 24)};
}

std::string ContainerBuilder::ItemDouble(double value) const {
  return DoubleBytes(value, version_ >= 3);
}

std::string ContainerBuilder::HeaderDouble(double value) const {
  return DoubleBytes(value, version_ != 1);
}

std::string ContainerBuilder::Item(double dataLength, uint32_t type, uint32_t parent,
                                   const std::string& name, const std::string& data) const {
  std::string header = ItemDouble(dataLength) + Value32(type) + Value32(parent) +
                       ItemDouble(0) + ItemDouble(0) + name;
  header.resize(256, '\0');
  return header + data;
}

std::string ContainerBuilder::FolderData(const std::vector<uint32_t>& ids, uint32_t count) const {
  std::string data = Value32(count);
  for (uint32_t id : ids) data += Value32(id);
  return data;
}

// ---- Checker ----------------------------------------------------------------------------

ContainerReport CheckContainer(const std::string& bytes) {
  ContainerReport report;
  if (bytes.size() < 8 || bytes.compare(0, 4, "VFSv") != 0) {
    report.damage.push_back("no container start");
    return report;
  }
  report.version = Big32(bytes, 4);
  const bool headerBig = report.version != 1;
  const bool valuesBig = report.version >= 3;

  // Every whole block, one after another.
  size_t at = 8;
  const std::vector<Block> blocks = WholeBlocks(bytes, headerBig, &at);
  std::map<uint32_t, size_t> byOffset;
  for (size_t i = 0; i < blocks.size(); ++i) byOffset[blocks[i].offset] = i;
  report.blockCount = uint32_t(blocks.size());
  report.tornTail = uint32_t(bytes.size() - at);
  if (report.tornTail >= 36 && bytes.find("BlkS", at) != std::string::npos) {
    report.damage.push_back("a block that does not pass at " + std::to_string(at));
  }

  std::map<uint32_t, size_t> firstOf;
  for (size_t i = 0; i < blocks.size(); ++i) {
    if (blocks[i].fileId != 0 && blocks[i].sequence == 0 && !firstOf.count(blocks[i].fileId)) {
      firstOf[blocks[i].fileId] = i;
    }
  }
  std::vector<int> claims(blocks.size(), 0);
  // A file's data, following its chain; false on a broken chain.
  auto readFile = [&](uint32_t id, std::string* data) {
    auto first = firstOf.find(id);
    if (first == firstOf.end()) return false;
    size_t index = first->second;
    for (uint32_t sequence = 0;; ++sequence) {
      const Block& block = blocks[index];
      if (++claims[index] == 2) {
        report.damage.push_back("block claimed twice at " + std::to_string(block.offset));
      }
      data->append(bytes, block.offset + 28, block.length - 32);
      if (block.next == 0) return true;
      auto next = byOffset.find(block.next);
      if (next == byOffset.end() || blocks[next->second].fileId != id ||
          blocks[next->second].sequence != sequence + 1 || claims[next->second] > 0) {
        report.damage.push_back("broken chain of file " + std::to_string(id));
        return false;
      }
      index = next->second;
    }
  };

  std::string metadata;
  if (!readFile(1, &metadata) || metadata.size() < 8) {
    report.damage.push_back("no metadata file");
    return report;
  }
  report.storedMapLength = Big32(metadata, 4);
  if (report.storedMapLength >= 8 && metadata.size() >= 8 + report.storedMapLength &&
      metadata.compare(8, 4, "BMap") == 0) {
    std::set<std::tuple<uint32_t, uint32_t, uint32_t>> stored, actual;
    const uint32_t count = Big32(metadata, 12);
    for (uint32_t i = 0; i < count && 16 + 12 * i + 12 <= metadata.size(); ++i) {
      const size_t e = 16 + 12 * size_t(i);
      stored.insert({Big32(metadata, e), Big32(metadata, e + 4), Big32(metadata, e + 8)});
    }
    for (const Block& block : blocks) {
      actual.insert({block.offset, block.fileId, block.fileId ? block.sequence : 0});
    }
    report.storedMapMatches = stored == actual && stored.size() == count;
  }

  // The tree from the root.
  std::set<uint32_t> reached{1};
  std::function<void(uint32_t, uint32_t, const std::string&)> walk =
      [&](uint32_t id, uint32_t parent, const std::string& path) {
        std::string data;
        if (!reached.insert(id).second) {
          report.damage.push_back("item reached twice: " + std::to_string(id));
          return;
        }
        if (!readFile(id, &data) || data.size() < 256) {
          report.damage.push_back("a folder names a missing item: " + std::to_string(id));
          return;
        }
        auto value32 = [&](size_t at) { return valuesBig ? Big32(data, at) : Little32(data, at); };
        const double length = ReadDouble(data, 0, valuesBig);
        const uint32_t type = value32(8);
        if (!Whole(length, double(data.size() - 256)) || type == 0 || value32(12) != parent) {
          report.damage.push_back("bad item " + std::to_string(id));
          return;
        }
        report.types[path] = type;
        const std::string contents = data.substr(256, size_t(length));
        if (type != kFold) {
          report.files[path] = contents;
          return;
        }
        std::vector<std::string>& names = report.folders[path];
        const uint32_t count = length >= 4 ? value32(256) : 0;
        std::set<uint32_t> seen;
        for (uint32_t i = 0; i < count && 4 + 4 * size_t(i) + 4 <= contents.size(); ++i) {
          const uint32_t child = value32(260 + 4 * size_t(i));
          if (!seen.insert(child).second) continue;
          // A child whose parent field names another folder is what a move
          // cut short leaves: skipped, as readers skip it.
          std::string childData;
          auto first = firstOf.find(child);
          if (child > 2 && first != firstOf.end()) {
            const Block& block = blocks[first->second];
            const uint32_t childParent = valuesBig ? Big32(bytes, block.offset + 28 + 12)
                                                   : Little32(bytes, block.offset + 28 + 12);
            if (childParent != id) continue;
          }
          if (child <= 2) {
            report.damage.push_back("a folder lists id " + std::to_string(child));
            continue;
          }
          const size_t nameAt = firstOf.count(child) ? blocks[firstOf[child]].offset + 28 + 32 : 0;
          const std::string name = nameAt ? std::string(bytes.c_str() + nameAt,
                                                        strnlen(bytes.c_str() + nameAt, 223))
                                          : "?";
          names.push_back(name);
          walk(child, id, path.empty() ? name : path + "/" + name);
        }
      };
  walk(2, 0, "");
  for (size_t i = 0; i < blocks.size(); ++i) {
    if (blocks[i].fileId != 0 && claims[i] == 0) {
      ++report.leakedBlocks;
      if (blocks[i].sequence == 0 && !reached.count(blocks[i].fileId)) ++report.leakedItems;
    }
  }
  return report;
}

std::string DamageText(const ContainerReport& report) {
  std::string text;
  for (const std::string& line : report.damage) text += line + "; ";
  return text;
}

// ---- Corpus ----------------------------------------------------------------------------

std::string MutateContainer(const std::string& base, uint32_t version, uint32_t seed, int index) {
  std::mt19937 random(seed * 100003u + uint32_t(index));
  auto pick = [&](size_t n) { return size_t(random() % (n ? n : 1)); };
  const ContainerBuilder values(version);
  std::string bytes = base;
  size_t end = 0;
  const std::vector<Block> blocks = WholeBlocks(base, version != 1, &end);
  if (blocks.empty()) return base.substr(0, base.size() / 2);
  std::vector<Block> items;
  for (const Block& block : blocks) {
    if (block.fileId >= 2 && block.sequence == 0) items.push_back(block);
  }
  const Block& block = blocks[pick(blocks.size())];
  if (items.empty()) items.push_back(blocks.front());
  const Block& item = items[pick(items.size())];
  auto patch = [&](size_t at, const std::string& with) {
    if (at + with.size() <= bytes.size()) bytes.replace(at, with.size(), with);
  };
  const double odd[] = {0, NAN, 1e300, -1, 33, 1e9, INFINITY, 4e9, 1.5};
  switch (index % 10) {
    case 0:
      for (size_t n = 1 + pick(8); n > 0; --n) bytes[pick(bytes.size())] ^= char(1 + pick(255));
      break;
    case 1:
      bytes.resize(pick(bytes.size()));
      break;
    case 2:
      patch(block.offset + 12, values.HeaderDouble(odd[pick(std::size(odd))]));
      break;
    case 3: {
      const double targets[] = {double(block.offset), double(blocks[pick(blocks.size())].offset),
                                double(bytes.size() + 8), NAN, double(block.offset + 1)};
      patch(block.offset + 20, values.HeaderDouble(targets[pick(std::size(targets))]));
      break;
    }
    case 4: {
      const size_t map = bytes.find("BMap");
      if (map != std::string::npos) patch(map + 4, std::string("\x15\x55\x55\x56", 4));
      else bytes[pick(bytes.size())] ^= 0x40;
      break;
    }
    case 5: {
      const uint32_t ids[] = {0, 1, 2, 999, item.fileId, 0xFFFFFFFF};
      patch(item.offset + 28 + 260 + 4 * pick(3), values.Value32(ids[pick(std::size(ids))]));
      break;
    }
    case 6: {
      const Block& other = items[pick(items.size())];
      patch(item.offset + 28 + 12, values.Value32(other.fileId));
      patch(other.offset + 28 + 12, values.Value32(item.fileId));
      break;
    }
    case 7:
      patch(item.offset + 28 + 32, std::string(224, 'x'));
      break;
    case 8:
      patch(item.offset + 28, values.ItemDouble(odd[pick(std::size(odd))]));
      break;
    default: {
      const uint32_t counts[] = {0xFFFFFFFF, 0x40000000, 1000, 0x15555556};
      patch(item.offset + 28 + 256, values.Value32(counts[pick(std::size(counts))]));
      break;
    }
  }
  return bytes;
}
