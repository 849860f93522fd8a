// Pane fonts: classic face names reach the pane mapped, names the map does
// not know are kept, size and styles are stored, and only a shown pane is
// redrawn.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "controls/PaneFont.h"
#include "core/SmartRef.h"
#include "core/string.h"
#include "testsupport/UiTestSupport.h"
#include "ui/pane.h"
#include "ui/runctl.h"

namespace {

// A descriptor holding its own name.
ScopedFontDescriptor Font(const char* name, int16_t size = 12) {
  FontDescriptor descriptor;
  FontDescriptorInit(&descriptor);
  descriptor.name = StringFromASCII(name);
  descriptor.size = size;
  return ScopedFontDescriptor(descriptor);
}

// An off-screen pane, disposed of at the end of the scope.
class PlainPane {
 public:
  PlainPane() : pane_(new Pane(Rect(0, 0, 40, 20))) {}
  ~PlainPane() { pane_->Unlock(); }
  Pane* get() const { return pane_; }
  std::string face() const { return StringToStdUTF8(pane_->TextFontName()); }

 private:
  Pane* pane_;
};

// A pane that logs each invalidation, which a hidden native window would
// otherwise swallow unseen.
class InvalidationPane : public RecordingPane {
 public:
  using RecordingPane::RecordingPane;
  void Invalidate(bool erase) override {
    Log(name() + ".Invalidate");
    RecordingPane::Invalidate(erase);
  }
};

class PaneFontTest : public WindowSystemTest {};

TEST_F(PaneFontTest, ClassicNamesAreMappedAndOthersKeptAsTheyAre) {
  const struct {
    const char* given;
    const char* stored;
  } rows[] = {{"System", "MS Sans Serif"},  {"Application", "MS Sans Serif"},
              {"gEnEvA", "MS Sans Serif"},  {"Courier", "Courier New"},
              {"Times", "Times New Roman"}, {"Helvetica", "Arial"},
              {"Osaka", "MS UI Gothic"},    {"Courier New", "Courier New"},
              {"Plain Face", "Plain Face"}, {"", ""}};
  for (const auto& row : rows) {
    PlainPane pane;
    ScopedFontDescriptor font = Font(row.given);
    PaneSetFontMapped(pane.get(), font.get());
    EXPECT_EQ(pane.face(), row.stored) << row.given;
  }
}

TEST_F(PaneFontTest, AnUnmappedNameIsTheDescriptorsOwnString) {
  PlainPane pane;
  ScopedFontDescriptor font = Font("Plain Face");
  PaneSetFontMapped(pane.get(), font.get());
  EXPECT_EQ(pane.get()->TextFontName(), font.get().name);
}

TEST_F(PaneFontTest, SizeAndStyleBitsAreStoredAndReplaced) {
  PlainPane pane;
  ScopedFontDescriptor font = Font("Geneva", 14);
  font.get().bold = 1;
  font.get().underline = 1;
  PaneSetFontMapped(pane.get(), font.get());
  EXPECT_EQ(pane.get()->TextSize(), 14);
  EXPECT_EQ(pane.get()->TextStyleBits(), 5);

  font.get().bold = 0;
  font.get().underline = 0;
  font.get().italic = 1;
  font.get().size = 9;
  PaneSetFontMapped(pane.get(), font.get());
  EXPECT_EQ(pane.get()->TextSize(), 9);
  EXPECT_EQ(pane.get()->TextStyleBits(), 2);
}

TEST_F(PaneFontTest, AShownPaneIsRedrawnWholeAndAHiddenOneIsNot) {
  ObjectRef window = OpenTestWindow();
  ObjectRef shown =
      PlaceControl(window.get(), "Shown", Rect(10, 10, 80, 30),
                   [](const PaneSite& site) { return new InvalidationPane("Shown", site); });
  ObjectRef hidden =
      PlaceControl(window.get(), "Hidden", Rect(10, 60, 80, 30),
                   [](const PaneSite& site) { return new InvalidationPane("Hidden", site); });
  controlVisibleSetter(hidden.get(), 0, false);
  RunPendingTurns();
  RECT update;
  ASSERT_FALSE(GetUpdateRect(NativeOf(shown.get()), &update, FALSE));
  ASSERT_FALSE(GetUpdateRect(NativeOf(hidden.get()), &update, FALSE));

  TakeLog();
  ScopedFontDescriptor font = Font("Times", 10);
  PaneSetFontMapped(PaneOf(shown.get()), font.get());
  PaneSetFontMapped(PaneOf(hidden.get()), font.get());

  ASSERT_TRUE(GetUpdateRect(NativeOf(shown.get()), &update, FALSE));
  RECT client;
  GetClientRect(NativeOf(shown.get()), &client);
  EXPECT_TRUE(EqualRect(&update, &client));
  EXPECT_FALSE(GetUpdateRect(NativeOf(hidden.get()), &update, FALSE));
  EXPECT_EQ(StringToStdUTF8(PaneOf(hidden.get())->TextFontName()), "Times New Roman");
  EXPECT_EQ(TakeLog(), std::vector<std::string>{"Shown.Invalidate"});
}

}  // namespace
