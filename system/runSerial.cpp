#include "system/runSerial.h"

#include <vector>

#include "core/InstanceArgument.h"
#include "core/SmartRef.h"
#include "core/TextEncoding.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "host/runtimemainloop.h"
#include "system/ByteQueue.h"
#include "system/win32serial.h"

namespace {

constexpr const char* kSource = "runSerial";
constexpr int32_t kSerialPortSpeed = 115200;

RuntimeObject* newestSerial = nullptr;

EventRecord serialEvents[] = {
    {0, "DataAvailable", "", nullptr, 0},
    {0, "Error", "", nullptr, 0},
};
const EventRecord& kDataAvailable = serialEvents[0];
const EventRecord& kError = serialEvents[1];

SerialFields* FieldsOf(RuntimeObject* serial) { return ObjectFields<SerialFields>(serial); }

SerialFields* CheckedSerial(RuntimeObject* serial, int32_t line) {
  return InstanceArgument<SerialFields>(serial, GetSerialClassDefinition(), kSource, line,
                                        "ObjectIsADefinition(serial, Serial)");
}

void Fire(RuntimeObject* serial, const EventRecord& event) {
  if (EventHandler handler = FindEventHandler(serial, &event)) {
    ObjectRef hold = ObjectRef::Retain(serial);
    reinterpret_cast<void (*)(RuntimeObject*)>(handler)(serial);
  }
}

void InitialiseSerial(RuntimeObject* serial) {
  SerialFields* fields = FieldsOf(serial);
  fields->bits = 3;
  fields->baud = 13;
  fields->rtsLine = 1;
  fields->handle = INVALID_HANDLE_VALUE;
  fields->writeBuffer = new ByteQueue;
  fields->readBuffer = new ByteQueue;
  fields->next = newestSerial;
  newestSerial = serial;
}

void DestroySerial(RuntimeObject* serial) {
  SerialFields* fields = FieldsOf(serial);
  CloseSerialPort(fields);
  delete fields->writeBuffer;
  delete fields->readBuffer;
  RuntimeUnlockObject(fields->serialPort);
  for (RuntimeObject** link = &newestSerial; *link; link = &FieldsOf(*link)->next) {
    if (*link == serial) {
      *link = fields->next;
      break;
    }
  }
}

void DestroySerialPort(RuntimeObject* port) {
  SerialPortFields* fields = ObjectFields<SerialPortFields>(port);
  StringRecordRelease(fields->name);
  StringRecordRelease(fields->inputDriverName);
  StringRecordRelease(fields->outputDriverName);
}

// A non-visual control: the window's panes are made without one of ours.
void CreateNoPane(RuntimeObject*) {}

// The port to open: the SerialPort's input driver when one is set, else
// COM<Port + 1>.
std::string PortNameOf(SerialFields* fields) {
  if (!fields->serialPort) return SerialPortName(int32_t(fields->port) + 1);
  if (!ObjectIsADefinition(fields->serialPort, GetSerialPortClassDefinition())) return "";
  return StringToStdUTF8(ObjectFields<SerialPortFields>(fields->serialPort)->inputDriverName);
}

void Tick(RuntimeObject* serial) {
  SerialFields* fields = FieldsOf(serial);
  if (!fields->open || fields->ticking) return;
  ObjectRef hold = ObjectRef::Retain(serial);
  fields->ticking = 1;
  if (!fields->writeBuffer->Empty()) SerialWriteAttempt(serial);
  SerialReadAvailable(serial);
  if (fields->dataArrived) {
    fields->dataArrived = 0;
    Fire(serial, kDataAvailable);
  }
  fields->ticking = 0;
}

StringRecord* Tagged(StringRecord* bytes, RuntimeObject* encoding) {
  const uint32_t value = GetEncodingFromTEObject(encoding);
  bytes->encoding = value == kEncodingNone ? kEncodingASCII : value;
  return bytes;
}

RuntimeObject* NewSerialPort(const std::string& name) {
  RuntimeObject* port = CreateInstance(GetSerialPortClassDefinition());
  SerialPortFields* fields = ObjectFields<SerialPortFields>(port);
  fields->name = NewString(name, kEncodingASCII);
  fields->inputDriverName = NewString(name, kEncodingASCII);
  fields->outputDriverName = NewString(name, kEncodingASCII);
  fields->ratedSpeed = kSerialPortSpeed;
  fields->maximumSpeed = kSerialPortSpeed;
  return port;
}

constexpr uint32_t kReadOnlyField = kPropertyReadOnly | kPropertyPassesParameter;

#define SERIAL_FIELD(name, type, getter, setter, member)                               \
  {kPropertyPassesParameter, name, &type, RUNTIME_ENTRY(getter), RUNTIME_ENTRY(setter), \
   uint32_t(offsetof(SerialFields, member))}
#define SERIAL_LINE(flags, name, index)                                           \
  {flags, name, &kBooleanType, RUNTIME_ENTRY(LineStateGetter),                    \
   (flags & kPropertyReadOnly) ? nullptr : RUNTIME_ENTRY(LineStateSetter), index}
#define SERIAL_READ_ONLY(name, getter, parameter) \
  {kReadOnlyField, name, &kIntegerType, RUNTIME_ENTRY(getter), nullptr, nullptr, parameter}

ObjectDefinition* MakeSerialDefinition() {
  static ObjectDefinition definition;
  static EventImplementation createPane{nullptr, "CreatePane", reinterpret_cast<void*>(&CreateNoPane)};
  static const PropertyRecord properties[] = {
      SERIAL_FIELD("Baud", kIntegerType, intGetter, intSetter, baud),
      SERIAL_FIELD("Bits", kIntegerType, shortGetter, shortSetter, bits),
      SERIAL_FIELD("Stop", kIntegerType, shortGetter, shortSetter, stop),
      SERIAL_FIELD("Parity", kIntegerType, shortGetter, shortSetter, parity),
      SERIAL_FIELD("Port", kIntegerType, shortGetter, shortSetter, port),
      SERIAL_FIELD("XON", kBooleanType, boolGetter, boolSetter, xonFlow),
      SERIAL_FIELD("DTR", kBooleanType, boolGetter, boolSetter, dtrHandshake),
      SERIAL_FIELD("CTS", kBooleanType, boolGetter, boolSetter, ctsFlow),
      SERIAL_LINE(kPropertyPassesParameter, "DataTerminalReady", 0),
      SERIAL_LINE(kPropertyPassesParameter, "RequestToSend", 1),
      SERIAL_LINE(kReadOnlyField, "ClearToSend", 2),
      SERIAL_LINE(kReadOnlyField, "DataCarrierDetect", 3),
      SERIAL_LINE(kReadOnlyField, "RingIndicator", 4),
      SERIAL_LINE(kReadOnlyField, "DataSetReady", 5),
      {kPropertyPassesParameter, "SerialPort", GetSerialPortClassDefinition(),
       RUNTIME_ENTRY(objGetter), RUNTIME_ENTRY(objSetter),
       uint32_t(offsetof(SerialFields, serialPort))},
      SERIAL_READ_ONLY("Win32DriverHandle", GetWin32DriverHandle, 0),
      SERIAL_READ_ONLY("MacInDriverRefNum", GetMacInputDriverRef, 0),
      SERIAL_READ_ONLY("MacOutDriverRefNum", GetMacOutputDriverRef, 0),
      SERIAL_READ_ONLY("PosixDescriptor", GetPosixDescriptor, 0),
      SERIAL_READ_ONLY("LastErrorCode", intGetter, uint32_t(offsetof(SerialFields, lastErrorCode))),
  };
  static const MemberType textEncoding = GetTextEncodingClassDefinition();
  static const ParameterRecord encoding[] = {{"encoding", textEncoding, kParameterOptional}};
  static const ParameterRecord countAndEncoding[] = {
      {"byteCount", &kIntegerType, 0}, {"encoding", textEncoding, kParameterOptional}};
  static const ParameterRecord text[] = {{"str", &kStringType, 0}};
  static const MethodRecord methods[] = {
      MakeMethodRecord("Open", &kBooleanType, nullptr, 0, RUNTIME_ENTRY(serialOpen)),
      MakeMethodRecord("Close", nullptr, nullptr, 0, RUNTIME_ENTRY(serialClose)),
      MakeMethodRecord("Write", nullptr, text, 1, RUNTIME_ENTRY(serialWrite)),
      MakeMethodRecord("Read", &kStringType, countAndEncoding, 2, RUNTIME_ENTRY(serialRead)),
      MakeMethodRecord("ReadAll", &kStringType, encoding, 1, RUNTIME_ENTRY(serialReadAll)),
      MakeMethodRecord("XmitWait", nullptr, nullptr, 0, RUNTIME_ENTRY(serialXmitWait)),
      MakeMethodRecord("Flush", nullptr, nullptr, 0, RUNTIME_ENTRY(serialFlush)),
      MakeMethodRecord("Poll", nullptr, nullptr, 0, RUNTIME_ENTRY(serialTick)),
      MakeMethodRecord("Reset", nullptr, nullptr, 0, RUNTIME_ENTRY(serialReset)),
      MakeMethodRecord("LeaveDTROnClose", nullptr, nullptr, 0,
                       RUNTIME_ENTRY(serialLeaveDTROnClose)),
      MakeMethodRecord("LookAhead", &kStringType, encoding, 1, RUNTIME_ENTRY(serialLookahead)),
      MakeMethodRecord("SetBreak", nullptr, nullptr, 0, RUNTIME_ENTRY(serialSetBreak)),
      MakeMethodRecord("ClearBreak", nullptr, nullptr, 0, RUNTIME_ENTRY(serialClearBreak)),
  };
  ObjectDefinitionSetName(&definition, "Serial");
  definition.instanceSize = sizeof(SerialFields);
  definition.initialiser = InitialiseSerial;
  definition.destructor = DestroySerial;
  definition.flags = 1;
  definition.eventImplementations = &createPane;
  BuildEventDefinitions(&definition, serialEvents, int32_t(std::size(serialEvents)));
  BuildPropertyDefinitions(&definition, properties, int32_t(std::size(properties)));
  BuildMethodDefinitions(&definition, methods, int32_t(std::size(methods)));
  return &definition;
}

#define SERIAL_PORT_FIELD(name, type, getter, member)                                   \
  {kReadOnlyField, name, &type, RUNTIME_ENTRY(getter), nullptr, nullptr,                \
   uint32_t(offsetof(SerialPortFields, member))}

ObjectDefinition* MakeSerialPortDefinition() {
  static ObjectDefinition definition;
  static const PropertyRecord properties[] = {
      SERIAL_PORT_FIELD("Name", kStringType, stringGetter, name),
      SERIAL_PORT_FIELD("InputDriverName", kStringType, stringGetter, inputDriverName),
      SERIAL_PORT_FIELD("OutputDriverName", kStringType, stringGetter, outputDriverName),
      SERIAL_PORT_FIELD("RatedSpeed", kIntegerType, intGetter, ratedSpeed),
      SERIAL_PORT_FIELD("MaximumSpeed", kIntegerType, intGetter, maximumSpeed),
  };
  ObjectDefinitionSetName(&definition, "SerialPort");
  definition.instanceSize = sizeof(SerialPortFields);
  definition.destructor = DestroySerialPort;
  BuildPropertyDefinitions(&definition, properties, int32_t(std::size(properties)));
  return &definition;
}

}  // namespace

