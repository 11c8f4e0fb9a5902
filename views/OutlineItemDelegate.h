// Paints the outline's cells: text with visible marks for tabs and line breaks, muted text for a
// container's item count, and the check box of every Boolean value, which it also clicks.
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

    // The check box's square in a Boolean value cell.
    static QRect checkBoxRect(const QStyleOptionViewItem& option, const QWidget* widget);
};

} // namespace views
