// The group box on the screen: what lies behind it is drawn again when a
// window that covered it goes away.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "core/string.h"
#include "testsupport/ControlTestWindow.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/RuntimeTestEnvironment.h"
#include "testsupport/UiTestSupport.h"

namespace {

// A child window of the parent filled with the frame colour, on top of its
// siblings; closing or moving it uncovers what it hid, as another window of
// the application does.
HWND NewCover(HWND parent, const RECT& area) {
  HWND cover = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_BLACKRECT,
                               area.left, area.top, area.right - area.left,
                               area.bottom - area.top, parent, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  SetWindowPos(cover, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  UpdateWindow(cover);
  return cover;
}

void LetItPaint() { RuntimeTestEnvironment::RunUntil([] { return false; }, 200); }

// The screen's colour at a client point of the window.
COLORREF ScreenPixel(HWND window, int x, int y) {
  const POINT point = ScreenPointOf(window, x, y);
  HDC screen = GetDC(nullptr);
  const COLORREF colour = GetPixel(screen, point.x, point.y);
  ReleaseDC(nullptr, screen);
  return colour;
}

// The points of the box's empty inside (left of its radio buttons) whose
// colour is not the window's.
std::vector<std::string> MarkedPoints(HWND box, COLORREF background) {
  LetItPaint();
  std::vector<std::string> marked;
  for (int y = 24; y <= 80; y += 8) {
    for (int x = 12; x <= 80; x += 8) {
      if (ScreenPixel(box, x, y) != background) {
        marked.push_back(std::to_string(x) + "," + std::to_string(y));
      }
    }
  }
  return marked;
}

// A row of the radio button's pixels through its circle and caption.
std::vector<COLORREF> RadioRow(HWND radio) {
  LetItPaint();
  std::vector<COLORREF> row;
  for (int x = 0; x < 40; ++x) row.push_back(ScreenPixel(radio, x, 9));
  return row;
}

class GroupBoxTest : public WindowSystemTest {};

}  // namespace

TEST_F(GroupBoxTest, WhatAWindowCoveringTheBoxLeftIsPaintedOverWhenItGoes) {
  ControlTestWindow window(GroupingControlDescriptions());
  HWND box = window.Native("GroupBox1");
  HWND parent = GetParent(box);
  RECT area{};
  GetWindowRect(box, &area);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&area), 2);
  LetItPaint();
  const COLORREF background = ScreenPixel(parent, area.right + 2, area.bottom + 2);
  EXPECT_EQ(MarkedPoints(box, background), std::vector<std::string>{}) << "shown";
  const std::vector<COLORREF> radio = RadioRow(window.Native("R1"));

  // Moved away, then closed over the box.
  HWND cover = NewCover(parent, area);
  LetItPaint();
  const COLORREF coverColour = ScreenPixel(cover, 5, 5);
  ASSERT_NE(background, coverColour);
  ASSERT_EQ(ScreenPixel(box, 40, 40), coverColour);
  SetWindowPos(cover, nullptr, area.right + 400, area.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  EXPECT_EQ(MarkedPoints(box, background), std::vector<std::string>{}) << "moved away";
  SetWindowPos(cover, nullptr, area.left, area.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  LetItPaint();
  ASSERT_EQ(ScreenPixel(box, 40, 40), coverColour);
  DestroyWindow(cover);
  EXPECT_EQ(MarkedPoints(box, background), std::vector<std::string>{}) << "closed";
  // The radio buttons inside are drawn again too.
  EXPECT_EQ(RadioRow(window.Native("R1")), radio);

  // The box drawn again alone (a new caption) leaves its buttons drawn.
  SetProperty<StringRecord*>(window.Control("GroupBox1"), "Caption",
                             StringRef::Adopt(StringFromUTF8("Sizes")).get());
  RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  EXPECT_EQ(RadioRow(window.Native("R1")), radio);
  EXPECT_EQ(MarkedPoints(box, background), std::vector<std::string>{}) << "drawn again";
}
