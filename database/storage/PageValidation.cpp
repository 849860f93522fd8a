#include "database/storage/PageValidation.h"

#include "database/storage/PageFormat.h"
#include "database/storage/Record.h"

namespace {

uint32_t MinimumEntryLength(uint32_t kind) {
  switch (kind) {
    case kDBKindTableLeaf: return kDBRecordFieldsAt;
    case kDBKindDirectoryLeaf: return kDBDirectoryNameAt;
    default: return kDBInteriorKeyAt;
  }
}

bool EntryIsValid(uint32_t kind, const uint8_t* entry, uint32_t length, uint32_t pageCount) {
  const uint8_t state = EntryState(entry);
  if (state != kDBEntryLive && state != kDBEntryDeleted) return false;
  switch (kind) {
    case kDBKindTableLeaf: return RecordFieldsValid(entry);
    case kDBKindDirectoryLeaf:
      return DirectoryNameLength(entry) == length - kDBDirectoryNameAt &&
             DirectoryRecordRoot(entry) < pageCount;
    default: return InteriorChild(entry) < pageCount;
  }
}

}  // namespace

bool PageIsValid(const uint8_t* page, uint32_t pageCount) {
  const uint32_t kind = PageKind(page);
  if (kind != kDBKindTableLeaf && kind != kDBKindDirectoryLeaf && kind != kDBKindInterior)
    return false;
  const uint32_t used = PageUsed(page);
  if (used > kDBPageDataSize) return false;
  const uint8_t* data = PageData(page);
  const uint32_t minimum = MinimumEntryLength(kind);
  uint32_t offset = 0;
  while (offset < used) {
    if (used - offset < 2) return false;
    const uint32_t length = EntryLength(data + offset);
    if (length < minimum || length > used - offset) return false;
    if (!EntryIsValid(kind, data + offset, length, pageCount)) return false;
    offset += length;
  }
  return true;
}

#ifdef _WINDOWS_
#error "The storage core stays portable: no <windows.h>."
#endif
