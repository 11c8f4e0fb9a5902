// The find bar of a document window, driven with real key presses: each option, wrap-around, a bad pattern,
// going to a match as a click does, and Replace and Replace All with what they skip and their undo.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "tests/window/WindowTestSupport.h"
#include "window/MyFindBar.h"
#include "window/MyGoToBar.h"
#include "window/MyNavigator.h"

using namespace vantrel::test;
using window::MyFindBar;

namespace {

const QString kDocument = QStringLiteral(
    "<dict><key>name</key><string>Alpha beta</string>"
    "<key>Names</key><array><string>alphabet</string><string>gamma</string><string>\u00c4rger</string></"
    "array>"
    "<key>count</key><integer>42</integer><key>blob</key><data>q80=</data><key>on</key><true/>"
    "<key>settings</key><dict><key>alpha</key><integer>4</integer><key>beta</key><string>alpha alpha</string>"
    "</dict></dict>");

// The path of the selected entry and the bar's count, "settings/beta 4 of 5".
QString where(const MyWindowController& w) {
    QStringList path;
    for (const Entry* e = selectedEntry(w); e && e->parent(); e = e->parent())
        path.prepend(e->parent()->type() == EntryType::Array ? QString::number(e->indexInParent())
                                                             : QString::fromStdString(e->key));
    return path.join('/') + ' ' + w.findBar()->countText();
}

// Opens the bar with Ctrl+F, sets the options ("c" match case, "w" whole words, "r" regular expression,
// "K"/"V" keys or values only, a type name) and types the pattern.
void find(MyWindowController& w, const QString& pattern, const QString& options = {}) {
    QVERIFY(activate(w));
    QTest::keyClick(&w, Qt::Key_F, Qt::ControlModifier);
    MyFindBar* bar = w.findBar();
    QVERIFY(bar->isVisible() && bar->findField()->hasFocus());
    const QStringList flags = options.split(' ', Qt::SkipEmptyParts);
    bar->matchCaseBox()->setChecked(flags.contains("c"));
    bar->wholeWordsBox()->setChecked(flags.contains("w"));
    bar->regularExpressionBox()->setChecked(flags.contains("r"));
    bar->scopeBox()->setCurrentIndex(flags.contains("K") ? 0 : flags.contains("V") ? 1 : 2);
    bar->typeBox()->setCurrentIndex(std::max(0, bar->typeBox()->findText(flags.value(flags.size() - 1))));
    for (QChar c : pattern) // as typed, beyond ASCII too
        QTest::sendKeyEvent(QTest::Click, bar->findField(), Qt::Key_unknown, QString(c), Qt::NoModifier);
    QTRY_VERIFY(bar->isSearchDone());
}

// The selected entry's path, then the number of rows shown, or while only matching rows show, the rows (a
// faded one marked "~") and the number of rows of the selected family; and the go-to bar's message.
QString state(const MyWindowController& w) {
    const QString path = selectedEntry(w) ? where(w).section(' ', 0, 0) : "-";
    QStringList rows;
    for (QModelIndex i = w.outlineView()->model()->index(0, 0); i.isValid();
         i = w.outlineView()->indexBelow(i))
        rows << (w.findBar()->isDimmedItem(views::EntryTreeModel::entryForIndex(i)) ? "~" : "") +
                    i.data().toString();
    const QString message =
        w.navigator()->goToBar()->isVisible() ? w.navigator()->goToBar()->messageText() : QString();
    return path + ' ' +
           (w.findBar()->matchingRowsOnlyBox()->isChecked()
                ? rows.join(',') + " +" + QString::number(w.familyRange().length)
                : QString::number(rows.size())) +
           (message.isEmpty() ? "" : ' ' + message);
}

} // namespace

class FindBarTest : public QObject {
    Q_OBJECT
private slots:
    void stepsThroughTheMatchesOfEachOption_data();
    void stepsThroughTheMatchesOfEachOption();
    void goesToAMatchAsAClickDoesAndEscapeReturnsToTheOutline();
    void replacesOneMatchOrAllAndSkipsWhatCannotBeReplaced_data();
    void replacesOneMatchOrAllAndSkipsWhatCannotBeReplaced();
    void movesAroundFromTheKeyboard_data();
    void movesAroundFromTheKeyboard();
};

