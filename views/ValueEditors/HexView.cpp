#include "HexView.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QRegularExpression>
#include <QScrollBar>

#include "platform/plist/Text.h"

namespace views {

namespace {
const QString kRawType = QStringLiteral("application/octet-stream");
constexpr int kMargin = 6;
constexpr int kOffsetChars = 10; // "0000ffff" and a gap

QByteArray byteArray(const model::Data& d, qint64 from, qint64 length) {
    return QByteArray(reinterpret_cast<const char*>(d.data()) + from, qsizetype(length));
}
} // namespace

HexView::HexView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, viewport(), qOverload<>(&QWidget::update));
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, viewport(), qOverload<>(&QWidget::update));
}

void HexView::setBytes(model::Data bytes) {
    _bytes = std::move(bytes);
    _cursor = 0;
    _anchor = -1;
    _nibble = 0;
    _undo.clear();
    _redo.clear();
    updateScrollBar();
    verticalScrollBar()->setValue(0);
    viewport()->update();
    emit bytesChanged();
    emit cursorChanged();
}

void HexView::setOverwriteMode(bool on) {
    _overwrite = on;
    _nibble = 0;
    viewport()->update();
    emit modeChanged();
}

void HexView::setUtf8Text(bool on) {
    _utf8 = on;
    viewport()->update();
}

std::pair<qint64, qint64> HexView::selection() const {
    if (_anchor < 0 || _anchor == _cursor) return {_cursor, 0};
    return {std::min(_anchor, _cursor), std::abs(_anchor - _cursor)};
}

void HexView::setSelection(qint64 offset, qint64 length) {
    const qint64 size = qint64(_bytes.size());
    _anchor = std::clamp<qint64>(offset, 0, size);
    _cursor = std::clamp<qint64>(offset + length, 0, size);
    _nibble = 0;
    viewport()->update();
    emit cursorChanged();
}

qint64 HexView::lineCount() const {
    // The end of the bytes has a place of its own, on a new line when the last one is full.
    return qint64(_bytes.size()) / kBytesPerLine + 1;
}

int HexView::visibleLines() const {
    return std::max(1, viewport()->height() / fontMetrics().height());
}

int HexView::charWidth() const {
    return fontMetrics().horizontalAdvance(QLatin1Char('0'));
}

int HexView::hexX(int column) const {
    return kMargin + (kOffsetChars + column * 3 + (column >= kBytesPerLine / 2 ? 1 : 0)) * charWidth();
}

int HexView::textX(int column) const {
    return hexX(kBytesPerLine) + (1 + column) * charWidth();
}

void HexView::updateScrollBar() {
    const qint64 lines = lineCount();
    verticalScrollBar()->setRange(0, int(std::max<qint64>(0, lines - visibleLines())));
    verticalScrollBar()->setPageStep(visibleLines());
    const int width = textX(kBytesPerLine) + kMargin;
    horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
}

void HexView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBar();
}

QString HexView::textOfByte(qint64 offset, bool& continuation) const {
    continuation = false;
    const uint8_t b = _bytes[size_t(offset)];
    if (!_utf8) return (b >= 0x20 && b < 0x7F) || b >= 0xA0 ? QString(QChar(b)) : QStringLiteral(".");
    if (b < 0x80) return b >= 0x20 && b < 0x7F ? QString(QChar(b)) : QStringLiteral(".");
    // A byte inside a sequence that begins up to three bytes before draws nothing; its character stands at
    // the sequence's first byte.
    auto decodeAt = [&](qint64 at, int& length) {
        const char* p = reinterpret_cast<const char*>(_bytes.data()) + at;
        const char* start = p;
        const int32_t c =
            plist::text::decodeUtf8(p, reinterpret_cast<const char*>(_bytes.data()) + _bytes.size());
        length = int(p - start);
        return c;
    };
    int length = 0;
    if ((b & 0xC0) == 0x80) {
        for (qint64 at = offset - 1; at >= 0 && at >= offset - 3; --at) {
            if ((_bytes[size_t(at)] & 0xC0) == 0x80) continue;
            if (decodeAt(at, length) >= 0 && at + length > offset) {
                continuation = true;
                return {};
            }
            break;
        }
        return QStringLiteral(".");
    }
    const int32_t c = decodeAt(offset, length);
    if (c < 0xA0 || (c >= 0xD800 && c < 0xE000)) return QStringLiteral(".");
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(&c), 1);
}

