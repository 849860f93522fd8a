// The virtual-volume container and its folder tree on in-memory streams:
// the exact bytes of a new container, blocks, reuse, refused and damaged
// containers, the number of transfers, and cuts at every write.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "VirtualVolumeTestSupport.h"
#include "files/BinaryStream.h"
#include "files/VFSCore.h"
#include "files/VHFS.h"
#include "testsupport/VirtualVolumeFixtures.h"

namespace {

constexpr uint32_t kFold = 0x666F6C64;
constexpr uint32_t kText = 0x54455854;  // "TEXT"

}  // namespace

TEST(VirtualContainerTest, ANewContainerIsItsStartAndMetadataBlock) {
  Disk disk;
  std::unique_ptr<VFSCore> core = VFSCore::CreateContainer(disk.Make("old contents"));
  ASSERT_NE(core, nullptr);
  const std::string expected = std::string("VFSv\0\0\0\3BlkS\0\0\0\1\0\0\0\0", 20) +
                               std::string("\x40\x44\0\0\0\0\0\0", 8) + std::string(8, '\0') +
                               std::string("\0\0\0\2\0\0\0\0BlkE", 12);
  EXPECT_EQ(disk.Bytes(), expected);
  EXPECT_EQ(core->CreateVFSFile(), 2u);
  EXPECT_EQ(core->CreateVFSFile(), 3u);
  EXPECT_EQ(disk.Bytes().size(), 48u + 2 * 1024);
  ASSERT_TRUE(core->Close());
  const ContainerReport report = CheckContainer(disk.Bytes());
  EXPECT_TRUE(report.storedMapMatches);
  EXPECT_EQ(report.leakedBlocks, 1);  // file 3: no folder lists it

  std::unique_ptr<VFSCore> reopened = VFSCore::OpenContainer(StreamOf(disk.Bytes()));
  ASSERT_NE(reopened, nullptr);
  EXPECT_FALSE(reopened->RebuiltMap());
  EXPECT_EQ(reopened->CreateVFSFile(), 4u);
}

TEST(VirtualContainerTest, FilesGrowByLinkedBlocksAndSeekStopsAtTheirEnd) {
  Disk disk;
  std::unique_ptr<VFSCore> core = VFSCore::CreateContainer(disk.Make());
  const uint32_t id = core->CreateVFSFile();
  const int32_t ref = core->OpenFile(id);
  const std::string data = Pattern(2000);
  ASSERT_TRUE(core->WriteData(ref, data.data(), 2000));
  std::vector<BlockMapEntry> blocks;
  for (const BlockMapEntry& entry : core->Map().Entries()) {
    if (entry.fileId == id) blocks.push_back(entry);
  }
  ASSERT_EQ(blocks.size(), 3u);
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(blocks[i].sequence, i);
    EXPECT_EQ(blocks[i].offset, 48 + 1024 * i);
  }
  EXPECT_TRUE(core->Seek(ref, 3 * 992));
  EXPECT_FALSE(core->Seek(ref, 3 * 992 + 1));
  ASSERT_TRUE(core->Seek(ref, 0));
  std::string back(2000, '\0');
  uint32_t got = 0;
  EXPECT_TRUE(core->ReadData(ref, &back[0], 2000, &got));
  EXPECT_EQ(back, data);
  EXPECT_FALSE(core->DeleteVFSFile(id)) << "an open file is kept";
  core->CloseFile(ref);
  EXPECT_TRUE(core->DeleteVFSFile(id));
  EXPECT_EQ(core->Map().FreeCount(), 3u);
}

TEST(VirtualContainerTest, AReadThatFailsOnceCutsNoFileShort) {
  Disk disk;
  uint32_t id = 0;
  const std::string data = Pattern(3000);
  {
    std::unique_ptr<VFSCore> core = VFSCore::CreateContainer(disk.Make());
    id = core->CreateVFSFile();
    const int32_t ref = core->OpenFile(id);
    ASSERT_TRUE(core->WriteData(ref, data.data(), 3000));
    core->CloseFile(ref);
    ASSERT_TRUE(core->Close());
  }
  std::unique_ptr<VFSCore> core = VFSCore::OpenContainer(disk.Make(disk.kept));
  const int32_t ref = core->OpenFile(id);
  // The disk fails to read the file's second block, then reads again.
  disk.stream->faults.read = MemoryFileStream::ReadFault::kFails;
  disk.stream->faults.readFaultFrom = 48 + 1024;
  ASSERT_FALSE(core->Seek(ref, 2500));
  disk.stream->faults.read = MemoryFileStream::ReadFault::kNone;
  EXPECT_TRUE(core->Seek(ref, 2500));
  // Rewriting the start goes on over the file's own blocks.
  const std::string start(2000, 'x');
  ASSERT_TRUE(core->Seek(ref, 0));
  ASSERT_TRUE(core->WriteData(ref, start.data(), 2000));
  ASSERT_TRUE(core->Seek(ref, 0));
  std::string back(3000, '\0');
  uint32_t got = 0;
  EXPECT_TRUE(core->ReadData(ref, &back[0], 3000, &got));
  EXPECT_EQ(back, start + data.substr(2000));
}

