// The Sound class over MCI and DirectSound.
#include "graphics/Sound.h"

#include <dsound.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/InstanceArgument.h"
#include "core/ObjectDefinition.h"
#include "core/SmartRef.h"
#include "core/string.h"
#include "core/utility.h"
#include "graphics/WaveChunks.h"
#include "host/RuntimeMain.h"
#include "host/application.h"
#include "ui/RuntimeWindow.h"
#include "ui/WinUtil.h"

namespace {

constexpr char kNotifyClassName[] = "KVMCISoundWnd";
constexpr char kCooperativeClassName[] = "KVSoundWnd";
// Global focus, so a sound plays on while another application is in front,
// with volume and pan control so that the levels apply to the buffer itself.
constexpr DWORD kBufferFlags = DSBCAPS_GLOBALFOCUS | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN;
constexpr int32_t kNoAlias = -1;

using DirectSoundCreateFunction = HRESULT(WINAPI*)(LPCGUID, LPDIRECTSOUND*, LPUNKNOWN);

// The run-time's sound state; one per process, on the application thread.
struct SoundLayer {
  SoundSystemCalls calls = WinmmSoundCalls();
  SoundFilePathHook filePath = nullptr;
  // DirectSound: "dsound" is loaded once; the object lives from the first
  // in-memory play to shutdown.
  bool dsoundTried = false;
  HMODULE dsound = nullptr;
  DirectSoundCreateFunction directSoundCreate = nullptr;
  IDirectSound* directSound = nullptr;
  // The Sounds holding buffers of that object, which goes with them.
  std::vector<SoundFields*> buffered;
  HWND cooperativeWindow = nullptr;  // the hidden "KVSoundWnd", when one was made
  bool cooperativeClassRegistered = false;
  // MCI.
  bool mciInUse = false;
  int32_t nextAlias = 0;
  int32_t currentAlias = kNoAlias;
  bool currentLooping = false;
  bool notifyClassRegistered = false;
  // The waveOut volume the first Sound found.
  bool volumeAsked = false;
  bool volumeSaved = false;
  DWORD savedVolume = 0;
};

SoundLayer& Layer() {
  static SoundLayer layer;
  return layer;
}

SoundFields* FieldsOf(RuntimeObject* sound) { return ObjectFields<SoundFields>(sound); }

SoundFields* Checked(RuntimeObject* sound) {
  return InstanceArgument<SoundFields>(sound, GetSoundClassDefinition(), "Sound", __LINE__,
                                       "ObjectIsADefinition(sound, Sound)");
}

// ---- MCI ----

std::string AliasText(int32_t alias) { return std::to_string(alias); }

MCIERROR SendCommand(const std::string& command, HWND callback = nullptr) {
  return Layer().calls.sendString(command.c_str(), nullptr, 0, callback);
}

// The file's path in the system encoding; empty without one.
std::string FilePathOf(const SoundFields* fields) {
  SoundFilePathHook hook = Layer().filePath;
  StringRef path = StringRef::Adopt(hook && fields->file ? hook(fields->file) : nullptr);
  if (!path) return std::string();
  StringRef local = StringRef::Adopt(StringToSystemEncoding(path.get()));
  if (!local) return std::string();
  return std::string(reinterpret_cast<const char*>(StringData(local.get())),
                     StringLength(local.get()));
}

// The current alias is left only by the Sound that holds it.
void ForgetCurrentAlias(const SoundFields* fields) {
  if (Layer().currentAlias == fields->alias) Layer().currentAlias = kNoAlias;
}

// The play of the Sound's alias ended, or was refused or aborted.
void EndFilePlay(SoundFields* fields) {
  fields->playing = 0;
  ForgetCurrentAlias(fields);
}

// A success notification: a looping play starts again from the top.
void PlayedThrough(SoundFields* fields, HWND window) {
  SoundLayer& layer = Layer();
  if (layer.currentAlias == fields->alias && layer.currentLooping) {
    const std::string alias = AliasText(fields->alias);
    SendCommand("seek " + alias + " to start");
    SendCommand("play " + alias + " notify", window);
    return;
  }
  ForgetCurrentAlias(fields);
  if (!fields->looping) fields->playing = 0;
}

LRESULT CALLBACK NotifyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == MM_MCINOTIFY) {
    auto* sound = reinterpret_cast<RuntimeObject*>(GetWindowLongPtrA(window, 0));
    SoundFields* fields = sound ? FieldsOf(sound) : nullptr;
    if (fields && MCIDEVICEID(lParam) == fields->deviceId) {
      if (wParam == MCI_NOTIFY_SUCCESSFUL) PlayedThrough(fields, window);
      if (wParam == MCI_NOTIFY_FAILURE || wParam == MCI_NOTIFY_ABORTED) EndFilePlay(fields);
    }
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

bool RegisterWindowClass(const char* name, WNDPROC procedure, int extraBytes, bool* registered) {
  if (*registered) return true;
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = procedure;
  windowClass.cbWndExtra = extraBytes;
  windowClass.hInstance = RuntimeInstanceHandle();
  windowClass.lpszClassName = name;
  *registered = RegisterClassExA(&windowClass) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  return *registered;
}

// The Sound's notification window, made on its first play and reused.
HWND NotifyWindowOf(RuntimeObject* sound) {
  SoundFields* fields = FieldsOf(sound);
  if (fields->notifyWindow) return fields->notifyWindow;
  if (!RegisterWindowClass(kNotifyClassName, NotifyWindowProc, sizeof(LONG_PTR),
                           &Layer().notifyClassRegistered)) {
    return nullptr;
  }
  HWND window = CreateWindowExA(0, kNotifyClassName, "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                RuntimeInstanceHandle(), nullptr);
  if (window) SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(sound));
  fields->notifyWindow = window;
  return window;
}

void DestroyNotifyWindow(SoundFields* fields) {
  HWND window = std::exchange(fields->notifyWindow, nullptr);
  if (!window) return;
  SetWindowLongPtrA(window, 0, 0);
  DestroyWindow(window);
}

// ---- Levels ----

bool ApplyBufferLevels(IDirectSoundBuffer* buffer, const SoundFields* fields) {
  return SUCCEEDED(buffer->SetVolume((fields->volume - 100) * 100)) &&
         SUCCEEDED(buffer->SetPan(fields->pan * 100));
}

// Both channels at the volume, the one away from the pan scaled down;
// right channel in the high word.
DWORD PackedChannelLevels(int32_t volume, int32_t pan) {
  const double level = volume / 100.0 * 65535;
  double left = level;
  double right = level;
  if (pan < 0) {
    right *= (pan + 100) / 100.0;
  } else {
    left *= (100 - pan) / 100.0;
  }
  return DWORD(right) << 16 | DWORD(left);
}

// A sound in memory takes its levels at its buffer, made on the first play;
// a file sound, or a buffer that refuses them, sets the device levels.
void ApplyLevels(SoundFields* fields) {
  if (fields->buffer ? ApplyBufferLevels(fields->buffer, fields) : fields->data != nullptr) return;
  SoundLayer& layer = Layer();
  const DWORD levels = PackedChannelLevels(fields->volume, fields->pan);
  layer.calls.setWaveVolume(nullptr, levels);
  if (fields->alias == kNoAlias) return;
  const MCIDEVICEID midi = layer.calls.getDeviceId(AliasText(fields->alias).c_str());
  layer.calls.setMidiVolume(reinterpret_cast<HMIDIOUT>(uintptr_t(midi)), levels);
}

void PlayFile(RuntimeObject* sound, bool looping) {
  SoundLayer& layer = Layer();
  SoundFields* fields = FieldsOf(sound);
  const std::string path = FilePathOf(fields);
  if (path.empty()) return;
  if (layer.mciInUse) {
    SendCommand("close all");
    layer.mciInUse = false;
  }
  // Whatever the Sound played is closed now; its notifications are dropped
  // below.
  fields->playing = 0;
  const int32_t alias = layer.nextAlias;
  const std::string aliasText = AliasText(alias);
  if (SendCommand("open \"" + path + "\" alias " + aliasText) != 0) return;
  HWND window = NotifyWindowOf(sound);
  // Notifications of the Sound's earlier plays are stale now; the device id
  // they name may be the new play's.
  MSG stale;
  while (window && PeekMessageA(&stale, window, MM_MCINOTIFY, MM_MCINOTIFY, PM_REMOVE)) {
  }
  if (!window || SendCommand("play " + aliasText + " notify", window) != 0) {
    SendCommand("close " + aliasText);
    return;
  }
  layer.currentAlias = alias;
  layer.currentLooping = looping;
  layer.mciInUse = true;
  layer.nextAlias = alias + 1;
  fields->looping = looping;
  fields->playing = 1;
  fields->alias = alias;
  fields->deviceId = layer.calls.getDeviceId(aliasText.c_str());
  ApplyLevels(fields);
}

// ---- DirectSound ----

// The window DirectSound cooperates with: the MDI frame, the front window, or
// a hidden window of the layer's own.
HWND CooperativeWindow() {
  if (IsMDIMode()) return GetMDIFrameWindow();
  if (HWND front = FrontmostWindowHandle()) return front;
  SoundLayer& layer = Layer();
  if (!layer.cooperativeWindow && RegisterWindowClass(kCooperativeClassName, DefWindowProcA, 0,
                                                      &layer.cooperativeClassRegistered)) {
    layer.cooperativeWindow = CreateWindowExA(0, kCooperativeClassName, "", 0, -100, -100, 20, 20,
                                              nullptr, nullptr, RuntimeInstanceHandle(), nullptr);
  }
  return layer.cooperativeWindow;
}

IDirectSound* DirectSound() {
  SoundLayer& layer = Layer();
  if (!layer.dsoundTried) {
    layer.dsoundTried = true;
    layer.dsound = LoadLibraryA("dsound");
    if (layer.dsound) {
      layer.directSoundCreate = reinterpret_cast<DirectSoundCreateFunction>(
          reinterpret_cast<void*>(GetProcAddress(layer.dsound, "DirectSoundCreate")));
    }
  }
  if (!layer.directSound && layer.directSoundCreate) {
    IDirectSound* made = nullptr;
    if (SUCCEEDED(layer.directSoundCreate(nullptr, &made, nullptr)) && made) {
      made->SetCooperativeLevel(CooperativeWindow(), DSSCL_NORMAL);
      layer.directSound = made;
    }
  }
  return layer.directSound;
}

// The samples copied into a locked buffer; a lock that fails leaves the
// buffer unfilled.
void FillBuffer(IDirectSoundBuffer* buffer, const uint8_t* samples, DWORD length) {
  void* first = nullptr;
  void* second = nullptr;
  DWORD firstLength = 0;
  DWORD secondLength = 0;
  if (FAILED(buffer->Lock(0, length, &first, &firstLength, &second, &secondLength, 0))) return;
  std::memcpy(first, samples, std::min(length, firstLength));
  buffer->Unlock(first, firstLength, second, secondLength);
}

IDirectSoundBuffer* MakeBuffer(IDirectSound* directSound, const SoundFields* fields) {
  const size_t length = size_t(std::max(fields->dataLength, 0));
  WaveParts parts;
  if (fields->hasWaveHeader) {
    if (!ReadWaveParts(fields->data, length, &parts)) return nullptr;
  } else {
    parts = HeaderlessWaveParts(length);
  }
  DSBUFFERDESC description{};
  description.dwSize = sizeof description;
  description.dwFlags = kBufferFlags;
  description.dwBufferBytes = DWORD(parts.samplesLength);
  description.lpwfxFormat = reinterpret_cast<WAVEFORMATEX*>(parts.format);
  IDirectSoundBuffer* buffer = nullptr;
  if (FAILED(directSound->CreateSoundBuffer(&description, &buffer, nullptr)) || !buffer) {
    return nullptr;
  }
  FillBuffer(buffer, fields->data + parts.samplesOffset, DWORD(parts.samplesLength));
  return buffer;
}

void PlayBuffer(SoundFields* fields, bool looping) {
  IDirectSound* directSound = DirectSound();
  if (!directSound) return;
  if (!fields->buffer) {
    fields->buffer = MakeBuffer(directSound, fields);
    if (fields->buffer) Layer().buffered.push_back(fields);
  }
  IDirectSoundBuffer* buffer = fields->buffer;
  if (!buffer) return;
  // Levels the buffer refused go to the devices once more after the play
  // starts; the buffer keeps levels it took.
  const bool taken = ApplyBufferLevels(buffer, fields);
  if (!taken) ApplyLevels(fields);
  buffer->SetCurrentPosition(0);
  if (SUCCEEDED(buffer->Play(0, 0, looping ? DSBPLAY_LOOPING : 0)) && !taken) ApplyLevels(fields);
}

void Play(RuntimeObject* sound, bool looping) {
  SoundFields* fields = Checked(sound);
  if (!fields) return;
  if (fields->data) {
    PlayBuffer(fields, looping);
  } else if (fields->file) {
    PlayFile(sound, looping);
  }
}

void ReleaseBuffer(SoundFields* fields) {
  IDirectSoundBuffer* buffer = std::exchange(fields->buffer, nullptr);
  if (!buffer) return;
  std::vector<SoundFields*>& buffered = Layer().buffered;
  buffered.erase(std::find(buffered.begin(), buffered.end(), fields));
  buffer->Stop();
  buffer->Release();
}

void ReleaseData(SoundFields* fields) {
  if (fields->ownsData) HeapRelease(const_cast<uint8_t*>(fields->data));
  fields->data = nullptr;
  fields->dataLength = 0;
  fields->ownsData = 0;
}

}  // namespace

