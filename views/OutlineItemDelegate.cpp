#include "OutlineItemDelegate.h"

#include <QApplication>
#include <QPainter>

#include "EntryTreeModel.h"
#include "MyControls.h"

namespace views {

using model::Entry;
using model::EntryType;

namespace {
// Longer texts are cut before they are measured: no cell shows this much.
constexpr qsizetype kShownCharacters = 2000;

bool showsMarks(const Entry& e, int column) {
    if (column == EntryTreeModel::KeyColumn) return e.parent() && e.parent()->type() == EntryType::Dictionary;
    return column == EntryTreeModel::ValueColumn && e.type() == EntryType::String;
}
} // namespace

QRect OutlineItemDelegate::checkBoxRect(const QStyleOptionViewItem& option, const QWidget* widget) {
    QStyle* style = widget ? widget->style() : QApplication::style();
    QStyleOptionButton box;
    box.rect = option.rect;
    QRect r = style->subElementRect(QStyle::SE_CheckBoxIndicator, &box, widget);
    r.moveTop(option.rect.top() + (option.rect.height() - r.height()) / 2);
    r.moveLeft(option.rect.left() + 3);
    return r;
}

QSize OutlineItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return QSize(option.fontMetrics.averageCharWidth() * 12, std::max(option.fontMetrics.height() + 8, 22));
}

void OutlineItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    const Entry* e = EntryTreeModel::entryForIndex(index);
    if (!e) return;
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    const QPalette& palette = option.palette;
    const int column = index.column();

    if (column == EntryTreeModel::ValueColumn && e->type() == EntryType::Boolean) {
        QStyleOptionButton box;
        box.rect = checkBoxRect(option, widget);
        box.state = QStyle::State_Enabled | (e->boolValue() ? QStyle::State_On : QStyle::State_Off);
        box.palette = palette;
        style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, widget);
        return;
    }

    QString text = index.data(Qt::DisplayRole).toString();
    if (text.size() > kShownCharacters) text.truncate(kShownCharacters);
    const QRect area = option.rect.adjusted(4, 0, -4, 0);
    const QFontMetrics& fm = option.fontMetrics;
    QColor color = palette.color(QPalette::Text);
    if (column == EntryTreeModel::ValueColumn && e->isContainer())
        color = palette.color(QPalette::Disabled, QPalette::Text);
    painter->save();
    painter->setClipRect(option.rect);
    painter->setFont(option.font);
    bool marks = false;
    if (showsMarks(*e, column)) text = withVisibleMarks(text, &marks);
    text = fm.elidedText(text, Qt::ElideRight, area.width());
    if (!marks) {
        painter->setPen(color);
        painter->drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    } else {
        // Runs of text in the row's colour, marks in a muted one.
        const QColor muted = palette.color(QPalette::Disabled, QPalette::Text);
        int x = area.left();
        qsizetype start = 0;
        while (start < text.size()) {
            const bool mark = isVisibleMark(text[start]);
            qsizetype end = start + 1;
            while (end < text.size() && isVisibleMark(text[end]) == mark)
                ++end;
            const QString run = text.mid(start, end - start);
            painter->setPen(mark ? muted : color);
            painter->drawText(QRect(x, area.top(), area.right() - x + 1, area.height()),
                              Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, run);
            x += fm.horizontalAdvance(run);
            start = end;
        }
    }
    painter->restore();
}

} // namespace views
