#include "tests/host/HostTestSupport.h"

#include <gtest/gtest.h>

#include "host/ResourceManagerCommon.h"

void PutU16(std::vector<uint8_t>& image, size_t at, uint16_t value) {
  image.at(at) = uint8_t(value);
  image.at(at + 1) = uint8_t(value >> 8);
}

void PutU32(std::vector<uint8_t>& image, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) image.at(at + i) = uint8_t(value >> (8 * i));
}

uint32_t DirectoryOffsetOf(const std::vector<uint8_t>& image) {
  return uint32_t(image.at(20)) | uint32_t(image.at(21)) << 8 | uint32_t(image.at(22)) << 16 |
         uint32_t(image.at(23)) << 24;
}

std::vector<uint8_t> BuildImage(const std::string& caption,
                                const std::vector<ImageResource>& resources) {
  const uint32_t optionsOffset = 24;
  const uint32_t optionsLength = 4 + uint32_t(caption.size());
  const uint32_t directoryOffset = optionsOffset + optionsLength;
  uint32_t dataOffset = directoryOffset + 16 * uint32_t(resources.size());

  std::vector<uint8_t> image(dataOffset);
  image[0] = 'K', image[1] = 'V', image[2] = 'I', image[3] = 'M';
  PutU16(image, 4, 1);
  PutU32(image, 8, optionsOffset);
  PutU32(image, 12, optionsLength);
  PutU32(image, 16, uint32_t(resources.size()));
  PutU32(image, 20, directoryOffset);
  PutU16(image, optionsOffset + 2, uint16_t(caption.size()));
  std::copy(caption.begin(), caption.end(), image.begin() + optionsOffset + 4);

  for (size_t i = 0; i < resources.size(); ++i) {
    const ImageResource& resource = resources[i];
    size_t record = directoryOffset + 16 * i;
    for (int b = 0; b < 4; ++b) image[record + b] = uint8_t(resource.type >> (24 - 8 * b));
    PutU16(image, record + 4, uint16_t(resource.id));
    PutU32(image, record + 8, dataOffset);
    PutU32(image, record + 12, uint32_t(resource.bytes.size()));
    image.insert(image.end(), resource.bytes.begin(), resource.bytes.end());
    dataOffset += uint32_t(resource.bytes.size());
  }
  return image;
}

void LoadTestImage(const std::string& caption, const std::vector<ImageResource>& resources) {
  std::vector<uint8_t> image = BuildImage(caption, resources);
  std::string error;
  ASSERT_TRUE(ResourceManager::LoadImage(image.data(), image.size(), &error)) << error;
}
