// The recording media slots.
#include "testsupport/FakeMediaSlots.h"

#include <cstdio>
#include <cstring>

#include "core/ObjectDefinition.h"
#include "core/RuntimeObjectFoundation.h"
#include "core/utility.h"
#include "files/FileTypes.h"

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

template <class Answer>
Answer Logged(const std::string& call, Answer answer) {
  current->calls.push_back(call);
  return answer;
}

QuickTimeHandle NewHandle(int32_t size) {
  auto* handle = Logged("newHandle " + std::to_string(size), new char*);
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
  slots.fileSpecOfPath = [](const char* path, QuickTimeFileSpec*) {
    current->specPath = path;
    return Logged(std::string("fileSpecOfPath ") + path, int16_t(0));
  };
  slots.pictureToQuickTimePicture = [](RuntimeObject*) {
    QuickTimeHandle pict = NewHandle(int32_t(current->pict.size()));
    std::memcpy(*pict, current->pict.data(), current->pict.size());
    return pict;
  };
  slots.newHandle = NewHandle;
  slots.handleSize = HandleSize;
  slots.disposeHandle = DisposeHandle;
  slots.openDefaultComponent = [](uint32_t type, uint32_t subType, void** component) {
    *component = current;
    return Logged("openDefaultComponent " + BytesOfFourCharCode(type) + " " +
                      BytesOfFourCharCode(subType),
                  int16_t(0));
  };
  slots.setImporterData = [](void*, QuickTimeHandle data) -> int32_t {
    current->importerData.assign(*data, size_t(HandleSize(data)));
    return 0;
  };
  slots.exportImageFile = [](void*, uint32_t type, uint32_t creator, const QuickTimeFileSpec*,
                             int16_t script) {
    if (current->exportAnswer == 0) {
      FILE* file = fopen(current->specPath.c_str(), "wb");
      fwrite(current->exported.data(), 1, current->exported.size(), file);
      fclose(file);
    }
    return Logged("exportImageFile " + BytesOfFourCharCode(type) + " " + std::to_string(creator) +
                      " " + std::to_string(script),
                  current->exportAnswer);
  };
  slots.closeComponent = [](void*) { return Logged("closeComponent", int16_t(0)); };
  slots.hasNativeControl = [](RuntimeObject*) { return true; };
  slots.loadStyledText = [](RuntimeObject*, const char* path) {
    return Logged(std::string("loadStyledText ") + path, current->styledTextAnswer);
  };
  slots.saveStyledText = [](RuntimeObject*, const char* path) {
    return Logged(std::string("saveStyledText ") + path, current->styledTextAnswer);
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
