// Fonts, cursors and the Win32 utilities: the font cache and its name map,
// cursor objects and the cursor over panes, text through the A and W lines,
// and the platform answers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "core/string.h"
#include "host/Win32Handles.h"
#include "testsupport/UiTestSupport.h"
#include "ui/ControlPane.h"
#include "ui/FontCache.h"
#include "ui/RuntimeCursor.h"
#include "ui/RuntimeWindow.h"
#include "ui/WinUtil.h"
#include "ui/WindowPane.h"

namespace {

using FontTest = WindowSystemTest;
using CursorTest = WindowSystemTest;
using TextTest = WindowSystemTest;
using PlatformTest = WindowSystemTest;
using AnsiLine = WindowSystemTest;

FontDescriptor Descriptor(const char* name, int16_t size, bool bold = false) {
  FontDescriptor descriptor;
  FontDescriptorInit(&descriptor);
  descriptor.name = StringFromASCII(name);
  descriptor.size = size;
  descriptor.bold = bold ? 1 : 0;
  return descriptor;
}

LOGFONTW DescribedFont(HFONT font) {
  LOGFONTW described{};
  GetObjectW(font, sizeof described, &described);
  return described;
}

TEST_F(FontTest, EqualDescriptorsShareOneFontUntilTheLastRelease) {
  const size_t before = FontCacheCount();
  ScopedFontDescriptor first(Descriptor("Geneva", 14));
  ScopedFontDescriptor same(Descriptor("GENEVA", 14));
  ScopedFontDescriptor bold(Descriptor("Geneva", 14, true));
  HFONT a = FontCacheAcquire(&first.get());
  HFONT b = FontCacheAcquire(&same.get());
  HFONT c = FontCacheAcquire(&bold.get());
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  EXPECT_EQ(FontCacheCount(), before + 2);
  EXPECT_STREQ(DescribedFont(a).lfFaceName, L"MS Sans Serif");
  EXPECT_EQ(DescribedFont(c).lfWeight, FW_BOLD);
  WindowDC screen(nullptr);
  EXPECT_EQ(DescribedFont(a).lfHeight, -MulDiv(14, GetDeviceCaps(screen.get(), LOGPIXELSY), 72));

  FontCacheRelease(a);
  EXPECT_EQ(GetObjectType(a), DWORD(OBJ_FONT));
  FontCacheRelease(b);
  EXPECT_EQ(GetObjectType(a), 0u);
  FontCacheRelease(c);
  EXPECT_EQ(FontCacheCount(), before);
}

TEST_F(FontTest, AFontTheCacheDidNotMakeIsReportedAndKept) {
  HFONT foreign = CreateFontW(12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, L"Arial");
  FontCacheRelease(foreign);
  std::vector<std::string> boxes = RuntimeTestEnvironment::TakeRecordedTexts();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("FontCache"), std::string::npos);
  EXPECT_EQ(GetObjectType(foreign), DWORD(OBJ_FONT));
  DeleteObject(foreign);
}

TEST_F(FontTest, TheNameMapTakesWholeNamesAndAnEmptyNameIsTheDefaultFont) {
  EXPECT_STREQ(MappedFontFace("times"), "Times New Roman");
  EXPECT_STREQ(MappedFontFace("Osaka"), "MS UI Gothic");
  EXPECT_EQ(MappedFontFace("Courier New"), nullptr);
  StringRef kept = StringRef::Adopt(StringFromASCII("Courier New"));
  StringRef mapped = StringRef::Adopt(MapFontName(kept.get()));
  EXPECT_EQ(mapped.get(), kept.get());

  FontDescriptor unnamed;
  FontDescriptorInit(&unnamed);
  unnamed.size = 0;
  HFONT font = FontCacheAcquire(&unnamed);
  EXPECT_STREQ(DescribedFont(font).lfFaceName, L"MS Sans Serif");
  WindowDC screen(nullptr);
  EXPECT_EQ(DescribedFont(font).lfHeight, -MulDiv(12, GetDeviceCaps(screen.get(), LOGPIXELSY), 72));
  FontCacheRelease(font);
}

