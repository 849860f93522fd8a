// Owning wrappers of the GDI objects the drawing layer makes, one per handle
// kind, each keeping a count of its live objects so that tests can see that
// nothing accumulates (the system gives no such count under every host).
// Fonts are not here: the font cache counts them.
#pragma once
#include <windows.h>

#include <cstdint>
#include <utility>

enum class GdiKind {
  kPen,
  kBrush,
  kPatternBitmap,
  kDIBSection,
  kCompatibleBitmap,
  kRegion,
  kPalette,
  kDC,
  kCount
};

// Objects of the kind alive now.
int32_t GdiLiveCount(GdiKind kind);
void NoteGdiObjectMade(GdiKind kind);
void NoteGdiObjectDeleted(GdiKind kind);

// GdiFlush before the drawing layer reads or writes a DIB section's pixels
// itself: drawing GDI still holds in its batch would land afterwards. The
// flushes are counted, as the system draws at once under some hosts.
void FlushGdi();
int32_t GdiFlushCount();
// For access pixel by pixel: the drawing ports and the pictures' own memory
// DCs note each time they are drawn with, and FlushGdiAfterDrawing flushes
// only after such a note (a flush costs far more than reading a pixel).
void NoteGdiDrawing();
void FlushGdiAfterDrawing();

// Takes ownership of a handle (null is none) and deletes it with
// DeleteObject, or DeleteDC for DCs.
template <class Handle, GdiKind Kind>
class CountedGdi {
 public:
  CountedGdi() = default;
  explicit CountedGdi(Handle handle) : handle_(handle) {
    if (handle_) NoteGdiObjectMade(Kind);
  }
  ~CountedGdi() { reset(); }
  CountedGdi(CountedGdi&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  CountedGdi& operator=(CountedGdi&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  CountedGdi(const CountedGdi&) = delete;
  CountedGdi& operator=(const CountedGdi&) = delete;

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  void reset(Handle handle = nullptr) {
    if (handle_) {
      if constexpr (Kind == GdiKind::kDC) {
        DeleteDC(handle_);
      } else {
        DeleteObject(handle_);
      }
      NoteGdiObjectDeleted(Kind);
    }
    handle_ = handle;
    if (handle_) NoteGdiObjectMade(Kind);
  }
  // Gives the handle up without deleting it (it leaves the count).
  Handle release() {
    if (handle_) NoteGdiObjectDeleted(Kind);
    return std::exchange(handle_, nullptr);
  }

 private:
  Handle handle_ = nullptr;
};

using CountedPen = CountedGdi<HPEN, GdiKind::kPen>;
using CountedBrush = CountedGdi<HBRUSH, GdiKind::kBrush>;
using CountedPatternBitmap = CountedGdi<HBITMAP, GdiKind::kPatternBitmap>;
using CountedDIBSection = CountedGdi<HBITMAP, GdiKind::kDIBSection>;
using CountedCompatibleBitmap = CountedGdi<HBITMAP, GdiKind::kCompatibleBitmap>;
using CountedRegion = CountedGdi<HRGN, GdiKind::kRegion>;
using CountedPalette = CountedGdi<HPALETTE, GdiKind::kPalette>;
using CountedDC = CountedGdi<HDC, GdiKind::kDC>;

// Selects an object into a DC for the length of a scope.
class ScopedSelect {
 public:
  ScopedSelect(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~ScopedSelect() { SelectObject(dc_, previous_); }
  ScopedSelect(const ScopedSelect&) = delete;
  ScopedSelect& operator=(const ScopedSelect&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};
