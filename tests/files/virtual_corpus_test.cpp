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
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "VirtualVolumeTestSupport.h"
#include "core/diagnostics.h"
#include "testsupport/VirtualVolumeFixtures.h"

namespace {

constexpr uint32_t kSeed = 29;
constexpr int kCasesPerBase = 600;
constexpr uint32_t kText = 0x54455854;

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
  const std::string mutant = MutateContainer(base, version, kSeed, index % kCasesPerBase);
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
