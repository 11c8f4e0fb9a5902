#include "MyControls.h"

#include <QKeyEvent>

#include "model/ValueText.h"
#include <limits>

namespace views {

namespace {
// The field shows the cells' marks of tab and line breaks; each is one UTF-16 unit.
QChar markOf(char32_t c) {
    return QString::fromStdString(model::visibleMark(c)).front();
}
const QChar kTabMark = markOf(U'\t');
const QChar kLineFeedMark = markOf(U'\n');
const QChar kCarriageReturnMark = markOf(U'\r');

bool mayClick(MyControllerDelegate* d, QObject* control) {
    return d && d->controllShouldClick(control);
}

// The field's marks of tab, line feed and carriage return.
QString withVisibleMarks(const QString& text, bool* replaced) {
    QString out = text;
    bool any = false;
    for (QChar& c : out) {
        if (c == u'\t')
            c = kTabMark, any = true;
        else if (c == u'\n')
            c = kLineFeedMark, any = true;
        else if (c == u'\r')
            c = kCarriageReturnMark, any = true;
    }
    if (replaced) *replaced = any;
    return out;
}

bool isVisibleMark(QChar c) {
    return c == kTabMark || c == kLineFeedMark || c == kCarriageReturnMark;
}
} // namespace

void MyButton::mousePressEvent(QMouseEvent* event) {
    if (mayClick(_myDelegate, this))
        QToolButton::mousePressEvent(event);
    else
        event->ignore(); // goes on to the outline underneath
}

MyPopUpButton::MyPopUpButton(QWidget* parent) : QComboBox(parent) {
    setFocusPolicy(Qt::NoFocus);
}

void MyPopUpButton::selectItemWithTitle(const QString& title) {
    int i = findText(title);
    if (i != currentIndex()) {
        QSignalBlocker block(this);
        setCurrentIndex(i);
    }
}

void MyPopUpButton::mousePressEvent(QMouseEvent* event) {
    if (mayClick(_myDelegate, this))
        QComboBox::mousePressEvent(event);
    else
        event->ignore();
}

void MyPopUpButton::keyPressEvent(QKeyEvent* event) {
    event->ignore(); // keys belong to the outline
}

void MyPopUpButton::wheelEvent(QWheelEvent* event) {
    event->ignore(); // scrolling over the pop-up scrolls the outline, never changes the type
}

MyTextField::MyTextField(QWidget* parent) : QLineEdit(parent) {
    setFrame(true);
    // A field holds a value of any length; QLineEdit would cut it at 32,767 characters.
    setMaxLength(std::numeric_limits<int>::max());
    // Shaping only where a script needs it: it roughly halves the time to lay out a megabyte of Latin text.
    QFont f = font();
    f.setStyleStrategy(QFont::StyleStrategy(f.styleStrategy() | QFont::PreferNoShaping));
    setFont(f);
    connect(this, &QLineEdit::textEdited, this, [this](const QString& text) {
        // Pasted tabs and line breaks become spaces: typing never adds them.
        if (!text.contains(u'\t') && !text.contains(u'\n') && !text.contains(u'\r')) return;
        int pos = cursorPosition();
        QString clean = text;
        clean.replace(u'\t', u' ').replace(u'\n', u' ').replace(u'\r', u' ');
        setText(clean);
        setCursorPosition(pos);
    });
}

void MyTextField::setExactText(const QString& text) {
    _startText = text;
    bool replaced = false;
    QString shown = withVisibleMarks(text, &replaced);
    // Marks stand for the characters only when the text has none of the mark characters of its own.
    _marksStandForControls = true;
    for (QChar c : text)
        if (isVisibleMark(c)) _marksStandForControls = false;
    setText(_marksStandForControls ? shown : text);
    setCursorPosition(int(text.size()));
    selectAll();
}

QString MyTextField::exactText() const {
    QString t = text();
    if (!_marksStandForControls) return t;
    for (QChar& c : t) {
        if (c == kTabMark)
            c = u'\t';
        else if (c == kLineFeedMark)
            c = u'\n';
        else if (c == kCarriageReturnMark)
            c = u'\r';
    }
    return t;
}

void MyTextField::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (event->modifiers() & Qt::ShiftModifier) {
            emit editorRequested();
            event->accept();
            return;
        }
        emit commitRequested();
        event->accept();
        return;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        emit commitRequested();
        event->accept();
        return;
    case Qt::Key_Escape:
        emit cancelRequested();
        event->accept();
        return;
    default:
        QLineEdit::keyPressEvent(event);
    }
}

bool MyTextField::event(QEvent* event) {
    // With no typing left to take back, Undo and Redo go on to the window's actions, which end the edit and
    // act on the document.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->matches(QKeySequence::Undo) && !isUndoAvailable()) ||
            (key->matches(QKeySequence::Redo) && !isRedoAvailable())) {
            event->ignore();
            return true;
        }
    }
    // Tab and Shift-Tab commit instead of moving the focus to another widget.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            keyPressEvent(key);
            return true;
        }
    }
    return QLineEdit::event(event);
}

} // namespace views