TEST(VirtualContainerTest, AMapRebuiltPastAReadThatFailedLeavesTheBlocksItCouldNotSee) {
  Disk disk;
  const std::vector<std::string> contents = {"first", "second", "third"};
  std::vector<uint32_t> ids;
  {
    std::unique_ptr<VFSCore> core = VFSCore::CreateContainer(disk.Make());
    for (const std::string& data : contents) ids.push_back(core->CreateVFSFile(data.data(), 6));
    ASSERT_TRUE(core->Close());
  }
  // Left without its map, as by a process that ended; the disk then fails
  // to read the third file's block while the map is rebuilt.
  std::string bytes = disk.kept;
  bytes.replace(40, 4, std::string(4, '\0'));
  FileStreamPtr failing = disk.Make(bytes);
  disk.stream->faults.read = MemoryFileStream::ReadFault::kFails;
  disk.stream->faults.readFaultFrom = 48 + 2 * 1024;
  std::unique_ptr<VFSCore> core = VFSCore::OpenContainer(std::move(failing));
  ASSERT_NE(core, nullptr);
  disk.stream->faults.read = MemoryFileStream::ReadFault::kNone;
  ASSERT_NE(core->CreateVFSFile("fourth", 7), 0u);
  ASSERT_TRUE(core->Close());

  core = VFSCore::OpenContainer(disk.Make(disk.kept));
  for (size_t i = 0; i < ids.size(); ++i) {
    const int32_t ref = core->OpenFile(ids[i]);
    std::string data(contents[i].size(), '\0');
    uint32_t got = 0;
    EXPECT_TRUE(core->ReadData(ref, &data[0], uint32_t(data.size()), &got));
    EXPECT_EQ(data, contents[i]);
    core->CloseFile(ref);
  }
}

TEST(VirtualContainerTest, AFolderWhoseChildCouldNotBeReadIsNotDeleted) {
  Disk disk;
  {
    std::unique_ptr<VHFS> volume = VHFS::CreateVolume(disk.Make());
    const VHFSItemRef folder = volume->CreateFolder(volume->GetRootItem(), "F");
    ASSERT_TRUE(WriteFile(*volume, volume->CreateItem(folder, "X", kText), "kept"));
    ASSERT_TRUE(volume->Close());
  }
  // The disk fails to read the file's block (the third after the root's).
  FileStreamPtr failing = disk.Make(disk.kept);
  std::unique_ptr<VHFS> volume = VHFS::OpenVolume(std::move(failing));
  ASSERT_NE(volume, nullptr);
  disk.stream->faults.read = MemoryFileStream::ReadFault::kFails;
  disk.stream->faults.readFaultFrom = 48 + 2 * 1024;
  VHFSItemRef folder = volume->FindChild(volume->GetRootItem(), "F");
  ASSERT_TRUE(folder.IsFolder());
  EXPECT_FALSE(volume->DeleteItem(folder));
  disk.stream->faults.read = MemoryFileStream::ReadFault::kNone;
  folder = volume->FindChild(volume->GetRootItem(), "F");
  EXPECT_EQ(ReadFile(*volume, volume->FindChild(folder, "X")), "kept");
}

TEST(VirtualContainerTest, FreedBlocksAreReusedOnlyWithinTheLimits) {
  struct Case {
    double length;
    bool reused;
  };
  for (const Case& c : {Case{256, true}, Case{16384, true}, Case{200, false}, Case{20000, false}}) {
    ContainerBuilder builder(3, 3);
    builder.AddBlock(2, 0, 1024, 0);
    const uint32_t freed = builder.AddBlock(0, 0, c.length, 0, Pattern(64));
    std::unique_ptr<VFSCore> core = VFSCore::OpenContainer(StreamOf(builder.Bytes()));
    ASSERT_NE(core, nullptr);
    const uint32_t id = core->CreateVFSFile("x", 1);
    ASSERT_EQ(id, 3u);
    uint32_t first = 0;
    for (const BlockMapEntry& entry : core->Map().Entries()) {
      if (entry.fileId == id) first = entry.offset;
    }
    EXPECT_EQ(first == freed, c.reused) << c.length;
    // A reused block reads zeros after what was written.
    const int32_t ref = core->OpenFile(id);
    std::string back(8, '\1');
    uint32_t got = 0;
    EXPECT_TRUE(core->ReadData(ref, &back[0], 8, &got));
    EXPECT_EQ(back, std::string("x\0\0\0\0\0\0\0", 8));
  }
}

