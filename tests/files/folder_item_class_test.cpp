// The FolderItem class: forwarding and failures on the in-memory fake, paths,
// shortcuts, locking and streams on real files, and the application's
// document events.
#include <functional>
#include <vector>

#include "FilesTestSupport.h"
#include "core/RuntimeExceptionFoundation.h"
#include "files/BinaryStream.h"
#include "files/ResourceFork.h"
#include "files/TextStreams.h"
#include "files/runFolderItem.h"
#include "host/RuntimeMain.h"
#include "host/application.h"
#include "testsupport/ClassBuilder.h"
#include "testsupport/FakeFolderItemImp.h"

namespace {

ObjectRef Adopt(RuntimeObject* object) { return ObjectRef::Adopt(object); }
StringRef S(const std::string& utf8) { return StringRef::Adopt(StringFromUTF8(utf8)); }

std::string PathText(RuntimeObject* item) {
  return Take(GetProperty<StringRecord*>(item, "AbsolutePath")).bytes;
}

bool TookNilObjectException() {
  ObjectRef exception = Adopt(RuntimeTakePendingException());
  return ObjectIsADefinition(exception.get(), GetNilObjectExceptionClassDefinition());
}

RuntimeObject* Call(RuntimeObject* item, const char* method) {
  return CallMethod<RuntimeObject*>(item, method);
}

class FolderItemClassTest : public FilesTest {
 protected:
  ObjectRef ItemOf(const std::wstring& name) {
    return Adopt(RuntimeGetFolderItem(PathString(name).get()));
  }
};

}  // namespace

TEST_F(FolderItemClassTest, TheTablesAndTheItemsOfAFolder) {
  RuntimeClass* found = RuntimeLookupClass("FolderItem");
  ASSERT_NE(found, nullptr);
  std::string properties, methods;
  for (auto* p = found->definition->properties; p; p = p->next) {
    properties += p->record->name + std::string(" ");
  }
  for (auto* m = found->definition->methods; m; m = m->next) {
    methods += m->record->name + std::string(" ");
  }
  EXPECT_EQ(properties,
            "AbsolutePath Count Name DisplayName Length ResourceForkLength ExtensionVisible Locked "
            "Exists Alias Visible Directory Type Parent CreationDate ModificationDate MacType "
            "MacCreator DesktopFolder TrashFolder SharedTrashFolder TemporaryFolder VirtualVolume "
            "IsReadable IsWriteable LastErrorCode MacVRefNum MacDirID ");
  EXPECT_EQ(methods,
            "Constructor Constructor Constructor Item TrueItem Child TrueChild OpenAsTextFile "
            "AppendToTextFile CreateTextFile CreateVirtualVolume OpenAsVirtualVolume "
            "OpenAsBinaryFile CreateBinaryFile OpenResourceFork CreateResourceFork OpenAsPicture "
            "OpenAsVectorPicture OpenAsSound OpenAsMovie OpenResourceMovie Delete CreateAsFolder "
            "Launch CopyFileTo MoveFileTo SaveAsPicture SaveAsJPEG OpenStyledEditField "
            "SaveStyledEditField GetSaveInfo GetRelative ");

  FakeFileTree tree;
  tree.AddFolder("d");
  tree.AddFile("d/a.txt");
  ObjectRef folder = Adopt(NewFolderItemWithImp(tree.Item("d")));
  ObjectRef first = Adopt(CallMethod<RuntimeObject*>(folder.get(), "Item", int32_t(1)));
  Adopt(CallMethod<RuntimeObject*>(folder.get(), "TrueItem", int32_t(1)));
  EXPECT_EQ(Adopt(CallMethod<RuntimeObject*>(folder.get(), "Item", int32_t(0))).get(), nullptr);
  Adopt(CallMethod<RuntimeObject*>(folder.get(), "Child", S("x").get()));
  EXPECT_EQ(PathText(first.get()), "d/a.txt");
  std::vector<std::string> asked;
  for (const auto& call : tree.calls) {
    if (call.operation == "GetItemAt" || call.operation == "GetChildNamed") {
      asked.push_back(std::to_string(call.index) + " " + std::to_string(call.options) + call.name);
    }
  }
  EXPECT_EQ(asked, (std::vector<std::string>{"0 64", "0 0", "-1 64", "-1 64x"}));

  ClassBuilder subclass(GetFolderItemClassDefinition(), "MyFolderItem");
  ObjectRef mine = Adopt(subclass.NewInstance());
  ObjectFields<FolderItemObject>(mine.get())->mImp = tree.Item("d").release();
  ObjectRef child = Adopt(CallMethod<RuntimeObject*>(mine.get(), "Item", int32_t(1)));
  EXPECT_EQ(ObjectClassOf(child.get()), subclass.Class());
}

