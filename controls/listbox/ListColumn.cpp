// The ListColumn class and the list's Column accessors.
#include "controls/listbox/ListColumn.h"

#include <iterator>

#include "controls/listbox/ScrollingListPane.h"
#include "core/InstanceArgument.h"
#include "core/string.h"
#include "ui/runctl.h"

namespace {

ListColumnFields* Checked(RuntimeObject* column) {
  return InstanceArgument<ListColumnFields>(column, GetListColumnClassDefinition(), "ListColumn",
                                            __LINE__, "ObjectIsADefinition(column, ListColumn)");
}

StringRecord** ExpressionField(ListColumnFields* fields, ColumnExpression which) {
  switch (which) {
    case kMinWidthExpression: return &fields->minWidthExpression;
    case kMaxWidthExpression: return &fields->maxWidthExpression;
    default: return &fields->widthExpression;
  }
}

int32_t* PixelField(ListColumnFields* fields, ColumnExpression which) {
  switch (which) {
    case kMinWidthExpression: return &fields->minWidthActual;
    case kMaxWidthExpression: return &fields->maxWidthActual;
    default: return &fields->widthActual;
  }
}

// What an accessor works on: the object's fields and, for an attached
// object whose index passed the check, its pane. Refused: attached with a bad
// index (the exception raised), so nothing is read or written.
struct ColumnAccess {
  ListColumnFields* fields = nullptr;
  ScrollingListPane* pane = nullptr;
  bool refused = false;
  ColumnExpression which = kWidthExpression;
};

ColumnAccess Access(RuntimeObject* column, uint32_t selector, bool setter) {
  ColumnAccess access;
  access.fields = Checked(column);
  if (!access.fields || selector > kMaxWidthExpression) return ColumnAccess{nullptr};
  access.which = ColumnExpression(selector);
  access.pane = ListPaneOf(access.fields->owner);
  if (access.pane &&
      !CheckColumnIndex(access.fields->index, access.pane->ColumnCount(), kColumnEdge, setter)) {
    access.pane = nullptr;
    access.refused = true;
  }
  return access;
}

// The column, or every used column for -1.
template <class Operation>
void ForEachColumn(ScrollingListPane* pane, int32_t index, Operation operation) {
  const int32_t first = index < 0 ? 0 : index;
  const int32_t end = index < 0 ? pane->ColumnCount() : index + 1;
  for (int32_t column = first; column < end; ++column) operation(column);
}

// After a width change: the edges, the headings and the cells follow.
void RefreshColumns(ScrollingListPane* pane) {
  pane->ComputeColumnPositions();
  if (pane->HasHeading()) pane->RebuildHeadings();
  pane->InvalidateCells(-1, -1);
}

void DestructListColumn(RuntimeObject* column) {
  ListColumnFields* fields = ObjectFields<ListColumnFields>(column);
  for (StringRecord** text :
       {&fields->widthExpression, &fields->minWidthExpression, &fields->maxWidthExpression}) {
    StringAssign(text, nullptr);
  }
  RuntimeUnlockObject(fields->owner);
  fields->owner = nullptr;
}

void FillFromPane(ListColumnFields* fields, ScrollingListPane* pane) {
  const int32_t column = fields->index;
  fields->userResizable = pane->Columns().Record(column).userResizable;
  for (ColumnExpression which : {kWidthExpression, kMinWidthExpression, kMaxWidthExpression}) {
    StringAssign(ExpressionField(fields, which), pane->GetColumnExpression(which, column).get());
    *PixelField(fields, which) = pane->Columns().Pixels(which, column);
  }
}

void FillForAllColumns(ListColumnFields* fields) {
  const char* texts[] = {"0", "0", "-1"};
  for (ColumnExpression which : {kWidthExpression, kMinWidthExpression, kMaxWidthExpression}) {
    StringRef text = StringRef::Adopt(StringFromASCII(texts[which]));
    StringAssign(ExpressionField(fields, which), text.get());
  }
  fields->maxWidthActual = -1;
}

}  // namespace

ObjectDefinition* GetListColumnClassDefinition() {
  constexpr uint32_t kSelector = kPropertyPassesParameter;
  static const PropertyRecord properties[] = {
      {kSelector, "UserResizable", &kBooleanType, RUNTIME_ENTRY(listColUserResizableGetter),
       RUNTIME_ENTRY(listColUserResizableSetter), 0},
      {kSelector, "WidthExpression", &kStringType, RUNTIME_ENTRY(listColWidthExpressionGetter),
       RUNTIME_ENTRY(listColWidthExpressionSetter), kWidthExpression},
      {kSelector, "MinWidthExpression", &kStringType, RUNTIME_ENTRY(listColWidthExpressionGetter),
       RUNTIME_ENTRY(listColWidthExpressionSetter), kMinWidthExpression},
      {kSelector, "MaxWidthExpression", &kStringType, RUNTIME_ENTRY(listColWidthExpressionGetter),
       RUNTIME_ENTRY(listColWidthExpressionSetter), kMaxWidthExpression},
      {kSelector, "WidthActual", &kIntegerType, RUNTIME_ENTRY(listColWidthActualGetter),
       RUNTIME_ENTRY(listColWidthActualSetter), kWidthExpression},
      {kSelector, "MinWidthActual", &kIntegerType, RUNTIME_ENTRY(listColWidthActualGetter),
       RUNTIME_ENTRY(listColWidthActualSetter), kMinWidthExpression},
      {kSelector, "MaxWidthActual", &kIntegerType, RUNTIME_ENTRY(listColWidthActualGetter),
       RUNTIME_ENTRY(listColWidthActualSetter), kMaxWidthExpression},
  };
  static ObjectDefinition* made = [] {
    static ObjectDefinition definition;
    ObjectDefinitionSetName(&definition, "ListColumn");
    definition.instanceSize = sizeof(ListColumnFields);
    definition.destructor = DestructListColumn;
    BuildPropertyDefinitions(&definition, properties, int32_t(std::size(properties)));
    return &definition;
  }();
  return made;
}

