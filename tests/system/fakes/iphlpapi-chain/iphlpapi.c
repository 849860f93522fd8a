/* An IP helper library with a canned adapter chain (empty when
   FAKE_ADAPTERS_EMPTY is set): 10.0.0.1/255.255.255.0 with the hardware
   address 00-1A-2B-3C-4D-5E; 192.168.7.9/255.255.0.0; 0.0.0.0 without a
   hardware address. GetNumberOfInterfaces answers 0, as the platform's own
   does; the routing queries the host-name look-up makes are not supported. */
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <stdlib.h>
#include <string.h>

#define ADAPTER_COUNT 3

struct CannedAdapter {
  const char* address;
  const char* mask;
  UINT hardwareLength;
  BYTE hardware[6];
};

static const struct CannedAdapter canned[ADAPTER_COUNT] = {
    {"10.0.0.1", "255.255.255.0", 6, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}},
    {"192.168.7.9", "255.255.0.0", 6, {0x02, 0x00, 0x5E, 0x10, 0x20, 0x30}},
    {"0.0.0.0", "0.0.0.0", 0, {0}},
};

DWORD WINAPI GetAdaptersInfo(PIP_ADAPTER_INFO info, PULONG size) {
  const ULONG needed = ADAPTER_COUNT * sizeof(IP_ADAPTER_INFO);
  const char* empty = getenv("FAKE_ADAPTERS_EMPTY");
  int i;
  if (!size) return ERROR_INVALID_PARAMETER;
  if (empty && *empty) return ERROR_NO_DATA;
  if (!info || *size < needed) {
    *size = needed;
    return ERROR_BUFFER_OVERFLOW;
  }
  memset(info, 0, needed);
  for (i = 0; i < ADAPTER_COUNT; ++i) {
    IP_ADAPTER_INFO* adapter = &info[i];
    adapter->Next = i + 1 < ADAPTER_COUNT ? &info[i + 1] : NULL;
    adapter->Index = (DWORD)(i + 1);
    adapter->AddressLength = canned[i].hardwareLength;
    memcpy(adapter->Address, canned[i].hardware, sizeof canned[i].hardware);
    strcpy(adapter->IpAddressList.IpAddress.String, canned[i].address);
    strcpy(adapter->IpAddressList.IpMask.String, canned[i].mask);
  }
  return NO_ERROR;
}

DWORD WINAPI GetNumberOfInterfaces(PDWORD count) {
  if (!count) return ERROR_INVALID_PARAMETER;
  *count = 0;
  return NO_ERROR;
}

DWORD WINAPI GetIpAddrTable(PMIB_IPADDRTABLE table, PULONG size, BOOL order) {
  (void)table;
  (void)size;
  (void)order;
  return ERROR_NOT_SUPPORTED;
}

DWORD WINAPI GetIpForwardTable(PMIB_IPFORWARDTABLE table, PULONG size, BOOL order) {
  (void)table;
  (void)size;
  (void)order;
  return ERROR_NOT_SUPPORTED;
}

DWORD WINAPI GetBestRoute(DWORD destination, DWORD source, PMIB_IPFORWARDROW route) {
  (void)destination;
  (void)source;
  (void)route;
  return ERROR_NOT_SUPPORTED;
}
