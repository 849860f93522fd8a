// The FolderItem class: its members, the global functions that make items,
// and the plug-in entries.
#include "files/runFolderItem.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "core/Date.h"
#include "core/ObjectDefinition.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "core/TextEncoding.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "files/BinaryStream.h"
#include "files/FileTypes.h"
#include "files/FolderItemImpWin32.h"
#include "files/LateMemberTypes.h"
#include "files/MediaSlots.h"
#include "files/ResourceFork.h"
#include "files/TextStreams.h"
#include "host/application.h"
#include "host/relocentry.h"

namespace {

constexpr char kSource[] = "runFolderItem";
constexpr char kEntryCondition[] = "entry->mImp";
constexpr char kObjectCondition[] = "obj->mImp";

VirtualVolumeSlots virtualVolumeSlots;
void (*typeLateMembers)() = nullptr;

FolderItemObject* Fields(RuntimeObject* item) { return ObjectFields<FolderItemObject>(item); }

// The implementation, or nil after reporting the condition.
FolderItemImp* Required(RuntimeObject* item, int32_t line,
                        const char* condition = kEntryCondition) {
  FolderItemImp* imp = FolderItemImpOf(item);
  if (!imp) AssertionFailed(131, 4, kSource, line, condition, "");
  return imp;
}

void ReplaceImp(RuntimeObject* item, FolderItemImpPtr imp) {
  FolderItemImpPtr old(std::exchange(Fields(item)->mImp, imp.release()));
}

// The object's implementation made from the path (relative paths start at
// the executable's folder), kept even when the path is refused; false then.
bool BuildFromPath(RuntimeObject* item, const std::string& path, bool resolveAliases) {
  bool refused = false;
  FolderItemImpPtr imp = FolderItemImpWin32FromPath(path, true, false, &refused);
  if (imp && !refused && resolveAliases) imp = TakeResolved(std::move(imp), kResolveAliases);
  ReplaceImp(item, std::move(imp));
  return !refused && Fields(item)->mImp;
}

RuntimeObject* ItemOfPath(const std::string& path, bool resolveAliases) {
  ObjectRef item = ObjectRef::Adopt(CreateInstance(GetFolderItemClassDefinition()));
  if (!item || !BuildFromPath(item.get(), path, resolveAliases)) return nullptr;
  return item.release();
}

RuntimeObject* ItemOfText(const StringRecord* text, bool resolveAliases) {
  if (IsSaveInfoData(text)) {
    return NewFolderItemWithImp(FolderItemImpWin32FromSaveInfo(text, nullptr));
  }
  return ItemOfPath(StringToStdUTF8(text), resolveAliases);
}

// A new object of the source's class holding the implementation an
// operation of the source gave; nil when it gave none.
RuntimeObject* ItemLike(RuntimeObject* source, FolderItemImp* made) {
  FolderItemImpPtr imp(made);
  if (!imp) return nullptr;
  RuntimeObject* item = RuntimeNewObject(ObjectClassOf(source));
  if (item) Fields(item)->mImp = imp.release();
  return item;
}

RuntimeObject* StreamObject(RuntimeObject* (*make)(FileStreamPtr), FileStream* stream) {
  return stream ? make(FileStreamPtr(stream)) : nullptr;
}

// A new file of the type, unless the item is locked.
FileStream* CreatedStream(FolderItemImp& imp, const StringRecord* macType) {
  return imp.GetLocked() ? nullptr : imp.CreateStream(macType);
}

// Getters answer zero values without an implementation.
template <class T>
T Ask(RuntimeObject* item, T (FolderItemImp::*get)()) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? (imp->*get)() : T();
}

StringRecord* AskText(RuntimeObject* item, void (FolderItemImp::*get)(StringRecord**)) {
  StringRef text;
  if (FolderItemImp* imp = FolderItemImpOf(item)) (imp->*get)(text.out());
  return text.release();
}

template <class T>
void Tell(RuntimeObject* item, int32_t line, bool (FolderItemImp::*set)(T), T value) {
  if (FolderItemImp* imp = Required(item, line)) (imp->*set)(value);
}

RuntimeObject* DateOf(RuntimeObject* item, double (FolderItemImp::*get)()) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? NewDateFromSeconds((imp->*get)()) : nullptr;
}

void SetDate(RuntimeObject* item, int32_t line, bool (FolderItemImp::*set)(double),
             RuntimeObject* date) {
  if (!ObjectIsADefinition(date, GetDateClassDefinition())) return;
  Tell(item, line, set, ObjectFields<DateObject>(date)->totalSeconds);
}

// Codes read first character first; a text sets the code from its first
// four bytes over four spaces.
StringRecord* CodeText(RuntimeObject* item, uint32_t (FolderItemImp::*get)()) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? NewString(BytesOfFourCharCode((imp->*get)()), kEncodingASCII) : nullptr;
}

