// The application image and its resources.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

#include "core/RuntimeObjectFoundation.h"
#include "core/SmartRef.h"
#include "core/utility.h"
#include "host/ResourceManagerCommon.h"
#include "host/RuntimeMain.h"
#include "host/application.h"
#include "testsupport/RuntimeTestEnvironment.h"
#include "tests/host/HostTestSupport.h"

namespace {

std::string BytesOf(const ResourceEntry& entry) {
  return std::string(reinterpret_cast<const char*>(entry.data), entry.length);
}

const std::vector<ImageResource> kTwoTexts = {
    {FourCharCode("TEXT"), 128, "hello"},
    {FourCharCode("TEXT"), -3, "negative id"},
};

class ImageTest : public HostTest {};

TEST_F(ImageTest, StartUpReadTheProgramsOwnImage) {
  EXPECT_EQ(RuntimeTestEnvironment::StartupResourceCount(), 1u);
  EXPECT_TRUE(RuntimeTestEnvironment::StartupCaption().empty());

  std::string error;
  ASSERT_TRUE(ResourceManager::LoadFromModule(GetModuleHandleW(nullptr), &error)) << error;
  auto text = ResourceManager::Find(FourCharCode("TEXT"), 1);
  ASSERT_TRUE(text);
  EXPECT_EQ(BytesOf(*text), "host test image");
  EXPECT_EQ(text->offset, 44u);
}

TEST_F(ImageTest, AModuleWithoutImageHasNoResourcesAndNoCaption) {
  LoadTestImage("Caption", kTwoTexts);
  std::string error;
  EXPECT_TRUE(ResourceManager::LoadFromModule(GetModuleHandleW(L"kernel32.dll"), &error));
  EXPECT_EQ(ResourceManager::Count(), 0u);
  EXPECT_TRUE(ResourceManager::Caption().empty());
}

TEST_F(ImageTest, FindMatchesTypeAndIdExactly) {
  LoadTestImage("", kTwoTexts);
  EXPECT_EQ(ResourceManager::Count(), 2u);
  auto hello = ResourceManager::Find(FourCharCode("TEXT"), 128);
  ASSERT_TRUE(hello);
  EXPECT_EQ(BytesOf(*hello), "hello");
  EXPECT_EQ(hello->type, FourCharCode("TEXT"));
  EXPECT_EQ(hello->id, 128);
  auto negative = ResourceManager::Find(FourCharCode("TEXT"), -3);
  ASSERT_TRUE(negative);
  EXPECT_EQ(BytesOf(*negative), "negative id");
  EXPECT_EQ(negative->offset, hello->offset + 5);

  EXPECT_FALSE(ResourceManager::Find(FourCharCode("TEXT"), 129));
  EXPECT_FALSE(ResourceManager::Find(FourCharCode("text"), 128));
}

TEST_F(ImageTest, CaptionIsReadAsUTF8) {
  LoadTestImage(u8"Größe Ω", {});
  EXPECT_EQ(ResourceManager::Caption(), L"Gr\u00F6\u00DFe \u03A9");
}

TEST_F(ImageTest, DataStaysValidAfterAnotherImageIsLoaded) {
  LoadTestImage("", kTwoTexts);
  auto first = ResourceManager::Find(FourCharCode("TEXT"), 128);
  ASSERT_TRUE(first);
  LoadTestImage("", {{FourCharCode("TEXT"), 128, "other"}});
  EXPECT_EQ(BytesOf(*first), "hello");
}

TEST_F(ImageTest, AddResourceCopiesAndRefusesATakenPair) {
  LoadTestImage("", {});
  char bytes[] = "abc";
  EXPECT_TRUE(ResourceManager::AddResource(FourCharCode("TEXT"), 5, bytes, 3));
  bytes[0] = 'x';
  EXPECT_FALSE(ResourceManager::AddResource(FourCharCode("TEXT"), 5, "zzz", 3));
  EXPECT_FALSE(ResourceManager::AddResource(FourCharCode("TEXT"), 6, nullptr, 3));
  EXPECT_TRUE(ResourceManager::AddResource(FourCharCode("TEXT"), 7, nullptr, 0));
  auto added = ResourceManager::Find(FourCharCode("TEXT"), 5);
  ASSERT_TRUE(added);
  EXPECT_EQ(BytesOf(*added), "abc");
}

struct Damage {
  const char* name;
  void (*apply)(std::vector<uint8_t>& image);
};

const Damage kDamages[] = {
    {"bad magic", [](std::vector<uint8_t>& image) { image[3] = 'X'; }},
    {"version 2", [](std::vector<uint8_t>& image) { PutU16(image, 4, 2); }},
    {"data offset wraps",
     [](std::vector<uint8_t>& image) {
       uint32_t record = DirectoryOffsetOf(image);
       PutU32(image, record + 8, 0xFFFFFFF0u);
       PutU32(image, record + 12, 0x20u);
     }},
    {"data length passes the end",
     [](std::vector<uint8_t>& image) {
       PutU32(image, DirectoryOffsetOf(image) + 12, uint32_t(image.size()));
     }},
    {"directory past the end",
     [](std::vector<uint8_t>& image) { PutU32(image, 20, uint32_t(image.size()) - 8); }},
    {"directory count overflows",
     [](std::vector<uint8_t>& image) { PutU32(image, 16, 0x10000001u); }},
    {"repeated type and id",
     [](std::vector<uint8_t>& image) { PutU16(image, DirectoryOffsetOf(image) + 16 + 4, 128); }},
    {"options past the end", [](std::vector<uint8_t>& image) { PutU32(image, 12, 0xFFFFFFFFu); }},
    {"caption longer than the options",
     [](std::vector<uint8_t>& image) { PutU16(image, 24 + 2, 200); }},
    {"options shorter than their header", [](std::vector<uint8_t>& image) { PutU32(image, 12, 2); }},
    {"shorter than the header", [](std::vector<uint8_t>& image) { image.resize(23); }},
};

TEST_F(ImageTest, DamagedImagesAreRefusedWhole) {
  for (const Damage& damage : kDamages) {
    SCOPED_TRACE(damage.name);
    std::vector<uint8_t> image = BuildImage("Caption", kTwoTexts);
    damage.apply(image);
    LoadTestImage("Old caption", kTwoTexts);

    std::string error;
    EXPECT_FALSE(ResourceManager::LoadImage(image.data(), image.size(), &error));
    EXPECT_NE(error.find("damaged"), std::string::npos) << error;
    EXPECT_EQ(ResourceManager::Count(), 0u);
    EXPECT_TRUE(ResourceManager::Caption().empty());
  }
}

TEST_F(ImageTest, ImagesWithoutOptionsOrResourcesAreFine) {
  std::vector<uint8_t> image = BuildImage("", {});
  PutU32(image, 12, 0);  // no options block at all
  std::string error;
  EXPECT_TRUE(ResourceManager::LoadImage(image.data(), image.size(), &error)) << error;
  EXPECT_EQ(ResourceManager::Count(), 0u);

  image = BuildImage("", {{FourCharCode("TEXT"), 1, ""}});
  EXPECT_TRUE(ResourceManager::LoadImage(image.data(), image.size(), &error)) << error;
  auto empty = ResourceManager::Find(FourCharCode("TEXT"), 1);
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->length, 0u);
}

