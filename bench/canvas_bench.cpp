// Figures of canvas painting: 1,000 forced repaints (RDW_INVALIDATE |
// RDW_UPDATENOW) of a 500 x 500 canvas whose Paint handler fills it through
// the Graphics, against a raw child window of the same size whose WM_PAINT
// does the same FillRect with a brush made once. Prints microseconds per
// repaint, the ratio, and the live Graphics objects, drawing ports and GDI
// objects before and after, which must be equal.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "bench/BenchClock.h"
#include "bench/BenchWindow.h"
#include "controls/Canvas.h"
#include "graphics/GdiObjects.h"
#include "graphics/GraphicsClass.h"
#include "graphics/GraphicsPort.h"
#include "testsupport/ClassBuilder.h"

namespace {

constexpr int kRepaints = 1000;
constexpr int32_t kSide = 500;
constexpr uint32_t kFill = 0x336699;

void OnPaint(RuntimeObject*, RuntimeObject* graphics) {
  graphicsForeColorSetter(graphics, 0, kFill);
  RuntimeGraphicsFillRect(graphics, 0, 0, kSide, kSide);
}

HBRUSH rawBrush = nullptr;

LRESULT CALLBACK RawProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_PAINT) return DefWindowProcW(window, message, wParam, lParam);
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT area{0, 0, kSide, kSide};
  FillRect(dc, &area, rawBrush);
  EndPaint(window, &paint);
  return 0;
}

HWND MakeRawChild(HWND parent) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = RawProcedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"RawCanvasPeer";
  RegisterClassW(&windowClass);
  rawBrush = CreateSolidBrush(RGB(0x33, 0x66, 0x99));
  return CreateWindowExW(0, L"RawCanvasPeer", L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS,
                         520, 10, kSide, kSide, parent, nullptr, GetModuleHandleW(nullptr),
                         nullptr);
}

double MicrosecondsPerRepaint(HWND window) {
  const double start = Now();
  for (int i = 0; i < kRepaints; ++i) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  }
  GdiFlush();
  return (Now() - start) * 1e6 / kRepaints;
}

std::string Counts() {
  std::string line = "objects " + std::to_string(RuntimeLiveObjectCount()) + ", ports " +
                     std::to_string(GraphicsPort::LiveCount()) + ", GDI";
  for (int kind = 0; kind < int(GdiKind::kCount); ++kind) {
    line += " " + std::to_string(GdiLiveCount(GdiKind(kind)));
  }
  return line + ", process GDI " +
         std::to_string(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
}

}  // namespace

int main() {
  if (!StartBenchRunTime()) return 1;
  static ClassBuilder canvasClass(GetCanvasClassDefinition(), "BenchCanvas");
  canvasClass.Handle("Paint", &OnPaint);
  ObjectRef canvas =
      BenchControl(canvasClass.NewInstance(), "Canvas1", MacRect{10, 10, 10 + kSide, 10 + kSide});
  ObjectRef window = OpenBenchWindow(1030, 520, {canvas});
  SubPane* pane = ControlFields(canvas.get())->pane;
  HWND raw = MakeRawChild(WindowHandle(window.get()));
  if (!pane || !pane->NativeWindow() || !raw) {
    std::printf("no canvas or peer window\n");
    return 1;
  }
  // One repaint each first, so that caches (fonts, brushes) exist before counting.
  for (HWND painted : {pane->NativeWindow(), raw}) {
    RedrawWindow(painted, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  }
  const std::string before = Counts();
  const double ours = MicrosecondsPerRepaint(pane->NativeWindow());
  const double peer = MicrosecondsPerRepaint(raw);
  const std::string after = Counts();
  std::printf("500 x 500 canvas repaint        %9.1f us   raw WM_PAINT %9.1f us   %5.2fx raw WM_PAINT goal <= 1.5\n",
              ours, peer, peer > 0 ? ours / peer : 0.0);
  std::printf("live before: %s\nlive after:  %s\n", before.c_str(), after.c_str());
  DestroyWindow(raw);
  DeleteObject(rawBrush);
  WindowClose(window.get());
  return 0;
}