void SetCode(RuntimeObject* item, int32_t line, bool (FolderItemImp::*set)(uint32_t),
             const StringRecord* text) {
  if (!text) return;
  Tell(item, line, set, FourCharCodeOfBytes((StringBytes(text) + "    ").substr(0, 4)));
}

RuntimeObject* VirtualVolumeCall(RuntimeObject* (*slot)(RuntimeObject*), RuntimeObject* item) {
  return slot ? slot(item) : nullptr;
}

// The member behind Item and TrueItem: counted from 1.
RuntimeObject* ItemAt(RuntimeObject* item, int32_t line, int32_t index, uint32_t options) {
  FolderItemImp* imp = Required(item, line);
  return imp ? ItemLike(item, imp->GetItemAt(index < 1 ? -1 : index - 1, options)) : nullptr;
}

RuntimeObject* ChildNamed(RuntimeObject* item, int32_t line, const StringRecord* name,
                          uint32_t options) {
  FolderItemImp* imp = Required(item, line);
  return imp ? ItemLike(item, imp->GetChildNamed(name, options)) : nullptr;
}

// CopyFileTo and MoveFileTo.
void TransferTo(RuntimeObject* item, int32_t line, RuntimeObject* destination,
                bool (FolderItemImp::*transfer)(FolderItemImp*)) {
  if (!destination) {
    RaiseNilObjectException();
    return;
  }
  FolderItemImp* imp = Required(item, line);
  FolderItemImp* target = imp ? Required(destination, line, "destination->mImp") : nullptr;
  if (target) (imp->*transfer)(target);
}

// The path and its NUL into at most size bytes; false (the buffer empty)
// when there is no path or it does not fit.
bool CopyPathInto(char* buffer, size_t size, RuntimeObject* item) {
  if (!buffer || size == 0) return false;
  buffer[0] = '\0';
  StringRef path = StringRef::Adopt(FolderItemPathOf(item));
  if (!path) return false;
  const size_t length = StringLength(path.get());
  if (length >= size) return false;
  std::memcpy(buffer, StringData(path.get()), length);
  buffer[length] = '\0';
  return true;
}

RuntimeObject* DocumentItem(const std::wstring& name) {
  StringRef path = StringRef::Adopt(StringFromUTF8(
      encoding::UTF16ToUTF8(reinterpret_cast<const char16_t*>(name.data()), name.size())));
  return RuntimeGetFolderItem(path.get());
}

void DestroyFolderItem(RuntimeObject* item) { ReplaceImp(item, nullptr); }

}  // namespace

// ---- Members ---------------------------------------------------------------------------

