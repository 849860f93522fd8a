// The DIB and metafile panes of the drawing tests.
#include "testsupport/DrawingTestPanes.h"

#include "graphics/GraphicsPort.h"

DIBTestPane::DIBTestPane(int16_t width, int16_t height)
    : Pane(MacRect{0, 0, height, width}), width_(width), height_(height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  bitmap_.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  bits_ = static_cast<uint32_t*>(bits);
}

DIBTestPane::~DIBTestPane() {
  // The ports give their DC back while this pane's operations still work.
  PaneForgetGraphicsPorts(this);
  if (dc_) SelectObject(dc_.get(), previous_);
}

void DIBTestPane::SetTopLeft(int16_t left, int16_t top) {
  bounds_ = {top, left, int16_t(top + height_), int16_t(left + width_)};
  if (dc_) SetWindowOrgEx(dc_.get(), left, top, nullptr);
}

uint32_t DIBTestPane::Pixel(int32_t x, int32_t y) const {
  if (!bits_ || x < 0 || y < 0 || x >= width_ || y >= height_) return 0xFF000000;
  GdiFlush();
  return bits_[size_t(y) * size_t(width_) + size_t(x)] & 0xFFFFFF;
}

void DIBTestPane::Fill(uint32_t rgb) {
  GdiFlush();
  for (int32_t i = 0; bits_ && i < int32_t(width_) * height_; ++i) bits_[i] = rgb;
}

HDC DIBTestPane::AcquireDC(uint32_t* releaseToken) {
  if (releaseToken) *releaseToken = 1;
  if (nesting_++ == 0) {
    dc_.reset(CreateCompatibleDC(nullptr));
    previous_ = SelectObject(dc_.get(), bitmap_.get());
    SetWindowOrgEx(dc_.get(), Left(), Top(), nullptr);
  }
  return dc_.get();
}

void DIBTestPane::ReleaseDC(uint32_t) {
  if (nesting_ == 0 || --nesting_ > 0) return;
  SelectObject(dc_.get(), previous_);
  dc_.reset();
}

MetafileTestPane::MetafileTestPane(int16_t width, int16_t height)
    : Pane(MacRect{0, 0, height, width}) {}

MetafileTestPane::~MetafileTestPane() {
  PaneForgetGraphicsPorts(this);
  if (dc_) DeleteEnhMetaFile(CloseEnhMetaFile(dc_));
}

HDC MetafileTestPane::AcquireDC(uint32_t* releaseToken) {
  if (releaseToken) *releaseToken = 1;
  if (!dc_) dc_ = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
  return dc_;
}

// The recording goes on until the test reads it.
void MetafileTestPane::ReleaseDC(uint32_t) {}

namespace {

template <class Visit>
int CALLBACK VisitRecord(HDC, HANDLETABLE*, const ENHMETARECORD* record, int, LPARAM data) {
  (*reinterpret_cast<Visit*>(data))(record);
  return 1;
}

}  // namespace

template <class Visit>
void MetafileTestPane::TakeRecords(Visit visit) {
  GraphicsPort::UnfocusCurrent();
  if (!dc_) return;
  HENHMETAFILE metafile = CloseEnhMetaFile(dc_);
  dc_ = nullptr;
  EnumEnhMetaFile(nullptr, metafile, VisitRecord<Visit>, &visit, nullptr);
  DeleteEnhMetaFile(metafile);
}

std::vector<RecordedText> MetafileTestPane::TakeText() {
  std::vector<RecordedText> records;
  TakeRecords([&](const ENHMETARECORD* record) {
    if (record->iType != EMR_EXTTEXTOUTW) return;
    auto* text = reinterpret_cast<const EMREXTTEXTOUTW*>(record);
    auto* chars = reinterpret_cast<const wchar_t*>(reinterpret_cast<const BYTE*>(record) +
                                                   text->emrtext.offString);
    records.push_back({std::wstring(chars, text->emrtext.nChars), text->emrtext.ptlReference.x,
                       text->emrtext.ptlReference.y, text->emrtext.fOptions});
  });
  return records;
}

std::vector<uint32_t> MetafileTestPane::TakeRecordTypes() {
  std::vector<uint32_t> types;
  TakeRecords([&](const ENHMETARECORD* record) { types.push_back(record->iType); });
  return types;
}
