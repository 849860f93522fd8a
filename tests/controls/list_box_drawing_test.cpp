// The list box pane's drawing: cell layout and text, grid lines, colours
// and the frame, the cell cache and invalidation, the cell editor's place,
// and paint handlers that change the rows. Pixels are read from the held
// picture, or from the window for the frame, caret and corner; paints are
// counted, never timed.
#include <gtest/gtest.h>
#include <windows.h>

#include <richedit.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "controls/listbox/ListBoxMembers.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/string.h"
#include "graphics/GraphicsPort.h"
#include "graphics/NativePicture.h"
#include "graphics/PictureClass.h"
#include "testsupport/TestListBox.h"
#include "testsupport/WindowCapture.h"
#include "ui/RuntimeWindow.h"
#include "ui/Theme.h"
#include "ui/WinUtil.h"

namespace {

using Lines = std::vector<std::string>;

StringRef Text(const std::string& text) { return StringRef::Adopt(StringFromUTF8(text)); }

uint32_t System(int index) {
  const COLORREF colour = GetSysColor(index);
  return uint32_t(GetRValue(colour)) << 16 | uint32_t(GetGValue(colour)) << 8 | GetBValue(colour);
}

// A picture of one colour (0x00RRGGBB).
ObjectRef FilledPicture(int32_t width, int32_t height, uint32_t rgb) {
  ObjectRef picture = ObjectRef::Adopt(newPicture(width, height, 32));
  NativePicture* native = reinterpret_cast<PictureObject*>(picture.get())->nativePicture;
  int32_t depth = 0, rowBytes = 0;
  uint8_t* base = nullptr;
  EXPECT_TRUE(native->GetPixels(&depth, &base, &rowBytes));
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      uint8_t* pixel = base + y * rowBytes + x * 4;
      pixel[0] = rgb & 0xFF, pixel[1] = rgb >> 8 & 0xFF, pixel[2] = rgb >> 16 & 0xFF;
    }
  }
  native->PixelsChanged();
  return picture;
}

// A pixel of the list's held picture (top-window coordinates) as 0x00RRGGBB.
uint32_t Pixel(runListbox* list, int32_t x, int32_t y) {
  GdiFlush();
  BitmapPicture* picture = list->BufferPicture();
  int32_t depth = 0, rowBytes = 0, width = 0, height = 0;
  uint8_t* base = nullptr;
  if (!picture || !picture->GetPixels(&depth, &base, &rowBytes) || depth != 32) return 0xFF000000;
  picture->GetSize(&width, &height);
  if (x < 0 || y < 0 || x >= width || y >= height) return 0xFF000000;
  const uint8_t* pixel = base + y * rowBytes + x * 4;
  return uint32_t(pixel[2]) << 16 | uint32_t(pixel[1]) << 8 | pixel[0];
}

// The columns in [from, to) where a pixel of rows [top, bottom) has (or,
// with `other`, has not) the colour.
std::vector<int32_t> Columns(runListbox* list, int32_t top, int32_t bottom, int32_t from,
                             int32_t to, uint32_t rgb, bool other = false) {
  std::vector<int32_t> found;
  for (int32_t x = from; x < to; ++x) {
    for (int32_t y = top; y < bottom; ++y) {
      if ((Pixel(list, x, y) == rgb) != other) {
        found.push_back(x);
        break;
      }
    }
  }
  return found;
}

int32_t TextWidth(runListbox* list, const std::string& text) {
  GraphicsPort* port = PaneNewGraphicsPort(list);
  const int32_t width = port->StringWidth(Text(text).get());
  PaneDeleteGraphicsPort(port);
  return width;
}

int32_t Count(const Lines& lines, const std::string& prefix) {
  return int32_t(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.compare(0, prefix.size(), prefix) == 0;
  }));
}

bool TakeRaisedOutOfBounds() {
  ObjectRef pending = ObjectRef::Adopt(RuntimeTakePendingException());
  return pending && ObjectIsADefinition(pending.get(), GetOutOfBoundsExceptionClassDefinition());
}

