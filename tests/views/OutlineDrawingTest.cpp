// How the outline draws a window's tree: family rows, the check box in light and dark palettes, control
// marks, tooltips of cut text, and deep rows with their triangles, keys and buttons.
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>
#include <QtTest>

#include "tests/window/WindowTestSupport.h"
#include "views/MyTableRowView.h"
#include "views/OutlineItemDelegate.h"

using namespace vantrel::test;
using views::EntryTreeModel;

namespace {

// The family range as "location+length", then the family kind of every displayed row, one digit a row.
QString family(const MyWindowController& w) {
    const window::FamilyRange range = w.familyRange();
    QString kinds = QStringLiteral("%1+%2 ").arg(range.location).arg(range.length);
    for (int row = 0; row < w.outlineView()->totalRows(); ++row)
        kinds += QString::number(views::MyTableRowView::familyKindForRow(row, range.location, range.length));
    return kinds;
}

QModelIndex indexOf(const MyWindowController& w, const EntryRef& e, int column = 0) {
    return w.entryModel()->indexForEntry(e.get(), column);
}

double luminance(QRgb c) {
    return (0.2126 * qRed(c) + 0.7152 * qGreen(c) + 0.0722 * qBlue(c)) / 255;
}

// The outline's pixels as painted.
QImage painted(const MyWindowController& w) {
    return w.outlineView()->viewport()->grab().toImage();
}

// The lightest and darkest luminance painted inside a rectangle.
std::pair<double, double> luminanceRange(const QImage& image, const QRect& r) {
    double light = 0, dark = 1;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const double l = luminance(image.pixel(x, y));
            light = std::max(light, l), dark = std::min(dark, l);
        }
    return {light, dark};
}

} // namespace

class OutlineDrawingTest : public QObject {
    Q_OBJECT
private slots:
    // The family is the selected row and its displayed descendants, wherever it stands, through a rename;
    // hiding the selected row leaves nothing selected.
    void familyFollowsExpansionAndSelection() {
        DocumentWindow w;
        QVERIFY(w.open(kFamily));
        const EntryRef root = w->rootEntry(), d = at(root, "d"), list = at(root, "list");
        QStringList seen{family(*w)};
        clickRow(*w, d);
        seen << family(*w);
        QTest::keyClick(w->outlineView(), Qt::Key_Right);
        seen << family(*w);
        QVERIFY(w->changeCurrentItemKeyNameWithNewKeyName(QStringLiteral("renamed")));
        QCOMPARE(w->currentItem().get(), d.get());
        w->runPendingDeferredWork();
        seen << family(*w);
        QTest::keyClick(w->outlineView(), Qt::Key_Left);
        seen << family(*w);
        clickRow(*w, list);
        QTest::keyClick(w->outlineView(), Qt::Key_Right);
        seen << family(*w);
        w->outlineView()->expand(indexOf(*w, d));
        seen << family(*w);
        clickRow(*w, at(root, "list/1"));
        seen << family(*w);
        w->outlineView()->collapse(indexOf(*w, list));
        seen << family(*w) + (w->currentItem() || selectedEntry(*w) ? " selected" : "");
        clickRow(*w, childAt(d, 1));
        w->outlineView()->collapse(indexOf(*w, root));
        seen << family(*w) + (w->currentItem() || selectedEntry(*w) ? " selected" : "");
        QCOMPARE(seen,
                 QStringList({"0+0 00000", "2+1 00100", "2+3 0023400", "2+3 0023400", "2+1 00100",
                              "3+3 0002340", "5+3 000002340", "7+1 000000010", "0+0 0000000", "0+0 0"}));
    }

    // The box is ours, drawn from palette roles: its edge stands out from the background in both palettes,
    // and a checked box is filled with the highlight and ticked in the highlighted-text colour.
    void checkBoxStandsOutInLightAndDarkPalettes_data() {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }

