// A plain-text editor that gives back exactly the text it was given. The document underneath breaks lines at
// LF, CR, CRLF, U+2029 and its own frame marks alike and gives every break back as "\n"; here each break
// remembers which of them it was (in its block's user state), so a string's line ends survive an edit, and
// typed or pasted ones are kept as they come.
//
// A long text is shown at once from its first lines and the rest follows in pieces between events, since the
// document takes long to take in many lines; anything the user does, and every question about the text, takes
// in what is left first, so the text is never seen or changed in part.
#pragma once

#include <QPlainTextEdit>
#include <QTimer>
#include <vector>

namespace views {

class ExactTextEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit ExactTextEdit(QWidget* parent = nullptr);

    void setExactText(const QString& text);
    QString exactText() const;
    // The exact text between two positions of the document.
    QString exactText(int from, int to) const;
    // The length of exactText(), and the position in the document of an index into it.
    qsizetype exactLength() const;
    int documentPosition(qsizetype exactIndex) const;

    // Whether part of the text is still to be taken into the document.
    bool isLoading() const { return _pendingAt < _pending.size(); }

protected:
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    QMimeData* createMimeDataFromSelection() const override;

private:
    void insertExact(const QString& text);
    void insertLineBreak(int kind);
    QString lineEndOf(const QTextBlock& block) const;
    // Takes the next piece of the pending text (up to about `size` characters, whole lines) into the
    // document.
    void loadPiece(qsizetype size);
    qsizetype pieceEnd(qsizetype size) const;
    void finishLoading() const;
    // Gives the blocks from this one on the line ends they are followed by.
    void setLineEnds(int firstBlock);

    // The text still to come, with "\n" at every break, from _pendingAt on; the kind of every break of the
    // whole text; and the length of the exact text while it is loading (nothing can change it meanwhile).
    QString _pending;
    qsizetype _pendingAt = 0;
    std::vector<int> _ends;
    qsizetype _loadingLength = 0;
    QTimer _loader;

    // The line end that Return types: the text's first one, else LF.
    int _typedLineEnd = 0;
};

} // namespace views