bool UpdateRegionEmpty(runListbox* list) {
  RECT area;
  return !GetUpdateRect(list->NativeWindow(), &area, FALSE);
}

class ListDrawingTest : public ListBoxTest {
 protected:
  void TearDown() override {
    UxSetThemeLayerForTesting(nullptr);
    SetWindowsXPForTest(-1);
    ListBoxTest::TearDown();
  }

  // A shown list whose content is exactly 10 rows high, its columns as the
  // widths say; rows are added by the test, which then paints.
  runListbox* TenRowList(const char* widths, const std::function<void(ListboxFields*)>& prepare = {},
                         int32_t width = 280, const char* name = "List1") {
    runListbox* list = NewList(name, Rect(10, 10, width, 100), prepare);
    const int32_t columns = int32_t(std::count(widths, widths + strlen(widths), ',')) + 1;
    listColumnCountSetter(list->Control(), 0, columns);
    listColumnWidthsSetter(list->Control(), 0, Text(widths).get());
    list->SetBounds(Rect(10, 10, width, 10 * list->RowHeight(-1) + 4), true);
    return list;
  }
  // Pending row changes applied, then a full paint.
  static void Paint(runListbox* list) {
    RuntimeTestEnvironment::RunTurns(1);
    RunPendingTurns();
    list->InvalidateCells(-1, -1);
    UpdateWindow(list->NativeWindow());
  }
  static int32_t RowTop(runListbox* list, int32_t visibleRow) {
    return list->GetContentRect().top + visibleRow * list->RowHeight(-1);
  }
};

// ---- Layout and text ----

TEST_F(ListDrawingTest, CellsPlaceGlyphPictureAndTextAndCutTextAtItsFirstLine) {
  runListbox* list = TenRowList("100, 100, 70", [](ListboxFields* fields) {
    fields->columnTypes[0] = 2;
    fields->columnAlignments[1] = 4;
    fields->columnAlignmentOffsets[1] = -20;
  });
  AddTextRow(list, "Hi");
  ObjectRef red = FilledPicture(10, 10, 0xFF0000);
  list->SetRowPicture(0, red.get());
  AddTextRow(list, "x");
  SetCellText(list, 1, 1, "12.50");
  AddTextRow(list, "ab\rcd");
  AddTextRow(list, "ab");
  Paint(list);
  const int32_t left = list->GetContentRect().left;
  const uint32_t ink = System(COLOR_WINDOWTEXT);

  // Check box at +4, the picture centred 32 in (27..36), text from 44.
  const std::vector<int32_t> frame = Columns(list, RowTop(list, 0), RowTop(list, 1), left, left + 20, ink);
  ASSERT_FALSE(frame.empty());
  EXPECT_EQ(frame.front(), left + 4);
  const std::vector<int32_t> picture =
      Columns(list, RowTop(list, 0), RowTop(list, 1), left, left + 60, 0xFF0000);
  ASSERT_FALSE(picture.empty());
  EXPECT_EQ(picture.front(), left + 27);
  EXPECT_EQ(picture.back(), left + 36);
  const std::vector<int32_t> text = Columns(list, RowTop(list, 0), RowTop(list, 1), left + 37, left + 90, ink);
  ASSERT_FALSE(text.empty());
  EXPECT_GE(text.front(), left + 44);
  EXPECT_LE(text.front(), left + 46);

  // Decimal alignment with offset -20: the separator starts 24 pixels left
  // of the cell content's right edge.
  const std::vector<int32_t> digits = Columns(list, RowTop(list, 1), RowTop(list, 2),
                                              list->ColumnLeft(1), list->ColumnRight(1), ink);
  ASSERT_FALSE(digits.empty());
  const int32_t start = list->ColumnRight(1) - 24 - TextWidth(list, "12");
  EXPECT_GE(digits.front(), start);
  EXPECT_LE(digits.front(), start + 2);

  // "ab" CR "cd" shows as "ab" does.
  EXPECT_EQ(Columns(list, RowTop(list, 2), RowTop(list, 3), left, list->ColumnRight(0), ink),
            Columns(list, RowTop(list, 3), RowTop(list, 4), left, list->ColumnRight(0), ink));
}

