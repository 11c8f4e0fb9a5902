// Paints the outline's cells: text with visible marks for control characters, muted text for a container's
// item count, and the check box of every Boolean value, which it also clicks. A cell cut short shows its
// whole text as a tooltip.
#pragma once

#include <QStyledItemDelegate>

#include "model/Entry.h"

namespace views {

class OutlineItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit OutlineItemDelegate(QObject* parent = nullptr) : QStyledItemDelegate(parent) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    // Rows are tall enough for the pop-up and the buttons that stand in the selected row.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

    // The check box's square in a Boolean value cell.
    static QRect checkBoxRect(const QStyleOptionViewItem& option, const QWidget* widget);
    // Draws the check box from the palette's roles, so that it stands out in light and dark palettes alike.
    static void drawCheckBox(QPainter& painter, const QRect& box, bool checked, const QPalette& palette);
};

} // namespace views
