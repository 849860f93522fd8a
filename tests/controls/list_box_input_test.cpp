// The Listbox under real input: a click on a row, then the keys, each sent
// through SendInput; what the user sees is the selected row.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "controls/ScrollerPane.h"
#include "controls/listbox/ListBox.h"
#include "controls/listbox/runListbox.h"
#include "core/string.h"
#include "testsupport/ControlTestWindow.h"
#include "testsupport/PropertyAccess.h"
#include "testsupport/RuntimeTestEnvironment.h"
#include "testsupport/UiTestSupport.h"

namespace {

StringRef Text(const std::string& text) { return StringRef::Adopt(StringFromUTF8(text)); }

// A list of two columns with a heading and a vertical bar; enough rows for
// a page of them to be less than all.
std::vector<ControlDescription> FruitList() {
  ControlDescription list = Described(GetListboxClassDefinition(), "Fruit", Rect(10, 10, 158, 114));
  list.plain = true;
  list.prepare = [](RuntimeObject* control) {
    SetProperty<int32_t>(control, "ColumnCount", 2);
    SetProperty<bool>(control, "HasHeading", true);
    SetProperty<bool>(control, "ScrollBarVertical", true);
    std::string rows = "Fruit\tBoxes";
    for (const char* fruit : {"Apples", "Pears", "Plums", "Figs", "Limes", "Dates", "Kiwis",
                              "Lemons", "Mangos", "Melons", "Olives", "Quinces"}) {
      rows += std::string("\r") + fruit + "\t1";
    }
    SetProperty<StringRecord*>(control, "InitialValue", Text(rows).get());
  };
  return {list};
}

class ListInputTest : public WindowSystemTest {};

}  // namespace

TEST_F(ListInputTest, AClickOnARowGivesTheKeysToTheList) {
  ControlTestWindow window(FruitList());
  RuntimeObject* list = window.Control("Fruit");
  auto* pane = dynamic_cast<runListbox*>(window.Pane("Fruit"));
  ASSERT_NE(pane, nullptr);
  SetProperty<int32_t>(list, "ListIndex", 1);

  MacRect rows, visible;
  ASSERT_TRUE(pane->GetRowsRect(2, 1, &rows, &visible));
  MakeForeground(window.Handle());
  SendMouseMove(ScreenPointOf(window.Handle(), rows.left + 20, (rows.top + rows.bottom) / 2));
  SendMouseButton(true);
  SendMouseButton(false);
  RuntimeTestEnvironment::RunUntil([] { return false; }, 300);
  ASSERT_EQ(GetProperty<int32_t>(list, "ListIndex"), 2);

  const int32_t last = pane->RowCount() - 1;
  const int32_t page = ScrollerPaneGetPageStep(pane->VerticalScrollBar());
  ASSERT_GT(page, 1);
  ASSERT_LT(page, last);
  const struct {
    WORD key;
    int32_t selected;
  } steps[] = {{VK_UP, 1},        {VK_DOWN, 2},       {VK_END, last},
               {VK_PRIOR, last - page}, {VK_HOME, 0}, {VK_NEXT, page}};
  for (const auto& step : steps) {
    window.RealKey(step.key);
    EXPECT_EQ(GetProperty<int32_t>(list, "ListIndex"), step.selected) << "key " << step.key;
  }
}
