// What a document window shows and how it comes and goes: family rows, cell texts, row controls, the check
// box, control marks, tooltips, deep rows, the edited mark, the close question and the alert of an
// unreadable file.
#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QToolTip>
#include <QtTest>

#include <unistd.h>

#include <array>

#include "WindowTestSupport.h"
#include "platform/plist/PropertyList.h"
#include "platform/qt/NotificationCenter.h"
#include "views/MyControls.h"
#include "views/MyTableRowView.h"
#include "views/OutlineItemDelegate.h"
#include "window/DocumentLoader.h"
#include "window/MyLoadProgress.h"

using namespace vantrel::test;
using views::EntryTreeModel;

namespace {

// Rows while only the root is expanded: Root, a, d, list, z.
const QString kFamily =
    QStringLiteral("<dict><key>a</key><string>A</string>"
                   "<key>d</key><dict><key>d1</key><string>1</string><key>d2</key><string>2</string></dict>"
                   "<key>list</key><array><string>x</string><string>y</string></array><key>z</key><string>Z</"
                   "string></dict>");

// The family kind of every displayed row, one digit a row.
QString familyKinds(const MyWindowController& w) {
    const window::FamilyRange range = w.familyRange();
    QString kinds;
    for (int row = 0; row < w.outlineView()->totalRows(); ++row)
        kinds += QString::number(views::MyTableRowView::familyKindForRow(row, range.location, range.length));
    return kinds;
}

// The family range, as "location+length".
QString rangeText(const MyWindowController& w) {
    return QStringLiteral("%1+%2").arg(w.familyRange().location).arg(w.familyRange().length);
}

QModelIndex indexOf(const MyWindowController& w, const EntryRef& e, int column = 0) {
    return w.entryModel()->indexForEntry(e.get(), column);
}

QString cellText(const MyWindowController& w, const EntryRef& e, int column) {
    return w.entryModel()->data(indexOf(w, e, column), Qt::DisplayRole).toString();
}

// The three cells of an entry's row.
QString rowText(const MyWindowController& w, const EntryRef& e) {
    return cellText(w, e, EntryTreeModel::KeyColumn) + " | " + cellText(w, e, EntryTreeModel::TypeColumn) +
           " | " + cellText(w, e, EntryTreeModel::ValueColumn);
}

const struct {
    const char* name;
    const char* path;
    const char* cells;
} kCells[] = {
    {"root", "", "Root | Dictionary | (11 items)"},
    {"string", "name", "name | String | Vantrel"},
    {"empty string", "empty", "empty | String | "},
    {"integer", "count", "count | Number | -9"},
    {"largest integer", "big", "big | Number | 18446744073709551615"},
    {"real", "ratio", "ratio | Number | 0.5"},
    {"true", "on", "on | Boolean | true"},
    {"false", "off", "off | Boolean | false"},
    {"date", "when", "when | Date | 2020/02/29 12:00:00"},
    {"data", "blob", "blob | Data | <00010203 04ff>"},
    {"one element", "one", "one | Array | (1 item)"},
    {"first element", "one/0", "Item 0 | String | first"},
    {"two elements", "two", "two | Array | (2 items)"},
    {"second element", "two/1", "Item 1 | Dictionary | (0 items)"},
    {"empty data", "two/0/nothing", "nothing | Data | <>"},
};

// Every notification of one name, as posted.
struct Posts : QObject {
    explicit Posts(const QString& name) {
        platform::NotificationCenter::defaultCenter().addObserver(
            this, name, [this](const platform::Notification& n) { seen.push_back(n); });
    }
    std::vector<platform::Notification> seen;
};

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

// Twenty dictionaries nested in one another, k1 to k20, the deepest holding an empty one.
QString deepDocument() {
    QString doc = QStringLiteral("<dict/>");
    for (int i = 20; i >= 1; --i)
        doc = QStringLiteral("<dict><key>k%1</key>%2</dict>").arg(i).arg(doc);
    return doc;
}

QString plainTitle(const MyWindowController& w) {
    return w.windowTitle().remove(QStringLiteral("[*]"));
}

} // namespace

class WindowPresentationTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qputenv("TZ", "UTC"); }

    // The family is the selected row and its displayed descendants, wherever it stands, through a rename.
    void familyFollowsExpansionAndSelection() {
        DocumentWindow w;
        QVERIFY(w.open(kFamily));
        const EntryRef root = w->rootEntry(), d = at(root, "d"), list = at(root, "list");
        QCOMPARE(familyKinds(*w), QStringLiteral("00000"));

        clickRow(*w, d);
        QCOMPARE(rangeText(*w), QStringLiteral("2+1"));
        QCOMPARE(familyKinds(*w), QStringLiteral("00100"));
        QTest::keyClick(w->outlineView(), Qt::Key_Right);
        QCOMPARE(rangeText(*w), QStringLiteral("2+3"));
        QCOMPARE(familyKinds(*w), QStringLiteral("0023400"));
        QVERIFY(w->changeCurrentItemKeyNameWithNewKeyName(QStringLiteral("renamed")));
        QCOMPARE(QString::fromStdString(d->key), QStringLiteral("renamed"));
        QCOMPARE(w->currentItem().get(), d.get());
        QTest::qWait(300);
        QCOMPARE(rangeText(*w), QStringLiteral("2+3"));
        QCOMPARE(familyKinds(*w), QStringLiteral("0023400"));
        QTest::keyClick(w->outlineView(), Qt::Key_Left);
        QCOMPARE(rangeText(*w), QStringLiteral("2+1"));
        QCOMPARE(familyKinds(*w), QStringLiteral("00100"));

        clickRow(*w, list);
        QTest::keyClick(w->outlineView(), Qt::Key_Right);
        QCOMPARE(familyKinds(*w), QStringLiteral("0002340"));
        w->outlineView()->expand(indexOf(*w, d));
        QCOMPARE(rangeText(*w), QStringLiteral("5+3"));
        QCOMPARE(familyKinds(*w), QStringLiteral("000002340"));

        // Hiding the selected row leaves nothing selected.
        clickRow(*w, at(root, "list/1"));
        QCOMPARE(rangeText(*w), QStringLiteral("7+1"));
        w->outlineView()->collapse(indexOf(*w, list));
        QVERIFY(!w->currentItem() && !selectedEntry(*w));
        QCOMPARE(rangeText(*w), QStringLiteral("0+0"));
        QCOMPARE(familyKinds(*w), QStringLiteral("0000000"));
        clickRow(*w, childAt(d, 1));
        w->outlineView()->collapse(indexOf(*w, root));
        QVERIFY(!w->currentItem() && !selectedEntry(*w));
        QCOMPARE(rangeText(*w), QStringLiteral("0+0"));
    }

    void cellsShowKeyTypeAndValue_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("cells"); // key | type | value
        for (const auto& [name, path, cells] : kCells)
            QTest::newRow(name) << QString::fromUtf8(path) << QString::fromUtf8(cells);
    }

    void cellsShowKeyTypeAndValue() {
        QFETCH(QString, path);
        QFETCH(QString, cells);
        DocumentWindow w;
        QVERIFY(w.open(QStringLiteral(
            "<dict><key>name</key><string>Vantrel</string><key>empty</key><string></string>"
            "<key>count</key><integer>-9</integer><key>big</key><integer>18446744073709551615</integer>"
            "<key>ratio</key><real>0.5</real><key>on</key><true/><key>off</key><false/>"
            "<key>when</key><date>2020-02-29T12:00:00Z</date><key>blob</key><data>AAECAwT/</data>"
            "<key>one</key><array><string>first</string></array><key>two</key><array>"
            "<dict><key>nothing</key><data></data></dict><dict/></array></dict>")));
        const EntryRef e = at(w->rootEntry(), path);
        QVERIFY(e);
        QCOMPARE(rowText(*w, e), cells);
    }

    void newDocumentShowsOneEmptyArrayRow() {
        DocumentWindow w;
        QVERIFY(w.openNew());
        const EntryRef root = w->rootEntry();
        QCOMPARE(w->outlineView()->totalRows(), 1);
        QCOMPARE(rowText(*w, root), QStringLiteral("Root | Array | (0 items)"));
        QCOMPARE(plainTitle(*w), QStringLiteral("Untitled.plist"));
    }

    // The root has no delete button and a pop-up of its own; a choice in the pop-up is one undo step.
    void rowControlsFollowTheSelection_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("chosen");
        for (auto [name, path, shown, chosen] : {std::array{"string to number", "a", "String", "Number"},
                                                 {"root to array", "", "Dictionary", "Array"},
                                                 {"array element to date", "list/1", "String", "Date"},
                                                 {"its own type", "d", "Dictionary", "Dictionary"}})
            QTest::newRow(name) << QString(path) << QString(shown) << QString(chosen);
    }

    void rowControlsFollowTheSelection() {
        QFETCH(QString, path);
        QFETCH(QString, shown);
        QFETCH(QString, chosen);
        DocumentWindow w;
        QVERIFY(w.open(kFamily));
        const EntryRef root = w->rootEntry(), e = at(root, path);
        if (e->parent()) w->expandAncestorWithItem(e->parent());
        clickRow(*w, e);
        QCOMPARE(w->currentItem().get(), e.get());
        const bool isRoot = e == root;
        views::MyPopUpButton* popup = isRoot ? w->rootClassPopupButton() : w->classPopupButton();
        views::MyPopUpButton* other = isRoot ? w->classPopupButton() : w->rootClassPopupButton();
        QVERIFY(w->addButton()->isVisible());
        QCOMPARE(w->deleteButton()->isVisible(), !isRoot);
        QVERIFY(popup->isVisible() && !other->isVisible());
        QCOMPARE(popup->currentText(), shown);
        // The buttons stand in the key cell, the pop-up in the type cell.
        const QRect keyCell = w->outlineView()->visualRect(indexOf(*w, e, EntryTreeModel::KeyColumn));
        const QRect typeCell = w->outlineView()->visualRect(indexOf(*w, e, EntryTreeModel::TypeColumn));
        QVERIFY(keyCell.contains(w->addButton()->geometry().center()));
        if (!isRoot) QVERIFY(keyCell.contains(w->deleteButton()->geometry().center()));
        QVERIFY(typeCell.contains(popup->geometry().center()));

        const QString before = treeText(root);
        const int index = popup->findText(chosen);
        QVERIFY(index >= 0);
        popup->setCurrentIndex(index);
        emit popup->activated(index);
        QCOMPARE(cellText(*w, e, EntryTreeModel::TypeColumn), chosen);
        QCOMPARE(popup->currentText(), chosen);
        QCOMPARE(undoManagerOf(*w).canUndo(), chosen != shown);
        if (chosen == shown) return;
        w->undoAction()->trigger();
        QCOMPARE(treeText(root), before);
        QVERIFY(!undoManagerOf(*w).canUndo());
        QCOMPARE(w->currentItem().get(), e.get());
        QCOMPARE(popup->currentText(), shown);
    }

    // The first click selects the row; each click on the selected row's value toggles it as one undo step.
    void checkBoxTogglesOnlyTheSelectedRow() {
        DocumentWindow w;
        QVERIFY(w.open(QStringLiteral("<dict><key>a</key><string>A</string><key>on</key><true/></dict>")));
        const EntryRef on = at(w->rootEntry(), "on");
        clickRow(*w, at(w->rootEntry(), "a"));
        clickCell(*w, on, EntryTreeModel::ValueColumn);
        QCOMPARE(w->currentItem().get(), on.get());
        w->handlingCheckBox(true);
        QVERIFY(on->boolValue() && !undoManagerOf(*w).canUndo());
        for (bool checked : {false, true}) {
            clickCell(*w, on, EntryTreeModel::ValueColumn);
            QCOMPARE(on->boolValue(), checked);
            QCOMPARE(cellText(*w, on, EntryTreeModel::ValueColumn), QString(checked ? "true" : "false"));
            QCOMPARE(undoManagerOf(*w).undoActionName(), QStringLiteral("Change Value"));
        }
        for (bool back : {false, true}) {
            w->undoAction()->trigger();
            QCOMPARE(on->boolValue(), back);
        }
        QVERIFY(!undoManagerOf(*w).canUndo());
        QCOMPARE(w->currentItem().get(), on.get());
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
        QVERIFY(w.open(deepDocument()));
        w->resize(480, 640);
        views::MyOutlineView* outline = w->outlineView();
        EntryRef deepest = w->rootEntry();
        while (deepest->childCount())
            deepest = deepest->child()[0];
        w->expandAncestorWithItem(deepest->parent());
        QTRY_VERIFY(outline->columnWidth(0) > 20 * outline->indentation());
        const EntryRef parent(deepest->parent());
        w->outlineViewSelectItem(parent.get());
        QTest::qWait(50);
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

        outline->collapse(indexOf(*w, w->rootEntry()->child()[0]));
        QTRY_COMPARE(outline->columnWidth(0), 260);
    }

    // An edit of an inactive window marks only that window's title; undo in the other leaves it alone.
    void titleCarriesTheEditedMarkOfItsOwnWindow() {
        DocumentWindow edited, other;
        QVERIFY(edited.open(kFamily) && other.open(kFamily));
        QCOMPARE(plainTitle(*edited), QStringLiteral("Sample.plist"));
        QVERIFY(!edited->isWindowModified());
        other->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&*other));
        clickRow(*edited, at(edited->rootEntry(), "z"));
        QTest::keyClick(edited->outlineView(), Qt::Key_Backspace);
        QVERIFY(edited->windowTitle().startsWith(QStringLiteral("Sample.plist \u2014 Edited")));
        QCOMPARE(plainTitle(*other), QStringLiteral("Sample.plist"));
        QVERIFY(edited->isWindowModified() && !other->isWindowModified());
        QVERIFY(!other->undoAction()->isEnabled());

        QTest::keySequence(&*other, QKeySequence::Undo);
        QCOMPARE(keysOf(edited->rootEntry()), QStringLiteral("a,d,list"));
        QCOMPARE(keysOf(other->rootEntry()), QStringLiteral("a,d,list,z"));
        edited->undoAction()->trigger();
        QCOMPARE(plainTitle(*edited), QStringLiteral("Sample.plist"));
        QVERIFY(!edited->isWindowModified());
    }

    // A clean window closes at once; an edited one asks and stays, the answer going out with the
    // notification.
    void closing_data() {
        QTest::addColumn<QString>("answer"); // "": the window is clean
        QTest::addColumn<int>("code");
        QTest::newRow("clean") << "" << 0;
        QTest::newRow("save") << "Save" << 1000;
        QTest::newRow("revert") << "Revert Changed" << 1001;
        QTest::newRow("cancel") << "Cancel" << 1002;
    }

    void closing() {
        QFETCH(QString, answer);
        QFETCH(int, code);
        DocumentWindow w;
        QVERIFY(w.open(kFamily));
        const EntryRef a = at(w->rootEntry(), "a");
        clickRow(*w, a);
        if (!answer.isEmpty()) QVERIFY(w->changeCurrentItemValueWithNewValue(QStringLiteral("changed")));
        Posts posts(window::kWindowShoudClose);
        QCOMPARE(w->close(), answer.isEmpty());
        if (!answer.isEmpty()) {
            QMessageBox* alert = platform::sheetOfWindow(&*w);
            QVERIFY(alert && !w->close());
            QCOMPARE(platform::sheetOfWindow(&*w), alert);
            QVERIFY(posts.seen.empty());
            QVERIFY(answerAlert(*w, saveQuestion(), answer, {"Cancel", "Revert Changed", "Save"}));
        }
        QCOMPARE(w->isVisible(), !answer.isEmpty());
        QCOMPARE(posts.seen.size(), size_t(1));
        QCOMPARE(posts.seen[0].object, static_cast<QObject*>(&*w));
        QCOMPARE(posts.seen[0].userInfo,
                 answer.isEmpty() ? QVariantMap() : QVariantMap({{QStringLiteral("ReturnCode"), code}}));
        if (answer.isEmpty()) return;
        QCOMPARE(w->currentItem().get(), a.get());
        QCOMPARE(selectedEntry(*w), a.get());
        QCOMPARE(QString::fromStdString(a->stringValue()), QStringLiteral("changed"));
    }

    // The alert's message is the same for every file; its informative text names the file and the reason.
    // A large file is read on a worker while the window shows its progress; the outcome is the synchronous
    // load's, and Cancel closes the window and frees what was built.
    void largeFileLoadsInTheBackground_data() {
        QTest::addColumn<bool>("binary");
        QTest::newRow("XML") << false;
        QTest::newRow("binary") << true;
    }
    void largeFileLoadsInTheBackground() {
        QFETCH(bool, binary);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Large.plist"));
        const QByteArray xml = "<?xml version=\"1.0\"?>\n<plist version=\"1.0\">\n<array>" +
                               mixedDocument().repeated(binary ? 6000 : 1500).toUtf8() +
                               "</array>\n</plist>\n";
        auto value = plist::parse(std::string_view(xml.constData(), size_t(xml.size())));
        QVERIFY(value);
        auto bytes = binary ? plist::serialize(value->value, plist::Format::Binary) : xml.toStdString();
        QVERIFY(bytes);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes->data(), qint64(bytes->size())) > 0);
        f.close();
        MyWindowController sync(path);
        QVERIFY(sync.windowDidLoad());

        MyWindowController w(path);
        QSignalSpy loaded(&w, &MyWindowController::documentLoaded);
        w.loadDocument();
        w.show();
        QVERIFY(w.isLoading() && !w.loadProgress()->isVisible());
        w.runPendingDeferredWork(); // the bar's 0.2 s
        QVERIFY(w.loadProgress()->isVisible() && !w.outlineView()->isVisible());
        QVERIFY(w.loadProgress()->cancelButton()->isVisible());
        // The longest time between two turns of the event loop while the load runs (measured, not judged).
        QElapsedTimer clock;
        qint64 last = 0, longest = 0;
        QTimer ticks;
        connect(&ticks, &QTimer::timeout, [&] {
            longest = std::max(longest, clock.elapsed() - last);
            last = clock.elapsed();
        });
        clock.start();
        ticks.start(5);
        QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, 60000);
        qInfo("load of %lld bytes: %lld ms, longest event-loop gap %lld ms", qint64(bytes->size()),
              clock.elapsed(), longest);
        QCOMPARE(loaded[0][0].toBool(), true);
        QVERIFY(!w.isLoading() && !w.loadProgress() && w.outlineView()->isVisible());
        QCOMPARE(treeText(w.rootEntry()), treeText(sync.rootEntry()));
        QCOMPARE(w.document()._idNumber, sync.document()._idNumber);
        QCOMPARE(w.formatKind(), binary ? 1 : 0);
        auto rows = [](const MyWindowController& c) {
            return shownAndExpandedRows(c).first.remove(QRegularExpression(" @[0-9a-f]+"));
        };
        QCOMPARE(rows(w), rows(sync));
        QCOMPARE(w.outlineView()->header()->sectionResizeMode(EntryTreeModel::TypeColumn),
                 QHeaderView::Fixed);

        MyWindowController cancelled(path);
        cancelled.loadDocument();
        cancelled.show();
        cancelled.runPendingDeferredWork();
        QTest::mouseClick(cancelled.loadProgress()->cancelButton(), Qt::LeftButton);
        QVERIFY(!cancelled.isVisible() && !cancelled.isLoading());
        QTRY_COMPARE_WITH_TIMEOUT(window::DocumentLoader::documentsInMemory(), 0, 30000);
        QVERIFY(!cancelled.rootEntry());
    }

    void unreadableFileAlertsThenNotifies_data() {
        QTest::addColumn<QByteArray>("contents"); // "-": no file, "/": a folder, "0": a file nobody may read
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << QByteArray("-") << "No such file or directory";
        QTest::newRow("folder") << QByteArray("/") << "Is a directory";
        QTest::newRow("no permission") << QByteArray("0") << "Permission denied";
        QTest::newRow("empty") << QByteArray() << "the data is empty";
        QTest::newRow("JSON") << QByteArray("{\"a\": 1}")
                              << "the data is not a property list: expected \"=\" in a dictionary at byte 4";
        QTest::newRow("truncated XML")
            << QByteArray("<?xml version=\"1.0\"?>\n<plist version=\"1.0\">\n<dict><key>a</key><string>x")
            << "XML error at line 3, column 28: no element found";
        QTest::newRow("no format") << QByteArray("\x01\x02 this is no property list <<<")
                                   << "the data is not a property list: it is neither XML, binary "
                                      "(\"bplist00\") nor the old text format";
        // Read on a worker; the reason is the one the synchronous load gives.
        QTest::newRow("large truncated XML")
            << "<?xml version=\"1.0\"?>\n<plist version=\"1.0\">\n<array>\n" +
                   QByteArray("<string>x</string>\n").repeated(20000)
            << QString();
    }
    void unreadableFileAlertsThenNotifies() {
        QFETCH(QByteArray, contents);
        QFETCH(QString, reason);
        if (contents == "0" && ::geteuid() == 0) QSKIP("the superuser reads every file");
        QTemporaryDir dir;
        QFile f(dir.filePath(QStringLiteral("<b>Broken.plist")));
        if (contents == "/") {
            QVERIFY(QDir().mkdir(f.fileName()));
        } else if (contents != "-") {
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(contents);
            f.close();
            if (contents == "0") QVERIFY(f.setPermissions({}));
        }
        if (reason.isEmpty())
            reason = QString::fromStdString(
                model::PlistDocument(f.fileName().toStdString()).openPlistFile().reason);
        Posts posts(window::kFileCouldNotBeOpened);
        MyWindowController w(f.fileName());
        QSignalSpy loaded(&w, &MyWindowController::documentLoaded);
        w.loadDocument();
        QCOMPARE(w.isLoading(), contents.size() >= MyWindowController::kBackgroundLoadBytes);
        QVERIFY(!w.isDisplayingAlart() || !w.isLoading());
        QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, 30000);
        QCOMPARE(loaded[0][0].toBool(), false);
        QVERIFY(w.isDisplayingAlart());
        QVERIFY(!platform::sheetOfWindow(&w));
        w.show();

        QTRY_VERIFY(platform::sheetOfWindow(&w));
        QCOMPARE(platform::sheetOfWindow(&w)->informativeText(), "\u201c<b>Broken.plist\u201d: " + reason);
        for (QLabel* label : platform::sheetOfWindow(&w)->findChildren<QLabel*>())
            if (!label->text().isEmpty())
                QCOMPARE(label->textFormat(), Qt::PlainText); // "<b>" is in the name

        QTest::qWait(400);
        QVERIFY(posts.seen.empty());
        QVERIFY(answerAlert(w, "The data couldn\u2019t be read because it isn\u2019t in the correct format.",
                            "OK", {"OK"}));
        QVERIFY(posts.seen.empty());
        QTRY_COMPARE(posts.seen.size(), size_t(1));
        QCOMPARE(posts.seen[0].object, static_cast<QObject*>(&w));
        QTest::qWait(300);
        QCOMPARE(posts.seen.size(), size_t(1));
    }
};

QTEST_MAIN(WindowPresentationTest)
#include "WindowPresentationTest.moc"
