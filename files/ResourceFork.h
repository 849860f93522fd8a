// The language's ResourceFork: the interface of a classic resource file. This
// platform has no resource forks, so every member is an empty body:
// value-returning members give 0, nil or false, the others do nothing.
#pragma once
#include <cstdint>

#include "core/RuntimeObjectFoundation.h"

struct ObjectDefinition;
struct StringRecord;

ObjectDefinition* GetResourceForkClassDefinition();
// Start-up, once the classes are registered: GetPicture, GetNamedPicture and
// AddPicture's picture take the class "Picture", GetSound "Sound", getCursor
// "MouseCursor"; a class not registered leaves its member untyped.
void TypeResourceForkMembers();

// The attribute bits the five attribute members stand for.
enum ResourceAttributeBit : uint32_t {
  kResourcePreload = 0x04,
  kResourceProtected = 0x08,
  kResourceLocked = 0x10,
  kResourcePurgeable = 0x20,
  kResourceSysHeap = 0x40,
};

extern "C" {
int32_t resourceForkTypeCount(RuntimeObject* self, uint32_t parameter);
void resourceForkClose(RuntimeObject* self);
StringRecord* resourceForkResourceType(RuntimeObject* self, int32_t index);
StringRecord* resourceForkGetResource(RuntimeObject* self, StringRecord* type, int32_t id);
StringRecord* resourceForkGetNamedResource(RuntimeObject* self, StringRecord* type,
                                           StringRecord* name);
int32_t resourceForkResourceCount(RuntimeObject* self, StringRecord* type);
int32_t resourceForkResourceID(RuntimeObject* self, StringRecord* type, int32_t index);
StringRecord* resourceForkResourceName(RuntimeObject* self, StringRecord* type, int32_t index);
void resourceForkAddResource(RuntimeObject* self, StringRecord* data, StringRecord* type,
                             int32_t id, StringRecord* name);
void resourceForkAddPicture(RuntimeObject* self, RuntimeObject* picture, int32_t id,
                            StringRecord* name);
void resourceForkRemoveResource(RuntimeObject* self, StringRecord* type, int32_t id);
RuntimeObject* resourceForkGetPicture(RuntimeObject* self, int32_t id);
RuntimeObject* resourceForkGetSound(RuntimeObject* self, int32_t id);
RuntimeObject* resourceForkGetNamedPicture(RuntimeObject* self, StringRecord* name);
RuntimeObject* resourceForkGetCicn(RuntimeObject* self, int32_t id);
RuntimeObject* resourceForkGetIcl(RuntimeObject* self, int32_t id);
RuntimeObject* resourceForkGetIcs(RuntimeObject* self, int32_t id);
RuntimeObject* resourceForkGetCursor(RuntimeObject* self, int32_t id);
int32_t resourceForkGetHandle(RuntimeObject* self, StringRecord* type, int32_t id);
void resourceForkReleaseHandle(RuntimeObject* self, int32_t handle);
bool resourceForkGetLocked(RuntimeObject* self, StringRecord* type, int32_t id);
void resourceForkSetLocked(RuntimeObject* self, StringRecord* type, int32_t id, bool value);
bool resourceForkGetProtected(RuntimeObject* self, StringRecord* type, int32_t id);
void resourceForkSetProtected(RuntimeObject* self, StringRecord* type, int32_t id, bool value);
bool resourceForkGetPreload(RuntimeObject* self, StringRecord* type, int32_t id);
void resourceForkSetPreload(RuntimeObject* self, StringRecord* type, int32_t id, bool value);
bool resourceForkGetPurgeable(RuntimeObject* self, StringRecord* type, int32_t id);
void resourceForkSetPurgeable(RuntimeObject* self, StringRecord* type, int32_t id, bool value);
bool resourceForkGetSysHeap(RuntimeObject* self, StringRecord* type, int32_t id);
void resourceForkSetSysHeap(RuntimeObject* self, StringRecord* type, int32_t id, bool value);
}
