// What a document window shows around its outline and how it comes and goes: the row controls, the check
// box, the close question and the alert of an unreadable file.
#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

#include <array>

#include "platform/plist/PropertyList.h"
#include "platform/qt/NotificationCenter.h"
#include "tests/window/WindowTestSupport.h"
#include "window/DocumentLoader.h"
#include "window/MyLoadProgress.h"

using namespace vantrel::test;
using views::EntryTreeModel;

namespace {

QString cellText(const MyWindowController& w, const EntryRef& e, int column) {
    return w.entryModel()->indexForEntry(e.get(), column).data().toString();
}

// Every notification of one name, as posted.
struct Posts : QObject {
    explicit Posts(const QString& name) {
        platform::NotificationCenter::defaultCenter().addObserver(
            this, name, [this](const platform::Notification& n) { seen.push_back(n); });
    }
    std::vector<platform::Notification> seen;
};

} // namespace

class WindowPresentationTest : public QObject {
    Q_OBJECT
private slots:
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
        const QRect keyCell = w->outlineView()->visualRect(w->entryModel()->indexForEntry(e.get(), 0));
        const QRect typeCell = w->outlineView()->visualRect(w->entryModel()->indexForEntry(e.get(), 1));
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
    // With an alert up, or a field edited, the row's controls take no clicks.
    void checkBoxTogglesOnlyTheSelectedRow() {
        DocumentWindow w;
        QVERIFY(w.open(QStringLiteral("<dict><key>a</key><string>A</string><key>on</key><true/></dict>")) &&
                activate(*w));
        const EntryRef a = at(w->rootEntry(), "a"), on = at(w->rootEntry(), "on");
        clickRow(*w, a);
        QVERIFY(editCell(*w, a, EntryTreeModel::ValueColumn));
        QTest::mouseClick(w->addButton(), Qt::LeftButton);
        QTest::keyClick(w->focusedTextField(), Qt::Key_Escape);
        clickCell(*w, on, EntryTreeModel::ValueColumn);
        QVERIFY(!w->isEditingText() && on->boolValue() && !undoManagerOf(*w).canUndo());
        QCOMPARE(w->currentItem().get(), on.get());
        for (bool checked : {false, true}) {
            clickCell(*w, on, EntryTreeModel::ValueColumn);
            QCOMPARE(on->boolValue(), checked);
            QCOMPARE(cellText(*w, on, EntryTreeModel::ValueColumn), QString(checked ? "true" : "false"));
            QCOMPARE(undoManagerOf(*w).undoActionName(), QStringLiteral("Change Value"));
        }
        QVERIFY(!w->close());
        clickCell(*w, on, EntryTreeModel::ValueColumn);
        QTest::mouseClick(w->addButton(), Qt::LeftButton);
        QVERIFY(answerAlert(*w, saveQuestion(), "Cancel"));
        QCOMPARE(keysOf(w->rootEntry()), QStringLiteral("a,on"));
        for (bool back : {false, true}) {
            w->undoAction()->trigger();
            QCOMPARE(on->boolValue(), back);
        }
        QVERIFY(!undoManagerOf(*w).canUndo());
        QCOMPARE(w->currentItem().get(), on.get());
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
        auto write = [&](int copies) {
            const QByteArray xml = "<?xml version=\"1.0\"?>\n<plist version=\"1.0\">\n<array>" +
                                   mixedDocument().repeated(copies).toUtf8() + "</array>\n</plist>\n";
            auto value = plist::parse(std::string_view(xml.constData(), size_t(xml.size())));
            auto bytes = binary ? plist::serialize(value->value, plist::Format::Binary) : xml.toStdString();
            QFile f(path);
            return f.open(QIODevice::WriteOnly) && f.write(bytes->data(), qint64(bytes->size())) > 0;
        };
        QVERIFY(write(binary ? 6000 : 1500));
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
        qInfo("load of %lld bytes: %lld ms, longest event-loop gap %lld ms", QFileInfo(path).size(),
              clock.elapsed(), longest);
        QCOMPARE(loaded[0][0].toBool(), true);
        QVERIFY(!w.isLoading() && !w.loadProgress() && w.outlineView()->isVisible());
        QCOMPARE(treeText(w.rootEntry()), treeText(sync.rootEntry()));
        QCOMPARE(w.document().idNumber(), sync.document().idNumber());
        QCOMPARE(w.formatKind(), binary ? plist::Format::Binary : plist::Format::Xml);
        auto rows = [](const MyWindowController& c) {
            return shownAndExpandedRows(c).first.remove(QRegularExpression(" @[0-9a-f]+"));
        };
        QCOMPARE(rows(w), rows(sync));
        QCOMPARE(w.outlineView()->header()->sectionResizeMode(EntryTreeModel::TypeColumn),
                 QHeaderView::Fixed);

        // A reload reads a large file on a worker too, the window taking no edits meanwhile; closing the
        // window ends it.
        QVERIFY(write(binary ? 6001 : 1501));
        MyWindowController changed(path);
        QVERIFY(changed.windowDidLoad());
        for (MyWindowController* c : {&w, &sync}) {
            c->reloadFromDisk();
            QVERIFY(c->isLoading() && !c->outlineView()->isEnabled());
        }
        QVERIFY(sync.close() && !sync.isLoading());
        QTRY_VERIFY_WITH_TIMEOUT(!w.isLoading(), 60000);
        QVERIFY(w.outlineView()->isEnabled() &&
                w.undoAction()->text() == QStringLiteral("Undo Reload from Disk"));
        QCOMPARE(treeText(w.rootEntry()), treeText(changed.rootEntry()));

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
        QTest::addColumn<QByteArray>("contents"); // "-": no file, "/": a folder, "0": a file for a folder
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << QByteArray("-") << "No such file or directory";
        QTest::newRow("folder") << QByteArray("/") << "Is a directory";
        QTest::newRow("file as a folder") << QByteArray("0") << "Not a directory";
        QTest::newRow("empty") << QByteArray() << "the data is empty";
        QTest::newRow("JSON") << QByteArray("{\"a\": 1}")
                              << "the data is not a property list: expected \"=\" in a dictionary at byte 4";
        QTest::newRow("truncated XML")
            << QByteArray("<?xml version=\"1.0\"?>\n<plist version=\"1.0\">\n<dict><key>a</key><string>x")
            << "XML error at line 3, column 28: no element found";
        QTest::newRow("no format") << QByteArray("\x01\x02 this is no property list <<<")
                                   << "the data is not a property list: it is neither XML, binary "
                                      "(\"bplist00\") nor the old text format";
    }
    void unreadableFileAlertsThenNotifies() {
        QFETCH(QByteArray, contents);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        if (contents == "0") QVERIFY(QFile(dir.filePath("file")).open(QIODevice::WriteOnly));
        QFile f(dir.filePath(contents == "0" ? "file/<b>Broken.plist" : "<b>Broken.plist"));
        if (contents == "/") QVERIFY(QDir().mkdir(f.fileName()));
        if (contents != "-" && contents != "/" && contents != "0") {
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(contents);
            f.close();
        }
        Posts posts(window::kFileCouldNotBeOpened);
        MyWindowController w(f.fileName());
        QVERIFY(!w.windowDidLoad());
        QVERIFY(w.isDisplayingAlart());
        QVERIFY(!platform::sheetOfWindow(&w));
        w.show();
        QVERIFY(w.runPendingDeferredWork() > 0);
        QVERIFY(platform::sheetOfWindow(&w));
        QCOMPARE(platform::sheetOfWindow(&w)->informativeText(), "\u201c<b>Broken.plist\u201d: " + reason);
        for (QLabel* label : platform::sheetOfWindow(&w)->findChildren<QLabel*>())
            if (!label->text().isEmpty())
                QCOMPARE(label->textFormat(), Qt::PlainText); // "<b>" is in the name

        QCOMPARE(w.runPendingDeferredWork(), 0);
        QVERIFY(posts.seen.empty());
        QVERIFY(answerAlert(w, "The data couldn\u2019t be read because it isn\u2019t in the correct format.",
                            "OK", {"OK"}));
        QVERIFY(posts.seen.empty());
        QVERIFY(w.runPendingDeferredWork() > 0);
        QCOMPARE(posts.seen.size(), size_t(1));
        QCOMPARE(posts.seen[0].object, static_cast<QObject*>(&w));
    }
};

QTEST_MAIN(WindowPresentationTest)
#include "WindowPresentationTest.moc"
