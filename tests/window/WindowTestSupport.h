// Shared helpers of the window, outline and command engine tests: documents written to a temporary folder,
// entry look-ups, exact tree dumps, clicks on cells, alerts answered and the selection as the outline shows
// it.
#pragma once

#include <QAbstractButton>
#include <QFile>
#include <QItemSelectionModel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

#include "editing/CommandRecord.h"
#include "editing/TypeConversion.h"
#include "model/Entry.h"
#include "platform/qt/Alert.h"
#include "platform/qt/UndoManager.h"
#include "tests/model/ModelTestSupport.h"
#include "views/EntryTreeModel.h"
#include "views/MyControls.h"
#include "views/MyOutlineView.h"
#include "window/MyWindowController.h"

namespace vantrel::test {

using editing::CommandBatch;
using editing::CommandRecord;
using model::Children;
using model::Entry;
using model::EntryRef;
using model::EntryType;
using window::MyWindowController;

// A dictionary element of string entries: keys a, b, c ... each with its key in capitals as value.
inline QString stringDict(const QStringList& keys) {
    QString body = QStringLiteral("<dict>");
    for (const QString& k : keys)
        body += QStringLiteral("<key>%1</key><string>%2</string>").arg(k, k.toUpper());
    return body + QStringLiteral("</dict>");
}

// A document of a few dozen entries of every type, nested three levels deep.
// Rows while only the root is expanded: Root, a, d, list, z.
inline const QString kFamily =
    QStringLiteral("<dict><key>a</key><string>A</string>"
                   "<key>d</key><dict><key>d1</key><string>1</string><key>d2</key><string>2</string></dict>"
                   "<key>list</key><array><string>x</string><string>y</string></array><key>z</key><string>Z</"
                   "string></dict>");

inline QString mixedDocument() {
    return QStringLiteral(
        "<dict><key>name</key><string>Vantrel</string><key>count</key><integer>42</integer>"
        "<key>big</key><integer>18446744073709551615</integer><key>negative</key><integer>-9</integer>"
        "<key>ratio</key><real>0.1</real><key>huge</key><real>1e300</real><key>on</key><true/>"
        "<key>off</key><false/><key>when</key><date>2020-02-29T12:00:00Z</date>"
        "<key>blob</key><data>AAEC/w==</data><key>empty</key><string></string>"
        "<key>list</key><array><string>one</string><integer>2</integer><real>3.5</real><false/>"
        "<dict><key>inner</key><string>x</string><key>deep</key><array><integer>7</integer>"
        "<string>eight</string></array></dict><array/></array>"
        "<key>settings</key><dict><key>theme</key><string>dark</string><key>size</key><integer>12</integer>"
        "<key>recent</key><array><string>a.plist</string><string>b.plist</string><string>c.plist</string>"
        "</array><key>flags</key><dict><key>x</key><true/><key>y</key><false/></dict>"
        "<key>none</key><dict/></dict>"
        "<key>digits</key><string>12abc</string><key>stamp</key><string>2024-01-02T03:04:05Z</string>"
        "<key>last</key><data></data></dict>");
}

// One document window, shown: over a file written to its own temporary folder, or new and untitled.
class DocumentWindow {
public:
    bool open(const QString& topElement, const QString& fileName = QStringLiteral("Sample.plist")) {
        QFile f(dir_.filePath(fileName));
        if (!dir_.isValid() || !f.open(QIODevice::WriteOnly)) return false;
        f.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" +
                topElement.toUtf8() + "\n</plist>\n");
        f.close();
        return load(f.fileName());
    }
    bool openNew() { return load(QString()); }

    MyWindowController& operator*() const { return *window_; }
    MyWindowController* operator->() const { return window_.get(); }

private:
    bool load(const QString& path) {
        window_ = std::make_unique<MyWindowController>(path);
        if (!window_->windowDidLoad()) return false;
        window_->show();
        return true;
    }

    QTemporaryDir dir_;
    std::unique_ptr<MyWindowController> window_;
};

inline platform::UndoManager& undoManagerOf(const MyWindowController& w) {
    return *w.windowWillReturnUndoManager();
}

inline EntryRef childAt(const EntryRef& parent, size_t index) {
    return parent && index < parent->childCount() ? parent->child()[index] : EntryRef();
}

// The entry at a path from the root: keys in dictionaries, positions in arrays ("list/1").
inline EntryRef at(EntryRef e, const QString& path) {
    for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        bool isNumber = false;
        const int i = part.toInt(&isNumber);
        EntryRef next = e && e->type() == EntryType::Array && isNumber ? childAt(e, size_t(i)) : EntryRef();
        for (size_t k = 0; e && !next && e->type() == EntryType::Dictionary && k < e->childCount(); ++k)
            if (e->child()[k]->key == part.toStdString()) next = e->child()[k];
        e = next;
    }
    return e;
}

// The keys, or the String values, of a container's children, joined by commas.
inline QString keysOf(const EntryRef& parent, bool values = false) {
    QStringList texts;
    for (size_t i = 0; parent && i < parent->childCount(); ++i) {
        const Entry& c = *parent->child()[i];
        texts << QString::fromStdString(!values                         ? std::string(c.key)
                                        : c.type() == EntryType::String ? std::string(c.stringValue())
                                                                        : "");
    }
    return texts.join(QLatin1Char(','));
}
inline QString valuesOf(const EntryRef& parent) {
    return keysOf(parent, true);
}

