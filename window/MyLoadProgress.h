// What a window shows in place of its outline while a large document loads: what is being done, a bar of
// how far it has come (bytes read, then entries built) and a "Cancel" button.
#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace model {
struct LoadProgress;
}

namespace window {

class MyLoadProgress : public QWidget {
    Q_OBJECT
public:
    explicit MyLoadProgress(QWidget* parent = nullptr);

    // Shows the state of a load; the bar runs without a value while the total is not known.
    void showProgress(const model::LoadProgress& progress);
    QProgressBar* bar() const { return _bar; }
    QPushButton* cancelButton() const { return _cancelButton; }
    QString statusText() const;

signals:
    void cancelClicked();

private:
    QLabel* _label;
    QProgressBar* _bar;
    QPushButton* _cancelButton;
};

} // namespace window