TEST(VirtualContainerTest, RefusedStartsLeaveTheBytesAndOldVersionsRead) {
  ContainerBuilder v4(4);
  ContainerBuilder noRoot(3, 3);
  noRoot.AddBlock(2, 0, 1024, 0, noRoot.Item(4, 0, 0, "/"));  // type 0: no item
  // A metadata block too short for the map's length, whose place its
  // trailer takes.
  ContainerBuilder rooted(3, 3);
  rooted.AddBlock(2, 0, 1024, 0, rooted.Item(4, kFold, 0, "/", rooted.FolderData({}, 0)));
  const std::string shortMetadata = "VFSv" + rooted.Value32(3) + "BlkS" + rooted.Value32(1) +
                                    rooted.Value32(0) + rooted.HeaderDouble(36) +
                                    rooted.HeaderDouble(0) + rooted.Value32(3) + "BlkE" +
                                    rooted.Bytes().substr(48);
  for (const std::string& bytes : {std::string("VFSx") + v4.Bytes().substr(4), v4.Bytes(),
                                   std::string("plain text\r\n"), noRoot.Bytes(), shortMetadata}) {
    Disk disk;
    EXPECT_EQ(VHFS::OpenVolume(disk.Make(bytes)), nullptr);
    EXPECT_EQ(disk.Bytes(), bytes) << "refused, and left as it was";
  }
  // Version 1: header doubles and item values in host order.
  for (uint32_t version : {1u, 2u, 3u}) {
    ContainerBuilder builder(version, 4);
    builder.AddBlock(2, 0, 1024, 0, builder.Item(8, kFold, 0, "/", builder.FolderData({3}, 1)));
    builder.AddBlock(3, 0, 300, 0, builder.Item(5, kText, 2, "ReadMe", "hello"));
    std::unique_ptr<VHFS> volume = VHFS::OpenVolume(StreamOf(builder.Bytes()));
    ASSERT_NE(volume, nullptr) << version;
    const VHFSItemRef file = volume->FindChild(volume->GetRootItem(), "README");
    EXPECT_EQ(file.type, kText);
    EXPECT_EQ(ReadFile(*volume, file), "hello") << version;
    EXPECT_TRUE(WriteFile(*volume, file, "longer than the block's data", 5));
    EXPECT_EQ(ReadFile(*volume, file), "hellolonger than the block's data");
  }
}

TEST(VirtualContainerTest, TheTreeKeepsItsRules) {
  Disk disk;
  std::unique_ptr<VHFS> volume = VHFS::CreateVolume(disk.Make());
  ASSERT_NE(volume, nullptr);
  EXPECT_EQ(disk.Bytes().size(), 1072u);
  const VHFSItemRef root = volume->GetRootItem();
  EXPECT_EQ(root.id, 2u);
  EXPECT_EQ(root.name, "/");
  EXPECT_EQ(volume->CreateItem(root, "x", 0).type, 0u);
  EXPECT_EQ(volume->CreateItem(root, "", kText).type, 0u);
  const VHFSItemRef a = volume->CreateItem(root, "a", kText);
  const VHFSItemRef b = volume->CreateFolder(root, "b");
  const VHFSItemRef c = volume->CreateItem(root, "c", kText);
  EXPECT_EQ(b.type, kFold);
  // The second of three removed: the last takes its place.
  ASSERT_TRUE(volume->DeleteItem(b));
  std::vector<VHFSItemRef> children;
  ASSERT_TRUE(volume->ListFolder(root, &children));
  ASSERT_EQ(children.size(), 2u);
  EXPECT_EQ(children[0].name, "a");
  EXPECT_EQ(children[1].name, "c");
  EXPECT_EQ(volume->GetItemInfo(root).dataLength, 16);

  // A name cut inside a two-byte character keeps the whole characters.
  const std::string longName = std::string(222, 'n') + "\xC3\xA9" + "tail";
  const VHFSItemRef cut = volume->CreateItem(root, longName, kText);
  EXPECT_EQ(cut.name, std::string(222, 'n'));

  // A folder moved into its own subtree is refused; into itself too.
  const VHFSItemRef outer = volume->CreateFolder(root, "outer");
  const VHFSItemRef inner = volume->CreateFolder(outer, "inner");
  EXPECT_FALSE(volume->MoveItem(outer, inner));
  EXPECT_FALSE(volume->MoveItem(outer, outer));
  EXPECT_TRUE(volume->MoveItem(a, outer));
  EXPECT_TRUE(volume->MoveItem(a, outer)) << "already there";
  EXPECT_EQ(volume->FindChild(outer, "A").id, a.id);
  EXPECT_EQ(volume->FindChild(root, "a").type, 0u);
  EXPECT_FALSE(volume->DeleteItem(outer)) << "a folder with children";
  EXPECT_FALSE(volume->DeleteItem(root));

  // A reader closed after a writer grew the file keeps the longer length.
  ASSERT_TRUE(WriteFile(*volume, c, Pattern(10)));
  std::unique_ptr<VHFSStream> reader = volume->OpenItemStream(c);
  std::unique_ptr<VHFSStream> writer = volume->OpenItemStream(c);
  EXPECT_EQ(reader->GetLength(), 10);
  EXPECT_FALSE(volume->DeleteItem(c)) << "open";
  ASSERT_TRUE(writer->SetPosition(5));
  ASSERT_TRUE(writer->Write(Pattern(95).data(), 95));
  EXPECT_TRUE(writer->Close());
  EXPECT_TRUE(reader->Close());
  EXPECT_EQ(volume->GetItemInfo(c).dataLength, 100);
  EXPECT_EQ(ReadFile(*volume, c), Pattern(10).substr(0, 5) + Pattern(95));

  ASSERT_TRUE(volume->Close());
  const ContainerReport report = CheckContainer(disk.Bytes());
  EXPECT_TRUE(report.Clean()) << DamageText(report);
  EXPECT_TRUE(report.storedMapMatches);
  EXPECT_EQ(report.leakedBlocks, 0);
  EXPECT_EQ(report.folders.at(""),
            (std::vector<std::string>{"outer", "c", std::string(222, 'n')}));
}