    void checkBoxStandsOutInLightAndDarkPalettes() {
        QFETCH(bool, dark);
        const QPalette before = QApplication::palette();
        QPalette palette = before;
        if (dark) {
            for (auto [role, color] : {std::pair{QPalette::Window, 0x2b2b2b},
                                       {QPalette::Base, 0x262626},
                                       {QPalette::Text, 0xe0e0e0},
                                       {QPalette::WindowText, 0xe0e0e0},
                                       {QPalette::Highlight, 0x3d6fb4},
                                       {QPalette::HighlightedText, 0xffffff}})
                palette.setColor(role, QColor::fromRgb(QRgb(color)));
        }
        QApplication::setPalette(palette);
        const auto restore = qScopeGuard([&] { QApplication::setPalette(before); });
        DocumentWindow w;
        QVERIFY(w.open(QStringLiteral("<dict><key>on</key><true/><key>off</key><false/></dict>")));
        const QImage image = painted(*w);
        for (const char* key : {"on", "off"}) {
            QStyleOptionViewItem option;
            option.rect = w->outlineView()->visualRect(indexOf(*w, at(w->rootEntry(), key), 2));
            const QRect box = views::OutlineItemDelegate::checkBoxRect(option, w->outlineView());
            const int y = box.center().y();
            const QRgb edge = image.pixel(box.left(), y), inside = image.pixel(box.left() + 2, box.top() + 2);
            const double background = luminance(image.pixel(box.left() - 2, y));
            if (key == QString("off")) {
                QVERIFY2(std::abs(luminance(edge) - background) >= 0.3, key);
                QCOMPARE(QColor(inside), palette.color(QPalette::Base));
                continue;
            }
            QCOMPARE(QColor(inside), palette.color(QPalette::Highlight));
            const double tick = luminanceRange(image, box).first;
            QVERIFY(std::abs(tick - luminance(palette.color(QPalette::HighlightedText).rgb())) < 0.05);
        }
    }

    // Control characters show in the muted colour, a typed mark character in the text colour; the values
    // stay as they are.
    void controlCharactersShowAsMarks() {
        DocumentWindow w;
        QVERIFY(w.open(stringDict({"a", "b", "c"})));
        const EntryRef root = w->rootEntry();
        const std::string values[] = {"\x01\x7f", "\u21e5", "\xc2\x85"};
        for (size_t i = 0; i < 3; ++i)
            root->child()[i]->setValue(values[i]);
        w->outlineView()->viewport()->update();
        const QImage image = painted(*w);
        const double muted =
            luminance(w->outlineView()->palette().color(QPalette::Disabled, QPalette::Text).rgb());
        const double text = luminance(w->outlineView()->palette().color(QPalette::Text).rgb());
        for (size_t i = 0; i < 3; ++i) {
            const QRect cell =
                w->outlineView()->visualRect(indexOf(*w, root->child()[i], 2)).adjusted(0, 0, 0, -2);
            const double darkest = luminanceRange(image, cell).second;
            QVERIFY2(std::abs(darkest - (i == 1 ? text : muted)) < 0.08, values[i].c_str());
            QCOMPARE(root->child()[i]->stringValue(), values[i]);
        }
    }

    // A cell cut short shows its whole text, escaped and limited, with its length as a tooltip; a whole one
    // shows none.
    void cutTextShowsAsTooltip() {
        DocumentWindow w;
        QVERIFY(w.open(QStringLiteral("<dict><key>long</key><string>&lt;b&gt;%1</string><key>blob</key>"
                                      "<data>%2</data><key>short</key><string>s</string></dict>")
                           .arg(QString(2000, 'x'), QString(QByteArray(600, 'a').toBase64()))));
        auto tipOf = [&](const char* key) {
            const QPoint pos = cellCenter(*w, at(w->rootEntry(), key), EntryTreeModel::ValueColumn);
            QHelpEvent help(QEvent::ToolTip, pos, w->outlineView()->viewport()->mapToGlobal(pos));
            QApplication::sendEvent(w->outlineView()->viewport(), &help);
            return QToolTip::isVisible() ? QToolTip::text() : QString();
        };
        const QString tip = tipOf("long");
        QVERIFY2(tip.contains("&lt;b&gt;xxx") && tip.contains("2003 characters"), qPrintable(tip));
        QCOMPARE(tip.count("<br>"), 11);
        const QString blob = tipOf("blob");
        QVERIFY2(blob.contains("&lt;61616161 61616161") && blob.contains("600 bytes"), qPrintable(blob));
        tipOf("short");
        QTRY_VERIFY(!QToolTip::isVisible());
    }