TEST_F(FolderItemClassTest, CopiesHoldTheirOwnPathAndNilObjectsAreReported) {
  WriteWholeFile(PathOf(L"a.txt"), "a");
  ObjectRef source = ItemOf(L"a.txt");
  ObjectRef copy = Adopt(CreateInstance(GetFolderItemClassDefinition()));
  ObjectRef empty = Adopt(CreateInstance(GetFolderItemClassDefinition()));
  // The constructor that takes a Source.
  using CopyConstructor = void (*)(RuntimeObject*, RuntimeObject*);
  CopyConstructor construct = nullptr;
  for (auto* m = GetFolderItemClassDefinition()->methods; m; m = m->next) {
    if (std::string(m->record->name) == "Constructor" && m->record->parameterCount == 1 &&
        m->record->parameters[0].type == GetFolderItemClassDefinition()) {
      construct = reinterpret_cast<CopyConstructor>(m->record->function);
    }
  }
  ASSERT_NE(construct, nullptr);
  construct(copy.get(), source.get());
  SetProperty<StringRecord*>(source.get(), "Name", S("b.txt").get());
  EXPECT_EQ(PathText(source.get()), Utf8Of(PathOf(L"b.txt")));
  EXPECT_EQ(PathText(copy.get()), Utf8Of(PathOf(L"a.txt")));

  const std::function<void()> nilCases[] = {
      [&] { construct(copy.get(), nullptr); },
      [&] { construct(copy.get(), empty.get()); },
      [&] { CallMethod(source.get(), "CopyFileTo", static_cast<RuntimeObject*>(nullptr)); },
      [&] { CallMethod(source.get(), "SaveAsJPEG", static_cast<RuntimeObject*>(nullptr)); },
      [&] { SetProperty<int32_t>(empty.get(), "LastErrorCode", 5); },
  };
  for (size_t i = 0; i < std::size(nilCases); ++i) {
    nilCases[i]();
    EXPECT_TRUE(TookNilObjectException()) << i;
  }
  // Visible alone does nothing on an empty item; Delete reports it.
  SetProperty<uint8_t>(empty.get(), "Visible", 0);
  CallMethod(empty.get(), "Delete");
  const std::vector<std::string> boxes = RuntimeTestEnvironment::TakeRecordedTexts();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("entry->mImp"), std::string::npos) << boxes[0];
  EXPECT_NE(boxes[0].find("runFolderItem"), std::string::npos) << boxes[0];
}

TEST_F(FolderItemClassTest, PathsTheSystemWouldNotTakeGiveNilAndShortcutsTheirTarget) {
  for (const std::string& name : {std::string("a\0b.txt", 7), std::string("a<b.txt"),
                                  std::string("nul.txt")}) {
    StringRef path = S(Utf8Of(Folder()) + "\\" + name);
    EXPECT_EQ(Adopt(RuntimeGetFolderItem(path.get())).get(), nullptr) << name;
  }
  ObjectRef missing = ItemOf(L"missing.txt");
  ASSERT_TRUE(missing);
  EXPECT_FALSE(GetProperty<bool>(missing.get(), "Exists"));

  WriteWholeFile(PathOf(L"t.txt"), "t");
  MakeShortcut(PathOf(L"t.lnk"), PathOf(L"t.txt"));
  EXPECT_EQ(PathText(ItemOf(L"t.lnk").get()), Utf8Of(PathOf(L"t.txt")));
  ObjectRef link = Adopt(RuntimeGetTrueFolderItem(PathString(L"t.lnk").get()));
  EXPECT_EQ(PathText(link.get()), Utf8Of(PathOf(L"t.lnk")));
  EXPECT_TRUE(GetProperty<bool>(link.get(), "Alias"));
}