TEST_F(ListDrawingTest, FoldersIndentByDepthAndStarColumnsFollowAResize) {
  runListbox* list =
      TenRowList("*, *", [](ListboxFields* fields) { fields->hierarchical = 1; });
  list->SetHierarchical(true);
  AddTextRow(list, "f", 2, 0);
  Paint(list);
  const int32_t left = list->GetContentRect().left;
  const std::vector<int32_t> ink = Columns(list, RowTop(list, 0), RowTop(list, 1), left,
                                           list->ColumnRight(0), System(COLOR_WINDOWTEXT));
  std::vector<int32_t> triangle, text;
  for (int32_t x : ink) (x < left + 40 ? triangle : text).push_back(x);
  ASSERT_FALSE(triangle.empty());
  ASSERT_FALSE(text.empty());
  EXPECT_GE(triangle.front(), left + 4);
  EXPECT_LE(triangle.back(), left + 15);
  EXPECT_GE(text.front(), left + 44);
  EXPECT_LE(text.front(), left + 46);

  const int32_t first = list->ColumnWidth(0), second = list->ColumnWidth(1);
  const MacRect bounds = list->Bounds();
  list->SetBounds(MacRect{bounds.top, bounds.left, bounds.bottom, int16_t(bounds.right + 200)}, true);
  EXPECT_NEAR(list->ColumnWidth(0) - first, 100, 1);
  EXPECT_NEAR(list->ColumnWidth(1) - second, 100, 1);
}

// ---- Lines, colours and the frame ----

TEST_F(ListDrawingTest, VerticalGridStylesDrawTheirThickness) {
  struct Case {
    int32_t style;
    int32_t span;
  };
  for (const Case& c : {Case{3, 1}, Case{4, 2}, Case{5, 3}}) {
    const std::string name = "Grid" + std::to_string(c.style);
    runListbox* list = TenRowList(
        "80, 80", [&](ListboxFields* fields) { fields->gridLinesVertical = c.style; }, 280,
        name.c_str());
    AddTextRow(list, "");
    AddTextRow(list, "");
    Paint(list);
    const int32_t edge = list->ColumnRight(0);
    const int32_t y = RowTop(list, 1) + 3;
    const std::vector<int32_t> line =
        Columns(list, y, y + 1, edge - 6, edge + 6, System(COLOR_WINDOW), true);
    ASSERT_FALSE(line.empty()) << c.style;
    EXPECT_EQ(line.back() - line.front() + 1, c.span) << c.style;
    // Column 0 has no left line.
    EXPECT_EQ(Pixel(list, list->GetContentRect().left, y), System(COLOR_WINDOW)) << c.style;
  }
  // A thick horizontal line between rows 0 and 1; none above row 0.
  runListbox* list = TenRowList(
      "80, 80", [](ListboxFields* fields) { fields->gridLinesHorizontal = 4; }, 280, "Rows");
  AddTextRow(list, "");
  AddTextRow(list, "");
  Paint(list);
  const int32_t x = list->ColumnLeft(1) + 40;
  std::vector<int32_t> lined;
  for (int32_t y = list->GetContentRect().top; y < RowTop(list, 2) - 3; ++y) {
    if (Pixel(list, x, y) != System(COLOR_WINDOW)) lined.push_back(y);
  }
  EXPECT_EQ(lined, (std::vector<int32_t>{RowTop(list, 1) - 1, RowTop(list, 1)}));
}