    // Twenty levels deep in a narrow window: the key column widens to the rows in view, the outline scrolls
    // sideways to a selected row, and its buttons stand in the key cell after the triangle; collapsing gives
    // back the user's width. An empty container shows no triangle and a click there only selects it.
    void deepRowsKeepTheirTrianglesKeysAndButtons() {
        DocumentWindow w;
        QString doc = QStringLiteral("<dict/>"); // k1 to k20 nested, the deepest holding an empty one
        for (int i = 20; i >= 1; --i)
            doc = QStringLiteral("<dict><key>k%1</key>%2</dict>").arg(i).arg(doc);
        QVERIFY(w.open(doc));
        w->resize(480, 640);
        views::MyOutlineView* outline = w->outlineView();
        EntryRef deepest = w->rootEntry();
        while (deepest->childCount())
            deepest = deepest->child()[0];
        w->expandAncestorWithItem(deepest->parent());
        QTRY_VERIFY(outline->columnWidth(0) > 20 * outline->indentation());
        const EntryRef parent(deepest->parent());
        w->outlineViewSelectItem(parent.get());
        const QRect key = w->outlineView()->visualRect(indexOf(*w, parent));
        const QRect triangle(key.left() - outline->indentation(), key.top(), outline->indentation(),
                             key.height());
        const QRect buttons = w->addButton()->geometry().united(w->deleteButton()->geometry());
        QVERIFY(outline->horizontalScrollBar()->value() > 0);
        QVERIFY(outline->viewport()->rect().contains(triangle.united(buttons)));
        QVERIFY(buttons.left() - key.left() >= outline->fontMetrics().horizontalAdvance("k20"));
        QVERIFY(w->addButton()->isVisible() && w->deleteButton()->isVisible());
        // A long key of the selected row ends before the buttons.
        parent->key = std::string(80, 'K');
        QImage keyCell(key.size(), QImage::Format_RGB32);
        keyCell.fill(Qt::white);
        QPainter painter(&keyCell);
        QStyleOptionViewItem option;
        option.initFrom(outline);
        option.rect = QRect(QPoint(), key.size());
        option.widget = outline;
        outline->itemDelegate()->paint(&painter, option, indexOf(*w, parent));
        painter.end();
        QCOMPARE(
            luminanceRange(keyCell, keyCell.rect().adjusted(buttons.left() - key.left(), 0, 0, 0)).second,
            1.0);

        // The empty container: no triangle painted, and a click there selects without opening.
        const QRect row = outline->visualRect(indexOf(*w, deepest));
        const QRect empty(row.left() - outline->indentation(), row.top() + 2, outline->indentation(),
                          row.height() - 4);
        const auto [light, dark] = luminanceRange(painted(*w), empty);
        QCOMPARE(light, dark);
        QTest::mouseClick(outline->viewport(), Qt::LeftButton, {}, empty.center());
        QCOMPARE(w->currentItem(), deepest);
        QVERIFY(!outline->isExpanded(indexOf(*w, deepest)));
        // The deep row stays selected through an edit, and the entry added after it is selected next.
        QVERIFY(w->changeCurrentItemKeyNameWithNewKeyName(QStringLiteral("renamed")));
        w->runPendingDeferredWork();
        QCOMPARE(selectedEntry(*w), deepest.get());
        w->addItem();
        w->runPendingDeferredWork();
        QCOMPARE(selectedEntry(*w), childAt(parent, 1).get());

        outline->collapse(indexOf(*w, w->rootEntry()->child()[0]));
        QTRY_COMPARE(outline->columnWidth(0), 260);
    }
};

QTEST_MAIN(OutlineDrawingTest)
#include "OutlineDrawingTest.moc"
