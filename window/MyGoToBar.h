// The bar of Go to Key Path at the foot of a document window: a field for the path, and the part not found.
#pragma once

#include <QFrame>
#include <functional>

class QLabel;
class QLineEdit;

namespace window {

class MyGoToBar : public QFrame {
    Q_OBJECT
public:
    // go selects the entry at a path and answers what was not found, or nothing once selected; the outline
    // takes the focus when the bar closes.
    MyGoToBar(QWidget* parent, QWidget* outline, std::function<QString(const QString&)> go);

    // Shows the bar with its field focused and its text selected.
    void showBar();
    // Hides it and gives the focus to the outline.
    void closeBar();
    QLineEdit* pathField() const { return _field; }
    QString messageText() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* _outline;
    std::function<QString(const QString&)> _go;
    QLineEdit* _field = nullptr;
    QLabel* _message = nullptr;
};

} // namespace window
