// Damaged containers: seeded mutants of a version-3 and a version-1 volume
// (flipped bytes, cuts, and the values a careless reader trusts: block
// lengths of 0, NaN and 1e300, next offsets to the block itself and round a
// cycle, a map count whose size wraps, child ids 0 and 1, a parent cycle, a
// name without its zero) are opened, walked, read, written, reopened and
// walked again. None may crash, take 2 s, reach the assertion reporter or
// leave a block claimed twice.
//
// Run by its own test entry (KV_VIRTUAL_CORPUS=all); KV_VIRTUAL_CORPUS=<n>
// reruns case n alone. Each case prints its seed and index first.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "VirtualVolumeTestSupport.h"
#include "core/diagnostics.h"
#include "testsupport/VirtualVolumeFixtures.h"

namespace {

constexpr uint32_t kSeed = 29;
constexpr int kCasesPerBase = 600;
constexpr uint32_t kText = 0x54455854;

struct BlockAt {
  uint32_t offset;
  uint32_t fileId;
  uint32_t sequence;
  uint32_t length;
};

// The whole blocks of a container, read with the version's byte order.
std::vector<BlockAt> BlocksOf(const std::string& bytes, uint32_t version) {
  std::vector<BlockAt> blocks;
  auto big32 = [&](size_t at) {
    return uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16 |
           uint32_t(uint8_t(bytes[at + 2])) << 8 | uint8_t(bytes[at + 3]);
  };
  for (size_t at = 8; at + 32 < bytes.size();) {
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) {
      bits |= uint64_t(uint8_t(bytes[at + 12 + size_t(i)])) << (version == 1 ? 8 * i : 56 - 8 * i);
    }
    double length;
    std::memcpy(&length, &bits, 8);
    if (!(length > 32 && length <= double(bytes.size() - at))) break;
    blocks.push_back({uint32_t(at), big32(at + 4), big32(at + 8), uint32_t(length)});
    at += size_t(length);
  }
  return blocks;
}

std::string BaseVersion3() {
  Disk disk;
  std::unique_ptr<VHFS> volume = VHFS::CreateVolume(disk.Make());
  const VHFSItemRef root = volume->GetRootItem();
  const VHFSItemRef docs = volume->CreateFolder(root, "docs");
  const VHFSItemRef sub = volume->CreateFolder(docs, "sub");
  WriteFile(*volume, volume->CreateItem(docs, "a", kText), Pattern(3000));
  WriteFile(*volume, volume->CreateItem(root, "b", kText), Pattern(50, 2));
  WriteFile(*volume, volume->CreateItem(sub, "c", kText), Pattern(10, 3));
  const VHFSItemRef gone = volume->CreateItem(root, "gone", kText);
  WriteFile(*volume, gone, Pattern(1500, 4));
  volume->DeleteItem(gone);
  volume->Close();
  return disk.Bytes();
}

std::string BaseVersion1() {
  ContainerBuilder b(1, 6);
  const std::string one = Pattern(2000, 5);
  b.AddBlock(2, 0, 1024, 0, b.Item(12, 0x666F6C64, 0, "/", b.FolderData({3, 4}, 2)));
  b.AddBlock(3, 0, 1024, 0, b.Item(8, 0x666F6C64, 2, "f", b.FolderData({5}, 1)));
  const uint32_t first = b.AddBlock(4, 0, 1024, 0, b.Item(2000, kText, 2, "one", one));
  b.Patch(first + 20, b.HeaderDouble(b.End()));
  b.AddBlock(4, 1, 2048, 0, one.substr(992 - 256));
  b.AddBlock(5, 0, 512, 0, b.Item(10, kText, 3, "two", Pattern(10, 6)));
  b.AddBlock(0, 0, 1024, 0, Pattern(900, 7));
  return b.Bytes();
}

std::string Mutant(const std::string& base, uint32_t version, int index) {
  std::mt19937 random(kSeed * 100003u + uint32_t(index));
  auto pick = [&](size_t n) { return size_t(random() % (n ? n : 1)); };
  const ContainerBuilder values(version);
  std::string bytes = base;
  const std::vector<BlockAt> blocks = BlocksOf(base, version);
  std::vector<BlockAt> items;
  for (const BlockAt& block : blocks) {
    if (block.fileId >= 2 && block.sequence == 0) items.push_back(block);
  }
  const BlockAt& block = blocks[pick(blocks.size())];
  const BlockAt& item = items[pick(items.size())];
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
      const BlockAt& other = items[pick(items.size())];
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

// Opens, walks, reads, changes, closes, reopens and walks the container;
// the bytes it leaves (the mutant's own when it does not open).
std::string Exercise(const std::string& bytes, bool* opened) {
  Disk disk;
  std::unique_ptr<VHFS> volume = VHFS::OpenVolume(disk.Make(bytes));
  *opened = volume != nullptr;
  if (!volume) return bytes;
  const TreeState state = StateOf(*volume);
  const VHFSItemRef root = volume->GetRootItem();
  WriteFile(*volume, volume->CreateItem(root, "new", kText), Pattern(3000, 8));
  std::vector<VHFSItemRef> children;
  volume->ListFolder(root, &children);
  for (VHFSItemRef& child : children) {
    if (child.IsFile()) {
      WriteFile(*volume, child, Pattern(1200, 9), 700);
      volume->RenameItem(&child, "renamed");
    } else {
      volume->CreateItem(child, "inner", kText);
      volume->MoveItem(volume->FindChild(root, "new"), child);
    }
  }
  for (const VHFSItemRef& child : children) volume->DeleteItem(child);
  volume->Close();
  const std::string written = disk.Bytes();
  volume = VHFS::OpenVolume(disk.Make(written));
  if (volume) StateOf(*volume);
  return written;
}

// Whether the mutant opened.
bool RunCase(const std::string& base, uint32_t version, int index) {
  std::printf("seed %u index %d\n", kSeed, index);
  std::fflush(stdout);
  const std::string mutant = Mutant(base, version, index % kCasesPerBase);
  const auto start = std::chrono::steady_clock::now();
  bool opened = false;
  const std::string written = Exercise(mutant, &opened);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(elapsed, std::chrono::seconds(2)) << "index " << index;
  for (const std::string& damage : CheckContainer(written).damage) {
    EXPECT_EQ(damage.find("claimed twice"), std::string::npos) << "index " << index;
  }
  for (const RecordedBox& box : TakeRecordedBoxes()) {
    ADD_FAILURE() << "index " << index << ": " << box.caption << ": " << box.text;
  }
  return opened;
}

}  // namespace

TEST(VirtualCorpus, DamagedContainersFailPlainly) {
  const char* selected = std::getenv("KV_VIRTUAL_CORPUS");
  if (!selected) GTEST_SKIP() << "run by the corpus's own test entry";
  const std::string bases[] = {BaseVersion3(), BaseVersion1()};
  ASSERT_EQ(CheckContainer(bases[0]).damage.size(), 0u);
  ASSERT_EQ(CheckContainer(bases[1]).damage.size(), 0u) << DamageText(CheckContainer(bases[1]));
  const bool all = std::strcmp(selected, "all") == 0;
  const int only = all ? -1 : std::atoi(selected);
  int opened = 0;
  for (int index = 0; index < 2 * kCasesPerBase; ++index) {
    if (!all && index != only) continue;
    const int base = index / kCasesPerBase;
    opened += RunCase(bases[base], base == 0 ? 3 : 1, index);
  }
  // Most damage is found on the way, not at the door.
  if (all) {
    EXPECT_GT(opened, kCasesPerBase);
  }
}