ObjectDefinition* GetSerialClassDefinition() {
  static ObjectDefinition* const definition = MakeSerialDefinition();
  return definition;
}

ObjectDefinition* GetSerialPortClassDefinition() {
  static ObjectDefinition* const definition = MakeSerialPortDefinition();
  return definition;
}

void RegisterSerialClasses() {
  RegisterIntrinsicClass(GetSerialPortClassDefinition());
  RegisterIntrinsicClass(GetSerialClassDefinition());
  SetSerialTickHook(SerialTickAll);
}

SerialFields* SerialArgument(RuntimeObject* serial, const char* source, int32_t line,
                             const char* condition) {
  if (!serial) {
    AssertionFailed(131, 4, source, line, condition, nullptr);
    return nullptr;
  }
  return InstanceArgument<SerialFields>(serial, GetSerialClassDefinition(), source, line, condition);
}

void ReportSerialError(RuntimeObject* serial, DWORD code) {
  FieldsOf(serial)->lastErrorCode = int32_t(code ? code : ERROR_GEN_FAILURE);
  Fire(serial, kError);
}

void SerialTickAll() {
  // Handlers may close, release or make Serial objects: walk the list as it
  // is now, each object held until the walk is over.
  std::vector<ObjectRef> walk;
  for (RuntimeObject* serial = newestSerial; serial; serial = FieldsOf(serial)->next) {
    walk.push_back(ObjectRef::Retain(serial));
  }
  for (const ObjectRef& serial : walk) Tick(serial.get());
}

