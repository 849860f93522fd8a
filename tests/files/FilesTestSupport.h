// Helpers of the file-stream tests: a scratch folder per test, files read and
// written with plain system calls (never through the streams under test),
// and member access through the class records.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "core/ObjectDefinition.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "core/TextEncoding.h"
#include "core/string.h"
#include "files/FileStreams.h"
#include "testsupport/MemoryFileStream.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/RuntimeTestEnvironment.h"
#include "testsupport/ScratchFolder.h"

inline std::string Bytes(std::initializer_list<uint8_t> bytes) {
  return std::string(bytes.begin(), bytes.end());
}

inline std::string Utf8Of(const std::wstring& text) {
  return encoding::UTF16ToUTF8(reinterpret_cast<const char16_t*>(text.data()), text.size());
}

// The whole file, read with ReadFile; "<missing>" when it cannot be opened.
inline std::string ReadWholeFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string bytes;
  char block[4096];
  DWORD got = 0;
  while (ReadFile(file, block, sizeof block, &got, nullptr) && got > 0) bytes.append(block, got);
  CloseHandle(file);
  return bytes;
}

inline void WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr));
  EXPECT_EQ(written, bytes.size());
  CloseHandle(file);
}

inline bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A sparse file of that size; false (nothing left) when the volume cannot
// hold it.
inline bool MakeSparseFile(const std::wstring& path, int64_t size) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER end;
  end.QuadPart = size;
  const bool made = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  CloseHandle(file);
  if (!made) DeleteFileW(path.c_str());
  return made;
}

// The Windows path, on Z:, of the host folder that the environment variable
// names ("Z:" alone when it is not set).
inline std::wstring HostFolderNamedBy(const wchar_t* variable) {
  wchar_t folder[1024] = {};
  GetEnvironmentVariableW(variable, folder, 1024);
  std::wstring path = std::wstring(L"Z:") + folder;
  for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
  return path;
}

// The folder of the 1 MiB volume tests/files/small_volume.sh mounts, named
// by KV_SMALL_VOLUME; empty where no such volume is there.
inline std::wstring SmallVolumeFolder() {
  const std::wstring folder = HostFolderNamedBy(L"KV_SMALL_VOLUME");
  ULARGE_INTEGER total;
  const bool small = folder.size() > 2 &&
                     GetDiskFreeSpaceExW(folder.c_str(), nullptr, &total, nullptr) &&
                     total.QuadPart <= (1u << 20);
  return small ? folder : std::wstring();
}

// A fixture over Base whose tests write on that volume, skipped where there
// is none; the files named at construction are removed after each test.
template <class Base>
class OnSmallVolume : public Base {
 protected:
  explicit OnSmallVolume(std::initializer_list<const wchar_t*> made) : made_(made) {}
  void SetUp() override {
    Base::SetUp();
    folder_ = SmallVolumeFolder();
    if (folder_.empty()) {
      GTEST_SKIP() << "needs the 1 MiB volume of small_volume.sh (KV_SMALL_VOLUME)";
    }
  }
  void TearDown() override {
    if (!folder_.empty()) {
      for (const wchar_t* name : made_) DeleteFileW(PathOf(name).c_str());
    }
    Base::TearDown();
  }
  std::wstring PathOf(const std::wstring& name) const { return folder_ + L"\\" + name; }
  const std::wstring& VolumeFolder() const { return folder_; }

 private:
  std::vector<const wchar_t*> made_;
  std::wstring folder_;
};

// The bin is the XDG trash under $XDG_DATA_HOME, which the test entries
// point at scratch places.
inline std::wstring XdgDataFolder() { return HostFolderNamedBy(L"XDG_DATA_HOME"); }

// Takes the pending exception: its message when it is of the class (and
// its error number is 0), "<other>" for another one, "<none>" without one.
inline std::string TakeExceptionMessage(ObjectDefinition* expected) {
  ObjectRef exception = ObjectRef::Adopt(RuntimeTakePendingException());
  if (!exception) return "<none>";
  if (!ObjectIsADefinition(exception.get(), expected)) return "<other>";
  EXPECT_EQ(exceptionErrorNumberGetter(exception.get(), 0), 0);
  return StringToStdUTF8(StringRef::Adopt(exceptionMessageGetter(exception.get(), 0)).get());
}

// A shell shortcut at linkPath to the target path.
inline void MakeShortcut(const std::wstring& linkPath, const std::wstring& target) {
  IShellLinkW* link = nullptr;
  ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_IShellLinkW, reinterpret_cast<void**>(&link)));
  link->SetPath(target.c_str());
  IPersistFile* file = nullptr;
  link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  EXPECT_HRESULT_SUCCEEDED(file->Save(linkPath.c_str(), TRUE));
  file->Release();
  link->Release();
}

// Each test works in a folder of its own under the temporary folder, removed
// afterwards.
class FilesTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = std::string(test->test_suite_name()) + "." + test->name();
    folder_ = TempFolder() + L"files_tests_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder_.c_str(), nullptr);
    folder_ += L"\\" + std::wstring(name.begin(), name.end());
    RemoveTree(folder_);
    ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
  }
  void TearDown() override {
    RemoveTree(folder_);
    RemoveDirectoryW(folder_.substr(0, folder_.rfind(L'\\')).c_str());
    HostTest::TearDown();
  }

  const std::wstring& Folder() const { return folder_; }
  std::wstring PathOf(const std::wstring& name) const { return folder_ + L"\\" + name; }
  // The path as a run-time string in UTF-8.
  StringRef PathString(const std::wstring& name) const {
    return StringRef::Adopt(StringFromUTF8(Utf8Of(PathOf(name))));
  }
  // A stream on a new file holding the bytes, at position 0.
  std::unique_ptr<Win32FileStream> StreamOn(const std::wstring& name, const std::string& bytes,
                                            int32_t mode = kFileStreamReadWrite) {
    WriteWholeFile(PathOf(name), bytes);
    auto stream = NewFileStream();
    EXPECT_TRUE(stream->Open(PathString(name).get(), mode));
    return stream;
  }

 private:
  std::wstring folder_;
};

// A stream class's instance over an in-memory stream holding the bytes.
struct InMemory {
  ObjectRef object;
  MemoryFileStream* stream;  // owned by the object
};
inline InMemory InstanceOnMemory(RuntimeObject* (*make)(FileStreamPtr),
                                 const std::string& bytes = "") {
  auto stream = std::make_unique<MemoryFileStream>(bytes);
  MemoryFileStream* raw = stream.get();
  return {ObjectRef::Adopt(make(std::move(stream))), raw};
}

// ---- Members through the class records (the path compiled code takes) ----

// A string result taken over: its bytes, and its encoding.
struct TakenString {
  std::string bytes;
  uint32_t encoding;
  bool nil;
};
inline TakenString Take(StringRecord* string) {
  StringRef held = StringRef::Adopt(string);
  return {StringBytes(string), string ? string->encoding : kEncodingNone, string == nullptr};
}
