// Virtual volumes through the FolderItem class, as an application uses them:
// a volume made in a file, folders and files written and read back, moves,
// renames and deletes, and what the container file holds afterwards.
#include <string>

#include "VirtualVolumeTestSupport.h"
#include "host/RuntimeMain.h"
#include "testsupport/FakeFolderItemImp.h"
#include "testsupport/VirtualVolumeFixtures.h"

namespace {

class VirtualFolderItemTest : public FilesTest {
 protected:
  ObjectRef DiskItem(const std::wstring& name) {
    return Adopt(RuntimeGetFolderItem(PathString(name).get()));
  }
  ObjectRef NewVolume(const std::wstring& name) {
    return Adopt(CallMethod<RuntimeObject*>(DiskItem(name).get(), "CreateVirtualVolume"));
  }
  ObjectRef OpenVolume(const std::wstring& name) {
    return Adopt(CallMethod<RuntimeObject*>(DiskItem(name).get(), "OpenAsVirtualVolume"));
  }
  static ObjectRef Root(RuntimeObject* volume) {
    return Adopt(GetProperty<RuntimeObject*>(volume, "Root"));
  }
};

}  // namespace

TEST_F(VirtualFolderItemTest, AVolumeIsMadeWrittenClosedAndReadAgain) {
  ObjectRef volume = NewVolume(L"vol.dat");
  ASSERT_NE(volume.get(), nullptr);
  EXPECT_EQ(ReadWholeFile(PathOf(L"vol.dat")).size(), 1072u);
  {
    ObjectRef root = Root(volume.get());
    EXPECT_EQ(Take(GetProperty<StringRecord*>(root.get(), "AbsolutePath")).bytes, "/");
    EXPECT_EQ(Adopt(GetProperty<RuntimeObject*>(root.get(), "VirtualVolume")).get(),
              volume.get());
    ObjectRef folder = Child(root.get(), "A");
    EXPECT_FALSE(Exists(folder.get()));
    CallMethod(folder.get(), "CreateAsFolder");
    EXPECT_TRUE(Exists(folder.get()));
    EXPECT_TRUE(GetProperty<bool>(folder.get(), "Directory"));
    EXPECT_EQ(Take(GetProperty<StringRecord*>(folder.get(), "MacType")).bytes, "fold");
    EXPECT_EQ(GetProperty<int32_t>(root.get(), "Count"), 1);
    // A name cut inside a two-byte character keeps the whole characters.
    ObjectRef named = Child(root.get(), std::string(222, 'n') + "\xC3\xA9" + "x");
    CallMethod(named.get(), "CreateAsFolder");
    EXPECT_TRUE(Exists(named.get()));
    EXPECT_EQ(NameOf(named.get()), std::string(222, 'n'));
    ObjectRef file = Child(folder.get(), "ReadMe");
    ASSERT_TRUE(WriteNew(file.get(), "the contents"));
    EXPECT_FALSE(WriteNew(file.get(), "again")) << "an existing file";
    EXPECT_EQ(GetProperty<int32_t>(file.get(), "Length"), 12);
    EXPECT_EQ(Take(GetProperty<StringRecord*>(file.get(), "AbsolutePath")).bytes, "//A/ReadMe");
    EXPECT_EQ(ReadAll(Child(folder.get(), "readme").get()), "the contents");
    CallMethod(root.get(), "Delete");
    EXPECT_TRUE(Exists(root.get()));
  }
  // A second open of a volume open here is the same volume.
  ObjectRef again = OpenVolume(L"vol.dat");
  EXPECT_EQ(again.get(), volume.get());
  EXPECT_EQ(NewVolume(L"vol.dat").get(), nullptr) << "no volume made over an open one";
  volume = ObjectRef();
  again = ObjectRef();

  const std::string bytes = ReadWholeFile(PathOf(L"vol.dat"));
  const ContainerReport report = CheckContainer(bytes);
  EXPECT_TRUE(report.Clean()) << DamageText(report);
  EXPECT_TRUE(report.storedMapMatches);
  EXPECT_EQ(report.files.at("A/ReadMe"), "the contents");

  ObjectRef reopened = OpenVolume(L"vol.dat");
  ASSERT_NE(reopened.get(), nullptr);
  ObjectRef root = Root(reopened.get());
  ObjectRef first = Adopt(CallMethod<RuntimeObject*>(root.get(), "Item", int32_t(1)));
  EXPECT_EQ(NameOf(first.get()), "A");
  EXPECT_EQ(ReadAll(Child(first.get(), "README").get()), "the contents");
  EXPECT_EQ(ReadWholeFile(PathOf(L"vol.dat")), bytes) << "opening and reading write nothing";
}

