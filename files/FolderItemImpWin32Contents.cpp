// The Win32 item's typed contents: sounds, movies, pictures and styled text,
// and the JPEG codec built on them.
#include <cstring>

#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "core/basicstr.h"
#include "core/string.h"
#include "core/utility.h"
#include "files/FileTypes.h"
#include "files/FolderItemImpWin32.h"
#include "files/MediaSlots.h"
#include "files/PictureFileWriter.h"
#include "files/SpecialFolders.h"
#include "files/TypedContents.h"
#include "files/Win32FileCalls.h"
#include "graphics/PictureClass.h"

namespace {

constexpr size_t kMaximumPathLength = 1024;
constexpr int32_t kQuickTimeHeaderSize = 512;
constexpr int8_t kReadPermission = 1;
constexpr int16_t kNewMovieActive = 1;
constexpr int16_t kSystemScript = -1;

// Reads exactly count bytes; a failure, or a read that brings nothing
// before them, fails.
bool ReadExactly(FileStream& stream, uint8_t* buffer, int32_t count) {
  for (int32_t done = 0; done < count;) {
    int32_t got = 0;
    if (!stream.Read(buffer + done, count - done, &got) || got <= 0 || got > count - done) {
      return false;
    }
    done += got;
  }
  return true;
}

void RaiseUnsupportedFormat(const char* operation, int32_t format, const char* end) {
  StringRef number = StringRef::Adopt(NumberToString(format, 7, kNumberGeneral));
  const std::string message =
      std::string(operation) + " doesn't support format " + StringToStdUTF8(number.get()) + end;
  RaiseExceptionWithMessage(GetUnsupportedFormatExceptionClassDefinition(), message.c_str(), 0);
}

PictureObject* PictureOf(RuntimeObject* object) {
  return ObjectIsADefinition(object, PictureClassDefinition()) ? ObjectFields<PictureObject>(object)
                                                               : nullptr;
}

// A new Picture holding a vector group (whose reference it takes).
RuntimeObject* VectorPicture(RuntimeObject* group, int32_t width, int32_t height) {
  RuntimeObject* object = CreateInstance(PictureClassDefinition());
  if (!object) {
    RuntimeUnlockObject(group);
    return nullptr;
  }
  PictureObject* picture = ObjectFields<PictureObject>(object);
  picture->objects = group;
  picture->width = width;
  picture->height = height;
  return object;
}

RuntimeObject* RasterPicture(NativePicture* native) {
  PictureObject* picture = WrapNativePicture(native);
  return picture ? &picture->header : nullptr;
}

// The QuickTime handle the graphics importer reads a picture from: 512 zero
// bytes (the PICT file header), then the picture's PICT data. Null when it
// cannot be made.
QuickTimeHandle PICTFileHandle(const MediaSlots& media, RuntimeObject* picture) {
  QuickTimeHandle pict = media.pictureToQuickTimePicture(picture);
  if (!pict) return nullptr;
  const int32_t size = media.handleSize(pict);
  QuickTimeHandle data = size >= 0 ? media.newHandle(size + kQuickTimeHeaderSize) : nullptr;
  if (data) {
    std::memset(*data, 0, kQuickTimeHeaderSize);
    std::memcpy(*data + kQuickTimeHeaderSize, *pict, size_t(size));
  }
  media.disposeHandle(pict);
  return data;
}

bool QuickTimeExportReady(const MediaSlots& m) {
  return m.quickTimeAvailable && m.pictureImportReady && m.fileSpecOfPath &&
         m.pictureToQuickTimePicture && m.newHandle && m.handleSize && m.disposeHandle &&
         m.openDefaultComponent && m.setImporterData && m.exportImageFile && m.closeComponent &&
         m.quickTimeAvailable() && m.pictureImportReady();
}

}  // namespace

// ---- Headers ---------------------------------------------------------------------------------

