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

// The kind of the break starting at i, or -1.
int lineEndAt(const QString& text, qsizetype i) {
    for (int k = 0; k < kLineEndCount; ++k)
        if (QStringView(text).mid(i).startsWith(kLineEnds[k])) return k;
    return -1;
}
} // namespace

ExactTextEdit::ExactTextEdit(QWidget* parent) : QPlainTextEdit(parent) {
    QTextOption option = document()->defaultTextOption();
    // U+2028 stays a character of its line; it shows as a mark so that it is seen.
    option.setFlags(option.flags() | QTextOption::ShowLineAndParagraphSeparators);
    document()->setDefaultTextOption(option);
}

void ExactTextEdit::setExactText(const QString& text) {
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
    setPlainText(plain);
    size_t k = 0;
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next())
        b.setUserState(k < ends.size() ? ends[k++] : _typedLineEnd);
}

QString ExactTextEdit::lineEndOf(const QTextBlock& block) const {
    const int kind = block.userState();
    return kLineEnds[kind >= 0 && kind < kLineEndCount ? kind : _typedLineEnd];
}

QString ExactTextEdit::exactText(int from, int to) const {
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
    qsizetype length = document()->characterCount() - 1;
    for (QTextBlock b = document()->begin(); b.isValid() && b.next().isValid(); b = b.next())
        length += lineEndOf(b).size() - 1;
    return length;
}

int ExactTextEdit::documentPosition(qsizetype exactIndex) const {
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
