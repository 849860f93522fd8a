// What the fuzz targets share: the start-up every target gets (its
// LLVMFuzzerInitialize records boxes and registers the core classes), a
// check that no box was recorded, and a reader that takes values off the
// front of the input.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace fuzz {

// Aborts (a finding) when the run recorded a message box or an assertion;
// prints each box first.
void FailOnRecordedBoxes();
// Aborts with the message: the target's oracle did not hold.
[[noreturn]] void Fail(const char* what);

// Takes fixed-size values off the front of the input; zeros once it is used
// up, so every input is a valid program.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  template <class T>
  T Take() {
    T value{};
    const size_t count = sizeof(T) < size_ ? sizeof(T) : size_;
    std::memcpy(&value, data_, count);
    data_ += count;
    size_ -= count;
    return value;
  }
  // Up to count bytes.
  std::string Bytes(size_t count) {
    if (count > size_) count = size_;
    std::string bytes(reinterpret_cast<const char*>(data_), count);
    data_ += count;
    size_ -= count;
    return bytes;
  }
  std::string Rest() { return Bytes(size_); }
  size_t Left() const { return size_; }

 private:
  const uint8_t* data_;
  size_t size_;
};

}  // namespace fuzz
