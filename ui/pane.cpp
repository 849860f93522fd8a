// The root pane, the current drawing pane and the drawing layer's hooks.
#include "ui/pane.h"

#include "core/string.h"
#include "ui/FontCache.h"

namespace {

int32_t livePanes = 0;
Pane* currentDrawingPane = nullptr;
PaneGraphicsHooks graphicsHooks;

}  // namespace

void* Pane::operator new(size_t size) { return RuntimeAlloc(uint32_t(size)); }
void Pane::operator delete(void* block) { RuntimeFree(block); }

Pane::Pane(const MacRect& bounds) : bounds_(bounds) {
  ++livePanes;
  FontDescriptor font = DefaultFontDescriptor();
  textFontName_ = font.name;
  textSize_ = font.size;
}

Pane::~Pane() {
  PaneForgetGraphicsPorts(this);
  // Only a root pane can still be current here (a sub-pane ends drawing in
  // its own destructor, while its operations still work).
  if (currentDrawingPane == this) {
    if (graphicsHooks.unfocusCurrentPort) graphicsHooks.unfocusCurrentPort();
    currentDrawingPane = nullptr;
  }
  RuntimeUnlockString(textFontName_);
  --livePanes;
}

void Pane::Lock() { ++lockCount_; }

bool Pane::Unlock() {
  if (--lockCount_ >= 0) return false;
  delete this;
  return true;
}

void Pane::SetTextFontName(StringRecord* name) { StringAssign(&textFontName_, name); }
void Pane::SetTextSize(int16_t size) { textSize_ = size; }

bool Pane::HasNativeWindow() const { return false; }
void Pane::BeginDrawing() {}
void Pane::AfterBeginDrawing() {}
void Pane::EndDrawing() {}

void Pane::EraseBackground() {
  uint32_t token = 0;
  HDC dc = paintDC_ ? paintDC_ : AcquireDC(&token);
  if (!dc) return;
  RECT rect{bounds_.left, bounds_.top, bounds_.right, bounds_.bottom};
  FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  if (dc != paintDC_) ReleaseDC(token);
}

void Pane::Validate() {}
void Pane::ValidateRect(const MacRect&) {}

HDC Pane::AcquireDC(uint32_t* releaseToken) {
  if (releaseToken) *releaseToken = 0;
  return nullptr;
}

void Pane::ReleaseDC(uint32_t) {}

int32_t Pane::LiveCount() { return livePanes; }

void MakeCurrentDrawingPane(Pane* pane) {
  if (pane == currentDrawingPane) return;
  Pane* old = currentDrawingPane;
  currentDrawingPane = pane;
  if (old) old->EndDrawing();
  if (pane && currentDrawingPane == pane) {
    pane->BeginDrawing();
    pane->AfterBeginDrawing();
  }
}

void ReleaseCurrentDrawingPane() {
  if (graphicsHooks.unfocusCurrentPort) graphicsHooks.unfocusCurrentPort();
  MakeCurrentDrawingPane(nullptr);
}

Pane* CurrentDrawingPane() { return currentDrawingPane; }

PaneGraphicsHooks SetPaneGraphicsHooks(const PaneGraphicsHooks& hooks) {
  PaneGraphicsHooks previous = graphicsHooks;
  graphicsHooks = hooks;
  return previous;
}

GraphicsPort* PaneNewGraphicsPort(Pane* pane) {
  return graphicsHooks.newPort && pane ? graphicsHooks.newPort(pane) : nullptr;
}

void PaneDeleteGraphicsPort(GraphicsPort* port) {
  if (port && graphicsHooks.deletePort) graphicsHooks.deletePort(port);
}

void PaneForgetGraphicsPorts(Pane* pane) {
  if (graphicsHooks.forgetPane) graphicsHooks.forgetPane(pane);
}
