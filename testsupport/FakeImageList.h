// A stand-in for the image list of a multi-image picture file: it serves
// pictures the test made, and can be told that one of them fails to read.
#pragma once
#include <cstdint>
#include <vector>

#include "graphics/NativePicture.h"

class FakeImageList : public PictureImageList {
 public:
  // Takes over one reference of each image; image i (from 1) is images[i - 1].
  // Reading image unreadable (0 for none) gives nil.
  FakeImageList(std::vector<NativePicture*> images, int32_t unreadable);
  ~FakeImageList() override;
  FakeImageList(const FakeImageList&) = delete;
  FakeImageList& operator=(const FakeImageList&) = delete;

  int32_t ImageCount() override;
  NativePicture* ReadImage(int32_t index) override;

 private:
  std::vector<NativePicture*> images_;
  int32_t unreadable_;
};