TEST_F(FontTest, AssignCopiesOnlyWhatDiffersAndTextStylesGiveDescriptors) {
  ScopedFontDescriptor to(Descriptor("Times", 10));
  ScopedFontDescriptor from(Descriptor("Times", 10));
  EXPECT_FALSE(FontDescriptorAssign(&to.get(), &from.get()));
  from.get().italic = 1;
  from.get().underline = 1;
  EXPECT_TRUE(FontDescriptorAssign(&to.get(), &from.get()));
  EXPECT_EQ(FontDescriptorStyleBits(&to.get()), 6u);
  EXPECT_EQ(to.get().name, from.get().name);

  TextStyle style{from.get().name, 9, 1, 0, 1};
  ScopedFontDescriptor made(TextStyleGetFontDescriptor(&style));
  EXPECT_EQ(made.get().size, 9);
  EXPECT_EQ(FontDescriptorStyleBits(&made.get()), 5u);
  EXPECT_EQ(made.get().name, style.font);
  EXPECT_EQ(DefaultTextStyle().size, 10);
  ScopedFontDescriptor system(DefaultFontDescriptor());
  EXPECT_EQ(StringToStdUTF8(system.get().name), "System");
}

TEST_F(FontTest, AControlPaneTakesItsFontFromTheCacheAndGivesItBack) {
  const size_t before = FontCacheCount();
  ObjectRef window = OpenTestWindow(nullptr, false);
  ControlPane* pane = nullptr;
  ScopedFontDescriptor helvetica(Descriptor("Helvetica", 11));
  ObjectRef control = PlaceControl(window.get(), "Button", Rect(10, 10, 80, 24), [&](const PaneSite& site) {
    return pane = new ControlPane(helvetica.get(), site.parent, site.tabPanelIndex, site.bounds,
                                  nullptr, "BUTTON", 0, 0);
  });
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(pane->NativeWindow(), WM_GETFONT, 0, 0));
  EXPECT_EQ(font, pane->Font());
  EXPECT_STREQ(DescribedFont(font).lfFaceName, L"Arial");
  ScopedFontDescriptor times(Descriptor("Times", 11));
  ControlPaneSetFont(pane, times.get());
  EXPECT_EQ(GetObjectType(font), 0u);  // the old font went back to the cache and died
  EXPECT_STREQ(DescribedFont(pane->Font()).lfFaceName, L"Times New Roman");
  ControlPaneLoadNonClientMetrics(pane);
  EXPECT_GT(pane->NonClientMetrics().iCaptionHeight, 0);
  WindowClose(window.get());
  EXPECT_EQ(FontCacheCount(), before);
}

TEST_F(CursorTest, TheResizeCursorsLoadFromTheProgram) {
  for (int32_t id : {6601, 6602, 6603}) {
    ObjectRef cursor = ObjectRef::Adopt(NewCursorFromResource(id));
    ASSERT_TRUE(cursor) << id;
    EXPECT_NE(CursorHandle(cursor.get()), nullptr);
  }
  EXPECT_EQ(NewCursorFromResource(6604), nullptr);
  EXPECT_EQ(NewCursorFromResource(-1), nullptr);
  ObjectRef arrow = ObjectRef::Adopt(NewStandardCursor(kCursorArrow));
  EXPECT_EQ(CursorHandle(arrow.get()), LoadCursorW(nullptr, IDC_ARROW));
  EXPECT_EQ(NewStandardCursor(99), nullptr);
  SetNativeCursor(nullptr);
}