TEST(VirtualContainerTest, ExtendingAFileOverReusedBlocksReadsZeros) {
  Disk disk;
  std::unique_ptr<VHFS> volume = VHFS::CreateVolume(disk.Make());
  const VHFSItemRef root = volume->GetRootItem();
  const VHFSItemRef old = volume->CreateItem(root, "old", kText);
  ASSERT_TRUE(WriteFile(*volume, old, std::string(6000, '\x55')));
  ASSERT_TRUE(volume->DeleteItem(old));
  const VHFSItemRef fresh = volume->CreateItem(root, "new", kText);
  std::unique_ptr<VHFSStream> stream = volume->OpenItemStream(fresh);
  ASSERT_TRUE(stream->SetLength(5000));
  ASSERT_TRUE(stream->SetPosition(5500));
  ASSERT_TRUE(stream->Write("end", 3));
  ASSERT_TRUE(stream->Close());
  EXPECT_EQ(ReadFile(*volume, fresh), std::string(5500, '\0') + "end");
}

TEST(VirtualContainerTest, TransfersAreFewAndLarge) {
  Disk disk;
  std::unique_ptr<VHFS> volume = VHFS::CreateVolume(disk.Make());
  const VHFSItemRef file = volume->CreateItem(volume->GetRootItem(), "big", kText);
  const std::string data = Pattern(65536);
  std::unique_ptr<VHFSStream> stream = volume->OpenItemStream(file);
  int32_t writes = disk.stream->writeCalls;
  ASSERT_TRUE(stream->Write(data.data(), int32_t(data.size())));
  EXPECT_LE(disk.stream->writeCalls - writes, 3);
  writes = disk.stream->writeCalls;
  ASSERT_TRUE(stream->Write(data.data(), int32_t(data.size())));
  EXPECT_LE(disk.stream->writeCalls - writes, 3) << "an append";
  ASSERT_TRUE(stream->Close());
  ASSERT_TRUE(volume->Close());
  const std::string bytes = disk.Bytes();

  volume = VHFS::OpenVolume(disk.Make(bytes));
  const VHFSItemRef again = volume->FindChild(volume->GetRootItem(), "big");
  stream = volume->OpenItemStream(again);
  std::string back(65536, '\0');
  int32_t got = 0;
  const int32_t reads = disk.stream->readCalls;
  ASSERT_TRUE(stream->Read(&back[0], 65536, &got));
  EXPECT_EQ(back, data);
  EXPECT_LE(disk.stream->readCalls - reads, 2);
  stream->Close();

  // Values one at a time through a BinaryStream: a read per block at most.
  ObjectRef values = ObjectRef::Adopt(NewBinaryStream(volume->OpenItemStream(again)));
  const int32_t before = disk.stream->readCalls;
  int32_t sum = 0;
  for (int i = 0; i < 16384; ++i) sum += BinaryStreamReadLong(values.get()) & 1;
  EXPECT_LE(disk.stream->readCalls - before, 65536 / 992 + 1);
  EXPECT_GT(sum, 0);
}

