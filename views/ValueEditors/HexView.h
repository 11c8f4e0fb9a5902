// A byte editor: offset, hexadecimal and text columns, drawn only for the lines in view so that any size
// scrolls alike. Overwrite and insert modes (Insert switches), a selection shared by both columns (mouse,
// Shift with the movement keys, Ctrl+A), the clipboard as hex text, Base64 or raw bytes, and an undo history
// of its own (Ctrl+Z, Ctrl+Shift+Z or Ctrl+Y), one step for each key press, paste, cut or import.
#pragma once

#include <QAbstractScrollArea>

#include "model/Entry.h"

namespace views {

class HexView : public QAbstractScrollArea {
    Q_OBJECT
public:
    enum class ClipboardForm { Hex, Base64, Raw };
    static constexpr int kBytesPerLine = 16;

    explicit HexView(QWidget* parent = nullptr);

    const model::Data& bytes() const { return _bytes; }
    // Starts over with these bytes and no undo history.
    void setBytes(model::Data bytes);
    // Puts these bytes in place of all, as one step that can be undone.
    void replaceAll(model::Data bytes);
    void undo();
    void redo();

    bool overwriteMode() const { return _overwrite; }
    void setOverwriteMode(bool on);
    // The text column shows the bytes as UTF-8 instead of Latin-1.
    void setUtf8Text(bool on);
    void setClipboardForm(ClipboardForm form) { _form = form; }

    qint64 cursorOffset() const { return _cursor; }
    // The selection as {offset, length}; length 0 when nothing is selected.
    std::pair<qint64, qint64> selection() const;
    void setSelection(qint64 offset, qint64 length);
    void selectAll() { setSelection(0, qint64(_bytes.size())); }

    void copy() const;
    void cut();
    // Puts the clipboard's bytes in place of the selection, or at the cursor; false when the clipboard holds
    // nothing of the chosen form.
    bool paste();

signals:
    void bytesChanged();
    void cursorChanged();
    void modeChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    qint64 lineCount() const;
    int visibleLines() const;
    void updateScrollBar();
    int charWidth() const;
    int hexX(int column) const;
    int textX(int column) const;
    // The byte under a point and whether it is in the text column; the end offset below the last line.
    std::pair<qint64, bool> byteAt(const QPoint& pos) const;
    void moveCursor(qint64 offset, bool extend);
    void ensureCursorVisible();
    // Changes the bytes, recording the change in the current step of the undo history.
    void replaceRange(qint64 offset, qint64 length, const model::Data& with);
    void splice(qint64 offset, qint64 length, const model::Data& with);
    bool removeSelection();
    void typeHexDigit(int digit);
    void typeBytes(const model::Data& bytes);
    QString textOfByte(qint64 offset, bool& continuation) const;

    model::Data _bytes;
    qint64 _cursor = 0;
    qint64 _anchor = -1;
    int _nibble = 0;
    bool _inText = false;
    bool _overwrite = true;
    bool _utf8 = false;
    ClipboardForm _form = ClipboardForm::Hex;

    // One change: `removed` stood at `offset` where `inserted` now stands. Changes of one user action share
    // their step number and are undone together.
    struct Change {
        qint64 offset;
        model::Data removed;
        model::Data inserted;
        qint64 cursorBefore;
        int step;
    };
    std::vector<Change> _undo;
    std::vector<Change> _redo;
    int _step = 0;
};

} // namespace views