extern "C" {

bool serialOpen(RuntimeObject* serial) {
  SerialFields* fields = CheckedSerial(serial, __LINE__);
  if (!fields) return false;
  ObjectRef hold = ObjectRef::Retain(serial);
  return OpenSerialPort(serial, PortNameOf(fields));
}

void serialClose(RuntimeObject* serial) {
  if (SerialFields* fields = CheckedSerial(serial, __LINE__)) CloseSerialPort(fields);
}

void serialReset(RuntimeObject* serial) {
  if (!CheckedSerial(serial, __LINE__)) return;
  ObjectRef hold = ObjectRef::Retain(serial);
  ApplySerialSettings(serial);
}

void serialWrite(RuntimeObject* serial, StringRecord* text) {
  SerialFields* fields =
      SerialArgument(serial, kSource, 259, "Have no serial control, so cannot write");
  if (!fields || StringLength(text) == 0) return;
  ObjectRef hold = ObjectRef::Retain(serial);
  if (!serialOpen(serial)) return;
  fields->writeBuffer->Append(text);
  SerialWriteAttempt(serial);
}

StringRecord* serialRead(RuntimeObject* serial, int32_t byteCount, RuntimeObject* encoding) {
  SerialFields* fields = CheckedSerial(serial, __LINE__);
  if (!fields) return nullptr;
  ObjectRef hold = ObjectRef::Retain(serial);
  Tick(serial);
  return Tagged(fields->readBuffer->Read(byteCount), encoding);
}

StringRecord* serialReadAll(RuntimeObject* serial, RuntimeObject* encoding) {
  SerialFields* fields = CheckedSerial(serial, __LINE__);
  if (!fields) return nullptr;
  ObjectRef hold = ObjectRef::Retain(serial);
  Tick(serial);
  fields->dataArrived = 0;
  return Tagged(fields->readBuffer->ReadAll(), encoding);
}

StringRecord* serialLookahead(RuntimeObject* serial, RuntimeObject* encoding) {
  SerialFields* fields = CheckedSerial(serial, __LINE__);
  return fields ? Tagged(fields->readBuffer->Lookahead(), encoding) : nullptr;
}

void serialFlush(RuntimeObject* serial) {
  SerialFields* fields = CheckedSerial(serial, __LINE__);
  if (!fields) return;
  ObjectRef hold = ObjectRef::Retain(serial);
  Tick(serial);
  fields->writeBuffer->Clear();
  if (fields->writeRequest) fields->writeRequest->queued = 0;
  fields->readBuffer->Clear();
}

void serialTick(RuntimeObject* serial) {
  if (SerialArgument(serial, kSource, 172, "serial")) Tick(serial);
}

void serialLeaveDTROnClose(RuntimeObject*) {}

void LineStateSetter(RuntimeObject* serial, uint32_t index, uint8_t value) {
  SerialFields* fields = SerialArgument(serial, kSource, 427, "serial");
  if (!fields) return;
  if (index == 0) fields->dtrLine = value != 0;
  if (index == 1) fields->rtsLine = value != 0;
}

int32_t GetWin32DriverHandle(RuntimeObject* serial, uint32_t) {
  SerialFields* fields = SerialArgument(serial, kSource, 308, "serial");
  return fields ? int32_t(reinterpret_cast<intptr_t>(fields->handle)) : 0;
}

int32_t GetMacInputDriverRef(RuntimeObject* serial, uint32_t) {
  SerialArgument(serial, kSource, 319, "serial");
  return 0;
}

int32_t GetMacOutputDriverRef(RuntimeObject* serial, uint32_t) {
  SerialArgument(serial, kSource, 330, "serial");
  return 0;
}

int32_t GetPosixDescriptor(RuntimeObject* serial, uint32_t) {
  SerialArgument(serial, kSource, 341, "serial");
  return 0;
}

int32_t getSerialPortCount() {
  int32_t count = 0;
  for (int32_t number = 1; number <= 9; ++number) count += SerialPortPresent(number);
  return count;
}

RuntimeObject* getSerialPort(int32_t index) {
  if (index < 0 || index > 9) return nullptr;
  int32_t found = 0;
  for (int32_t number = 1; number <= 9; ++number) {
    if (SerialPortPresent(number) && found++ == index) return NewSerialPort(SerialPortName(number));
  }
  return nullptr;
}

}  // extern "C"