TEST_F(ListDrawingTest, SelectedRowsShowTheHighlightFlatOrOnlyBehindTheFolderText) {
  for (bool hierarchical : {false, true}) {
    runListbox* list = TenRowList(
        "100, 100",
        [&](ListboxFields* fields) { fields->hierarchical = hierarchical ? 1 : 0; }, 280,
        hierarchical ? "Tree" : "Flat");
    list->SetHierarchical(hierarchical);
    AddTextRow(list, "row");
    SetCellText(list, 0, 1, "cell");
    list->SetRowSelected(0, true);
    Paint(list);
    const int32_t top = RowTop(list, 0) + 1, bottom = RowTop(list, 1) - 1;
    const uint32_t highlight = System(COLOR_HIGHLIGHT);
    const std::vector<int32_t> lit =
        Columns(list, top, bottom, list->ColumnLeft(0), list->ColumnRight(1), highlight);
    const std::vector<int32_t> ink = Columns(list, top, bottom, list->ColumnLeft(0),
                                             list->ColumnRight(1), System(COLOR_HIGHLIGHTTEXT));
    ASSERT_FALSE(lit.empty()) << hierarchical;
    if (!hierarchical) {
      EXPECT_EQ(int32_t(lit.size()), list->ColumnRight(1) - list->ColumnLeft(0));
      EXPECT_FALSE(ink.empty());
    } else {
      // Only around column 0's text: from 3 before its start to 3 after it.
      const int32_t textLeft = list->ColumnLeft(0) + 20;
      EXPECT_EQ(lit.front(), textLeft - 3);
      EXPECT_LE(lit.back(), textLeft + TextWidth(list, "row") + 3);
      EXPECT_EQ(Pixel(list, list->ColumnLeft(1) + 10, top + 2), System(COLOR_WINDOW));
    }
  }
}

