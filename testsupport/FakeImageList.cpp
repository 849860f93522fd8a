#include "testsupport/FakeImageList.h"

#include <utility>

FakeImageList::FakeImageList(std::vector<NativePicture*> images, int32_t unreadable)
    : images_(std::move(images)), unreadable_(unreadable) {}

FakeImageList::~FakeImageList() {
  for (NativePicture* image : images_) PictureRelease(image);
}

int32_t FakeImageList::ImageCount() { return int32_t(images_.size()); }

NativePicture* FakeImageList::ReadImage(int32_t index) {
  if (index < 1 || index > ImageCount() || index == unreadable_) return nullptr;
  NativePicture* image = images_[size_t(index - 1)];
  PictureRetain(image);
  return image;
}