// ---- Seams and makers ----

const SoundSystemCalls& WinmmSoundCalls() {
  static const SoundSystemCalls calls{mciSendStringA, mciGetDeviceIDA, waveOutGetVolume,
                                      waveOutSetVolume, midiOutSetVolume};
  return calls;
}

SoundSystemCalls SetSoundSystemCalls(const SoundSystemCalls& calls) {
  return std::exchange(Layer().calls, calls);
}

void SetSoundFilePathHook(SoundFilePathHook hook) { Layer().filePath = hook; }

ObjectDefinition* GetSoundClassDefinition() {
  static const PropertyRecord properties[] = {
      {kPropertyGenericGetter, "Pan", &kIntegerType, RUNTIME_ENTRY(intGetter),
       RUNTIME_ENTRY(SoundPanSetter), offsetof(SoundFields, pan)},
      {kPropertyGenericGetter, "Volume", &kIntegerType, RUNTIME_ENTRY(intGetter),
       RUNTIME_ENTRY(SoundVolumeSetter), offsetof(SoundFields, volume)},
  };
  static const MethodRecord methods[] = {
      MakeMethodRecord("Play", nullptr, nullptr, 0, RUNTIME_ENTRY(soundPlay)),
      MakeMethodRecord("PlayLooping", nullptr, nullptr, 0, RUNTIME_ENTRY(soundPlayLooping)),
      MakeMethodRecord("Stop", nullptr, nullptr, 0, RUNTIME_ENTRY(soundStop)),
      MakeMethodRecord("IsPlaying", &kBooleanType, nullptr, 0, RUNTIME_ENTRY(soundIsPlaying)),
  };
  static ObjectDefinition definition;
  static ObjectDefinition* const made =
      FillClassDefinition(&definition, "Sound", sizeof(SoundFields), SoundConstruct, SoundDestruct,
                          properties, methods);
  return made;
}

