#include "ExactTextEdit.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>

namespace views {

namespace {
// The texts the document breaks a line at, by the kind a block keeps in its user state. CRLF comes before
// CR so that a CR followed by LF is one break.
const QString kLineEnds[] = {QStringLiteral("\n"),     QStringLiteral("\r\n"),   QStringLiteral("\r"),
                             QStringLiteral("\u2029"), QStringLiteral("\uFDD0"), QStringLiteral("\uFDD1")};
constexpr int kLineEndCount = int(std::size(kLineEnds));

// The first piece of a long text fills any window; each further one takes the document about 10 ms.
constexpr qsizetype kFirstPiece = 1 << 16;
constexpr qsizetype kPiece = 1 << 17;

// The kind of the break starting at i, or -1.
int lineEndAt(const QString& text, qsizetype i) {
    for (int k = 0; k < kLineEndCount; ++k)
        if (QStringView(text).mid(i).startsWith(kLineEnds[k])) return k;
    return -1;
}
} // namespace

ExactTextEdit::ExactTextEdit(QWidget* parent) : QPlainTextEdit(parent) {
    _loader.setInterval(0);
    connect(&_loader, &QTimer::timeout, this, [this] { loadPiece(kPiece); });
    QTextOption option = document()->defaultTextOption();
    // U+2028 stays a character of its line; it shows as a mark so that it is seen.
    option.setFlags(option.flags() | QTextOption::ShowLineAndParagraphSeparators);
    document()->setDefaultTextOption(option);
}

void ExactTextEdit::setExactText(const QString& text) {
    _loader.stop();
    QString plain;
    plain.reserve(text.size());
    std::vector<int> ends;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const int kind = c == u'\n' || c == u'\r' || c.unicode() == 0x2029 || c.unicode() == 0xFDD0 ||
                                 c.unicode() == 0xFDD1
                             ? lineEndAt(text, i)
                             : -1;
        if (kind < 0) {
            plain += c;
            continue;
        }
        ends.push_back(kind);
        plain += u'\n';
        i += kLineEnds[kind].size() - 1;
    }
    _typedLineEnd = ends.empty() ? 0 : ends.front();
    _ends = std::move(ends);
    _pending = std::move(plain);
    _pendingAt = 0;
    _loadingLength = text.size();
    // The caret stays at the start: the first piece is the document's text, the rest is added after it.
    _pendingAt = pieceEnd(kFirstPiece);
    setPlainText(_pending.left(_pendingAt));
    setLineEnds(0);
    // The document keeps no undo steps of its own loading.
    if (isLoading()) document()->setUndoRedoEnabled(false);
    // The rest follows once the first lines are shown (see paintEvent).
    loadPiece(0);
}

qsizetype ExactTextEdit::pieceEnd(qsizetype size) const {
    const qsizetype end = _pendingAt + size;
    if (end >= _pending.size()) return _pending.size();
    const qsizetype lineEnd = _pending.indexOf(u'\n', end);
    return lineEnd < 0 ? _pending.size() : lineEnd + 1;
}

void ExactTextEdit::loadPiece(qsizetype size) {
    if (size > 0 && isLoading()) {
        const qsizetype end = pieceEnd(size);
        QTextCursor c(document());
        c.movePosition(QTextCursor::End);
        const int firstBlock = document()->blockCount() - 1;
        c.insertText(_pending.mid(_pendingAt, end - _pendingAt));
        setLineEnds(firstBlock);
        _pendingAt = end;
    }
    if (_pendingAt < _pending.size()) return;
    _loader.stop();
    _pending = QString();
    _pendingAt = 0;
    _ends = {};
    document()->setUndoRedoEnabled(true);
}

void ExactTextEdit::finishLoading() const {
    // Loading changes the document, never the text it shows; every reader of the text may ask for it.
    auto* self = const_cast<ExactTextEdit*>(this);
    while (self->isLoading())
        self->loadPiece(_pending.size());
}

void ExactTextEdit::setLineEnds(int firstBlock) {
    for (QTextBlock b = document()->findBlockByNumber(firstBlock); b.isValid(); b = b.next()) {
        const size_t k = size_t(b.blockNumber());
        b.setUserState(k < _ends.size() ? _ends[k] : _typedLineEnd);
    }
}

