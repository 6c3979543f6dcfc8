#pragma once
// Where "Move windows" puts the open module editors: one column per editor kind that has open editors, the
// columns to the right of the main window, the editors of a kind stacked down their column with a small step
// to the right, so that every title bar stays in reach.

#include "workspace/module_records.h"

#include <QList>
#include <QPoint>
#include <QSize>

#include <array>

namespace navix {

// 1 below 641 pixels of screen width, 2 up to 800, 3 above (screens wider than 6400 are treated as 3).
int ScreenSizeClass(int screenWidth);

// Distance of the first column from the main window's left edge, by size class and number of columns.
int FirstColumnOffset(int sizeClass, int columnCount);

// Vertical step between the stacked editors of one kind: the screen height shared among them, rounded to the
// nearest pixel with halves to even, and never more than 35 so that a single editor still sits at the top.
int RowStep(int screenHeight, int editorCount);

// The column order: 4021, 4017, 4152, 4052, 4060, 4050, 4113..4613, 4013.
extern const std::array<EditorKind, EditorKindCount> ColumnOrder;

// Top-left corners of the open editors of every kind (indexed by EditorKind), the n-th entry for the n-th
// open editor of that kind counted from the front of its list. mainLeft is the main window's left edge after
// it was moved to the screen's corner; positions are relative to the screen's top-left corner.
std::array<QList<QPoint>, EditorKindCount> ArrangeEditors(const QSize &screen, int mainLeft,
                                                          const std::array<int, EditorKindCount> &openCounts);

} // namespace navix
