// The value editors of a document window: the sheet that edits the selected entry's exact value and commits
// it as one "Change Value" step, and the documents opened from a Data value's bytes.
#include <QMessageBox>
#include <bit>

#include "MyWindowController.h"
#include "platform/qt/Alert.h"
#include "views/MyControls.h"
#include "views/MyOutlineView.h"
#include "views/ValueEditors/ValueEditor.h"

namespace window {

using editing::CommandRecord;
using model::Children;
using model::EntryType;

namespace {
// Equal as the type holds them: a Number keeps its kind, a Date every bit of its seconds.
bool sameValue(const Entry::Value& a, const Entry::Value& b) {
    if (a.index() != b.index()) return false;
    if (auto n = std::get_if<model::Number>(&a)) {
        const model::Number& m = std::get<model::Number>(b);
        return n->isReal == m.isReal &&
               (n->isReal ? std::bit_cast<uint64_t>(n->real) == std::bit_cast<uint64_t>(m.real)
                          : n->integer == m.integer);
    }
    if (auto d = std::get_if<plist::Date>(&a))
        return std::bit_cast<uint64_t>(d->seconds) ==
               std::bit_cast<uint64_t>(std::get<plist::Date>(b).seconds);
    if (auto s = std::get_if<std::string>(&a)) return *s == std::get<std::string>(b);
    if (auto d = std::get_if<model::Data>(&a)) return *d == std::get<model::Data>(b);
    if (auto t = std::get_if<bool>(&a)) return *t == std::get<bool>(b);
    return false;
}
} // namespace

bool MyWindowController::canEditValue() const {
    return _currentItem && !_isDisplayingAlart && !_isEditingText && !_valueEditor &&
           views::ValueEditor::hasEditor(_currentItem->type());
}

bool MyWindowController::editValueOfCurrentItem(const QString* typedText, int caret) {
    if (!canEditValue()) return false;
    EntryRef e = _currentItem;
    views::ValueEditor* editor = views::ValueEditor::forValue(e->type(), e->value(), this);
    if (!editor) return false;
    if (typedText) editor->setTypedText(*typedText, caret);
    _valueEditor = editor;
    // While the editor is up the window is as while an alert is up: no selection changes and no other edits.
    _isDisplayingAlart = true;
    notifyStateChanged();
    connect(editor, &views::ValueEditor::openAsDocumentRequested, this,
            [this, editor](const QByteArray& bytes) {
                const std::string data = bytes.toStdString();
                model::PlistDocument probe;
                const plist::Expected<EntryRef> root = probe.rootEntryWithPropertyListData(data);
                if (!root) {
                    QMessageBox* alert = makeAlertWithMessage(
                        tr("The data couldn\u2019t be read because it isn\u2019t in the correct format."),
                        tr("OK"));
                    platform::setInformativeText(alert, QString::fromStdString(root.error().message));
                    platform::beginSheetModalForWindow(alert, editor, {});
                } else if (openDocumentWithData) {
                    openDocumentWithData(data);
                }
            });
    connect(editor, &QDialog::finished, this, [this, editor, e](int result) {
        std::optional<Entry::Value> value = result == QDialog::Accepted ? editor->value() : std::nullopt;
        _valueEditor = nullptr;
        editor->deleteLater();
        _isDisplayingAlart = platform::sheetOfWindow(this) != nullptr;
        // The entry cannot have changed while the editor was up; it is still checked to be the selected one.
        if (value && e == _currentItem && e->type() == _currentItem->type())
            changeCurrentItemValueWithExactValue(std::move(*value));
        activateWindow();
        _outlineView->setFocus(Qt::OtherFocusReason);
        reloadOutline();
        notifyStateChanged();
    });
    editor->setWindowModality(Qt::WindowModal);
    editor->open();
    editor->activateWindow();
    return true;
}

void MyWindowController::changeCurrentItemValueWithExactValue(Entry::Value value) {
    EntryRef e = _currentItem;
    if (!e || e->isContainer() || sameValue(e->value(), value)) return;
    doCommands(editing::valueChangeBatch(e, std::move(value)));
}

bool MyWindowController::finishValueEditor() {
    if (!_valueEditor) return true;
    if (!_valueEditor->value()) {
        _valueEditor->raise();
        return false;
    }
    _valueEditor->accept();
    return !_valueEditor;
}

void MyWindowController::editValueFromField() {
    views::MyTextField* field = focusedTextField();
    if (!field || _isDisplayingAlart || _isUpdatingTextField) return;
    if (field->textFieldKind() == 0) {
        updateFocusedTextField();
        return;
    }
    const QString text = field->exactText();
    const int caret = field->cursorPosition();
    didTextEndEditingSub();
    editValueOfCurrentItem(&text, caret);
}

QString MyWindowController::takeDocumentData(const std::string& bytes) {
    model::PlistDocument probe;
    probe.setIdNumber(_document.idNumber());
    plist::Expected<EntryRef> read = probe.rootEntryWithPropertyListData(bytes);
    if (!read) return QString::fromStdString(read.error().message);
    _document.setIdNumber(probe.idNumber());
    // As Reload from Disk takes a file: one undoable step, so the window counts as edited and asks before
    // it closes.
    doCommands(editing::rootReplacement(_document.root(), *read, "Open as Document"));
    _document.setFormatKind(bytes.starts_with("bplist") ? plist::Format::Binary : plist::Format::Xml);
    return {};
}

} // namespace window
