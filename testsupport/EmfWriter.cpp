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

std::vector<uint8_t> EveryRecordEMF() {
  auto words = [](std::initializer_list<int32_t> values) { return EmfBody().Words(values); };
  EmfBody bitmap = EmfBody().Words({40, 2, 2, 0x00180001, 0, 0, 0, 0, 0, 0}).Bytes(
      std::vector<uint8_t>(16, 0x55));
  EmfBody text = EmfBody().Words({0, 0, 9, 9, 1, 0, 0, 3, 4, 2, 76, 0, 0, 0, 9, 9, 0});
  EmfWriter writer;
  writer.Add(38, words({1, 0, 2, 2, 0xFF})).Add(39, words({2, 0, 0xFF00, 0}))
      .Add(37, words({1})).Add(37, words({2}))
      .Add(82, EmfBody().U32(3).Words({-14, 0, 0, 0, 700, 1, 0}).Wide("Arial").Bytes(std::vector<uint8_t>(54)))
      .Add(37, words({3})).Add(24, words({0x123456})).Add(27, words({1, 2})).Add(54, words({30, 40}))
      .Add(43, words({1, 2, 30, 40})).Add(42, words({1, 2, 30, 40}))
      .Add(44, words({1, 2, 30, 40, 5, 6})).Add(47, words({1, 2, 30, 40, 30, 20, 1, 2}))
      .Add(3, words({0, 0, 9, 9, 3, 0, 0, 9, 0, 5, 9}))
      .Add(86, EmfBody().Words({0, 0, 9, 9, 3}).U16(0).U16(0).U16(9).U16(0).U16(5).U16(9))
      .Add(81, EmfBody().Words({0, 0, 9, 9, 3, 4, 0, 0, 2, 2, 80, 40, 120, 16, 0, 0xCC0020, 4, 4})
                   .Bytes(bitmap.bytes()))
      .Add(77, EmfBody().Words({0, 0, 9, 9, 3, 4, 4, 4, 0xCC0020, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                108, 40, 148, 16, 2, 2})
                   .Bytes(bitmap.bytes()))
      .Add(83, EmfBody(text).Bytes({'H', 'i'}))
      .Add(84, EmfBody(text).Wide("Hi"));
  return writer.File();
}
