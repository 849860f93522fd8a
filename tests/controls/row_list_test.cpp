// The list pane's rows in a window: 50 rows of 16 pixels, multiple
// selection, a vertical bar and a content area exactly 12 rows high. Clicks
// are posted, drags are real input; whole listener logs are compared.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "controls/ScrollerPane.h"
#include "testsupport/RuntimeTestEnvironment.h"
#include "testsupport/TestRowList.h"
#include "ui/DeferredUpdate.h"
#include "ui/PaneFocus.h"
#include "ui/RuntimeWindow.h"

namespace {

const CallLog kPair{"Changing", "Changed"};

Ranges RangesOf(const NuListbox* list) { return RangesOf(list->Selection()); }

CallLog ClicksIn(const CallLog& log) {
  CallLog clicks;
  for (const std::string& entry : log) {
    if (entry.compare(0, 5, "Click") == 0) clicks.push_back(entry);
  }
  return clicks;
}

void Settle(const std::function<bool()>& done) { RuntimeTestEnvironment::RunUntil(done, 2000); }

class RowListTest : public WindowSystemTest {
 protected:
  void SetUp() override {
    WindowSystemTest::SetUp();
    window_ = OpenTestWindow();
    top_ = WindowHandle(window_.get());
    list_ = PlaceRowList(window_.get(), Rect(10, 2, 200, 196), &listener_, &provider_, true, 50);
    UpdateWindow(top_);
    RunPendingTurns();
    Reset();
  }
  void TearDown() override {
    window_ = ObjectRef();
    WindowSystemTest::TearDown();
  }
  void Reset() {
    TakeCalls(&listener_.log);
    TakeCalls(&provider_.log);
    TakeCalls(&list_->log);
  }
  // The middle of a visible row, in the window (content top 4, left 12).
  static int RowY(NuListbox* list, int row) { return 12 + 16 * (row - list->TopRow()); }
  void Click(int row, WPARAM keys = 0, NuListbox* list = nullptr, HWND window = nullptr) {
    list = list ? list : list_;
    window = window ? window : top_;
    const LPARAM point = MAKELPARAM(list->Left() + 40, RowY(list, row));
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON | keys, point);
    PostMessageW(window, WM_LBUTTONUP, keys, point);
    RuntimeRunTurn(0);
    RunPendingTurns();
  }
  std::vector<COLORREF> CaretEdge(int row) {
    std::vector<COLORREF> pixels;
    for (int x = 2; x < 10; ++x) {
      pixels.push_back(ReadWindowPixel(list_->NativeWindow(), x, RowY(list_, row) - 8 - 2));
    }
    return pixels;
  }

  ObjectRef window_;
  HWND top_ = nullptr;
  RecordingListListener listener_;
  RecordingRowProvider provider_;
  TestRowList* list_ = nullptr;
};

TEST_F(RowListTest, ClicksMakeOnePairAndExtendOnlyWhatTheModifiersAllow) {
  Click(3);
  EXPECT_EQ(TakeCalls(&listener_.log), kPair);
  EXPECT_EQ(RangesOf(list_), (Ranges{{3, 1}}));
  EXPECT_EQ(list_->CaretRow(), 3);
  // A press the provider takes opens no gesture, so its release closes none.
  provider_.answerClickRow = true;
  Click(5);
  list_->MouseUp(0, 0, 0);  // as if the release had reached the pane
  provider_.answerClickRow = false;
  Click(7);
  EXPECT_EQ(TakeCalls(&listener_.log), kPair);
  EXPECT_EQ(ClicksIn(TakeCalls(&provider_.log)), (CallLog{"ClickRow(3)", "ClickRow(5)", "ClickRow(7)"}));

  Click(3);
  Click(6, MK_SHIFT);
  EXPECT_EQ(RangesOf(list_), (Ranges{{3, 4}}));
  Click(4, MK_CONTROL);
  EXPECT_EQ(RangesOf(list_), (Ranges{{3, 1}, {5, 2}}));
  EXPECT_EQ(TakeCalls(&listener_.log), (CallLog{"Changing", "Changed", "Changing", "Changed",
                                                "Changing", "Changed"}));

  TestRowList* single =
      PlaceRowList(window_.get(), Rect(215, 2, 80, 196), &listener_, &provider_, false, 50);
  Click(2, 0, single);
  Click(5, MK_SHIFT, single);
  EXPECT_EQ(RangesOf(single), (Ranges{{5, 1}}));

  // A press on the bar reaches the bar, not the provider.
  HWND bar = list_->VerticalScrollBar()->GetNativeHandle();
  RECT barRect;
  GetClientRect(bar, &barRect);
  TakeCalls(&provider_.log);
  PostClick(bar, barRect.right / 2, barRect.bottom - 4);
  RuntimeRunTurn(0);
  RunPendingTurns();
  EXPECT_EQ(list_->TopRow(), 1);
  EXPECT_EQ(ClicksIn(TakeCalls(&provider_.log)), CallLog{});
}

