#include "window_arrangement.h"

#include <algorithm>

namespace navix {

int ScreenSizeClass(int screenWidth)
{
    if (screenWidth < 641)
        return 1;
    if (screenWidth <= 800)
        return 2;
    return 3;
}

int FirstColumnOffset(int sizeClass, int columnCount)
{
    // Rows: size class 1..3; columns: 1..3, 4..5, 6, 7..8 columns. Narrow screens give the editors more room
    // the more kinds are open, at the price of covering the main window.
    static constexpr int offsets[3][4] = {{399, 239, 239, 40}, {399, 339, 339, 239}, {399, 399, 339, 339}};
    const int row = std::clamp(sizeClass, 1, 3) - 1;
    int group = 0;
    if (columnCount >= 7)
        group = 3;
    else if (columnCount == 6)
        group = 2;
    else if (columnCount >= 4)
        group = 1;
    return offsets[row][group];
}

int RowStep(int screenHeight, int editorCount)
{
    if (editorCount <= 0)
        return 0;
    int step = screenHeight / editorCount;
    const int twiceRemainder = 2 * (screenHeight % editorCount);
    if (twiceRemainder > editorCount || (twiceRemainder == editorCount && step % 2 != 0))
        ++step;
    return std::min(step, 35);
}

const std::array<EditorKind, EditorKindCount> ColumnOrder = {
    EditorKind::Type4021, EditorKind::Type4017, EditorKind::Type4152, EditorKind::Type4052,
    EditorKind::Type4060, EditorKind::Type4050, EditorKind::Type4x13, EditorKind::Type4013};

std::array<QList<QPoint>, EditorKindCount> ArrangeEditors(const QSize &screen, int mainLeft,
                                                          const std::array<int, EditorKindCount> &openCounts)
{
    std::array<QList<QPoint>, EditorKindCount> places;
    const int columnCount = static_cast<int>(
        std::count_if(openCounts.begin(), openCounts.end(), [](int count) { return count > 0; }));
    if (columnCount == 0)
        return places;
    const int firstLeft = mainLeft + FirstColumnOffset(ScreenSizeClass(screen.width()), columnCount);
    const int columnWidth = (screen.width() - firstLeft) / columnCount;
    int column = 0;
    for (EditorKind kind : ColumnOrder) {
        const int count = openCounts[static_cast<int>(kind)];
        if (count <= 0)
            continue;
        const int step = RowStep(screen.height(), count);
        for (int n = 0; n < count; ++n)
            places[static_cast<int>(kind)].append(QPoint(firstLeft + columnWidth * column + 3 * n, step * n));
        ++column;
    }
    return places;
}

} // namespace navix