void FindBarTest::stepsThroughTheMatchesOfEachOption_data() {
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("options");
    // Where typing lands, then after each Return ("<": Shift+Return).
    QTest::addColumn<QStringList>("steps");
    const QStringList five{"name 1 of 5",          "Names/0 2 of 5",       "settings/alpha 3 of 5",
                           "settings/beta 4 of 5", "settings/beta 5 of 5", "name 1 of 5",
                           "<settings/beta 5 of 5"};
    QTest::newRow("both, any case, wrapping round") << "alpha"
                                                    << "" << five;
    QTest::newRow("match case") << "Alpha"
                                << "c" << QStringList{"name 1 of 1", "name 1 of 1"};
    QTest::newRow("whole words") << "alpha"
                                 << "w"
                                 << QStringList{"name 1 of 4", "settings/alpha 2 of 4", "<name 1 of 4"};
    QTest::newRow("keys only") << "alpha"
                               << "K" << QStringList{"settings/alpha 1 of 1"};
    QTest::newRow("values: data in hex") << "ab"
                                         << "V" << QStringList{"Names/0 1 of 2", "blob 2 of 2"};
    QTest::newRow("values: booleans as true") << "TRUE"
                                              << "V" << QStringList{"on 1 of 1"};
    QTest::newRow("any case beyond ASCII") << "\u00e4RGER"
                                           << "" << QStringList{"Names/2 1 of 1"};
    QTest::newRow("regular expression") << "^a\\w+t$"
                                        << "r" << QStringList{"Names/0 1 of 1"};
    QTest::newRow("type filter") << "4"
                                 << "Number" << QStringList{"count 1 of 2", "settings/alpha 2 of 2"};
    QTest::newRow("not found") << "zeta"
                               << "" << QStringList{" Not found"};
    QTest::newRow("bad regular expression")
        << "a(b"
        << "r" << QStringList{"name missing closing parenthesis at character 4"};
}

void FindBarTest::stepsThroughTheMatchesOfEachOption() {
    QFETCH(QString, pattern);
    QFETCH(QString, options);
    QFETCH(QStringList, steps);
    DocumentWindow w;
    QVERIFY(w.open(kDocument));
    find(*w, pattern, options);
    QCOMPARE(where(*w), steps.front());
    for (qsizetype i = 1; i < steps.size(); ++i) {
        const bool back = steps[i].startsWith('<');
        QTest::keyClick(w->findBar()->findField(), Qt::Key_Return, back ? Qt::ShiftModifier : Qt::NoModifier);
        QCOMPARE(where(*w), steps[i].mid(back ? 1 : 0));
    }
}

