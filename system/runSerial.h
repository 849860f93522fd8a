// The Serial control and the SerialPort class.
//
// A Serial object opens a COM port with overlapped input and output, sets it
// up from its properties, and keeps a write buffer (bytes the program wrote
// and the port has not yet accepted) and a read buffer (bytes received and
// not yet read). The main loop ticks every Serial object once per turn
// (SerialTickAll, in the host's SerialTick slot): pending writes go on,
// received bytes are appended and DataAvailable fires. Windows failures
// become LastErrorCode plus the Error event; the one exception raised is
// UnsupportedFormatException for data bits and stop bits that do not go
// together.
//
// Serial has no superclass: its fields follow the object header in the
// order below (compiled code reaches the plain properties by offset). It is a
// non-visual control: its "CreatePane" answer makes no pane. Every Serial
// object sits in one list, newest first. Event handlers run with the object
// held, so a handler may close and release it.
//
// SerialPort describes one port found on the machine (getSerialPort).
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "core/Layout.h"
#include "core/ObjectDefinition.h"
#include "core/RuntimeObjectFoundation.h"

class ByteQueue;
struct StringRecord;
struct SerialReadRequest;
struct SerialWriteRequest;

struct SerialFields {
  RuntimeObject header;
  int16_t bits;    // data bits: 0 five, 1 six, 2 seven, other eight
  int16_t stop;    // stop bits: 1 one and a half, 2 two, other one
  int16_t parity;  // 1 odd, 2 even, other none
  int16_t port;    // 0 is COM1
  int32_t baud;    // a speed index below 50, or a bit rate
  uint8_t dtrLine;       // DataTerminalReady wanted
  uint8_t rtsLine;       // RequestToSend wanted
  uint8_t dtrHandshake;  // DTR
  uint8_t ctsFlow;       // CTS
  uint8_t xonFlow;       // XON
  uint8_t open;
  uint8_t ticking;  // the spare byte: a tick of this object is running
  RuntimeObject* serialPort;  // opened instead of Port when set (counted)
  int32_t lastErrorCode;
  HANDLE handle;  // INVALID_HANDLE_VALUE when closed
  SerialWriteRequest* writeRequest;
  SerialReadRequest* readRequest;
  uint8_t writePending;
  uint8_t readPending;
  uint8_t dataArrived;
  ByteQueue* writeBuffer;  // owned
  ByteQueue* readBuffer;   // owned
  RuntimeObject* next;     // the list of Serial objects (not counted)
  uint8_t breakOn;
};
static_assert(!kLayoutIs32Bit || offsetof(SerialFields, bits) == 24, "Bits follows the header");
static_assert(!kLayoutIs32Bit || offsetof(SerialFields, port) == 30, "Port at 30");
static_assert(!kLayoutIs32Bit || offsetof(SerialFields, baud) == 32, "Baud at 32");
static_assert(!kLayoutIs32Bit || offsetof(SerialFields, dtrLine) == 36, "line states at 36");
static_assert(!kLayoutIs32Bit || offsetof(SerialFields, xonFlow) == 40, "XON at 40");
static_assert(!kLayoutIs32Bit || offsetof(SerialFields, ticking) == 42, "spare flag at 42");
static_assert(!kLayoutIs32Bit || offsetof(SerialFields, serialPort) == 44, "SerialPort at 44");
static_assert(!kLayoutIs32Bit || offsetof(SerialFields, lastErrorCode) == 48, "LastErrorCode at 48");
static_assert(!kLayoutIs32Bit || offsetof(SerialFields, handle) == 52, "handle at 52");
static_assert(!kLayoutIs32Bit || offsetof(SerialFields, readRequest) == 60, "requests at 56");
static_assert(!kLayoutIs32Bit || offsetof(SerialFields, dataArrived) == 66, "flags at 64");
static_assert(!kLayoutIs32Bit || offsetof(SerialFields, writeBuffer) == 68, "buffers at 68");
static_assert(!kLayoutIs32Bit || offsetof(SerialFields, next) == 76, "list link at 76");
static_assert(!kLayoutIs32Bit || offsetof(SerialFields, breakOn) == 80, "break flag at 80");

struct SerialPortFields {
  RuntimeObject header;
  StringRecord* name;  // owned, as the three below
  StringRecord* inputDriverName;
  StringRecord* outputDriverName;
  int32_t ratedSpeed;
  int32_t maximumSpeed;
};
static_assert(!kLayoutIs32Bit || sizeof(SerialPortFields) == 44, "SerialPort is 44 bytes");

ObjectDefinition* GetSerialClassDefinition();
ObjectDefinition* GetSerialPortClassDefinition();
// Registers Serial and SerialPort and fills the host's SerialTick slot.
void RegisterSerialClasses();

// The object's fields after the checks of an entry: a nil object goes to
// AssertionFailed (kind 131, code 4) at (source, line) with the condition.
SerialFields* SerialArgument(RuntimeObject* serial, const char* source, int32_t line,
                             const char* condition);
// Stores the code (31 for 0) in LastErrorCode and fires Error.
void ReportSerialError(RuntimeObject* serial, DWORD code);

// Ticks every Serial object, newest first. The walk holds each object of the
// list as it was when it began; one closed or released by a handler on the
// way is not ticked.
void SerialTickAll();

extern "C" {
bool serialOpen(RuntimeObject* serial);
void serialClose(RuntimeObject* serial);
void serialReset(RuntimeObject* serial);
// Appends to the write buffer (opening the port first when needed; a failed
// open appends nothing) and makes one write attempt.
void serialWrite(RuntimeObject* serial, StringRecord* text);
// The first byteCount bytes of the read buffer after a tick ("" and nothing
// taken when byteCount < 1); ReadAll takes everything; LookAhead shows
// everything without a tick and takes nothing. Results are new strings
// tagged with the encoding (the default encoding for nil).
StringRecord* serialRead(RuntimeObject* serial, int32_t byteCount, RuntimeObject* encoding);
StringRecord* serialReadAll(RuntimeObject* serial, RuntimeObject* encoding);
StringRecord* serialLookahead(RuntimeObject* serial, RuntimeObject* encoding);
// A tick, then both buffers emptied.
void serialFlush(RuntimeObject* serial);
// On an open port: a write attempt when bytes wait, the reads that find
// bytes, then DataAvailable once when bytes arrived. Inside a handler that
// the object's own tick called, a tick (Read, ReadAll and Flush make one)
// does nothing: a fast line or a failing device would otherwise nest
// handlers without end.
void serialTick(RuntimeObject* serial);
void serialLeaveDTROnClose(RuntimeObject* serial);
// Stores the DTR (index 0) or RTS (1) state wanted; Reset sends it.
void LineStateSetter(RuntimeObject* serial, uint32_t index, uint8_t value);
int32_t GetWin32DriverHandle(RuntimeObject* serial, uint32_t parameter);
int32_t GetMacInputDriverRef(RuntimeObject* serial, uint32_t parameter);
int32_t GetMacOutputDriverRef(RuntimeObject* serial, uint32_t parameter);
int32_t GetPosixDescriptor(RuntimeObject* serial, uint32_t parameter);

// The ports COM1 to COM9 that open now: their count, and a new SerialPort
// (the caller's) for the (index + 1)-th of them, nil when there is none.
int32_t getSerialPortCount();
RuntimeObject* getSerialPort(int32_t index);
}
