// ResourceFork: the class definition and its empty members.
#include "files/ResourceFork.h"

#include "core/ObjectDefinition.h"
#include "files/LateMemberTypes.h"
#include "files/StreamObject.h"

namespace {

void (*typeLateMembers)() = nullptr;

// The common bodies of the attribute members: no resource has attributes.
bool ResourceAttribute(uint32_t) { return false; }
void SetResourceAttribute(uint32_t, bool) {}

ObjectDefinition* MakeResourceForkDefinition() {
  static ObjectDefinition definition;
  static const PropertyRecord properties[] = {
      {kPropertyReadOnly, "TypeCount", &kIntegerType, RUNTIME_ENTRY(resourceForkTypeCount), nullptr,
       nullptr, 0},
  };
  static const ParameterRecord index[] = {{"index", &kIntegerType, 0}};
  static const ParameterRecord id[] = {{"id", &kIntegerType, 0}};
  static const ParameterRecord name[] = {{"name", &kStringType, 0}};
  static const ParameterRecord type[] = {{"type", &kStringType, 0}};
  static const ParameterRecord typeAndId[] = {{"type", &kStringType, 0}, {"id", &kIntegerType, 0}};
  static const ParameterRecord typeAndName[] = {{"type", &kStringType, 0},
                                                {"name", &kStringType, 0}};
  static const ParameterRecord typeAndIndex[] = {{"type", &kStringType, 0},
                                                 {"index", &kIntegerType, 0}};
  static const ParameterRecord addResource[] = {{"data", &kStringType, 0},
                                                {"type", &kStringType, 0},
                                                {"id", &kIntegerType, 0},
                                                {"name", &kStringType, 0}};
  static const ParameterRecord handle[] = {{"handle", &kIntegerType, 0}};
  // The picture, sound and cursor classes belong to later subsystems:
  // TypeResourceForkMembers types those members.
  static ParameterRecord addPicture[] = {
      {"picture", nullptr, 0}, {"id", &kIntegerType, 0}, {"name", &kStringType, 0}};
  static MethodRecord methods[] = {
      MakeMethodRecord("Close", nullptr, nullptr, 0, RUNTIME_ENTRY(resourceForkClose)),
      MakeMethodRecord("ResourceType", &kStringType, index, 1,
                       RUNTIME_ENTRY(resourceForkResourceType)),
      MakeMethodRecord("GetResource", &kStringType, typeAndId, 2,
                       RUNTIME_ENTRY(resourceForkGetResource)),
      MakeMethodRecord("GetNamedResource", &kStringType, typeAndName, 2,
                       RUNTIME_ENTRY(resourceForkGetNamedResource)),
      MakeMethodRecord("ResourceCount", &kIntegerType, type, 1,
                       RUNTIME_ENTRY(resourceForkResourceCount)),
      MakeMethodRecord("ResourceID", &kIntegerType, typeAndIndex, 2,
                       RUNTIME_ENTRY(resourceForkResourceID)),
      MakeMethodRecord("ResourceName", &kStringType, typeAndIndex, 2,
                       RUNTIME_ENTRY(resourceForkResourceName)),
      MakeMethodRecord("AddResource", nullptr, addResource, 4,
                       RUNTIME_ENTRY(resourceForkAddResource)),
      MakeMethodRecord("AddPicture", nullptr, addPicture, 3, RUNTIME_ENTRY(resourceForkAddPicture)),
      MakeMethodRecord("RemoveResource", nullptr, typeAndId, 2,
                       RUNTIME_ENTRY(resourceForkRemoveResource)),
      MakeMethodRecord("GetPicture", nullptr, id, 1, RUNTIME_ENTRY(resourceForkGetPicture)),
      MakeMethodRecord("GetSound", nullptr, id, 1, RUNTIME_ENTRY(resourceForkGetSound)),
      MakeMethodRecord("GetNamedPicture", nullptr, name, 1,
                       RUNTIME_ENTRY(resourceForkGetNamedPicture)),
      MakeMethodRecord("Getcicn", nullptr, id, 1, RUNTIME_ENTRY(resourceForkGetCicn)),
      MakeMethodRecord("Geticl", nullptr, id, 1, RUNTIME_ENTRY(resourceForkGetIcl)),
      MakeMethodRecord("Getics", nullptr, id, 1, RUNTIME_ENTRY(resourceForkGetIcs)),
      MakeMethodRecord("getCursor", nullptr, id, 1, RUNTIME_ENTRY(resourceForkGetCursor)),
      MakeMethodRecord("GetHandle", &kIntegerType, typeAndId, 2,
                       RUNTIME_ENTRY(resourceForkGetHandle)),
      MakeMethodRecord("ReleaseHandle", nullptr, handle, 1,
                       RUNTIME_ENTRY(resourceForkReleaseHandle)),
      MakeMethodRecord("ResourceLocked", &kBooleanType, typeAndId, 2,
                       RUNTIME_ENTRY(resourceForkGetLocked), RUNTIME_ENTRY(resourceForkSetLocked)),
      MakeMethodRecord("ResourceProtected", &kBooleanType, typeAndId, 2,
                       RUNTIME_ENTRY(resourceForkGetProtected),
                       RUNTIME_ENTRY(resourceForkSetProtected)),
      MakeMethodRecord("ResourcePreload", &kBooleanType, typeAndId, 2,
                       RUNTIME_ENTRY(resourceForkGetPreload),
                       RUNTIME_ENTRY(resourceForkSetPreload)),
      MakeMethodRecord("ResourcePurgeable", &kBooleanType, typeAndId, 2,
                       RUNTIME_ENTRY(resourceForkGetPurgeable),
                       RUNTIME_ENTRY(resourceForkSetPurgeable)),
      MakeMethodRecord("ResourceSysHeap", &kBooleanType, typeAndId, 2,
                       RUNTIME_ENTRY(resourceForkGetSysHeap),
                       RUNTIME_ENTRY(resourceForkSetSysHeap)),
  };
  typeLateMembers = [] {
    TypeMembersByClassName(methods, "GetPicture", "Picture");
    TypeMembersByClassName(methods, "GetNamedPicture", "Picture");
    TypeMembersByClassName(addPicture, "picture", "Picture");
    TypeMembersByClassName(methods, "GetSound", "Sound");
    TypeMembersByClassName(methods, "getCursor", "MouseCursor");
  };
  return FillClassDefinition(&definition, "ResourceFork", sizeof(RuntimeObject), nullptr,
                             resourceForkClose, properties, methods);
}

}  // namespace