void HexView::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    const QPalette& pal = palette();
    p.fillRect(viewport()->rect(), pal.base());
    p.translate(-horizontalScrollBar()->value(), 0);
    const QFontMetrics fm = fontMetrics();
    const int lh = fm.height(), w = charWidth();
    const qint64 first = verticalScrollBar()->value();
    const qint64 size = qint64(_bytes.size());
    const auto [selStart, selLength] = selection();
    p.fillRect(QRect(0, 0, hexX(0) - w, viewport()->height()), pal.alternateBase());
    for (qint64 line = first; line < std::min(lineCount(), first + visibleLines() + 1); ++line) {
        const int y = int(line - first) * lh;
        const int baseline = y + fm.ascent();
        p.setPen(pal.color(QPalette::PlaceholderText));
        p.drawText(kMargin, baseline,
                   QStringLiteral("%1").arg(line * kBytesPerLine, 8, 16, QLatin1Char('0')));
        for (int col = 0; col < kBytesPerLine; ++col) {
            const qint64 at = line * kBytesPerLine + col;
            if (at > size) break;
            const QRect hexCell(hexX(col), y, 2 * w, lh), textCell(textX(col), y, w, lh);
            if (at < size && at >= selStart && at < selStart + selLength) {
                p.fillRect(hexCell.adjusted(0, 0, col + 1 < kBytesPerLine ? w : 0, 0), pal.highlight());
                p.fillRect(textCell, pal.highlight());
            }
            if (at == _cursor) {
                // The caret: a bar in insert mode, a box over the byte (or the nibble) in overwrite mode.
                const QColor caret = pal.color(QPalette::Text);
                const QRect hexCaret = _overwrite ? QRect(hexCell.x() + _nibble * w, y, w, lh)
                                                  : QRect(hexCell.x() + _nibble * w - 1, y, 2, lh);
                const QRect textCaret = _overwrite ? textCell : QRect(textCell.x() - 1, y, 2, lh);
                p.setPen(caret);
                if (_inText) {
                    p.fillRect(textCaret, caret);
                    p.drawRect(hexCell.adjusted(0, 0, -1, -1));
                } else {
                    p.fillRect(hexCaret, caret);
                    p.drawRect(textCell.adjusted(0, 0, -1, -1));
                }
            }
            if (at == size) break;
            const bool selected = at >= selStart && at < selStart + selLength;
            const uint8_t b = _bytes[size_t(at)];
            const bool underCaret = at == _cursor;
            p.setPen(selected ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::Text));
            static const char digits[] = "0123456789abcdef";
            for (int n = 0; n < 2; ++n) {
                const bool inverted = underCaret && !_inText && _overwrite && n == _nibble;
                p.setPen(inverted   ? pal.color(QPalette::Base)
                         : selected ? pal.color(QPalette::HighlightedText)
                                    : pal.color(QPalette::Text));
                p.drawText(hexCell.x() + n * w, baseline, QString(QLatin1Char(digits[n ? b & 15 : b >> 4])));
            }
            bool continuation = false;
            const QString t = textOfByte(at, continuation);
            p.setPen(underCaret && _inText && _overwrite ? pal.color(QPalette::Base)
                     : selected                          ? pal.color(QPalette::HighlightedText)
                                                         : pal.color(QPalette::Text));
            if (!continuation) p.drawText(textCell.x(), baseline, t);
        }
    }
}

std::pair<qint64, bool> HexView::byteAt(const QPoint& pos) const {
    const int x = pos.x() + horizontalScrollBar()->value();
    const qint64 line = verticalScrollBar()->value() + std::max(0, pos.y()) / fontMetrics().height();
    const bool inText = x >= textX(0) - charWidth() / 2;
    int col = 0;
    while (col + 1 < kBytesPerLine && x >= (inText ? textX(col + 1) : hexX(col + 1) - charWidth() / 2))
        ++col;
    return {std::clamp<qint64>(line * kBytesPerLine + col, 0, qint64(_bytes.size())), inText};
}

void HexView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const auto [offset, inText] = byteAt(event->position().toPoint());
    _inText = inText;
    moveCursor(offset, event->modifiers() & Qt::ShiftModifier);
}

void HexView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return;
    moveCursor(byteAt(event->position().toPoint()).first, true);
}

void HexView::moveCursor(qint64 offset, bool extend) {
    if (extend && _anchor < 0) _anchor = _cursor;
    if (!extend) _anchor = -1;
    _cursor = std::clamp<qint64>(offset, 0, qint64(_bytes.size()));
    _nibble = 0;
    ensureCursorVisible();
    viewport()->update();
    emit cursorChanged();
}

void HexView::ensureCursorVisible() {
    const qint64 line = _cursor / kBytesPerLine;
    QScrollBar* bar = verticalScrollBar();
    if (line < bar->value())
        bar->setValue(int(line));
    else if (line >= bar->value() + visibleLines())
        bar->setValue(int(line - visibleLines() + 1));
}

