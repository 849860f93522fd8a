#include "controls/ControlClasses.h"

#include "controls/Canvas.h"
#include "controls/CheckBox.h"
#include "controls/editfield/EditField.h"
#include "controls/GroupBox.h"
#include "controls/listbox/ListBox.h"
#include "controls/listbox/ListColumn.h"
#include "controls/LineControl.h"
#include "controls/OLEContainer.h"
#include "controls/PagePanel.h"
#include "controls/PopupMenu.h"
#include "controls/ProgressBar.h"
#include "controls/PushButton.h"
#include "controls/RadioButton.h"
#include "controls/ScrollerControls.h"
#include "controls/StaticText.h"
#include "controls/editfield/StyledText.h"
#include "controls/editfield/StyledTextPrinter.h"
#include "controls/TabPanel.h"
#include "core/ObjectDefinition.h"

void RegisterBuiltInControlClasses() {
  RegisterIntrinsicClass(GetCheckBoxClassDefinition());
  RegisterIntrinsicClass(GetCheckBoxActionClassDefinition());
  RegisterIntrinsicClass(GetPushButtonClassDefinition());
  InitGroupBoxClass();
  RegisterIntrinsicClass(GetRadioButtonClassDefinition());
  RegisterIntrinsicClass(GetRadioButtonActionClassDefinition());
  InitStaticTextClass();
  RegisterIntrinsicClass(GetScrollBarClassDefinition());
  RegisterIntrinsicClass(GetSliderClassDefinition());
  RegisterIntrinsicClass(GetListColumnClassDefinition());
  InitListboxClass();
  InitCanvasClass();
  InitLineControlClasses();
  InitPopupMenuClass();
  InitEditFieldClass();
  InitStyledTextClasses();
  InitStyledTextPrinterClass();
  RegisterIntrinsicClass(GetProgressBarClassDefinition());
  RegisterIntrinsicClass(GetTabPanelClassDefinition());
  RegisterIntrinsicClass(GetPagePanelClassDefinition());
  RegisterIntrinsicClass(GetOLEContainerClassDefinition());
}
