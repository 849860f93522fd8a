// Figures of the popup menu's rows: for 1,000 to 10,000 rows of varied
// widths in a shown popup, n AddRow, n RemoveRow(0), then DeleteAllRows,
// against a raw combo box of the same font doing the same with
// CB_ADDSTRING, CB_DELETESTRING and CB_RESETCONTENT, measuring each row with
// GetTextExtentPoint32W and keeping CB_SETDROPPEDWIDTH as wide as the widest
// row, as a hand-written program would. Prints milliseconds, the ratio to
// the raw combo box and to the previous row count.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "bench/BenchClock.h"
#include "bench/BenchWindow.h"
#include "controls/PopupMenu.h"

namespace {

// The raw peer: the same rows and the same drop-down width rule.
class RawPopup {
 public:
  RawPopup(HWND parent, HFONT font) : font_(font) {
    combo_ = CreateWindowExW(0, L"COMBOBOX", L"", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | WS_VSCROLL,
                             10, 50, 200, 200, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(combo_, WM_SETFONT, WPARAM(font), TRUE);
  }
  ~RawPopup() { DestroyWindow(combo_); }

  void Add(const std::wstring& text) {
    SendMessageW(combo_, CB_ADDSTRING, 0, LPARAM(text.c_str()));
    widths_.insert(Measure(text));
    Apply();
  }
  void RemoveFirst() {
    std::wstring text(size_t(SendMessageW(combo_, CB_GETLBTEXTLEN, 0, 0)) + 1, L'\0');
    text.resize(size_t(SendMessageW(combo_, CB_GETLBTEXT, 0, LPARAM(text.data()))));
    SendMessageW(combo_, CB_DELETESTRING, 0, 0);
    widths_.erase(widths_.find(Measure(text)));
    Apply();
  }
  void Clear() {
    SendMessageW(combo_, CB_RESETCONTENT, 0, 0);
    widths_.clear();
    applied_ = 0;
    SendMessageW(combo_, CB_SETDROPPEDWIDTH, 0, 0);
  }

 private:
  int Measure(const std::wstring& text) {
    HDC dc = GetDC(combo_);
    HGDIOBJ previous = SelectObject(dc, font_);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.data(), int(text.size()), &size);
    SelectObject(dc, previous);
    ReleaseDC(combo_, dc);
    return size.cx;
  }
  void Apply() {
    const int widest = widths_.empty() ? 0 : *widths_.rbegin();
    if (widest == applied_) return;
    applied_ = widest;
    SendMessageW(combo_, CB_SETDROPPEDWIDTH, WPARAM(widest + 6 + GetSystemMetrics(SM_CXVSCROLL)), 0);
  }

  HWND combo_;
  HFONT font_;
  std::multiset<int> widths_;
  int applied_ = 0;
};

// Row texts of 1 to 40 characters.
std::wstring RowText(int i) {
  return L"Row " + std::to_wstring(i) + L" " + std::wstring(size_t(i * 7 % 37), L"Wil."[i % 4]);
}

}  // namespace

int main() {
  if (!StartBenchRunTime()) return 1;
  ObjectRef popup = BenchControl(CreateInstance(GetPopupMenuClassDefinition()), "Popup1",
                                 MacRect{10, 10, 34, 210});
  ObjectRef window = OpenBenchWindow(400, 300, {popup});
  auto* pane = dynamic_cast<PopupMenuPane*>(ControlFields(popup.get())->pane);
  if (!pane || !pane->NativeWindow()) {
    std::printf("no popup pane\n");
    return 1;
  }
  RawPopup raw(WindowHandle(window.get()),
               HFONT(SendMessageW(pane->NativeWindow(), WM_GETFONT, 0, 0)));

  double previous = 0;
  for (int rows : {1000, 2000, 4000, 8000, 10000}) {
    std::vector<std::wstring> wide;
    std::vector<StringRef> texts;
    for (int i = 0; i < rows; ++i) {
      wide.push_back(RowText(i));
      texts.push_back(StringRef::Adopt(
          StringFromUTF16(reinterpret_cast<const uint16_t*>(wide.back().data()),
                          int32_t(wide.back().size()))));
    }
    const double start = Now();
    for (const StringRef& text : texts) RuntimePopupAddRow(popup.get(), text.get());
    for (int i = 0; i < rows; ++i) RuntimePopupRemoveRow(popup.get(), 0);
    RuntimePopupEmpty(popup.get());
    const double ours = (Now() - start) * 1000;

    const double peerStart = Now();
    for (const std::wstring& text : wide) raw.Add(text);
    for (int i = 0; i < rows; ++i) raw.RemoveFirst();
    raw.Clear();
    const double peer = (Now() - peerStart) * 1000;

    std::printf("%5d rows: add, remove, empty  %9.2f ms   raw combo %9.2f ms   %5.2fx raw combo goal <= 2.0",
                rows, ours, peer, peer > 0 ? ours / peer : 0.0);
    if (previous > 0) std::printf("   %5.2fx previous goal <= 2.5 per doubling", ours / previous);
    std::printf("\n");
    previous = ours;
  }
  WindowClose(window.get());
  return 0;
}
