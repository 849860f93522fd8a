// Helpers shared by the host's tests: application images built in memory and
// periodic tasks that run a lambda.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/RunTimer.h"

struct ImageResource {
  uint32_t type;
  int16_t id;
  std::string bytes;
};

// An image in the documented layout: header, options (with the caption in
// UTF-8), directory, data.
std::vector<uint8_t> BuildImage(const std::string& caption,
                                const std::vector<ImageResource>& resources);
// Where the directory starts in an image made by BuildImage.
uint32_t DirectoryOffsetOf(const std::vector<uint8_t>& image);
void PutU16(std::vector<uint8_t>& image, size_t at, uint16_t value);
void PutU32(std::vector<uint8_t>& image, size_t at, uint32_t value);

// Loads the image and fails the test when it is refused.
void LoadTestImage(const std::string& caption, const std::vector<ImageResource>& resources);

class LambdaTask : public PeriodicTask {
 public:
  LambdaTask(int32_t period, std::function<void()> run)
      : PeriodicTask(period), run_(std::move(run)) {}
  void Run() override {
    ++runs;
    run_();
  }
  int runs = 0;

 private:
  std::function<void()> run_;
};
