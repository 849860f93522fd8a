// The AVI layout: RIFF "AVI " { LIST "hdrl" { avih, LIST "strl" { strh,
// strf }, [LIST "strl" { strh, strf }] }, LIST "movi" { 00db [01wb] ... },
// idx1 }, all little-endian.
#include "testsupport/TestMovieFile.h"

#include <windows.h>

#include <cstring>

namespace {

class Bytes {
 public:
  void Four(const char* code) { data_.insert(data_.end(), code, code + 4); }
  void U32(uint32_t value) {
    for (int i = 0; i < 4; ++i) data_.push_back(uint8_t(value >> (8 * i)));
  }
  void U16(uint16_t value) {
    data_.push_back(uint8_t(value));
    data_.push_back(uint8_t(value >> 8));
  }
  // A chunk's size word, filled by End.
  size_t Begin(const char* code) {
    Four(code);
    U32(0);
    return data_.size();
  }
  void End(size_t start) {
    const uint32_t size = uint32_t(data_.size() - start);
    std::memcpy(&data_[start - 4], &size, 4);
    if (size % 2) data_.push_back(0);
  }
  size_t Size() const { return data_.size(); }
  void Append(const std::vector<uint8_t>& more) { data_.insert(data_.end(), more.begin(), more.end()); }
  const std::vector<uint8_t>& Data() const { return data_; }

 private:
  std::vector<uint8_t> data_;
};

constexpr uint32_t kSoundRate = 8000;  // 8-bit mono samples a second

// The sound stream's "strl": 8-bit mono PCM.
void WriteSoundHeaders(Bytes* avi, uint32_t samples, uint32_t chunkBytes) {
  const size_t list = avi->Begin("LIST");
  avi->Four("strl");
  const size_t stream = avi->Begin("strh");
  avi->Four("auds");
  avi->U32(0);  // handler
  avi->U32(0);  // flags
  avi->U32(0);  // priority and language
  avi->U32(0);  // initial frames
  avi->U32(1);  // scale
  avi->U32(kSoundRate);
  avi->U32(0);  // start
  avi->U32(samples);
  avi->U32(chunkBytes);
  avi->U32(0xFFFFFFFF);  // quality
  avi->U32(1);           // sample size
  avi->U32(0);           // frame rectangle
  avi->U32(0);
  avi->End(stream);
  const size_t format = avi->Begin("strf");
  avi->U16(1);  // PCM
  avi->U16(1);  // channels
  avi->U32(kSoundRate);
  avi->U32(kSoundRate);  // bytes a second
  avi->U16(1);           // block
  avi->U16(8);           // bits
  avi->U16(0);
  avi->End(format);
  avi->End(list);
}

}  // namespace

bool WriteTestMovie(const std::wstring& path, int32_t width, int32_t height,
                    uint32_t framesPerSecond, const std::vector<uint32_t>& colours,
                    bool withSound) {
  const uint32_t soundBytes = kSoundRate / framesPerSecond;  // of each frame
  const uint32_t frameBytes = uint32_t(width) * uint32_t(height) * 4;
  const uint32_t frames = uint32_t(colours.size());
  Bytes avi;
  const size_t riff = avi.Begin("RIFF");
  avi.Four("AVI ");
  const size_t headers = avi.Begin("LIST");
  avi.Four("hdrl");
  const size_t main = avi.Begin("avih");
  avi.U32(1000000 / framesPerSecond);
  avi.U32(frameBytes * framesPerSecond);
  avi.U32(0);
  avi.U32(0x10);  // has an index
  avi.U32(frames);
  avi.U32(0);
  avi.U32(withSound ? 2 : 1);  // streams
  avi.U32(frameBytes);
  avi.U32(uint32_t(width));
  avi.U32(uint32_t(height));
  for (int i = 0; i < 4; ++i) avi.U32(0);
  avi.End(main);
  const size_t streamList = avi.Begin("LIST");
  avi.Four("strl");
  const size_t stream = avi.Begin("strh");
  avi.Four("vids");
  avi.Four("DIB ");
  avi.U32(0);  // flags
  avi.U16(0);  // priority
  avi.U16(0);  // language
  avi.U32(0);  // initial frames
  avi.U32(1);  // scale
  avi.U32(framesPerSecond);
  avi.U32(0);  // start
  avi.U32(frames);
  avi.U32(frameBytes);
  avi.U32(0xFFFFFFFF);  // quality
  avi.U32(0);           // sample size
  avi.U16(0);
  avi.U16(0);
  avi.U16(uint16_t(width));
  avi.U16(uint16_t(height));
  avi.End(stream);
  const size_t format = avi.Begin("strf");
  avi.U32(40);
  avi.U32(uint32_t(width));
  avi.U32(uint32_t(height));  // bottom-up
  avi.U16(1);
  avi.U16(32);
  avi.U32(BI_RGB);
  avi.U32(frameBytes);
  for (int i = 0; i < 4; ++i) avi.U32(0);
  avi.End(format);
  avi.End(streamList);
  if (withSound) WriteSoundHeaders(&avi, soundBytes * frames, soundBytes);
  avi.End(headers);
  const size_t movie = avi.Begin("LIST");
  const size_t movieStart = movie;  // index offsets count from "movi"
  avi.Four("movi");
  std::vector<uint32_t> offsets;
  for (uint32_t colour : colours) {
    offsets.push_back(uint32_t(avi.Size() - movieStart));
    const size_t frame = avi.Begin("00db");
    std::vector<uint8_t> pixels(frameBytes);
    for (uint32_t i = 0; i < frameBytes; i += 4) {
      pixels[i] = uint8_t(colour);
      pixels[i + 1] = uint8_t(colour >> 8);
      pixels[i + 2] = uint8_t(colour >> 16);
      pixels[i + 3] = 0;
    }
    avi.Append(pixels);
    avi.End(frame);
    if (withSound) {
      offsets.push_back(uint32_t(avi.Size() - movieStart));
      const size_t sound = avi.Begin("01wb");
      avi.Append(std::vector<uint8_t>(soundBytes, 0x80));  // silence
      avi.End(sound);
    }
  }
  avi.End(movie);
  const size_t index = avi.Begin("idx1");
  for (size_t i = 0; i < offsets.size(); ++i) {
    const bool sound = withSound && i % 2 == 1;
    avi.Four(sound ? "01wb" : "00db");
    avi.U32(0x10);  // a key frame
    avi.U32(offsets[i]);
    avi.U32(sound ? soundBytes : frameBytes);
  }
  avi.End(index);
  avi.End(riff);

  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, avi.Data().data(), DWORD(avi.Size()), &written, nullptr) &&
                  written == avi.Size();
  CloseHandle(file);
  return ok;
}

uint32_t ScreenColourAtMiddle(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  POINT middle{client.right / 2, client.bottom / 2};
  ClientToScreen(window, &middle);
  HDC screen = GetDC(nullptr);
  const COLORREF pixel = GetPixel(screen, middle.x, middle.y);
  ReleaseDC(nullptr, screen);
  return uint32_t(GetRValue(pixel)) << 16 | uint32_t(GetGValue(pixel)) << 8 | GetBValue(pixel);
}