extern "C" {

StringRecord* FolderItemAbsolutePathGetter(RuntimeObject* item, uint32_t) {
  return AskText(item, &FolderItemImp::GetAbsolutePath);
}
int32_t FolderItemCountGetter(RuntimeObject* item, uint32_t) {
  return Ask(item, &FolderItemImp::GetCount);
}
StringRecord* FolderItemNameGetter(RuntimeObject* item, uint32_t) {
  return AskText(item, &FolderItemImp::GetName);
}
void FolderItemNameSetter(RuntimeObject* item, uint32_t, StringRecord* name) {
  Tell<const StringRecord*>(item, __LINE__, &FolderItemImp::SetName, name);
}
StringRecord* FolderItemDisplayNameGetter(RuntimeObject* item, uint32_t) {
  return AskText(item, &FolderItemImp::GetDisplayName);
}
int32_t FolderItemLengthGetter(RuntimeObject* item, uint32_t) {
  return Ask(item, &FolderItemImp::GetLength);
}
int32_t FolderItemResourceForkLengthGetter(RuntimeObject* item, uint32_t) {
  return Ask(item, &FolderItemImp::GetResourceForkLength);
}
bool FolderItemExtensionVisibleGetter(RuntimeObject* item, uint32_t) {
  return Ask(item, &FolderItemImp::GetExtensionVisible);
}
void FolderItemExtensionVisibleSetter(RuntimeObject* item, uint32_t, uint8_t visible) {
  Tell(item, __LINE__, &FolderItemImp::SetExtensionVisible, visible != 0);
}
bool FolderItemLockedGetter(RuntimeObject* item, uint32_t) {
  return Ask(item, &FolderItemImp::GetLocked);
}
void FolderItemLockedSetter(RuntimeObject* item, uint32_t, uint8_t locked) {
  Tell(item, __LINE__, &FolderItemImp::SetLocked, locked != 0);
}
bool FolderItemExistsGetter(RuntimeObject* item, uint32_t) {
  return Ask(item, &FolderItemImp::Exists);
}
bool FolderItemAliasGetter(RuntimeObject* item, uint32_t) {
  return Ask(item, &FolderItemImp::IsAlias);
}
bool FolderItemVisibleGetter(RuntimeObject* item, uint32_t) {
  return Ask(item, &FolderItemImp::GetVisible);
}
void FolderItemVisibleSetter(RuntimeObject* item, uint32_t, uint8_t visible) {
  // Quietly nothing without an implementation: there is no file to hide.
  if (FolderItemImp* imp = FolderItemImpOf(item)) imp->SetVisible(visible != 0);
}
bool FolderItemDirectoryGetter(RuntimeObject* item, uint32_t) {
  return Ask(item, &FolderItemImp::IsDirectory);
}
StringRecord* FolderItemTypeGetter(RuntimeObject* item, uint32_t) {
  return AskText(item, &FolderItemImp::GetType);
}
RuntimeObject* FolderItemParentGetter(RuntimeObject* item, uint32_t) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? ItemLike(item, imp->GetParent()) : nullptr;
}
RuntimeObject* FolderItemCreationDateGetter(RuntimeObject* item, uint32_t) {
  return DateOf(item, &FolderItemImp::GetCreationDate);
}
void FolderItemCreationDateSetter(RuntimeObject* item, uint32_t, RuntimeObject* date) {
  SetDate(item, __LINE__, &FolderItemImp::SetCreationDate, date);
}
RuntimeObject* FolderItemModificationDateGetter(RuntimeObject* item, uint32_t) {
  return DateOf(item, &FolderItemImp::GetModificationDate);
}
void FolderItemModificationDateSetter(RuntimeObject* item, uint32_t, RuntimeObject* date) {
  SetDate(item, __LINE__, &FolderItemImp::SetModificationDate, date);
}
StringRecord* FolderItemMacTypeGetter(RuntimeObject* item, uint32_t) {
  return CodeText(item, &FolderItemImp::GetMacType);
}
void FolderItemMacTypeSetter(RuntimeObject* item, uint32_t, StringRecord* type) {
  SetCode(item, __LINE__, &FolderItemImp::SetMacType, type);
}
StringRecord* FolderItemMacCreatorGetter(RuntimeObject* item, uint32_t) {
  return CodeText(item, &FolderItemImp::GetMacCreator);
}
void FolderItemMacCreatorSetter(RuntimeObject* item, uint32_t, StringRecord* creator) {
  SetCode(item, __LINE__, &FolderItemImp::SetMacCreator, creator);
}
// The parameter word is the folder's code ('desk', 'trsh', 'empt', 'temp').
RuntimeObject* FolderItemSpecialFolderGetter(RuntimeObject* item, uint32_t code) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? ItemLike(item, imp->FindFolder(code)) : nullptr;
}
RuntimeObject* FolderItemVirtualVolumeGetter(RuntimeObject* item, uint32_t) {
  return FolderItemImpOf(item) ? VirtualVolumeCall(virtualVolumeSlots.volumeOf, item) : nullptr;
}
bool FolderItemIsReadableGetter(RuntimeObject* item, uint32_t) {
  return Ask(item, &FolderItemImp::IsReadable);
}
bool FolderItemIsWriteableGetter(RuntimeObject* item, uint32_t) {
  return Ask(item, &FolderItemImp::IsWriteable);
}
int32_t FolderItemLastErrorCodeGetter(RuntimeObject* item, uint32_t) {
  FolderItemImp* imp = FolderItemImpOf(item);
  return imp ? imp->mLastError : 0;
}
void FolderItemLastErrorCodeSetter(RuntimeObject* item, uint32_t, int32_t code) {
  if (FolderItemImp* imp = FolderItemImpOf(item)) {
    imp->mLastError = code;
  } else {
    RaiseNilObjectException();
  }
}
int32_t FolderItemMacVRefNumGetter(RuntimeObject* item, uint32_t) {
  return Ask(item, &FolderItemImp::GetMacVRefNum);
}
int32_t FolderItemMacDirIDGetter(RuntimeObject* item, uint32_t) {
  return Ask(item, &FolderItemImp::GetMacDirID);
}

// Constructors: an empty path names the executable's folder; a path that is
// refused still leaves an implementation (whose Exists is false).
void FolderItemPathConstructor(RuntimeObject* item, StringRecord* path) {
  if (!item) {
    AssertionFailed(131, 4, kSource, __LINE__, "entry", "");
    return;
  }
  BuildFromPath(item, StringToStdUTF8(path), true);
}
void FolderItemConstructor(RuntimeObject* item) { FolderItemPathConstructor(item, nullptr); }
void FolderItemCopyConstructor(RuntimeObject* item, RuntimeObject* source) {
  FolderItemImp* sourceImp = FolderItemImpOf(source);
  if (!item || !sourceImp) {
    RaiseNilObjectException();
    return;
  }
  ReplaceImp(item, FolderItemImpPtr(sourceImp->Clone()));
}

