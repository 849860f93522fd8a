// Panes and their lifetime: locking and disposal, the tree and its native
// windows, state broadcasts, group siblings, delegates, deferred updates and
// the drawing focus.
#include <gtest/gtest.h>

#include "testsupport/UiTestSupport.h"
#include "ui/DeferredUpdate.h"
#include "ui/PaneFocus.h"
#include "ui/RuntimeWindow.h"
#include "ui/WindowPane.h"
#include "ui/runctl.h"

namespace {

using PaneTest = WindowSystemTest;

PaneFactory Recording(const std::string& name, RecordingPane** made = nullptr) {
  return [name, made](const PaneSite& site) {
    auto* pane = new RecordingPane(name, site);
    if (made) *made = pane;
    return pane;
  };
}

RECT NativeRectInParent(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

TEST_F(PaneTest, UnlockDisposesOnlyWhenTheCountFallsBelowZero) {
  auto* pane = new RecordingPane("Root", PaneSite{nullptr, nullptr, 0, Rect(0, 0, 10, 10)}, nullptr);
  pane->Lock();
  EXPECT_FALSE(pane->Unlock());
  EXPECT_TRUE(RecordingPane::TakeDestroyed().empty());
  EXPECT_TRUE(pane->Unlock());
  EXPECT_EQ(RecordingPane::TakeDestroyed(), std::vector<std::string>{"Root"});
}

TEST_F(PaneTest, TheOwnerChainUnlocksExactlyWhatItLockedEvenAfterReparenting) {
  ObjectRef window = OpenTestWindow(nullptr, false);
  RecordingPane* outer = nullptr;
  RecordingPane* inner = nullptr;
  RecordingPane* other = nullptr;
  ObjectRef a = PlaceControl(window.get(), "Outer", Rect(10, 10, 100, 100), Recording("Outer", &outer));
  ObjectRef b = PlaceControl(window.get(), "Inner", Rect(20, 20, 20, 20), Recording("Inner", &inner), a.get());
  ObjectRef c = PlaceControl(window.get(), "Other", Rect(150, 10, 50, 50), Recording("Other", &other));
  ASSERT_EQ(inner->GetOwner(), outer);

  OwnerChain chain;
  inner->LockOwnerChain(&chain);
  EXPECT_EQ(chain.size(), 3u);  // inner, outer, the window pane
  inner->Reparent(other);
  EXPECT_FALSE(SubPane::UnlockOwnerChain(&chain));
  EXPECT_EQ(inner->LockCount(), 0);
  EXPECT_EQ(outer->LockCount(), 0);
  EXPECT_EQ(other->LockCount(), 0);
  EXPECT_EQ(WindowPaneOf(window.get())->LockCount(), 0);
}

// A pane whose press closes its window, as a MouseDown handler may.
bool destroyedDuringHandler = true;
int lockCountAfterClose = -9;

class ClosingPane : public RecordingPane {
 public:
  using RecordingPane::RecordingPane;
  bool MouseDown(int32_t, int32_t, uint32_t) override {
    WindowClose(ControlFields(control)->window);
    destroyedDuringHandler = !RecordingPane::TakeDestroyed().empty();
    lockCountAfterClose = LockCount();
    return true;
  }
  RuntimeObject* control = nullptr;
};

TEST_F(PaneTest, AHandlerClosingItsWindowKeepsThePaneUntilTheOutermostUnlock) {
  ObjectRef window = OpenTestWindow();
  ClosingPane* pane = nullptr;
  ObjectRef control = PlaceControl(window.get(), "Closer", Rect(10, 10, 50, 30),
                                   [&](const PaneSite& site) { return pane = new ClosingPane("Closer", site); });
  pane->control = control.get();
  PostClick(pane->NativeWindow(), 5, 5);
  RunPendingTurns();

  EXPECT_FALSE(destroyedDuringHandler);
  EXPECT_GE(lockCountAfterClose, 0);
  EXPECT_FALSE(WindowIsOpen(window.get()));
  EXPECT_EQ(RecordingPane::TakeDestroyed(), std::vector<std::string>{"Closer"});
  EXPECT_EQ(ControlFields(control.get())->window, nullptr);
  EXPECT_EQ(PaneOf(control.get()), nullptr);
}

TEST_F(PaneTest, ClosingUnderALockedChainDisposesAtTheUnlockWhichAnswersTrue) {
  ObjectRef window = OpenTestWindow(nullptr, false);
  RecordingPane* pane = nullptr;
  ObjectRef control = PlaceControl(window.get(), "P", Rect(10, 10, 50, 30), Recording("P", &pane));
  OwnerChain chain;
  pane->LockOwnerChain(&chain);
  WindowClose(window.get());
  EXPECT_TRUE(RecordingPane::TakeDestroyed().empty());
  EXPECT_EQ(pane->NativeWindow(), nullptr);  // the top window went, and the pane noticed
  EXPECT_EQ(ControlFields(control.get())->window, nullptr);
  EXPECT_TRUE(SubPane::UnlockOwnerChain(&chain));
  EXPECT_EQ(RecordingPane::TakeDestroyed(), std::vector<std::string>{"P"});
}

TEST_F(PaneTest, NativeWindowsSitAtTheBoundsLessTheParentsTopLeft) {
  ObjectRef window = OpenTestWindow(nullptr, false);
  RecordingPane* group = nullptr;
  RecordingPane* item = nullptr;
  ObjectRef g = PlaceControl(window.get(), "Group", Rect(20, 30, 150, 100), Recording("Group", &group));
  ObjectRef i = PlaceControl(window.get(), "Item", Rect(40, 50, 30, 20), Recording("Item", &item), g.get());
  EXPECT_EQ(GetParent(item->NativeWindow()), group->NativeWindow());
  RECT placed = NativeRectInParent(item->NativeWindow());
  EXPECT_EQ(placed.left, 20);
  EXPECT_EQ(placed.top, 20);

  // Moving the group moves the item with it, natively and in its bounds.
  group->SetBounds(Rect(25, 40, 150, 100), false);
  EXPECT_EQ(item->Left(), 45);
  EXPECT_EQ(item->Top(), 60);
  placed = NativeRectInParent(item->NativeWindow());
  EXPECT_EQ(placed.left, 20);
  EXPECT_EQ(placed.top, 20);
}

TEST_F(PaneTest, DisposingAParentDetachesAChildThatLivesOn) {
  auto* parent = new RecordingPane("Parent", PaneSite{nullptr, nullptr, 0, Rect(0, 0, 50, 50)}, nullptr);
  auto* child = new RecordingPane("Child", PaneSite{nullptr, parent, 0, Rect(5, 5, 10, 10)}, nullptr);
  child->Lock();
  EXPECT_TRUE(parent->Unlock());
  EXPECT_EQ(child->GetOwner(), nullptr);
  EXPECT_FALSE(child->Unlock());
  EXPECT_TRUE(child->Unlock());
  EXPECT_EQ(RecordingPane::TakeDestroyed(), (std::vector<std::string>{"Parent", "Child"}));
}

TEST_F(PaneTest, StateChangesReachChildrenWithoutLosingTheirOwnFlags) {
  ObjectRef window = OpenTestWindow();
  RecordingPane* group = nullptr;
  RecordingPane* item = nullptr;
  RecordingPane* hidden = nullptr;
  ObjectRef g = PlaceControl(window.get(), "Group", Rect(20, 30, 150, 100), Recording("Group", &group));
  ObjectRef i = PlaceControl(window.get(), "Item", Rect(40, 50, 30, 20), Recording("Item", &item), g.get());
  ObjectRef h = PlaceControl(window.get(), "Hidden", Rect(80, 50, 30, 20), Recording("Hidden", &hidden), g.get());
  controlVisibleSetter(h.get(), 0, false);

  group->BroadcastStateChange(kPaneHide);
  EXPECT_TRUE(item->IsVisible());
  EXPECT_FALSE(item->IsShown());
  EXPECT_FALSE(IsWindowVisible(item->NativeWindow()));
  group->BroadcastStateChange(kPaneShow);
  EXPECT_TRUE(item->IsShown());
  EXPECT_TRUE(IsWindowVisible(item->NativeWindow()));
  EXPECT_FALSE(hidden->IsShown());
  EXPECT_FALSE(IsWindowVisible(hidden->NativeWindow()));

  group->SetEnabled(false, false);
  EXPECT_FALSE(item->IsEnabled());
  EXPECT_FALSE(IsWindowEnabled(item->NativeWindow()));
  group->SetEnabled(true, false);
  EXPECT_TRUE(item->IsEnabled());
  EXPECT_TRUE(IsWindowEnabled(item->NativeWindow()));
}

TEST_F(PaneTest, GroupSiblingsAreThoseInsideTheSmallestEnclosingSibling) {
  auto* root = new RecordingPane("Root", PaneSite{nullptr, nullptr, 0, Rect(0, 0, 400, 400)}, nullptr);
  std::vector<RecordingPane*> made{root};
  auto make = [&](const char* name, const MacRect& bounds) {
    made.push_back(new RecordingPane(name, PaneSite{nullptr, root, 0, bounds}, nullptr));
    return made.back();
  };
  make("Box", Rect(0, 0, 200, 200));
  make("Inner", Rect(10, 10, 100, 100));
  RecordingPane* sender = make("Sender", Rect(20, 20, 10, 10));
  make("Neighbour", Rect(40, 20, 10, 10));
  make("InBoxOnly", Rect(150, 150, 10, 10));
  make("Outside", Rect(300, 300, 10, 10));
  PaneNotifyGroupSiblings(sender);
  EXPECT_EQ(TakeLog(), std::vector<std::string>{"Neighbour.Group Sender"});

  RecordingPane* loose = make("Loose", Rect(350, 10, 10, 10));
  PaneNotifyGroupSiblings(loose);
  EXPECT_EQ(TakeLog().size(), 6u);  // every other sibling
  for (RecordingPane* pane : made) pane->Unlock();
}

// A pane that holds whatever lies inside its rectangle.
class BoxPane : public RecordingPane {
 public:
  using RecordingPane::RecordingPane;
  bool Encloses(SubPane* pane) override {
    const MacRect& inner = pane->Bounds();
    return inner.left >= Left() && inner.top >= Top() && inner.right <= Bounds().right &&
           inner.bottom <= Bounds().bottom;
  }
};

TEST_F(PaneTest, APaneEmbedsInTheSmallestSiblingThatEnclosesIt) {
  ObjectRef window = OpenTestWindow(nullptr, false);
  BoxPane* outer = nullptr;
  BoxPane* inner = nullptr;
  RecordingPane* item = nullptr;
  ObjectRef a = PlaceControl(window.get(), "Outer", Rect(0, 0, 200, 200), [&](const PaneSite& site) { return outer = new BoxPane("Outer", site); });
  ObjectRef b = PlaceControl(window.get(), "Inner", Rect(10, 10, 100, 100), [&](const PaneSite& site) { return inner = new BoxPane("Inner", site); });
  ObjectRef c = PlaceControl(window.get(), "Item", Rect(20, 20, 10, 10), Recording("Item", &item));
  item->EmbedInEnclosingPane();
  EXPECT_EQ(item->GetOwner(), inner);
  EXPECT_EQ(GetParent(item->NativeWindow()), inner->NativeWindow());
  EXPECT_EQ(item->Left(), 20);

  // The window's pane list keeps creation order; a pane can be moved in it.
  WindowPane* windowPane = WindowPaneOf(window.get());
  EXPECT_EQ(windowPane->Panes(), (std::vector<SubPane*>{windowPane, outer, inner, item}));
  windowPane->InsertPaneAt(1, item);
  EXPECT_EQ(windowPane->Panes(), (std::vector<SubPane*>{windowPane, item, outer, inner}));
  WindowClose(window.get());
  EXPECT_EQ(RecordingPane::TakeDestroyed(), (std::vector<std::string>{"Inner", "Outer", "Item"}));
}

class CountingDelegate : public PaneDelegate {
 public:
  void Notify(SubPane* pane, int32_t code, int32_t argument) override {
    last = pane;
    codes.push_back(code * 100 + argument);
  }
  SubPane* last = nullptr;
  std::vector<int32_t> codes;
};

TEST_F(PaneTest, TheDelegateIsSetOnceAndHearsNotifications) {
  auto* pane = new RecordingPane("P", PaneSite{nullptr, nullptr, 0, Rect(0, 0, 10, 10)}, nullptr);
  CountingDelegate first;
  CountingDelegate second;
  pane->NotifyDelegate(1, 1);  // none yet: nothing happens
  PaneSetDelegate(pane, &first);
  PaneSetDelegate(pane, &second);
  EXPECT_EQ(RuntimeTestEnvironment::TakeRecordedTexts().size(), 1u);
  pane->NotifyDelegate(3, 7);
  EXPECT_EQ(first.last, pane);
  EXPECT_EQ(first.codes, std::vector<int32_t>{307});
  EXPECT_TRUE(second.codes.empty());
  pane->Unlock();
}

class CountingUpdate : public DeferredUpdate {
 public:
  explicit CountingUpdate(SubPane* owner = nullptr) : DeferredUpdate(owner) {}
  void RunUpdate() override {
    ++runs;
    if (requeue) AddDeferredUpdate(this);
    if (removeOther) RemoveDeferredUpdate(removeOther);
  }
  int runs = 0;
  bool requeue = false;
  DeferredUpdate* removeOther = nullptr;
};

TEST_F(PaneTest, ADeferredUpdateRunsOnceInTheNextTurnAndNotAfter) {
  CountingUpdate update;
  AddDeferredUpdate(&update);
  AddDeferredUpdate(&update);
  EXPECT_EQ(update.runs, 0);
  RuntimeTestEnvironment::RunTurns(1);
  EXPECT_EQ(update.runs, 1);
  RuntimeTestEnvironment::RunTurns(2);
  EXPECT_EQ(update.runs, 1);

  CountingUpdate removed;
  AddDeferredUpdate(&removed);
  RemoveDeferredUpdate(&removed);
  RemoveDeferredUpdate(&removed);  // unqueued: nothing
  RuntimeTestEnvironment::RunTurns(1);
  EXPECT_EQ(removed.runs, 0);
}

TEST_F(PaneTest, UpdatesAddedDuringARunWaitAndRemovedOnesDoNotRun) {
  CountingUpdate again;
  again.requeue = true;
  CountingUpdate victim;
  CountingUpdate remover;
  remover.removeOther = &victim;
  AddDeferredUpdate(&again);
  AddDeferredUpdate(&remover);
  AddDeferredUpdate(&victim);
  RunDeferredUpdates();
  EXPECT_EQ(again.runs, 1);
  EXPECT_EQ(victim.runs, 0);
  EXPECT_TRUE(IsDeferredUpdateQueued(&again));
  RunDeferredUpdates();
  EXPECT_EQ(again.runs, 2);
  again.requeue = false;
  RunDeferredUpdates();
  EXPECT_EQ(again.runs, 3);
  {
    CountingUpdate shortLived;
    AddDeferredUpdate(&shortLived);
  }
  RunDeferredUpdates();  // the destroyed entry left the queue
}

TEST_F(PaneTest, DisposingAPaneDropsItsDeferredUpdates) {
  auto* pane = new RecordingPane("P", PaneSite{nullptr, nullptr, 0, Rect(0, 0, 10, 10)}, nullptr);
  CountingUpdate update(pane);
  AddDeferredUpdate(&update);
  pane->Unlock();
  EXPECT_FALSE(IsDeferredUpdateQueued(&update));
  RunDeferredUpdates();
  EXPECT_EQ(update.runs, 0);
}

// ---- Drawing ----

SubPane* expectedPane = nullptr;
bool portMadeWhileCurrent = false;
POINT originAtPort{-1, -1};
int portsMade = 0;
int portsDeleted = 0;
GraphicsPort* const kFakePort = reinterpret_cast<GraphicsPort*>(0x1234);

// Ports of the expected pane are the fake one; the window pane, which
// repaints its part of the invalidated area too, gets another.
GraphicsPort* const kOtherPort = reinterpret_cast<GraphicsPort*>(0x5678);

GraphicsPort* RecordingNewPort(Pane* pane) {
  if (pane != expectedPane) return kOtherPort;
  ++portsMade;
  portMadeWhileCurrent = CurrentDrawingPane() == pane;
  if (pane->PaintDC()) GetWindowOrgEx(pane->PaintDC(), &originAtPort);
  return kFakePort;
}
void RecordingDeletePort(GraphicsPort* port) {
  if (port == kFakePort) ++portsDeleted;
}
void NoCurrentPort() {}

TEST_F(PaneTest, APaintDrawsOnceIntoOnePortOfTheCurrentPane) {
  PaneGraphicsHooks hooks;
  hooks.newPort = RecordingNewPort;
  hooks.deletePort = RecordingDeletePort;
  hooks.unfocusCurrentPort = NoCurrentPort;
  PaneGraphicsHooks previous = SetPaneGraphicsHooks(hooks);
  ObjectRef window = OpenTestWindow();
  RecordingPane* pane = nullptr;
  ObjectRef control = PlaceControl(window.get(), "P", Rect(30, 40, 50, 30), Recording("P", &pane));
  UpdateWindow(WindowHandle(window.get()));
  TakeLog();
  portsMade = portsDeleted = 0;
  expectedPane = pane;

  pane->Invalidate(false);
  UpdateWindow(WindowHandle(window.get()));
  SetPaneGraphicsHooks(previous);

  EXPECT_EQ(TakeLog(), std::vector<std::string>{"P.Draw"});
  EXPECT_EQ(pane->lastPort, kFakePort);
  EXPECT_EQ(portsMade, 1);
  EXPECT_EQ(portsDeleted, 1);
  EXPECT_TRUE(portMadeWhileCurrent);
  EXPECT_EQ(originAtPort.x, 30);  // GDI takes top-window coordinates
  EXPECT_EQ(originAtPort.y, 40);
  EXPECT_EQ(CurrentDrawingPane(), nullptr);
  EXPECT_EQ(pane->PaintDC(), nullptr);
}

TEST_F(PaneTest, WithoutADrawingLayerAPaintValidatesWithoutDrawing) {
  ObjectRef window = OpenTestWindow();
  RecordingPane* pane = nullptr;
  ObjectRef control = PlaceControl(window.get(), "P", Rect(30, 40, 50, 30), Recording("P", &pane));
  PaneGraphicsHooks previous = SetPaneGraphicsHooks(PaneGraphicsHooks{});
  pane->Invalidate(false);
  UpdateWindow(WindowHandle(window.get()));
  SetPaneGraphicsHooks(previous);
  EXPECT_TRUE(TakeLog().empty());
  RECT dirty{};
  EXPECT_FALSE(GetUpdateRect(pane->NativeWindow(), &dirty, FALSE));
}

class DrawingLog : public SubPane {
 public:
  explicit DrawingLog(const char* name) : SubPane(nullptr, 0, Rect(0, 0, 5, 5), nullptr, nullptr, 0, 0), name_(name) {}
  void BeginDrawing() override { Log(name_ + ".Begin"); }
  void AfterBeginDrawing() override { Log(name_ + ".After"); }
  void EndDrawing() override { Log(name_ + ".End"); }

 private:
  std::string name_;
};

TEST_F(PaneTest, TheCurrentDrawingPaneChangesWithEndAndBegin) {
  auto* a = new DrawingLog("A");
  auto* b = new DrawingLog("B");
  MakeCurrentDrawingPane(a);
  MakeCurrentDrawingPane(a);
  MakeCurrentDrawingPane(b);
  ReleaseCurrentDrawingPane();
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{"A.Begin", "A.After", "A.End", "B.Begin", "B.After", "B.End"}));
  EXPECT_EQ(CurrentDrawingPane(), nullptr);
  MakeCurrentDrawingPane(a);
  a->Unlock();  // a disposed pane leaves the role
  EXPECT_EQ(CurrentDrawingPane(), nullptr);
  b->Unlock();
}

class HaloPane : public RecordingPane {
 public:
  using RecordingPane::RecordingPane;
  bool AdjustRedrawRect(MacRect* rect) override {
    MacInsetRect(rect, -4, -4);
    return true;
  }
};

TEST_F(PaneTest, InvalidatingCoversWhatThePaneDrawsOutsideItsWindow) {
  ObjectRef window = OpenTestWindow();
  HWND top = WindowHandle(window.get());
  HaloPane* pane = nullptr;
  ObjectRef control = PlaceControl(window.get(), "Halo", Rect(50, 50, 40, 40),
                                   [&](const PaneSite& site) { return pane = new HaloPane("Halo", site); });
  UpdateWindow(top);
  ValidateRect(top, nullptr);
  pane->Invalidate(false);
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  GetUpdateRgn(top, region, FALSE);
  EXPECT_TRUE(PtInRegion(region, 47, 47));  // the ring outside the pane's own window
  EXPECT_FALSE(PtInRegion(region, 45, 45));
  DeleteObject(region);
  EXPECT_EQ(pane->GetRedrawBounds().left, 46);
}

}  // namespace