namespace {

// A file cut short while being written: a length it had before or after,
// and each byte from before or after.
bool MixedData(const std::string& got, const std::string& before, const std::string& after) {
  if (got.size() != before.size() && got.size() != after.size()) return false;
  for (size_t i = 0; i < got.size(); ++i) {
    const bool old = i < before.size() && got[i] == before[i];
    const bool fresh = i < after.size() && got[i] == after[i];
    if (!old && !fresh) return false;
  }
  return true;
}

bool AsBeforeOrAfter(const TreeState& got, const TreeState& before, const TreeState& after) {
  if (got == before || got == after) return true;
  if (got.Paths() != before.Paths() && got.Paths() != after.Paths()) return false;
  for (const auto& file : got.files) {
    const auto old = before.files.find(file.first);
    const auto fresh = after.files.find(file.first);
    if (old == before.files.end() || fresh == after.files.end()) {
      if ((old == before.files.end() || old->second != file.second) &&
          (fresh == after.files.end() || fresh->second != file.second)) {
        return false;
      }
    } else if (!MixedData(file.second, old->second, fresh->second)) {
      return false;
    }
  }
  return true;
}

VHFSItemRef At(VHFS& volume, const std::vector<std::string>& path) {
  VHFSItemRef item = volume.GetRootItem();
  for (const std::string& name : path) item = volume.FindChild(item, name);
  return item;
}

bool Append(VHFS& volume, const VHFSItemRef& file, const std::string& data) {
  std::unique_ptr<VHFSStream> stream = volume.OpenItemStream(file);
  return stream && stream->SetPosition(stream->GetLength()) &&
         stream->Write(data.data(), int32_t(data.size())) && stream->Close();
}

// The session cut short: each step one change of the tree or one finished
// write of a file's data.
const std::vector<std::function<void(VHFS&)>>& Session() {
  static const std::vector<std::function<void(VHFS&)>> steps = {
      [](VHFS& v) { v.CreateFolder(v.GetRootItem(), "docs"); },
      [](VHFS& v) { v.CreateItem(At(v, {"docs"}), "a", kText); },
      [](VHFS& v) { WriteFile(v, At(v, {"docs", "a"}), Pattern(3000, 1)); },
      [](VHFS& v) { v.CreateItem(v.GetRootItem(), "b", kText); },
      [](VHFS& v) { WriteFile(v, At(v, {"b"}), Pattern(100, 2)); },
      [](VHFS& v) { Append(v, At(v, {"b"}), Pattern(2500, 3)); },
      [](VHFS& v) {
        VHFSItemRef b = At(v, {"b"});
        v.RenameItem(&b, "bee");
      },
      [](VHFS& v) { v.MoveItem(At(v, {"docs", "a"}), v.GetRootItem()); },
      [](VHFS& v) { v.DeleteItem(At(v, {"bee"})); },
      [](VHFS& v) { v.CreateItem(At(v, {"docs"}), "c", kText); },
      [](VHFS& v) { WriteFile(v, At(v, {"docs", "c"}), Pattern(5000, 4)); },
      [](VHFS& v) { WriteFile(v, At(v, {"docs", "c"}), Pattern(1000, 5), 100); },
      [](VHFS& v) { v.CreateFolder(At(v, {"docs"}), "sub"); },
      [](VHFS& v) { v.MoveItem(At(v, {"a"}), At(v, {"docs", "sub"})); },
      [](VHFS& v) { v.DeleteItem(At(v, {"docs", "c"})); },
      [](VHFS& v) { v.Close(); },
  };
  return steps;
}

}  // namespace

TEST(VirtualContainerTest, ACutAtAnyWriteLeavesTheLastGoodState) {
  Disk fresh;
  VHFS::CreateVolume(fresh.Make()).reset();
  const std::string start = fresh.Bytes();

  // The whole session: the state after each step and the writes it took.
  std::vector<TreeState> states;
  std::vector<int32_t> writesAfter;
  Disk whole;
  {
    std::unique_ptr<VHFS> volume = VHFS::OpenVolume(whole.Make(start));
    states.push_back(StateOf(*volume));
    for (const auto& step : Session()) {
      step(*volume);
      writesAfter.push_back(whole.Writes());
      if (volume->IsOpen()) states.push_back(StateOf(*volume));
    }
    states.push_back(states.back());  // the close changes no item
  }
  ASSERT_TRUE(CheckContainer(whole.Bytes()).Clean());
  ASSERT_GT(writesAfter.back(), 40);
  ASSERT_EQ(states.size(), Session().size() + 1);
  ASSERT_EQ(states.back().files.at("/docs/sub/a"), Pattern(3000, 1));

  for (int32_t cut = 0; cut < writesAfter.back(); ++cut) {
    for (int32_t stores : {-1, 3}) {
      SCOPED_TRACE("cut after " + std::to_string(cut) + " writes, the last storing " +
                   std::to_string(stores));
      Disk disk;
      std::unique_ptr<VHFS> volume = VHFS::OpenVolume(disk.Make(start));
      disk.stream->faults.writesLeft = stores < 0 ? cut : cut + 1;
      disk.stream->faults.lastWriteStores = stores;
      for (const auto& step : Session()) step(*volume);
      volume.reset();
      const std::string left = disk.Bytes();
      const ContainerReport report = CheckContainer(left);
      ASSERT_TRUE(report.Clean()) << DamageText(report);

      size_t step = 0;
      while (writesAfter[step] <= cut) ++step;
      volume = VHFS::OpenVolume(disk.Make(left));
      ASSERT_NE(volume, nullptr);
      ASSERT_TRUE(AsBeforeOrAfter(StateOf(*volume), states[step], states[step + 1]))
          << "during step " << step;
      // The volume goes on working where the cut left it.
      const VHFSItemRef later = volume->CreateItem(volume->GetRootItem(), "later", kText);
      ASSERT_TRUE(WriteFile(*volume, later, Pattern(2100, 6)));
      ASSERT_TRUE(volume->Close());
      const ContainerReport after = CheckContainer(disk.Bytes());
      ASSERT_TRUE(after.Clean()) << DamageText(after);
      ASSERT_EQ(after.files.at("later"), Pattern(2100, 6));
    }
  }
}