RuntimeObject* FolderItemItem(RuntimeObject* item, int32_t index) {
  return ItemAt(item, __LINE__, index, kResolveAliases);
}
RuntimeObject* FolderItemTrueItem(RuntimeObject* item, int32_t index) {
  return ItemAt(item, __LINE__, index, 0);
}
RuntimeObject* FolderItemChild(RuntimeObject* item, StringRecord* name) {
  return ChildNamed(item, __LINE__, name, kResolveAliases);
}
RuntimeObject* FolderItemTrueChild(RuntimeObject* item, StringRecord* name) {
  return ChildNamed(item, __LINE__, name, 0);
}

RuntimeObject* FolderItemOpenAsTextFile(RuntimeObject* item) {
  FolderItemImp* imp = Required(item, __LINE__);
  return imp ? StreamObject(NewTextInputStream, imp->OpenStream(true, false)) : nullptr;
}
// An existing file that does not open, or whose end cannot be reached,
// gives nil and stays as it is: only a missing file is created.
RuntimeObject* FolderItemAppendToTextFile(RuntimeObject* item) {
  FolderItemImp* imp = Required(item, __LINE__);
  if (!imp || imp->GetLocked()) return nullptr;
  if (!imp->Exists()) return StreamObject(NewTextOutputStream, CreatedStream(*imp, nullptr));
  FileStreamPtr stream(imp->OpenStream(true, true));
  if (!stream || !stream->SetPosition(stream->GetLength())) return nullptr;
  return NewTextOutputStream(std::move(stream));
}
RuntimeObject* FolderItemCreateTextFile(RuntimeObject* item) {
  FolderItemImp* imp = Required(item, __LINE__);
  if (!imp) return nullptr;
  StringRef text = StringRef::Adopt(StringFromASCII("text"));
  return StreamObject(NewTextOutputStream, CreatedStream(*imp, text.get()));
}
RuntimeObject* FolderItemCreateVirtualVolume(RuntimeObject* item) {
  return Required(item, __LINE__) ? VirtualVolumeCall(virtualVolumeSlots.create, item) : nullptr;
}
RuntimeObject* FolderItemOpenAsVirtualVolume(RuntimeObject* item) {
  return Required(item, __LINE__) ? VirtualVolumeCall(virtualVolumeSlots.open, item) : nullptr;
}
RuntimeObject* FolderItemOpenBinaryFile(RuntimeObject* item, uint8_t readWrite) {
  FolderItemImp* imp = Required(item, __LINE__);
  return imp ? StreamObject(NewBinaryStream, imp->OpenStream(true, readWrite != 0)) : nullptr;
}
RuntimeObject* FolderItemCreateBinaryFile(RuntimeObject* item, StringRecord* type) {
  FolderItemImp* imp = Required(item, __LINE__);
  return imp ? StreamObject(NewBinaryStream, CreatedStream(*imp, type)) : nullptr;
}
// No resource forks on this platform.
RuntimeObject* FolderItemOpenResourceFork(RuntimeObject* item) {
  Required(item, __LINE__);
  return nullptr;
}
RuntimeObject* FolderItemCreateResourceFork(RuntimeObject* item, StringRecord*) {
  Required(item, __LINE__);
  return nullptr;
}
RuntimeObject* FolderItemOpenAsPicture(RuntimeObject* item) {
  FolderItemImp* imp = Required(item, __LINE__);
  return imp ? imp->OpenAsPicture(0) : nullptr;
}
RuntimeObject* FolderItemOpenAsVectorPicture(RuntimeObject* item) {
  FolderItemImp* imp = Required(item, __LINE__);
  return imp ? imp->OpenAsPicture(1) : nullptr;
}
// The Sound keeps the item it was opened from.
RuntimeObject* FolderItemOpenAsSound(RuntimeObject* item) {
  FolderItemImp* imp = Required(item, __LINE__);
  RuntimeObject* sound = imp ? imp->OpenAsSound() : nullptr;
  if (sound && CurrentMediaSlots().setSoundItem) CurrentMediaSlots().setSoundItem(sound, item);
  return sound;
}
RuntimeObject* FolderItemOpenAsMovie(RuntimeObject* item) {
  FolderItemImp* imp = Required(item, __LINE__);
  return imp ? imp->OpenAsMovie() : nullptr;
}
RuntimeObject* FolderItemOpenResourceMovie(RuntimeObject* item, int32_t) {
  Required(item, __LINE__, kObjectCondition);
  return nullptr;
}
void FolderItemDelete(RuntimeObject* item) {
  if (FolderItemImp* imp = Required(item, __LINE__)) imp->Delete();
}
void FolderItemCreateAsFolder(RuntimeObject* item) {
  if (FolderItemImp* imp = Required(item, __LINE__)) imp->CreateAsFolder();
}
void FolderItemLaunch(RuntimeObject* item, uint8_t activate) {
  if (FolderItemImp* imp = Required(item, __LINE__)) imp->Launch(activate != 0);
}
void FolderItemCopyFileTo(RuntimeObject* item, RuntimeObject* destination) {
  TransferTo(item, __LINE__, destination, &FolderItemImp::CopyFileTo);
}
void FolderItemMoveFileTo(RuntimeObject* item, RuntimeObject* destination) {
  TransferTo(item, __LINE__, destination, &FolderItemImp::MoveFileTo);
}
void FolderItemSaveAsPicture(RuntimeObject* item, RuntimeObject* picture, int32_t format) {
  if (FolderItemImp* imp = Required(item, __LINE__)) imp->SaveAsPicture(picture, format & 0xFFFF);
}
void FolderItemSaveAsJPEG(RuntimeObject* item, RuntimeObject* picture) {
  if (!picture) {
    RaiseNilObjectException();
    return;
  }
  if (FolderItemImp* imp = Required(item, __LINE__)) imp->SaveAsJPEG(picture);
}
void FolderItemOpenStyledEditField(RuntimeObject* item, RuntimeObject* field) {
  if (FolderItemImp* imp = Required(item, __LINE__)) imp->OpenStyledEditField(field);
}
void FolderItemSaveStyledEditField(RuntimeObject* item, RuntimeObject* field) {
  if (FolderItemImp* imp = Required(item, __LINE__)) imp->SaveStyledEditField(field);
}
StringRecord* FolderItemGetSaveInfo(RuntimeObject* item, RuntimeObject* relativeTo, int32_t mode) {
  FolderItemImp* imp = Required(item, __LINE__, kObjectCondition);
  StringRef info;
  if (imp) imp->GetSaveInfo(info.out(), FolderItemImpOf(relativeTo), uint8_t(mode));
  return info.release();
}

}  // extern "C"

