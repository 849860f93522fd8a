#include "testsupport/SoundTestSupport.h"

#include <cstdio>
#include <fstream>
#include <utility>

#include "graphics/Sound.h"

namespace {

struct RecorderState {
  bool scripted = false;
  SoundCallRecorder::Script script;
  std::vector<std::string> log;
  SoundSystemCalls previous{};
};

RecorderState& State() {
  static RecorderState state;
  return state;
}

std::string Hex(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
  return text;
}

// Logs the call; gives the state that answers it.
RecorderState& Logged(std::string call) {
  State().log.push_back(std::move(call));
  return State();
}

MCIERROR WINAPI SendString(LPCSTR command, LPSTR answer, UINT length, HWND callback) {
  RecorderState& state = Logged(command);
  const std::string& failing = state.script.failing;
  if (!failing.empty() && std::string(command).rfind(failing, 0) == 0) return MCIERR_INTERNAL;
  return state.scripted ? 0 : state.previous.sendString(command, answer, length, callback);
}

MCIDEVICEID WINAPI GetDeviceId(LPCSTR alias) {
  RecorderState& state = Logged("mciGetDeviceIDA(" + std::string(alias) + ")");
  return state.scripted ? MCIDEVICEID(state.script.deviceId) : state.previous.getDeviceId(alias);
}

MMRESULT WINAPI GetVolume(HWAVEOUT device, LPDWORD volume) {
  RecorderState& state = Logged("waveOutGetVolume(0)");
  if (!state.scripted) return state.previous.getWaveVolume(device, volume);
  *volume = state.script.volume;
  return state.script.volumeReadable ? MMSYSERR_NOERROR : MMSYSERR_NOTSUPPORTED;
}

MMRESULT WINAPI SetWaveVolume(HWAVEOUT device, DWORD volume) {
  RecorderState& state = Logged("waveOutSetVolume(0, " + Hex(volume) + ")");
  return state.scripted ? MMSYSERR_NOERROR : state.previous.setWaveVolume(device, volume);
}

MMRESULT WINAPI SetMidiVolume(HMIDIOUT device, DWORD volume) {
  const std::string id = std::to_string(uintptr_t(device));
  RecorderState& state = Logged("midiOutSetVolume(" + id + ", " + Hex(volume) + ")");
  return state.scripted ? MMSYSERR_NOERROR : state.previous.setMidiVolume(device, volume);
}

void PutU16(std::vector<uint8_t>* bytes, uint32_t value) {
  bytes->push_back(uint8_t(value));
  bytes->push_back(uint8_t(value >> 8));
}

void PutU32(std::vector<uint8_t>* bytes, uint32_t value) {
  PutU16(bytes, value);
  PutU16(bytes, value >> 16);
}

}  // namespace

SoundCallRecorder::SoundCallRecorder(bool scripted) {
  RecorderState& state = State();
  state = RecorderState();
  state.scripted = scripted;
  state.previous = SetSoundSystemCalls(
      SoundSystemCalls{SendString, GetDeviceId, GetVolume, SetWaveVolume, SetMidiVolume});
}

SoundCallRecorder::~SoundCallRecorder() { SetSoundSystemCalls(State().previous); }

SoundCallRecorder::Script& SoundCallRecorder::script() { return State().script; }

std::vector<std::string> SoundCallRecorder::Take() { return std::move(State().log); }

bool NoSoundDevice() { return waveOutGetNumDevs() == 0; }

std::vector<uint8_t> WaveFile(const std::vector<WaveChunk>& chunks) {
  std::vector<uint8_t> body{'W', 'A', 'V', 'E'};
  for (const WaveChunk& chunk : chunks) {
    body.insert(body.end(), chunk.id.begin(), chunk.id.end());
    PutU32(&body, uint32_t(chunk.body.size()));
    body.insert(body.end(), chunk.body.begin(), chunk.body.end());
    if (chunk.body.size() % 2) body.push_back(0);
  }
  std::vector<uint8_t> file{'R', 'I', 'F', 'F'};
  PutU32(&file, uint32_t(body.size()));
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

std::vector<uint8_t> PcmFormat(uint16_t channels, uint32_t rate, uint16_t bits,
                               bool withExtraSize) {
  const uint32_t align = channels * bits / 8;
  std::vector<uint8_t> format;
  PutU16(&format, 1);
  PutU16(&format, channels);
  PutU32(&format, rate);
  PutU32(&format, rate * align);
  PutU16(&format, align);
  PutU16(&format, bits);
  if (withExtraSize) PutU16(&format, 0);
  return format;
}

std::vector<uint8_t> ToneWave(uint32_t milliseconds) {
  std::vector<uint8_t> samples(22050 * milliseconds / 1000);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = (i / 25) % 2 ? 0xA0 : 0x60;
  return WaveFile({{"fmt ", PcmFormat(1, 22050, 8)}, {"data", samples}});
}

std::string WriteTemporarySound(const std::vector<uint8_t>& bytes, const char* name) {
  char folder[MAX_PATH + 1];
  const DWORD length = GetTempPathA(sizeof folder, folder);
  const std::string path = std::string(folder, length) + name;
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return path;
}