// ---- Movies -----------------------------------------------------------------

std::vector<std::wstring> moviePaths;
RuntimeObject* movieResult = nullptr;

RuntimeObject* FakeMovieFactory(const wchar_t* path, int16_t) {
  moviePaths.emplace_back(path);
  RuntimeLockObject(movieResult);
  return movieResult;
}

std::wstring TempFolder() {
  wchar_t folder[MAX_PATH + 1];
  DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  return std::wstring(folder, length);
}

std::set<std::wstring> TemporaryKvtFiles() {
  std::set<std::wstring> files;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((TempFolder() + L"kvt*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return files;
  do files.insert(found.cFileName);
  while (FindNextFileW(search, &found));
  FindClose(search);
  return files;
}

std::string FileBytes(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return "(missing)";
  std::string bytes(GetFileSize(file, nullptr), '\0');
  DWORD read = 0;
  ReadFile(file, &bytes[0], DWORD(bytes.size()), &read, nullptr);
  CloseHandle(file);
  bytes.resize(read);
  return bytes;
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class MovieTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    for (int i = 0; i < 1000; ++i) movieBytes.push_back(char(i * 7));
    LoadTestImage("", {{FourCharCode("moov"), 128, movieBytes}});
    movie = ObjectRef::Adopt(CreateInstance(GetApplicationClassDefinition()));
    movieResult = movie.get();
    moviePaths.clear();
    previousFactory = ResourceManager::SetMovieFactory(FakeMovieFactory);
  }
  void TearDown() override {
    ResourceManager::SetMovieFactory(previousFactory);
    ResourceManager::DeleteTemporaryFiles();
    HostTest::TearDown();
  }
  std::string movieBytes;
  ObjectRef movie;
  MovieFactory previousFactory = nullptr;
};

TEST_F(MovieTest, WritesTheResourceToOneReusedTemporaryFile) {
  ObjectRef first = ObjectRef::Adopt(ResourceManager::GetMovie(128));
  EXPECT_EQ(first.get(), movie.get());
  ASSERT_EQ(moviePaths.size(), 1u);
  const std::wstring path = moviePaths[0];
  std::wstring folder = TempFolder();
  EXPECT_EQ(CompareStringOrdinal(path.c_str(), int(folder.size()), folder.c_str(),
                                 int(folder.size()), TRUE),
            CSTR_EQUAL);
  EXPECT_EQ(FileBytes(path), movieBytes);

  ObjectRef second = ObjectRef::Adopt(ResourceManager::GetMovie(128));
  ASSERT_EQ(moviePaths.size(), 2u);
  EXPECT_EQ(moviePaths[1], path);

  RuntimeHostFinish();
  EXPECT_FALSE(FileExists(path));
}

TEST_F(MovieTest, GivesNilAndLeavesNoFileWithoutResourceOrFactory) {
  std::set<std::wstring> before = TemporaryKvtFiles();
  EXPECT_EQ(ResourceManager::GetMovie(129), nullptr);
  EXPECT_TRUE(moviePaths.empty());

  ResourceManager::SetMovieFactory(nullptr);
  EXPECT_EQ(ResourceManager::GetMovie(128), nullptr);
  EXPECT_EQ(TemporaryKvtFiles(), before);
}

TEST_F(MovieTest, GivesNilWhenTheFileCannotBeWritten) {
  wchar_t savedTmp[MAX_PATH];
  DWORD savedLength = GetEnvironmentVariableW(L"TMP", savedTmp, MAX_PATH);
  SetEnvironmentVariableW(L"TMP", L"C:\\no such folder\\really not\\");
  RuntimeObject* result = ResourceManager::GetMovie(128);
  SetEnvironmentVariableW(L"TMP", savedLength ? savedTmp : nullptr);
  EXPECT_EQ(result, nullptr);
  EXPECT_TRUE(moviePaths.empty());
}

// ---- Databases and sounds ---------------------------------------------------

std::string databaseBytes;
RuntimeObject* FakeDatabaseFactory(const uint8_t* data, uint32_t length) {
  databaseBytes.assign(reinterpret_cast<const char*>(data), length);
  return CreateInstance(GetApplicationClassDefinition());
}

TEST_F(ImageTest, GetDatabaseHandsTheBytesToTheFactory) {
  LoadTestImage("", {{FourCharCode("dbse"), 1, std::string("db\0payload", 10)}});
  EXPECT_EQ(ResourceManager::GetDatabase(1), nullptr);

  DatabaseFactory previous = ResourceManager::SetDatabaseFactory(FakeDatabaseFactory);
  ObjectRef database = ObjectRef::Adopt(ResourceManager::GetDatabase(1));
  EXPECT_TRUE(database);
  EXPECT_EQ(databaseBytes, std::string("db\0payload", 10));
  EXPECT_EQ(ResourceManager::GetDatabase(2), nullptr);
  ResourceManager::SetDatabaseFactory(previous);
}

TEST_F(ImageTest, SoundDataTellsAWaveHeaderOnlyWhenItIsWhole) {
  std::string wave = "RIFF....WAVEfmt ";
  wave.resize(60, '\x01');
  std::string shortWave = "RIFF....WAVE";
  LoadTestImage("", {{FourCharCode("snd "), 1, wave},
                     {FourCharCode("snd "), 2, "raw samples"},
                     {FourCharCode("snd "), 3, shortWave}});

  auto withHeader = ResourceManager::GetSoundData(1);
  ASSERT_TRUE(withHeader);
  EXPECT_EQ(withHeader->length, 60u);
  EXPECT_TRUE(withHeader->hasWaveHeader);
  EXPECT_FALSE(withHeader->ownsData);
  EXPECT_EQ(std::memcmp(withHeader->data, wave.data(), 60), 0);

  auto raw = ResourceManager::GetSoundData(2);
  ASSERT_TRUE(raw);
  EXPECT_FALSE(raw->hasWaveHeader);
  auto truncated = ResourceManager::GetSoundData(3);
  ASSERT_TRUE(truncated);
  EXPECT_FALSE(truncated->hasWaveHeader);
  EXPECT_FALSE(ResourceManager::GetSoundData(4));

  EXPECT_FALSE(ResourceManager::ReadAppDataRecordFromResources(nullptr, nullptr, nullptr));
}

}  // namespace
