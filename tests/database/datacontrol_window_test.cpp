// The DataControl in its window: handlers that close the window or drop
// controls mid-operation, the bar's pixels and its hover drawing.
#include <algorithm>

#include "controls/DataControlRole.h"
#include "testsupport/WindowCapture.h"
#include "tests/database/datacontrol_support.h"
#include "ui/Theme.h"
#include "ui/WinUtil.h"

namespace {

// The colour of a system colour as the capture reads it (0x00RRGGBB).
uint32_t SystemColour(int index) {
  const COLORREF colour = GetSysColor(index);
  return uint32_t(GetRValue(colour)) << 16 | uint32_t(GetGValue(colour)) << 8 | GetBValue(colour);
}

bool Holds(const std::vector<uint32_t>& colours, uint32_t colour) {
  return std::find(colours.begin(), colours.end(), colour) != colours.end();
}

bool HoldsNear(const std::vector<uint32_t>& colours, uint32_t colour) {
  return std::any_of(colours.begin(), colours.end(), [colour](uint32_t seen) {
    for (int shift : {0, 8, 16}) {
      if (std::abs(int(seen >> shift & 0xFF) - int(colour >> shift & 0xFF)) > 1) return false;
    }
    return true;
  });
}

std::string OutputPath(const char* name) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path);
  folder.erase(folder.find_last_of("\\/") + 1);
  return folder + name;
}

// The theme calls a hovering test sees: "<state> <left>" of each button drawn.
std::vector<std::string> themeDraws;
BOOL WINAPI Themed() { return TRUE; }
HANDLE WINAPI OpenTheme(HWND, LPCWSTR) { return reinterpret_cast<HANDLE>(0x7E); }
HRESULT WINAPI DrawTheme(HANDLE, HDC, int, int state, const RECT* rect, const RECT*) {
  themeDraws.push_back(std::to_string(state) + " " + std::to_string(rect->left));
  return S_OK;
}
HRESULT WINAPI CloseTheme(HANDLE) { return S_OK; }
const ThemeLayer kRecordingLayer{Themed, OpenTheme, DrawTheme, CloseTheme};

}  // namespace

TEST_F(DataControlTest, AHandlerClosingTheWindowEndsTheOperationAndFreesEveryPane) {
  for (const char* event : {"Validate", "Update", "Reposition"}) {
    SCOPED_TRACE(event);
    Open();
    window_->CloseOn("Data1", event);
    Type("NameField", "Anne");
    ClickButton(kNextButton);
    EXPECT_FALSE(window_->IsOpen());
    window_.reset();
    RunPendingTurns();
    EXPECT_EQ(::Pane::LiveCount(), PanesBeforeTest());
    TakeLog();
  }
  // Only Validate came before the write.
  EXPECT_EQ(Column("select name from people where id = 1"), "Anne");
}

TEST_F(DataControlTest, AControlWhosePaneGoesLeavesTheListAndMovesGoOn) {
  Open();
  ObjectRef data = ObjectRef::Retain(Data());
  const std::vector<BoundControl>& list = *DataControlRoleOf(data.get())->boundControls(data.get());
  EXPECT_EQ(list.size(), 5u);
  RuntimeObject* name = window_->Control("NameField");
  window_->Pane("NameField")->Close();
  EXPECT_EQ(std::count_if(list.begin(), list.end(),
                          [name](const BoundControl& entry) { return entry.control == name; }),
            0);
  Call("MoveNext");
  EXPECT_EQ(Shown(), "2|Ann|n2|Green|unchecked");

  // ControlBind empties the list: moves reach no control, and the controls
  // find nothing to take out when the window closes.
  SetProperty<int32_t>(Data(), "ControlBind", 0);
  EXPECT_TRUE(list.empty());
  Call("MoveNext");
  EXPECT_EQ(Shown("IdField"), "2");
  window_.reset();
  RunPendingTurns();
  EXPECT_EQ(::Pane::LiveCount(), PanesBeforeTest());
}

