// The language's Sound class: a sound in memory (an application resource or
// a WAVE file read whole) plays through DirectSound, loaded at run time from
// "dsound"; a sound file plays through MCI string commands.
//
// MCI. Only one file sound plays at a time: a play first sends "close all"
// when MCI is in use, then opens the file under the next alias number
// ("open "<path>" alias N", N counting from 0 for the whole run and taken only
// by a play that succeeds) and sends "play N notify" to the Sound's own
// hidden "KVMCISoundWnd" window, made on the first play and reused. A
// notification counts only when it names the Sound's device: success replays
// a looping sound from the start ("seek N to start") or ends the play;
// failure or abort ends it. Stop ends only this Sound's play and loop.
//
// DirectSound. The buffer is made on the first play from the sound's wave
// chunks (WaveChunks.h) or, without a header, as 8-bit mono at 22050 Hz, with
// volume and pan control, and kept for the Sound's life. Without a device or
// "dsound" nothing plays, and nothing is reported: failures leave a silent
// sound.
//
// Levels. Volume (0..100) and Pan (-100..100) are clamped, then applied to
// the buffer in hundredths of a decibel; when that is refused (or for a file
// sound) they go to waveOut device 0 and the sound's MIDI device. The first
// Sound made saves the waveOut volume (when it can be read); SoundShutdown
// puts it back.
//
// Everything runs on the application thread.
#pragma once
#include <windows.h>

#include <mmsystem.h>

#include <cstddef>
#include <cstdint>

#include "core/Layout.h"
#include "core/RuntimeObjectFoundation.h"

struct IDirectSoundBuffer;
struct ObjectDefinition;
struct StringRecord;

// The Sound object; the property records point at Pan and Volume.
struct SoundFields {
  RuntimeObject header;
  int32_t dataLength;
  const uint8_t* data;         // nil for a file sound
  IDirectSoundBuffer* buffer;  // owned; made on the first in-memory play
  HWND notifyWindow;           // the MCI notification window; window long 0 is the Sound
  uint8_t hasWaveHeader;
  uint8_t ownsData;  // the data is a HeapAllocate block freed with the Sound
  int32_t alias;     // of the last MCI play; -1 before any
  uint8_t playing;   // an MCI play is under way
  uint8_t looping;   // the last MCI play loops
  int32_t pan;
  int32_t volume;
  RuntimeObject* file;   // a FolderItem, locked; nil for a sound in memory
  MCIDEVICEID deviceId;  // the device of the alias; what notifications must name
};
static_assert(!kLayoutIs32Bit || offsetof(SoundFields, dataLength) == 24,
              "fields follow the header");
static_assert(!kLayoutIs32Bit || offsetof(SoundFields, alias) == 44, "alias at 44");
static_assert(!kLayoutIs32Bit || offsetof(SoundFields, pan) == 52, "Pan at 52");
static_assert(!kLayoutIs32Bit || offsetof(SoundFields, file) == 60, "file at 60");

// The WINMM calls the sound layer makes, as one seam: tests wrap it to log
// the commands or to script answers. The default calls WINMM.
struct SoundSystemCalls {
  MCIERROR(WINAPI* sendString)(LPCSTR command, LPSTR answer, UINT answerLength, HWND callback);
  MCIDEVICEID(WINAPI* getDeviceId)(LPCSTR alias);
  MMRESULT(WINAPI* getWaveVolume)(HWAVEOUT device, LPDWORD volume);
  MMRESULT(WINAPI* setWaveVolume)(HWAVEOUT device, DWORD volume);
  MMRESULT(WINAPI* setMidiVolume)(HMIDIOUT device, DWORD volume);
};
const SoundSystemCalls& WinmmSoundCalls();
// Gives back the calls in use before.
SoundSystemCalls SetSoundSystemCalls(const SoundSystemCalls& calls);

// The path of a sound's file object (a new UTF-8 string, or nil): filled at
// start-up with the FolderItem's. While empty, file sounds do not play.
using SoundFilePathHook = StringRecord* (*)(RuntimeObject* file);
void SetSoundFilePathHook(SoundFilePathHook hook);

ObjectDefinition* GetSoundClassDefinition();
// Start-up: registers "Sound".
void RegisterSoundClass();

// A new Sound (the caller's reference) over data in memory. With ownsData
// the Sound frees the block (HeapRelease) when it goes, also when no Sound
// can be made.
RuntimeObject* NewSoundFromData(const uint8_t* data, uint32_t length, bool hasWaveHeader,
                                bool ownsData);
// A new Sound (the caller's reference) playing the file object, which it
// holds with one reference.
RuntimeObject* NewSoundFromFile(RuntimeObject* file);
// Gives a Sound its file object (held with one reference), leaving the one it
// had.
void SoundSetFile(RuntimeObject* sound, RuntimeObject* file);

extern "C" {
void SoundConstruct(RuntimeObject* sound);
void SoundDestruct(RuntimeObject* sound);
// A nil Sound raises NilObjectException and does nothing.
void soundPlay(RuntimeObject* sound);
void soundPlayLooping(RuntimeObject* sound);
void soundStop(RuntimeObject* sound);
// Dispatches one pending message first, so that MCI notifications arrive in
// a loop that polls.
bool soundIsPlaying(RuntimeObject* sound);
void SoundPanSetter(RuntimeObject* sound, uint32_t parameter, int32_t pan);
void SoundVolumeSetter(RuntimeObject* sound, uint32_t parameter, int32_t volume);
// The exit step: releases DirectSound, sends "close all" when MCI was used
// and puts back the saved waveOut volume. The next Sound made starts afresh.
void SoundShutdown();
}
