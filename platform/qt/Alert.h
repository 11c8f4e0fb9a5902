// Alerts shown as window-modal sheets: made with a message and up to three buttons, answered by button order
// without blocking the event loop.
#pragma once

#include <QString>
#include <functional>

class QMessageBox;
class QWidget;

namespace platform {

// Answer codes: the first button answers 1000, the second 1001, the third 1002.
enum AlertAnswer : int {
    kAlertFirstButtonReturn = 1000,
    kAlertSecondButtonReturn = 1001,
    kAlertThirdButtonReturn = 1002,
};

// A new warning alert with the message as given and a button for each given title, in order (an empty title
// is no button). The titles are translated here; the message is shown unchanged. Not yet shown.
QMessageBox* makeAlertWithMessage(const QString& message, const QString& firstButtonTitle,
                                  const QString& secondButtonTitle = {},
                                  const QString& thirdButtonTitle = {});

// Sets the alert's second line of text, shown as plain text as the message is: a file name may hold "<b>".
void setInformativeText(QMessageBox* alert, const QString& text);

// Shows the alert as a sheet on the window (window-modal, returning at once) and calls completion with the
// answer code once it has closed. The alert deletes itself afterwards. Escape and closing the alert answer
// with its last button when that is a "Cancel", else with its only button.
void beginSheetModalForWindow(QMessageBox* alert, QWidget* window, std::function<void(int)> completion);

// The alert currently shown on a window, if any (for tests and for answering from code).
QMessageBox* sheetOfWindow(QWidget* window);

} // namespace platform
