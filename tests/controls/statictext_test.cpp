// The label: its pixels (mnemonic underline, colours, lines), redraws, its
// shortcut, its mouse events, its binding to a DataControl and a handler
// that closes the window.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "controls/RadioButton.h"
#include "controls/StaticText.h"
#include "core/string.h"
#include "testsupport/ControlTestWindow.h"
#include "testsupport/DataControlStandIn.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/RuntimeTestEnvironment.h"
#include "testsupport/UiTestSupport.h"
#include "testsupport/WindowCapture.h"
#include "ui/PaneFocus.h"
#include "ui/RuntimeWindow.h"
#include "ui/WindowKeys.h"
#include "ui/runctl.h"

namespace {

using Lines = std::vector<std::string>;

void SetText(RuntimeObject* control, const char* property, const std::string& text) {
  StringRef value = StringRef::Adopt(StringFromUTF8(text));
  SetProperty<StringRecord*>(control, property, value.get());
}

std::string TextOf(RuntimeObject* control, const char* property) {
  StringRef value = StringRef::Adopt(GetProperty<StringRecord*>(control, property));
  return StringToStdUTF8(value.get());
}

uint32_t Sum(uint32_t colour) { return (colour >> 16 & 0xFF) + (colour >> 8 & 0xFF) + (colour & 0xFF); }
bool IsDark(uint32_t colour) { return Sum(colour) < 3 * 0x80; }

// A label's pixels, row by row, after the window has painted.
using Pixels = std::vector<std::vector<uint32_t>>;
Pixels PixelsOf(const ControlTestWindow& window, const char* name) {
  UpdateWindow(window.Handle());
  const WindowCapture capture = WindowCapture::OfClient(window.Handle());
  const MacRect bounds = window.Pane(name)->Bounds();
  Pixels rows(bounds.bottom - bounds.top, std::vector<uint32_t>(bounds.right - bounds.left));
  for (size_t y = 0; y < rows.size(); ++y) {
    for (size_t x = 0; x < rows[y].size(); ++x) {
      rows[y][x] = capture.Pixel(bounds.left + int32_t(x), bounds.top + int32_t(y));
    }
  }
  return rows;
}

uint32_t Darkest(const Pixels& rows) {
  uint32_t darkest = 0xFFFFFF;
  for (const auto& row : rows) {
    for (uint32_t colour : row) darkest = Sum(colour) < Sum(darkest) ? colour : darkest;
  }
  return darkest;
}

// The runs of rows holding a dark pixel.
int DarkBands(const Pixels& rows) {
  int bands = 0;
  bool previous = false;
  for (const auto& row : rows) {
    const bool dark = std::any_of(row.begin(), row.end(), IsDark);
    bands += dark && !previous;
    previous = dark;
  }
  return bands;
}

void PressAlt(const ControlTestWindow& window, UINT key) {
  PostKey(GetFocus() ? GetFocus() : window.Handle(), key, true);
  RuntimeRunTurn(0);
  RunPendingTurns();
}

// The grouping window with Label1 bound to Data1's field "Name" holding the
// text.
std::vector<ControlDescription> BoundLabelControls(const std::string& text) {
  std::vector<ControlDescription> controls = GroupingControlDescriptions();
  DescriptionNamed(controls, "Label1").dataSource = "Data1";
  DescriptionNamed(controls, "Label1").dataField = "Name";
  DescriptionNamed(controls, "Data1").prepare = [text](RuntimeObject* data) {
    DataStandInSetField(data, "Name", text);
  };
  return controls;
}

class StaticTextTest : public WindowSystemTest {};

TEST_F(StaticTextTest, PixelsShowTheMnemonicTheColoursAndTheLines) {
  ControlTestWindow window(GroupingControlDescriptions());
  const Pixels first = PixelsOf(window, "Label1");
  const Pixels second = PixelsOf(window, "Label2");
  std::vector<size_t> extraRows;
  for (size_t y = 0; y < first.size(); ++y) {
    for (size_t x = 0; x < first[y].size(); ++x) {
      const bool one = IsDark(first[y][x]);
      const bool two = IsDark(second[y][x]);
      EXPECT_TRUE(one || !two) << "Label2 alone is dark at " << x << "," << y;
      if (one && !two && (extraRows.empty() || extraRows.back() != y)) extraRows.push_back(y);
    }
  }
  EXPECT_EQ(extraRows.size(), 1u) << "the underline is one row";
  EXPECT_EQ(Darkest(first), 0x000000u);

  RuntimeObject* label = window.Control("Label1");
  SetProperty<uint8_t>(label, "Enabled", 0);
  EXPECT_EQ(Darkest(PixelsOf(window, "Label1")), 0x606060u);
  SetProperty<uint32_t>(label, "TextColor", 0xFF0000);
  EXPECT_EQ(Darkest(PixelsOf(window, "Label1")), 0x9F6060u);
  SetProperty<uint32_t>(label, "TextColor", 0);
  SetProperty<uint8_t>(label, "Enabled", 1);
  SendMessageW(window.Handle(), WM_ACTIVATE, WA_INACTIVE, 0);
  EXPECT_EQ(Darkest(PixelsOf(window, "Label1")), 0x606060u);
  SendMessageW(window.Handle(), WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(Darkest(PixelsOf(window, "Label1")), 0x000000u);

  SetText(window.Control("Label2"), "Caption", "One\rTwo");
  EXPECT_EQ(DarkBands(PixelsOf(window, "Label2")), 2);
  EXPECT_EQ(TextOf(window.Control("Label2"), "Text"), "One\rTwo");
}

// Where a label's dark pixels lie: columns and rows, first and last
// (-1 when none is dark).
struct Ink {
  int32_t left = -1, right = -1, top = -1, bottom = -1;
};
Ink InkOf(const Pixels& rows, size_t firstRow = 0, size_t endRow = SIZE_MAX) {
  Ink ink;
  for (size_t y = firstRow; y < std::min(endRow, rows.size()); ++y) {
    for (size_t x = 0; x < rows[y].size(); ++x) {
      if (!IsDark(rows[y][x])) continue;
      if (ink.left < 0 || int32_t(x) < ink.left) ink.left = int32_t(x);
      ink.right = std::max(ink.right, int32_t(x));
      if (ink.top < 0) ink.top = int32_t(y);
      ink.bottom = int32_t(y);
    }
  }
  return ink;
}

// The dark bands' rows [first, end).
std::vector<std::pair<size_t, size_t>> BandRows(const Pixels& rows) {
  std::vector<std::pair<size_t, size_t>> bands;
  for (size_t y = 0; y < rows.size(); ++y) {
    if (!std::any_of(rows[y].begin(), rows[y].end(), IsDark)) continue;
    if (bands.empty() || bands.back().second != y) bands.push_back({y, y});
    bands.back().second = y + 1;
  }
  return bands;
}

// One label, "Label", at 10,10 in a window of its own.
ControlDescription Label(int32_t width, int32_t height, const char* caption) {
  ControlDescription label =
      Described(GetStaticTextClassDefinition(), "Label", Rect(10, 10, width, height));
  label.caption = caption;
  return label;
}

TEST_F(StaticTextTest, TextAlignPlacesEachLineAndTheLinesAreCentredAsOneBlock) {
  const int32_t width = 160;
  ControlTestWindow window({Label(width, 80, "Wide line\rMid")});
  RuntimeObject* control = window.Control("Label");
  std::vector<std::vector<Ink>> byAlignment;
  for (int32_t alignment : {0, 1, 2, 7}) {
    SCOPED_TRACE(alignment);
    SetProperty<int32_t>(control, "TextAlign", alignment);
    const Pixels rows = PixelsOf(window, "Label");
    const auto bands = BandRows(rows);
    ASSERT_EQ(bands.size(), 2u);
    std::vector<Ink> lines;
    for (const auto& [first, end] : bands) lines.push_back(InkOf(rows, first, end));
    // The ink stops short of the advance the line is placed by (a few
    // pixels on a long line), hence the slack.
    for (const Ink& line : lines) {
      if (alignment == 1) EXPECT_LE(std::abs(line.left - (width - 1 - line.right)), 8);
      if (alignment == 2) EXPECT_GE(line.right, width - 8);
      if (alignment == 0 || alignment == 7) EXPECT_LE(line.left, 2);
    }
    // Two lines of one height each, the block in the middle of the box.
    const Ink all = InkOf(rows);
    EXPECT_LE(std::abs(all.top - (80 - 1 - all.bottom)), 4) << all.top << " " << all.bottom;
    byAlignment.push_back(lines);
  }
  // Each line keeps its width and its rows whatever the alignment.
  for (size_t k = 1; k < byAlignment.size(); ++k) {
    for (size_t line = 0; line < 2; ++line) {
      const Ink& a = byAlignment[0][line];
      const Ink& b = byAlignment[k][line];
      EXPECT_EQ(a.right - a.left, b.right - b.left) << k << " " << line;
      EXPECT_EQ(std::make_pair(a.top, a.bottom), std::make_pair(b.top, b.bottom)) << k;
    }
  }
  EXPECT_GT(byAlignment[1][1].left, byAlignment[0][1].left + 20) << "Mid moved to the centre";
}

TEST_F(StaticTextTest, MultiLineWrapsWordsInsideTheBoxAndAlignsEachWrappedLine) {
  ControlTestWindow window({Label(90, 100, "alpha beta gamma delta epsilon zeta")});
  RuntimeObject* control = window.Control("Label");
  const size_t oneLine = BandRows(PixelsOf(window, "Label")).size();
  EXPECT_EQ(oneLine, 1u) << "without MultiLine one line runs past the box";
  SetProperty<uint8_t>(control, "MultiLine", 1);
  for (int32_t alignment : {0, 2}) {
    SCOPED_TRACE(alignment);
    SetProperty<int32_t>(control, "TextAlign", alignment);
    const Pixels rows = PixelsOf(window, "Label");
    const auto bands = BandRows(rows);
    EXPECT_GE(bands.size(), 3u);
    for (const auto& [first, end] : bands) {
      const Ink line = InkOf(rows, first, end);
      if (alignment == 0) EXPECT_LE(line.left, 2) << first;
      if (alignment == 2) EXPECT_GE(line.right, 90 - 6) << first;
    }
    EXPECT_LE(InkOf(rows).top, 3) << "wrapped text starts at the top";
  }
}

TEST_F(StaticTextTest, TheSameCaptionDrawsNothingAndTheShortcutFollowsTheCaption) {
  ControlTestWindow window(GroupingControlDescriptions());
  window.FocusOn("CheckBox1");
  RuntimeObject* label = window.Control("Label1");
  HWND native = window.Pane("Label1")->NativeWindow();
  UpdateWindow(window.Handle());
  SetText(label, "Caption", "&Name");
  EXPECT_FALSE(GetUpdateRect(native, nullptr, FALSE));

  PressAlt(window, 'N');
  EXPECT_EQ(TakeLog(), (Lines{"Label1.AcceleratorKey"}));
  SetProperty<uint8_t>(label, "Enabled", 0);
  PressAlt(window, 'N');
  EXPECT_EQ(TakeLog(), Lines{});
  SetProperty<uint8_t>(label, "Enabled", 1);

  SetText(label, "Caption", "&Other");
  EXPECT_TRUE(GetUpdateRect(native, nullptr, FALSE));
  PressAlt(window, 'N');
  PressAlt(window, 'O');
  EXPECT_EQ(TakeLog(), (Lines{"Label1.AcceleratorKey"}));
}

TEST_F(StaticTextTest, DragAndReleaseReachHandlersOnlyAfterATakenPress) {
  ControlTestWindow window(GroupingControlDescriptions());
  HWND native = window.Pane("Label1")->NativeWindow();
  auto gesture = [&] {
    window.RealDrag(native, 5, 5, 4, 3);
    return TakeLog();
  };
  EXPECT_EQ(gesture(), (Lines{"Label1.MouseDown(5,5)"}));
  window.AnswerMouseDown("Label1", true);
  const Lines log = gesture();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log.front(), "Label1.MouseDown(5,5)");
  EXPECT_EQ(log[1], "Label1.MouseDrag(9,8)");
  EXPECT_EQ(log.back(), "Label1.MouseUp(9,8)");
}

TEST_F(StaticTextTest, ABoundLabelShowsItsFieldAndIsListedOnce) {
  ControlTestWindow window(BoundLabelControls("Ada"));
  RuntimeObject* label = window.Control("Label1");
  RuntimeObject* data = window.Control("Data1");

  EXPECT_EQ(StringToStdUTF8(static_cast<StaticTextPane*>(window.Pane("Label1"))->Caption()), "Ada");
  EXPECT_EQ(TextOf(label, "Text"), "Ada");
  EXPECT_EQ(DataStandInBoundControls(data), (std::vector<BoundControl>{{label, kBoundStaticText}}));

  SetText(label, "DataField", "Missing");
  EXPECT_EQ(TextOf(label, "Text"), "");
  EXPECT_EQ(DataStandInBoundControls(data).size(), 1u);
}

TEST_F(StaticTextTest, HandlersThatCloseTheWindowLeaveNothing) {
  const std::vector<std::pair<const char*, std::function<void(ControlTestWindow&)>>> cases = {
      {"R2 Action",
       [](ControlTestWindow& window) {
         window.CloseOnAction("R2");
         window.Click("R2");
       }},
      {"Label1 AcceleratorKey",
       [](ControlTestWindow& window) {
         window.CloseOn("Label1", "AcceleratorKey");
         window.FocusOn("CheckBox1");
         PressAlt(window, 'A');
       }},
  };
  for (const auto& [name, close] : cases) {
    const int32_t panesBefore = Pane::LiveCount();
    ObjectRef data;
    {
      ControlTestWindow window(BoundLabelControls("&Ada"));
      data = ObjectRef::Retain(window.Control("Data1"));
      ASSERT_EQ(DataStandInBoundControls(data.get()).size(), 1u) << name;
      close(window);
      EXPECT_FALSE(window.IsOpen()) << name;
    }
    EXPECT_EQ(Pane::LiveCount(), panesBefore) << name;
    EXPECT_EQ(RadioButtonCurrentGroupForTesting(), nullptr) << name;
    EXPECT_TRUE(WindowShortcuts().empty()) << name;
    EXPECT_TRUE(DataStandInBoundControls(data.get()).empty()) << name;
  }
}

}  // namespace