// ---- The class ---------------------------------------------------------------------------

namespace {

ObjectDefinition* MakeFolderItemDefinition() {
  static ObjectDefinition definition;
  const MemberType item = &definition;
  const MemberType date = GetDateClassDefinition();
  static PropertyRecord properties[] = {
      {kPropertyReadOnly, "AbsolutePath", &kStringType, RUNTIME_ENTRY(FolderItemAbsolutePathGetter),
       nullptr, nullptr, 0},
      {kPropertyReadOnly, "Count", &kIntegerType, RUNTIME_ENTRY(FolderItemCountGetter), nullptr,
       nullptr, 0},
      {0, "Name", &kStringType, RUNTIME_ENTRY(FolderItemNameGetter),
       RUNTIME_ENTRY(FolderItemNameSetter), 0},
      {kPropertyReadOnly, "DisplayName", &kStringType, RUNTIME_ENTRY(FolderItemDisplayNameGetter),
       nullptr, nullptr, 0},
      {kPropertyReadOnly, "Length", &kIntegerType, RUNTIME_ENTRY(FolderItemLengthGetter), nullptr,
       nullptr, 0},
      {kPropertyReadOnly, "ResourceForkLength", &kIntegerType,
       RUNTIME_ENTRY(FolderItemResourceForkLengthGetter), nullptr, nullptr, 0},
      {0, "ExtensionVisible", &kBooleanType, RUNTIME_ENTRY(FolderItemExtensionVisibleGetter),
       RUNTIME_ENTRY(FolderItemExtensionVisibleSetter), 0},
      {0, "Locked", &kBooleanType, RUNTIME_ENTRY(FolderItemLockedGetter),
       RUNTIME_ENTRY(FolderItemLockedSetter), 0},
      {kPropertyReadOnly, "Exists", &kBooleanType, RUNTIME_ENTRY(FolderItemExistsGetter), nullptr,
       nullptr, 0},
      {kPropertyReadOnly, "Alias", &kBooleanType, RUNTIME_ENTRY(FolderItemAliasGetter), nullptr,
       nullptr, 0},
      {0, "Visible", &kBooleanType, RUNTIME_ENTRY(FolderItemVisibleGetter),
       RUNTIME_ENTRY(FolderItemVisibleSetter), 0},
      {kPropertyReadOnly, "Directory", &kBooleanType, RUNTIME_ENTRY(FolderItemDirectoryGetter),
       nullptr, nullptr, 0},
      {kPropertyReadOnly, "Type", &kStringType, RUNTIME_ENTRY(FolderItemTypeGetter), nullptr,
       nullptr, 0},
      {kPropertyReadOnly, "Parent", item, RUNTIME_ENTRY(FolderItemParentGetter), nullptr, nullptr,
       0},
      {0, "CreationDate", date, RUNTIME_ENTRY(FolderItemCreationDateGetter),
       RUNTIME_ENTRY(FolderItemCreationDateSetter), 0},
      {0, "ModificationDate", date, RUNTIME_ENTRY(FolderItemModificationDateGetter),
       RUNTIME_ENTRY(FolderItemModificationDateSetter), 0},
      {0, "MacType", &kStringType, RUNTIME_ENTRY(FolderItemMacTypeGetter),
       RUNTIME_ENTRY(FolderItemMacTypeSetter), 0},
      {0, "MacCreator", &kStringType, RUNTIME_ENTRY(FolderItemMacCreatorGetter),
       RUNTIME_ENTRY(FolderItemMacCreatorSetter), 0},
      {kPropertyReadOnly | kPropertyPassesParameter, "DesktopFolder", item,
       RUNTIME_ENTRY(FolderItemSpecialFolderGetter), nullptr, nullptr, 0x6465736B},  // 'desk'
      {kPropertyReadOnly | kPropertyPassesParameter, "TrashFolder", item,
       RUNTIME_ENTRY(FolderItemSpecialFolderGetter), nullptr, nullptr, 0x74727368},  // 'trsh'
      {kPropertyReadOnly | kPropertyPassesParameter, "SharedTrashFolder", item,
       RUNTIME_ENTRY(FolderItemSpecialFolderGetter), nullptr, nullptr, 0x656D7074},  // 'empt'
      {kPropertyReadOnly | kPropertyPassesParameter, "TemporaryFolder", item,
       RUNTIME_ENTRY(FolderItemSpecialFolderGetter), nullptr, nullptr, 0x74656D70},  // 'temp'
      {kPropertyReadOnly, "VirtualVolume", nullptr, RUNTIME_ENTRY(FolderItemVirtualVolumeGetter),
       nullptr, nullptr, 0},
      {kPropertyReadOnly, "IsReadable", &kBooleanType, RUNTIME_ENTRY(FolderItemIsReadableGetter),
       nullptr, nullptr, 0},
      {kPropertyReadOnly, "IsWriteable", &kBooleanType,
       RUNTIME_ENTRY(FolderItemIsWriteableGetter), nullptr, nullptr, 0},
      {0, "LastErrorCode", &kIntegerType, RUNTIME_ENTRY(FolderItemLastErrorCodeGetter),
       RUNTIME_ENTRY(FolderItemLastErrorCodeSetter), 0},
      {kPropertyReadOnly, "MacVRefNum", &kIntegerType, RUNTIME_ENTRY(FolderItemMacVRefNumGetter),
       nullptr, nullptr, 0},
      {kPropertyReadOnly, "MacDirID", &kIntegerType, RUNTIME_ENTRY(FolderItemMacDirIDGetter),
       nullptr, nullptr, 0},
  };
  static const ParameterRecord path[] = {{"Path", &kStringType, 0}};
  static const ParameterRecord source[] = {{"Source", item, 0}};
  static const ParameterRecord index[] = {{"Index", &kIntegerType, 0}};
  static const ParameterRecord name[] = {{"Name", &kStringType, 0}};
  static const ParameterRecord readWrite[] = {{"ReadWrite", &kBooleanType, 0}};
  static const ParameterRecord type[] = {{"Type", &kStringType, 0}};
  static const ParameterRecord activate[] = {{"Activate", &kBooleanType, 0}};
  static const ParameterRecord destination[] = {{"Destination", item, 0}};
  static const ParameterRecord saveInfoBase[] = {{"RelativeTo", item, 0},
                                                 {"Mode", &kIntegerType, 0}};
  static const ParameterRecord saveInfo[] = {{"SaveInfo", &kStringType, 0}};
  // Pictures, sounds, movies, edit fields and virtual volumes are classes of
  // later subsystems: typeLateMembers types them.
  static ParameterRecord picture[] = {{"Image", nullptr, 0}};
  static ParameterRecord pictureAndFormat[] = {{"Image", nullptr, 0}, {"Format", &kIntegerType, 0}};
  static ParameterRecord field[] = {{"Field", nullptr, 0}};
  static MethodRecord methods[] = {
      MakeMethodRecord("Constructor", nullptr, nullptr, 0, RUNTIME_ENTRY(FolderItemConstructor)),
      MakeMethodRecord("Constructor", nullptr, path, 1, RUNTIME_ENTRY(FolderItemPathConstructor)),
      MakeMethodRecord("Constructor", nullptr, source, 1, RUNTIME_ENTRY(FolderItemCopyConstructor)),
      MakeMethodRecord("Item", item, index, 1, RUNTIME_ENTRY(FolderItemItem)),
      MakeMethodRecord("TrueItem", item, index, 1, RUNTIME_ENTRY(FolderItemTrueItem)),
      MakeMethodRecord("Child", item, name, 1, RUNTIME_ENTRY(FolderItemChild)),
      MakeMethodRecord("TrueChild", item, name, 1, RUNTIME_ENTRY(FolderItemTrueChild)),
      MakeMethodRecord("OpenAsTextFile", GetTextInputStreamClassDefinition(), nullptr, 0,
                       RUNTIME_ENTRY(FolderItemOpenAsTextFile)),
      MakeMethodRecord("AppendToTextFile", GetTextOutputStreamClassDefinition(), nullptr, 0,
                       RUNTIME_ENTRY(FolderItemAppendToTextFile)),
      MakeMethodRecord("CreateTextFile", GetTextOutputStreamClassDefinition(), nullptr, 0,
                       RUNTIME_ENTRY(FolderItemCreateTextFile)),
      MakeMethodRecord("CreateVirtualVolume", nullptr, nullptr, 0,
                       RUNTIME_ENTRY(FolderItemCreateVirtualVolume)),
      MakeMethodRecord("OpenAsVirtualVolume", nullptr, nullptr, 0,
                       RUNTIME_ENTRY(FolderItemOpenAsVirtualVolume)),
      MakeMethodRecord("OpenAsBinaryFile", GetBinaryStreamClassDefinition(), readWrite, 1,
                       RUNTIME_ENTRY(FolderItemOpenBinaryFile)),
      MakeMethodRecord("CreateBinaryFile", GetBinaryStreamClassDefinition(), type, 1,
                       RUNTIME_ENTRY(FolderItemCreateBinaryFile)),
      MakeMethodRecord("OpenResourceFork", GetResourceForkClassDefinition(), nullptr, 0,
                       RUNTIME_ENTRY(FolderItemOpenResourceFork)),
      MakeMethodRecord("CreateResourceFork", GetResourceForkClassDefinition(), type, 1,
                       RUNTIME_ENTRY(FolderItemCreateResourceFork)),
      MakeMethodRecord("OpenAsPicture", nullptr, nullptr, 0, RUNTIME_ENTRY(FolderItemOpenAsPicture)),
      MakeMethodRecord("OpenAsVectorPicture", nullptr, nullptr, 0,
                       RUNTIME_ENTRY(FolderItemOpenAsVectorPicture)),
      MakeMethodRecord("OpenAsSound", nullptr, nullptr, 0, RUNTIME_ENTRY(FolderItemOpenAsSound)),
      MakeMethodRecord("OpenAsMovie", nullptr, nullptr, 0, RUNTIME_ENTRY(FolderItemOpenAsMovie)),
      MakeMethodRecord("OpenResourceMovie", nullptr, index, 1,
                       RUNTIME_ENTRY(FolderItemOpenResourceMovie)),
      MakeMethodRecord("Delete", nullptr, nullptr, 0, RUNTIME_ENTRY(FolderItemDelete)),
      MakeMethodRecord("CreateAsFolder", nullptr, nullptr, 0,
                       RUNTIME_ENTRY(FolderItemCreateAsFolder)),
      MakeMethodRecord("Launch", nullptr, activate, 1, RUNTIME_ENTRY(FolderItemLaunch)),
      MakeMethodRecord("CopyFileTo", nullptr, destination, 1, RUNTIME_ENTRY(FolderItemCopyFileTo)),
      MakeMethodRecord("MoveFileTo", nullptr, destination, 1, RUNTIME_ENTRY(FolderItemMoveFileTo)),
      MakeMethodRecord("SaveAsPicture", nullptr, pictureAndFormat, 2,
                       RUNTIME_ENTRY(FolderItemSaveAsPicture)),
      MakeMethodRecord("SaveAsJPEG", nullptr, picture, 1, RUNTIME_ENTRY(FolderItemSaveAsJPEG)),
      MakeMethodRecord("OpenStyledEditField", nullptr, field, 1,
                       RUNTIME_ENTRY(FolderItemOpenStyledEditField)),
      MakeMethodRecord("SaveStyledEditField", nullptr, field, 1,
                       RUNTIME_ENTRY(FolderItemSaveStyledEditField)),
      MakeMethodRecord("GetSaveInfo", &kStringType, saveInfoBase, 2,
                       RUNTIME_ENTRY(FolderItemGetSaveInfo)),
      MakeMethodRecord("GetRelative", item, saveInfo, 1, RUNTIME_ENTRY(FolderItemGetRelative)),
  };
  typeLateMembers = [] {
    for (const char* member : {"OpenAsPicture", "OpenAsVectorPicture"}) {
      TypeMembersByClassName(methods, member, "Picture");
    }
    TypeMembersByClassName(picture, "Image", "Picture");
    TypeMembersByClassName(pictureAndFormat, "Image", "Picture");
    TypeMembersByClassName(methods, "OpenAsSound", "Sound");
    TypeMembersByClassName(methods, "OpenAsMovie", "Movie");
    TypeMembersByClassName(field, "Field", "EditField");
    for (const char* member : {"CreateVirtualVolume", "OpenAsVirtualVolume"}) {
      TypeMembersByClassName(methods, member, "VirtualVolume");
    }
    TypeMembersByClassName(properties, "VirtualVolume", "VirtualVolume");
  };
  return FillClassDefinition(&definition, "FolderItem", sizeof(FolderItemObject), nullptr,
                             DestroyFolderItem, properties, methods);
}

}  // namespace

