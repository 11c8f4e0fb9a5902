#include "StringEditor.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QFontDatabase>
#include <QLabel>
#include <QSyntaxHighlighter>
#include <QTextBlock>
#include <QTimer>

#include "ExactTextEdit.h"
#include "platform/plist/Text.h"

namespace views {

namespace {
// Control characters draw as nothing; they get a mark of colour so that they are seen (and kept).
class ControlCharacterMarks : public QSyntaxHighlighter {
public:
    explicit ControlCharacterMarks(QTextDocument* document) : QSyntaxHighlighter(document) {
        _format.setBackground(QColor(255, 160, 0, 110));
    }

protected:
    void highlightBlock(const QString& text) override {
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t c = text[i].unicode();
            if ((c < 0x20 && c != u'\t') || (c >= 0x7F && c <= 0x9F) || c == 0x2028)
                setFormat(int(i), 1, _format);
        }
    }

private:
    QTextCharFormat _format;
};

// Above this size the marks are left off: colouring walks every line of the text at once.
constexpr int kMarkedTextLimit = 1 << 20;
} // namespace

QString StringEditor::textOfString(const std::string& value) {
    const std::u16string units = plist::text::toUtf16(value);
    return QString::fromUtf16(units.data(), qsizetype(units.size()));
}

std::string StringEditor::stringOfText(const QString& text) {
    std::string out;
    out.reserve(size_t(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        uint32_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            c = QChar::surrogateToUcs4(char16_t(c), text[++i].unicode());
        // A lone surrogate keeps its own three-byte form, as the readers hold it.
        plist::text::appendUtf8(out, c);
    }
    return out;
}

StringEditor::StringEditor(const std::string& value, QWidget* parent)
    : ValueEditor(tr("Edit String"), parent) {
    _edit = new ExactTextEdit(this);
    const QString text = textOfString(value);
    _edit->setExactText(text);
    if (text.size() <= kMarkedTextLimit) new ControlCharacterMarks(_edit->document());
    body()->addWidget(_edit);
    _position = new QLabel(this);
    _count = new QLabel(this);
    _wrap = new QCheckBox(tr("Wrap Lines"), this);
    _wrap->setChecked(true);
    _monospace = new QCheckBox(tr("Monospaced Font"), this);
    int at = 0;
    for (QWidget* w : std::initializer_list<QWidget*>{_position, _count, _wrap, _monospace})
        footer()->insertWidget(at++, w);
    connect(_wrap, &QCheckBox::toggled, this, [this](bool on) {
        _edit->setLineWrapMode(on ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    });
    connect(_monospace, &QCheckBox::toggled, this, [this](bool on) {
        _edit->setFont(on ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : font());
    });
    connect(_edit, &QPlainTextEdit::cursorPositionChanged, this, [this] { updatePosition(); });
    // Counting walks every line: once per burst of typing.
    auto* counting = new QTimer(this);
    counting->setSingleShot(true);
    connect(counting, &QTimer::timeout, this, [this] { updateCount(); });
    connect(_edit, &QPlainTextEdit::textChanged, counting, [counting] { counting->start(0); });
    updatePosition();
    updateCount();
    resize(640, 420);
    _edit->setFocus();
}

void StringEditor::updatePosition() {
    const QTextCursor c = _edit->textCursor();
    _position->setText(tr("Line %1, Column %2").arg(c.blockNumber() + 1).arg(c.positionInBlock() + 1));
}

void StringEditor::updateCount() {
    const qsizetype n = _edit->exactLength();
    _count->setText(n == 1 ? tr("1 character") : tr("%1 characters").arg(n));
}

std::optional<model::Entry::Value> StringEditor::value() const {
    return model::Entry::Value(stringOfText(_edit->exactText()));
}

void StringEditor::setTypedText(const QString& text, int caret) {
    _edit->setExactText(text);
    QTextCursor c = _edit->textCursor();
    c.setPosition(_edit->documentPosition(std::clamp<qsizetype>(caret, 0, text.size())));
    _edit->setTextCursor(c);
    updateCount();
}

} // namespace views
