// BinaryStream's byte order and strings, closed streams, ResourceFork, and the
// registration of the four stream classes.
#include <vector>

#include "FilesTestSupport.h"
#include "files/BinaryStream.h"
#include "files/ResourceFork.h"
#include "files/TextStreams.h"

namespace {

using BinaryStreamTest = FilesTest;

InMemory BinaryInMemory(const std::string& bytes) {
  return InstanceOnMemory(NewBinaryStream, bytes);
}

void WriteEachKind(RuntimeObject* binary) {
  BinaryStreamWriteShort(binary, 258);
  BinaryStreamWriteLong(binary, 16909060);
  BinaryStreamWriteFloat(binary, 1.0);
  BinaryStreamWriteDouble(binary, 1.0);
}

TEST_F(BinaryStreamTest, BigEndianUnlessLittleEndianIsSet) {
  auto file = NewFileStream();
  ASSERT_TRUE(file->Create(PathString(L"values.bin").get()));
  ObjectRef binary = ObjectRef::Adopt(NewBinaryStream(std::move(file)));
  WriteEachKind(binary.get());
  SetProperty<bool>(binary.get(), "LittleEndian", true);
  WriteEachKind(binary.get());
  const std::string bigEndian = Bytes({1, 2, 1, 2, 3, 4, 0x3F, 0x80, 0, 0,
                                       0x3F, 0xF0, 0, 0, 0, 0, 0, 0});
  const std::string littleEndian = Bytes({2, 1, 4, 3, 2, 1, 0, 0, 0x80, 0x3F,
                                          0, 0, 0, 0, 0, 0, 0xF0, 0x3F});
  RuntimeTestEnvironment::RunTurns(1);  // the turn's end writes out what the stream holds
  EXPECT_EQ(ReadWholeFile(PathOf(L"values.bin")), bigEndian + littleEndian);

  SetProperty<int32_t>(binary.get(), "Position", 0);
  for (bool little : {false, true}) {
    SCOPED_TRACE(little);
    SetProperty<bool>(binary.get(), "LittleEndian", little);
    EXPECT_EQ(BinaryStreamReadShort(binary.get()), 258);
    EXPECT_EQ(BinaryStreamReadLong(binary.get()), 16909060);
    EXPECT_EQ(BinaryStreamReadFloat(binary.get()), 1.0);
    EXPECT_EQ(BinaryStreamReadDouble(binary.get()), 1.0);
  }
  EXPECT_TRUE(GetProperty<bool>(binary.get(), "EOF"));
}

TEST_F(BinaryStreamTest, ReadsSignExtendAndShortReadsGiveZero) {
  InMemory binary = BinaryInMemory(Bytes({0xFF, 0xFE, 0xFF, 0x02, 0x00, 1, 2, 3}));
  EXPECT_EQ(BinaryStreamReadShort(binary.object.get()), -2);
  EXPECT_EQ(BinaryStreamReadByte(binary.object.get()), 255);
  EXPECT_TRUE(BinaryStreamReadBoolean(binary.object.get()));
  EXPECT_FALSE(BinaryStreamReadBoolean(binary.object.get()));
  EXPECT_EQ(BinaryStreamReadLong(binary.object.get()), 0);  // 3 bytes left
  EXPECT_EQ(binary.stream->GetPosition(), 8);
  EXPECT_EQ(BinaryStreamReadByte(binary.object.get()), 0);
  EXPECT_EQ(BinaryStreamReadDouble(binary.object.get()), 0.0);
}

TEST_F(BinaryStreamTest, SingleOutOfRangeBecomesInfinity) {
  InMemory binary = BinaryInMemory("");
  BinaryStreamWriteFloat(binary.object.get(), 1e300);
  BinaryStreamWriteFloat(binary.object.get(), -1e300);
  BinaryStreamWriteFloat(binary.object.get(), 0.1);
  RuntimeTestEnvironment::RunTurns(1);  // the turn's end writes out what the stream holds
  EXPECT_EQ(binary.stream->Bytes(),
            Bytes({0x7F, 0x80, 0, 0, 0xFF, 0x80, 0, 0, 0x3D, 0xCC, 0xCC, 0xCD}));
}

TEST_F(BinaryStreamTest, PStringsHoldAtMost255Bytes) {
  InMemory binary = BinaryInMemory("");
  const std::string text(300, 'p');
  StringRef value = StringRef::Adopt(StringFromASCII(text.c_str()));
  BinaryStreamWritePString(binary.object.get(), value.get());
  BinaryStreamWritePString(binary.object.get(), nullptr);
  RuntimeTestEnvironment::RunTurns(1);  // the turn's end writes out what the stream holds
  EXPECT_EQ(binary.stream->Bytes(), "\xFF" + std::string(255, 'p') + std::string(1, '\0'));

  binary.stream->SetPosition(0);
  ObjectRef utf8 = ObjectRef::Adopt(GetTEObjectFromEncoding(kEncodingUTF8));
  TakenString read = Take(BinaryStreamReadPString(binary.object.get(), utf8.get()));
  EXPECT_EQ(read.bytes, std::string(255, 'p'));
  EXPECT_EQ(read.encoding, kEncodingUTF8);
  TakenString empty = Take(BinaryStreamReadPString(binary.object.get(), nullptr));
  EXPECT_EQ(empty.bytes, "");
  EXPECT_TRUE(Take(BinaryStreamReadPString(binary.object.get(), nullptr)).nil);
}

TEST_F(BinaryStreamTest, PStringCutShortGivesTheBytesThatCame) {
  InMemory binary = BinaryInMemory("\x0A" "abc");
  TakenString read = Take(BinaryStreamReadPString(binary.object.get(), nullptr));
  EXPECT_EQ(read.bytes, "abc");
  EXPECT_EQ(read.encoding, kEncodingNone);
}

TEST_F(BinaryStreamTest, ReadIsClampedToWhatRemains) {
  InMemory binary = BinaryInMemory("0123456789");
  binary.stream->SetPosition(6);
  TakenString tail = Take(BinaryStreamRead(binary.object.get(), 10, nullptr));
  EXPECT_EQ(tail.bytes, "6789");
  EXPECT_EQ(tail.encoding, kEncodingNone);
  EXPECT_TRUE(Take(BinaryStreamRead(binary.object.get(), 10, nullptr)).nil);

  // A count near the largest integer must not overflow past the clamp into
  // a huge allocation.
  binary.stream->SetPosition(1);
  EXPECT_EQ(Take(BinaryStreamRead(binary.object.get(), 2147483647, nullptr)).bytes, "123456789");
  binary.stream->SetPosition(0);
  EXPECT_TRUE(Take(BinaryStreamRead(binary.object.get(), -1, nullptr)).nil);
  EXPECT_TRUE(Take(BinaryStreamRead(binary.object.get(), 0, nullptr)).nil);
}

TEST_F(BinaryStreamTest, ReadOfAFailingStreamGivesWhatCame) {
  InMemory binary = BinaryInMemory("0123456789");
  binary.stream->faults.readChunk = 3;
  EXPECT_EQ(Take(BinaryStreamRead(binary.object.get(), 8, nullptr)).bytes, "012");
  binary.stream->faults.read = MemoryFileStream::ReadFault::kFails;
  EXPECT_TRUE(Take(BinaryStreamRead(binary.object.get(), 4, nullptr)).nil);
}

TEST_F(BinaryStreamTest, WriteKeepsStringsAsStored) {
  InMemory binary = BinaryInMemory("");
  StringRef utf16 = StringRef::Adopt(NewString("h\0i\0", 4, kEncodingUTF16));
  BinaryStreamWrite(binary.object.get(), utf16.get());
  BinaryStreamWrite(binary.object.get(), nullptr);
  BinaryStreamWriteByte(binary.object.get(), 0x1FF);
  BinaryStreamWriteBoolean(binary.object.get(), true);
  RuntimeTestEnvironment::RunTurns(1);  // the turn's end writes out what the stream holds
  EXPECT_EQ(binary.stream->Bytes(), Bytes({'h', 0, 'i', 0, 0xFF, 1}));
}

TEST_F(BinaryStreamTest, NegativeLengthDoesNotCutTheFile) {
  auto file = StreamOn(L"length.bin", "abcdef");
  ObjectRef binary = ObjectRef::Adopt(NewBinaryStream(std::move(file)));
  SetProperty<int32_t>(binary.get(), "Position", 2);
  SetProperty<int32_t>(binary.get(), "Length", -1);
  EXPECT_EQ(GetProperty<int32_t>(binary.get(), "Length"), 6);
  SetProperty<int32_t>(binary.get(), "Length", 3);
  EXPECT_EQ(GetProperty<int32_t>(binary.get(), "Position"), 2);
  BinaryStreamClose(binary.get());
  EXPECT_EQ(ReadWholeFile(PathOf(L"length.bin")), "abc");
}

TEST_F(BinaryStreamTest, ClosedStreamIsHarmless) {
  InMemory open = BinaryInMemory("data");
  RuntimeObject* binary = open.object.get();
  BinaryStreamClose(binary);
  BinaryStreamClose(binary);
  EXPECT_TRUE(GetProperty<bool>(binary, "EOF"));
  EXPECT_EQ(GetProperty<int32_t>(binary, "Length"), 0);
  EXPECT_EQ(GetProperty<int32_t>(binary, "Position"), 0);
  SetProperty<int32_t>(binary, "Length", 3);
  SetProperty<int32_t>(binary, "Position", 3);
  EXPECT_EQ(BinaryStreamReadByte(binary), 0);
  EXPECT_EQ(BinaryStreamReadShort(binary), 0);
  EXPECT_EQ(BinaryStreamReadLong(binary), 0);
  EXPECT_EQ(BinaryStreamReadFloat(binary), 0.0);
  EXPECT_EQ(BinaryStreamReadDouble(binary), 0.0);
  EXPECT_FALSE(BinaryStreamReadBoolean(binary));
  EXPECT_TRUE(Take(BinaryStreamReadPString(binary, nullptr)).nil);
  EXPECT_TRUE(Take(BinaryStreamRead(binary, 4, nullptr)).nil);
  StringRef text = StringRef::Adopt(StringFromASCII("t"));
  BinaryStreamWriteByte(binary, 1);
  BinaryStreamWriteShort(binary, 1);
  BinaryStreamWriteLong(binary, 1);
  BinaryStreamWriteFloat(binary, 1);
  BinaryStreamWriteDouble(binary, 1);
  BinaryStreamWriteBoolean(binary, true);
  BinaryStreamWritePString(binary, text.get());
  BinaryStreamWrite(binary, text.get());
}

// ---- ResourceFork --------------------------------------------------------------------

using ResourceForkTest = HostTest;

TEST_F(ResourceForkTest, EveryMemberIsEmpty) {
  ObjectRef fork = ObjectRef::Adopt(CreateInstance(GetResourceForkClassDefinition()));
  RuntimeObject* self = fork.get();
  StringRef type = StringRef::Adopt(StringFromASCII("TEXT"));
  EXPECT_EQ(GetProperty<int32_t>(self, "TypeCount"), 0);
  EXPECT_EQ(resourceForkResourceType(self, 1), nullptr);
  EXPECT_EQ(resourceForkGetResource(self, type.get(), 128), nullptr);
  EXPECT_EQ(resourceForkGetNamedResource(self, type.get(), type.get()), nullptr);
  EXPECT_EQ(resourceForkResourceCount(self, type.get()), 0);
  EXPECT_EQ(resourceForkResourceID(self, type.get(), 1), 0);
  EXPECT_EQ(resourceForkResourceName(self, type.get(), 1), nullptr);
  resourceForkAddResource(self, type.get(), type.get(), 128, type.get());
  resourceForkAddPicture(self, nullptr, 128, type.get());
  resourceForkRemoveResource(self, type.get(), 128);
  EXPECT_EQ(resourceForkGetPicture(self, 128), nullptr);
  EXPECT_EQ(resourceForkGetSound(self, 128), nullptr);
  EXPECT_EQ(resourceForkGetNamedPicture(self, type.get()), nullptr);
  EXPECT_EQ(resourceForkGetCicn(self, 128), nullptr);
  EXPECT_EQ(resourceForkGetIcl(self, 128), nullptr);
  EXPECT_EQ(resourceForkGetIcs(self, 128), nullptr);
  EXPECT_EQ(resourceForkGetCursor(self, 128), nullptr);
  EXPECT_EQ(resourceForkGetHandle(self, type.get(), 128), 0);
  resourceForkReleaseHandle(self, 0);
  resourceForkSetLocked(self, type.get(), 128, true);
  EXPECT_FALSE(resourceForkGetLocked(self, type.get(), 128));
  resourceForkSetProtected(self, type.get(), 128, true);
  EXPECT_FALSE(resourceForkGetProtected(self, type.get(), 128));
  resourceForkSetPreload(self, type.get(), 128, true);
  EXPECT_FALSE(resourceForkGetPreload(self, type.get(), 128));
  resourceForkSetPurgeable(self, type.get(), 128, true);
  EXPECT_FALSE(resourceForkGetPurgeable(self, type.get(), 128));
  resourceForkSetSysHeap(self, type.get(), 128, true);
  EXPECT_FALSE(resourceForkGetSysHeap(self, type.get(), 128));
  resourceForkClose(self);
}

// ---- Registration --------------------------------------------------------------------

struct ClassMembers {
  const char* name;
  std::vector<const char*> properties;
  std::vector<const char*> methods;
};

const ClassMembers kClasses[] = {
    {"TextInputStream", {"EOF", "Encoding", "PositionB"}, {"ReadLine", "ReadAll", "Close"}},
    {"TextOutputStream", {"Delimiter"}, {"WriteLine", "Write", "Close"}},
    {"BinaryStream",
     {"LittleEndian", "EOF", "Length", "Position"},
     {"ReadByte", "ReadShort", "ReadLong", "ReadPString", "ReadSingle", "ReadDouble",
      "ReadBoolean", "Read", "WriteByte", "WriteShort", "WriteLong", "WritePString",
      "WriteSingle", "WriteDouble", "WriteBoolean", "Write", "Close"}},
    {"ResourceFork",
     {"TypeCount"},
     {"Close", "ResourceType", "GetResource", "GetNamedResource", "ResourceCount", "ResourceID",
      "ResourceName", "AddResource", "AddPicture", "RemoveResource", "GetPicture", "GetSound",
      "GetNamedPicture", "Getcicn", "Geticl", "Getics", "getCursor", "GetHandle",
      "ReleaseHandle", "ResourceLocked", "ResourceProtected", "ResourcePreload",
      "ResourcePurgeable", "ResourceSysHeap"}},
};

using StreamClassRegistrationTest = HostTest;

TEST_F(StreamClassRegistrationTest, StartUpRegisteredEachClassWithItsMembers) {
  for (const ClassMembers& members : kClasses) {
    SCOPED_TRACE(members.name);
    RuntimeClass* runtimeClass = RuntimeLookupClass(members.name);
    ASSERT_NE(runtimeClass, nullptr);
    ObjectDefinition* definition = runtimeClass->definition;
    for (const char* property : members.properties)
      EXPECT_NE(definition->FindProperty(property), nullptr) << property;
    size_t methodCount = 0;
    for (const MethodDefinition* method = definition->methods; method; method = method->next)
      ++methodCount;
    EXPECT_EQ(methodCount, members.methods.size());
    for (const char* method : members.methods) {
      const MethodDefinition* found = definition->FindMethod(method);
      ASSERT_NE(found, nullptr) << method;
      EXPECT_STREQ(found->record->name, method);
    }
  }
  EXPECT_EQ(RuntimeLookupClass("TextInputStream")->definition->FindProperty("Position"), nullptr);
  RegisterFileStreamClasses();  // a second call changes nothing
}

TEST_F(StreamClassRegistrationTest, TextInputStreamStartsWithUTF8) {
  ObjectRef in = ObjectRef::Adopt(CreateInstance(GetTextInputStreamClassDefinition()));
  ObjectRef encoding = ObjectRef::Adopt(GetProperty<RuntimeObject*>(in.get(), "Encoding"));
  EXPECT_EQ(GetEncodingFromTEObject(encoding.get()), kEncodingUTF8);
  EXPECT_FALSE(GetProperty<bool>(in.get(), "EOF"));
  EXPECT_EQ(GetProperty<int32_t>(in.get(), "PositionB"), 0);
}

}  // namespace