ObjectDefinition* GetFolderItemClassDefinition() {
  static ObjectDefinition* const definition = MakeFolderItemDefinition();
  return definition;
}

void RegisterFolderItemClass() {
  static const EntryPoint entries[] = {
      {"RuntimeGetFolderItem", reinterpret_cast<void*>(&RuntimeGetFolderItem)},
      {"RuntimeGetTrueFolderItem", reinterpret_cast<void*>(&RuntimeGetTrueFolderItem)},
      {"FolderItemGetRelative", reinterpret_cast<void*>(&FolderItemGetRelative)},
      {"TOVApathFromFolderItem", reinterpret_cast<void*>(&TOVApathFromFolderItem)},
      {"FolderItemFromPath", reinterpret_cast<void*>(&FolderItemFromPath)},
      {"FolderItemCopyAbsolutePath", reinterpret_cast<void*>(&FolderItemCopyAbsolutePath)},
      {"FolderItemImportPicture", reinterpret_cast<void*>(&FolderItemImportPicture)},
  };
  RegisterIntrinsicClass(GetFolderItemClassDefinition());
  static bool entered = false;
  if (!entered) RegisterEntryPoints(entries, sizeof entries / sizeof entries[0]);
  entered = true;
  SetDocumentItemHook(DocumentItem);
}