ObjectDefinition* GetResourceForkClassDefinition() {
  static ObjectDefinition* const definition = MakeResourceForkDefinition();
  return definition;
}

void TypeResourceForkMembers() {
  GetResourceForkClassDefinition();
  typeLateMembers();
}

extern "C" {

int32_t resourceForkTypeCount(RuntimeObject*, uint32_t) { return 0; }
void resourceForkClose(RuntimeObject*) {}
StringRecord* resourceForkResourceType(RuntimeObject*, int32_t) { return nullptr; }
StringRecord* resourceForkGetResource(RuntimeObject*, StringRecord*, int32_t) { return nullptr; }
StringRecord* resourceForkGetNamedResource(RuntimeObject*, StringRecord*, StringRecord*) {
  return nullptr;
}
int32_t resourceForkResourceCount(RuntimeObject*, StringRecord*) { return 0; }
int32_t resourceForkResourceID(RuntimeObject*, StringRecord*, int32_t) { return 0; }
StringRecord* resourceForkResourceName(RuntimeObject*, StringRecord*, int32_t) { return nullptr; }
void resourceForkAddResource(RuntimeObject*, StringRecord*, StringRecord*, int32_t,
                             StringRecord*) {}
void resourceForkAddPicture(RuntimeObject*, RuntimeObject*, int32_t, StringRecord*) {}
void resourceForkRemoveResource(RuntimeObject*, StringRecord*, int32_t) {}
RuntimeObject* resourceForkGetPicture(RuntimeObject*, int32_t) { return nullptr; }
RuntimeObject* resourceForkGetSound(RuntimeObject*, int32_t) { return nullptr; }
RuntimeObject* resourceForkGetNamedPicture(RuntimeObject*, StringRecord*) { return nullptr; }
RuntimeObject* resourceForkGetCicn(RuntimeObject*, int32_t) { return nullptr; }
RuntimeObject* resourceForkGetIcl(RuntimeObject*, int32_t) { return nullptr; }
RuntimeObject* resourceForkGetIcs(RuntimeObject*, int32_t) { return nullptr; }
RuntimeObject* resourceForkGetCursor(RuntimeObject*, int32_t) { return nullptr; }
int32_t resourceForkGetHandle(RuntimeObject*, StringRecord*, int32_t) { return 0; }
void resourceForkReleaseHandle(RuntimeObject*, int32_t) {}

#define ATTRIBUTE_MEMBERS(Name, bit)                                                  \
  bool resourceForkGet##Name(RuntimeObject*, StringRecord*, int32_t) {                \
    return ResourceAttribute(bit);                                                    \
  }                                                                                   \
  void resourceForkSet##Name(RuntimeObject*, StringRecord*, int32_t, bool value) {    \
    SetResourceAttribute(bit, value);                                                 \
  }
ATTRIBUTE_MEMBERS(Locked, kResourceLocked)
ATTRIBUTE_MEMBERS(Protected, kResourceProtected)
ATTRIBUTE_MEMBERS(Preload, kResourcePreload)
ATTRIBUTE_MEMBERS(Purgeable, kResourcePurgeable)
ATTRIBUTE_MEMBERS(SysHeap, kResourceSysHeap)
#undef ATTRIBUTE_MEMBERS

}  // extern "C"
