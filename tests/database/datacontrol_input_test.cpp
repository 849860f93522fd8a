// The DataControl under real input: a user's typing in a bound edit field
// and clicks on a bound check box, then clicks on the navigator's buttons,
// over a query in reverse name order. What the user reads back is the
// field's window text and the box's check state.
#include "controls/editfield/EditField.h"
#include "tests/database/datacontrol_support.h"

namespace {

class DataControlInputTest : public DataControlTest {
 protected:
  void OpenWithRealControls() {
    std::vector<ControlDescription> all = Descriptions("people", "select * from people order by name desc");
    std::vector<ControlDescription> kept{all.front()};
    ControlDescription name =
        Described(GetEditFieldClassDefinition(), "NameField", Rect(10, 40, 100, 22));
    ControlDescription flag = DescriptionNamed(all, "FlagBox");
    for (ControlDescription* bound : {&name, &flag}) {
      bound->plain = true;
      bound->dataSource = "Data1";
    }
    name.dataField = "name";
    kept.push_back(name);
    kept.push_back(flag);
    Open(kept);
  }

  // The edit field's text as its window shows it.
  std::string FieldText() {
    wchar_t text[64] = {};
    GetWindowTextW(window_->Native("NameField"), text, 64);
    std::string narrow;
    for (const wchar_t* c = text; *c; ++c) narrow += char(*c);
    return narrow;
  }
  bool BoxChecked() {
    return SendMessageW(window_->Native("FlagBox"), BM_GETCHECK, 0, 0) == BST_CHECKED;
  }

  // A click into the field, Ctrl+A and the text typed, all as real input;
  // the focus stays in the field.
  void Retype(const wchar_t* text) {
    window_->RealClick("NameField", 20, 10);
    SendKey(VK_CONTROL, true);
    SendKey('A', true);
    SendKey('A', false);
    SendKey(VK_CONTROL, false);
    for (const wchar_t* c = text; *c; ++c) SendCharacterKey(*c);
    RuntimeTestEnvironment::RunUntil([] { return false; }, 300);
  }
  void ClickBox() { window_->RealClick("FlagBox", 8, 10); }
};

}  // namespace

TEST_F(DataControlInputTest, TypingAndTickingAreSavedByTheNextClickOnTheNavigator) {
  OpenWithRealControls();
  ASSERT_EQ(FieldText(), "Cy");
  ClickButton(kNextButton);
  ASSERT_EQ(FieldText(), "Bob");
  ASSERT_FALSE(BoxChecked());
  Retype(L"Bobby");
  ClickBox();
  ASSERT_EQ(FieldText(), "Bobby");
  ASSERT_TRUE(BoxChecked());
  ClickButton(kNextButton);
  EXPECT_EQ(FieldText(), "Ann");
  ClickButton(kPreviousButton);
  EXPECT_EQ(FieldText(), "Bobby");
  EXPECT_TRUE(BoxChecked());
  EXPECT_EQ(Column("select name from people where id = 2"), "Bobby");
  EXPECT_EQ(Column("select flag from people where id = 2"), "true");

  // The last record, left by First and shown again by Last.
  ClickButton(kLastButton);
  ASSERT_EQ(FieldText(), "Ann");
  Retype(L"Anne");
  ClickButton(kFirstButton);
  EXPECT_EQ(FieldText(), "Cy");
  ClickButton(kLastButton);
  EXPECT_EQ(FieldText(), "Anne");
  EXPECT_EQ(Column("select name from people order by name desc"), "Cy|Bobby|Anne");
}