bool ReadFileHeader(const std::string& path, uint8_t header[4]) {
  HANDLE file = CreateFileAt(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD got = 0;
  const bool read = ReadFile(file, header, 4, &got, nullptr) && got == 4;
  CloseHandle(file);
  return read;
}

bool HeaderIsMIDI(const uint8_t header[4]) { return std::memcmp(header, "MThd", 4) == 0; }
bool HeaderIsWAVE(const uint8_t header[4]) { return std::memcmp(header, "RIFF", 4) == 0; }

bool HeaderIsMP3(const uint8_t header[4]) {
  const uint32_t h = uint32_t(header[0]) << 24 | uint32_t(header[1]) << 16 |
                     uint32_t(header[2]) << 8 | header[3];
  const bool frame = (h >> 21) == 0x7FF && ((h >> 19) & 3) != 1 && ((h >> 17) & 3) != 0 &&
                     ((h >> 12) & 15) != 0 && ((h >> 12) & 15) != 15 && ((h >> 10) & 3) != 3 &&
                     (h & 3) != 2;
  return frame || std::memcmp(header, "ID3", 3) == 0;
}

// ---- Sounds and movies -----------------------------------------------------------------------

RuntimeObject* FolderItemImpWin32::OpenAsSound() {
  const MediaSlots& media = CurrentMediaSlots();
  uint8_t header[4];
  if (PathRefused() || !media.newSound || !ReadFileHeader(mPath, header)) return nullptr;
  const bool wave = !mIsTrashEntry && HeaderIsWAVE(header);
  if (!wave) return HeaderIsMIDI(header) || HeaderIsMP3(header) ? media.newSound(nullptr, 0) : nullptr;
  FileStreamPtr stream(OpenStream(true, false));
  const int32_t length = stream ? stream->GetLength() : -1;
  if (length < 0) return nullptr;
  auto* data = static_cast<uint8_t*>(HeapAllocate(uint32_t(length ? length : 1), true));
  if (!data) return nullptr;
  if (!ReadExactly(*stream, data, length)) {
    HeapRelease(data);
    return nullptr;
  }
  return media.newSound(data, length);
}

RuntimeObject* FolderItemImpWin32::OpenAsMovie() {
  const MediaSlots& m = CurrentMediaSlots();
  if (PathRefused() || mIsTrashEntry || !m.quickTimeAvailable || !m.fileSpecOfPath ||
      !m.openMovieFile || !m.newMovieFromFile || !m.closeMovieFile || !m.newMovie ||
      !m.quickTimeAvailable()) {
    return nullptr;
  }
  QuickTimeFileSpec spec{};
  int16_t file = 0;
  if (m.fileSpecOfPath(mPath.c_str(), &spec) != 0 || m.openMovieFile(&spec, &file, kReadPermission) != 0) {
    return nullptr;
  }
  void* movie = nullptr;
  int16_t resourceId = 0;
  const int16_t error = m.newMovieFromFile(&movie, file, &resourceId, nullptr, kNewMovieActive, nullptr);
  m.closeMovieFile(file);
  return error == 0 ? m.newMovie(movie, resourceId) : nullptr;
}

// ---- Pictures --------------------------------------------------------------------------------

RuntimeObject* FolderItemImpWin32::OpenAsPicture(uint8_t format) {
  if (mIsTrashEntry) return nullptr;
  if (format > 1) {
    RaiseUnsupportedFormat("OpenAsPicture", format, " in Windows");
    return nullptr;
  }
  if (PathRefused()) return nullptr;
  const MediaSlots& media = CurrentMediaSlots();
  int32_t width = 0;
  int32_t height = 0;
  if (format == 1 && media.importMetafileFile) {
    if (RuntimeObject* group = media.importMetafileFile(mPath.c_str(), &width, &height)) {
      return VectorPicture(group, width, height);
    }
  }
  return media.openPictureFile ? RasterPicture(media.openPictureFile(mPath.c_str())) : nullptr;
}

RuntimeObject* FolderItemImpWin32::ImportPicture() {
  const MediaSlots& media = CurrentMediaSlots();
  if (PathRefused() || !media.importPictureWithQuickTime) return nullptr;
  return RasterPicture(media.importPictureWithQuickTime(mPath.c_str()));
}

bool FolderItemImpWin32::SaveAsPicture(RuntimeObject* picture, int32_t format) {
  PictureFileKind kind;
  switch (format) {
    case 0:
    case 4:
    case kBMPFileKind:
      kind = kBMPFileKind;
      break;
    case 1:
    case 3:
    case kEnhancedMetafileKind:
      kind = kEnhancedMetafileKind;
      break;
    case 2: {
      const PictureObject* fields = PictureOf(picture);
      kind = fields && fields->objects ? kEnhancedMetafileKind : kBMPFileKind;
      break;
    }
    case kWindowsMetafileKind:
      kind = kWindowsMetafileKind;
      break;
    default:
      RaiseUnsupportedFormat("SaveAsPicture", format, " in Windows.");
      return false;
  }
  if (!PictureOf(picture)) {
    RaiseNilObjectException();
    return false;
  }
  if (PathRefused()) return false;
  const bool written = WritePictureFile(picture, kind, &mPath);
  NoteFileSystemChange();
  return written;
}

bool FolderItemImpWin32::SaveAsJPEG(RuntimeObject* picture) {
  if (!picture) {
    RaiseNilObjectException();
    return false;
  }
  const MediaSlots& m = CurrentMediaSlots();
  if (PathRefused() || !QuickTimeExportReady(m)) return false;
  std::string extension = "jpg";
  if (ChangeFileExtension(&mPath, "jpg;jpeg;jpe", &extension, kMaximumPathLength) ==
      ExtensionChange::kRefused) {
    return false;
  }
  QuickTimeFileSpec spec{};
  if (m.fileSpecOfPath(mPath.c_str(), &spec) != 0) return false;
  QuickTimeHandle data = PICTFileHandle(m, picture);
  if (!data) return false;
  void* importer = nullptr;
  bool exported = false;
  if (m.openDefaultComponent(FourCharCode("grip"), FourCharCode("PICT"), &importer) == 0) {
    exported = m.setImporterData(importer, data) == 0 &&
               m.exportImageFile(importer, FourCharCode("JPEG"), 0, &spec, kSystemScript) == 0;
    m.closeComponent(importer);
  }
  m.disposeHandle(data);
  NoteFileSystemChange();
  return exported;
}

// ---- Styled text -----------------------------------------------------------------------------

namespace {

using StyledTextCall = uint32_t (*)(RuntimeObject* field, const char* path);

// The edit field's call on the item's file, when the field has a native
// control: true when it answers 0; its Win32 code is stored otherwise.
bool RunStyledTextCall(FolderItemImpWin32& item, RuntimeObject* field, StyledTextCall call) {
  const MediaSlots& media = CurrentMediaSlots();
  if (!media.hasNativeControl || !call || !media.hasNativeControl(field)) return false;
  const uint32_t code = call(field, item.Path().c_str());
  if (code != 0) item.SetLastErrorFromWin32(code);
  return code == 0;
}

}  // namespace

bool FolderItemImpWin32::OpenStyledEditField(RuntimeObject* editField) {
  return editField && !PathRefused() &&
         RunStyledTextCall(*this, editField, CurrentMediaSlots().loadStyledText);
}

bool FolderItemImpWin32::SaveStyledEditField(RuntimeObject* editField) {
  if (!editField) {
    RaiseNilObjectException();
    return false;
  }
  if (PathRefused()) return false;
  const bool saved = RunStyledTextCall(*this, editField, CurrentMediaSlots().saveStyledText);
  NoteFileSystemChange();
  return saved;
}

// ---- The JPEG codec --------------------------------------------------------------------------

bool EncodeJPEGThroughFile(RuntimeObject* picture, StringRecord** bytes) {
  const std::string path = NewTemporaryFilePath();
  if (path.empty()) return false;
  auto item = FolderItemImpWin32FromPath(path, false, false, nullptr);
  bool encoded = item && item->SaveAsJPEG(picture);
  if (encoded) {
    FileStreamPtr stream(item->OpenStream(true, false));
    const int32_t length = stream ? stream->GetLength() : -1;
    std::string data(size_t(length > 0 ? length : 0), '\0');
    encoded = length >= 0 && ReadExactly(*stream, reinterpret_cast<uint8_t*>(&data[0]), length);
    if (encoded) *bytes = NewString(data, kEncodingNone);
  }
  DeletePath(path);
  if (item && item->Path() != path) DeletePath(item->Path());
  return encoded;
}

RuntimeObject* DecodeJPEGThroughFile(const StringRecord* bytes) {
  if (StringLength(bytes) == 0) return nullptr;
  const std::string path = NewTemporaryFilePath();
  if (path.empty()) return nullptr;
  auto item = FolderItemImpWin32FromPath(path, false, false, nullptr);
  FileStreamPtr stream(item ? item->OpenStream(true, true) : nullptr);
  const bool written = stream && stream->Write(StringData(bytes), int32_t(StringLength(bytes))) &&
                       stream->Close();
  stream.reset();
  RuntimeObject* picture = written ? item->ImportPicture() : nullptr;
  DeletePath(path);
  return picture;
}