TEST(VirtualContainerTest, SmallWritesAreHeldWithinABlockAndSeenByEveryReader) {
  Disk disk;
  std::unique_ptr<VHFS> volume = VHFS::CreateVolume(disk.Make());
  const VHFSItemRef file = volume->CreateItem(volume->GetRootItem(), "values", kText);
  ASSERT_TRUE(WriteFile(*volume, file, std::string(65536, '\0')));
  std::unique_ptr<VHFSStream> writer = volume->OpenItemStream(file);
  writer->SetSwapBytes();
  const int32_t before = disk.Writes();
  for (int32_t i = 0; i < 16384; ++i) ASSERT_TRUE(ByteStreamWriteLong(*writer, i));
  EXPECT_LE(disk.Writes() - before, 65536 / 992 + 1);

  // Another stream reads what the writer holds; Flush puts it on disk.
  ASSERT_TRUE(writer->SetPosition(0));
  ASSERT_TRUE(ByteStreamWriteLong(*writer, 0x01020304));
  const std::string held = disk.Bytes();
  std::unique_ptr<VHFSStream> reader = volume->OpenItemStream(file);
  int32_t value = 0;
  reader->SetSwapBytes();
  ASSERT_TRUE(ByteStreamReadLong(*reader, &value));
  EXPECT_EQ(value, 0x01020304);
  writer->Flush();
  EXPECT_NE(disk.Bytes().find(std::string("\1\2\3\4\0\0\0\1", 8)), std::string::npos);
  EXPECT_EQ(held.find(std::string("\1\2\3\4\0\0\0\1", 8)), std::string::npos) << "held until now";
  reader.reset();
  writer.reset();
  ASSERT_TRUE(volume->Close());
  const ContainerReport report = CheckContainer(disk.Bytes());
  ASSERT_TRUE(report.Clean()) << DamageText(report);
  const std::string& data = report.files.at("values");
  EXPECT_EQ(data.substr(0, 8), std::string("\1\2\3\4\0\0\0\1", 8));
  EXPECT_EQ(data.substr(65532, 4), std::string("\0\0\x3F\xFF", 4));
}

TEST(VirtualContainerTest, FlushLeavesTheLengthOnDiskAndCloseReportsAHeldWriteThatFailed) {
  Disk disk;
  std::unique_ptr<VHFS> volume = VHFS::CreateVolume(disk.Make());
  const VHFSItemRef file = volume->CreateItem(volume->GetRootItem(), "log", kText);
  std::unique_ptr<VHFSStream> writer = volume->OpenItemStream(file);
  ASSERT_TRUE(writer->Write("first line", 10));
  writer->Flush();
  // A process ended now leaves what Flush wrote: the bytes and their length.
  const ContainerReport flushed = CheckContainer(disk.Bytes());
  EXPECT_EQ(flushed.files.at("log"), "first line");

  // A small write within the length is held; when it cannot be written at
  // Close, Close says so.
  ASSERT_TRUE(writer->SetPosition(0));
  ASSERT_TRUE(writer->Write("F", 1));
  disk.stream->faults.writeFails = true;
  EXPECT_FALSE(writer->Close());
  disk.stream->faults.writeFails = false;
  EXPECT_EQ(ReadFile(*volume, file), "first line");
}

TEST(VirtualContainerTest, AStaleMapNeverHandsOutABlockThatIsInUse) {
  // The stored map was written before C took block X; the process then died.
  ContainerBuilder builder(3, 4);
  builder.AddBlock(2, 0, 1024, 0, builder.Item(8, kFold, 0, "/", builder.FolderData({3}, 1)));
  const uint32_t x = builder.AddBlock(3, 0, 1024, 0, builder.Item(5, kText, 2, "C", "ccccc"));
  const uint32_t mapBlock = builder.AddBlock(1, 1, 1024, 0);
  std::string map = std::string("BMap") + builder.Value32(4);
  const uint32_t entries[4][3] = {{8, 1, 0}, {48, 2, 0}, {x, 0, 0}, {mapBlock, 1, 1}};
  for (const auto& entry : entries) {
    for (uint32_t field : entry) map += builder.Value32(field);
  }
  builder.Patch(8 + 20, builder.HeaderDouble(mapBlock));
  builder.Patch(mapBlock + 28, map);
  builder.Patch(40, builder.Value32(uint32_t(map.size())));

  Disk disk;
  std::unique_ptr<VHFS> volume = VHFS::OpenVolume(disk.Make(builder.Bytes()));
  ASSERT_NE(volume, nullptr);
  const VHFSItemRef d = volume->CreateItem(volume->GetRootItem(), "D", kText);
  ASSERT_TRUE(WriteFile(*volume, d, "ddddd"));
  EXPECT_EQ(ReadFile(*volume, volume->FindChild(volume->GetRootItem(), "c")), "ccccc");
  ASSERT_TRUE(volume->Close());
  const ContainerReport report = CheckContainer(disk.Bytes());
  ASSERT_TRUE(report.Clean()) << DamageText(report);
  EXPECT_EQ(report.files.at("C"), "ccccc");
  EXPECT_EQ(report.files.at("D"), "ddddd");
  EXPECT_TRUE(report.storedMapMatches);
}