TEST_F(VirtualFolderItemTest, FilesThatHoldNoVolumeAreRefusedUntouched) {
  WriteWholeFile(PathOf(L"text.txt"), "just some text\r\n");
  EXPECT_EQ(OpenVolume(L"text.txt").get(), nullptr);
  EXPECT_EQ(ReadWholeFile(PathOf(L"text.txt")), "just some text\r\n");
  ContainerBuilder v4(4);
  WriteWholeFile(PathOf(L"v4.dat"), v4.Bytes());
  EXPECT_EQ(OpenVolume(L"v4.dat").get(), nullptr);
  EXPECT_EQ(ReadWholeFile(PathOf(L"v4.dat")), v4.Bytes());

  WriteWholeFile(PathOf(L"locked.dat"), "keep");
  ObjectRef locked = DiskItem(L"locked.dat");
  SetProperty<uint8_t>(locked.get(), "Locked", 1);
  EXPECT_EQ(CallMethod<RuntimeObject*>(locked.get(), "CreateVirtualVolume"), nullptr);
  SetProperty<uint8_t>(locked.get(), "Locked", 0);
  EXPECT_EQ(ReadWholeFile(PathOf(L"locked.dat")), "keep");
  EXPECT_EQ(GetProperty<RuntimeObject*>(locked.get(), "VirtualVolume"), nullptr);
}

TEST_F(VirtualFolderItemTest, MovesRenamesAndDeletesKeepEveryFile) {
  {
    ObjectRef volume = NewVolume(L"vol.dat");
    ObjectRef root = Root(volume.get());
    ObjectRef docs = Child(root.get(), "docs");
    CallMethod(docs.get(), "CreateAsFolder");
    ObjectRef readMe = Child(docs.get(), "ReadMe");
    ASSERT_TRUE(WriteNew(readMe.get(), "read me"));
    ObjectRef other = Child(docs.get(), "Other");
    ASSERT_TRUE(WriteNew(other.get(), "other"));

    // A name another child answers to is refused, whatever its case.
    SetProperty<StringRecord*>(other.get(), "Name", S("readme").get());
    EXPECT_EQ(NameOf(other.get()), "Other");
    // Moving onto the same item under another case is a rename.
    CallMethod(readMe.get(), "MoveFileTo", Child(docs.get(), "README").get());
    EXPECT_EQ(ReadAll(Child(docs.get(), "readme").get()), "read me");
    ObjectRef listed = Adopt(CallMethod<RuntimeObject*>(docs.get(), "Item", int32_t(1)));
    EXPECT_EQ(NameOf(listed.get()), "README");

    // To a new name in another folder, and onto an existing file.
    ObjectRef archive = Child(root.get(), "archive");
    CallMethod(archive.get(), "CreateAsFolder");
    CallMethod(other.get(), "MoveFileTo", Child(archive.get(), "kept").get());
    EXPECT_FALSE(Exists(Child(docs.get(), "Other").get()));
    EXPECT_EQ(ReadAll(Child(archive.get(), "kept").get()), "other");
    ObjectRef readMeNow = Child(docs.get(), "README");
    CallMethod(readMeNow.get(), "MoveFileTo", Child(archive.get(), "KEPT").get());
    EXPECT_EQ(ReadAll(Child(archive.get(), "kept").get()), "read me");
    EXPECT_EQ(GetProperty<int32_t>(archive.get(), "Count"), 1);
    EXPECT_EQ(GetProperty<int32_t>(docs.get(), "Count"), 0);

    // Refused changes leave the container's bytes as they are.
    ObjectRef inner = Child(docs.get(), "inner");
    CallMethod(inner.get(), "CreateAsFolder");
    ObjectRef kept = Child(archive.get(), "kept");
    ObjectRef open = Adopt(CallMethod<RuntimeObject*>(kept.get(), "OpenAsBinaryFile", uint8_t(1)));
    const std::string before = ReadWholeFile(PathOf(L"vol.dat"));
    CallMethod(docs.get(), "MoveFileTo", inner.get());
    CallMethod(docs.get(), "Delete");
    CallMethod(root.get(), "Delete");
    CallMethod(kept.get(), "Delete");
    EXPECT_EQ(ReadWholeFile(PathOf(L"vol.dat")), before);
    EXPECT_TRUE(Exists(Child(docs.get(), "inner").get()));
    CallMethod(open.get(), "Close");
    CallMethod(kept.get(), "Delete");
    EXPECT_FALSE(Exists(kept.get()));
  }
  const ContainerReport report = CheckContainer(ReadWholeFile(PathOf(L"vol.dat")));
  EXPECT_TRUE(report.Clean()) << DamageText(report);
  EXPECT_EQ(report.leakedBlocks, 0);
  EXPECT_EQ(report.folders.at("docs"), std::vector<std::string>{"inner"});
  EXPECT_TRUE(report.folders.at("archive").empty());
}

