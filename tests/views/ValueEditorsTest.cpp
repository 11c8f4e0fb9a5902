// The value editors on real windows with real key presses: each opening, Done, Cancel and undo, exact line
// ends and the values XML cannot hold kept, hex typing in both modes, the clipboard forms, files of every
// byte, a Data value opened as a document, and dates across a daylight-saving change.
#include <QAction>
#include <QApplication>
#include <QCalendarWidget>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTableView>
#include <QTimeEdit>
#include <QtTest>

#include "model/ValueText.h"
#include "tests/window/WindowTestSupport.h"
#include "views/ValueEditors/DataEditor.h"
#include "views/ValueEditors/DateEditor.h"
#include "views/ValueEditors/ExactTextEdit.h"
#include "views/ValueEditors/HexView.h"
#include "views/ValueEditors/NumberEditor.h"
#include "views/ValueEditors/StringEditor.h"

using namespace vantrel::test;
using views::EntryTreeModel;
using views::ValueEditor;

namespace {

enum Opening { CtrlE, AltDoubleClick, ContextMenu, ShiftReturn, FieldOnly };

// The widget of an editor that keys go to.
QWidget* keyTarget(ValueEditor* editor) {
    if (auto* s = qobject_cast<views::StringEditor*>(editor)) return s->textEdit();
    if (auto* n = qobject_cast<views::NumberEditor*>(editor)) return n->field();
    if (auto* d = qobject_cast<views::DataEditor*>(editor)) return d->hexView();
    if (auto* d = qobject_cast<views::DateEditor*>(editor)) return d->textField();
    return editor;
}

// Types a script of keys: words are typed as text, "^End" is Ctrl+End, and the named keys are pressed.
void typeScript(QWidget* w, const QString& script) {
    static const QHash<QString, std::pair<Qt::Key, Qt::KeyboardModifiers>> keys = {
        {"^End", {Qt::Key_End, Qt::ControlModifier}},
        {"Home", {Qt::Key_Home, {}}},
        {"Right", {Qt::Key_Right, {}}},
        {"S-Right", {Qt::Key_Right, Qt::ShiftModifier}},
        {"Ret", {Qt::Key_Return, {}}},
        {"Ins", {Qt::Key_Insert, {}}},
        {"Tab", {Qt::Key_Tab, {}}},
        {"BS", {Qt::Key_Backspace, {}}},
        {"Del", {Qt::Key_Delete, {}}},
        {"^A", {Qt::Key_A, Qt::ControlModifier}},
        {"^Z", {Qt::Key_Z, Qt::ControlModifier}},
        {"^S-Z", {Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier}},
    };
    for (const QString& word : script.split(u' ', Qt::SkipEmptyParts)) {
        if (keys.contains(word))
            QTest::keyClick(w, keys[word].first, keys[word].second);
        else
            QTest::keyClicks(w, word);
    }
}

QString shown(const Entry::Value& v) {
    return valueText(v);
}
QString str(const QByteArray& bytes) {
    return shown(bytes.toStdString());
}
QString bytes(const QByteArray& hex) {
    const QByteArray b = QByteArray::fromHex(hex);
    return shown(model::Data(b.begin(), b.end()));
}
QString iso(const char* text) {
    return shown(*model::dateWithISO8601FormatString(text));
}

// The editor of the selected row, opened as a person opens it; typed text goes into the row's field first.
ValueEditor* openEditor(MyWindowController& w, const EntryRef& e, Opening how, const QString& fieldScript) {
    clickRow(w, e);
    switch (how) {
    case CtrlE:
        QTest::keyClick(w.outlineView(), Qt::Key_E, Qt::ControlModifier);
        break;
    case AltDoubleClick: {
        const QPoint pos = cellCenter(w, e, EntryTreeModel::ValueColumn);
        QTest::mouseClick(w.outlineView()->viewport(), Qt::LeftButton, Qt::AltModifier, pos);
        QTest::mouseDClick(w.outlineView()->viewport(), Qt::LeftButton, Qt::AltModifier, pos);
        QTest::mouseRelease(w.outlineView()->viewport(), Qt::LeftButton, Qt::AltModifier, pos);
        break;
    }
    case ContextMenu: {
        const QPoint pos = cellCenter(w, e, EntryTreeModel::ValueColumn);
        QContextMenuEvent event(QContextMenuEvent::Keyboard, pos,
                                w.outlineView()->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(w.outlineView()->viewport(), &event);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return nullptr;
        for (QAction* a : menu->actions())
            if (a->text() == QStringLiteral("Edit Value\u2026")) a->trigger();
        menu->close();
        break;
    }
    case ShiftReturn:
    case FieldOnly: {
        views::MyTextField* field = editCell(w, e, EntryTreeModel::ValueColumn);
        if (!field) return nullptr;
        typeScript(field, fieldScript);
        QTest::keyClick(field, Qt::Key_Return, how == ShiftReturn ? Qt::ShiftModifier : Qt::NoModifier);
        break;
    }
    }
    return w.valueEditor();
}

} // namespace

class ValueEditorsTest : public QObject {
    Q_OBJECT
private slots:
    void commitCancelAndUndo_data();
    void commitCancelAndUndo();
    void hexTyping_data();
    void hexTyping();
    void bytesOfEveryValueThroughFilesAndClipboard();
    void dataThatIsAPropertyListOpensAsADocument();
    void datesAcrossDaylightSavingKeepTheirFraction();
};

void ValueEditorsTest::commitCancelAndUndo_data() {
    QTest::addColumn<QString>("element");
    QTest::addColumn<QByteArray>("exact"); // the String's exact bytes instead, when given
    QTest::addColumn<int>("opening");
    QTest::addColumn<QString>("fieldScript");
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("done");
    QTest::addColumn<QString>("expected"); // empty: unchanged, and no undo step
    const QByteArray none;
    QTest::newRow("string: every line end kept, Return types the first")
        << "<string>a&#13;&#10;b&#13;c&#x2028;d&#10;e</string>" << none << int(CtrlE) << ""
        << "^End Ret f" << true << str("a\r\nb\rc\u2028d\ne\r\nf");
    const QByteArray lines = QByteArray("a\r\nb\rc\u2028d\n").repeated(30000);
    QTest::newRow("string: a long text loaded in pieces") << "<string>x</string>" << lines << int(CtrlE) << ""
                                                          << "^End e" << true << str(lines + "e");
    QTest::newRow("string: control character and lone surrogate kept") << "<string>x</string>"
                                                                       << QByteArray("\x01"
                                                                                     "a\xED\xA0\x80")
                                                                       << int(AltDoubleClick) << ""
                                                                       << "^End b" << true
                                                                       << str("\x01"
                                                                              "a\xED\xA0\x80"
                                                                              "b");
    QTest::newRow("string: unchanged Done") << "<string>a&#13;b</string>" << none << int(ContextMenu) << ""
                                            << "" << true << "";
    QTest::newRow("string: Cancel") << "<string>a</string>" << none << int(CtrlE) << ""
                                    << "zz" << false << "";
    QTest::newRow("string: Shift+Return takes the field's text and caret")
        << "<string>abc</string>" << none << int(ShiftReturn) << "Home Right"
        << "X" << true << str("aXbc");
    QTest::newRow("number: hexadecimal")
        << "<integer>5</integer>" << none << int(CtrlE) << ""
        << "0x10" << true << shown(model::Number::fromInteger(plist::Integer::fromSigned(16)));
    QTest::newRow("number: 1.0 over 1 is stored as a real")
        << "<integer>1</integer>" << none << int(CtrlE) << ""
        << "1.0" << true << shown(model::Number::fromReal(1.0));
    QTest::newRow("number: refused text is not committed")
        << "<integer>1</integer>" << none << int(CtrlE) << ""
        << "12abc" << true << "";
    QTest::newRow("date: ISO form in the row's field")
        << "<date>2020-01-01T00:00:00Z</date>" << none << int(FieldOnly) << "^A 2021-01-02T03:04:05Z"
        << "" << true << iso("2021-01-02T03:04:05Z");
    QTest::newRow("date: Shift+Return reads the field's ISO text")
        << "<date>2020-01-01T00:00:00Z</date>" << none << int(ShiftReturn) << "^A 2021-01-02T03:04:05Z"
        << "" << true << iso("2021-01-02T03:04:05Z");
    QTest::newRow("data: typed after the end") << "<data>AAEC</data>" << none << int(CtrlE) << ""
                                               << "^End ab" << true << bytes("000102ab");
    QTest::newRow("data: the editor's own undo and redo")
        << "<data>AAEC</data>" << none << int(CtrlE) << ""
        << "ff ^End ab ^Z ^Z ^S-Z" << true << bytes("ff0102");
}

void ValueEditorsTest::commitCancelAndUndo() {
    QFETCH(QString, element);
    QFETCH(QByteArray, exact);
    QFETCH(int, opening);
    QFETCH(QString, fieldScript);
    QFETCH(QString, script);
    QFETCH(bool, done);
    QFETCH(QString, expected);
    DocumentWindow w;
    QVERIFY(w.open("<dict><key>v</key>" + element + "</dict>"));
    QVERIFY(activate(*w));
    const EntryRef e = at(w->rootEntry(), "v");
    if (!exact.isEmpty()) e->setValue(exact.toStdString());
    const QString before = shown(e->value());
    const int steps = undoManagerOf(*w).undoCount();

    ValueEditor* editor = openEditor(*w, e, Opening(opening), fieldScript);
    if (opening == FieldOnly) {
        QVERIFY(!editor);
    } else {
        QVERIFY(editor);
        QTRY_COMPARE(QApplication::activeWindow(), editor);
        // The window is held as under an alert: no other edit, no other selection, no second editor.
        QVERIFY(w->isDisplayingAlart());
        QVERIFY(!w->editValueAction()->isEnabled());
        typeScript(keyTarget(editor), script);
        QTest::keyClick(keyTarget(editor), done ? Qt::Key_Return : Qt::Key_Escape,
                        done ? Qt::ControlModifier : Qt::NoModifier);
        if (w->valueEditor()) { // refused: Done stays off, and Escape leaves
            QVERIFY(!editor->doneButton()->isEnabled());
            QTest::keyClick(keyTarget(editor), Qt::Key_Escape);
        }
        QTRY_VERIFY(!w->valueEditor());
        QVERIFY(!w->isDisplayingAlart());
    }
    QCOMPARE(shown(e->value()), expected.isEmpty() ? before : expected);
    QCOMPARE(undoManagerOf(*w).undoCount(), steps + (expected.isEmpty() ? 0 : 1));
    if (expected.isEmpty()) return;
    QCOMPARE(undoManagerOf(*w).undoMenuItemTitle(), QStringLiteral("Undo Change Value"));
    QVERIFY(activate(*w));
    QTest::keyClick(w->outlineView(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(shown(e->value()), before);
}

void ValueEditorsTest::hexTyping_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QByteArray>("expected");
    // Over the bytes 00 01 02; overwrite mode first, Ins switches to insert.
    QTest::newRow("overwrite at the start") << "ff" << QByteArray("ff0102");
    QTest::newRow("overwrite in the middle, one digit") << "Right a" << QByteArray("00a102");
    QTest::newRow("overwrite after the end appends") << "^End ab" << QByteArray("000102ab");
    QTest::newRow("insert at the start") << "Ins ff" << QByteArray("ff000102");
    QTest::newRow("insert in the middle") << "Ins Right 1" << QByteArray("00100102");
    QTest::newRow("insert at the end") << "Ins ^End cd" << QByteArray("000102cd");
    QTest::newRow("text column, insert") << "Tab Ins A" << QByteArray("41000102");
    QTest::newRow("text column, overwrite") << "Tab Right AB" << QByteArray("004142");
    QTest::newRow("backspace at the end") << "^End BS" << QByteArray("0001");
    QTest::newRow("selection deleted") << "S-Right S-Right Del" << QByteArray("02");
    QTest::newRow("selection typed over") << "Right S-Right S-Right 7" << QByteArray("0070");
}

void ValueEditorsTest::hexTyping() {
    QFETCH(QString, script);
    QFETCH(QByteArray, expected);
    views::DataEditor editor(model::Data{0, 1, 2}, nullptr);
    typeScript(editor.hexView(), script);
    const model::Data& b = editor.hexView()->bytes();
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size())).toHex(), expected);
}

