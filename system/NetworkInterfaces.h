// The machine's IPv4 network interfaces by index, from the IP helper library
// ("iphlpapi.dll", loaded by name on first use), and the host's own address
// from the legacy Winsock table's host-name look-up.
//
// Index -1 means "no interface chosen" and reads the first adapter. Addresses
// are 32-bit numbers in host order, the first dotted field in the most
// significant byte. Every query fails soft: an interface not found or a
// missing library gives the fallback named below, never an error.
#pragma once
#include <cstdint>

struct _IP_ADAPTER_INFO;
struct StringRecord;

// The index of the last interface: the adapters GetAdaptersInfo lists, minus
// one (-1 when it lists none or fails). Only a library without
// GetAdaptersInfo is asked GetNumberOfInterfaces: -1 when the library is
// missing or the call fails, 0 when it lacks that function too, else the
// count minus one.
int32_t GetLastInterfaceIndex();
// How many interfaces the System object reports: GetLastInterfaceIndex + 1.
int32_t GetNetworkInterfaceCount();

// Copies the adapter record at the index (the platform's 640-byte record)
// into *record; false when there is no such adapter.
bool GetAdapterRecord(_IP_ADAPTER_INFO* record, int32_t index);
// The first address of the interface; GetLocalHostAddress when not found.
uint32_t GetInterfaceIPAddress(int32_t index);
// The mask of the interface's first address; 0 when not found.
uint32_t GetInterfaceSubnetMask(int32_t index);
// The hardware address as upper-case hex pairs joined by ":" ("" when the
// adapter has none); nil when not found. A new string, the caller's.
StringRecord* GetInterfaceMACAddress(int32_t index);
// 255.255.255.255 whatever the index.
uint32_t GetInterfaceBroadcastAddress(int32_t index);
// The first address the host's own name resolves to; 127.0.0.1 when the
// name cannot be had or does not resolve.
uint32_t GetLocalHostAddress();

// Four fields split at ".", each read as a decimal integer (leading blanks,
// a sign, digits; a missing or empty field is 0) and added after a shift of
// 24, 16, 8 and 0 bits: a field above 255 adds into the higher bytes.
uint32_t ParseDottedQuad(const char* text);

// The dotted text of an address (a new string, the caller's).
StringRecord* DottedAddressText(uint32_t address);
