// Sound tests: a recorder of the sound layer's WINMM calls and a writer of
// WAVE data.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// Wraps the sound layer's WINMM calls while it lives. Every call is logged
// (the MCI command itself, "mciGetDeviceIDA(3)", "waveOutGetVolume(0)",
// "waveOutSetVolume(0, 0x3FFF7FFF)", "midiOutSetVolume(1, 0x3FFF7FFF)") and
// goes on to WINMM. Scripted, nothing reaches WINMM: commands answer 0
// (or fail), device ids are deviceId, and waveOutGetVolume answers volume.
class SoundCallRecorder {
 public:
  struct Script {
    std::string failing;  // commands starting with it fail (MCIERR_INTERNAL)
    uint32_t deviceId = 7;
    bool volumeReadable = true;
    DWORD volume = 0;
  };
  explicit SoundCallRecorder(bool scripted = false);
  ~SoundCallRecorder();
  Script& script();
  std::vector<std::string> Take();
};

// Whether Wine found no audio output (the test HOME without its ALSA set-up).
bool NoSoundDevice();

// A RIFF/WAVE file of the chunks, each {id, body} padded to an even size.
struct WaveChunk {
  std::string id;
  std::vector<uint8_t> body;
};
std::vector<uint8_t> WaveFile(const std::vector<WaveChunk>& chunks);
// A "fmt " body of PCM (16 bytes; 18 with a zero extra size).
std::vector<uint8_t> PcmFormat(uint16_t channels, uint32_t rate, uint16_t bits,
                               bool withExtraSize = false);
// A file of that many milliseconds of 8-bit mono at 22050 Hz.
std::vector<uint8_t> ToneWave(uint32_t milliseconds);
// Writes the bytes to a file of that name in the temporary folder; its path.
std::string WriteTemporarySound(const std::vector<uint8_t>& bytes, const char* name);