TEST_F(RowListTest, DoubleClicksNeedOneRowAndAnUnhandledFirstClick) {
  Click(9);
  Click(9);
  Click(10);
  Click(11);
  EXPECT_EQ(TakeCalls(&listener_.log),
            (CallLog{"Changing", "Changed", "DoubleClick", "Changing", "Changed", "Changing",
                     "Changed"}));
  // A handled click elsewhere leaves the last click on row 1.
  Click(1);
  provider_.answerClickRow = true;
  Click(2);
  EXPECT_EQ(RangesOf(list_), (Ranges{{1, 1}}));
  provider_.answerClickRow = false;
  Click(1);
  EXPECT_EQ(TakeCalls(&listener_.log), (CallLog{"Changing", "Changed", "DoubleClick"}));
}

TEST_F(RowListTest, DragsSelectTheRowsPassedWithOnePairAndScrollBelowTheRows) {
  ASSERT_TRUE(MakeForeground(top_));
  SendMouseMove(ScreenPointOf(top_, 50, RowY(list_, 2)));
  SendMouseButton(true);
  Settle([&] { return GetMouseCapturePane() == list_; });
  SendMouseMove(ScreenPointOf(top_, 50, RowY(list_, 6)));
  Settle([&] { return list_->SelectedRowCount() == 5; });
  EXPECT_EQ(TakeCalls(&listener_.log), CallLog{"Changing"});
  SendMouseButton(false);
  Settle([&] { return GetMouseCapturePane() == nullptr; });
  EXPECT_EQ(RangesOf(list_), (Ranges{{2, 5}}));
  EXPECT_EQ(TakeCalls(&listener_.log), CallLog{"Changed"});

  SendMouseMove(ScreenPointOf(top_, 50, RowY(list_, 11)));
  SendMouseButton(true);
  Settle([&] { return GetMouseCapturePane() == list_; });
  SendMouseMove(ScreenPointOf(top_, 50, 199));
  Settle([&] { return list_->TopRow() > 0; });
  SendMouseButton(false);
  Settle([&] { return GetMouseCapturePane() == nullptr; });
  EXPECT_GT(list_->VerticalScrollBar()->GetValue(), 0);
}

TEST_F(RowListTest, ArrowsMoveOrExtendTheSelectionAndEndRowsAtTheBottomEdge) {
  list_->SelectRowRange(4, 6);
  list_->HandleKey(VK_UP, 0, 0);
  EXPECT_EQ(RangesOf(list_), (Ranges{{4, 1}}));
  EXPECT_EQ(list_->CaretRow(), 4);
  list_->SelectRowRange(4, 6);
  list_->HandleKey(VK_DOWN, 0, 0);
  EXPECT_EQ(RangesOf(list_), (Ranges{{6, 1}}));
  list_->HandleKey(VK_UP, 0, kModifierShift);
  EXPECT_EQ(RangesOf(list_), (Ranges{{5, 2}}));
  EXPECT_FALSE(list_->HandleKey(VK_UP, 0, 0x100));

  ScrollerPane* bar = list_->VerticalScrollBar();
  list_->HandleKey(VK_END, 0, 0);
  EXPECT_EQ(bar->GetValue(), ScrollerPaneGetMaximum(bar));
  EXPECT_EQ(ScrollerPaneGetMaximum(bar), 38);
  list_->HandleKey(VK_HOME, 0, 0);
  EXPECT_EQ(bar->GetValue(), 0);
  EXPECT_EQ(list_->TopRow(), 0);

  list_->SelectOnlyRow(11, false);
  list_->HandleKey(VK_DOWN, 0, 0);
  EXPECT_EQ(list_->TopRow(), 1);
  MacRect rows, visible;
  ASSERT_TRUE(list_->GetRowsRect(12, 1, &rows, &visible));
  EXPECT_EQ(rows.bottom, list_->GetContentRect().bottom);
}