ScrollingListPane* ListPaneOf(RuntimeObject* list) {
  if (!ObjectIsADefinition(list, GetRectControlClassDefinition())) return nullptr;
  return dynamic_cast<ScrollingListPane*>(ControlFields(list)->pane);
}

// ---- Accessors ----

extern "C" bool listColUserResizableGetter(RuntimeObject* column, uint32_t) {
  const ColumnAccess access = Access(column, 0, false);
  if (!access.fields) return false;
  if (!access.pane) return access.fields->userResizable != 0;
  return access.pane->Columns().Record(access.fields->index).userResizable != 0;
}

extern "C" void listColUserResizableSetter(RuntimeObject* column, uint32_t, uint8_t value) {
  const ColumnAccess access = Access(column, 0, true);
  if (!access.fields || access.refused) return;
  if (ScrollingListPane* pane = access.pane) {
    ForEachColumn(pane, access.fields->index,
                  [&](int32_t k) { pane->SetColumnResizable(k, value != 0); });
  }
  access.fields->userResizable = value ? 1 : 0;
}

extern "C" StringRecord* listColWidthExpressionGetter(RuntimeObject* column, uint32_t selector) {
  const ColumnAccess access = Access(column, selector, false);
  if (!access.fields || access.refused) return nullptr;
  if (!access.pane) return StringAddRef(*ExpressionField(access.fields, access.which));
  return access.pane->GetColumnExpression(access.which, access.fields->index).release();
}

extern "C" void listColWidthExpressionSetter(RuntimeObject* column, uint32_t selector,
                                             StringRecord* text) {
  const ColumnAccess access = Access(column, selector, true);
  if (!access.fields || access.refused) return;
  if (ScrollingListPane* pane = access.pane) {
    bool stored = true;
    ForEachColumn(pane, access.fields->index, [&](int32_t k) {
      stored = stored && pane->SetColumnExpression(access.which, k, text);
    });
    if (!stored) return;
    if (access.which == kWidthExpression) RefreshColumns(pane);
  }
  StringAssign(ExpressionField(access.fields, access.which), text);
}

extern "C" int32_t listColWidthActualGetter(RuntimeObject* column, uint32_t selector) {
  const ColumnAccess access = Access(column, selector, false);
  if (!access.fields || access.refused) return 0;
  if (!access.pane) return *PixelField(access.fields, access.which);
  return access.pane->Columns().Pixels(access.which, access.fields->index);
}

extern "C" void listColWidthActualSetter(RuntimeObject* column, uint32_t selector, int32_t value) {
  const ColumnAccess access = Access(column, selector, true);
  if (!access.fields || access.refused) return;
  if (ScrollingListPane* pane = access.pane) {
    ForEachColumn(pane, access.fields->index, [&](int32_t k) {
      if (access.which == kWidthExpression) {
        pane->SetColumnWidthActual(k, value);
      } else {
        pane->SetColumnLimit(access.which, k, value);
      }
    });
    if (access.which == kWidthExpression) RefreshColumns(pane);
  }
  *PixelField(access.fields, access.which) = value;
}

// ---- Column(index) ----

extern "C" RuntimeObject* listColumnGetter(RuntimeObject* list, int32_t index) {
  ScrollingListPane* pane = ListPaneOf(list);
  if (!pane || !CheckColumnIndex(index, pane->ColumnCount(), kColumnEdge, true)) return nullptr;
  RuntimeObject* column = CreateInstance(GetListColumnClassDefinition());
  ListColumnFields* fields = ObjectFields<ListColumnFields>(column);
  RuntimeLockObject(list);
  fields->owner = list;
  fields->index = index;
  if (index < 0) {
    FillForAllColumns(fields);
  } else {
    FillFromPane(fields, pane);
  }
  return column;
}

extern "C" void listColumnSetter(RuntimeObject* list, int32_t index, RuntimeObject* column) {
  ScrollingListPane* pane = ListPaneOf(list);
  if (!pane || !CheckColumnIndex(index, pane->ColumnCount(), kColumnEdge, true)) return;
  ListColumnFields* fields = Checked(column);
  if (!fields) return;
  ForEachColumn(pane, index, [&](int32_t k) {
    pane->SetColumnResizable(k, fields->userResizable != 0);
    for (ColumnExpression which : {kWidthExpression, kMinWidthExpression, kMaxWidthExpression}) {
      pane->SetColumnExpression(which, k, *ExpressionField(fields, which));
    }
    pane->SetColumnWidthActual(k, fields->widthActual);
    pane->SetColumnLimit(kMinWidthExpression, k, fields->minWidthActual);
    pane->SetColumnLimit(kMaxWidthExpression, k, fields->maxWidthActual);
  });
  RefreshColumns(pane);
}