void TypeFileMembersOfLaterClasses() {
  GetFolderItemClassDefinition();
  typeLateMembers();
  TypeResourceForkMembers();
}

RuntimeObject* NewFolderItemWithImp(FolderItemImpPtr imp) {
  if (!imp) return nullptr;
  RuntimeObject* item = CreateInstance(GetFolderItemClassDefinition());
  if (item) Fields(item)->mImp = imp.release();
  return item;
}

FolderItemImp* FolderItemImpOf(RuntimeObject* item) {
  return ObjectIsADefinition(item, GetFolderItemClassDefinition()) ? Fields(item)->mImp : nullptr;
}

StringRecord* FolderItemPathOf(RuntimeObject* item) {
  FolderItemImp* imp = FolderItemImpOf(item);
  if (!imp) return nullptr;
  auto* win32 = dynamic_cast<FolderItemImpWin32*>(imp);
  if (win32 && win32->RefusesItsPath()) return nullptr;
  StringRef path;
  imp->GetAbsolutePath(path.out());
  return path.release();
}

bool FolderItemCopyAbsolutePathN(char* buffer, size_t size, RuntimeObject* item) {
  return CopyPathInto(buffer, size, item);
}

void InstallVirtualVolumeSlots(const VirtualVolumeSlots& slots) { virtualVolumeSlots = slots; }

