// The pixel algorithms on buffers of fuzzed size, stride (either row order),
// depth, seed and colours, each buffer exactly as large as its rows: the
// seed fill (checked against a plain breadth-first fill up to 64 x 64), the
// channel transform (checked pixel by pixel) and the masked blend.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <vector>

#include "graphics/PixelOps.h"
#include "graphics/SurfacePixels.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

// Rows of a buffer and the bytes they live in.
struct Surface {
  std::vector<uint8_t> bytes;
  PixelBuffer buffer{};
};

// width x height pixels at the depth, bottom-up when asked; filled from the
// input (zeros once it ends).
Surface MakeSurface(fuzz::Reader& input, int32_t width, int32_t height, int32_t depth,
                    bool bottomUp) {
  Surface surface;
  // DWORD-aligned rows, as every DIB's are, with up to two words to spare.
  const int32_t rowBytes = (width * depth + 31) / 32 * 4;
  const int32_t stride = rowBytes + 4 * (input.Take<uint8_t>() % 3);
  surface.bytes.assign(size_t(stride) * size_t(height), 0);
  const std::string fill = input.Bytes(surface.bytes.size());
  std::memcpy(surface.bytes.data(), fill.data(), fill.size());
  uint8_t* top = bottomUp ? surface.bytes.data() + size_t(stride) * (height - 1) : surface.bytes.data();
  surface.buffer = {top, bottomUp ? -stride : stride, width, height, depth};
  return surface;
}

bool SameStoredColour(int32_t depth, uint32_t fill, uint32_t seedColour) {
  if (depth == 16) return Colour555ToRGB(ColourTo555(fill)) == seedColour;
  return (fill & 0xFFFFFF) == seedColour;
}

// The plain fill the scan-line fill must equal.
void ReferenceFill(const PixelBuffer& buffer, int32_t x, int32_t y, uint32_t fill) {
  if (x < 0 || y < 0 || x >= buffer.width || y >= buffer.height) return;
  if (buffer.depth != 16 && buffer.depth != 24 && buffer.depth != 32) return;
  const uint32_t seed = SurfacePixel(buffer, x, y);
  if (SameStoredColour(buffer.depth, fill, seed)) return;
  std::vector<bool> seen(size_t(buffer.width) * buffer.height);
  std::deque<std::pair<int32_t, int32_t>> pending{{x, y}};
  while (!pending.empty()) {
    auto [px, py] = pending.front();
    pending.pop_front();
    if (px < 0 || py < 0 || px >= buffer.width || py >= buffer.height) continue;
    const size_t at = size_t(py) * buffer.width + px;
    if (seen[at] || SurfacePixel(buffer, px, py) != seed) continue;
    seen[at] = true;
    SetSurfacePixel(buffer, px, py, fill);
    pending.insert(pending.end(), {{px + 1, py}, {px - 1, py}, {px, py + 1}, {px, py - 1}});
  }
}

void CheckSeedFill(fuzz::Reader& input, Surface& surface) {
  const int32_t x = input.Take<int8_t>();
  const int32_t y = input.Take<int8_t>();
  const uint32_t fill = input.Take<uint32_t>();
  const bool small = surface.buffer.width <= 64 && surface.buffer.height <= 64;
  Surface expected = surface;
  expected.buffer.base = expected.bytes.data() + (surface.buffer.base - surface.bytes.data());
  SeedFill(surface.buffer, x, y, fill);
  if (!small) return;
  ReferenceFill(expected.buffer, x, y, fill);
  if (expected.bytes != surface.bytes) fuzz::Fail("seed fill differs from the plain fill");
}

void CheckTransform(fuzz::Reader& input, Surface& surface) {
  uint8_t red[256], green[256], blue[256];
  for (int i = 0; i < 256; ++i) {
    red[i] = uint8_t(i * 7 + input.Take<uint8_t>());
    green[i] = uint8_t(255 - i);
    blue[i] = uint8_t(i ^ 0x5A);
  }
  const Surface before = surface;
  const PixelBuffer& b = surface.buffer;
  const PixelBuffer old{const_cast<uint8_t*>(before.bytes.data()) + (b.base - surface.bytes.data()),
                        b.stride, b.width, b.height, b.depth};
  const bool done = TransformPixels(b, red, green, blue);
  if (done != (b.depth == 24 || b.depth == 32)) fuzz::Fail("transform depth");
  if (!done || b.width > 64 || b.height > 64) return;
  for (int32_t y = 0; y < b.height; ++y)
    for (int32_t x = 0; x < b.width; ++x) {
      const uint32_t was = SurfacePixel(old, x, y);
      const uint32_t want = uint32_t(red[was >> 16 & 0xFF]) << 16 |
                            uint32_t(green[was >> 8 & 0xFF]) << 8 | blue[was & 0xFF];
      if (SurfacePixel(b, x, y) != want) fuzz::Fail("transform differs from the tables");
    }
}

void Blend(fuzz::Reader& input) {
  auto side = [&input] { return 1 + input.Take<uint8_t>() % 48; };
  const int32_t sw = side(), sh = side(), mw = side(), mh = side(), dw = side(), dh = side();
  Surface source = MakeSurface(input, sw, sh, 32, input.Take<uint8_t>() & 1);
  Surface mask = MakeSurface(input, mw, mh, 32, false);
  Surface destination = MakeSurface(input, dw, dh, input.Take<uint8_t>() & 1 ? 24 : 32, true);
  const int32_t left = input.Take<int16_t>(), top = input.Take<int16_t>();
  const int32_t right = input.Take<int16_t>(), bottom = input.Take<int16_t>();
  MaskedBlend(source.buffer, mask.buffer, left, top, right, bottom, destination.buffer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Reader input(data, size);
  static const int32_t kDepths[] = {16, 24, 32, 8};
  const uint8_t shape = input.Take<uint8_t>();
  const int32_t depth = kDepths[shape & 3];
  const bool bottomUp = shape & 4;
  // Up to 64 x 64 mostly, and now and then a long thin buffer.
  const int32_t width = 1 + input.Take<uint8_t>() % (shape & 8 ? 200 : 64);
  const int32_t height = 1 + input.Take<uint8_t>() % 64;
  Surface surface = MakeSurface(input, width, height, depth, bottomUp);
  CheckSeedFill(input, surface);
  CheckTransform(input, surface);
  Blend(input);
  fuzz::FailOnRecordedBoxes();
  return 0;
}