void HexView::replaceRange(qint64 offset, qint64 length, const model::Data& with) {
    const auto from = _bytes.begin() + offset;
    _undo.push_back({offset, model::Data(from, from + length), with, _cursor, _step});
    _redo.clear();
    splice(offset, length, with);
}

void HexView::replaceAll(model::Data bytes) {
    ++_step;
    replaceRange(0, qint64(_bytes.size()), bytes);
    _anchor = -1;
    moveCursor(0, false);
}

void HexView::undo() {
    if (_undo.empty()) return;
    const int step = _undo.back().step;
    qint64 cursor = 0;
    while (!_undo.empty() && _undo.back().step == step) {
        Change& c = _undo.back();
        splice(c.offset, qint64(c.inserted.size()), c.removed);
        cursor = c.cursorBefore;
        _redo.push_back(std::move(c));
        _undo.pop_back();
    }
    _anchor = -1;
    _nibble = 0;
    moveCursor(cursor, false);
}

void HexView::redo() {
    if (_redo.empty()) return;
    const int step = _redo.back().step;
    qint64 cursor = 0;
    while (!_redo.empty() && _redo.back().step == step) {
        Change& c = _redo.back();
        splice(c.offset, qint64(c.removed.size()), c.inserted);
        cursor = c.offset + qint64(c.inserted.size());
        _undo.push_back(std::move(c));
        _redo.pop_back();
    }
    _anchor = -1;
    _nibble = 0;
    moveCursor(cursor, false);
}

void HexView::splice(qint64 offset, qint64 length, const model::Data& with) {
    auto at = _bytes.begin() + offset;
    if (qint64(with.size()) == length) {
        std::copy(with.begin(), with.end(), at);
    } else {
        at = _bytes.erase(at, at + length);
        _bytes.insert(at, with.begin(), with.end());
        updateScrollBar();
    }
    viewport()->update();
    emit bytesChanged();
}

bool HexView::removeSelection() {
    const auto [offset, length] = selection();
    if (length == 0) return false;
    replaceRange(offset, length, {});
    _anchor = -1;
    moveCursor(offset, false);
    return true;
}

void HexView::typeHexDigit(int digit) {
    // A byte's second digit belongs to the step of its first.
    if (_nibble == 1 && !_undo.empty()) _step = _undo.back().step;
    const bool replaced = removeSelection();
    const qint64 size = qint64(_bytes.size());
    if (_nibble == 0 && (!_overwrite || _cursor == size || replaced)) {
        // A new byte: its high digit now, its low one next.
        replaceRange(_cursor, 0, {uint8_t(digit << 4)});
        _nibble = 1;
    } else if (_nibble == 0) {
        replaceRange(_cursor, 1, {uint8_t((_bytes[size_t(_cursor)] & 0x0F) | (digit << 4))});
        _nibble = 1;
    } else {
        replaceRange(_cursor, 1, {uint8_t((_bytes[size_t(_cursor)] & 0xF0) | digit)});
        ++_cursor;
        _nibble = 0;
    }
    ensureCursorVisible();
    emit cursorChanged();
}

void HexView::typeBytes(const model::Data& bytes) {
    if (bytes.empty()) return;
    const bool replaced = removeSelection();
    const qint64 over =
        _overwrite && !replaced ? std::min<qint64>(qint64(bytes.size()), qint64(_bytes.size()) - _cursor) : 0;
    replaceRange(_cursor, over, bytes);
    moveCursor(_cursor + qint64(bytes.size()), false);
}

namespace {
bool isUndoKey(QKeyEvent* event) {
    return event == QKeySequence::Undo;
}
bool isRedoKey(QKeyEvent* event) {
    const QKeyCombination keys = event->keyCombination();
    return event == QKeySequence::Redo || keys == (Qt::CTRL | Qt::SHIFT | Qt::Key_Z) ||
           keys == (Qt::CTRL | Qt::Key_Y);
}
} // namespace

