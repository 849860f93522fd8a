// The Sound class: MCI commands, alias numbers and levels as the seam sees
// them, the playing state a device's notifications give, the notification
// window, sounds in memory read back from their DirectSound buffers, and the
// exit step. The program runs once with ALSA's null output and once without
// any audio device; the cases check what each set-up gives.
#include "graphics/Sound.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <dsound.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "core/SmartRef.h"
#include "core/string.h"
#include "core/utility.h"
#include "files/runFolderItem.h"
#include "host/ResourceManagerCommon.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/RuntimeTestEnvironment.h"
#include "testsupport/SoundTestSupport.h"

namespace {

using Lines = std::vector<std::string>;

class SoundTest : public HostTest {
 protected:
  // Every test starts as a run that made no Sound yet.
  void TearDown() override {
    SoundShutdown();
    HostTest::TearDown();
  }
};

SoundFields* Fields(const ObjectRef& sound) { return ObjectFields<SoundFields>(sound.get()); }

// A Sound of a FolderItem of the path.
ObjectRef FileSound(const std::string& path) {
  StringRef text = StringRef::Adopt(StringFromUTF8(path));
  ObjectRef item = ObjectRef::Adopt(RuntimeGetFolderItem(text.get()));
  return ObjectRef::Adopt(NewSoundFromFile(item.get()));
}

ObjectRef MemorySound(const std::vector<uint8_t>& bytes, bool header) {
  auto* data = static_cast<uint8_t*>(HeapAllocate(uint32_t(bytes.size()), false));
  std::memcpy(data, bytes.data(), bytes.size());
  return ObjectRef::Adopt(NewSoundFromData(data, uint32_t(bytes.size()), header, true));
}

// The alias number of a logged "open ... alias N" line.
int AliasIn(const std::string& line) { return std::stoi(line.substr(line.rfind(' ') + 1)); }

std::string Open(const std::string& path, int alias) {
  return "open \"" + path + "\" alias " + std::to_string(alias);
}

int CountOf(const Lines& log, const std::string& line) {
  return int(std::count(log.begin(), log.end(), line));
}

int NotifyWindowCount() {
  int count = 0;
  for (HWND window = nullptr;
       (window = FindWindowExA(nullptr, window, "KVMCISoundWnd", nullptr));) {
    ++count;
  }
  return count;
}

// Two short files, written once.
const std::string& ShortTone() {
  static const std::string path = WriteTemporarySound(ToneWave(150), "kv-tone-a.wav");
  return path;
}
const std::string& OtherTone() {
  static const std::string path = WriteTemporarySound(ToneWave(150), "kv-tone-b.wav");
  return path;
}

TEST_F(SoundTest, AliasesCountOnlyPlaysThatSucceedAndLevelsReachTheDevices) {
  SoundCallRecorder calls(true);
  ObjectRef a = FileSound(ShortTone());
  ObjectRef b = FileSound(OtherTone());
  calls.Take();
  soundPlay(a.get());
  Lines log = calls.Take();
  ASSERT_GE(log.size(), 2u);
  const int n = AliasIn(log[0]);
  EXPECT_EQ(log[0], Open(ShortTone(), n));
  EXPECT_EQ(log[1], "play " + std::to_string(n) + " notify");

  soundPlay(b.get());
  log = calls.Take();
  EXPECT_EQ(
      Lines(log.begin(), log.begin() + 3),
      (Lines{"close all", Open(OtherTone(), n + 1), "play " + std::to_string(n + 1) + " notify"}));

  // A refused open and a refused play leave the number for the next play.
  calls.script().failing = "open";
  soundPlay(a.get());
  EXPECT_EQ(calls.Take(), (Lines{"close all", Open(ShortTone(), n + 2)}));
  calls.script().failing = "play";
  soundPlay(a.get());
  EXPECT_EQ(calls.Take(),
            (Lines{Open(ShortTone(), n + 2), "play " + std::to_string(n + 2) + " notify",
                   "close " + std::to_string(n + 2)}));
  EXPECT_FALSE(soundIsPlaying(a.get()));
  calls.script().failing.clear();
  soundPlay(a.get());
  EXPECT_EQ(calls.Take()[0], Open(ShortTone(), n + 2));

  calls.script().deviceId = 12;
  SoundVolumeSetter(a.get(), 0, 50);
  calls.Take();
  SoundPanSetter(a.get(), 0, -50);
  EXPECT_EQ(calls.Take(), (Lines{"waveOutSetVolume(0, 0x3FFF7FFF)",
                                 "mciGetDeviceIDA(" + std::to_string(n + 2) + ")",
                                 "midiOutSetVolume(12, 0x3FFF7FFF)"}));
}

TEST_F(SoundTest, NotificationsCountOnlyForTheSoundsOwnDeviceAndOneWindowServesThem) {
  SoundCallRecorder calls(true);
  for (WPARAM code : {WPARAM(MCI_NOTIFY_FAILURE), WPARAM(MCI_NOTIFY_ABORTED)}) {
    ObjectRef sound = FileSound(ShortTone());
    soundPlayLooping(sound.get());
    HWND window = Fields(sound)->notifyWindow;
    SendMessageA(window, MM_MCINOTIFY, code, 9);
    EXPECT_TRUE(soundIsPlaying(sound.get())) << code;
    SendMessageA(window, MM_MCINOTIFY, code, 7);
    EXPECT_FALSE(soundIsPlaying(sound.get())) << code;
  }

  // One window serves every play of a Sound, and goes with it.
  {
    ObjectRef sound = FileSound(ShortTone());
    for (int i = 0; i < 1000; ++i) soundPlay(sound.get());
    EXPECT_EQ(NotifyWindowCount(), 1);
  }
  EXPECT_EQ(NotifyWindowCount(), 0);
}

TEST_F(SoundTest, FilePlaysEndOrLoopAsTheDeviceReports) {
  SoundCallRecorder calls;
  ObjectRef once = FileSound(ShortTone());
  soundPlay(once.get());
  const auto start = std::chrono::steady_clock::now();
  while (soundIsPlaying(once.get()) &&
         std::chrono::steady_clock::now() - start < std::chrono::seconds(2)) {
    Sleep(1);
  }
  EXPECT_FALSE(soundIsPlaying(once.get()));

  ObjectRef looping = FileSound(OtherTone());
  soundPlayLooping(looping.get());
  const std::string seek = "seek " + std::to_string(Fields(looping)->alias) + " to start";
  if (NoSoundDevice()) {
    EXPECT_TRUE(
        RuntimeTestEnvironment::RunUntil([&] { return !soundIsPlaying(looping.get()); }, 1000));
    return;
  }
  int seen = 0;
  auto seeks = [&](int wanted) {
    auto count = [&] { return (seen += CountOf(calls.Take(), seek)) >= wanted; };
    return RuntimeTestEnvironment::RunUntil(count, 10000);
  };
  EXPECT_TRUE(seeks(2));
  EXPECT_TRUE(soundIsPlaying(looping.get()));
  soundStop(once.get());
  EXPECT_TRUE(seeks(3)) << "another sound's Stop ended the loop";
  soundStop(looping.get());
  RuntimeTestEnvironment::RunTurns(20);
  EXPECT_FALSE(soundIsPlaying(looping.get()));
}

TEST_F(SoundTest, SoundsInMemoryTakeTheirFormatFromTheirChunks) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    bool header;
    bool playable;
    WORD channels = 0, bits = 0;
    DWORD rate = 0, size = 0;
  };
  const std::vector<uint8_t> samples(4000, 0x80);
  const std::vector<uint8_t> tone = ToneWave(10);
  const Case cases[] = {
      {"headerless", samples, false, true, 1, 8, 22050, 4000},
      {"canonical", WaveFile({{"fmt ", PcmFormat(2, 44100, 16)}, {"data", samples}}), true, true, 2,
       16, 44100, 4000},
      {"list first",
       WaveFile({{"fmt ", PcmFormat(1, 11025, 8)},
                 {"LIST", std::vector<uint8_t>(33, 'x')},
                 {"data", samples}}),
       true, true, 1, 8, 11025, 4000},
      {"18-byte fmt", WaveFile({{"fmt ", PcmFormat(1, 8000, 8, true)}, {"data", samples}}), true,
       true, 1, 8, 8000, 4000},
      {"30 bytes", std::vector<uint8_t>(tone.begin(), tone.begin() + 30), true, false},
      {"no fmt", WaveFile({{"data", samples}}), true, false},
  };
  SoundCallRecorder calls;
  for (const Case& c : cases) {
    ObjectRef sound = MemorySound(c.bytes, c.header);
    soundPlay(sound.get());
    IDirectSoundBuffer* buffer = Fields(sound)->buffer;
    if (NoSoundDevice() || !c.playable) {
      EXPECT_EQ(buffer, nullptr) << c.name;
      EXPECT_FALSE(soundIsPlaying(sound.get())) << c.name;
      continue;
    }
    ASSERT_NE(buffer, nullptr) << c.name;
    WAVEFORMATEX format{};
    buffer->GetFormat(&format, sizeof format, nullptr);
    DSBCAPS caps{};
    caps.dwSize = sizeof caps;
    buffer->GetCaps(&caps);
    EXPECT_EQ((std::vector<DWORD>{format.wFormatTag, format.nChannels, format.nSamplesPerSec,
                                  format.wBitsPerSample, caps.dwBufferBytes}),
              (std::vector<DWORD>{WAVE_FORMAT_PCM, c.channels, c.rate, c.bits, c.size}))
        << c.name;
  }

  // Levels go to the buffer, not to the device.
  ObjectRef sound = MemorySound(samples, false);
  soundPlayLooping(sound.get());
  calls.Take();
  SoundVolumeSetter(sound.get(), 0, 0);
  SoundPanSetter(sound.get(), 0, 100);
  EXPECT_TRUE(calls.Take().empty());
  if (IDirectSoundBuffer* buffer = Fields(sound)->buffer) {
    LONG volume = 0;
    LONG pan = 0;
    buffer->GetVolume(&volume);
    buffer->GetPan(&pan);
    EXPECT_EQ(volume, -10000);
    EXPECT_EQ(pan, 10000);
    EXPECT_TRUE(soundIsPlaying(sound.get()));
    soundStop(sound.get());
    EXPECT_FALSE(soundIsPlaying(sound.get()));
    // The exit step takes the buffers with their DirectSound object; the
    // Sound may still go, or play again.
    SoundShutdown();
    EXPECT_EQ(Fields(sound)->buffer, nullptr);
    soundPlay(sound.get());
    EXPECT_TRUE(soundIsPlaying(sound.get()));
  }
}