void RegisterSoundClass() { RegisterIntrinsicClass(GetSoundClassDefinition()); }

RuntimeObject* NewSoundFromData(const uint8_t* data, uint32_t length, bool hasWaveHeader,
                                bool ownsData) {
  RuntimeObject* sound = CreateInstance(GetSoundClassDefinition());
  if (!sound) {
    if (ownsData) HeapRelease(const_cast<uint8_t*>(data));
    return nullptr;
  }
  SoundFields* fields = FieldsOf(sound);
  fields->data = data;
  fields->dataLength = int32_t(std::min<uint32_t>(length, INT32_MAX));
  fields->hasWaveHeader = hasWaveHeader;
  fields->ownsData = ownsData;
  return sound;
}

RuntimeObject* NewSoundFromFile(RuntimeObject* file) {
  RuntimeObject* sound = CreateInstance(GetSoundClassDefinition());
  if (sound) SoundSetFile(sound, file);
  return sound;
}

void SoundSetFile(RuntimeObject* sound, RuntimeObject* file) {
  SoundFields* fields = Checked(sound);
  if (!fields) return;
  RuntimeLockObject(file);
  RuntimeUnlockObject(std::exchange(fields->file, file));
}

// ---- Entry points ----

extern "C" void SoundConstruct(RuntimeObject* sound) {
  SoundFields* fields = FieldsOf(sound);
  fields->pan = 0;
  fields->volume = 100;
  fields->alias = kNoAlias;
  SoundLayer& layer = Layer();
  if (layer.volumeAsked) return;
  layer.volumeAsked = true;
  layer.volumeSaved = layer.calls.getWaveVolume(nullptr, &layer.savedVolume) == MMSYSERR_NOERROR;
}