TEST(VirtualContainerTest, OpenReferencesRunOutOnlyWhenAllAreInUse) {
  Disk disk;
  std::unique_ptr<VFSCore> core = VFSCore::CreateContainer(disk.Make());
  const uint32_t id = core->CreateVFSFile();
  std::vector<int32_t> refs;
  for (int32_t i = 0; i < VFSCore::kMaxOpenFiles; ++i) refs.push_back(core->OpenFile(id));
  EXPECT_EQ(refs.back(), VFSCore::kMaxOpenFiles - 1);
  EXPECT_EQ(core->OpenFile(id), -1);
  core->CloseFile(refs[5]);
  EXPECT_EQ(core->OpenFile(id), 5);
  for (int32_t ref : refs) core->CloseFile(ref);
  EXPECT_TRUE(core->DeleteVFSFile(id));
}

TEST(VirtualContainerTest, ABrokenChainStopsWhereItBreaksAndIsRecorded) {
  struct Case {
    const char* what;
    double next;  // of the file's first block
  };
  ContainerBuilder base(3, 4);
  base.AddBlock(2, 0, 1024, 0, base.Item(8, kFold, 0, "/", base.FolderData({3}, 1)));
  // The file says it is longer than a stream's buffer; a free block makes
  // the container long enough for that.
  const uint32_t first = base.AddBlock(3, 0, 1024, 0, base.Item(70000, kText, 2, "f", Pattern(2000)));
  const uint32_t second = base.AddBlock(3, 2, 1024, 0, Pattern(2000).substr(992 - 256));
  base.AddBlock(0, 0, 80000, 0);
  for (const Case& c : {Case{"to itself", double(first)}, Case{"to a wrong sequence", double(second)},
                        Case{"past the end", double(second + 1024)}, Case{"NaN", NAN}}) {
    ContainerBuilder builder = base;
    builder.Patch(first + 20, builder.HeaderDouble(c.next));
    std::unique_ptr<VHFS> volume = VHFS::OpenVolume(StreamOf(builder.Bytes()));
    ASSERT_NE(volume, nullptr) << c.what;
    const VHFSItemRef file = volume->FindChild(volume->GetRootItem(), "f");
    std::unique_ptr<VHFSStream> stream = volume->OpenItemStream(file);
    std::string data(2000, '\0');
    int32_t got = 0;
    if (stream) {
      EXPECT_FALSE(stream->Read(&data[0], 2000, &got)) << c.what;
      EXPECT_EQ(got, 992 - 256) << c.what << ": what precedes the break is kept";
      EXPECT_EQ(data.substr(0, size_t(got)), Pattern(2000).substr(0, size_t(got)));
      // The language's stream, read ahead through its buffer, gives them too.
      ObjectRef binary = ObjectRef::Adopt(NewBinaryStream(volume->OpenItemStream(file)));
      EXPECT_EQ(Take(BinaryStreamRead(binary.get(), 2000, nullptr)).bytes,
                Pattern(2000).substr(0, 992 - 256)) << c.what;
      EXPECT_EQ(BinaryStreamGetPosition(binary.get(), 0), 992 - 256);
      EXPECT_TRUE(Take(BinaryStreamRead(binary.get(), 4, nullptr)).nil);
      // And so does a read larger than the buffer, which bypasses it.
      binary = ObjectRef::Adopt(NewBinaryStream(volume->OpenItemStream(file)));
      EXPECT_EQ(Take(BinaryStreamRead(binary.get(), 70000, nullptr)).bytes,
                Pattern(2000).substr(0, 992 - 256)) << c.what;
    }
    EXPECT_NE(volume->Core().Damage().kind, VFSDamageKind::kNone) << c.what;
  }
}