TEST_F(SoundTest, ResourceSoundsLeaveTheImageItsDataAndFileSoundsHoldTheirsAndTheItem) {
  const std::vector<uint8_t> bytes = ToneWave(150);
  ASSERT_TRUE(ResourceManager::AddResource(FourCharCode("snd "), 30001, bytes.data(),
                                           uint32_t(bytes.size())));
  const SoundResourceData resource = *ResourceManager::GetSoundData(30001);
  ObjectRef sound = ObjectRef::Adopt(
      NewSoundFromData(resource.data, resource.length, resource.hasWaveHeader, resource.ownsData));
  soundPlay(sound.get());
  sound = ObjectRef();
  EXPECT_EQ(std::vector<uint8_t>(resource.data, resource.data + resource.length), bytes);

  StringRef path = StringRef::Adopt(StringFromUTF8(ShortTone()));
  ObjectRef item = ObjectRef::Adopt(RuntimeGetFolderItem(path.get()));
  sound = ObjectRef::Adopt(CallMethod<RuntimeObject*>(item.get(), "OpenAsSound"));
  ASSERT_TRUE(sound);
  EXPECT_EQ(Fields(sound)->file, item.get());
  EXPECT_TRUE(Fields(sound)->hasWaveHeader && Fields(sound)->ownsData);
  const uint8_t* data = Fields(sound)->data;
  EXPECT_EQ(std::vector<uint8_t>(data, data + Fields(sound)->dataLength), bytes);
}

TEST_F(SoundTest, ShutdownClosesMciOnlyWhenUsedAndRestoresOnlyAVolumeItRead) {
  SoundCallRecorder calls(true);
  calls.script().volume = 0x12345678;
  ObjectRef memory = MemorySound(ToneWave(20), true);
  EXPECT_EQ(calls.Take(), Lines{"waveOutGetVolume(0)"});
  SoundShutdown();
  EXPECT_EQ(calls.Take(), Lines{"waveOutSetVolume(0, 0x12345678)"});

  calls.script().volumeReadable = false;
  ObjectRef file = FileSound(ShortTone());
  soundPlay(file.get());
  calls.Take();
  SoundShutdown();
  EXPECT_EQ(calls.Take(), Lines{"close all"});
}

}  // namespace