TEST_F(DataControlTest, TheBarShowsItsCaptionAndWhichButtonsCanBeUsed) {
  Open();
  RunPendingTurns();
  const WindowCapture bar = WindowCapture::OfClient(window_->Handle());
  EXPECT_TRUE(bar.WriteBmp(OutputPath("datacontrol_window.bmp")));
  const RECT caption{65, 0, 235, 30};
  EXPECT_TRUE(Holds(bar.ColoursIn(caption), 0x0000FF));

  const uint32_t grey = SystemColour(COLOR_GRAYTEXT), ink = SystemColour(COLOR_BTNTEXT);
  auto inside = [this](uint8_t button) {
    const MacRect r = Pane()->ButtonRect(button);
    return RECT{r.left + 3, r.top + 3, r.right - 3, r.bottom - 3};
  };
  for (uint8_t button = kFirstButton; button <= kLastButton; ++button) {
    const std::vector<uint32_t> colours = bar.ColoursIn(inside(button));
    const bool usable = button == kNextButton || button == kLastButton;
    EXPECT_EQ(Holds(colours, ink), usable) << int(button);
    EXPECT_EQ(Holds(colours, grey), !usable) << int(button);
  }

  // One row: every button greyed.
  SetProperty<StringRecord*>(Data(), "SQLQuery", Text("select * from people where id = 1").get());
  Call("RunQuery");
  RunPendingTurns();
  const WindowCapture oneRow = WindowCapture::OfClient(window_->Handle());
  for (uint8_t button = kFirstButton; button <= kLastButton; ++button) {
    EXPECT_FALSE(Holds(oneRow.ColoursIn(inside(button)), ink)) << int(button);
    EXPECT_TRUE(Holds(oneRow.ColoursIn(inside(button)), grey)) << int(button);
  }

  // Disabled: the caption's colour halfway to grey.
  Call("MoveFirst");
  SetProperty<bool>(Data(), "Enabled", false);
  RunPendingTurns();
  const WindowCapture greyed = WindowCapture::OfClient(window_->Handle());
  EXPECT_TRUE(HoldsNear(greyed.ColoursIn(caption), 0x60609F));
  EXPECT_FALSE(Holds(greyed.ColoursIn(caption), 0x0000FF));
}

// The leftmost and rightmost columns holding the colour in the rectangle.
std::pair<int, int> ColumnsOf(const WindowCapture& capture, const RECT& area, uint32_t colour) {
  int first = area.right, last = -1;
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      if (capture.Pixel(x, y) != colour) continue;
      first = std::min(first, x);
      last = std::max(last, x);
    }
  }
  return {first, last};
}

TEST_F(DataControlTest, TheCaptionKeepsToItsAlignmentBetweenTheButtons) {
  Open();
  const RECT caption{60, 0, 240, 30};
  std::vector<std::pair<int, int>> spans;
  for (int32_t alignment : {0, 1, 2}) {
    SetProperty<int32_t>(Data(), "TextAlign", alignment);
    RunPendingTurns();
    spans.push_back(ColumnsOf(WindowCapture::OfClient(window_->Handle()), caption, 0x0000FF));
  }
  // Left from x0 = 2w + 5; right up to right - 2w - 5; centred between.
  EXPECT_GE(spans[0].first, 65);
  EXPECT_LE(spans[0].first, 67);
  EXPECT_LE(spans[2].second, 234);
  EXPECT_GE(spans[2].second, 230);
  const int width = spans[0].second - spans[0].first;
  EXPECT_EQ(spans[2].second - spans[2].first, width);
  // Centred: halfway between the left and right placements.
  EXPECT_NEAR(spans[1].first - spans[0].first, (spans[2].first - spans[0].first) / 2, 1);

  // A caption too long for the bar is cut with "..." inside it.
  SetProperty<int32_t>(Data(), "TextAlign", 0);
  SetProperty<StringRecord*>(Data(), "Caption",
                             Text("People of the table people, every one of them").get());
  RunPendingTurns();
  const auto cut = ColumnsOf(WindowCapture::OfClient(window_->Handle()), caption, 0x0000FF);
  EXPECT_LE(cut.second, 229);
  EXPECT_GT(cut.second, 200);
}

TEST_F(DataControlTest, HoveringDrawsTheHotButtonOnlyWithThemes) {
  Open();
  const MacRect next = Pane()->ButtonRect(kNextButton);
  HWND bar = Pane()->GetNativeHandle();
  auto hover = [&](int x, int y) {
    MakeForeground(window_->Handle());
    SendMouseMove(ScreenPointOf(bar, x, y));
    RuntimeTestEnvironment::RunUntil([] { return false; }, 200);
  };
  const std::string nextLeft = " " + std::to_string(next.left);
  auto drawnNext = [&nextLeft] {
    std::vector<std::string> states;
    for (const std::string& draw : themeDraws) {
      if (draw.size() > nextLeft.size() &&
          draw.compare(draw.size() - nextLeft.size(), nextLeft.size(), nextLeft) == 0) {
        states.push_back(draw.substr(0, draw.size() - nextLeft.size()));
      }
    }
    themeDraws.clear();
    return states;
  };

  // Put back whatever happens below.
  struct ThemeScope {
    ~ThemeScope() {
      SetWindowsXPForTest(-1);
      UxSetThemeLayerForTesting(nullptr);
    }
  } restore;
  SetWindowsXPForTest(0);
  hover(next.left + 5, 15);
  EXPECT_EQ(Pane()->HotButton(), kNoButton);

  UxSetThemeLayerForTesting(&kRecordingLayer);
  SetWindowsXPForTest(1);
  hover(150, 15);
  themeDraws.clear();
  hover(next.left + 5, 15);
  EXPECT_EQ(Pane()->HotButton(), kNextButton);
  EXPECT_EQ(drawnNext(), (Lines{"2"}));
  hover(150, 100);
  EXPECT_EQ(Pane()->HotButton(), kNoButton);
  EXPECT_EQ(drawnNext(), (Lines{"1"}));
}
