// How one row of the outline is drawn: the selected entry's fill, the frame around the selected family, the
// grid line, and the box behind a field being edited in an inactive window. The outline draws no selection
// of its own; it asks this painter for every row.
#pragma once

#include <QColor>
#include <QPalette>
#include <QRect>

class QPainter;

namespace views {

class MyTableRowView {
public:
    // Where a row stands in the family range {location, length}: 0 outside, 1 the only row, 2 the first row
    // of several, 3 a middle row, 4 the last row of several.
    static int familyKindForRow(long long row, size_t location, size_t length);

    // The colours, from the palette, so a dark palette gets dark equivalents.
    struct Colors {
        QColor selectedBackground; // the selected row, active
        QColor inactiveSelected;   // the selected row, inactive
        QColor textBackground;
        QColor grid;
        QColor frame;
        QColor editBoxBorder;
    };
    static Colors colorsOf(const QPalette& palette);
    // The colour a fraction t of the way from a to b.
    static QColor mixed(const QColor& a, const QColor& b, double t);

    // The row's fill, the grid line and, when active, its part of the family frame. editBox is the field
    // being edited in the row (row coordinates), drawn over the inactive fill; a null rectangle for none.
    static void drawBackgroundInRect(QPainter& painter, const QRect& bounds, int familyKind, bool active,
                                     const Colors& colors, const QRect& editBox = {});
    static void drawSeparatorInRect(QPainter& painter, const QRect& bounds, int familyKind, bool active,
                                    const Colors& colors);
};

} // namespace views
