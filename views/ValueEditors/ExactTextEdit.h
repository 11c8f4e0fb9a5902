// A plain-text editor that gives back exactly the text it was given. The document underneath breaks lines at
// LF, CR, CRLF, U+2029 and its own frame marks alike and gives every break back as "\n"; here each break
// remembers which of them it was (in its block's user state), so a string's line ends survive an edit, and
// typed or pasted ones are kept as they come.
#pragma once

#include <QPlainTextEdit>

namespace views {

class ExactTextEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit ExactTextEdit(QWidget* parent = nullptr);

    void setExactText(const QString& text);
    QString exactText() const { return exactText(0, document()->characterCount() - 1); }
    // The exact text between two positions of the document.
    QString exactText(int from, int to) const;
    // The length of exactText(), and the position in the document of an index into it.
    qsizetype exactLength() const;
    int documentPosition(qsizetype exactIndex) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    QMimeData* createMimeDataFromSelection() const override;

private:
    void insertExact(const QString& text);
    void insertLineBreak(int kind);
    QString lineEndOf(const QTextBlock& block) const;

    // The line end that Return types: the text's first one, else LF.
    int _typedLineEnd = 0;
};

} // namespace views