// A stored name ends at its first zero byte: a name holding one would be
// stored as another name, beside or in place of the item of that name.
TEST_F(VirtualFolderItemTest, ANameHoldingANulNamesNoItem) {
  ObjectRef volume = NewVolume(L"vol.dat");
  ObjectRef root = Root(volume.get());
  ASSERT_TRUE(WriteNew(Child(root.get(), "a").get(), "first"));
  ASSERT_TRUE(WriteNew(Child(root.get(), "b").get(), "second"));
  const std::string withNul("a\0x", 3);
  EXPECT_FALSE(WriteNew(Child(root.get(), withNul).get(), "third"));
  CallMethod(Child(root.get(), withNul).get(), "CreateAsFolder");
  SetProperty<StringRecord*>(Child(root.get(), "b").get(), "Name", S(withNul).get());
  EXPECT_EQ(GetProperty<int32_t>(root.get(), "Count"), 2);
  EXPECT_EQ(ReadAll(Child(root.get(), "a").get()), "first");
  EXPECT_EQ(ReadAll(Child(root.get(), "b").get()), "second");
}

TEST_F(VirtualFolderItemTest, StreamsOnOneFileShareItsLengthAndAppendAfterEachOther) {
  ObjectRef volume = NewVolume(L"vol.dat");
  ObjectRef file = Child(Root(volume.get()).get(), "log");
  ASSERT_TRUE(WriteNew(file.get(), "abc"));
  ObjectRef first = Adopt(CallMethod<RuntimeObject*>(file.get(), "OpenAsBinaryFile", uint8_t(1)));
  SetProperty<int32_t>(first.get(), "Position", 3);
  CallMethod(first.get(), "Write", S("def").get());
  ObjectRef appender = Adopt(CallMethod<RuntimeObject*>(file.get(), "AppendToTextFile"));
  CallMethod(appender.get(), "Write", S("ghi").get());
  EXPECT_EQ(GetProperty<int32_t>(file.get(), "Length"), 9);
  ObjectRef reader = Adopt(CallMethod<RuntimeObject*>(file.get(), "OpenAsBinaryFile", uint8_t(0)));
  EXPECT_EQ(GetProperty<int32_t>(reader.get(), "Length"), 9);
  CallMethod(appender.get(), "Close");
  EXPECT_EQ(GetProperty<int32_t>(first.get(), "Length"), 9);
  CallMethod(first.get(), "Close");
  CallMethod(reader.get(), "Close");
  EXPECT_EQ(ReadAll(file.get()), "abcdefghi");
}

// The application ends with a volume open and a stream on it still holding
// what was written last (after the exit steps wrote the streams out).
TEST_F(VirtualFolderItemTest, AVolumeClosedAtTheEndKeepsWhatItsStreamsWroteLast) {
  InstallStreamWriteOutHooks();
  ObjectRef stream;
  {
    ObjectRef volume = NewVolume(L"vol.dat");
    stream = WriteOpen(Child(Root(volume.get()).get(), "log").get(), "the last line");
  }
  RunShutdownHooks();
  const ContainerReport report = CheckContainer(ReadWholeFile(PathOf(L"vol.dat")));
  EXPECT_TRUE(report.Clean()) << DamageText(report);
  EXPECT_EQ(report.files.at("log"), "the last line");
}

