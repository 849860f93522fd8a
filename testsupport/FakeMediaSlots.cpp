// The recording media slots.
#include "testsupport/FakeMediaSlots.h"

#include <cstring>

#include "core/ObjectDefinition.h"
#include "core/RuntimeObjectFoundation.h"
#include "core/utility.h"

namespace {

FakeMediaSlots* current = nullptr;

struct SoundObject {
  RuntimeObject header;
  FakeMediaSlots::Sound sound;
};

void DestroySound(RuntimeObject* object) {
  FakeMediaSlots::Sound& sound = ObjectFields<SoundObject>(object)->sound;
  HeapRelease(sound.data);
  RuntimeUnlockObject(sound.item);
}

ObjectDefinition* SoundDefinition() {
  static ObjectDefinition definition;
  if (!definition.name) {
    ObjectDefinitionSetName(&definition, "FakeSound");
    definition.instanceSize = sizeof(SoundObject);
    definition.destructor = DestroySound;
  }
  return &definition;
}

std::string CodeText(uint32_t code) {
  const char bytes[4] = {char(code >> 24), char(code >> 16), char(code >> 8), char(code)};
  return std::string(bytes, 4);
}

void Log(const std::string& call) { current->calls.push_back(call); }

QuickTimeHandle NewHandle(int32_t size) {
  Log("newHandle " + std::to_string(size));
  auto* handle = new char*;
  std::string& block = current->handles[handle];
  block.resize(size_t(size));
  *handle = &block[0];
  return handle;
}

int32_t HandleSize(QuickTimeHandle handle) { return int32_t(current->handles.at(handle).size()); }

void DisposeHandle(QuickTimeHandle handle) {
  current->handles.erase(handle);
  delete handle;
}

MediaSlots FakeSlots() {
  MediaSlots slots;
  slots.newSound = [](void* data, int32_t length) {
    RuntimeObject* object = CreateInstance(SoundDefinition());
    ObjectFields<SoundObject>(object)->sound = {static_cast<uint8_t*>(data), length, nullptr};
    return object;
  };
  slots.setSoundItem = [](RuntimeObject* sound, RuntimeObject* item) {
    RuntimeLockObject(item);
    ObjectFields<SoundObject>(sound)->sound.item = item;
  };
  slots.quickTimeAvailable = [] { return true; };
  slots.pictureImportReady = [] { return true; };
  slots.fileSpecOfPath = [](const char* path, QuickTimeFileSpec*) -> int16_t {
    Log(std::string("fileSpecOfPath ") + path);
    return 0;
  };
  slots.pictureToQuickTimePicture = [](RuntimeObject*) {
    QuickTimeHandle pict = NewHandle(int32_t(current->pict.size()));
    std::memcpy(*pict, current->pict.data(), current->pict.size());
    return pict;
  };
  slots.newHandle = NewHandle;
  slots.handleSize = HandleSize;
  slots.disposeHandle = DisposeHandle;
  slots.openDefaultComponent = [](uint32_t type, uint32_t subType, void** component) -> int16_t {
    Log("openDefaultComponent " + CodeText(type) + " " + CodeText(subType));
    *component = current;
    return 0;
  };
  slots.setImporterData = [](void*, QuickTimeHandle data) -> int32_t {
    current->importerData.assign(*data, size_t(HandleSize(data)));
    return 0;
  };
  slots.exportImageFile = [](void*, uint32_t type, uint32_t creator, const QuickTimeFileSpec*,
                             int16_t script) {
    Log("exportImageFile " + CodeText(type) + " " + std::to_string(creator) + " " +
        std::to_string(script));
    return current->exportAnswer;
  };
  slots.closeComponent = [](void*) -> int16_t {
    Log("closeComponent");
    return 0;
  };
  slots.hasNativeControl = [](RuntimeObject*) { return true; };
  slots.loadStyledText = [](RuntimeObject*, const char* path) {
    Log(std::string("loadStyledText ") + path);
    return current->styledTextAnswer;
  };
  slots.saveStyledText = [](RuntimeObject*, const char* path) {
    Log(std::string("saveStyledText ") + path);
    return current->styledTextAnswer;
  };
  return slots;
}

}  // namespace

FakeMediaSlots::FakeMediaSlots() : previous_(InstallMediaSlots(FakeSlots())) { current = this; }

FakeMediaSlots::~FakeMediaSlots() {
  InstallMediaSlots(previous_);
  current = nullptr;
}

const FakeMediaSlots::Sound* FakeMediaSlots::SoundOf(RuntimeObject* object) {
  return ObjectIsADefinition(object, SoundDefinition()) ? &ObjectFields<SoundObject>(object)->sound
                                                         : nullptr;
}
