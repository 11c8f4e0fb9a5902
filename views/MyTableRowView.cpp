#include "MyTableRowView.h"

#include <QPainter>
#include <QPainterPath>

namespace views {

QColor MyTableRowView::mixed(const QColor& a, const QColor& b, double t) {
    return QColor::fromRgbF(float(a.redF() * (1 - t) + b.redF() * t),
                            float(a.greenF() * (1 - t) + b.greenF() * t),
                            float(a.blueF() * (1 - t) + b.blueF() * t));
}

int MyTableRowView::familyKindForRow(long long row, size_t location, size_t length) {
    if (length == 0 || row < 0) return 0;
    const auto r = static_cast<unsigned long long>(row);
    if (r < location || r - location >= length) return 0;
    if (r == location) return length == 1 ? 1 : 2;
    return r == location + length - 1 ? 4 : 3;
}

MyTableRowView::Colors MyTableRowView::colorsOf(const QPalette& palette) {
    Colors c;
    const QColor base = palette.color(QPalette::Active, QPalette::Base);
    const QColor highlight = palette.color(QPalette::Active, QPalette::Highlight);
    const QColor text = palette.color(QPalette::Active, QPalette::Text);
    c.textBackground = base;
    // Light enough that the row's own text stays readable in its usual colour.
    c.selectedBackground = mixed(base, highlight, 0.28);
    c.inactiveSelected = mixed(base, text, 0.12);
    c.grid = mixed(base, text, 0.10);
    c.frame = highlight;
    c.editBoxBorder = text;
    return c;
}

void MyTableRowView::drawBackgroundInRect(QPainter& painter, const QRect& bounds, int familyKind, bool active,
                                          const Colors& colors, const QRect& editBox) {
    const bool own = familyKind == 1 || familyKind == 2;
    painter.fillRect(bounds, own ? (active ? colors.selectedBackground : colors.inactiveSelected)
                                 : colors.textBackground);
    if (own && !active && !editBox.isNull()) {
        QRect box(editBox.x() - 1, bounds.y(), editBox.width() + 2, bounds.height());
        painter.fillRect(box, colors.textBackground);
        painter.setPen(QPen(colors.editBoxBorder, 1));
        painter.drawRect(box.adjusted(0, 0, -1, -1));
    }
}

void MyTableRowView::drawSeparatorInRect(QPainter& painter, const QRect& bounds, int familyKind, bool active,
                                         const Colors& colors) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(QRect(bounds.x(), bounds.bottom(), bounds.width(), 1), colors.grid);
    if (active && familyKind != 0) {
        // Rows of a family draw one rectangle together: sides on every row, the top on the first, the bottom
        // on the last. The two-point line lies inside the rows so neighbours do not cover it.
        const QRectF r = QRectF(bounds).adjusted(1, 0, -1, 0);
        QPainterPath path;
        path.moveTo(r.left(), r.top());
        path.lineTo(r.left(), r.bottom() + 1);
        path.moveTo(r.right(), r.top());
        path.lineTo(r.right(), r.bottom() + 1);
        if (familyKind == 1 || familyKind == 2) {
            path.moveTo(r.left(), r.top() + 1);
            path.lineTo(r.right(), r.top() + 1);
        }
        if (familyKind == 1 || familyKind == 4) {
            path.moveTo(r.left(), r.bottom());
            path.lineTo(r.right(), r.bottom());
        }
        painter.setPen(QPen(colors.frame, 2.0, Qt::SolidLine, Qt::FlatCap));
        painter.drawPath(path);
    }
    painter.restore();
}

} // namespace views