TEST_F(VirtualFolderItemTest, ACopyIntoAFolderLeavesASubfolderOfTheFilesNameAsItIs) {
  ObjectRef volume = NewVolume(L"vol.dat");
  ObjectRef root = Root(volume.get());
  ObjectRef file = Child(root.get(), "a.txt");
  ASSERT_TRUE(WriteNew(file.get(), "the file"));
  // In the volume and on disk, a folder holding a folder named as the file.
  ObjectRef inside = Child(root.get(), "out");
  CallMethod(inside.get(), "CreateAsFolder");
  CallMethod(Child(inside.get(), "a.txt").get(), "CreateAsFolder");
  ASSERT_TRUE(WriteNew(Child(Child(inside.get(), "a.txt").get(), "note").get(), "a note"));
  ASSERT_TRUE(CreateDirectoryW(PathOf(L"out").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(PathOf(L"out\\a.txt").c_str(), nullptr));
  WriteWholeFile(PathOf(L"out\\a.txt\\note"), "a note");
  ObjectRef outside = DiskItem(L"out");

  for (RuntimeObject* folder : {inside.get(), outside.get()}) {
    for (const char* method : {"CopyFileTo", "MoveFileTo"}) {
      SCOPED_TRACE(method);
      CallMethod(file.get(), method, folder);
      EXPECT_EQ(GetProperty<int32_t>(folder, "Count"), 1);
      ObjectRef same = Child(folder, "a.txt");
      EXPECT_TRUE(GetProperty<bool>(same.get(), "Directory"));
      EXPECT_EQ(ReadAll(Child(same.get(), "note").get()), "a note");
      EXPECT_EQ(ReadAll(file.get()), "the file");
    }
  }
}

TEST_F(VirtualFolderItemTest, AMoveOntoAFileCutAtAnyWriteKeepsTheFileUntilItIsReplaced) {
  Disk made;
  {
    std::unique_ptr<VHFS> volume = VHFS::CreateVolume(made.Make());
    const VHFSItemRef docs = volume->CreateFolder(volume->GetRootItem(), "docs");
    const VHFSItemRef archive = volume->CreateFolder(volume->GetRootItem(), "archive");
    ASSERT_TRUE(WriteFile(*volume, volume->CreateItem(docs, "moved", kVHFSUnknownType), "moved"));
    ASSERT_TRUE(WriteFile(*volume, volume->CreateItem(archive, "kept", kVHFSUnknownType), "kept"));
    ASSERT_TRUE(volume->Close());
  }
  bool replaced = false;
  for (int32_t cut = 0; !replaced; ++cut) {
    ASSERT_LT(cut, 100) << "the move is never made";
    SCOPED_TRACE("a cut after " + std::to_string(cut) + " writes");
    FakeFileTree tree;
    tree.AddFile("vol", made.Bytes()).streamFaults.writesLeft = cut;
    {
      ObjectRef container = Adopt(NewFolderItemWithImp(tree.Item("vol")));
      ObjectRef volume = Adopt(CallMethod<RuntimeObject*>(container.get(), "OpenAsVirtualVolume"));
      ObjectRef root = Root(volume.get());
      ObjectRef moved = Child(Child(root.get(), "docs").get(), "moved");
      CallMethod(moved.get(), "MoveFileTo", Child(Child(root.get(), "archive").get(), "KEPT").get());
    }
    // Read as the volume holds it once opened again.
    std::unique_ptr<VHFS> volume = VHFS::OpenVolume(StreamOf(tree.Find("vol")->bytes));
    ASSERT_NE(volume, nullptr);
    const VHFSItemRef docs = volume->FindChild(volume->GetRootItem(), "docs");
    const VHFSItemRef archive = volume->FindChild(volume->GetRootItem(), "archive");
    const std::string named = ReadFile(*volume, volume->FindChild(archive, "kept"));
    replaced = named == "moved";
    if (replaced) {
      EXPECT_EQ(volume->FindChild(docs, "moved").type, 0u);
      continue;
    }
    EXPECT_EQ(named, "kept") << "the name answers to the file it held";
    // Nothing is lost: the moved file is in its folder, or still listed
    // behind the file it did not replace.
    std::multiset<std::string> contents;
    for (const VHFSItemRef& folder : {docs, archive}) {
      std::vector<VHFSItemRef> children;
      volume->ListFolder(folder, &children);
      for (const VHFSItemRef& child : children) contents.insert(ReadFile(*volume, child));
    }
    EXPECT_EQ(contents.count("moved"), 1u);
  }
}