void FindBarTest::goesToAMatchAsAClickDoesAndEscapeReturnsToTheOutline() {
    DocumentWindow w;
    QVERIFY(w.open(kDocument));
    find(*w, "alpha");
    // The window's keys step on from the outline: F3, Ctrl+G, Shift+F3, Ctrl+Shift+G.
    QTest::keyClick(w->findBar()->findField(), Qt::Key_Escape);
    QVERIFY(!w->findBar()->isVisible());
    QTRY_VERIFY(w->outlineView()->hasFocus());
    QCOMPARE(w->findBar()->highlightOfCell(selectedEntry(*w), views::EntryTreeModel::ValueColumn),
             std::pair(-1, 0));
    QTest::keyClick(w->outlineView(), Qt::Key_F3);
    QCOMPARE(where(*w), "Names/0 2 of 5");
    QTest::keyClick(w->outlineView(), Qt::Key_G, Qt::ControlModifier);
    QCOMPARE(where(*w), "settings/alpha 3 of 5");
    // The matched text is what the cell highlights, and only there.
    QCOMPARE(w->findBar()->highlightOfCell(selectedEntry(*w), views::EntryTreeModel::KeyColumn),
             std::pair(0, 5));
    QCOMPARE(w->findBar()->highlightOfCell(selectedEntry(*w), views::EntryTreeModel::ValueColumn),
             std::pair(-1, 0));
    QTest::keyClick(w->outlineView(), Qt::Key_F3, Qt::ShiftModifier);
    QTest::keyClick(w->outlineView(), Qt::Key_G, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(where(*w), "name 1 of 5");

    // An open edit is committed first, as a click would; a refused one stops the search there.
    views::MyTextField* field = editCell(*w, at(w->rootEntry(), "count"), views::EntryTreeModel::ValueColumn);
    QVERIFY(field);
    field->selectAll();
    QTest::keyClicks(field, "many");
    QTest::keyClick(&*w, Qt::Key_F3);
    QVERIFY(answerAlert(*w, kInvalidEntry, "Keep Editing"));
    QCOMPARE(where(*w), "count 1 of 5");
    QVERIFY(w->isEditingText());
    field->selectAll();
    QTest::keyClicks(field, "7");
    QTest::keyClick(&*w, Qt::Key_F3);
    QCOMPARE(where(*w), "settings/alpha 3 of 5");
    QCOMPARE(at(w->rootEntry(), "count")->numberValue().integer.toString(), "7");
}

void FindBarTest::replacesOneMatchOrAllAndSkipsWhatCannotBeReplaced_data() {
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("options");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<bool>("all");
    QTest::addColumn<QString>("message");
    // The keys, then the String values, of the root and of settings afterwards.
    QTest::addColumn<QString>("after");
    QTest::newRow("replace one, then on to the next")
        << "alpha"
        << ""
        << "omega" << false << "1 replaced"
        << "name,Names,count,blob,on,settings|omega beta,,,,,|alpha,beta|,alpha alpha";
    QTest::newRow("replace all, one key already there")
        << "alpha"
        << ""
        << "beta" << true << "4 replaced, 1 skipped: the key already exists"
        << "name,Names,count,blob,on,settings|beta beta,,,,,|alpha,beta|,beta beta";
    QTest::newRow("regular expression groups in keys")
        << "^(n)(a)"
        << "r K"
        << "\\2\\1" << true << "2 replaced"
        << "anme,aNmes,count,blob,on,settings|Alpha beta,,,,,|alpha,beta|,alpha alpha";
    QTest::newRow("numbers only where the text reads as one")
        << "4"
        << "Number"
        << "x" << true << "0 replaced, 2 skipped: the new text is not a value of the entry\u2019s type"
        << "name,Names,count,blob,on,settings|Alpha beta,,,,,|alpha,beta|,alpha alpha";
}

void FindBarTest::replacesOneMatchOrAllAndSkipsWhatCannotBeReplaced() {
    QFETCH(QString, pattern);
    QFETCH(QString, options);
    QFETCH(QString, replacement);
    QFETCH(bool, all);
    QFETCH(QString, message);
    QFETCH(QString, after);
    DocumentWindow w;
    QVERIFY(w.open(kDocument));
    const QString before = treeText(w->rootEntry());
    find(*w, pattern, options);
    QTest::keyClick(&*w, Qt::Key_H, Qt::ControlModifier);
    MyFindBar* bar = w->findBar();
    QVERIFY(bar->replaceField()->isVisible());
    bar->replaceField()->setFocus();
    QTest::keyClicks(bar->replaceField(), replacement);
    if (all)
        QTest::mouseClick(bar->replaceAllButton(), Qt::LeftButton);
    else
        QTest::keyClick(bar->replaceField(), Qt::Key_Return);
    QCOMPARE(bar->messageText(), message);
    const EntryRef root = w->rootEntry(), settings = at(root, "settings");
    QCOMPARE(keysOf(root) + '|' + valuesOf(root) + '|' + keysOf(settings) + '|' + valuesOf(settings), after);
    if (!all) QCOMPARE(where(*w), "Names/0 1 of 4");
    QCOMPARE(undoManagerOf(*w).canUndo(), treeText(root) != before);
    if (!undoManagerOf(*w).canUndo()) return;
    QCOMPARE(w->undoAction()->text(), all ? "Undo Replace All" : "Undo Replace");
    QTest::keySequence(&*w, QKeySequence::Undo);
    QCOMPARE(treeText(root), before);
    QVERIFY(!undoManagerOf(*w).canUndo());
    QTRY_VERIFY(bar->isSearchDone());
}

void FindBarTest::movesAroundFromTheKeyboard_data() {
    // One step a line, and the window's state after it: "step | state".
    QTest::addColumn<QString>("script");
    QTest::newRow("go to a key path in each form, or say which part is missing")
        << "go Root \u203a settings \u203a beta | settings/beta 9\n"
           "go Names.Item 2 | Names/2 12\n"
           "go Names/1 | Names/1 12\n"
           "go settings/gamma | Names/1 12 \u201cRoot \u203a settings\u201d has no entry \u201cgamma\u201d.\n"
           "Escape | Names/1 12\n"
           "Ctrl+Shift+C | Names/1 12\n"
           "click count | count 12\n"
           "Ctrl+L | count 12\n"
           "Ctrl+V | count 12\n"
           "Return | Names/1 12";
    QTest::newRow("back and forward, skipping a deleted entry until its undo")
        << "click name | name 7\n"
           "go count | count 7\n"
           "go settings/beta | settings/beta 9\n"
           "Alt+Left | count 9\n"
           "Backspace | blob 8\n"
           "Alt+Left | name 8\n"
           "Alt+Right | blob 8\n"
           "Ctrl+Z | count 9\n"
           "Alt+Left | blob 9\n"
           "Alt+Left | count 9";
    QTest::newRow("expand all and collapse all, asking past the limit") << "click settings | settings 7\n"
                                                                           "Ctrl+Alt+Right | settings 9\n"
                                                                           "Ctrl+Alt+Left | settings 7\n"
                                                                           "click Root |  7\n"
                                                                           "Ctrl+Alt+Right |  7\n"
                                                                           "answer Expand All |  12\n"
                                                                           "click name | name 12\n"
                                                                           "Ctrl+Alt+Left | - 1\n"
                                                                           "Ctrl+Alt+Right | - 1\n"
                                                                           "answer Cancel | - 1";
    QTest::newRow("matching rows only, through an edit, its undo and redo")
        << "click settings | settings 7\n"
           "Right | settings 9\n"
           "Ctrl+F | settings 9\n"
           "type alpha | settings/alpha 9\n"
           "filter | settings/alpha ~Root,name,~Names,Item 0,~settings,alpha,beta +1\n"
           "click Names | Names ~Root,name,~Names,Item 0,~settings,alpha,beta +2\n"
           "click name | name ~Root,name,~Names,Item 0,~settings,alpha,beta +1\n"
           "Backspace | Names ~Root,~Names,Item 0,~settings,alpha,beta +2\n"
           "Ctrl+Z | name ~Root,name,~Names,Item 0,~settings,alpha,beta +1\n"
           "Ctrl+Y | Names ~Root,~Names,Item 0,~settings,alpha,beta +2\n"
           "Ctrl+Z | name ~Root,name,~Names,Item 0,~settings,alpha,beta +1\n"
           "filter | name 9";
}

void FindBarTest::movesAroundFromTheKeyboard() {
    QFETCH(QString, script);
    window::MyNavigator::confirmRows = 8;
    DocumentWindow w;
    QVERIFY(w.open(kDocument));
    QVERIFY(activate(*w));
    for (const QString& line : script.split('\n')) {
        const QString step = line.section(" | ", 0, 0), rest = step.section(' ', 1);
        if (step.startsWith("click ")) {
            clickRow(*w, at(w->rootEntry(), rest == "Root" ? "" : rest));
        } else if (step.startsWith("go ") || step.startsWith("type ")) {
            if (step.startsWith("go ")) QTest::keyClick(&*w, Qt::Key_L, Qt::ControlModifier);
            for (QChar c : rest)
                QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), Qt::Key_unknown, QString(c),
                                    {});
            if (step.startsWith("go ")) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QTRY_VERIFY(w->findBar()->isHidden() || w->findBar()->isSearchDone());
        } else if (step == "filter") {
            QTest::mouseClick(w->findBar()->matchingRowsOnlyBox(), Qt::LeftButton);
        } else if (step.startsWith("answer ")) {
            QVERIFY(answerAlert(*w, platform::sheetOfWindow(&*w)->text(), rest));
        } else {
            const QKeySequence keys = QKeySequence::fromString(step);
            QTest::keyClick(QApplication::focusWidget(), keys[0].key(), keys[0].keyboardModifiers());
        }
        w->runPendingDeferredWork();
        QCOMPARE(step + " | " + state(*w), line);
    }
}

QTEST_MAIN(FindBarTest)
#include "FindBarTest.moc"