// The whole tree under an entry as the model tests dump it: types and values told fully apart.
inline QString treeText(const EntryRef& e) {
    return QString::fromStdString(model::test::dump(*e));
}
// A value told fully apart from every other, as the tree dump writes it.
inline QString valueText(const Entry::Value& v) {
    if (auto c = std::get_if<Children>(&v)) return QStringLiteral("children %1").arg(c->size());
    return treeText(Entry::make("", EntryType::String, v));
}

// Every entry of the tree, breadth first, held so that none can be freed and its address reused.
inline std::vector<EntryRef> allEntries(const EntryRef& root) {
    std::vector<EntryRef> out{root};
    for (size_t i = 0; i < out.size(); ++i)
        for (size_t k = 0; k < out[i]->childCount(); ++k)
            out.push_back(out[i]->child()[k]);
    return out;
}

// The rows the outline shows, walked with indexBelow, and the rows it ought to show: every entry whose
// containers are all expanded, in tree order. One "depth key @address" line a row.
inline std::pair<QString, QString> shownAndExpandedRows(const MyWindowController& w) {
    const views::MyOutlineView* view = w.outlineView();
    auto line = [](const Entry* e) {
        int depth = 0;
        for (const Entry* p = e->parent(); p; p = p->parent())
            ++depth;
        return QStringLiteral("%1 %2 @%3\n")
            .arg(QString::number(depth), QString::fromStdString(e->key), QString::number(quintptr(e), 16));
    };
    QString shown, expanded;
    for (QModelIndex i = view->model()->index(0, 0); i.isValid(); i = view->indexBelow(i))
        shown += line(views::EntryTreeModel::entryForIndex(i));
    std::vector<const Entry*> stack{w.rootEntry().get()};
    while (!stack.empty()) {
        const Entry* e = stack.back();
        stack.pop_back();
        expanded += line(e);
        if (e->isContainer() && view->isExpanded(w.entryModel()->indexForEntry(e)))
            for (size_t k = e->childCount(); k-- > 0;)
                stack.push_back(e->child()[k].get());
    }
    return {shown, expanded};
}

// Selects an entry's row the way a person does, with a click on it.
inline void clickRow(MyWindowController& w, const EntryRef& e) {
    const QModelIndex index = w.entryModel()->indexForEntry(e.get());
    w.outlineView()->scrollTo(index);
    QTest::mouseClick(w.outlineView()->viewport(), Qt::LeftButton, {},
                      w.outlineView()->visualRect(index).center());
}

// Makes the window the active one, so that an edited field can hold the focus.
inline bool activate(MyWindowController& w) {
    w.activateWindow();
    return QTest::qWaitForWindowActive(&w);
}

inline QPoint cellCenter(const MyWindowController& w, const EntryRef& e, int column) {
    return w.outlineView()->visualRect(w.entryModel()->indexForEntry(e.get(), column)).center();
}
inline void clickCell(MyWindowController& w, const EntryRef& e, int column,
                      Qt::MouseButton b = Qt::LeftButton) {
    QTest::mouseClick(w.outlineView()->viewport(), b, {}, cellCenter(w, e, column));
}
// As the desktop delivers a double click: a click, then the double click and its release.
inline void doubleClickCell(MyWindowController& w, const EntryRef& e, int column) {
    const QPoint pos = cellCenter(w, e, column);
    QTest::mouseClick(w.outlineView()->viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseDClick(w.outlineView()->viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseRelease(w.outlineView()->viewport(), Qt::LeftButton, {}, pos);
}

// Selects the entry with a click and double-clicks one of its cells, which then is edited.
inline views::MyTextField* editCell(MyWindowController& w, const EntryRef& e, int column) {
    if (e->parent()) w.expandAncestorWithItem(e->parent());
    clickRow(w, e);
    doubleClickCell(w, e, column);
    return w.focusedTextField();
}

inline const QString kInvalidEntry = QStringLiteral(
    "Your entry is not valid. Do you want to keep editing and fix the error or cancel editing?");
inline QString duplicateKeyText(const QString& key) {
    return QStringLiteral(
               "The key you entered (\u201c%1\u201d) is already present in the dictionary.  Do you "
               "want to replace the existing key/value pair?")
        .arg(key);
}
inline QString saveQuestion(const QString& name = QStringLiteral("Sample.plist")) {
    return QStringLiteral("Do you want to save the changes made to the document \u201c%1\u201d?").arg(name);
}

// Checks the alert up on the window, its text and (when given) all its buttons, and clicks the answer.
inline bool answerAlert(MyWindowController& w, const QString& message, const QString& answer,
                        QStringList buttons = {}) {
    [&] {
        QVERIFY(w.isDisplayingAlart());
        QMessageBox* alert = platform::sheetOfWindow(&w);
        QVERIFY(alert);
        QCOMPARE(alert->text(), message);
        QStringList shown;
        QAbstractButton* chosen = nullptr;
        for (QAbstractButton* b : alert->buttons()) {
            shown << b->text();
            if (b->text() == answer) chosen = b;
        }
        shown.sort();
        buttons.sort();
        if (!buttons.isEmpty()) QCOMPARE(shown, buttons);
        QVERIFY(chosen);
        QTRY_VERIFY(chosen->isVisible());
        QTest::mouseClick(chosen, Qt::LeftButton);
        QTRY_VERIFY(!w.isDisplayingAlart());
        QVERIFY(!platform::sheetOfWindow(&w));
    }();
    return !QTest::currentTestFailed();
}

// The entry of the outline's selected row, or none.
inline model::Entry* selectedEntry(const MyWindowController& w) {
    const QModelIndexList rows = w.outlineView()->selectionModel()->selectedRows();
    return rows.isEmpty() ? nullptr : views::EntryTreeModel::entryForIndex(rows.front());
}

} // namespace vantrel::test
