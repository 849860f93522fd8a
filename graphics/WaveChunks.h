// The parts of an in-memory sound that DirectSound is given: its format and
// its samples.
//
// Plain code over bytes (no Windows header). A sound either starts with a
// RIFF/WAVE header, whose chunks are walked with every size checked against
// the real length, or is headerless 8-bit mono at 22050 Hz. What is refused
// gives no parts, and the sound stays silent:
//   - a header without a "fmt " chunk of at least 16 bytes or without a
//     "data" chunk, in either order;
//   - a chunk whose header does not fit; a "data" chunk that declares more
//     bytes than follow is cut at the end of the sound.
// Other chunks ("LIST", "fact" ...) are skipped, each padded to an even size.
#pragma once
#include <cstddef>
#include <cstdint>

// The size of the WAVEFORMATEX record: the 16 bytes of PCM's "fmt " chunk and
// the size of any extra format bytes; and the most format bytes kept (the
// extensible record is 40).
constexpr size_t kWaveFormatRecordSize = 18;
constexpr size_t kWaveFormatCapacity = 64;

struct WaveParts {
  // A WAVEFORMATEX record and the extra bytes its size word counts, which
  // never reach past the chunk or the capacity; zero where the chunk had
  // nothing.
  uint8_t format[kWaveFormatCapacity] = {};
  size_t samplesOffset = 0;  // from the start of the sound
  size_t samplesLength = 0;
};

// True when the bytes begin with "RIFF", any size and "WAVE".
bool HasWaveHeader(const uint8_t* bytes, size_t length);

// The parts of a sound with a wave header; false for a refused one.
bool ReadWaveParts(const uint8_t* bytes, size_t length, WaveParts* parts);

// The parts of a headerless sound: all its bytes as 8-bit mono samples at
// 22050 Hz (PCM, block alignment 1).
WaveParts HeaderlessWaveParts(size_t length);