TEST_F(ListDrawingTest, TheFrameIsSunkenClassicOrThemedAndTheBarCornerIsPainted) {
  runListbox* list = TenRowList("100");
  AddTextRow(list, "a");
  Paint(list);
  const MacRect r = list->Bounds();
  HWND top = GetAncestor(list->NativeWindow(), GA_ROOT);
  WindowCapture capture = WindowCapture::OfClient(top);
  const int32_t y = r.top + 8;
  EXPECT_EQ(capture.Pixel(r.left, y), System(COLOR_BTNSHADOW));
  EXPECT_EQ(capture.Pixel(r.left + 1, y), System(COLOR_3DDKSHADOW));
  EXPECT_EQ(capture.Pixel(r.right - 1, y), System(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(capture.Pixel(r.right - 2, y), System(COLOR_3DLIGHT));

  // The corner between the bars, only with both.
  const int32_t bar = list->ScrollBarWidth();
  const int32_t cornerX = r.right - list->RightMargin() - bar / 2;
  const int32_t cornerY = r.bottom - list->BottomMargin() - bar / 2;
  list->ShowVerticalScrollBar();
  list->SetBounds(r, true);
  UpdateWindow(list->NativeWindow());
  EXPECT_NE(WindowCapture::OfClient(top).Pixel(cornerX, cornerY), System(COLOR_3DLIGHT));
  list->ShowHorizontalScrollBar();
  list->SetBounds(r, true);
  UpdateWindow(list->NativeWindow());
  EXPECT_EQ(WindowCapture::OfClient(top).Pixel(cornerX, cornerY), System(COLOR_3DLIGHT));

  // Themed: the list view's frame, and no classic line.
  static std::vector<std::vector<LONG>> draws;
  struct Layer {
    static BOOL WINAPI Themed() { return TRUE; }
    static HANDLE WINAPI Open(HWND, LPCWSTR name) {
      return std::wstring(name) == L"ListView" ? reinterpret_cast<HANDLE>(1) : nullptr;
    }
    static HRESULT WINAPI Draw(HANDLE, HDC dc, int part, int state, const RECT* rect, const RECT*) {
      draws.push_back({part, state});
      FillRect(dc, rect, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
      return S_OK;
    }
    static HRESULT WINAPI Close(HANDLE) { return S_OK; }
  };
  static const ThemeLayer layer{Layer::Themed, Layer::Open, Layer::Draw, Layer::Close};
  draws.clear();
  UxSetThemeLayerForTesting(&layer);
  SetWindowsXPForTest(1);
  list->InvalidateCells(-1, -1);
  ASSERT_FALSE(draws.empty());
  EXPECT_EQ(draws.back(), (std::vector<LONG>{1, 1}));
  capture = WindowCapture::OfClient(top);
  EXPECT_EQ(capture.Pixel(r.left, y), 0xFFFFFFu);
  EXPECT_EQ(capture.Pixel(r.left + 1, y), 0xFFFFFFu);
}

// ---- The cache and invalidation ----

TEST_F(ListDrawingTest, ScrollingAndInvalidatingDrawOnlyWhatTheCacheLacks) {
  runListbox* list = TenRowList("80, 80, 80");
  for (int32_t row = 0; row < 30; ++row) AddTextRow(list, "r" + std::to_string(row));
  Paint(list);
  LogPaintEvents(true);
  struct Step {
    const char* what;
    std::function<void()> run;
    int32_t cells;
  };
  const Step steps[] = {
      {"scroll one row", [&] { listScrollPositionSetter(list->Control(), 0, 1); }, 3},
      {"one cell", [&] { listInvalidateCell(list->Control(), 5, 1); }, 15},
      // The cache keeps its larger part: rows 4..10 stay.
      {"a row of the cache", [&] { list->InvalidateRow(3); }, 9},
      {"everything", [&] { list->InvalidateCells(-1, -1); }, 30},
      // One row of three cells costs less than two columns of ten.
      {"a cell of the first row", [&] { listInvalidateCell(list->Control(), 1, 1); }, 3},
  };
  for (const Step& step : steps) {
    TakeLog();
    const int32_t before = list->DrawCellCount();
    step.run();
    UpdateWindow(list->NativeWindow());
    const Lines log = TakeLog();
    EXPECT_EQ(list->DrawCellCount() - before, step.cells) << step.what;
    EXPECT_EQ(Count(log, "CellBackgroundPaint"), step.cells) << step.what;
  }

  listInvalidateCell(list->Control(), -2, 0);
  EXPECT_TRUE(TakeRaisedOutOfBounds());
  listInvalidateCell(list->Control(), 0, -2);
  EXPECT_TRUE(TakeRaisedOutOfBounds());

  // A row inserted in view is drawn with the others at the turn's end, its
  // cells set meanwhile drawing nothing at once.
  const int32_t paints = list->PaintCount();
  const int32_t cells = list->DrawCellCount();
  ListBoxCell* cell = NewListBoxCell(0);
  cell->text = StringFromUTF8("new");
  list->InsertRowRecord(2, cell, 0, -1);
  listSetCell(list->Control(), 2, 1, Text("new").get());
  EXPECT_EQ(list->PaintCount(), paints);
  RuntimeTestEnvironment::RunTurns(1);
  EXPECT_EQ(list->PaintCount(), paints + 1);
  EXPECT_EQ(list->DrawCellCount(), cells + 30);

  // Cells of rows past the view ask for no paint at all.
  const int32_t asked = list->WindowInvalidationCount();
  for (int32_t row = 12; row < 30; ++row) listSetCell(list->Control(), row, 1, Text("new").get());
  EXPECT_EQ(list->WindowInvalidationCount(), asked);
  EXPECT_TRUE(UpdateRegionEmpty(list));
}

TEST_F(ListDrawingTest, ARowRedrawnAtOnceShowsAllItsCellsWithoutAPaint) {
  runListbox* list = TenRowList("80, 80, 80");
  for (int32_t row = 0; row < 5; ++row) AddTextRow(list, "r" + std::to_string(row));
  Paint(list);
  const int32_t paints = list->PaintCount();
  const int32_t cells = list->DrawCellCount();
  const int32_t x = list->ColumnLeft(1) + 40, y = RowTop(list, 2) + 2;
  HWND window = list->NativeWindow();
  MacRect rowRect, visible;
  ASSERT_TRUE(list->GetRowsRect(2, 1, &rowRect, &visible));
  // Drawn selected while the selection says otherwise: only the call drew it.
  list->RedrawRow(nullptr, 2, rowRect, true);
  EXPECT_EQ(list->PaintCount(), paints);
  EXPECT_EQ(list->DrawCellCount(), cells + 3);
  EXPECT_TRUE(UpdateRegionEmpty(list));
  EXPECT_EQ(Pixel(list, x, y), System(COLOR_HIGHLIGHT));
  const COLORREF shown = ReadWindowPixel(window, x - list->Left(), y - list->Top());
  EXPECT_EQ(shown, GetSysColor(COLOR_HIGHLIGHT));
  EXPECT_EQ(ReadWindowPixel(window, x - list->Left(), RowTop(list, 1) + 2 - list->Top()),
            GetSysColor(COLOR_WINDOW));
  // The cache still holds every other cell; a port given is drawn into.
  list->InvalidateRow(4);
  EXPECT_EQ(list->DrawCellCount(), cells + 6);
  GraphicsPort* port = PaneNewGraphicsPort(list);
  list->RedrawRow(port, 2, rowRect, false);
  PaneDeleteGraphicsPort(port);
  EXPECT_EQ(ReadWindowPixel(window, x - list->Left(), y - list->Top()), GetSysColor(COLOR_WINDOW));

  // From a paint handler it only asks for another paint.
  OnListEvent("CellBackgroundPaint", [&](runListbox* pane, const std::vector<int32_t>& arguments,
                                         int32_t*) {
    if (arguments[0] == 0 && arguments[1] == 0) pane->RedrawRow(nullptr, 2, rowRect, true);
    return false;
  });
  const int32_t before = list->DrawCellCount();
  list->InvalidateCells(0, 0);
  EXPECT_EQ(list->DrawCellCount(), before + 3);  // row 0 leaves the cache
  EXPECT_FALSE(UpdateRegionEmpty(list));
}

TEST_F(ListDrawingTest, ScrollingSidewaysMovesTheImageAndDrawsTheColumnsThatCameIntoView) {
  runListbox* list = TenRowList("120, 120, 120");
  for (int32_t row = 0; row < 10; ++row) {
    AddTextRow(list, "M");
    SetCellText(list, row, 1, "M");
    SetCellText(list, row, 2, "M");
  }
  Paint(list);
  const uint32_t ink = System(COLOR_WINDOWTEXT);
  // Column 2 is not whole in view, so it is drawn again; then columns 0
  // and 2, around the one whole column.
  for (const auto& [x, cells] : {std::pair<int32_t, int32_t>{30, 10}, {0, 20}}) {
    const int32_t before = list->DrawCellCount();
    listScrollPositionXSetter(list->Control(), 0, x);
    UpdateWindow(list->NativeWindow());
    EXPECT_EQ(list->DrawCellCount() - before, cells) << x;
    for (int32_t column : {0, 1}) {
      // Texts start where their columns do (column 0's 4 pixels in).
      if (list->ColumnLeft(column) < list->GetContentRect().left) continue;
      const std::vector<int32_t> text =
          Columns(list, RowTop(list, 4), RowTop(list, 5),
                  list->ColumnLeft(column), list->ColumnRight(column), ink);
      ASSERT_FALSE(text.empty()) << x << " " << column;
      EXPECT_GE(text.front(), list->ColumnLeft(column) + (column == 0 ? 4 : 0)) << x << " " << column;
      EXPECT_LE(text.front(), list->ColumnLeft(column) + (column == 0 ? 6 : 2)) << x << " " << column;
    }
  }
}

TEST_F(ListDrawingTest, LongJumpsDrawTheNewTopRowsInPlace) {
  runListbox* list = TenRowList("200");
  // Row texts of 1..7 letters, so each row's ink shows which row it is.
  auto textOf = [](int32_t row) { return std::string(size_t(row % 7 + 1), 'M'); };
  for (int32_t row = 0; row < 100000; ++row) AddTextRow(list, textOf(row));
  Paint(list);
  const uint32_t ink = System(COLOR_WINDOWTEXT);
  const int32_t left = list->GetContentRect().left;
  for (int32_t topRow : {50000, 0}) {
    listScrollPositionSetter(list->Control(), 0, topRow);
    UpdateWindow(list->NativeWindow());
    ASSERT_EQ(list->TopRow(), topRow);
    for (int32_t visible = 0; visible < 10; ++visible) {
      const std::vector<int32_t> columns = Columns(list, RowTop(list, visible),
                                                   RowTop(list, visible + 1), left, left + 190, ink);
      ASSERT_FALSE(columns.empty()) << topRow << " " << visible;
      const int32_t width = TextWidth(list, textOf(topRow + visible));
      EXPECT_NEAR(columns.back() - (left + 4), width, 3) << topRow << " " << visible;
    }
  }
}

// ---- The cell editor ----

int32_t setTextCalls = 0;
WNDPROC editorProcedure = nullptr;
LRESULT CALLBACK CountingEditorProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETTEXT) ++setTextCalls;
  return CallWindowProcW(editorProcedure, window, message, wParam, lParam);
}

// The editor's rectangle in its parent's client coordinates.
RECT EditorPlace(runListbox* list) {
  HWND editor = list->CellEditor()->Window();
  RECT place;
  GetWindowRect(editor, &place);
  MapWindowPoints(nullptr, GetParent(editor), reinterpret_cast<POINT*>(&place), 2);
  return place;
}

bool SameRect(const RECT& a, const RECT& b) { return EqualRect(&a, &b) != FALSE; }

TEST_F(ListDrawingTest, TheEditorKeepsItsTextAndItsPlaceThroughEveryPaint) {
  UseTestCellEditor(true);
  runListbox* list = TenRowList("80, 80, 80");
  for (int32_t row = 0; row < 30; ++row) AddTextRow(list, "r" + std::to_string(row));
  Paint(list);
  list->EditCell(2, 1);
  HWND editor = list->CellEditor()->Window();
  SendMessageW(editor, EM_SETBKGNDCOLOR, 0, RGB(255, 255, 0));
  editorProcedure = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
      editor, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountingEditorProcedure)));
  setTextCalls = 0;
  SendMessageW(editor, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"abc"));
  // Cell (2, 1) has no border or indent: the editor covers it.
  const RECT cell{list->ColumnLeft(1) - list->Left(), RowTop(list, 2) - list->Top(),
                  list->ColumnRight(1) - list->Left(), RowTop(list, 3) - list->Top()};
  HWND top = GetAncestor(list->NativeWindow(), GA_ROOT);
  const std::function<void()> paints[] = {
      [&] { list->InvalidateCells(-1, -1); },
      [&] { RedrawWindow(list->NativeWindow(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE); },
      [&] { listInvalidateCell(list->Control(), 4, 0); },
  };
  for (size_t i = 0; i < 3; ++i) {
    paints[i]();
    UpdateWindow(list->NativeWindow());
    DWORD start = 0, end = 0;
    SendMessageW(editor, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start * 10 + end, 33u) << i;
    EXPECT_EQ(SendMessageW(editor, EM_CANUNDO, 0, 0), 1) << i;
    EXPECT_EQ(setTextCalls, 0) << i;
    EXPECT_TRUE(SameRect(EditorPlace(list), cell)) << i;
    UpdateWindow(editor);
    EXPECT_EQ(WindowCapture::OfClient(top).Pixel(list->ColumnRight(1) - 6, RowTop(list, 2) + 3),
              0xFFFF00u)
        << i;
  }
  RunPendingTurns();
  EXPECT_TRUE(UpdateRegionEmpty(list));
  const int32_t paintsSoFar = list->PaintCount();
  for (int32_t turn = 0; turn < 5; ++turn) RunPendingTurns();
  EXPECT_EQ(list->PaintCount(), paintsSoFar);

  listScrollPositionSetter(list->Control(), 0, 5);
  EXPECT_TRUE(SameRect(EditorPlace(list), RECT{-10, -10, -10, -10}));
  listScrollPositionSetter(list->Control(), 0, 0);
  EXPECT_TRUE(SameRect(EditorPlace(list), cell));
  SetWindowLongPtrW(editor, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(editorProcedure));
}