TEST_F(RowListTest, InsertionsAndRemovalsInOneTurnMakeOneFullInvalidation) {
  for (int k = 0; k < 1000; ++k) list_->RowsInserted(k, 1);
  EXPECT_EQ(TakeCalls(&list_->log), CallLog{});
  RuntimeTestEnvironment::RunTurns(1);
  EXPECT_EQ(TakeCalls(&list_->log), CallLog{"InvalidateCells(-1,-1)"});
  for (int k = 0; k < 1000; ++k) list_->RowsRemoved(2, 1);
  EXPECT_EQ(TakeCalls(&list_->log), CallLog{});
  RuntimeTestEnvironment::RunTurns(1);
  EXPECT_EQ(TakeCalls(&list_->log), CallLog{"InvalidateCells(-1,-1)"});
  EXPECT_EQ(list_->RowCount(), 50);

  // Above the top row every visible row moves: it is redrawn too.
  list_->SetTopRow(10);
  TakeCalls(&list_->log);
  list_->RowsInserted(0, 1);
  list_->RowsRemoved(0, 2);
  RuntimeTestEnvironment::RunTurns(1);
  EXPECT_EQ(TakeCalls(&list_->log), CallLog{"InvalidateCells(-1,-1)"});
}

TEST_F(RowListTest, ScrollingByRowsAndDrawingTheVisibleRowsWithTheCaret) {
  list_->SetTopRow(10);
  EXPECT_EQ(TakeCalls(&listener_.log), CallLog{"Scrolled(-160)"});
  const POINT screen = ScreenPointOf(top_, 50, 50);
  SendMessageW(list_->NativeWindow(), WM_MOUSEWHEEL, MAKEWPARAM(0, -3 * WHEEL_DELTA),
               MAKELPARAM(screen.x, screen.y));
  EXPECT_EQ(list_->TopRow(), 13);

  list_->SetTopRow(0);
  list_->SelectOnlyRow(3, false);
  Reset();
  InvalidateRect(list_->NativeWindow(), nullptr, TRUE);
  UpdateWindow(list_->NativeWindow());
  CallLog drawn{"DrawBackground"};
  for (int row = 0; row < 12; ++row) drawn.push_back("DrawRow(" + std::to_string(row) + "," +
                                                    std::to_string(row == 3) + ")");
  EXPECT_EQ(TakeCalls(&provider_.log), drawn);
  EXPECT_EQ(ReadWindowPixel(list_->NativeWindow(), 30, RowY(list_, 3) - 2), RGB(0, 0, 0xA0));

  list_->ShowCaretRow(3);
  const std::vector<COLORREF> unfocused = CaretEdge(3);
  SetFocusPane(list_);
  EXPECT_NE(CaretEdge(3), unfocused);
  SetFocusPane(nullptr);
  EXPECT_EQ(CaretEdge(3), unfocused);
}

TEST_F(RowListTest, ANullProviderIsReportedAndAClosingListenerLeavesNothing) {
  PlaceRowList(window_.get(), Rect(215, 2, 80, 100), &listener_, nullptr, true, 5);
  const std::vector<std::string> reports = RuntimeTestEnvironment::TakeRecordedTexts();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find("mProvider\r\nSource: NuListbox, line 186"), std::string::npos);

  const int32_t livePanes = Pane::LiveCount();
  ObjectRef other = OpenTestWindow();
  HWND handle = WindowHandle(other.get());
  RecordingListListener closer;
  int queued = 0;
  closer.onCall = [&](NuListbox* pane, const std::string& entry) {
    if (entry != "Changed") return;
    pane->RowsInserted(0, 1);  // a pending shift, queued
    queued = DeferredUpdateCount();
    WindowClose(other.get());
  };
  TestRowList* list = PlaceRowList(other.get(), Rect(10, 2, 200, 196), &closer, &provider_, true, 50);
  UpdateWindow(handle);
  RuntimeTestEnvironment::RunTurns(2);
  ASSERT_EQ(DeferredUpdateCount(), 0);
  // Pressed outside a turn, so the shift queued by the listener has not run
  // when the press returns: the closed pane must have taken it off the queue.
  SendMessageW(handle, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(list->Left() + 40, RowY(list, 3)));
  EXPECT_FALSE(IsWindow(handle));
  EXPECT_EQ(closer.log, kPair);
  EXPECT_GT(queued, 0);
  EXPECT_EQ(DeferredUpdateCount(), 0);
  EXPECT_EQ(Pane::LiveCount(), livePanes);
  RuntimeTestEnvironment::RunTurns(2);
  EXPECT_EQ(Pane::LiveCount(), livePanes);
}

}  // namespace
