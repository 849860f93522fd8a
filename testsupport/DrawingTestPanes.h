// Panes that drawing tests draw into and read back.
//
// DIBTestPane: a root pane over a 32-bit top-down DIB section. AcquireDC
// gives a memory DC, nested (one DC until the last release), whose window
// origin is the pane's top-left, so that with SetTopLeft the pane stands in
// for a sub-pane of a window. Pixels are read from memory in pane-local
// coordinates as 0x00RRGGBB.
//
// MetafileTestPane: a root pane whose DC records an enhanced metafile, so
// that tests read back the exact strings and reference points drawn, and
// which primitives drew.
//
// Both are made with new and disposed of with Unlock, like every pane.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "graphics/GdiObjects.h"
#include "ui/pane.h"

class DIBTestPane : public Pane {
 public:
  DIBTestPane(int16_t width, int16_t height);

  void SetTopLeft(int16_t left, int16_t top);
  void SetHasNativeWindow(bool native) { native_ = native; }
  // The pane's pixel, or 0xFF000000 outside it.
  uint32_t Pixel(int32_t x, int32_t y) const;
  void Fill(uint32_t rgb);
  // Memory DCs handed out and not yet given back (0 or 1).
  int32_t OpenDCs() const { return dc_ ? 1 : 0; }

  bool HasNativeWindow() const override { return native_; }
  HDC AcquireDC(uint32_t* releaseToken) override;
  void ReleaseDC(uint32_t releaseToken) override;

 protected:
  ~DIBTestPane() override;

 private:
  int16_t width_, height_;
  bool native_ = false;
  CountedDIBSection bitmap_;
  uint32_t* bits_ = nullptr;
  CountedDC dc_;
  HGDIOBJ previous_ = nullptr;
  int32_t nesting_ = 0;
};

// One text record of the metafile.
struct RecordedText {
  std::wstring text;
  int32_t x, y;
  uint32_t options;
};

class MetafileTestPane : public Pane {
 public:
  MetafileTestPane(int16_t width, int16_t height);

  // Unfocuses the current port, ends the recording and gives the text
  // records in drawing order; a new recording starts with the next DC.
  std::vector<RecordedText> TakeText();
  // The same for the types of all records (EMR_ELLIPSE, EMR_POLYGON16 ...).
  std::vector<uint32_t> TakeRecordTypes();

  HDC AcquireDC(uint32_t* releaseToken) override;
  void ReleaseDC(uint32_t releaseToken) override;

 protected:
  ~MetafileTestPane() override;

 private:
  template <class Visit>
  void TakeRecords(Visit visit);

  HDC dc_ = nullptr;
};
