// Adapter records from GetAdaptersInfo and the host-name address.
#include "system/NetworkInterfaces.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "core/basicstr.h"
#include "core/string.h"
#include "system/DynLib.h"
#include "system/WinsockShim.h"

static_assert(!kLayoutIs32Bit || sizeof(IP_ADAPTER_INFO) == 640,
              "the adapter record is the platform's 640 bytes");

namespace {

constexpr uint32_t kLoopbackAddress = 0x7F000001;
constexpr uint32_t kAllOnes = 0xFFFFFFFF;
constexpr int kHostNameBufferSize = 255;

struct IpHelper {
  DynLib library{"iphlpapi.dll"};
  DynFunction<decltype(&::GetNumberOfInterfaces)> getNumberOfInterfaces{library,
                                                                        "GetNumberOfInterfaces"};
  DynFunction<decltype(&::GetAdaptersInfo)> getAdaptersInfo{library, "GetAdaptersInfo"};
};

IpHelper& Helper() {
  static IpHelper helper;
  return helper;
}

struct GlobalFreer {
  void operator()(void* block) const { GlobalFree(block); }
};

// The adapter list in a zero-filled block, and how many records fit in it
// (a bound on the walk, whatever the list's links say).
struct AdapterList {
  std::unique_ptr<IP_ADAPTER_INFO, GlobalFreer> head;
  size_t capacity = 0;
};

AdapterList FetchAdapters() {
  AdapterList list;
  const auto getAdaptersInfo = Helper().getAdaptersInfo.Get();
  ULONG size = 0;
  if (!getAdaptersInfo || getAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW) return list;
  list.head.reset(static_cast<IP_ADAPTER_INFO*>(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, size)));
  if (!list.head || getAdaptersInfo(list.head.get(), &size) != NO_ERROR) {
    list.head.reset();
    return list;
  }
  list.capacity = size / sizeof(IP_ADAPTER_INFO);
  return list;
}

// The index-th adapter of the list (0 first); null when the list is shorter.
const IP_ADAPTER_INFO* AdapterAt(const AdapterList& list, int32_t index) {
  const IP_ADAPTER_INFO* adapter = list.head.get();
  for (size_t i = 0; adapter && i < list.capacity; ++i, adapter = adapter->Next) {
    if (int32_t(i) == index) return adapter;
  }
  return nullptr;
}

int32_t CountAdapters(const AdapterList& list) {
  int32_t count = 0;
  for (const IP_ADAPTER_INFO* adapter = list.head.get(); adapter && size_t(count) < list.capacity;
       adapter = adapter->Next) {
    ++count;
  }
  return count;
}

// A 16-character text field of the record, which need not end in a NUL.
uint32_t ParseAddressField(const char (&field)[16]) {
  return ParseDottedQuad(std::string(field, strnlen(field, sizeof field)).c_str());
}

uint32_t HostOrderOf(const char* networkBytes) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(networkBytes);
  return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 |
         uint32_t(bytes[3]);
}

}  // namespace

int32_t GetLastInterfaceIndex() {
  IpHelper& helper = Helper();
  if (helper.getAdaptersInfo.Get()) return CountAdapters(FetchAdapters()) - 1;
  if (!helper.library.Load()) return -1;
  const auto getNumberOfInterfaces = helper.getNumberOfInterfaces.Get();
  if (!getNumberOfInterfaces) return 0;
  DWORD count = 0;
  if (getNumberOfInterfaces(&count) != NO_ERROR) return -1;
  return int32_t(count) - 1;
}

int32_t GetNetworkInterfaceCount() { return GetLastInterfaceIndex() + 1; }

bool GetAdapterRecord(IP_ADAPTER_INFO* record, int32_t index) {
  if (index == -1) index = 0;
  const AdapterList list = FetchAdapters();
  const IP_ADAPTER_INFO* adapter = AdapterAt(list, index);
  if (!adapter) return false;
  std::memcpy(record, adapter, sizeof *record);
  return true;
}

uint32_t GetInterfaceIPAddress(int32_t index) {
  IP_ADAPTER_INFO record{};
  if (!GetAdapterRecord(&record, index)) return GetLocalHostAddress();
  return ParseAddressField(record.IpAddressList.IpAddress.String);
}

uint32_t GetInterfaceSubnetMask(int32_t index) {
  IP_ADAPTER_INFO record{};
  if (!GetAdapterRecord(&record, index)) return 0;
  return ParseAddressField(record.IpAddressList.IpMask.String);
}

StringRecord* GetInterfaceMACAddress(int32_t index) {
  IP_ADAPTER_INFO record{};
  if (!GetAdapterRecord(&record, index)) return nullptr;
  static const char kHexDigits[] = "0123456789ABCDEF";
  const UINT length = record.AddressLength < MAX_ADAPTER_ADDRESS_LENGTH
                          ? record.AddressLength
                          : UINT(MAX_ADAPTER_ADDRESS_LENGTH);
  std::string text;
  for (UINT i = 0; i < length; ++i) {
    if (i > 0) text += ':';
    text += kHexDigits[record.Address[i] >> 4];
    text += kHexDigits[record.Address[i] & 0xF];
  }
  return NewString(text, kEncodingASCII);
}

uint32_t GetInterfaceBroadcastAddress(int32_t) { return kAllOnes; }

uint32_t GetLocalHostAddress() {
  char name[kHostNameBufferSize + 1] = {};
  if (LegacyGetHostName(name, kHostNameBufferSize) != 0) return kLoopbackAddress;
  const hostent* host = LegacyGetHostByName(name);
  if (!host || host->h_addrtype != AF_INET || host->h_length != 4 || !host->h_addr_list ||
      !host->h_addr_list[0]) {
    return kLoopbackAddress;
  }
  return HostOrderOf(host->h_addr_list[0]);
}

StringRecord* DottedAddressText(uint32_t address) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned(address >> 24),
                unsigned(address >> 16 & 0xFF), unsigned(address >> 8 & 0xFF),
                unsigned(address & 0xFF));
  return StringFromASCII(text);
}

uint32_t ParseDottedQuad(const char* text) {
  uint32_t address = 0;
  const char* field = text ? text : "";
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char* end = std::strchr(field, '.');
    const std::string digits = end ? std::string(field, end) : std::string(field);
    address += uint32_t(CStringToInt(digits.c_str())) << shift;
    field = end ? end + 1 : field + std::strlen(field);
  }
  return address;
}