TEST_F(FolderItemClassTest, StreamsAppendCreateAndLeaveWhatTheyMayNotWrite) {
  WriteWholeFile(PathOf(L"abc.txt"), "abc");
  for (const wchar_t* name : {L"new.txt", L"abc.txt"}) {
    ObjectRef stream = Adopt(Call(ItemOf(name).get(), "AppendToTextFile"));
    ASSERT_TRUE(stream);
    TextOutputStreamWrite(stream.get(), S("d").get());
    TextOutputStreamClose(stream.get());
  }
  EXPECT_EQ(ReadWholeFile(PathOf(L"new.txt")), "d");
  EXPECT_EQ(ReadWholeFile(PathOf(L"abc.txt")), "abcd");

  ObjectRef binary = ItemOf(L"b.bin");
  ObjectRef created = Adopt(CallMethod<RuntimeObject*>(binary.get(), "CreateBinaryFile", S("").get()));
  BinaryStreamWriteLong(created.get(), 1);
  BinaryStreamClose(created.get());
  ObjectRef reading = Adopt(CallMethod<RuntimeObject*>(binary.get(), "OpenAsBinaryFile", uint8_t(0)));
  BinaryStreamWriteLong(reading.get(), 2);
  BinaryStreamClose(reading.get());
  EXPECT_EQ(ReadWholeFile(PathOf(L"b.bin")), Bytes({0, 0, 0, 1}));

  SetFileAttributesW(PathOf(L"abc.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  ObjectRef locked = ItemOf(L"abc.txt");
  EXPECT_TRUE(GetProperty<bool>(locked.get(), "Locked"));
  EXPECT_EQ(Adopt(Call(locked.get(), "CreateTextFile")).get(), nullptr);
  EXPECT_EQ(Adopt(Call(locked.get(), "AppendToTextFile")).get(), nullptr);
  EXPECT_EQ(Adopt(CallMethod<RuntimeObject*>(locked.get(), "CreateBinaryFile", S("x").get())).get(),
            nullptr);
  EXPECT_EQ(ReadWholeFile(PathOf(L"abc.txt")), "abcd");

  // An existing file that does not open, or whose end cannot be reached.
  FakeFileTree tree;
  tree.AddFile("refused", "keep").refuseOpen = true;
  tree.AddFile("stuck", "keep").streamFaults.seekFails = true;
  for (const char* path : {"refused", "stuck"}) {
    ObjectRef item = Adopt(NewFolderItemWithImp(tree.Item(path)));
    EXPECT_EQ(Adopt(Call(item.get(), "AppendToTextFile")).get(), nullptr) << path;
    EXPECT_EQ(tree.Find(path)->bytes, "keep") << path;
  }
}

namespace {

// Count bytes of the file from the offset, read with plain system calls.
std::string BytesAt(const std::wstring& path, int64_t offset, DWORD count) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  LARGE_INTEGER at;
  at.QuadPart = offset;
  std::string bytes(count, '\0');
  DWORD got = 0;
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN) || !ReadFile(file, &bytes[0], count, &got, nullptr))
    got = 0;
  CloseHandle(file);
  bytes.resize(got);
  return bytes;
}

}  // namespace

// Length reads -1 past 2 GiB, and Position takes that -1 as the end; Read
// reads to the real end; a position the stream cannot reach is refused.
TEST_F(FolderItemClassTest, BinaryStreamsOnAFileOfThreeGibibytes) {
  const std::wstring path = PathOf(L"large.bin");
  const int64_t size = 3LL << 30;
  if (!MakeSparseFile(path, size)) GTEST_SKIP() << "no room for a sparse 3 GiB file";
  ObjectRef item = ItemOf(L"large.bin");
  ObjectRef writer = Adopt(CallMethod<RuntimeObject*>(item.get(), "OpenAsBinaryFile", uint8_t(1)));
  BinaryStreamWrite(writer.get(), S("S").get());
  ObjectRef reader = Adopt(CallMethod<RuntimeObject*>(item.get(), "OpenAsBinaryFile", uint8_t(0)));
  EXPECT_EQ(Take(BinaryStreamRead(reader.get(), 16, nullptr)).bytes, "S" + std::string(15, '\0'));
  SetProperty<int32_t>(reader.get(), "Position", 0);
  EXPECT_EQ(BinaryStreamReadByte(reader.get()), 83);

  EXPECT_EQ(GetProperty<int32_t>(writer.get(), "Length"), -1);
  SetProperty<int32_t>(writer.get(), "Position", GetProperty<int32_t>(writer.get(), "Length"));
  EXPECT_TRUE(GetProperty<bool>(writer.get(), "EOF"));
  BinaryStreamWrite(writer.get(), S("END").get());
  EXPECT_TRUE(Take(BinaryStreamRead(writer.get(), 16, nullptr)).nil);
  SetProperty<int32_t>(writer.get(), "Position", 1);
  SetProperty<int32_t>(writer.get(), "Position", -5);
  EXPECT_EQ(GetProperty<int32_t>(writer.get(), "Position"), 1);
  BinaryStreamWrite(writer.get(), S("X").get());
  BinaryStreamClose(writer.get());
  BinaryStreamClose(reader.get());
  EXPECT_EQ(BytesAt(path, 0, 3), std::string("SX\0", 3));
  EXPECT_EQ(BytesAt(path, size - 1, 10), std::string("\0END", 4));
}