extern "C" void SoundDestruct(RuntimeObject* sound) {
  SoundFields* fields = FieldsOf(sound);
  DestroyNotifyWindow(fields);
  ForgetCurrentAlias(fields);
  RuntimeUnlockObject(std::exchange(fields->file, nullptr));
  ReleaseBuffer(fields);
  ReleaseData(fields);
}

extern "C" void soundPlay(RuntimeObject* sound) { Play(sound, false); }

extern "C" void soundPlayLooping(RuntimeObject* sound) { Play(sound, true); }

extern "C" void soundStop(RuntimeObject* sound) {
  SoundFields* fields = Checked(sound);
  if (!fields) return;
  if (fields->buffer) {
    fields->buffer->Stop();
  } else {
    ForgetCurrentAlias(fields);
    if (fields->alias >= 0) {
      const std::string alias = AliasText(fields->alias);
      SendCommand("stop " + alias);
      SendCommand("close " + alias);
    }
  }
  fields->playing = 0;
}

extern "C" bool soundIsPlaying(RuntimeObject* sound) {
  DispatchOnePendingMessage();
  SoundFields* fields = Checked(sound);
  if (!fields) return false;
  if (IDirectSoundBuffer* buffer = fields->buffer) {
    DWORD status = 0;
    return SUCCEEDED(buffer->GetStatus(&status)) && (status & DSBSTATUS_PLAYING) != 0;
  }
  return fields->playing != 0;
}