void ValueEditorsTest::bytesOfEveryValueThroughFilesAndClipboard() {
    QTemporaryDir dir;
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    const QString in = dir.filePath("in.bin"), out = dir.filePath("out.bin");
    QFile f(in);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(all) == 256);
    f.close();
    views::DataEditor editor({}, nullptr);
    editor.show();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    QVERIFY(editor.importFromFile(in));
    QVERIFY(editor.statusLabel()->text().startsWith("256 bytes"));
    QVERIFY(!editor.importFromFile(dir.filePath("missing")));
    auto held = [&] {
        const model::Data& b = editor.hexView()->bytes();
        return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
    };
    QCOMPARE(held(), all);
    // Each clipboard form: all copied, deleted, pasted back.
    const QString starts[] = {"00 01 02", "AAECAw"};
    for (int form = 0; form < 3; ++form) {
        editor.clipboardFormBox()->setCurrentIndex(form);
        typeScript(editor.hexView(), "^A");
        QTest::keyClick(editor.hexView(), Qt::Key_C, Qt::ControlModifier);
        const QMimeData* copied = QApplication::clipboard()->mimeData();
        QVERIFY(form == 2 ? copied->hasFormat("application/octet-stream")
                          : copied->text().startsWith(starts[form]));
        typeScript(editor.hexView(), "^A Del");
        QVERIFY(held().isEmpty());
        QTest::keyClick(editor.hexView(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(held(), all);
    }
    QVERIFY(editor.exportToFile(out));
    QFile back(out);
    QVERIFY(back.open(QIODevice::ReadOnly));
    QCOMPARE(back.readAll(), all);
    QVERIFY(!editor.exportToFile(dir.filePath("no/such/folder/x")));
}

void ValueEditorsTest::dataThatIsAPropertyListOpensAsADocument() {
    DocumentWindow inner;
    QVERIFY(inner.open(stringDict({"a", "b"})));
    const plist::Expected<std::string> binary = inner->document().binaryData();
    QVERIFY(binary);
    DocumentWindow w, opened;
    QVERIFY(w.open("<dict><key>v</key><data>" + QByteArray::fromStdString(*binary).toBase64() +
                   "</data></dict>"));
    QVERIFY(activate(*w) && opened.openNew());
    w->openDocumentWithData = [&](const std::string& b) { QVERIFY(opened->takeDocumentData(b).isEmpty()); };
    auto* editor = qobject_cast<views::DataEditor*>(openEditor(*w, at(w->rootEntry(), "v"), CtrlE, {}));
    QVERIFY(editor);
    QTRY_VERIFY(editor->openAsDocumentButton()->isEnabled());
    QTest::mouseClick(editor->openAsDocumentButton(), Qt::LeftButton);
    QCOMPARE(treeText(opened->rootEntry()), treeText(inner->rootEntry()));
    QVERIFY(opened->canUndo()); // edited: closing it asks
    QCOMPARE(opened->formatKind(), plist::Format::Binary);
    // Closing the window finishes the editor first.
    QVERIFY(w->windowShouldClose());
    QVERIFY(!w->valueEditor());
}

void ValueEditorsTest::datesAcrossDaylightSavingKeepTheirFraction() {
    const QByteArray oldTz = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin"); // summer time from 2021-03-28 02:00
    tzset();
    struct Case {
        const char* name;
        bool utc;
        std::function<void(views::DateEditor&)> act;
        double expected; // seconds after the value's
    };
    const double start = model::dateWithISO8601FormatString("2021-03-27T10:00:00Z")->seconds + 0.25;
    auto calendarKey = [](views::DateEditor& d) {
        QTest::keyClick(d.calendar()->findChild<QTableView*>(), Qt::Key_Right);
    };
    const Case cases[] = {
        // 11:00 local the next day is an hour sooner in UTC; the fraction stays with an unchanged time.
        {"next day, local", false, calendarKey, 82800},
        {"next day, UTC", true, calendarKey, 86400},
        // A changed time drops the fraction.
        {"an hour later", false, [](views::DateEditor& d) { QTest::keyClick(d.timeEdit(), Qt::Key_Up); },
         3600 - 0.25},
        {"display form typed", false,
         [](views::DateEditor& d) {
             d.textField()->clear();
             QTest::keyClicks(d.textField(), "2021/03/28 11:00:00");
         },
         82800 - 0.25},
        {"same second typed keeps the fraction", true,
         [](views::DateEditor& d) {
             d.textField()->clear();
             QTest::keyClicks(d.textField(), "2021-03-27T10:00:00Z");
         },
         0},
    };
    for (const Case& c : cases) {
        views::DateEditor editor(plist::Date{start}, nullptr);
        editor.zoneBox()->setCurrentIndex(c.utc ? 1 : 0);
        c.act(editor);
        QVERIFY2(editor.value(), c.name);
        QCOMPARE(std::get<plist::Date>(*editor.value()).seconds - start, c.expected);
    }
    qputenv("TZ", oldTz);
    tzset();
}

QTEST_MAIN(ValueEditorsTest)
#include "ValueEditorsTest.moc"