// ---- Paint handlers that change the rows ----

TEST_F(ListDrawingTest, PaintHandlersChangingRowsLeaveTheListDrawnAsItNowIs) {
  auto textOf = [](int32_t row) { return std::string(size_t(row % 7 + 1), 'M'); };
  const uint32_t ink = System(COLOR_WINDOWTEXT);
  auto expectRows = [&](runListbox* list, const std::function<std::string(int32_t)>& text) {
    const int32_t left = list->GetContentRect().left;
    for (int32_t visible = 0; visible < 10; ++visible) {
      const std::vector<int32_t> columns = Columns(list, RowTop(list, visible),
                                                   RowTop(list, visible + 1), left, left + 190, ink);
      ASSERT_FALSE(columns.empty()) << visible;
      EXPECT_NEAR(columns.back() - (left + 4), TextWidth(list, text(visible)), 3) << visible;
    }
  };

  // Row 0 removed by the first background paint.
  runListbox* list = TenRowList("200", {}, 280, "Remover");
  for (int32_t row = 0; row < 15; ++row) AddTextRow(list, textOf(row));
  RunPendingTurns();
  bool removed = false;
  OnListEvent("CellBackgroundPaint", [&](runListbox* pane, const std::vector<int32_t>&, int32_t*) {
    if (!removed) pane->RemoveRowRecord(0);
    removed = true;
    return false;
  });
  list->InvalidateCells(-1, -1);
  for (int32_t turn = 0; turn < 3; ++turn) RunPendingTurns();
  ASSERT_EQ(list->RowCount(), 14);
  expectRows(list, [&](int32_t visible) { return textOf(visible + 1); });

  // Cell (1, 0) set while cell (5, 0) paints.
  bool set = false;
  OnListEvent("CellBackgroundPaint",
              [&](runListbox* pane, const std::vector<int32_t>& cell, int32_t*) {
                if (!set && cell[0] == 5 && cell[1] == 0) {
                  set = true;
                  listSetCell(pane->Control(), 1, 0, Text("X").get());
                }
                return false;
              });
  list->InvalidateCells(-1, -1);
  for (int32_t turn = 0; turn < 3; ++turn) RunPendingTurns();
  ASSERT_TRUE(set);
  expectRows(list, [&](int32_t visible) { return visible == 1 ? "X" : textOf(visible + 1); });
}

TEST_F(ListDrawingTest, APaintHandlerClosingTheWindowEndsThePaint) {
  const uint32_t objects = RuntimeLiveObjectCount();
  runListbox* list = TenRowList("100, 100");
  for (int32_t row = 0; row < 12; ++row) AddTextRow(list, "r");
  RunPendingTurns();
  int32_t calls = 0;
  OnListEvent("CellTextPaint", [&](runListbox*, const std::vector<int32_t>&, int32_t*) {
    ++calls;
    CloseAllWindows();
    return false;
  });
  {
    ObjectRef control = ObjectRef::Retain(list->Control());
    listInvalidateCell(control.get(), -1, -1);
  }
  RunPendingTurns();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(RuntimeLiveObjectCount(), objects);
  EXPECT_EQ(Pane::LiveCount(), PanesBeforeTest());
}

}  // namespace
