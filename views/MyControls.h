// The controls inside the outline's rows. Each asks its delegate, the window that owns it, whether a click
// may act on it; a refused click goes to the cell around the control, as if the control were not there.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QToolButton>

namespace views {

class MyControllerDelegate {
public:
    virtual ~MyControllerDelegate() = default;
    virtual bool controllShouldClick(QObject* control) = 0;
};

// The add and delete buttons.
class MyButton : public QToolButton {
    Q_OBJECT
public:
    using QToolButton::QToolButton;
    void setMyDelegate(MyControllerDelegate* d) { _myDelegate = d; }
    MyControllerDelegate* myDelegate() const { return _myDelegate; }

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    MyControllerDelegate* _myDelegate = nullptr;
};

// The type pop-ups: the type names, the current one shown.
class MyPopUpButton : public QComboBox {
    Q_OBJECT
public:
    explicit MyPopUpButton(QWidget* parent = nullptr);
    void setMyDelegate(MyControllerDelegate* d) { _myDelegate = d; }
    void selectItemWithTitle(const QString& title);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    MyControllerDelegate* _myDelegate = nullptr;
};

// The field that edits a key or a value in place. Return, keypad Enter, Tab and Shift-Tab commit and Escape
// cancels, through the window; Shift+Return asks for the value's editor; losing the focus does nothing. Tabs
// and line breaks already in the text are shown as marks and kept; typing or pasting never adds them.
class MyTextField : public QLineEdit {
    Q_OBJECT
public:
    explicit MyTextField(QWidget* parent = nullptr);

    // 0 key column, 1 type column, 2 value column.
    int textFieldKind() const { return _textFieldKind; }
    void setTextFieldKind(int kind) { _textFieldKind = kind; }

    // Starts with the exact text; text() gives the marks' characters, exactText() the text they stand for.
    void setExactText(const QString& text);
    QString exactText() const;
    QString startText() const { return _startText; }

signals:
    void commitRequested();
    void cancelRequested();
    void editorRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    int _textFieldKind = 0;
    QString _startText;
    bool _marksStandForControls = false;
};

} // namespace views