// A reader at the end of a file that another stream goes on writing reads
// on.
TEST_F(FolderItemClassTest, ATextFileFollowedWhileItIsWrittenReadsOn) {
  ObjectRef item = ItemOf(L"log.txt");
  ObjectRef writer = Adopt(Call(item.get(), "CreateTextFile"));
  ObjectRef reader = Adopt(Call(item.get(), "OpenAsTextFile"));
  ASSERT_TRUE(writer && reader);
  TextOutputStreamWriteLine(writer.get(), S("third").get());
  EXPECT_EQ(Take(TextInputStreamReadAll(reader.get(), nullptr)).bytes, "third\r\n");
  EXPECT_TRUE(GetProperty<bool>(reader.get(), "EOF"));
  TextOutputStreamWriteLine(writer.get(), S("fourth").get());
  EXPECT_FALSE(GetProperty<bool>(reader.get(), "EOF"));
  EXPECT_EQ(Take(TextInputStreamReadLine(reader.get(), nullptr)).bytes, "fourth");
  EXPECT_TRUE(GetProperty<bool>(reader.get(), "EOF"));
}

TEST_F(FolderItemClassTest, CodesResourceMembersAndCopiedPaths) {
  FakeFileTree tree;
  FakeFileTree::Node& node = tree.AddFile("f");
  ObjectRef item = Adopt(NewFolderItemWithImp(tree.Item("f")));
  SetProperty<StringRecord*>(item.get(), "MacType", S("AB").get());
  EXPECT_EQ(node.macType, 0x41422020u);
  node.macCreator = 0x666F6C64;
  EXPECT_EQ(Take(GetProperty<StringRecord*>(item.get(), "MacCreator")).bytes, "fold");

  EXPECT_EQ(Adopt(Call(item.get(), "OpenResourceFork")).get(), nullptr);
  EXPECT_EQ(Adopt(CallMethod<RuntimeObject*>(item.get(), "CreateResourceFork", S("x").get())).get(),
            nullptr);
  EXPECT_EQ(Adopt(CallMethod<RuntimeObject*>(item.get(), "OpenResourceMovie", int32_t(1))).get(),
            nullptr);

  char buffer[2] = {'?', '?'};
  EXPECT_FALSE(FolderItemCopyAbsolutePathN(buffer, 1, item.get()));
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_TRUE(FolderItemCopyAbsolutePathN(buffer, 2, item.get()));
  EXPECT_STREQ(buffer, "f");
}

namespace {

std::vector<std::string> applicationEvents;
void OnOpen(RuntimeObject*) { applicationEvents.push_back("Open"); }
void OnOpenDocument(RuntimeObject*, RuntimeObject* item) {
  applicationEvents.push_back(PathText(item));
}
void OnNewDocument(RuntimeObject*) { applicationEvents.push_back("New"); }

std::vector<std::string> EventsOfAnApplication(bool handlesDocuments) {
  ClassBuilder application(GetApplicationClassDefinition(), "DocumentApp");
  application.Handle("Open", &OnOpen).Handle("NewDocument", &OnNewDocument);
  if (handlesDocuments) application.Handle("OpenDocument", &OnOpenDocument);
  applicationEvents.clear();
  RuntimeRegisterAppObject(Adopt(application.NewInstance()).get());
  ReleaseAppObject();
  return applicationEvents;
}

}  // namespace

TEST_F(FolderItemClassTest, TheApplicationGetsItsDocumentsAndAnEmptyResourceFork) {
  WriteWholeFile(PathOf(L"a.txt"), "a");
  SetRuntimeDocumentNames({PathOf(L"a.txt"), PathOf(L"a<b.txt"), PathOf(L"b.txt")});
  EXPECT_EQ(EventsOfAnApplication(true),
            (std::vector<std::string>{"Open", Utf8Of(PathOf(L"a.txt")), Utf8Of(PathOf(L"b.txt"))}));
  EXPECT_EQ(EventsOfAnApplication(false), (std::vector<std::string>{"Open", "New"}));
  SetRuntimeDocumentNames({});

  ObjectRef application = Adopt(CreateInstance(GetApplicationClassDefinition()));
  ObjectRef fork = Adopt(GetProperty<RuntimeObject*>(application.get(), "ResourceFork"));
  ASSERT_TRUE(ObjectIsADefinition(fork.get(), GetResourceForkClassDefinition()));
  EXPECT_EQ(Adopt(CallMethod<RuntimeObject*>(fork.get(), "GetPicture", int32_t(128))).get(), nullptr);
  EXPECT_EQ(GetProperty<int32_t>(fork.get(), "TypeCount"), 0);
  EXPECT_EQ(MethodOf(fork.get(), "GetPicture")->returnType, RuntimeLookupClass("Picture")->definition);
  EXPECT_EQ(MethodOf(fork.get(), "GetSound")->returnType, RuntimeLookupClass("Sound")->definition);
}