void HexView::keyPressEvent(QKeyEvent* event) {
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const qint64 size = qint64(_bytes.size());
    ++_step;
    if (isUndoKey(event)) return undo();
    if (isRedoKey(event)) return redo();
    if (event == QKeySequence::SelectAll) return selectAll();
    if (event == QKeySequence::Copy) return copy();
    if (event == QKeySequence::Cut) return cut();
    if (event == QKeySequence::Paste) {
        paste();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Left:
        // Within a byte being typed, Left goes back to its first digit.
        if (_nibble == 1 && !shift) {
            _nibble = 0;
            viewport()->update();
            return;
        }
        return moveCursor(_cursor - 1, shift);
    case Qt::Key_Right:
        return moveCursor(_cursor + 1, shift);
    case Qt::Key_Up:
        return moveCursor(_cursor >= kBytesPerLine ? _cursor - kBytesPerLine : _cursor, shift);
    case Qt::Key_Down:
        return moveCursor(_cursor + kBytesPerLine <= size ? _cursor + kBytesPerLine : _cursor, shift);
    case Qt::Key_PageUp:
        return moveCursor(
            std::max<qint64>(_cursor % kBytesPerLine, _cursor - qint64(visibleLines()) * kBytesPerLine),
            shift);
    case Qt::Key_PageDown:
        return moveCursor(std::min(size, _cursor + qint64(visibleLines()) * kBytesPerLine), shift);
    case Qt::Key_Home:
        return moveCursor(event->modifiers() & Qt::ControlModifier ? 0 : _cursor - _cursor % kBytesPerLine,
                          shift);
    case Qt::Key_End:
        return moveCursor(event->modifiers() & Qt::ControlModifier
                              ? size
                              : std::min(size, _cursor - _cursor % kBytesPerLine + kBytesPerLine - 1),
                          shift);
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        _inText = !_inText;
        _nibble = 0;
        viewport()->update();
        return;
    case Qt::Key_Insert:
        return setOverwriteMode(!_overwrite);
    case Qt::Key_Backspace:
        if (!removeSelection() && _cursor > 0) {
            replaceRange(_cursor - 1, 1, {});
            moveCursor(_cursor - 1, false);
        }
        return;
    case Qt::Key_Delete:
        if (!removeSelection() && _cursor < size) {
            replaceRange(_cursor, 1, {});
            moveCursor(_cursor, false);
        }
        return;
    default:
        break;
    }
    const QString text = event->text();
    if (text.isEmpty() || (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) || text[0] < u' ') {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    if (!_inText) {
        const int digit = plist::text::hexDigit(char(text[0].unicode() < 0x80 ? text[0].unicode() : 0));
        if (digit >= 0) typeHexDigit(digit);
        return;
    }
    model::Data bytes;
    if (_utf8) {
        const QByteArray utf8 = text.toUtf8();
        bytes.assign(utf8.begin(), utf8.end());
    } else {
        for (QChar c : text)
            if (c.unicode() <= 0xFF) bytes.push_back(uint8_t(c.unicode()));
    }
    typeBytes(bytes);
}

bool HexView::event(QEvent* event) {
    // Undo and redo here are the view's own, never the window's.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (isUndoKey(key) || isRedoKey(key)) {
            event->accept();
            return true;
        }
    }
    // Tab moves between the columns, not out of the view.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            keyPressEvent(key);
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void HexView::copy() const {
    const auto [offset, length] = selection();
    if (length == 0) return;
    const QByteArray bytes = byteArray(_bytes, offset, length);
    auto* data = new QMimeData;
    switch (_form) {
    case ClipboardForm::Hex:
        data->setText(QString::fromLatin1(bytes.toHex(' ')));
        break;
    case ClipboardForm::Base64:
        data->setText(QString::fromLatin1(bytes.toBase64()));
        break;
    case ClipboardForm::Raw:
        data->setData(kRawType, bytes);
        break;
    }
    QApplication::clipboard()->setMimeData(data);
}

void HexView::cut() {
    ++_step;
    copy();
    removeSelection();
}

bool HexView::paste() {
    const QMimeData* data = QApplication::clipboard()->mimeData();
    if (!data) return false;
    QByteArray bytes;
    QString text = data->text();
    switch (_form) {
    case ClipboardForm::Hex: {
        text.remove(QRegularExpression(QStringLiteral("[\\s<>]")));
        if (text.startsWith(QLatin1String("0x"))) text.remove(0, 2);
        if (text.size() % 2 || text.contains(QRegularExpression(QStringLiteral("[^0-9a-fA-F]"))))
            return false;
        bytes = QByteArray::fromHex(text.toLatin1());
        break;
    }
    case ClipboardForm::Base64: {
        auto decoded = QByteArray::fromBase64Encoding(text.trimmed().toLatin1(),
                                                      QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded) return false;
        bytes = *decoded;
        break;
    }
    case ClipboardForm::Raw:
        bytes = data->hasFormat(kRawType) ? data->data(kRawType) : text.toUtf8();
        break;
    }
    ++_step;
    removeSelection();
    replaceRange(_cursor, 0, model::Data(bytes.begin(), bytes.end()));
    moveCursor(_cursor + bytes.size(), false);
    return true;
}

} // namespace views
