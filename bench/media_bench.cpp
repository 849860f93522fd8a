// Figures of the Sound class against the raw calls doing the same work, on
// an audio output (run it where Wine has one, such as ALSA's null device of
// the test HOME):
//   - the first Play of a new in-memory sound (buffer made, filled, levels,
//     played, stopped, released) against CreateSoundBuffer, Lock, copy,
//     Unlock, SetVolume, SetPan, SetCurrentPosition, Play, Stop, Release;
//   - a repeated Play of the same sound against SetVolume, SetPan,
//     SetCurrentPosition and Play;
//   - a file Play (close, open, play with notification) against the same
//     three MCI command strings.
// Prints microseconds per play and the ratio to the raw calls.
#include <windows.h>

#include <dsound.h>
#include <mmsystem.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchClock.h"
#include "bench/BenchWindow.h"
#include "core/SmartRef.h"
#include "core/string.h"
#include "files/runFolderItem.h"
#include "graphics/Sound.h"

namespace {

constexpr int kMemoryRounds = 20000;
constexpr int kFileRounds = 20;
constexpr DWORD kRate = 22050;

std::vector<uint8_t> Samples() {
  std::vector<uint8_t> samples(kRate / 2);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = (i / 25) % 2 ? 0xA0 : 0x60;
  return samples;
}

WAVEFORMATEX Format() {
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 1;
  format.nSamplesPerSec = kRate;
  format.nAvgBytesPerSec = kRate;
  format.nBlockAlign = 1;
  format.wBitsPerSample = 8;
  return format;
}

std::string WriteWave(const std::vector<uint8_t>& samples) {
  auto u32 = [](std::string* out, uint32_t value) {
    out->append(reinterpret_cast<char*>(&value), 4);
  };
  const WAVEFORMATEX format = Format();
  std::string file = "RIFF";
  u32(&file, uint32_t(36 + samples.size()));
  file += "WAVEfmt ";
  u32(&file, 16);
  file.append(reinterpret_cast<const char*>(&format), 16);
  file += "data";
  u32(&file, uint32_t(samples.size()));
  file.append(samples.begin(), samples.end());
  char folder[MAX_PATH + 1];
  const std::string path =
      std::string(folder, GetTempPathA(sizeof folder, folder)) + "kv-bench.wav";
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(handle, file.data(), DWORD(file.size()), &written, nullptr);
  CloseHandle(handle);
  return path;
}

IDirectSoundBuffer* RawBuffer(IDirectSound* directSound, const std::vector<uint8_t>& samples) {
  WAVEFORMATEX format = Format();
  DSBUFFERDESC description{};
  description.dwSize = sizeof description;
  description.dwFlags = DSBCAPS_GLOBALFOCUS | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN;
  description.dwBufferBytes = DWORD(samples.size());
  description.lpwfxFormat = &format;
  IDirectSoundBuffer* buffer = nullptr;
  if (FAILED(directSound->CreateSoundBuffer(&description, &buffer, nullptr))) return nullptr;
  void* first = nullptr;
  DWORD firstLength = 0;
  if (SUCCEEDED(
          buffer->Lock(0, DWORD(samples.size()), &first, &firstLength, nullptr, nullptr, 0))) {
    std::memcpy(first, samples.data(), firstLength);
    buffer->Unlock(first, firstLength, nullptr, 0);
  }
  return buffer;
}

void RawPlay(IDirectSoundBuffer* buffer) {
  buffer->SetVolume(0);
  buffer->SetPan(0);
  buffer->SetCurrentPosition(0);
  buffer->Play(0, 0, 0);
}

void Row(const char* name, int rounds, double ours, double raw) {
  std::printf("%-26s %10.2f us   raw %10.2f us   %5.2fx raw goal <= 1.1\n", name,
              ours / rounds * 1e6, raw / rounds * 1e6, ours / raw);
}

template <class Work>
double Timed(int rounds, Work work) {
  const double start = Now();
  for (int round = 0; round < rounds; ++round) work(round);
  return Now() - start;
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (!StartBenchRunTime()) return 1;
  if (waveOutGetNumDevs() == 0) {
    std::printf("no audio output: run with a device (ALSA's null output will do)\n");
    return 1;
  }
  const std::vector<uint8_t> samples = Samples();
  // The run-time's DirectSound object is made by its first play.
  ObjectRef warm =
      ObjectRef::Adopt(NewSoundFromData(samples.data(), uint32_t(samples.size()), false, false));
  soundPlay(warm.get());
  soundStop(warm.get());
  IDirectSound* directSound = nullptr;
  HMODULE dsound = LoadLibraryA("dsound");
  auto create = reinterpret_cast<HRESULT(WINAPI*)(LPCGUID, LPDIRECTSOUND*, LPUNKNOWN)>(
      reinterpret_cast<void*>(GetProcAddress(dsound, "DirectSoundCreate")));
  if (!create || FAILED(create(nullptr, &directSound, nullptr))) return 1;
  HWND window =
      CreateWindowExA(0, "STATIC", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  directSound->SetCooperativeLevel(window, DSSCL_NORMAL);

  // Rounds of the two alternate, so that a busy machine slows both alike.
  double firstOurs = 0;
  double firstRaw = 0;
  for (int round = 0; round < kMemoryRounds; ++round) {
    // A new Sound each round, made outside the timing.
    ObjectRef sound =
        ObjectRef::Adopt(NewSoundFromData(samples.data(), uint32_t(samples.size()), false, false));
    double start = Now();
    soundPlay(sound.get());
    sound = ObjectRef();
    firstOurs += Now() - start;
    start = Now();
    IDirectSoundBuffer* buffer = RawBuffer(directSound, samples);
    RawPlay(buffer);
    buffer->Stop();
    buffer->Release();
    firstRaw += Now() - start;
  }
  Row("first in-memory Play", kMemoryRounds, firstOurs, firstRaw);

  IDirectSoundBuffer* buffer = RawBuffer(directSound, samples);
  double againOurs = 0;
  double againRaw = 0;
  for (int block = 0; block < kMemoryRounds / 100; ++block) {
    againOurs += Timed(100, [&](int) { soundPlay(warm.get()); });
    againRaw += Timed(100, [&](int) { RawPlay(buffer); });
  }
  buffer->Stop();
  buffer->Release();
  soundStop(warm.get());
  Row("repeated in-memory Play", kMemoryRounds, againOurs, againRaw);

  const std::string path = WriteWave(samples);
  StringRef text = StringRef::Adopt(StringFromUTF8(path));
  ObjectRef item = ObjectRef::Adopt(RuntimeGetFolderItem(text.get()));
  ObjectRef file = ObjectRef::Adopt(NewSoundFromFile(item.get()));
  double fileOurs = 0;
  double fileRaw = 0;
  for (int round = 0; round < kFileRounds; ++round) {
    fileOurs += Timed(1, [&](int) { soundPlay(file.get()); });
    // The run-time's device is closed by the raw "close all" as by its own.
    fileRaw += Timed(1, [&](int) {
      const std::string alias = std::to_string(100000 + round);
      mciSendStringA("close all", nullptr, 0, nullptr);
      mciSendStringA(("open \"" + path + "\" alias " + alias).c_str(), nullptr, 0, nullptr);
      mciSendStringA(("play " + alias + " notify").c_str(), nullptr, 0, window);
    });
  }
  mciSendStringA("close all", nullptr, 0, nullptr);
  Row("file Play", kFileRounds, fileOurs, fileRaw);

  warm = ObjectRef();
  file = ObjectRef();
  SoundShutdown();
  directSound->Release();
  DestroyWindow(window);
  DeleteFileA(path.c_str());
  return 0;
}