// ---- Global functions and entries ----------------------------------------------------------

extern "C" {

RuntimeObject* RuntimeGetFolderItem(StringRecord* path) { return ItemOfText(path, true); }
RuntimeObject* RuntimeGetTrueFolderItem(StringRecord* path) { return ItemOfText(path, false); }

RuntimeObject* FolderItemGetRelative(RuntimeObject* item, StringRecord* saveInfo) {
  if (!item) return RuntimeGetFolderItem(saveInfo);
  FolderItemImp* base = FolderItemImpOf(item);
  if (!base) {
    RaiseNilObjectException();
    return nullptr;
  }
  return ItemLike(item, FolderItemImpWin32FromSaveInfo(saveInfo, base).release());
}

StringRecord* TOVApathFromFolderItem(RuntimeObject* item) {
  StringRecord* path = FolderItemPathOf(item);
  return path ? path : StringFromASCII("");
}

RuntimeObject* FolderItemFromPath(const char* path) { return ItemOfPath(path ? path : "", true); }

bool FolderItemCopyAbsolutePath(char* buffer, RuntimeObject* item) {
  return CopyPathInto(buffer, SIZE_MAX, item);
}

RuntimeObject* FolderItemImportPicture(RuntimeObject* item) {
  FolderItemImp* imp = Required(item, __LINE__, kObjectCondition);
  return imp ? imp->ImportPicture() : nullptr;
}

}  // extern "C"
