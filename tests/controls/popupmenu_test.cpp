// The popup menu: rows and Change, row-index checks, the references it
// keeps (list provider, row tags, RowTagProvider parts), the drop-down width
// and its DataControl binding.
#include "controls/PopupMenu.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "core/RuntimeExceptionFoundation.h"
#include "core/Variant.h"
#include "core/string.h"
#include "testsupport/ControlTestWindow.h"
#include "testsupport/DataControlStandIn.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/RecordingReceivers.h"
#include "testsupport/UiTestSupport.h"
#include "ui/Binding.h"

namespace {

using Lines = std::vector<std::string>;

StringRef Text(const std::string& text) { return StringRef::Adopt(StringFromUTF8(text)); }

ControlDescription Popup(const char* name, const MacRect& bounds, const std::string& rows) {
  ControlDescription popup = Described(GetPopupMenuClassDefinition(), name, bounds);
  popup.prepare = [rows](RuntimeObject* control) {
    SetProperty<StringRecord*>(control, "InitialValue", Text(rows).get());
  };
  return popup;
}

// Popup1 ("a", "", "c"; receiver "data"), Popup2 ("Red", "Green", "Blue")
// bound to Data1's field "Color" holding "GREEN".
std::vector<ControlDescription> PopupControls() {
  ControlDescription first = Popup("Popup1", Rect(10, 10, 60, 24), "a\r\n\r\nc\r\n");
  first.dataReceiver = "data";
  ControlDescription second = Popup("Popup2", Rect(10, 50, 120, 24), "Red\rGreen\rBlue");
  second.dataSource = "Data1";
  second.dataField = "Color";
  ControlDescription data =
      Described(GetDataControlStandInClassDefinition(), "Data1", Rect(150, 10, 100, 24));
  data.prepare = [](RuntimeObject* standIn) { DataStandInSetField(standIn, "Color", "GREEN"); };
  return {first, second, data};
}

std::string Row(RuntimeObject* popup, int32_t index) {
  StringRef text = StringRef::Adopt(CallMethod<StringRecord*>(popup, "List", index));
  return StringToStdUTF8(text.get());
}

Lines Rows(RuntimeObject* popup) {
  Lines rows;
  for (int32_t i = 0, n = GetProperty<int32_t>(popup, "ListCount"); i < n; ++i) {
    rows.push_back(Row(popup, i));
  }
  return rows;
}

void SetListIndex(RuntimeObject* popup, int32_t index) {
  SetProperty<int32_t>(popup, "ListIndex", index);
}

class PopupMenuTest : public WindowSystemTest {};

TEST_F(PopupMenuTest, RowsComeFromTheLinesAndEveryChoiceRunsChange) {
  std::vector<ControlDescription> controls = PopupControls();
  DescriptionNamed(controls, "Popup1").prepare = [](RuntimeObject* popup) {
    SetProperty<StringRecord*>(popup, "InitialValue", Text("a\r\n\r\nc\r\n").get());
    SetListIndex(popup, 2);
  };
  ControlTestWindow window(controls);
  RuntimeObject* popup = window.Control("Popup1");
  EXPECT_EQ(Rows(popup), (Lines{"a", "", "c"}));
  EXPECT_EQ(GetProperty<int32_t>(popup, "ListIndex"), 2);
  EXPECT_EQ(window.OpeningLog(), (Lines{"Popup2.Change"})) << "only the bound popup's";

  const Lines change{"Popup1.Change", "data.DataChanged"};
  SetListIndex(popup, 1);
  EXPECT_EQ(TakeLog(), change);
  SetListIndex(popup, 1);
  EXPECT_EQ(TakeLog(), change);
  window.FocusOn("Popup1");
  window.PressKey(VK_DOWN);
  EXPECT_EQ(TakeLog(), change);
  EXPECT_EQ(GetProperty<int32_t>(popup, "ListIndex"), 2);

  SetListIndex(popup, 1);
  CallMethod(popup, "RemoveRow", 1);
  EXPECT_EQ(GetProperty<int32_t>(popup, "ListIndex"), 1);
  EXPECT_EQ(Row(popup, 1), "c");
  SetListIndex(popup, 99);
  EXPECT_EQ(GetProperty<int32_t>(popup, "ListIndex"), -1);
}

TEST_F(PopupMenuTest, RowIndexesOutsideTheRowsRaiseAndChangeNothing) {
  ControlTestWindow window(PopupControls());
  RuntimeObject* popup = window.Control("Popup1");
  ObjectRef tag = ObjectRef::Adopt(intToVariant(5));
  const std::vector<std::pair<const char*, std::function<void(int32_t)>>> operations = {
      {"List",
       [&](int32_t i) { RuntimeUnlockString(CallMethod<StringRecord*>(popup, "List", i)); }},
      {"RemoveRow", [&](int32_t i) { CallMethod(popup, "RemoveRow", i); }},
      {"RowTag",
       [&](int32_t i) { RuntimeUnlockObject(CallMethod<RuntimeObject*>(popup, "RowTag", i)); }},
      {"RowTag =", [&](int32_t i) { AssignMethod(popup, "RowTag", i, tag.get()); }},
  };
  for (const auto& [name, operation] : operations) {
    for (int32_t index : {-1, 3}) {
      operation(index);
      ObjectRef raised = ObjectRef::Adopt(RuntimeTakePendingException());
      EXPECT_TRUE(raised &&
                  ObjectIsADefinition(raised.get(), GetOutOfBoundsExceptionClassDefinition()))
          << name << " " << index;
      EXPECT_EQ(Rows(popup), (Lines{"a", "", "c"})) << name << " " << index;
    }
  }
  EXPECT_EQ(tag->refCount, 1);
}

TEST_F(PopupMenuTest, InsertedRowsGoWhereTheIndexSaysAndSeparatorsAreDashRowsWithoutTags) {
  ControlTestWindow window(PopupControls());
  RuntimeObject* popup = window.Control("Popup1");
  auto insert = [&](int32_t index, const char* text) {
    CallMethod(popup, "InsertRow", index, Text(text).get());
  };
  SetListIndex(popup, 1);
  TakeLog();
  insert(0, "first");
  // The selected index stays, so the row above the old choice is chosen now.
  EXPECT_EQ(GetProperty<int32_t>(popup, "ListIndex"), 1);
  EXPECT_EQ(Row(popup, 1), "a");
  insert(4, "at the count");
  insert(-1, "appended");
  insert(2, "middle");
  EXPECT_EQ(Rows(popup), (Lines{"first", "a", "middle", "", "c", "at the count", "appended"}));
  EXPECT_EQ(TakeLog(), Lines{}) << "inserting runs no Change";

  for (int32_t index : {-2, 8, INT32_MIN}) {
    insert(index, "lost");
    ObjectRef raised = ObjectRef::Adopt(RuntimeTakePendingException());
    EXPECT_TRUE(raised &&
                ObjectIsADefinition(raised.get(), GetOutOfBoundsExceptionClassDefinition()))
        << index;
  }
  EXPECT_EQ(GetProperty<int32_t>(popup, "ListCount"), 7);

  CallMethod(popup, "AddSeparator");
  EXPECT_EQ(GetProperty<int32_t>(popup, "ListCount"), 8);
  EXPECT_EQ(Row(popup, 7), "-");
  EXPECT_EQ(ObjectRef::Adopt(CallMethod<RuntimeObject*>(popup, "RowTag", 7)).get(), nullptr);
  EXPECT_EQ(RuntimeTakePendingException(), nullptr);
}

// A listDataProvider of three rows: ("Apple", "7"), nil, ("Pear").
struct FakeRows {
  static int32_t Count(RuntimeObject*) { return 3; }
  static RuntimeObject* Row(RuntimeObject*, int32_t number) {
    if (number == 2) return nullptr;
    RuntimeObject* row = RowClass().NewInstance();
    *RowClass().Extra<int32_t>(row) = number;
    return row;
  }
  static int32_t FieldCount(RuntimeObject* row) {
    return *RowClass().Extra<int32_t>(row) == 1 ? 2 : 1;
  }
  static StringRecord* Field(RuntimeObject* row, int32_t field) {
    const bool apple = *RowClass().Extra<int32_t>(row) == 1;
    return StringFromASCII(field == 2 ? "7" : apple ? "Apple" : "Pear");
  }
  static ClassBuilder& RowClass() {
    static const MethodRecord methods[] = {
        MakeMethodRecord("FieldCount", &kIntegerType, nullptr, 0, RUNTIME_ENTRY(FieldCount)),
        MakeMethodRecord("getIndString", &kStringType, nullptr, 0, RUNTIME_ENTRY(Field))};
    static ClassBuilder& made = (new ClassBuilder(nullptr, "FakeRow", sizeof(int32_t)))
                                    ->Implements(GetTupleInterfaceInterfaceDefinition())
                                    .Methods(methods, 2);
    return made;
  }
  static ClassBuilder& ListClass() {
    static const MethodRecord methods[] = {
        MakeMethodRecord("GetCount", &kIntegerType, nullptr, 0, RUNTIME_ENTRY(Count)),
        MakeMethodRecord("GetRow", nullptr, nullptr, 0, RUNTIME_ENTRY(Row))};
    static ClassBuilder& made = (new ClassBuilder(nullptr, "FakeList"))
                                    ->Implements(GetListDataProviderInterfaceDefinition())
                                    .Methods(methods, 2);
    return made;
  }
};

TEST_F(PopupMenuTest, ListsTagsAndRowTagPartsAreReleasedWithThePopup) {
  ObjectRef list = ObjectRef::Adopt(FakeRows::ListClass().NewInstance());
  ObjectRef tag = ObjectRef::Adopt(intToVariant(5));
  ObjectRef part;
  {
    ControlTestWindow window(PopupControls());
    RuntimeObject* popup = window.Control("Popup1");
    CallMethod(popup, "BindList", list.get());
    EXPECT_EQ(Rows(popup), (Lines{"Apple", "Pear"}));
    ObjectRef seven = ObjectRef::Adopt(CallMethod<RuntimeObject*>(popup, "RowTag", 0));
    EXPECT_EQ(StringToStdUTF8(StringRef::Adopt(variantToString(seven.get())).get()), "7");
    EXPECT_EQ(list->refCount, 2);
    CallMethod(popup, "BindList", static_cast<RuntimeObject*>(nullptr));
    EXPECT_EQ(list->refCount, 1);
    EXPECT_EQ(Rows(popup), Lines{});

    CallMethod(popup, "BindList", list.get());
    AssignMethod(popup, "RowTag", 1, tag.get());
    EXPECT_EQ(tag->refCount, 2);
    CallMethod(popup, "DeleteAllRows");
    EXPECT_EQ(tag->refCount, 1);
    CallMethod(popup, "BindList", list.get());
    EXPECT_EQ(list->refCount, 2) << "a second binding lets the first go";
    AssignMethod(popup, "RowTag", 1, tag.get());

    part = ObjectRef::Adopt(
        CallMethod<RuntimeObject*>(popup, "getBoundPart", Text("rowtagprovider").get()));
    ObjectRef receiver = NewRecordingReceiver("tag");
    CallMethod(part.get(), "addDataNotificationReceiver", receiver.get());
    SetListIndex(popup, 0);
    EXPECT_EQ(TakeLog(), (Lines{"Popup1.Change", "tag.DataChanged", "data.DataChanged"}));
    EXPECT_EQ(
        StringToStdUTF8(StringRef::Adopt(CallMethod<StringRecord*>(part.get(), "getString")).get()),
        "7");
    EXPECT_TRUE(CallMethod<bool>(part.get(), "dataAvailable"));
  }
  EXPECT_EQ(list->refCount, 1);
  EXPECT_EQ(tag->refCount, 1);
  EXPECT_EQ(
      StringToStdUTF8(StringRef::Adopt(CallMethod<StringRecord*>(part.get(), "getString")).get()),
      "");
  EXPECT_FALSE(CallMethod<bool>(part.get(), "dataAvailable"));
}

TEST_F(PopupMenuTest, TheDropDownFitsWideTextAndTheDataControlSelectsByText) {
  ControlTestWindow window(PopupControls());
  RuntimeObject* popup = window.Control("Popup1");
  const std::wstring wide = L"\u65E5\u672C\u8A9E\u30C6\u30AD\u30B9\u30C8";
  CallMethod(
      popup, "AddRow",
      Text("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x83\x86\xE3\x82\xAD\xE3\x82\xB9\xE3\x83\x88")
          .get());
  HWND combo = window.Native("Popup1");
  HDC dc = GetDC(combo);
  HGDIOBJ previous = SelectObject(dc, HFONT(SendMessageW(combo, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32W(dc, wide.data(), int(wide.size()), &size);
  SelectObject(dc, previous);
  ReleaseDC(combo, dc);
  EXPECT_EQ(SendMessageW(combo, CB_GETDROPPEDWIDTH, 0, 0),
            size.cx + 6 + GetSystemMetrics(SM_CXVSCROLL));

  RuntimeObject* bound = window.Control("Popup2");
  EXPECT_EQ(StringToStdUTF8(StringRef::Adopt(GetProperty<StringRecord*>(bound, "Text")).get()),
            "Green");
  EXPECT_EQ(DataStandInBoundControls(window.Control("Data1")),
            (std::vector<BoundControl>{{bound, kBoundPopupMenu}}));
}

}  // namespace