TEST(VirtualContainerTest, BlocksLinkOnlyThroughExactWholeValues) {
  struct Case {
    const char* what;
    int block;        // whose field is changed: 0 or 1
    uint32_t field;   // 12: length, 20: next offset
    double shift;     // added to the stored value (NAN: -0.0 stored)
    int32_t expected;  // bytes read before the chain ends; -1: the item does not open
  };
  for (const uint32_t version : {1u, 3u}) {
    ContainerBuilder base(version, 4);
    base.AddBlock(2, 0, 1024, 0, base.Item(8, kFold, 0, "/", base.FolderData({3}, 1)));
    const uint32_t first = base.End();
    const std::string data = Pattern(2500);
    base.AddBlock(3, 0, 1024, first + 1024, base.Item(2500, kText, 2, "f", data));
    base.AddBlock(3, 1, 1024, first + 2048, data.substr(736));
    base.AddBlock(3, 2, 1024, 0, data.substr(736 + 992));
    for (const Case& c : {Case{"as written", 0, 20, 0, 2500},
                          Case{"half past the next block", 1, 20, 0.5, 736},
                          Case{"a hair before the next block", 1, 20, -1.0 / (1 << 30), 736},
                          Case{"next as minus zero", 0, 20, NAN, 736},
                          Case{"length not whole", 1, 12, 1.0 / (1 << 20), 736},
                          Case{"first length not whole", 0, 12, 1.0 / (1 << 20), -1}}) {
      ContainerBuilder builder = base;
      const uint32_t at = first + 1024 * uint32_t(c.block);
      const double stored = c.field == 12 ? 1024.0 : double(at + 1024);
      builder.Patch(at + c.field, builder.HeaderDouble(std::isnan(c.shift) ? -0.0 : stored + c.shift));
      std::unique_ptr<VHFS> volume = VHFS::OpenVolume(StreamOf(builder.Bytes()));
      ASSERT_NE(volume, nullptr) << c.what;
      std::unique_ptr<VHFSStream> stream =
          volume->OpenItemStream(volume->FindChild(volume->GetRootItem(), "f"));
      EXPECT_EQ(stream == nullptr, c.expected < 0) << c.what << version;
      if (!stream) continue;
      std::string back(2500, '\0');
      int32_t got = 0;
      EXPECT_EQ(stream->Read(&back[0], 2500, &got), c.expected == 2500) << c.what << version;
      EXPECT_EQ(got, c.expected) << c.what << version;
      EXPECT_EQ(back.substr(0, size_t(got)), data.substr(0, size_t(got))) << c.what << version;
    }
  }
}

namespace {

// A disk whose write of the given number (counted from 0) fails, storing
// nothing, while those before and after it go through.
class OneWriteFails : public Disk::Stream {
 public:
  OneWriteFails(const std::string& bytes, Disk* disk, int32_t failing)
      : Disk::Stream(bytes, disk), failing_(failing) {}
  bool Write(const void* buffer, int32_t count) override {
    if (writeCalls != failing_) return Disk::Stream::Write(buffer, count);
    ++writeCalls;
    return false;
  }

 private:
  int32_t failing_;
};

struct Placement {
  const char* what;
  const char* folder;
  const char* name;
  bool replaces;
};

bool Place(VHFS& volume, const Placement& placement) {
  VHFSItemRef item = At(volume, {"docs", "moved"});
  const VHFSItemRef folder = At(volume, {placement.folder});
  return volume.PlaceItem(&item, folder, placement.name, volume.FindChild(folder, placement.name));
}

}  // namespace

TEST(VirtualContainerTest, AMoveOntoAFileReplacesItOnlyWhenMadeWhicheverWriteFails) {
  Disk fresh;
  {
    std::unique_ptr<VHFS> volume = VHFS::CreateVolume(fresh.Make());
    const VHFSItemRef docs = volume->CreateFolder(volume->GetRootItem(), "docs");
    const VHFSItemRef archive = volume->CreateFolder(volume->GetRootItem(), "archive");
    ASSERT_TRUE(WriteFile(*volume, volume->CreateItem(docs, "moved", kText), Pattern(3000, 1)));
    ASSERT_TRUE(WriteFile(*volume, volume->CreateItem(docs, "sibling", kText), Pattern(200, 2)));
    ASSERT_TRUE(WriteFile(*volume, volume->CreateItem(archive, "kept", kText), Pattern(2000, 3)));
    ASSERT_TRUE(volume->Close());
  }
  const std::string start = fresh.Bytes();
  const Placement placements[] = {{"onto a file of another folder", "archive", "KEPT", true},
                                  {"onto a file of its own folder", "docs", "sibling", true},
                                  {"to a new name in another folder", "archive", "new", false}};
  for (const Placement& placement : placements) {
    Disk whole;
    std::unique_ptr<VHFS> volume = VHFS::OpenVolume(whole.Make(start));
    const TreeState before = StateOf(*volume);
    ASSERT_TRUE(Place(*volume, placement)) << placement.what;
    const int32_t writes = whole.Writes();
    const TreeState after = StateOf(*volume);
    ASSERT_EQ(after.files.size(), before.files.size() - (placement.replaces ? 1 : 0));
    volume.reset();

    for (int32_t failing = 0; failing < writes; ++failing) {
      SCOPED_TRACE(std::string(placement.what) + ", write " + std::to_string(failing) + " of " +
                   std::to_string(writes) + " failing");
      Disk disk;
      auto stream = std::make_unique<OneWriteFails>(start, &disk, failing);
      disk.stream = stream.get();
      volume = VHFS::OpenVolume(std::move(stream));
      const bool made = Place(*volume, placement);
      if (failing == 0) EXPECT_FALSE(made) << "its first write failed";
      EXPECT_TRUE(StateOf(*volume) == (made ? after : before)) << (made ? "made" : "refused");
      ASSERT_TRUE(volume->Close());
      const ContainerReport report = CheckContainer(disk.Bytes());
      ASSERT_TRUE(report.Clean()) << DamageText(report);
      volume = VHFS::OpenVolume(StreamOf(disk.Bytes()));
      EXPECT_TRUE(StateOf(*volume) == (made ? after : before)) << "read again";
    }
  }
}
