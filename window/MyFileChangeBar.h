// The bar above a window's outline that tells of a change made to the document's file by another program,
// without stopping the user's work: Reload takes the file's contents, Ignore keeps the document as it is.
#pragma once

#include <QFrame>

class QLabel;
class QPushButton;

namespace window {

class MyFileChangeBar : public QFrame {
    Q_OBJECT
public:
    explicit MyFileChangeBar(QWidget* parent = nullptr);

    // Shows the bar for a changed file, or for a file that is gone (which offers no Reload).
    void showChanged();
    void showDeleted();
    QString message() const;
    QPushButton* reloadButton() const { return _reload; }
    QPushButton* ignoreButton() const { return _ignore; }

signals:
    void reloadClicked();
    void ignoreClicked();

private:
    QLabel* _label = nullptr;
    QPushButton* _reload = nullptr;
    QPushButton* _ignore = nullptr;
};

} // namespace window
