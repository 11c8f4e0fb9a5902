#include "OutlineItemDelegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include "EntryTreeModel.h"
#include "MyOutlineView.h"
#include "MyTableRowView.h"
#include "OutlineViewDelegate.h"
#include "model/ValueText.h"

namespace views {

using model::Entry;
using model::EntryType;

namespace {
// Longer texts are cut before they are measured: no cell shows this much.
constexpr qsizetype kShownCharacters = 2000;
// A tooltip shows at most this many lines of this many characters.
constexpr qsizetype kTipLines = 12;
constexpr qsizetype kTipLineLength = 80;

bool showsMarks(const Entry& e, int column) {
    if (column == EntryTreeModel::KeyColumn) return e.parent() && e.parent()->type() == EntryType::Dictionary;
    return column == EntryTreeModel::ValueColumn &&
           (e.type() == EntryType::String || e.type() == EntryType::NotApplicable);
}

// A cell's text as drawn: every control character replaced by its mark (the control picture when the font
// has it, else the escape), and which characters of the result are marks. A mark character typed into the
// text itself stays text.
struct MarkedText {
    QString text;
    std::vector<bool> isMark;
};

MarkedText withMarks(const QString& text, const QFontMetrics& fm) {
    MarkedText out;
    out.text.reserve(text.size());
    out.isMark.reserve(size_t(text.size()));
    for (QChar c : text) {
        const std::string mark = model::visibleMark(c.unicode());
        if (mark.empty()) {
            out.text += c;
            out.isMark.push_back(false);
            continue;
        }
        QString shown = QString::fromStdString(mark);
        if (!fm.inFontUcs4(shown.front().unicode()))
            shown = QString::fromStdString(model::visibleMark(c.unicode(), false));
        out.text += shown;
        out.isMark.insert(out.isMark.end(), size_t(shown.size()), true);
    }
    return out;
}

// The whole text of a cell as its tooltip shows it, at most kTipLines lines, and its length: characters, or
// bytes for data.
QString fullTextOf(const EntryTreeModel& model, const Entry& e, int column, QString* length) {
    constexpr size_t kEnough = size_t(kTipLines * kTipLineLength);
    if (column == EntryTreeModel::ValueColumn && e.type() == EntryType::Data) {
        const model::Data& d = e.dataValue();
        *length = d.size() == 1 ? EntryTreeModel::tr("1 byte")
                                : EntryTreeModel::tr("%1 bytes").arg(qulonglong(d.size()));
        const auto shown = std::min(d.size(), kEnough / 2);
        return QString::fromStdString(
            model::descriptionOfData(model::Data(d.begin(), d.begin() + long(shown))));
    }
    std::string text;
    if (showsMarks(e, column))
        text = column == EntryTreeModel::KeyColumn ? e.key : e.stringValue();
    else
        text = (column == EntryTreeModel::KeyColumn ? model.keyText(&e)
                                                    : model.data(model.indexForEntry(&e, column)).toString())
                   .toStdString();
    size_t characters = 0;
    for (char c : text)
        characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    *length = characters == 1 ? EntryTreeModel::tr("1 character")
                              : EntryTreeModel::tr("%1 characters").arg(qulonglong(characters));
    // Four bytes at most a character: enough for the lines shown.
    if (text.size() > kEnough * 4) text.resize(kEnough * 4);
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
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

void OutlineItemDelegate::drawCheckBox(QPainter& painter, const QRect& box, bool checked,
                                       const QPalette& palette) {
    const QColor base = palette.color(QPalette::Active, QPalette::Base);
    const QColor text = palette.color(QPalette::Active, QPalette::Text);
    const QColor highlight = palette.color(QPalette::Active, QPalette::Highlight);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QRectF r = QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5);
    // The edge lies well between the background and the text, whichever of them is the light one.
    painter.setPen(QPen(checked ? highlight : MyTableRowView::mixed(base, text, 0.6), 1));
    painter.setBrush(checked ? highlight : base);
    painter.drawRoundedRect(r, 2, 2);
    if (checked) {
        QPainterPath tick;
        tick.moveTo(r.left() + r.width() * 0.22, r.top() + r.height() * 0.52);
        tick.lineTo(r.left() + r.width() * 0.42, r.top() + r.height() * 0.72);
        tick.lineTo(r.left() + r.width() * 0.78, r.top() + r.height() * 0.28);
        painter.setPen(QPen(palette.color(QPalette::Active, QPalette::HighlightedText), 2, Qt::SolidLine,
                            Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(tick);
    }
    painter.restore();
}

QSize OutlineItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return QSize(option.fontMetrics.averageCharWidth() * 12, std::max(option.fontMetrics.height() + 8, 22));
}

void OutlineItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    const Entry* e = EntryTreeModel::entryForIndex(index);
    if (!e) return;
    const QWidget* widget = option.widget;
    const QPalette& palette = option.palette;
    const int column = index.column();

    if (column == EntryTreeModel::ValueColumn && e->type() == EntryType::Boolean) {
        // The outline's own palette hides the highlight colour; the box takes the application's.
        drawCheckBox(*painter, checkBoxRect(option, widget), e->boolValue(), QApplication::palette(widget));
        return;
    }

    QString text = index.data(Qt::DisplayRole).toString();
    if (text.size() > kShownCharacters) text.truncate(kShownCharacters);
    QRect area = option.rect.adjusted(4, 0, -4, 0);
    // The selected row's key ends before its two buttons, square as the row is tall.
    if (const auto* view = qobject_cast<const MyOutlineView*>(widget);
        view && column == EntryTreeModel::KeyColumn && view->rowWithControls() == e)
        area.setRight(option.rect.right() - 2 * option.rect.height() - 2);
    const QFontMetrics& fm = option.fontMetrics;
    QColor color = palette.color(QPalette::Text);
    if (column == EntryTreeModel::ValueColumn && e->isContainer())
        color = palette.color(QPalette::Disabled, QPalette::Text);
    painter->save();
    painter->setClipRect(option.rect);
    painter->setFont(option.font);
    MarkedText marked;
    if (showsMarks(*e, column))
        marked = withMarks(text, fm);
    else
        marked.text = text;
    const QString elided = fm.elidedText(marked.text, Qt::ElideRight, area.width());
    if (const auto* view = qobject_cast<const MyOutlineView*>(widget); view && view->outlineDelegate()) {
        // The found text lies on a band of its own, in either palette; its ends are counted in the text as
        // drawn, marks and all.
        const auto [start, length] = view->outlineDelegate()->highlightOfCell(e, column);
        if (start >= 0 && start < text.size()) {
            auto shownAt = [&](qsizetype i) {
                const qsizetype at = marked.isMark.empty() ? i : withMarks(text.left(i), fm).text.size();
                return std::min(at, elided == marked.text ? elided.size() : elided.size() - 1);
            };
            const int left = area.left() + fm.horizontalAdvance(elided.left(shownAt(start)));
            const int right = area.left() + fm.horizontalAdvance(elided.left(shownAt(start + length)));
            painter->fillRect(QRect(left, area.top() + 2, std::max(right - left, 2), area.height() - 4),
                              QColor(255, 190, 0, 120));
        }
    }
    if (std::find(marked.isMark.begin(), marked.isMark.end(), true) == marked.isMark.end()) {
        painter->setPen(color);
        painter->drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, elided);
    } else {
        // Runs of text in the row's colour, marks in a muted one; the ellipsis of a cut text is text.
        const QColor muted = palette.color(QPalette::Disabled, QPalette::Text);
        const qsizetype kept = elided == marked.text ? elided.size() : elided.size() - 1;
        auto markAt = [&](qsizetype i) { return i < kept && marked.isMark[size_t(i)]; };
        int x = area.left();
        qsizetype start = 0;
        while (start < elided.size()) {
            const bool mark = markAt(start);
            qsizetype end = start + 1;
            while (end < elided.size() && markAt(end) == mark)
                ++end;
            const QString run = elided.mid(start, end - start);
            painter->setPen(mark ? muted : color);
            painter->drawText(QRect(x, area.top(), area.right() - x + 1, area.height()),
                              Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, run);
            x += fm.horizontalAdvance(run);
            start = end;
        }
    }
    painter->restore();
}

bool OutlineItemDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                    const QStyleOptionViewItem& option, const QModelIndex& index) {
    const Entry* e = EntryTreeModel::entryForIndex(index);
    const auto* model = qobject_cast<const EntryTreeModel*>(index.model());
    if (event->type() != QEvent::ToolTip || !e || !model ||
        (index.column() == EntryTreeModel::ValueColumn && e->type() == EntryType::Boolean))
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    QString length;
    const QString full = fullTextOf(*model, *e, index.column(), &length);
    // Texts cut before they are shown (long strings and data) are always far wider than a cell.
    const QString shown = index.data(Qt::DisplayRole).toString().left(kShownCharacters);
    if (option.fontMetrics.horizontalAdvance(withMarks(shown, option.fontMetrics).text) <=
        option.rect.width() - 8) {
        QToolTip::hideText();
        return true;
    }
    // Line breaks break the tooltip's lines; long lines wrap at kTipLineLength characters. The last line
    // shown ends in an ellipsis when more follows.
    QStringList lines;
    QString line;
    bool more = false;
    for (qsizetype i = 0; i < full.size() && !more; ++i) {
        const QChar c = full[i];
        if (c == u'\r' && i + 1 < full.size() && full[i + 1] == u'\n') continue; // CR LF is one break
        const bool lineBreak = c == u'\n' || c == u'\r' || c == QChar(0x2028) || c == QChar(0x2029);
        if (lineBreak || line.size() >= kTipLineLength) {
            more = lines.size() + 1 == kTipLines;
            if (more) break;
            lines << line;
            line.clear();
            if (lineBreak) continue;
        }
        line += withMarks(QString(c), option.fontMetrics).text;
    }
    lines << (more ? line + QChar(0x2026) : line);
    for (QString& l : lines)
        l = l.toHtmlEscaped();
    const QString tip = QStringLiteral("<qt><p style=\"white-space:pre\">%1</p><p><i>%2</i></p></qt>")
                            .arg(lines.join(QStringLiteral("<br>")), length);
    QToolTip::showText(event->globalPos(), tip, view->viewport(), option.rect);
    return true;
}

} // namespace views
