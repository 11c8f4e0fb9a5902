#include "HelpMenu.h"

#include <QBoxLayout>
#include <QDialog>
#include <QFile>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QTextBrowser>

namespace app {

namespace {
// One window of shortcuts for all document windows.
QPointer<QDialog> shortcutsWindow;
} // namespace

void HelpMenu::addTo(QMenuBar* bar) {
    QMenu* help = bar->addMenu(tr("&Help"));
    help->addAction(tr("Keyboard Shortcuts"), [] { showKeyboardShortcuts(); });
    QAction* about = help->addAction(tr("About Vantrel"), bar, [bar] { showAbout(bar->window()); });
    about->setMenuRole(QAction::AboutRole);
}

QString HelpMenu::keyTable() {
    QFile readme(QStringLiteral(":/README.md"));
    if (!readme.open(QIODevice::ReadOnly)) return {};
    QStringList table;
    for (const QString& line : QString::fromUtf8(readme.readAll()).split(u'\n')) {
        if (table.isEmpty() ? line.startsWith(QLatin1String("| Key or mouse |")) : line.startsWith(u'|'))
            table << line;
        else if (!table.isEmpty())
            break;
    }
    return table.join(u'\n');
}

QIcon HelpMenu::applicationIcon() {
    QIcon icon;
    for (int size : {48, 256})
        icon.addFile(QStringLiteral(":/desktop/icons/vantrel-%1.png").arg(size), QSize(size, size));
    return icon;
}

void HelpMenu::showKeyboardShortcuts() {
    if (!shortcutsWindow) {
        shortcutsWindow = new QDialog;
        shortcutsWindow->setAttribute(Qt::WA_DeleteOnClose);
        shortcutsWindow->setWindowTitle(tr("Keyboard Shortcuts"));
        auto* text = new QTextBrowser(shortcutsWindow);
        text->setMarkdown(keyTable());
        (new QVBoxLayout(shortcutsWindow))->addWidget(text);
        shortcutsWindow->resize(960, 640);
    }
    shortcutsWindow->show();
    shortcutsWindow->raise();
    shortcutsWindow->activateWindow();
}

void HelpMenu::showAbout(QWidget* parent) {
    auto* box =
        new QMessageBox(QMessageBox::NoIcon, tr("About Vantrel"),
                        tr("Vantrel %1").arg(QStringLiteral(VANTREL_VERSION)), QMessageBox::Ok, parent);
    box->setInformativeText(tr("An editor for XML and binary property lists.\n\n"
                               "MIT License. Copyright (c) 2026 The Vantrel developers.\n\n"
                               "Built with Qt %1, running on Qt %2.")
                                .arg(QStringLiteral(QT_VERSION_STR), QString::fromLatin1(qVersion())));
    box->setIconPixmap(applicationIcon().pixmap(64));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

} // namespace app
