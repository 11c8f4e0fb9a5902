#include "Alert.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVariant>

namespace platform {

namespace {
const char* const kButtonsProperty = "vantrelAlertButtons";
const char* const kSheetProperty = "vantrelSheet";

QString translated(const QString& title) {
    return QCoreApplication::translate("Alert", title.toUtf8().constData());
}
} // namespace

QMessageBox* makeAlertWithMessage(const QString& message, const QString& firstButtonTitle,
                                  const QString& secondButtonTitle, const QString& thirdButtonTitle) {
    auto* alert = new QMessageBox;
    alert->setIcon(QMessageBox::Warning);
    alert->setText(message);
    alert->setTextFormat(Qt::PlainText);
    QList<QVariant> buttons;
    const QString titles[] = {firstButtonTitle, secondButtonTitle, thirdButtonTitle};
    int count = 0;
    for (const QString& t : titles)
        count += t.isEmpty() ? 0 : 1;
    int index = 0;
    for (const QString& t : titles) {
        if (t.isEmpty()) continue;
        // Roles only decide where the desktop places a button; the answer is the order of adding.
        QMessageBox::ButtonRole role = index == 0                            ? QMessageBox::AcceptRole
                                       : index == count - 1 && t == "Cancel" ? QMessageBox::RejectRole
                                                                             : QMessageBox::DestructiveRole;
        QPushButton* b = alert->addButton(translated(t), role);
        if (index == 0) alert->setDefaultButton(b);
        if (role == QMessageBox::RejectRole || count == 1) alert->setEscapeButton(b);
        buttons.append(QVariant::fromValue(static_cast<QObject*>(b)));
        ++index;
    }
    alert->setProperty(kButtonsProperty, buttons);
    return alert;
}

void setInformativeText(QMessageBox* alert, const QString& text) {
    alert->setInformativeText(text);
    // The alert's text format never reaches the label of its informative text.
    for (QLabel* label : alert->findChildren<QLabel*>())
        if (label->text() == text) label->setTextFormat(Qt::PlainText);
}

void beginSheetModalForWindow(QMessageBox* alert, QWidget* window, std::function<void(int)> completion) {
    if (window) {
        alert->setParent(window, alert->windowFlags() | Qt::Sheet | Qt::Dialog);
        window->setProperty(kSheetProperty, QVariant::fromValue(static_cast<QObject*>(alert)));
    }
    alert->setWindowModality(Qt::WindowModal);
    alert->setAttribute(Qt::WA_DeleteOnClose, false);
    QObject::connect(alert, &QDialog::finished, alert, [alert, window, completion = std::move(completion)] {
        const QList<QVariant> buttons = alert->property(kButtonsProperty).toList();
        QObject* clicked = alert->clickedButton();
        int answer = kAlertFirstButtonReturn + int(buttons.size()) - 1; // closed without a click: last
        for (int i = 0; i < buttons.size(); ++i)
            if (buttons[i].value<QObject*>() == clicked) answer = kAlertFirstButtonReturn + i;
        if (window && window->property(kSheetProperty).value<QObject*>() == alert)
            window->setProperty(kSheetProperty, QVariant());
        alert->deleteLater();
        if (completion) completion(answer);
    });
    alert->open();
}

QMessageBox* sheetOfWindow(QWidget* window) {
    if (!window) return nullptr;
    return qobject_cast<QMessageBox*>(window->property(kSheetProperty).value<QObject*>());
}

} // namespace platform