TEST_F(CursorTest, TheCursorOverAPaneIsTheApplicationsThenThePanesThenTheDefault) {
  ObjectRef window = OpenTestWindow();
  RecordingPane* pane = nullptr;
  ObjectRef control = PlaceControl(window.get(), "P", Rect(10, 10, 50, 50), [&](const PaneSite& site) { return pane = new RecordingPane("P", site); });
  ObjectRef resize = ObjectRef::Adopt(NewCursorFromResource(6601));
  ObjectRef cross = ObjectRef::Adopt(NewStandardCursor(kCursorCross));
  SubPane* top = WindowPaneOf(window.get());

  EXPECT_TRUE(SetCursorForPanePoint(top, POINT{20, 20}, IDC_ARROW));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));
  pane->SetPaneCursor(resize.get());
  EXPECT_TRUE(SetCursorForPanePoint(top, POINT{20, 20}, IDC_ARROW));
  EXPECT_EQ(GetCursor(), CursorHandle(resize.get()));
  EXPECT_FALSE(SetCursorForPanePoint(top, POINT{200, 150}, nullptr));
  SetApplicationCursor(cross.get());
  EXPECT_TRUE(SetCursorForPanePoint(top, POINT{20, 20}, IDC_ARROW));
  EXPECT_EQ(GetCursor(), CursorHandle(cross.get()));
  SetApplicationCursor(nullptr);
  // WM_SETCURSOR over the pane answers TRUE.
  SetCursorPos(ScreenPointOf(pane->NativeWindow(), 5, 5).x, ScreenPointOf(pane->NativeWindow(), 5, 5).y);
  EXPECT_EQ(SendMessageW(pane->NativeWindow(), WM_SETCURSOR,
                         reinterpret_cast<WPARAM>(pane->NativeWindow()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
            TRUE);
}

const char kMixedText[] = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x80\x93 \xE6\x97\xA5\xE6\x9C\xAC \xE2\x9C\x93";

ControlPane* MakeLabel(RuntimeObject* window, ObjectRef* control) {
  ControlPane* pane = nullptr;
  *control = PlaceControl(window, "Label", Rect(10, 10, 200, 20), [&](const PaneSite& site) {
    return pane = new ControlPane(site.parent, site.tabPanelIndex, site.bounds, nullptr, "STATIC", 0, 0);
  });
  return pane;
}

TEST_F(TextTest, ACaptionRoundTripKeepsEveryCharacter) {
  if (!IsWindowsNT()) GTEST_SKIP() << "the A line holds only the system encoding";
  ObjectRef window = OpenTestWindow(nullptr, false);
  ObjectRef control;
  ControlPane* pane = MakeLabel(window.get(), &control);
  StringRef text = StringRef::Adopt(StringFromUTF8(kMixedText));
  ControlPaneSetText(pane, text.get());
  wchar_t shown[64] = {};
  GetWindowTextW(pane->NativeWindow(), shown, 64);
  EXPECT_EQ(std::wstring(shown), L"Gr\u00FC\u00DFe \u2013 \u65E5\u672C \u2713");
  StringRef back = StringRef::Adopt(ControlPaneGetText(pane));
  EXPECT_EQ(StringEncoding(back.get()), uint32_t(kEncodingUTF16));
  EXPECT_EQ(StringToStdUTF8(back.get()), kMixedText);
}

TEST_F(TextTest, ALatin1CaptionRoundTripsOnEitherLine) {
  ObjectRef window = OpenTestWindow(nullptr, false);
  ObjectRef control;
  ControlPane* pane = MakeLabel(window.get(), &control);
  StringRef cafe = StringRef::Adopt(NewString("Caf\xE9", 4, kEncodingWindowsLatin1));
  ControlPaneSetText(pane, cafe.get());
  char bytes[16] = {};
  GetWindowTextA(pane->NativeWindow(), bytes, 16);
  EXPECT_STREQ(bytes, "Caf\xE9");
  StringRef back = StringRef::Adopt(ControlPaneGetText(pane));
  EXPECT_EQ(StringToStdUTF8(back.get()), "Caf\xC3\xA9");
  EXPECT_EQ(StringEncoding(back.get()),
            IsWindowsNT() ? uint32_t(kEncodingUTF16) : GetSystemTextEncoding());
}

TEST_F(TextTest, WideCopiesReadEachEncodingAsItsOwn) {
  StringRef mixed = StringRef::Adopt(StringFromUTF8(kMixedText));
  wchar_t* wide = StringToWideAlloc(mixed.get());
  EXPECT_EQ(std::wstring(wide), L"Gr\u00FC\u00DFe \u2013 \u65E5\u672C \u2713");
  RuntimeFree(wide);
  StringRef latin = StringRef::Adopt(NewString("\xE9", 1, kEncodingWindowsLatin1));
  wide = StringToWideAlloc(latin.get());
  EXPECT_EQ(std::wstring(wide), L"\u00E9");
  RuntimeFree(wide);
  StringRef japanese = StringRef::Adopt(NewString("\x93\xFA\x96\x7B", 4, kEncodingShiftJIS));
  EXPECT_EQ(StringToWide(japanese.get()), L"\u65E5\u672C");
  StringRef utf16 = StringRef::Adopt(StringToUTF16(mixed.get()));
  EXPECT_EQ(StringToWide(utf16.get()), L"Gr\u00FC\u00DFe \u2013 \u65E5\u672C \u2713");
  wide = StringToWideAlloc(nullptr);
  EXPECT_EQ(wide[0], L'\0');
  RuntimeFree(wide);
}

TEST_F(TextTest, WideTextComesBackInTheSystemEncodingOrElseAsUTF8) {
  StringRef cafe = StringRef::Adopt(StringFromWide(L"Caf\u00E9"));
  EXPECT_EQ(StringEncoding(cafe.get()), GetSystemTextEncoding());
  EXPECT_EQ(StringToStdUTF8(cafe.get()), "Caf\xC3\xA9");
  StringRef mixed = StringRef::Adopt(StringFromWide(L"Caf\u00E9 \u65E5\u672C"));
  EXPECT_EQ(StringEncoding(mixed.get()), uint32_t(kEncodingUTF8));
  EXPECT_EQ(StringToStdUTF8(mixed.get()), "Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC");
  StringRef empty = StringRef::Adopt(StringFromWide(nullptr));
  EXPECT_EQ(StringLength(empty.get()), 0u);
}

TEST_F(AnsiLine, IsForcedByTheEnvironmentForTheRunTimesWindows) {
  const char* forced = std::getenv("KV_FORCE_ANSI");
  if (!forced || std::strcmp(forced, "1") != 0) GTEST_SKIP() << "KV_FORCE_ANSI is not set";
  EXPECT_FALSE(IsWindowsNT());
  ObjectRef window = OpenTestWindow(nullptr, false);
  EXPECT_FALSE(IsWindowUnicode(WindowHandle(window.get())));
}

TEST_F(PlatformTest, TheXPAnswerCanBeChosenAndPutBack) {
  const bool platform = IsWindowsXP();
  SetWindowsXPForTest(1);
  EXPECT_TRUE(IsWindowsXP());
  SetWindowsXPForTest(0);
  EXPECT_FALSE(IsWindowsXP());
  SetWindowsXPForTest(-1);
  EXPECT_EQ(IsWindowsXP(), platform);
  EXPECT_EQ(CharsetForSystemScript(), DEFAULT_CHARSET);
}

TEST_F(PlatformTest, OnePendingMessageIsDispatchedAtATime) {
  ObjectRef window = OpenTestWindow(nullptr, false);
  RecordingPane* pane = nullptr;
  ObjectRef control = PlaceControl(window.get(), "P", Rect(10, 10, 50, 50), [&](const PaneSite& site) { return pane = new RecordingPane("P", site); });
  RunPendingTurns();
  while (DispatchOnePendingMessage()) {
  }
  TakeLog();
  PostMessageW(pane->NativeWindow(), WM_CHAR, 'x', 0);
  PostMessageW(pane->NativeWindow(), WM_CHAR, 'y', 0);
  EXPECT_TRUE(DispatchOnePendingMessage());
  EXPECT_EQ(TakeLog(), std::vector<std::string>{"P.Character 120"});
  EXPECT_TRUE(DispatchOnePendingMessage());
  EXPECT_FALSE(DispatchOnePendingMessage());
  EXPECT_FALSE(IsMouseButtonDown());
  EXPECT_EQ(GetWindowLongAuto(pane->NativeWindow(), GWL_STYLE) & WS_CHILD, WS_CHILD);
}

}  // namespace
