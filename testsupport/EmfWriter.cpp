// The header is the 108-byte form the platform writes; the end-of-file
// record carries no palette.
#include "testsupport/EmfWriter.h"

namespace {

constexpr uint32_t kHeaderType = 1;
constexpr uint32_t kEndOfFileType = 14;
constexpr uint32_t kHeaderSize = 108;
constexpr uint32_t kSignature = 0x464D4520;  // " EMF"

void Put(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + size_t(i)] = uint8_t(value >> (8 * i));
}

}  // namespace

EmfBody& EmfBody::U32(uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes_.push_back(uint8_t(value >> (8 * i)));
  return *this;
}

EmfBody& EmfBody::Words(std::initializer_list<int32_t> values) {
  for (int32_t value : values) I32(value);
  return *this;
}

EmfBody& EmfBody::U16(uint16_t value) {
  bytes_.push_back(uint8_t(value));
  bytes_.push_back(uint8_t(value >> 8));
  return *this;
}

EmfBody& EmfBody::Bytes(const std::vector<uint8_t>& bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

EmfBody& EmfBody::Wide(const std::string& text) {
  for (char c : text) U16(uint8_t(c));
  return *this;
}

EmfBody& EmfBody::Pad() {
  while (bytes_.size() % 4) bytes_.push_back(0);
  return *this;
}

EmfWriter& EmfWriter::Add(uint32_t type, EmfBody body) {
  body.Pad();
  return AddWithSize(type, uint32_t(8 + body.size()), body);
}

EmfWriter& EmfWriter::AddWithSize(uint32_t type, uint32_t statedSize, EmfBody body) {
  EmfBody record;
  record.U32(type).U32(statedSize).Bytes(body.bytes());
  records_.insert(records_.end(), record.bytes().begin(), record.bytes().end());
  ++count_;
  return *this;
}

std::vector<uint8_t> EmfWriter::File(int32_t handles, int32_t left, int32_t top, int32_t right,
                                     int32_t bottom) const {
  EmfBody end;
  end.U32(kEndOfFileType).U32(20).U32(0).U32(16).U32(20);
  std::vector<uint8_t> file(kHeaderSize);
  const uint32_t total = uint32_t(kHeaderSize + records_.size() + end.size());
  const uint32_t header[] = {kHeaderType, kHeaderSize, uint32_t(left), uint32_t(top),
                             uint32_t(right), uint32_t(bottom), 0, 0, uint32_t(right * 26),
                             uint32_t(bottom * 26), kSignature, 0x10000, total, count_ + 2,
                             uint32_t(handles), 0, 0, 0, 1024, 768, 320, 240, 0, 0, 0,
                             320000, 240000};
  for (size_t i = 0; i < sizeof header / sizeof header[0]; ++i) Put(file, 4 * i, header[i]);
  file.insert(file.end(), records_.begin(), records_.end());
  file.insert(file.end(), end.bytes().begin(), end.bytes().end());
  return file;
}