extern "C" void SoundPanSetter(RuntimeObject* sound, uint32_t, int32_t pan) {
  if (SoundFields* fields = Checked(sound)) {
    fields->pan = std::clamp(pan, -100, 100);
    ApplyLevels(fields);
  }
}

extern "C" void SoundVolumeSetter(RuntimeObject* sound, uint32_t, int32_t volume) {
  if (SoundFields* fields = Checked(sound)) {
    fields->volume = std::clamp(volume, 0, 100);
    ApplyLevels(fields);
  }
}

extern "C" void SoundShutdown() {
  SoundLayer& layer = Layer();
  // Buffers go before their DirectSound object; a Sound that outlives the
  // layer makes a new buffer should it play again.
  while (!layer.buffered.empty()) ReleaseBuffer(layer.buffered.back());
  if (IDirectSound* directSound = std::exchange(layer.directSound, nullptr)) {
    directSound->Release();
  }
  if (HWND window = std::exchange(layer.cooperativeWindow, nullptr)) DestroyWindow(window);
  if (layer.mciInUse) SendCommand("close all");
  layer.mciInUse = false;
  layer.currentAlias = kNoAlias;
  if (layer.volumeSaved) layer.calls.setWaveVolume(nullptr, layer.savedVolume);
  layer.volumeAsked = false;
  layer.volumeSaved = false;
}