bool ExactTextEdit::event(QEvent* event) {
    if (isLoading() && (event->type() == QEvent::KeyPress || event->type() == QEvent::InputMethod ||
                        event->type() == QEvent::ShortcutOverride))
        finishLoading();
    return QPlainTextEdit::event(event);
}

bool ExactTextEdit::viewportEvent(QEvent* event) {
    if (isLoading() && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::DragEnter ||
                        event->type() == QEvent::Drop))
        finishLoading();
    return QPlainTextEdit::viewportEvent(event);
}

void ExactTextEdit::paintEvent(QPaintEvent* event) {
    QPlainTextEdit::paintEvent(event);
    if (isLoading() && !_loader.isActive()) _loader.start();
}

QString ExactTextEdit::lineEndOf(const QTextBlock& block) const {
    const int kind = block.userState();
    return kLineEnds[kind >= 0 && kind < kLineEndCount ? kind : _typedLineEnd];
}

QString ExactTextEdit::exactText() const {
    finishLoading();
    return exactText(0, document()->characterCount() - 1);
}

QString ExactTextEdit::exactText(int from, int to) const {
    finishLoading();
    QString out;
    for (QTextBlock b = document()->findBlock(from); b.isValid() && b.position() <= to; b = b.next()) {
        const QString t = b.text();
        const int start = std::max(from - b.position(), 0);
        const int end = std::min<int>(to - b.position(), int(t.size()));
        if (end > start) out += QStringView(t).mid(start, end - start);
        // The break after the block stands at its end, when the range covers it.
        if (b.next().isValid() && b.position() + t.size() < to && b.position() + t.size() >= from)
            out += lineEndOf(b);
    }
    return out;
}

qsizetype ExactTextEdit::exactLength() const {
    if (isLoading()) return _loadingLength;
    qsizetype length = document()->characterCount() - 1;
    for (QTextBlock b = document()->begin(); b.isValid() && b.next().isValid(); b = b.next())
        length += lineEndOf(b).size() - 1;
    return length;
}

int ExactTextEdit::documentPosition(qsizetype exactIndex) const {
    finishLoading();
    qsizetype exact = 0;
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) {
        const qsizetype length = b.length() - 1;
        if (exactIndex <= exact + length || !b.next().isValid())
            return b.position() + int(std::min(exactIndex - exact, length));
        exact += length + lineEndOf(b).size();
        if (exactIndex < exact) return b.position() + int(length); // inside a CRLF
    }
    return 0;
}

void ExactTextEdit::insertLineBreak(int kind) {
    QTextCursor c = textCursor();
    c.beginEditBlock();
    c.removeSelectedText();
    // The break after the split block now follows the new block; the block before it ends in this one.
    const int after = c.block().userState();
    c.insertBlock();
    c.block().previous().setUserState(kind);
    c.block().setUserState(after);
    c.endEditBlock();
    setTextCursor(c);
}

void ExactTextEdit::insertExact(const QString& text) {
    QTextCursor c = textCursor();
    c.beginEditBlock();
    c.removeSelectedText();
    setTextCursor(c);
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const int kind = i < text.size() ? lineEndAt(text, i) : -1;
        if (kind < 0 && i < text.size()) continue;
        QTextCursor piece = textCursor();
        piece.insertText(text.mid(start, i - start));
        setTextCursor(piece);
        if (kind >= 0) {
            insertLineBreak(kind);
            i += kLineEnds[kind].size() - 1;
        }
        start = i + 1;
    }
    c.endEditBlock();
}

void ExactTextEdit::keyPressEvent(QKeyEvent* event) {
    const bool plainReturn = (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
                             !(event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier));
    if (plainReturn && !isReadOnly()) {
        insertLineBreak(_typedLineEnd);
        ensureCursorVisible();
        event->accept();
        return;
    }
    // Shift+Return types U+2028, a line break within the line, as the document has it.
    QPlainTextEdit::keyPressEvent(event);
}

void ExactTextEdit::insertFromMimeData(const QMimeData* source) {
    if (source && source->hasText()) {
        insertExact(source->text());
        ensureCursorVisible();
    }
}

QMimeData* ExactTextEdit::createMimeDataFromSelection() const {
    auto* data = new QMimeData;
    const QTextCursor c = textCursor();
    data->setText(exactText(c.selectionStart(), c.selectionEnd()));
    return data;
}

} // namespace views
